/* The versions a product can ask for: the header's, when it is compiled
 * (also in #if), and the library's, when it runs. Prints
 *
 *   header STRING MAJOR.MINOR.PATCH NUMBER
 *   library STRING NUMBER
 */
#include <stdio.h>

#include <qel/qelcore.h>

#if QEL_VERSION_NUMBER < 1 || QEL_VERSION_NUMBER >= 1000000
#error "QEL_VERSION_NUMBER is not a number #if can compare"
#endif

int
main(void)
{
	printf("header %s %d.%d.%d %d\n", QEL_VERSION_STRING, QEL_VERSION_MAJOR,
	    QEL_VERSION_MINOR, QEL_VERSION_PATCH, QEL_VERSION_NUMBER);
	printf("library %s %u\n", qel_version_string(), qel_version_number());
	return fflush(stdout) == 0 ? 0 : 1;
}
