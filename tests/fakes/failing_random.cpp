/* The random source of test builds of qelkeypair that must fail the way
 * no real Linux system can be made to: getrandom needs neither a device
 * nor a descriptor.
 *
 * With QEL_FAIL_LATE 0 the first read fails. With 1 the reads are served by
 * getrandom until the draw of the private exponent, which fails: that draw
 * is the first read of 30 bytes (the size of q) after one of 256 bytes (the
 * size of p, asked for the generator's base), so p, q and g exist by then. */
#include "keys/random_source.h"

#include <sys/random.h>

namespace {
constexpr bool fail_late = QEL_FAIL_LATE != 0;
bool base_drawn = false;
} // namespace

unsigned long
random_source_read(unsigned char *out, unsigned long len)
{
	if (!fail_late)
		return 0;
	if (len == 256)
		base_drawn = true;
	else if (base_drawn && len == 30)
		return 0;
	unsigned long got = 0;
	while (got < len) {
		ssize_t n = getrandom(out + got, len - got, 0);
		if (n < 0)
			return 0;
		got += static_cast<unsigned long>(n);
	}
	return len;
}
