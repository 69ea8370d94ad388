/* Key generation beside OpenSSL, and one qelkeypair run taken apart.
 *
 *   keypair_generate          our key pair: dsa_make_key, dsa_verify_key and
 *                             both exports, as qelkeypair calls it
 *   openssl_dsa/q_bits:224    OpenSSL 3 (EVP): DSA parameters for a 2048-bit
 *   openssl_dsa/q_bits:256    p and the given q, then a key on them
 *   qelkeypair_stages         the steps of qel_generate_keys one by one,
 *                             each timed into a counter (milliseconds)
 *
 * Each repetition makes one key (one iteration); scripts/bench.sh asks for
 * many repetitions, randomly interleaved, so the libraries share the
 * machine's ups and downs. The key files of the stages go to a scratch
 * directory made in the current directory and are removed again. */
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <openssl/dsa.h>
#include <openssl/evp.h>
#include <tomcrypt.h>
#include <unistd.h>

#include "core/error.h"
#include "core/sha256.h"
#include "keys/generate.h"
#include "keys/key_source.h"
#include "keys/keypair.h"
#include "keys/os_prng.h"

namespace {

using Clock = std::chrono::steady_clock;

double
seconds_since(Clock::time_point t0)
{
	return std::chrono::duration<double>(Clock::now() - t0).count();
}

double
quantile(const std::vector<double> &v, double q)
{
	if (v.empty())
		return 0.0;
	std::vector<double> s(v);
	std::sort(s.begin(), s.end());
	double pos = q * static_cast<double>(s.size() - 1);
	auto lo = static_cast<std::size_t>(pos);
	std::size_t hi = std::min(lo + 1, s.size() - 1);
	return s[lo] + (pos - static_cast<double>(lo)) * (s[hi] - s[lo]);
}

double p10(const std::vector<double> &v) { return quantile(v, 0.10); }
double p90(const std::vector<double> &v) { return quantile(v, 0.90); }
double maximum(const std::vector<double> &v) { return quantile(v, 1.0); }

std::string scratch_dir;

/* Counts the keys made in this process, so a report can see the order in
 * which the generators took turns. */
double key_sequence = 0;

void
bm_keypair_generate(benchmark::State &state)
{
	for (auto _ : state) {
		char msg[QEL_MSG_SIZE] = "";
		KeyPair *kp = keypair_new(msg);
		auto t0 = Clock::now();
		int rc = kp != nullptr ? keypair_generate(kp, msg) : QEL_ERR_MEMORY;
		state.SetIterationTime(seconds_since(t0));
		state.counters["sequence"] = ++key_sequence;
		keypair_free(kp);
		if (rc != QEL_OK) {
			state.SkipWithError(msg);
			break;
		}
	}
}

void
bm_openssl_dsa(benchmark::State &state)
{
	const int q_bits = static_cast<int>(state.range(0));
	for (auto _ : state) {
		EVP_PKEY *params = nullptr;
		EVP_PKEY *key = nullptr;
		EVP_PKEY_CTX *kctx = nullptr;
		auto t0 = Clock::now();
		EVP_PKEY_CTX *pctx = EVP_PKEY_CTX_new_from_name(nullptr, "DSA", nullptr);
		bool ok = pctx != nullptr && EVP_PKEY_paramgen_init(pctx) == 1 &&
		          EVP_PKEY_CTX_set_dsa_paramgen_bits(pctx, 2048) == 1 &&
		          EVP_PKEY_CTX_set_dsa_paramgen_q_bits(pctx, q_bits) == 1 &&
		          EVP_PKEY_paramgen(pctx, &params) == 1;
		if (ok) {
			kctx = EVP_PKEY_CTX_new_from_pkey(nullptr, params, nullptr);
			ok = kctx != nullptr && EVP_PKEY_keygen_init(kctx) == 1 &&
			     EVP_PKEY_keygen(kctx, &key) == 1;
		}
		state.SetIterationTime(seconds_since(t0));
		state.counters["sequence"] = ++key_sequence;
		EVP_PKEY_free(key);
		EVP_PKEY_CTX_free(kctx);
		EVP_PKEY_free(params);
		EVP_PKEY_CTX_free(pctx);
		if (!ok) {
			state.SkipWithError("OpenSSL DSA generation failed");
			break;
		}
	}
}

/* Exports the key as keys/keypair.cpp does: into a scratch buffer, then
 * into a block of its own. */
bool
export_key(KeyPair *kp, int type, unsigned char **der, uint32_t *der_len)
{
	unsigned char scratch[KEYPAIR_EXPORT_SIZE];
	unsigned long len = sizeof scratch;
	bool ok = dsa_export(scratch, &len, type, &kp->key) == CRYPT_OK;
	if (ok) {
		*der = static_cast<unsigned char *>(mem_calloc(len, 1));
		ok = *der != nullptr;
	}
	if (ok) {
		std::memcpy(*der, scratch, len);
		*der_len = static_cast<uint32_t>(len);
	}
	mem_wipe(scratch, sizeof scratch);
	return ok;
}

/* Milliseconds from t0 to now into the named counter; t0 moves to now. */
void
lap(benchmark::State &state, const char *name, Clock::time_point *t0)
{
	auto t1 = Clock::now();
	state.counters[name] = std::chrono::duration<double, std::milli>(t1 - *t0).count();
	*t0 = t1;
}

/* The steps of qel_generate_keys in its order, on the library's own
 * functions; the iteration time is their sum. */
void
bm_qelkeypair_stages(benchmark::State &state)
{
	const std::string private_path = scratch_dir + "/" + PRIVATE_KEY_FILE;
	const std::string public_path = scratch_dir + "/" + PUBLIC_KEY_FILE;
	for (auto _ : state) {
		char msg[QEL_MSG_SIZE] = "";
		const char *failed = nullptr;
		KeyPair *kp = keypair_new(msg);
		if (kp == nullptr) {
			state.SkipWithError(msg);
			break;
		}
		ltc_mp = ltm_desc;
		int prng = os_prng_register();

		auto start = Clock::now();
		auto t0 = start;
		if (dsa_make_key(nullptr, prng, KEYPAIR_GROUP_SIZE, KEYPAIR_MODULUS_SIZE,
		                 &kp->key) == CRYPT_OK)
			kp->key_made = true;
		else
			failed = "dsa_make_key failed";
		lap(state, "make_key_ms", &t0);
		int stat = 0;
		if (failed == nullptr &&
		    (dsa_verify_key(&kp->key, &stat) != CRYPT_OK || stat != 1))
			failed = "dsa_verify_key failed";
		lap(state, "verify_key_ms", &t0);
		if (failed == nullptr &&
		    !export_key(kp, PK_PRIVATE, &kp->private_der, &kp->private_der_len))
			failed = "private export failed";
		lap(state, "export_private_ms", &t0);
		if (failed == nullptr &&
		    !export_key(kp, PK_PUBLIC, &kp->public_der, &kp->public_der_len))
			failed = "public export failed";
		lap(state, "export_public_ms", &t0);
		if (failed == nullptr &&
		    keypair_write_private(kp, private_path.c_str(), msg) != QEL_OK)
			failed = msg;
		lap(state, "write_private_ms", &t0);
		if (failed == nullptr &&
		    keypair_write_public(kp, public_path.c_str(), msg) != QEL_OK)
			failed = msg;
		lap(state, "write_public_ms", &t0);
		char hash[QEL_SHA256_HEX_SIZE];
		if (failed == nullptr)
			benchmark::DoNotOptimize(keypair_public_hash(kp, hash));
		lap(state, "hash_ms", &t0);
		state.SetIterationTime(std::chrono::duration<double>(t0 - start).count());

		keypair_free(kp);
		(void)unlink(private_path.c_str());
		(void)unlink(public_path.c_str());
		if (failed != nullptr) {
			state.SkipWithError(failed);
			break;
		}
	}
}

benchmark::internal::Benchmark *
per_key(benchmark::internal::Benchmark *b)
{
	return b->Iterations(1)
	    ->UseManualTime()
	    ->Unit(benchmark::kMillisecond)
	    ->ComputeStatistics("p10", p10)
	    ->ComputeStatistics("p90", p90)
	    ->ComputeStatistics("max", maximum);
}

} // namespace

int
main(int argc, char **argv)
{
	char dir[] = "qel_bench_keys.XXXXXX";
	if (mkdtemp(dir) == nullptr) {
		std::perror("mkdtemp");
		return 1;
	}
	scratch_dir = dir;

	per_key(benchmark::RegisterBenchmark("keypair_generate", bm_keypair_generate));
	per_key(benchmark::RegisterBenchmark("openssl_dsa", bm_openssl_dsa)
	            ->ArgName("q_bits")
	            ->Arg(224)
	            ->Arg(256));
	per_key(benchmark::RegisterBenchmark("qelkeypair_stages", bm_qelkeypair_stages));

	benchmark::Initialize(&argc, argv);
	int rc = 0;
	if (benchmark::ReportUnrecognizedArguments(argc, argv))
		rc = 1;
	else if (benchmark::RunSpecifiedBenchmarks() == 0)
		rc = 1; /* a filter that matches nothing is a mistake */
	benchmark::Shutdown();
	(void)rmdir(dir);
	return rc;
}
