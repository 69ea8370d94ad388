/* check_license: the check a product makes before it trusts a licence.
 *
 * Built together with the qel_pubkey.c that qelkeypair wrote, it takes the
 * public key compiled into it, imports it with libtomcrypt and verifies a
 * DSA signature over a licence:
 *
 *   check_license LICENCE SIGNATURE
 *
 * LICENCE is any file, taken byte for byte; SIGNATURE is what sign_license
 * wrote for it: the signature in hexadecimal on one line. The signed value
 * is the SHA-256 of the licence.
 *
 * Prints "signature good" and exits 0 when the signature verifies; prints
 * "signature bad" and exits 1 when it does not (the licence or the
 * signature changed, or it was made with another key); exits 2 after a
 * usage text or an error line on standard error when a file cannot be read
 * or the key cannot be imported.
 *
 * What the licence says, and what the product does with a good one, is the
 * product's own business: in a real product this code is a function that
 * returns a yes or a no. Build with -DLTM_DESC and link libtomcrypt and
 * libtommath. */
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <tomcrypt.h>

/* Defined in qel_pubkey.c. */
const unsigned char *qel_get_public_key(int *keylen);

/* Longest signature accepted, in bytes; a DSA signature with a 240-bit q
 * takes about 70. */
#define MAX_SIGNATURE 256

static const char *prog = "check_license";

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

static int
hex_value(int c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

/* Reads the signature file at path into sig. Returns the number of bytes,
 * 0 when the text is not one line of pairs of hexadecimal digits (which
 * makes a bad signature, not an error), or -1 after an error line. */
static long
read_signature(const char *path, unsigned char sig[MAX_SIGNATURE])
{
	char text[2 * MAX_SIGNATURE + 3];
	size_t len, i;
	FILE *f = fopen(path, "rb");

	if (f == NULL) {
		fprintf(stderr, "%s: error: cannot open file '%s': %s\n", prog, path,
		        strerror(errno));
		return -1;
	}
	len = fread(text, 1, sizeof text - 1, f);
	/* Too long to be a signature: bad, whatever its start says. */
	if (len == sizeof text - 1 && fgetc(f) != EOF)
		len = 0;
	if (ferror(f)) {
		fprintf(stderr, "%s: error: cannot read file '%s'\n", prog, path);
		fclose(f);
		return -1;
	}
	fclose(f);
	text[len] = '\0';
	if (len > 0 && text[len - 1] == '\n')
		text[--len] = '\0';
	if (len > 0 && text[len - 1] == '\r')
		text[--len] = '\0';
	if (len == 0 || len % 2 != 0 || len > 2 * MAX_SIGNATURE)
		return 0;
	for (i = 0; i < len; i += 2) {
		int hi = hex_value((unsigned char)text[i]);
		int lo = hex_value((unsigned char)text[i + 1]);
		if (hi < 0 || lo < 0)
			return 0;
		sig[i / 2] = (unsigned char)(hi << 4 | lo);
	}
	return (long)(len / 2);
}

int
main(int argc, char **argv)
{
	unsigned char hash[32], sig[MAX_SIGNATURE];
	const unsigned char *der;
	int der_len = 0, err, stat = 0;
	long sig_len;
	dsa_key key;

	if (argc != 3) {
		fprintf(stderr, "usage: %s LICENCE SIGNATURE\n", prog);
		return 2;
	}
	if (licence_digest(argv[1], hash) != 0)
		return 2;
	sig_len = read_signature(argv[2], sig);
	if (sig_len < 0)
		return 2;

	/* libtomcrypt's DSA works on the numbers of the math library bound
	 * here. */
	ltc_mp = ltm_desc;
	der = qel_get_public_key(&der_len);
	err = dsa_import(der, (unsigned long)der_len, &key);
	if (err != CRYPT_OK) {
		fprintf(stderr, "%s: error: cannot import the public key: %s\n", prog,
		        error_to_string(err));
		return 2;
	}
	/* A malformed signature fails to decode: that is a bad signature. */
	if (sig_len > 0 &&
	    dsa_verify_hash(sig, (unsigned long)sig_len, hash, sizeof hash, &stat,
	                    &key) != CRYPT_OK)
		stat = 0;
	dsa_free(&key);

	if (stat != 1) {
		puts("signature bad");
		return 1;
	}
	if (puts("signature good") < 0 || fflush(stdout) != 0)
		return 2;
	return 0;
}
