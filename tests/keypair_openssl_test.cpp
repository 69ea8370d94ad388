/* The generated key checked by OpenSSL: its numbers with OpenSSL's BIGNUM,
 * the key as an OpenSSL key pair, and signatures made by each library
 * verified by the other side. */
#include <cstring>
#include <memory>

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/dsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <tomcrypt.h>

#include "core/error.h"
#include "key_test_util.h"

namespace {

using BnPtr = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

BnPtr
bn(const Bytes &magnitude)
{
	return {BN_bin2bn(magnitude.data(), static_cast<int>(magnitude.size()), nullptr),
	        BN_free};
}

/* A standard DSA key pair in OpenSSL, from the numbers of a private blob. */
EVP_PKEY *
openssl_key(const DerKey &k)
{
	EVP_PKEY *pkey = nullptr;
	if (k.values.size() != 5)
		return nullptr;
	OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
	BnPtr g = bn(k.values[0]), p = bn(k.values[1]), q = bn(k.values[2]),
	      y = bn(k.values[3]), x = bn(k.values[4]);
	OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_FFC_P, p.get());
	OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_FFC_Q, q.get());
	OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_FFC_G, g.get());
	OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_PUB_KEY, y.get());
	OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_PRIV_KEY, x.get());
	OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(bld);
	EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_from_name(nullptr, "DSA", nullptr);
	if (ctx == nullptr || EVP_PKEY_fromdata_init(ctx) != 1 ||
	    EVP_PKEY_fromdata(ctx, &pkey, EVP_PKEY_KEYPAIR, params) != 1)
		pkey = nullptr;
	EVP_PKEY_CTX_free(ctx);
	OSSL_PARAM_free(params);
	OSSL_PARAM_BLD_free(bld);
	return pkey;
}

/* DSA verification as FIPS 186-4 (4.7) states it, on OpenSSL's numbers:
 * OpenSSL's own DSA verify accepts only q of 160, 224 or 256 bits. */
bool
textbook_verify(const DerKey &k, const unsigned char *sig, std::size_t siglen,
                const unsigned char hash[32])
{
	if (k.values.size() < 4)
		return false;
	const unsigned char *in = sig;
	DSA_SIG *ds = d2i_DSA_SIG(nullptr, &in, static_cast<long>(siglen));
	if (ds == nullptr || in != sig + siglen) {
		DSA_SIG_free(ds);
		return false;
	}
	const BIGNUM *r = nullptr, *s = nullptr;
	DSA_SIG_get0(ds, &r, &s);
	BN_CTX *ctx = BN_CTX_new();
	BnPtr g = bn(k.values[0]), p = bn(k.values[1]), q = bn(k.values[2]), y = bn(k.values[3]);
	/* the leftmost 240 bits of the hash */
	BnPtr z = bn(Bytes(hash, hash + 30)), w = bn({}), u1 = bn({}), u2 = bn({}),
	      v1 = bn({}), v2 = bn({});
	bool ok = !BN_is_zero(r) && !BN_is_negative(r) && BN_cmp(r, q.get()) < 0 &&
	          !BN_is_zero(s) && !BN_is_negative(s) && BN_cmp(s, q.get()) < 0 &&
	          BN_mod_inverse(w.get(), s, q.get(), ctx) != nullptr &&
	          BN_mod_mul(u1.get(), z.get(), w.get(), q.get(), ctx) == 1 &&
	          BN_mod_mul(u2.get(), r, w.get(), q.get(), ctx) == 1 &&
	          BN_mod_exp(v1.get(), g.get(), u1.get(), p.get(), ctx) == 1 &&
	          BN_mod_exp(v2.get(), y.get(), u2.get(), p.get(), ctx) == 1 &&
	          BN_mod_mul(v1.get(), v1.get(), v2.get(), p.get(), ctx) == 1 &&
	          BN_nnmod(v1.get(), v1.get(), q.get(), ctx) == 1 && BN_cmp(v1.get(), r) == 0;
	BN_CTX_free(ctx);
	DSA_SIG_free(ds);
	return ok;
}

TEST(KeyPairOracle, NumbersFormASoundDsaKey)
{
	const SharedKey &k = shared_key();
	ASSERT_EQ(k.rc, QEL_OK) << k.msg;
	ASSERT_EQ(k.dpriv.values.size(), 5u) << k.dpriv.error;
	const DerKey &dpriv = k.dpriv;
	BN_CTX *ctx = BN_CTX_new();
	BnPtr g = bn(dpriv.values[0]), p = bn(dpriv.values[1]), q = bn(dpriv.values[2]),
	      y = bn(dpriv.values[3]), x = bn(dpriv.values[4]);
	BnPtr t = bn({}), r = bn({});
	EXPECT_EQ(BN_num_bits(q.get()), 240);
	EXPECT_EQ(BN_check_prime(q.get(), ctx, nullptr), 1);
	EXPECT_EQ(BN_num_bits(p.get()), 2048);
	EXPECT_EQ(BN_check_prime(p.get(), ctx, nullptr), 1);
	/* q | p - 1 */
	BN_sub(t.get(), p.get(), BN_value_one());
	BN_mod(r.get(), t.get(), q.get(), ctx);
	EXPECT_TRUE(BN_is_zero(r.get()));
	/* g has order q: g^q = 1, g != 1 */
	EXPECT_FALSE(BN_is_one(g.get()));
	EXPECT_LT(BN_cmp(g.get(), p.get()), 0);
	BN_mod_exp(t.get(), g.get(), q.get(), p.get(), ctx);
	EXPECT_TRUE(BN_is_one(t.get()));
	/* 1 < x < q, y = g^x */
	EXPECT_GT(BN_cmp(x.get(), BN_value_one()), 0);
	EXPECT_LT(BN_cmp(x.get(), q.get()), 0);
	BN_mod_exp(t.get(), g.get(), x.get(), p.get(), ctx);
	EXPECT_EQ(BN_cmp(t.get(), y.get()), 0);
	BN_CTX_free(ctx);
}

TEST(KeyPairOracle, OpenSslAcceptsTheKeyAndSignaturesCrossVerify)
{
	const SharedKey &k = shared_key();
	ASSERT_EQ(k.rc, QEL_OK) << k.msg;
	ASSERT_EQ(k.dpriv.values.size(), 5u) << k.dpriv.error;
	ASSERT_EQ(k.dpub.values.size(), 4u) << k.dpub.error;
	const DerKey &dpriv = k.dpriv, &dpub = k.dpub;
	Bytes pub = k.pub, priv = k.priv;
	/* OpenSSL checks domain parameters only for the (L, N) pairs of
	 * FIPS 186-4, which (2048, 240) is not, so EVP_PKEY_param_check is left
	 * out; the numbers are checked one by one above. */
	EVP_PKEY *pair = openssl_key(dpriv);
	ASSERT_NE(pair, nullptr);
	EVP_PKEY_CTX *check = EVP_PKEY_CTX_new_from_pkey(nullptr, pair, nullptr);
	EXPECT_EQ(EVP_PKEY_public_check(check), 1);
	EXPECT_EQ(EVP_PKEY_pairwise_check(check), 1);
	EVP_PKEY_CTX_free(check);

	unsigned char hash[32];
	for (unsigned i = 0; i < sizeof hash; i++)
		hash[i] = static_cast<unsigned char>(i * 7 + 1);
	unsigned char tampered[32];
	std::memcpy(tampered, hash, sizeof hash);
	tampered[0] ^= 1;

	ltc_mp = ltm_desc;
	dsa_key ltc_pub, ltc_priv;
	ASSERT_EQ(dsa_import(pub.data(), pub.size(), &ltc_pub), CRYPT_OK);
	ASSERT_EQ(dsa_import(priv.data(), priv.size(), &ltc_priv), CRYPT_OK);
	EXPECT_EQ(ltc_pub.type, PK_PUBLIC);
	EXPECT_EQ(ltc_priv.type, PK_PRIVATE);

	/* OpenSSL signs, libtomcrypt verifies with the public blob. */
	EVP_PKEY_CTX *sctx = EVP_PKEY_CTX_new_from_pkey(nullptr, pair, nullptr);
	unsigned char sig[256];
	std::size_t siglen = sizeof sig;
	ASSERT_EQ(EVP_PKEY_sign_init(sctx), 1);
	ASSERT_EQ(EVP_PKEY_sign(sctx, sig, &siglen, hash, sizeof hash), 1);
	EVP_PKEY_CTX_free(sctx);
	int stat = -1;
	EXPECT_EQ(dsa_verify_hash(sig, siglen, hash, sizeof hash, &stat, &ltc_pub), CRYPT_OK);
	EXPECT_EQ(stat, 1);
	stat = -1;
	EXPECT_EQ(dsa_verify_hash(sig, siglen, tampered, sizeof tampered, &stat, &ltc_pub),
	          CRYPT_OK);
	EXPECT_EQ(stat, 0);
	EXPECT_TRUE(textbook_verify(dpub, sig, siglen, hash));

	/* libtomcrypt signs with the private blob; the check above, which
	 * accepted OpenSSL's signature, verifies it from the public numbers. */
	int prng = register_prng(&chacha20_prng_desc);
	prng_state ps;
	ASSERT_EQ(chacha20_prng_start(&ps), CRYPT_OK);
	const unsigned char seed[40] = {42};
	ASSERT_EQ(chacha20_prng_add_entropy(seed, sizeof seed, &ps), CRYPT_OK);
	ASSERT_EQ(chacha20_prng_ready(&ps), CRYPT_OK);
	unsigned long ltc_siglen = sizeof sig;
	ASSERT_EQ(dsa_sign_hash(hash, sizeof hash, sig, &ltc_siglen, &ps, prng, &ltc_priv),
	          CRYPT_OK);
	chacha20_prng_done(&ps);
	EXPECT_TRUE(textbook_verify(dpub, sig, ltc_siglen, hash));
	EXPECT_FALSE(textbook_verify(dpub, sig, ltc_siglen, tampered));

	dsa_free(&ltc_pub);
	dsa_free(&ltc_priv);
	EVP_PKEY_free(pair);
}

} // namespace
