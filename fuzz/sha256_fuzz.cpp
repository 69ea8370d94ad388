/* SHA-256 against OpenSSL on arbitrary data fed in arbitrary pieces.
 *
 * Input: byte 0 gives the number of cuts (0 to 7), then two bytes for each
 * cut (an offset into the data, modulo its length + 1), then the data. The
 * digest of the streaming context fed piece by piece (empty pieces
 * included), of the same context used again after its final, of
 * sha256_buffer and the text of sha256_hex must all be OpenSSL's. */
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <openssl/evp.h>

#include "core/sha256.h"
#include "fuzz_util.h"

namespace {

std::string
hex(const uint8_t *d, std::size_t n)
{
	static const char digits[] = "0123456789abcdef";
	std::string s;
	for (std::size_t i = 0; i < n; i++) {
		s += digits[d[i] >> 4];
		s += digits[d[i] & 15];
	}
	return s;
}

void
feed(Sha256Context *ctx, const uint8_t *data, std::size_t size,
     const std::vector<std::size_t> &cuts)
{
	std::size_t at = 0;
	for (std::size_t cut : cuts) {
		/* A zero-length piece may come with a null pointer. */
		sha256_ctx_update(ctx, cut == at ? nullptr : data + at, cut - at);
		at = cut;
	}
	sha256_ctx_update(ctx, data + at, size - at);
}

} // namespace

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *input, std::size_t size)
{
	std::size_t i = 0;
	std::size_t ncuts = size > 0 ? input[i++] % 8 : 0;
	std::vector<uint16_t> raw;
	for (std::size_t k = 0; k < ncuts && i + 1 < size; k++, i += 2)
		raw.push_back(static_cast<uint16_t>(input[i] << 8 | input[i + 1]));
	i = std::min(i, size);
	const uint8_t *data = input + i;
	const std::size_t len = size - i;
	std::vector<std::size_t> cuts;
	for (uint16_t r : raw)
		cuts.push_back(r % (len + 1));
	std::sort(cuts.begin(), cuts.end());

	uint8_t want[EVP_MAX_MD_SIZE];
	unsigned int want_len = 0;
	FUZZ_CHECK(EVP_Digest(data, len, want, &want_len, EVP_sha256(), nullptr) == 1, "OpenSSL");
	FUZZ_CHECK(want_len == QEL_SHA256_DIGEST_SIZE, std::to_string(want_len));
	const std::string want_hex = hex(want, want_len);

	Sha256Context ctx;
	uint8_t got[QEL_SHA256_DIGEST_SIZE];
	sha256_ctx_init(&ctx);
	feed(&ctx, data, len, cuts);
	sha256_ctx_final(&ctx, got);
	FUZZ_CHECK(hex(got, sizeof got) == want_hex, "pieces: " + hex(got, sizeof got));

	/* final leaves the context ready for the next message */
	std::memset(got, 0, sizeof got);
	feed(&ctx, data, len, {});
	sha256_ctx_final(&ctx, got);
	FUZZ_CHECK(hex(got, sizeof got) == want_hex, "reused: " + hex(got, sizeof got));

	std::memset(got, 0, sizeof got);
	sha256_buffer(got, len == 0 ? nullptr : data, static_cast<uint32_t>(len));
	FUZZ_CHECK(hex(got, sizeof got) == want_hex, "buffer: " + hex(got, sizeof got));

	char text[QEL_SHA256_HEX_SIZE];
	int n = sha256_hex(text, len == 0 ? nullptr : data, static_cast<int32_t>(len));
	FUZZ_CHECK(n == 64, std::to_string(n));
	FUZZ_CHECK(text == want_hex, text);
	return 0;
}
