/* A product's use of an installed qelcore, in C99 (and, through
 * consumer.cpp, the same code as C++): the key hash of a known buffer, then
 * the machine's hardware addresses, one per line, as qelhostid lists them.
 *
 * nettle's <nettle/sha2.h> comes first: qelcore's public names must not
 * clash with a cryptographic library's (nettle has SHA256_DIGEST_SIZE and
 * SHA256_BLOCK_SIZE as macros). Exits 0, or with the negated result code
 * after an error line. */
#include <stdio.h>

#include <nettle/sha2.h>

#include <qel/qelcore.h>

int
main(void)
{
	char msg[QEL_MSG_SIZE];
	char text[QEL_SHA256_HEX_SIZE];
	char **list = NULL;
	size_t i;
	int rc;

	if (QEL_SHA256_DIGEST_SIZE != SHA256_DIGEST_SIZE) {
		fprintf(stderr, "consumer: the digest sizes differ\n");
		return 1;
	}
	if (sha256_hex(text, "abc", 3) != 64)
		return 1;
	printf("sha256 abc: %s\n", text);

	rc = hostid_list_get_sorted(&list, msg);
	if (rc != QEL_OK) {
		fprintf(stderr, "consumer: error: %s\n", msg);
		return -rc;
	}
	for (i = 0; list[i] != NULL; i++)
		printf("%s\n", list[i]);
	hostid_list_free(list);
	if (fflush(stdout) != 0)
		return 1;
	return 0;
}
