/* Built together with the qel_privkey.c and qel_pubkey.c of a qelkeypair
 * run: gets both keys back through the generated functions, imports them
 * with libtomcrypt, signs with the private key and verifies with the public
 * one. Prints the two lengths; exits 1 on any failure. */
#include <stdio.h>

#include <tomcrypt.h>

const unsigned char *qel_get_private_key(int *keylen);
const unsigned char *qel_get_public_key(int *keylen);

static int
fail(const char *what, int err)
{
	fprintf(stderr, "keyfiles_check: %s: %s\n", what, error_to_string(err));
	return 1;
}

int
main(void)
{
	int priv_len = -1, pub_len = -1, err, stat = -1, prng;
	const unsigned char *priv = qel_get_private_key(&priv_len);
	const unsigned char *pub = qel_get_public_key(&pub_len);
	unsigned char hash[32], sig[256], seed[32] = {7};
	unsigned long siglen = sizeof sig, i;
	dsa_key kpriv, kpub;
	prng_state ps;

	ltc_mp = ltm_desc;
	if ((err = dsa_import(priv, (unsigned long)priv_len, &kpriv)) != CRYPT_OK)
		return fail("import private key", err);
	if ((err = dsa_import(pub, (unsigned long)pub_len, &kpub)) != CRYPT_OK)
		return fail("import public key", err);
	if (kpriv.type != PK_PRIVATE || kpub.type != PK_PUBLIC || kpriv.qord != 30)
		return fail("key types", CRYPT_PK_TYPE_MISMATCH);

	for (i = 0; i < sizeof hash; i++)
		hash[i] = (unsigned char)(i * 13 + 5);
	prng = register_prng(&chacha20_prng_desc);
	if ((err = chacha20_prng_start(&ps)) != CRYPT_OK ||
	    (err = chacha20_prng_add_entropy(seed, sizeof seed, &ps)) != CRYPT_OK ||
	    (err = chacha20_prng_ready(&ps)) != CRYPT_OK)
		return fail("prng", err);
	if ((err = dsa_sign_hash(hash, sizeof hash, sig, &siglen, &ps, prng, &kpriv)) != CRYPT_OK)
		return fail("sign", err);
	if ((err = dsa_verify_hash(sig, siglen, hash, sizeof hash, &stat, &kpub)) != CRYPT_OK ||
	    stat != 1)
		return fail("verify", err);
	hash[0] ^= 1;
	if ((err = dsa_verify_hash(sig, siglen, hash, sizeof hash, &stat, &kpub)) != CRYPT_OK ||
	    stat != 0)
		return fail("verify of another hash", err);

	chacha20_prng_done(&ps);
	dsa_free(&kpriv);
	dsa_free(&kpub);
	printf("private %d public %d\n", priv_len, pub_len);
	return 0;
}
