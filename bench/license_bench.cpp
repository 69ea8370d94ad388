/* The product's licence check beside OpenSSL doing the same DSA
 * verification.
 *
 *   license_check          qel_license_check, the product's one call: the
 *                          key imported, the licence read and hashed, the
 *                          signature verified, this machine's adapters
 *                          listed and compared, the date
 *   stage/parse            license_parse: the reader and SHA-256
 *   stage/key_import       key_import of the public key (dsa_import and
 *                          its checks, the export that compares)
 *   stage/verify           the signature: DER decoded and encoded again,
 *                          dsa_verify_hash_raw
 *   stage/adapters         hostid_list_get_sorted and hostid_list_free
 *   openssl_verify         OpenSSL 3: SHA-256 of the signed text, the
 *                          signature decoded (d2i_DSA_SIG), and the DSA
 *                          equation as OpenSSL's own DSA verify works it
 *                          (BN_mod_inverse, BN_mod_mul, BN_mod_exp2_mont
 *                          with the Montgomery context of p made once, as
 *                          a DSA key caches it)
 *   openssl_verify_cold    the same with the Montgomery context made each
 *                          time, as a program that verifies once does
 *   openssl_two_powers     the same with g^u1 and y^u2 worked out apart
 *                          (BN_mod_exp_mont twice, BN_mod_mul), the way
 *                          libtomcrypt's dsa_verify_hash_raw does on
 *                          libtommath: the method alike, the arithmetic
 *                          OpenSSL's
 *
 * OpenSSL 3 refuses DSA keys with a 240-bit q in DSA_do_verify, hence the
 * equation on its BIGNUMs. The licence is issued at start with the test
 * key (tests/data) for this machine's first address. */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/dsa.h>
#include <openssl/sha.h>
#include <tomcrypt.h>

#include "core/file.h"
#include "keys/key_import.h"
#include "keys/key_source.h"
#include "license/license.h"
#include "license/license_text.h"

namespace {

std::vector<unsigned char> public_der;
std::string licence;
std::string signed_text;

std::vector<unsigned char>
read_key(const char *name)
{
	std::string path = std::string(QEL_TEST_DATA) + "/" + name;
	char msg[QEL_MSG_SIZE];
	unsigned char *der = nullptr;
	uint32_t len = 0;
	bool is_private = std::strstr(name, "priv") != nullptr;
	if (key_source_read(path.c_str(), is_private, &der, &len, msg) != QEL_OK) {
		std::fprintf(stderr, "%s\n", msg);
		std::exit(1);
	}
	std::vector<unsigned char> v(der, der + len);
	mem_free(der);
	return v;
}

/* A licence for this machine's first address, issued with the test key. */
void
make_licence()
{
	char msg[QEL_MSG_SIZE];
	char **mine = nullptr;
	if (hostid_list_get_sorted(&mine, msg) != QEL_OK) {
		std::fprintf(stderr, "%s\n", msg);
		std::exit(1);
	}
	std::string report = "\"hostid\": \"" + std::string(mine[0]) + "\",\n\"os\": \"Linux\"\n";
	hostid_list_free(mine);
	std::vector<unsigned char> priv = read_key("golden_privkey.c");
	public_der = read_key("golden_pubkey.c");
	const char *members[] = {"licensee", "Example Ltd", "features", "pro", nullptr};
	char *text = nullptr;
	std::size_t len = 0;
	if (qel_license_issue(report.data(), report.size(), members, priv.data(),
	                      static_cast<int>(priv.size()), &text, &len, msg) != QEL_OK) {
		std::fprintf(stderr, "%s\n", msg);
		std::exit(1);
	}
	licence.assign(text, len);
	qel_license_text_free(text);
	signed_text = licence.substr(0, licence.find("\"signature\": "));
}

void
bm_license_check(benchmark::State &state)
{
	char msg[QEL_MSG_SIZE];
	for (auto _ : state) {
		int rc = qel_license_check(licence.data(), licence.size(), public_der.data(),
		                           static_cast<int>(public_der.size()), msg);
		if (rc != QEL_OK) {
			state.SkipWithError(msg);
			break;
		}
	}
}

void
bm_parse(benchmark::State &state)
{
	for (auto _ : state) {
		qel_license *lic = nullptr;
		if (license_parse(licence.data(), licence.size(), "licence", &lic, nullptr) != QEL_OK) {
			state.SkipWithError("parse failed");
			break;
		}
		qel_license_free(lic);
	}
}

void
bm_key_import(benchmark::State &state)
{
	for (auto _ : state) {
		dsa_key key;
		if (key_import(public_der.data(), static_cast<uint32_t>(public_der.size()), false,
		               "key", &key, nullptr) != QEL_OK) {
			state.SkipWithError("import failed");
			break;
		}
		dsa_free(&key);
	}
}

void
bm_verify(benchmark::State &state)
{
	qel_license *lic = nullptr;
	dsa_key key;
	if (license_parse(licence.data(), licence.size(), "licence", &lic, nullptr) != QEL_OK ||
	    key_import(public_der.data(), static_cast<uint32_t>(public_der.size()), false, "key",
	               &key, nullptr) != QEL_OK) {
		state.SkipWithError("setup failed");
		qel_license_free(lic);
		return;
	}
	const auto length = static_cast<unsigned long>(lic->signature_length);
	for (auto _ : state) {
		void *r = nullptr;
		void *s = nullptr;
		int stat = 0;
		unsigned char again[128];
		unsigned long n = sizeof again;
		int err = ltc_init_multi(&r, &s, nullptr);
		if (err == CRYPT_OK)
			err = der_decode_sequence_multi(lic->signature, length, LTC_ASN1_INTEGER, 1UL, r,
			                                LTC_ASN1_INTEGER, 1UL, s, LTC_ASN1_EOL, 0UL,
			                                nullptr);
		if (err == CRYPT_OK)
			err = der_encode_sequence_multi(again, &n, LTC_ASN1_INTEGER, 1UL, r,
			                                LTC_ASN1_INTEGER, 1UL, s, LTC_ASN1_EOL, 0UL,
			                                nullptr);
		if (err == CRYPT_OK && n == length && std::memcmp(again, lic->signature, n) == 0)
			err = dsa_verify_hash_raw(r, s, lic->digest, sizeof lic->digest, &stat, &key);
		ltc_deinit_multi(r, s, nullptr);
		if (err != CRYPT_OK || stat != 1) {
			state.SkipWithError("verify failed");
			break;
		}
	}
	dsa_free(&key);
	qel_license_free(lic);
}

void
bm_adapters(benchmark::State &state)
{
	for (auto _ : state) {
		char **mine = nullptr;
		if (hostid_list_get_sorted(&mine, nullptr) != QEL_OK) {
			state.SkipWithError("no adapter list");
			break;
		}
		hostid_list_free(mine);
	}
}

/* The key's numbers and the signature, as OpenSSL's BIGNUMs. */
struct OpenSslKey {
	BIGNUM *p = nullptr, *q = nullptr, *g = nullptr, *y = nullptr;
	std::vector<unsigned char> sig;
};

BIGNUM *
bn_of(void *mp)
{
	std::vector<unsigned char> buf(ltc_mp.unsigned_size(mp));
	(void)ltc_mp.unsigned_write(mp, buf.data());
	return BN_bin2bn(buf.data(), static_cast<int>(buf.size()), nullptr);
}

OpenSslKey
openssl_key()
{
	OpenSslKey k;
	dsa_key key;
	if (key_import(public_der.data(), static_cast<uint32_t>(public_der.size()), false, "key",
	               &key, nullptr) != QEL_OK)
		std::exit(1);
	k.p = bn_of(key.p);
	k.q = bn_of(key.q);
	k.g = bn_of(key.g);
	k.y = bn_of(key.y);
	dsa_free(&key);
	std::size_t at = licence.find("\"signature\": \"") + 14;
	std::string hex = licence.substr(at, licence.find('"', at) - at);
	for (std::size_t i = 0; i < hex.size(); i += 2)
		k.sig.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
	return k;
}

/* One verification the way OpenSSL's DSA verify does it, or with the two
 * powers apart. */
bool
openssl_verify_once(const OpenSslKey &k, BN_CTX *ctx, BN_MONT_CTX *mont, bool apart)
{
	unsigned char digest[SHA256_DIGEST_LENGTH];
	SHA256(reinterpret_cast<const unsigned char *>(signed_text.data()), signed_text.size(),
	       digest);
	const unsigned char *p = k.sig.data();
	DSA_SIG *sig = d2i_DSA_SIG(nullptr, &p, static_cast<long>(k.sig.size()));
	if (sig == nullptr)
		return false;
	const BIGNUM *r = nullptr, *s = nullptr;
	DSA_SIG_get0(sig, &r, &s);
	BN_CTX_start(ctx);
	BIGNUM *z = BN_CTX_get(ctx), *w = BN_CTX_get(ctx), *u1 = BN_CTX_get(ctx);
	BIGNUM *u2 = BN_CTX_get(ctx), *t = BN_CTX_get(ctx), *t2 = BN_CTX_get(ctx);
	bool ok = t2 != nullptr && BN_bin2bn(digest, (BN_num_bits(k.q) + 7) / 8, z) != nullptr &&
	          BN_mod_inverse(w, s, k.q, ctx) != nullptr && BN_mod_mul(u1, z, w, k.q, ctx) &&
	          BN_mod_mul(u2, r, w, k.q, ctx);
	if (ok && apart)
		ok = BN_mod_exp_mont(t, k.g, u1, k.p, ctx, mont) &&
		     BN_mod_exp_mont(t2, k.y, u2, k.p, ctx, mont) && BN_mod_mul(t, t, t2, k.p, ctx);
	else if (ok)
		ok = BN_mod_exp2_mont(t, k.g, u1, k.y, u2, k.p, ctx, mont);
	ok = ok && BN_mod(t, t, k.q, ctx) && BN_cmp(t, r) == 0;
	BN_CTX_end(ctx);
	DSA_SIG_free(sig);
	return ok;
}

/* Argument: 0 as OpenSSL verifies, 1 with the Montgomery context made
 * each time, 2 with the two powers apart. */
void
bm_openssl_verify(benchmark::State &state)
{
	const bool cold = state.range(0) == 1;
	const bool apart = state.range(0) == 2;
	OpenSslKey k = openssl_key();
	BN_CTX *ctx = BN_CTX_new();
	BN_MONT_CTX *mont = BN_MONT_CTX_new();
	if (ctx == nullptr || mont == nullptr || !BN_MONT_CTX_set(mont, k.p, ctx)) {
		state.SkipWithError("OpenSSL set-up failed");
	} else {
		for (auto _ : state) {
			BN_MONT_CTX *m = mont;
			if (cold) {
				m = BN_MONT_CTX_new();
				if (m == nullptr || !BN_MONT_CTX_set(m, k.p, ctx)) {
					state.SkipWithError("BN_MONT_CTX_set failed");
					break;
				}
			}
			bool ok = openssl_verify_once(k, ctx, m, apart);
			if (cold)
				BN_MONT_CTX_free(m);
			if (!ok) {
				state.SkipWithError("OpenSSL's equation does not hold");
				break;
			}
		}
	}
	BN_MONT_CTX_free(mont);
	BN_CTX_free(ctx);
	BN_free(k.p);
	BN_free(k.q);
	BN_free(k.g);
	BN_free(k.y);
}

} // namespace

int
main(int argc, char **argv)
{
	ltc_mp = ltm_desc;
	make_licence();
	auto unit = [](benchmark::internal::Benchmark *b) {
		b->Unit(benchmark::kMicrosecond);
	};
	unit(benchmark::RegisterBenchmark("license_check", bm_license_check));
	unit(benchmark::RegisterBenchmark("stage/parse", bm_parse));
	unit(benchmark::RegisterBenchmark("stage/key_import", bm_key_import));
	unit(benchmark::RegisterBenchmark("stage/verify", bm_verify));
	unit(benchmark::RegisterBenchmark("stage/adapters", bm_adapters));
	unit(benchmark::RegisterBenchmark("openssl_verify", bm_openssl_verify)->Arg(0));
	unit(benchmark::RegisterBenchmark("openssl_verify_cold", bm_openssl_verify)->Arg(1));
	unit(benchmark::RegisterBenchmark("openssl_two_powers", bm_openssl_verify)->Arg(2));
	benchmark::Initialize(&argc, argv);
	int rc = 0;
	if (benchmark::ReportUnrecognizedArguments(argc, argv))
		rc = 1;
	else if (benchmark::RunSpecifiedBenchmarks() == 0)
		rc = 1;
	benchmark::Shutdown();
	return rc;
}
