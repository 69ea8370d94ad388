#include "core/file.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int
file_sync(std::FILE *stream, char *msg)
{
	if (std::fflush(stream) != 0 || std::ferror(stream) || fsync(fileno(stream)) != 0) {
		error_set(msg, "cannot close file: %s", std::strerror(errno));
		return QEL_ERR_IO;
	}
	return QEL_OK;
}

int
file_sync_dir(const char *path, char *msg)
{
	/* The directory part of path, or "." for a plain name. */
	char dir[PATH_MAX] = ".";
	const char *slash = std::strrchr(path, '/');
	int err = 0;
	if (slash != nullptr) {
		std::size_t n = slash == path ? 1 : static_cast<std::size_t>(slash - path);
		if (n >= sizeof dir)
			err = ENAMETOOLONG;
		else
			(void)str_format(dir, sizeof dir, "%.*s", static_cast<int>(n), path);
	}
	int fd = err == 0 ? open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
	if (fd < 0 && err == 0)
		err = errno;
	if (fd >= 0 && fsync(fd) != 0)
		err = errno;
	if (fd >= 0 && close(fd) != 0 && err == 0)
		err = errno;
	if (err != 0) {
		error_set(msg, "cannot close file: %s", std::strerror(err));
		return QEL_ERR_IO;
	}
	return QEL_OK;
}

int
file_exists(bool *exists, const char *path, char *msg)
{
	/* lstat, not stat: a symlink is an entry of its own, dangling or not,
	 * and O_EXCL refuses it. */
	struct stat st;
	*exists = lstat(path, &st) == 0;
	if (*exists || errno == ENOENT)
		return QEL_OK;
	error_set(msg, "cannot open file '%s': %s", path, std::strerror(errno));
	return QEL_ERR_IO;
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
