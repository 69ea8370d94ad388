#include "core/file.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
