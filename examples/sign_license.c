/* sign_license: the vendor's side of check_license.
 *
 * Built together with the qel_privkey.c that qelkeypair wrote, it takes the
 * private key compiled into it, imports it with libtomcrypt and signs a
 * licence with DSA:
 *
 *   sign_license LICENCE > SIGNATURE
 *
 * LICENCE is any file, taken byte for byte; the signed value is its
 * SHA-256. The signature (libtomcrypt's DER SEQUENCE of r and s) is printed
 * on standard output in lower-case hexadecimal on one line. Every signature
 * is different, since DSA draws a fresh random number for each; all of them
 * verify. Exits 0, or 2 after a usage text or an error line on standard
 * error.
 *
 * This program and the qel_privkey.c inside it stay with the vendor: whoever
 * has either can sign licences. Build with -DLTM_DESC and link libtomcrypt
 * and libtommath. */
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <tomcrypt.h>

/* Defined in qel_privkey.c. */
const unsigned char *qel_get_private_key(int *keylen);

static const char *prog = "sign_license";

/* Writes the SHA-256 of the file at path to hash. Returns 0, or -1 after
 * an error line. */
static int
licence_digest(const char *path, unsigned char hash[32])
{
	unsigned char buf[4096];
	hash_state md;
	size_t n;
	int rc = 0;
	FILE *f = fopen(path, "rb");

	if (f == NULL) {
		fprintf(stderr, "%s: error: cannot open file '%s': %s\n", prog, path,
		        strerror(errno));
		return -1;
	}
	sha256_init(&md);
	while ((n = fread(buf, 1, sizeof buf, f)) > 0)
		sha256_process(&md, buf, (unsigned long)n);
	if (ferror(f)) {
		fprintf(stderr, "%s: error: cannot read file '%s'\n", prog, path);
		rc = -1;
	}
	fclose(f);
	if (rc == 0)
		sha256_done(&md, hash);
	return rc;
}

int
main(int argc, char **argv)
{
	unsigned char hash[32], sig[256];
	unsigned long sig_len = sizeof sig, i;
	const unsigned char *der;
	int der_len = 0, err, prng;
	dsa_key key;

	if (argc != 2) {
		fprintf(stderr, "usage: %s LICENCE\n", prog);
		return 2;
	}
	if (licence_digest(argv[1], hash) != 0)
		return 2;

	/* libtomcrypt's DSA works on the numbers of the math library bound
	 * here; its sprng reads the operating system's random source. */
	ltc_mp = ltm_desc;
	prng = register_prng(&sprng_desc);
	if (prng < 0) {
		fprintf(stderr, "%s: error: no random source\n", prog);
		return 2;
	}
	der = qel_get_private_key(&der_len);
	err = dsa_import(der, (unsigned long)der_len, &key);
	if (err != CRYPT_OK) {
		fprintf(stderr, "%s: error: cannot import the private key: %s\n", prog,
		        error_to_string(err));
		return 2;
	}
	if (key.type != PK_PRIVATE) {
		fprintf(stderr, "%s: error: the key compiled in is not a private key\n",
		        prog);
		dsa_free(&key);
		return 2;
	}
	err = dsa_sign_hash(hash, sizeof hash, sig, &sig_len, NULL, prng, &key);
	dsa_free(&key);
	if (err != CRYPT_OK) {
		fprintf(stderr, "%s: error: cannot sign: %s\n", prog, error_to_string(err));
		return 2;
	}

	for (i = 0; i < sig_len; i++)
		printf("%02x", sig[i]);
	putchar('\n');
	if (fflush(stdout) != 0 || ferror(stdout)) {
		fprintf(stderr, "%s: error: cannot write the signature: %s\n", prog,
		        strerror(errno));
		return 2;
	}
	return 0;
}
