#include "core/file.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

std::FILE *
file_open(const char *path, const char *mode, char *msg)
{
	std::FILE *f = std::fopen(path, mode);
	if (f == nullptr)
		error_set(msg, "cannot open file '%s': %s", path, std::strerror(errno));
	return f;
}

/* Some runtimes (msvcrt) count a write that never reached the system as
 * written and flush without complaint; only the stream's error flag tells.
 * So every write and flush also asks ferror. */
int
file_printf(std::FILE *stream, char *msg, const char *format, ...)
{
	va_list ap;
	va_start(ap, format);
	int n = std::vfprintf(stream, format, ap);
	int err = errno;
	va_end(ap);
	if (n < 0 || std::ferror(stream)) {
		error_set(msg, "cannot write to file: %s", std::strerror(err));
		return QEL_ERR_IO;
	}
	return QEL_OK;
}

int
file_flush(std::FILE *stream, char *msg)
{
	if (std::fflush(stream) != 0 || std::ferror(stream)) {
		error_set(msg, "cannot write to file: %s", std::strerror(errno));
		return QEL_ERR_IO;
	}
	return QEL_OK;
}

int
file_close(std::FILE *stream, char *msg)
{
	if (stream == nullptr)
		return QEL_OK;
	if (std::fclose(stream) != 0) {
		error_set(msg, "cannot close file: %s", std::strerror(errno));
		return QEL_ERR_IO;
	}
	return QEL_OK;
}
