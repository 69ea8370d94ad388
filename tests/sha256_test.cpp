/* core/sha256: the FIPS 180-4 known answers and the padding boundaries fed
 * four ways, the NIST CAVP vectors, random messages against another
 * library's SHA-256 (oracle.h), and the hexadecimal form. The oracle and the
 * CAVP files are made by no one here. */
#include "core/sha256.h"
#include "oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#ifndef QEL_CAVP_DIR
#define QEL_CAVP_DIR "/usr/lib/python3/dist-packages/cryptography_vectors/hashes/SHA2"
#endif

namespace {

using Bytes = std::vector<uint8_t>;

Bytes text_bytes(const char *text) { return Bytes(text, text + std::strlen(text)); }

/* Rendered here by table, independently of sha256_hex and its str_format. */
std::string to_hex(const uint8_t *p, std::size_t n) {
	static const char digits[] = "0123456789abcdef";
	std::string s;
	for (std::size_t i = 0; i < n; ++i) {
		s += digits[p[i] >> 4];
		s += digits[p[i] & 0x0f];
	}
	return s;
}

Bytes from_hex(const std::string &hex) {
	Bytes out;
	for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
		out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
	return out;
}

std::string oracle_sha256(const Bytes &m) {
	return oracle_sha256_hex(m.data(), m.size());
}

std::string finish(Sha256Context *ctx) {
	uint8_t d[QEL_SHA256_DIGEST_SIZE];
	sha256_ctx_final(ctx, d);
	return to_hex(d, sizeof d);
}

std::string one_call(const Bytes &m) {
	uint8_t d[QEL_SHA256_DIGEST_SIZE];
	sha256_buffer(d, m.data(), static_cast<uint32_t>(m.size()));
	return to_hex(d, sizeof d);
}

std::string byte_by_byte(const Bytes &m) {
	Sha256Context ctx;
	sha256_ctx_init(&ctx);
	for (uint8_t b : m)
		sha256_ctx_update(&ctx, &b, 1);
	return finish(&ctx);
}

/* Feeds m in pieces that end at the ascending cut points; a repeated cut
 * makes an empty piece, and a null empty piece always comes first. */
std::string in_pieces(const Bytes &m, const std::vector<std::size_t> &cuts) {
	Sha256Context ctx;
	sha256_ctx_init(&ctx);
	sha256_ctx_update(&ctx, nullptr, 0);
	std::size_t from = 0;
	for (std::size_t cut : cuts) {
		sha256_ctx_update(&ctx, m.data() + from, cut - from);
		from = cut;
	}
	sha256_ctx_update(&ctx, m.data() + from, m.size() - from);
	return finish(&ctx);
}

/* Every offset up to 256 bytes. Each split of a longer message costs a
 * whole hash, so there only the block edges near both ends and the middle. */
std::vector<std::size_t> split_offsets(std::size_t n) {
	if (n > 256)
		return {0, 1, 55, 56, 63, 64, 65, n / 2, n - 64, n - 1, n};
	std::vector<std::size_t> offsets;
	for (std::size_t k = 0; k <= n; ++k)
		offsets.push_back(k);
	return offsets;
}

struct Case {
	std::string name;
	Bytes message;
	std::string digest;
};
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

std::vector<Case> fips_cases() {
	return {
		{"abc", text_bytes("abc"),
		 "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
		{"two_blocks_448_bits",
		 text_bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
		 "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
		{"million_a", Bytes(1000000, 'a'),
		 "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
	};
}

/* Lengths around the point where the length field stops fitting behind
 * the 0x80 byte, in the first and the second block. */
std::vector<Case> padding_cases() {
	std::vector<Case> cases;
	constexpr std::array<std::size_t, 13> lengths = {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129};
	for (std::size_t n : lengths) {
		Bytes m(n);
		for (std::size_t i = 0; i < n; ++i)
			m[i] = static_cast<uint8_t>(i * 31 + 7);
		cases.push_back({"length_" + std::to_string(n), m, oracle_sha256(m)});
	}
	return cases;
}

class Sha256FourWays : public testing::TestWithParam<Case> {};

TEST_P(Sha256FourWays, OneCall) {
	EXPECT_EQ(one_call(GetParam().message), GetParam().digest);
}

TEST_P(Sha256FourWays, ByteByByte) {
	EXPECT_EQ(byte_by_byte(GetParam().message), GetParam().digest);
}

TEST_P(Sha256FourWays, SplitAtEveryOffset) {
	const Case &c = GetParam();
	for (std::size_t k : split_offsets(c.message.size()))
		EXPECT_EQ(in_pieces(c.message, {k, k}), c.digest) << "split at " << k;
}

TEST_P(Sha256FourWays, ReusedContext) {
	const Case &c = GetParam();
	Sha256Context fresh, ctx;
	sha256_ctx_init(&fresh);
	std::memset(&ctx, 0xa5, sizeof ctx); /* block's old content is never read */
	sha256_ctx_init(&ctx);
	for (int round = 0; round < 3; ++round) {
		sha256_ctx_update(&ctx, c.message.data(), c.message.size());
		EXPECT_EQ(ctx.total, c.message.size());
		EXPECT_EQ(finish(&ctx), c.digest) << "round " << round;
		/* final initialises the context again */
		EXPECT_EQ(ctx.total, 0u);
		EXPECT_EQ(0, std::memcmp(ctx.hash, fresh.hash, sizeof ctx.hash));
	}
}

std::string case_name(const testing::TestParamInfo<Case> &info) { return info.param.name; }
INSTANTIATE_TEST_SUITE_P(Fips180, Sha256FourWays, testing::ValuesIn(fips_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Padding, Sha256FourWays, testing::ValuesIn(padding_cases()), case_name);

TEST(Sha256Context, AbcAfterAPreviousMessage) {
	const Case abc = fips_cases()[0];
	for (const Case &previous : padding_cases()) {
		Sha256Context ctx;
		sha256_ctx_init(&ctx);
		sha256_ctx_update(&ctx, previous.message.data(), previous.message.size());
		EXPECT_EQ(finish(&ctx), previous.digest);
		sha256_ctx_update(&ctx, abc.message.data(), abc.message.size());
		EXPECT_EQ(finish(&ctx), abc.digest) << "after " << previous.name;
	}
}

struct RspEntry {
	std::string key, value;
};

/* The "Key = Value" lines of a CAVP response file, in order; nothing when
 * the file cannot be opened. */
std::optional<std::vector<RspEntry>> read_rsp(const std::string &name) {
	std::ifstream in(std::string(QEL_CAVP_DIR) + "/" + name);
	if (!in)
		return std::nullopt;
	std::vector<RspEntry> entries;
	for (std::string line; std::getline(in, line);) {
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		const std::size_t eq = line.find(" = ");
		if (line.empty() || line[0] == '#' || line[0] == '[' || eq == std::string::npos)
			continue;
		entries.push_back({line.substr(0, eq), line.substr(eq + 3)});
	}
	return entries;
}

std::string missing(const char *name) {
	return std::string("NIST CAVP file " QEL_CAVP_DIR "/") + name
	    + " is missing; install python3-cryptography-vectors or set QEL_CAVP_DIR";
}

/* Checks every Len/Msg/MD triple; returns how many there were. */
int check_messages(const std::vector<RspEntry> &entries, bool every_offset) {
	int count = 0;
	std::size_t length = 0;
	Bytes message;
	for (const RspEntry &e : entries) {
		if (e.key == "Len") {
			length = std::stoul(e.value) / 8;
		} else if (e.key == "Msg") {
			message = from_hex(e.value);
			EXPECT_GE(message.size(), length);
			message.resize(length); /* Len = 0 comes with "Msg = 00" */
		} else if (e.key == "MD") {
			const std::size_t n = message.size();
			const std::string where = "Len = " + std::to_string(n * 8);
			EXPECT_EQ(one_call(message), e.value) << where;
			EXPECT_EQ(byte_by_byte(message), e.value) << where;
			const std::vector<std::size_t> offsets = every_offset
			    ? split_offsets(n) : std::vector<std::size_t>{1, 64, n / 2, n - 1};
			for (std::size_t k : offsets)
				EXPECT_EQ(in_pieces(message, {k, k}), e.value) << where << ", split at " << k;
			++count;
		}
	}
	return count;
}

TEST(Sha256Cavp, ShortMessages) {
	const auto entries = read_rsp("SHA256ShortMsg.rsp");
	if (!entries)
		GTEST_SKIP() << missing("SHA256ShortMsg.rsp");
	EXPECT_EQ(check_messages(*entries, true), 65);
}

TEST(Sha256Cavp, LongMessages) {
	const auto entries = read_rsp("SHA256LongMsg.rsp");
	if (!entries)
		GTEST_SKIP() << missing("SHA256LongMsg.rsp");
	EXPECT_EQ(check_messages(*entries, false), 64);
}

/* MD0 = MD1 = MD2 = Seed; MDi = SHA256(MDi-3 || MDi-2 || MDi-1) for i = 3
 * to 1002; the checkpoint and the next seed are MD1002. */
TEST(Sha256Cavp, MonteCarlo) {
	const auto entries = read_rsp("SHA256Monte.rsp");
	if (!entries)
		GTEST_SKIP() << missing("SHA256Monte.rsp");
	using Digest = std::array<uint8_t, QEL_SHA256_DIGEST_SIZE>;
	Digest seed{};
	int checkpoints = 0;
	Sha256Context ctx; /* one context, reused through every final */
	sha256_ctx_init(&ctx);
	for (const RspEntry &e : *entries) {
		if (e.key == "Seed") {
			const Bytes bytes = from_hex(e.value);
			ASSERT_EQ(bytes.size(), seed.size());
			std::copy(bytes.begin(), bytes.end(), seed.begin());
		}
		if (e.key != "MD")
			continue;
		std::array<Digest, 3> md = {seed, seed, seed};
		for (int i = 3; i <= 1002; ++i) {
			for (const Digest &part : md)
				sha256_ctx_update(&ctx, part.data(), part.size());
			Digest next;
			sha256_ctx_final(&ctx, next.data());
			md = {md[1], md[2], next};
		}
		seed = md[2];
		EXPECT_EQ(to_hex(seed.data(), seed.size()), e.value) << "checkpoint " << checkpoints;
		++checkpoints;
	}
	EXPECT_EQ(checkpoints, 100);
}

TEST(Sha256Random, AgainstAnOracleWithRandomSplitsAndHex) {
	std::mt19937 rng(20240607);
	std::uniform_int_distribution<std::size_t> length(0, 5000), pieces(0, 6);
	for (int i = 0; i < 200; ++i) {
		Bytes m(length(rng));
		for (uint8_t &b : m)
			b = static_cast<uint8_t>(rng());
		std::vector<std::size_t> cuts(pieces(rng));
		for (std::size_t &cut : cuts)
			cut = std::uniform_int_distribution<std::size_t>(0, m.size())(rng);
		std::sort(cuts.begin(), cuts.end());
		const std::string expected = oracle_sha256(m);
		EXPECT_EQ(one_call(m), expected) << "case " << i << ", length " << m.size();
		EXPECT_EQ(in_pieces(m, cuts), expected) << "case " << i << ", length " << m.size();
		char text[QEL_SHA256_HEX_SIZE];
		sha256_hex(text, m.data(), static_cast<int32_t>(m.size()));
		EXPECT_EQ(text, expected) << "case " << i << ", sha256_hex";
	}
}

constexpr char canary = '#';

TEST(Sha256Hex, ExactlySixtyFourLowerCaseDigitsAndANul) {
	const std::pair<const char *, const char *> table[] = {
		{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
		{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
	};
	for (const auto &[message, expected] : table) {
		char text[80];
		std::memset(text, canary, sizeof text);
		EXPECT_EQ(sha256_hex(text, message, static_cast<int32_t>(std::strlen(message))), 64);
		EXPECT_STREQ(text, expected);
		for (std::size_t i = QEL_SHA256_HEX_SIZE; i < sizeof text; ++i)
			EXPECT_EQ(text[i], canary) << "byte " << i << " written for \"" << message << '"';
	}
	char text[QEL_SHA256_HEX_SIZE];
	EXPECT_EQ(sha256_hex(text, nullptr, 0), 64);
	EXPECT_STREQ(text, table[0].second);
}

TEST(Sha256Hex, KeepsLeadingZeroOfByteZero) {
	for (uint32_t i = 0; i < 1000; ++i) {
		uint8_t d[QEL_SHA256_DIGEST_SIZE];
		sha256_buffer(d, &i, sizeof i);
		if (d[0] >= 0x10)
			continue;
		char text[80];
		std::memset(text, canary, sizeof text);
		EXPECT_EQ(sha256_hex(text, &i, sizeof i), 64);
		EXPECT_EQ(text[0], '0');
		EXPECT_EQ(std::string(text), to_hex(d, sizeof d));
		EXPECT_EQ(text[QEL_SHA256_HEX_SIZE], canary);
		return;
	}
	FAIL() << "no digest with a first byte below 0x10 in 1000 tries";
}

} // namespace
