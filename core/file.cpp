#include "core/file.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

int
file_printf(std::FILE *stream, char *msg, const char *format, ...)
{
	va_list ap;
	va_start(ap, format);
	int n = std::vfprintf(stream, format, ap);
	int err = errno;
	va_end(ap);
	if (n < 0) {
		error_set(msg, "cannot write to file: %s", std::strerror(err));
		return QEL_ERR_IO;
	}
	return QEL_OK;
}

int
file_flush(std::FILE *stream, char *msg)
{
	if (std::fflush(stream) != 0) {
		error_set(msg, "cannot write to file: %s", std::strerror(errno));
		return QEL_ERR_IO;
	}
	return QEL_OK;
}

int
file_exists(bool *exists, const char *path, char *msg)
{
	std::FILE *f = file_open_probe(path);
	*exists = f != nullptr;
	if (f == nullptr)
		return QEL_OK;
	return file_close(f, msg);
}
