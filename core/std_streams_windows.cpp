#include "core/std_streams.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>

int
std_streams_ensure_open(char *msg)
{
	for (int fd = 0; fd <= 2; fd++) {
		/* -1: the slot is free, so the next _open would take it; -2: the
		 * runtime holds it for a stream without a handle. */
		intptr_t h = _get_osfhandle(fd);
		if (h != -1 && h != -2)
			continue;
		int nfd = _open("NUL", _O_RDONLY);
		if (nfd < 0) {
			error_set(msg, "cannot open file '%s': %s", "NUL", std::strerror(errno));
			return QEL_ERR_IO;
		}
		/* A held slot is not free, so the null device landed elsewhere:
		 * nothing can take fd's place anyway. */
		if (nfd != fd)
			_close(nfd);
	}
	return QEL_OK;
}
