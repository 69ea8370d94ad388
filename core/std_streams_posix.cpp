#include "core/std_streams.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

int
std_streams_ensure_open(char *msg)
{
	for (int fd = 0; fd <= 2; fd++) {
		if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
			continue;
		/* Descriptors below fd are open by now, so open returns fd. */
		if (open("/dev/null", O_RDONLY) < 0) {
			error_set(msg, "cannot open file '%s': %s", "/dev/null",
			          std::strerror(errno));
			return QEL_ERR_IO;
		}
	}
	return QEL_OK;
}
