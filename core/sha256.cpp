/* SHA-256 of FIPS 180-4; see core/sha256.h. */
#include "core/sha256.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "core/error.h"

/* The field order is part of the interface; keep the compiler honest. */
static_assert(offsetof(Sha256Context, hash) == 0);
static_assert(offsetof(Sha256Context, total) == 32);
static_assert(offsetof(Sha256Context, block) == 40);
static_assert(sizeof(Sha256Context) == 104);

namespace {

/* FIPS 180-4, 5.3.3. */
constexpr std::array<uint32_t, 8> initial_hash = {
	0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
	0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};

/* FIPS 180-4, 4.2.2. */
constexpr std::array<uint32_t, 64> round_constants = {
	0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5,
	0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
	0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3,
	0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
	0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc,
	0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
	0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
	0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
	0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
	0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
	0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3,
	0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
	0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5,
	0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
	0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208,
	0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

/* The length field takes the last 8 bytes of the final block. */
constexpr std::size_t length_position = QEL_SHA256_BLOCK_SIZE - 8;

/* "%02x" once per digest byte: 64 digits, which with the NUL fill the
 * 65-byte text exactly. */
constexpr char hex_format[] =
	"%02x%02x%02x%02x%02x%02x%02x%02x"
	"%02x%02x%02x%02x%02x%02x%02x%02x"
	"%02x%02x%02x%02x%02x%02x%02x%02x"
	"%02x%02x%02x%02x%02x%02x%02x%02x";
static_assert(sizeof(hex_format) == 4 * QEL_SHA256_DIGEST_SIZE + 1);

constexpr uint32_t big_sigma0(uint32_t x) {
	return std::rotr(x, 2) ^ std::rotr(x, 13) ^ std::rotr(x, 22);
}
constexpr uint32_t big_sigma1(uint32_t x) {
	return std::rotr(x, 6) ^ std::rotr(x, 11) ^ std::rotr(x, 25);
}
constexpr uint32_t small_sigma0(uint32_t x) {
	return std::rotr(x, 7) ^ std::rotr(x, 18) ^ (x >> 3);
}
constexpr uint32_t small_sigma1(uint32_t x) {
	return std::rotr(x, 17) ^ std::rotr(x, 19) ^ (x >> 10);
}
constexpr uint32_t choose(uint32_t x, uint32_t y, uint32_t z) {
	return (x & y) ^ (~x & z);
}
constexpr uint32_t majority(uint32_t x, uint32_t y, uint32_t z) {
	return (x & y) ^ (x & z) ^ (y & z);
}

/* FIPS 180-4, 6.2.2. */
void compress(uint32_t hash[8], const uint8_t block[QEL_SHA256_BLOCK_SIZE]) {
	uint32_t w[64];
	for (std::size_t t = 0; t < 16; ++t) {
		/* Widen before shifting: a byte promoted to int and shifted by 24
		 * would overflow for values of 0x80 and above. */
		w[t] = static_cast<uint32_t>(block[4 * t]) << 24
		    | static_cast<uint32_t>(block[4 * t + 1]) << 16
		    | static_cast<uint32_t>(block[4 * t + 2]) << 8
		    | static_cast<uint32_t>(block[4 * t + 3]);
	}
	for (std::size_t t = 16; t < 64; ++t) {
		w[t] = small_sigma1(w[t - 2]) + w[t - 7]
		    + small_sigma0(w[t - 15]) + w[t - 16];
	}

	uint32_t a = hash[0], b = hash[1], c = hash[2], d = hash[3];
	uint32_t e = hash[4], f = hash[5], g = hash[6], h = hash[7];
	for (std::size_t t = 0; t < 64; ++t) {
		const uint32_t t1 = h + big_sigma1(e) + choose(e, f, g)
		    + round_constants[t] + w[t];
		const uint32_t t2 = big_sigma0(a) + majority(a, b, c);
		h = g;
		g = f;
		f = e;
		e = d + t1;
		d = c;
		c = b;
		b = a;
		a = t1 + t2;
	}
	hash[0] += a;
	hash[1] += b;
	hash[2] += c;
	hash[3] += d;
	hash[4] += e;
	hash[5] += f;
	hash[6] += g;
	hash[7] += h;
}

} // namespace

void sha256_ctx_init(Sha256Context *context) {
	for (std::size_t i = 0; i < initial_hash.size(); ++i)
		context->hash[i] = initial_hash[i];
	context->total = 0;
}

void sha256_ctx_update(Sha256Context *context, const void *data,
    uint64_t length) {
	const auto *bytes = static_cast<const uint8_t *>(data);
	for (uint64_t i = 0; i < length; ++i) {
		const auto position =
		    static_cast<std::size_t>(context->total % QEL_SHA256_BLOCK_SIZE);
		context->block[position] = bytes[i];
		context->total += 1;
		if (position == QEL_SHA256_BLOCK_SIZE - 1)
			compress(context->hash, context->block);
	}
}

void sha256_ctx_final(Sha256Context *context,
    uint8_t digest[QEL_SHA256_DIGEST_SIZE]) {
	/* Taken before padding; unsigned arithmetic gives the modulo 2^64
	 * that the standard asks for. */
	const uint64_t bit_length = context->total * 8;

	auto position =
	    static_cast<std::size_t>(context->total % QEL_SHA256_BLOCK_SIZE);
	context->block[position++] = 0x80;
	while (position != length_position) {
		if (position == QEL_SHA256_BLOCK_SIZE) {
			compress(context->hash, context->block);
			position = 0;
		}
		context->block[position++] = 0;
	}
	for (std::size_t i = 0; i < 8; ++i) {
		context->block[length_position + i] =
		    static_cast<uint8_t>(bit_length >> (56 - 8 * i));
	}
	compress(context->hash, context->block);

	for (std::size_t i = 0; i < 8; ++i) {
		for (std::size_t j = 0; j < 4; ++j) {
			digest[4 * i + j] =
			    static_cast<uint8_t>(context->hash[i] >> (24 - 8 * j));
		}
	}
	sha256_ctx_init(context);
}

void sha256_buffer(uint8_t digest[QEL_SHA256_DIGEST_SIZE], const void *data,
    uint32_t length) {
	Sha256Context context;
	sha256_ctx_init(&context);
	sha256_ctx_update(&context, data, length);
	sha256_ctx_final(&context, digest);
}

int sha256_hex(char text[QEL_SHA256_HEX_SIZE], const void *data, int32_t length) {
	uint8_t d[QEL_SHA256_DIGEST_SIZE];
	sha256_buffer(d, data, static_cast<uint32_t>(length));
	return str_format(text, QEL_SHA256_HEX_SIZE, hex_format,
	    d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7],
	    d[8], d[9], d[10], d[11], d[12], d[13], d[14], d[15],
	    d[16], d[17], d[18], d[19], d[20], d[21], d[22], d[23],
	    d[24], d[25], d[26], d[27], d[28], d[29], d[30], d[31]);
}
