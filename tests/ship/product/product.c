/* A vendor's product in C, built against the Windows kit twice from this
 * one source: with Visual C++ (qelcore.dll, through qelcore.lib) and with
 * mingw-w64 (the static libraries). Both builds must answer alike.
 *
 *   product LICENCE
 *
 * prints the machine's hardware addresses as the library lists them, one a
 * line, then opens LICENCE with the public key compiled in (qel_pubkey.c)
 * and prints "licensed to NAME", or the reason on standard error and exits
 * with the negated result code; 1 when the file cannot be read. What the
 * library allocates goes back to it, through its own functions. */
#include <stdio.h>

#include <qel/qelcore.h>

/* Defined in qel_pubkey.c. */
const unsigned char *qel_get_public_key(int *keylen);

int
main(int argc, char **argv)
{
	static char text[QEL_LICENSE_MAX_SIZE + 1];
	char msg[QEL_MSG_SIZE];
	char **list = NULL;
	qel_license *licence = NULL;
	int keylen = 0;
	const unsigned char *key = qel_get_public_key(&keylen);
	size_t length = 0;
	size_t i;
	int rc;
	FILE *f;

	if (argc != 2) {
		fprintf(stderr, "usage: product LICENCE\n");
		return 1;
	}
	rc = hostid_list_get_sorted(&list, msg);
	if (rc != QEL_OK) {
		fprintf(stderr, "product: %s\n", msg);
		return -rc;
	}
	for (i = 0; list[i] != NULL; i++)
		printf("%s\n", list[i]);
	hostid_list_free(list);

	rc = 1;
	f = fopen(argv[1], "rb");
	if (f != NULL) {
		length = fread(text, 1, sizeof text, f);
		rc = ferror(f);
		fclose(f);
	}
	if (rc != 0) {
		fprintf(stderr, "product: cannot read %s\n", argv[1]);
		return 1;
	}
	rc = qel_license_open(text, length, key, keylen, &licence, msg);
	if (rc != QEL_OK) {
		fflush(stdout);
		fprintf(stderr, "product: %s\n", msg);
		return -rc;
	}
	printf("licensed to %s\n", qel_license_get(licence, "licensee"));
	qel_license_free(licence);
	return fflush(stdout) == 0 ? 0 : 1;
}
