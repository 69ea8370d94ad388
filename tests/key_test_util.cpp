#include "key_test_util.h"

#include <cctype>

#include "fakes/fakes.h"
#include "keys/keypair.h"
#include "test_util.h"

DerKey
der_key_decode(const uint8_t *p, std::size_t n)
{
	DerKey k;
	if (n < 8 || p[0] != 0x30 || p[1] != 0x82) {
		k.error = "no SEQUENCE with a two-byte length";
		return k;
	}
	k.declared = static_cast<unsigned>(p[2] << 8 | p[3]);
	if (k.declared < 256 || k.declared != n - 4) {
		k.error = "SEQUENCE length " + std::to_string(k.declared) + " for " +
		          std::to_string(n) + " bytes";
		return k;
	}
	if (p[4] != 0x03 || p[5] != 0x02 || p[6] != 0x07 || (p[7] != 0x00 && p[7] != 0x80)) {
		k.error = "no one-bit BIT STRING";
		return k;
	}
	k.kind = p[7];
	std::size_t pos = 8;
	while (pos < n) {
		if (p[pos] != 0x02 || pos + 2 > n) {
			k.error = "no INTEGER at " + std::to_string(pos);
			return k;
		}
		std::size_t len = p[pos + 1], head = 2;
		if (len == 0x81 && pos + 3 <= n) {
			len = p[pos + 2];
			head = 3;
			if (len < 128)
				k.error = "long form for a short length";
		} else if (len == 0x82 && pos + 4 <= n) {
			len = static_cast<std::size_t>(p[pos + 2] << 8 | p[pos + 3]);
			head = 4;
			if (len < 256)
				k.error = "three-byte form for a one-byte length";
		} else if (len >= 0x80) {
			k.error = "unexpected length form";
		}
		if (!k.error.empty())
			return k;
		const uint8_t *c = p + pos + head;
		if (len == 0 || pos + head + len > n) {
			k.error = "INTEGER content out of bounds at " + std::to_string(pos);
			return k;
		}
		if ((c[0] & 0x80) != 0 || (c[0] == 0 && (len == 1 || (c[1] & 0x80) == 0))) {
			k.error = "INTEGER not positive or not minimal at " + std::to_string(pos);
			return k;
		}
		k.elements.emplace_back(p + pos, c + len);
		k.values.emplace_back(c + (c[0] == 0 ? 1 : 0), c + len);
		pos += head + len;
	}
	return k;
}

int
bit_count(const Bytes &v)
{
	std::size_t i = 0;
	while (i < v.size() && v[i] == 0)
		i++;
	if (i == v.size())
		return 0;
	int top = 0;
	for (unsigned b = v[i]; b != 0; b >>= 1)
		top++;
	return static_cast<int>(8 * (v.size() - i - 1)) + top;
}

std::size_t
der_integer_size(int bits)
{
	/* bits/8 + 1 content bytes: either the partial top byte, or a 0x00
	 * before a magnitude whose top bit is set. */
	std::size_t content = static_cast<std::size_t>(bits / 8 + 1);
	std::size_t head = content < 128 ? 2 : content < 256 ? 3 : 4;
	return head + content;
}

Bytes
byte_steps(std::size_t n, unsigned step)
{
	Bytes b;
	for (std::size_t i = 0; i < n; i++)
		b.push_back(static_cast<uint8_t>(i * step));
	return b;
}

Bytes
key_source_values(const std::string &text)
{
	Bytes out;
	std::size_t pos = text.find("[] = {");
	std::size_t end = text.find("};", pos);
	if (pos == std::string::npos || end == std::string::npos)
		return out;
	unsigned value = 0;
	bool in_number = false;
	for (std::size_t i = pos + 6; i <= end; i++) {
		unsigned char ch = static_cast<unsigned char>(text[i]);
		if (std::isdigit(ch)) {
			value = value * 10 + static_cast<unsigned>(ch - '0');
			in_number = true;
		} else if (in_number) {
			out.push_back(static_cast<uint8_t>(value));
			value = 0;
			in_number = false;
		}
	}
	return out;
}

std::string
golden_file(const char *name)
{
	return read_file(std::string(QEL_TEST_DATA) + "/" + name);
}

const char *const GOLDEN_KEY_HASH =
    "f3d8c4f113eb536f292b72488de76b32e11fa6d2816447c871265350d5dc0f7f";

const SharedKey &
shared_key()
{
	static SharedKey k = [] {
		SharedKey s{};
		fake_random_reset();
		char msg[QEL_MSG_SIZE] = "untouched";
		KeyPair *kp = keypair_new(msg);
		s.rc = kp == nullptr ? QEL_ERR_MEMORY : keypair_generate(kp, msg);
		s.msg = msg;
		s.reads = fake_random.reads;
		if (kp != nullptr) {
			s.key_made = kp->key_made;
			s.type = kp->key.type;
			s.qord = kp->key.qord;
			if (kp->private_der != nullptr)
				s.priv.assign(kp->private_der, kp->private_der + kp->private_der_len);
			if (kp->public_der != nullptr)
				s.pub.assign(kp->public_der, kp->public_der + kp->public_der_len);
		}
		keypair_free(kp);
		s.dpriv = der_key_decode(s.priv.data(), s.priv.size());
		s.dpub = der_key_decode(s.pub.data(), s.pub.size());
		fake_random_reset();
		return s;
	}();
	return k;
}
