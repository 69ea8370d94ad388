#include "qel/qelcore.h"

/* Compiled with the header of the library's own build: these are the
 * library's numbers, whatever header the product was compiled with. */

const char *
qel_version_string(void)
{
	return QEL_VERSION_STRING;
}

unsigned
qel_version_number(void)
{
	return QEL_VERSION_NUMBER;
}
