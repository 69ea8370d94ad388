/* check_license: the check a product makes before it trusts a licence.
 *
 * Built together with the qel_pubkey.c that qelkeypair wrote, it takes the
 * public key compiled into it, imports it with libtomcrypt, verifies a DSA
 * signature over a licence, and then checks that the licence is for this
 * machine:
 *
 *   check_license LICENCE SIGNATURE
 *
 * LICENCE is any file of up to 64 KiB, taken byte for byte; SIGNATURE is
 * what sign_license wrote for it: the signature in hexadecimal on one line.
 * The signed value is the SHA-256 of the licence.
 *
 * When the signature does not verify (the licence or the signature changed,
 * or it was made with another key), prints "signature bad" and exits 1.
 * When it does, prints "signature good" and reads the licence's "hostid"
 * member, as qelhostid wrote it (one address, or an array of them): when
 * one of those addresses is among this machine's (qelcore's
 * hostid_list_get_sorted, the list qelhostid prints), prints "hostid good"
 * and exits 0; otherwise prints "hostid bad" and exits 1. Exits 2 after a
 * usage text or an error line on standard error when a file cannot be
 * read, the key cannot be imported or the machine's addresses cannot be
 * listed.
 *
 * Only the bytes whose signature verified are read for the addresses: the
 * licence is read once, into memory. What else the licence says, and what
 * the product does with a good one, is the product's own business: in a
 * real product this code is a function that returns a yes or a no. Build
 * with -DLTM_DESC and the flags of pkg-config --cflags libtomcrypt qelcore;
 * link libtomcrypt, libtommath and qelcore (pkg-config --static --libs). */
#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <qel/qelcore.h>
#include <tomcrypt.h>

/* Defined in qel_pubkey.c. */
const unsigned char *qel_get_public_key(int *keylen);

/* Longest signature accepted, in bytes; a DSA signature with a 240-bit q
 * takes about 70. */
#define MAX_SIGNATURE 256
/* Longest licence accepted, in bytes. */
#define MAX_LICENCE 65536
/* Characters in a hardware address as qelhostid writes it. */
#define ADDRESS_LENGTH 17

static const char *prog = "check_license";

/* Reads the file at path into text (MAX_LICENCE bytes and a NUL). Returns
 * the number of bytes, or -1 after an error line. */
static long
read_licence(const char *path, char text[MAX_LICENCE + 1])
{
	size_t len;
	FILE *f = fopen(path, "rb");

	if (f == NULL) {
		fprintf(stderr, "%s: error: cannot open file '%s': %s\n", prog, path,
		        strerror(errno));
		return -1;
	}
	len = fread(text, 1, MAX_LICENCE, f);
	if (ferror(f)) {
		fprintf(stderr, "%s: error: cannot read file '%s'\n", prog, path);
		fclose(f);
		return -1;
	}
	if (len == MAX_LICENCE && fgetc(f) != EOF) {
		fprintf(stderr, "%s: error: file '%s' is longer than %d bytes\n", prog,
		        path, MAX_LICENCE);
		fclose(f);
		return -1;
	}
	fclose(f);
	text[len] = '\0';
	return (long)len;
}

/* Whether the address text (ADDRESS_LENGTH characters) is in list, upper
 * or lower case alike. */
static int
address_listed(const char *text, char **list)
{
	size_t i, k;

	for (i = 0; list[i] != NULL; i++) {
		for (k = 0; k < ADDRESS_LENGTH; k++)
			if (tolower((unsigned char)text[k]) != list[i][k])
				break;
		if (k == ADDRESS_LENGTH)
			return 1;
	}
	return 0;
}

/* Whether one of the addresses of the "hostid" member of the licence text,
 * a string or an array of strings, is in list. A licence without the
 * member, or with one of another shape, names no address. */
static int
licensed_here(const char *text, char **list)
{
	const char *p = strstr(text, "\"hostid\"");
	int array;

	if (p == NULL)
		return 0;
	p += strlen("\"hostid\"");
	while (isspace((unsigned char)*p))
		p++;
	if (*p++ != ':')
		return 0;
	while (isspace((unsigned char)*p))
		p++;
	array = *p == '[';
	if (array)
		p++;
	for (;;) {
		const char *end;

		while (isspace((unsigned char)*p))
			p++;
		if (*p != '"')
			return 0;
		end = strchr(p + 1, '"');
		if (end == NULL)
			return 0;
		if (end - (p + 1) == ADDRESS_LENGTH && address_listed(p + 1, list))
			return 1;
		p = end + 1;
		while (isspace((unsigned char)*p))
			p++;
		if (!array || *p++ != ',')
			return 0;
	}
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
	static char licence[MAX_LICENCE + 1];
	unsigned char hash[32], sig[MAX_SIGNATURE];
	hash_state md;
	char msg[QEL_MSG_SIZE];
	char **addresses = NULL;
	const unsigned char *der;
	int der_len = 0, err, stat = 0, here;
	long licence_len, sig_len;
	dsa_key key;

	if (argc != 3) {
		fprintf(stderr, "usage: %s LICENCE SIGNATURE\n", prog);
		return 2;
	}
	licence_len = read_licence(argv[1], licence);
	if (licence_len < 0)
		return 2;
	sig_len = read_signature(argv[2], sig);
	if (sig_len < 0)
		return 2;
	sha256_init(&md);
	sha256_process(&md, (const unsigned char *)licence, (unsigned long)licence_len);
	sha256_done(&md, hash);

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
	puts("signature good");

	/* The node lock: one of the licensed addresses is this machine's. */
	err = hostid_list_get_sorted(&addresses, msg);
	if (err != QEL_OK) {
		fprintf(stderr, "%s: error: %s\n", prog, msg);
		return 2;
	}
	here = licensed_here(licence, addresses);
	hostid_list_free(addresses);
	puts(here ? "hostid good" : "hostid bad");
	if (fflush(stdout) != 0 || ferror(stdout))
		return 2;
	return here ? 0 : 1;
}
