#include "license_test_util.h"

#include <cstdlib>
#include <cstring>

#include <tomcrypt.h>

#include "core/sha256.h"
#include "fakes/fakes.h"
#include "keys/key_source.h"
#include "keys/os_prng.h"
#include "license/license.h"

namespace {

Bytes
parse_golden(const char *name)
{
	std::string text = golden_file(name);
	bool is_private = false;
	unsigned char *der = nullptr;
	uint32_t len = 0;
	if (key_source_parse(text.data(), text.size(), name, &is_private, &der, &len, nullptr) !=
	    QEL_OK)
		std::abort();
	Bytes b(der, der + len);
	mem_free(der);
	return b;
}

} // namespace

const Bytes &
golden_private_der()
{
	static const Bytes der = parse_golden("golden_privkey.c");
	return der;
}

const Bytes &
golden_public_der()
{
	static const Bytes der = parse_golden("golden_pubkey.c");
	return der;
}

std::string
golden_key_id()
{
	return std::string(GOLDEN_KEY_HASH).substr(0, 16);
}

const char *const HERE_1 = "00:11:22:33:44:55";
const char *const HERE_2 = "00:11:22:33:44:66";
const std::string REPORT_HERE = "\"hostid\": [\n  \"00:11:22:33:44:55\",\n"
                                "  \"00:11:22:33:44:66\"\n],\n\"os\": \"Linux\"\n";

void
adapters_here()
{
	fake_adapters_reset();
	fake_adapters.list.push_back(fake_ethernet(HERE_2));
	fake_adapters.list.push_back(fake_ethernet(HERE_1));
}

const char *const STANDARD_MEMBERS[] = {
    "licensee", "Example Ltd", "expires", "2027-12-31", "features", "pro", nullptr,
};

const std::string &
standard_licence()
{
	static const std::string text = [] {
		fake_random_reset();
		const Bytes &k = golden_private_der();
		char *out = nullptr;
		std::size_t len = 0;
		if (qel_license_issue(REPORT_HERE.data(), REPORT_HERE.size(), STANDARD_MEMBERS,
		                      k.data(), static_cast<int>(k.size()), &out, &len,
		                      nullptr) != QEL_OK)
			std::abort();
		std::string s(out, len);
		qel_license_text_free(out);
		fake_random_reset();
		return s;
	}();
	return text;
}

std::string
standard_body()
{
	const std::string &t = standard_licence();
	return t.substr(0, t.find("\"key\": "));
}

std::string
sign_body(const std::string &body, const std::string &key_id)
{
	std::string text =
	    body + "\"key\": \"" + (key_id.empty() ? golden_key_id() : key_id) + "\",\n";
	uint8_t digest[QEL_SHA256_DIGEST_SIZE];
	sha256_buffer(digest, text.data(), static_cast<uint32_t>(text.size()));
	ltc_mp = ltm_desc;
	dsa_key key;
	const Bytes &der = golden_private_der();
	unsigned char sig[128];
	unsigned long n = sizeof sig;
	if (dsa_import(der.data(), static_cast<unsigned long>(der.size()), &key) != CRYPT_OK)
		std::abort();
	int err = dsa_sign_hash(digest, sizeof digest, sig, &n, nullptr, os_prng_register(), &key);
	dsa_free(&key);
	if (err != CRYPT_OK)
		std::abort();
	text += "\"signature\": \"";
	char hex[3];
	for (unsigned long i = 0; i < n; i++) {
		std::snprintf(hex, sizeof hex, "%02x", sig[i]);
		text += hex;
	}
	return text + "\"\n}\n";
}

Verdict
check_licence(const std::string &text, const std::string &today, const Bytes *key)
{
	const Bytes &k = key != nullptr ? *key : golden_public_der();
	const LicenseNames names{"licence", "key"};
	char msg[QEL_MSG_SIZE] = "untouched";
	qel_license *lic = nullptr;
	int rc = license_open_at(text.data(), text.size(), k.data(), static_cast<int>(k.size()),
	                         &names, today.c_str(), &lic, msg);
	if ((rc == QEL_OK) != (lic != nullptr))
		std::abort();
	qel_license_free(lic);
	return {rc, msg};
}

std::string
replaced(const std::string &text, const std::string &from, const std::string &to)
{
	std::size_t at = text.find(from);
	if (at == std::string::npos)
		std::abort();
	return text.substr(0, at) + to + text.substr(at + from.size());
}
