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

int
file_read_all(const char *path, std::size_t limit, char **data, std::size_t *length,
              char *msg)
{
	int rc = QEL_OK;
	*data = nullptr;
	*length = 0;
	std::FILE *f = file_open(path, "rb", msg);
	if (f == nullptr)
		rc = QEL_ERR_IO;
	/* One byte more than the limit tells a longer file; one more for the
	 * NUL. */
	if (rc == QEL_OK) {
		*data = static_cast<char *>(mem_calloc(limit + 2, 1));
		if (*data == nullptr) {
			error_set(msg, "out of memory");
			rc = QEL_ERR_MEMORY;
		}
	}
	if (rc == QEL_OK) {
		*length = std::fread(*data, 1, limit + 1, f);
		if (std::ferror(f)) {
			error_set(msg, "cannot read file '%s': %s", path, std::strerror(errno));
			rc = QEL_ERR_IO;
		}
	}
	/* A stream opened for reading loses nothing at its close. */
	(void)file_close(f, nullptr);
	if (rc != QEL_OK) {
		if (*data != nullptr)
			mem_wipe(*data, *length);
		mem_free(*data);
		*data = nullptr;
		*length = 0;
	}
	return rc;
}
