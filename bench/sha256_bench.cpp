/* SHA-256 throughput: our core/sha256.cpp beside OpenSSL 3's, one whole
 * message a call, at 1 KiB, 64 KiB and 16 MiB. */
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include "core/sha256.h"

namespace {

std::vector<uint8_t>
message(int64_t size)
{
	std::vector<uint8_t> m(static_cast<std::size_t>(size));
	for (std::size_t i = 0; i < m.size(); i++)
		m[i] = static_cast<uint8_t>(i * 131u + 7u);
	return m;
}

void
bm_sha256_qel(benchmark::State &state)
{
	const std::vector<uint8_t> m = message(state.range(0));
	uint8_t digest[QEL_SHA256_DIGEST_SIZE];
	for (auto _ : state) {
		sha256_buffer(digest, m.data(), static_cast<uint32_t>(m.size()));
		benchmark::DoNotOptimize(digest);
		benchmark::ClobberMemory();
	}
	state.SetBytesProcessed(state.iterations() * state.range(0));
}

/* The digest is fetched once and the context reused, as a program hashing
 * many messages would; only the hashing itself is in the loop. */
void
bm_sha256_openssl(benchmark::State &state)
{
	const std::vector<uint8_t> m = message(state.range(0));
	EVP_MD *md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
	EVP_MD_CTX *ctx = EVP_MD_CTX_new();
	if (md == nullptr || ctx == nullptr) {
		state.SkipWithError("OpenSSL SHA-256 unavailable");
	} else {
		unsigned char digest[EVP_MAX_MD_SIZE];
		unsigned int len = 0;
		for (auto _ : state) {
			if (EVP_DigestInit_ex(ctx, md, nullptr) != 1 ||
			    EVP_DigestUpdate(ctx, m.data(), m.size()) != 1 ||
			    EVP_DigestFinal_ex(ctx, digest, &len) != 1) {
				state.SkipWithError("OpenSSL SHA-256 failed");
				break;
			}
			benchmark::DoNotOptimize(digest);
			benchmark::ClobberMemory();
		}
		state.SetBytesProcessed(state.iterations() * state.range(0));
	}
	EVP_MD_CTX_free(ctx);
	EVP_MD_free(md);
}

} // namespace

BENCHMARK(bm_sha256_qel)->Name("sha256_qel")->Arg(1 << 10)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(bm_sha256_openssl)->Name("sha256_openssl")->Arg(1 << 10)->Arg(64 << 10)->Arg(16 << 20);

BENCHMARK_MAIN();
