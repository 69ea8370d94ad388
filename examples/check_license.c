/* check_license: the check a product makes before it runs, in one call.
 *
 *   check_license LICENCE
 *
 * Built with the qel_pubkey.c that qelkeypair wrote and linked with qelcore
 * (pkg-config --static qelcore, or the CMake target qelcore::qelcore). It
 * reads the licence file (where licences live is the product's choice) and
 * asks qel_license_check whether the licence is good on this machine:
 * signed with the key compiled in, for one of this machine's addresses,
 * not expired. Prints "licence good" and exits 0, or prints the reason and
 * exits with the negated result code (20 malformed, 21 bad signature,
 * 22 another key, 23 another machine, 24 expired, ...); 1 when the file
 * cannot be read. */
#include <stdio.h>

#include <qel/qelcore.h>

/* Defined in qel_pubkey.c. */
const unsigned char *qel_get_public_key(int *keylen);

int
main(int argc, char **argv)
{
	/* One byte more than a licence may have: a longer file is refused. */
	static char text[QEL_LICENSE_MAX_SIZE + 1];
	char msg[QEL_MSG_SIZE];
	int keylen = 0;
	const unsigned char *key = qel_get_public_key(&keylen);
	size_t length;
	int rc;
	FILE *f;

	if (argc != 2) {
		fprintf(stderr, "usage: check_license LICENCE\n");
		return 1;
	}
	f = fopen(argv[1], "rb");
	if (f == NULL) {
		perror(argv[1]);
		return 1;
	}
	length = fread(text, 1, sizeof text, f);
	rc = ferror(f);
	fclose(f);
	if (rc != 0) {
		fprintf(stderr, "%s: cannot read the licence\n", argv[1]);
		return 1;
	}

	rc = qel_license_check(text, length, key, keylen, msg);
	if (rc != QEL_OK) {
		fprintf(stderr, "check_license: %s\n", msg);
		return -rc;
	}
	puts("licence good");
	return 0;
}
