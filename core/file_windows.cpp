#include "core/file.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

std::FILE *
file_open_probe(const char *path)
{
	return std::fopen(path, "r");
}

std::FILE *
file_create_new(const char *path, bool, bool *exists, char *msg)
{
	if (exists != nullptr)
		*exists = false;
	/* msvcrt ignores the "x" of an fopen mode, so exclusive creation
	 * takes _O_EXCL on the descriptor. Windows has no mode bits to set:
	 * the file takes the directory's access control list. */
	int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
	if (fd < 0) {
		if (errno == EEXIST && exists != nullptr)
			*exists = true;
		else
			error_set(msg, "cannot open file '%s': %s", path, std::strerror(errno));
		return nullptr;
	}
	std::FILE *f = _fdopen(fd, "w");
	if (f == nullptr) {
		error_set(msg, "cannot open file '%s': %s", path, std::strerror(errno));
		_close(fd);
	}
	return f;
}

int
file_sync(std::FILE *stream, char *msg)
{
	if (std::fflush(stream) != 0 || std::ferror(stream) || _commit(_fileno(stream)) != 0) {
		error_set(msg, "cannot close file: %s", std::strerror(errno));
		return QEL_ERR_IO;
	}
	return QEL_OK;
}

/* NTFS journals the directory entry with the file's creation; there is no
 * directory handle to flush. */
int
file_sync_dir(const char *, char *)
{
	return QEL_OK;
}
