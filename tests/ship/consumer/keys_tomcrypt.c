/* A product that uses libtomcrypt itself, as check_license does (its math
 * descriptor ltm_desc), and makes a key pair through qelcore. With mingw,
 * the product and the library each reach ltm_desc through a pointer in a
 * COMDAT section (.refptr.ltm_desc), of which the linker keeps one copy:
 * the library's code must reach the copy that is kept. Does qelkeypair's
 * job in the current directory; exits 0, or with the negated result code
 * after an error line. */
#include <stdio.h>

#include <tomcrypt.h>

#include <qel/qelcore.h>

int
main(void)
{
	char msg[QEL_MSG_SIZE];
	int rc;

	ltc_mp = ltm_desc;
	rc = qel_generate_keys(msg);
	if (rc != QEL_OK) {
		fprintf(stderr, "keys_tomcrypt: error: %s\n", msg);
		return -rc;
	}
	return 0;
}
