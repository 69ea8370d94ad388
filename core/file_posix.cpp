#include "core/file.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

/* Mode "w" opens without O_TRUNC: the file is overwritten in place and cut
 * at the end of what was written when file_close releases the stream.
 * Truncating at the open frees the file's blocks and, on ext4, makes the
 * close start write-back at once (its guard for files replaced by
 * truncation); rewriting a report of the same length costs neither. After
 * the close the file holds exactly what was written, after a failed write
 * too, as with "w"; only a process killed between the open and the close
 * can leave old bytes after the new ones. */
std::FILE *
file_open(const char *path, const char *mode, char *msg)
{
	std::FILE *f = nullptr;
	if (std::strcmp(mode, "w") != 0) {
		f = std::fopen(path, mode);
	} else if (int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666); fd >= 0) {
		f = fdopen(fd, "w");
		if (f == nullptr) {
			int err = errno;
			close(fd);
			errno = err;
		}
	}
	if (f == nullptr)
		error_set(msg, "cannot open file '%s': %s", path, std::strerror(errno));
	return f;
}

/* Pushes out what the stream holds and cuts a regular file opened for
 * writing where the writing ended (the descriptor's offset: every writer
 * writes from the start). Returns 0 or the first errno. */
static int
file_settle(std::FILE *stream)
{
	int fd = fileno(stream);
	int flags = fcntl(fd, F_GETFL);
	if (flags == -1 || (flags & O_ACCMODE) == O_RDONLY)
		return 0;
	int err = std::fflush(stream) == 0 ? 0 : errno;
	off_t end = lseek(fd, 0, SEEK_CUR);
	struct stat st;
	if (end >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > end &&
	    ftruncate(fd, end) != 0 && err == 0)
		err = errno;
	return err;
}

int
file_close(std::FILE *stream, char *msg)
{
	if (stream == nullptr)
		return QEL_OK;
	int err = file_settle(stream);
	if (std::fclose(stream) != 0 && err == 0)
		err = errno;
	if (err != 0) {
		error_set(msg, "cannot close file: %s", std::strerror(err));
		return QEL_ERR_IO;
	}
	return QEL_OK;
}

std::FILE *
file_open_probe(const char *path)
{
	int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	if (fd < 0)
		return nullptr;
	std::FILE *f = fdopen(fd, "r");
	if (f == nullptr)
		close(fd);
	return f;
}

std::FILE *
file_create_new(const char *path, bool owner_only, bool *exists, char *msg)
{
	if (exists != nullptr)
		*exists = false;
	/* O_EXCL also refuses a symlink at path, dangling or not, so nothing
	 * is ever truncated or created through one. */
	int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
	              owner_only ? 0600 : 0666);
	if (fd < 0) {
		if (errno == EEXIST && exists != nullptr)
			*exists = true;
		else
			error_set(msg, "cannot open file '%s': %s", path, std::strerror(errno));
		return nullptr;
	}
	/* The umask may only take bits away; owner read and write must stay. */
	if (owner_only && fchmod(fd, 0600) != 0) {
		error_set(msg, "cannot open file '%s': %s", path, std::strerror(errno));
		close(fd);
		return nullptr;
	}
	std::FILE *f = fdopen(fd, "w");
	if (f == nullptr) {
		error_set(msg, "cannot open file '%s': %s", path, std::strerror(errno));
		close(fd);
	}
	return f;
}
