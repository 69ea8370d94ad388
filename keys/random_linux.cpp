#include "keys/random_source.h"

#include <cerrno>

#include <sys/random.h>

unsigned long
random_source_read(unsigned char *out, unsigned long len)
{
	/* getrandom needs no device file and no descriptor, so neither a
	 * missing /dev nor an exhausted descriptor table can turn it away. */
	unsigned long got = 0;
	while (got < len) {
		ssize_t n = getrandom(out + got, len - got, 0);
		if (n < 0) {
			if (errno == EINTR)
				continue;
			return 0;
		}
		got += static_cast<unsigned long>(n);
	}
	return len;
}
