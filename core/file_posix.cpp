#include "core/file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
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

std::FILE *
file_create_temp(const char *path, char *temp, char *msg)
{
	/* Beside path, under its name and a unique suffix: the same directory,
	 * so the final rename stays on the same file system. */
	if (str_format(temp, FILE_TEMP_NAME_SIZE, "%s.XXXXXX", path) >=
	    static_cast<int>(FILE_TEMP_NAME_SIZE)) {
		error_set(msg, "cannot open file '%s': %s", path, std::strerror(ENAMETOOLONG));
		temp[0] = '\0';
		return nullptr;
	}
	int fd = mkostemp(temp, O_CLOEXEC);
	if (fd < 0) {
		/* No file was made: the name asked for tells the user more than
		 * the template. */
		error_set(msg, "cannot open file '%s': %s", path, std::strerror(errno));
		temp[0] = '\0';
		return nullptr;
	}
	/* mkstemp makes the file for its owner alone; the file it becomes gets
	 * what a file made with fopen would. */
	mode_t mask = umask(0);
	(void)umask(mask);
	std::FILE *f = nullptr;
	if (fchmod(fd, 0666 & ~mask) == 0)
		f = fdopen(fd, "w");
	if (f == nullptr) {
		error_set(msg, "cannot open file '%s': %s", temp, std::strerror(errno));
		close(fd);
		(void)unlink(temp);
		temp[0] = '\0';
	}
	return f;
}

int
file_move_new(const char *from, const char *to, bool *exists, char *msg)
{
	*exists = false;
	int err = 0;
	if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) != 0) {
		err = errno;
		/* A file system without RENAME_NOREPLACE: a hard link is made
		 * only where no name is, just the same. */
		if (err == EINVAL || err == ENOSYS || err == EOPNOTSUPP) {
			err = link(from, to) == 0 ? 0 : errno;
			if (err == 0)
				(void)unlink(from);
		}
	}
	if (err == EEXIST) {
		*exists = true;
		return QEL_ERR_IO;
	}
	if (err != 0) {
		error_set(msg, "cannot rename file '%s' to '%s': %s", from, to, std::strerror(err));
		return QEL_ERR_IO;
	}
	return file_sync_dir(to, msg);
}

void
file_remove(const char *path)
{
	(void)unlink(path);
}
