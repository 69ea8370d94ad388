#include "core/file.h"
#include "core/file_windows.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace {

/* The errno that msvcrt's own _open leaves for a Win32 error (its table,
 * as far as creating a file and reading the token can fail), so that a
 * failed creation reads like every other failed open: "cannot open file
 * '%s': " and the runtime's strerror text. */
struct Win32Errno {
	DWORD error;
	int err;
};
constexpr Win32Errno WIN32_ERRNO[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},      {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_TOO_MANY_OPEN_FILES, EMFILE}, {ERROR_ACCESS_DENIED, EACCES},
    {ERROR_INVALID_HANDLE, EBADF},       {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_INVALID_DRIVE, ENOENT},       {ERROR_CURRENT_DIRECTORY, EACCES},
    {ERROR_NOT_SAME_DEVICE, EXDEV},      {ERROR_BAD_NETPATH, ENOENT},
    {ERROR_NETWORK_ACCESS_DENIED, EACCES}, {ERROR_BAD_NET_NAME, ENOENT},
    {ERROR_FILE_EXISTS, EEXIST},         {ERROR_CANNOT_MAKE, EACCES},
    {ERROR_FAIL_I24, EACCES},            {ERROR_DRIVE_LOCKED, EACCES},
    {ERROR_DISK_FULL, ENOSPC},           {ERROR_BAD_PATHNAME, ENOENT},
    {ERROR_ALREADY_EXISTS, EEXIST},      {ERROR_FILENAME_EXCED_RANGE, ENOENT},
    {ERROR_NOT_ENOUGH_QUOTA, ENOMEM},
};

int
errno_of(DWORD error)
{
	const Win32Errno *e = std::find_if(std::begin(WIN32_ERRNO), std::end(WIN32_ERRNO),
	                                   [error](const Win32Errno &m) { return m.error == error; });
	if (e != std::end(WIN32_ERRNO))
		return e->err;
	/* ERROR_WRITE_PROTECT up to ERROR_SHARING_BUFFER_EXCEEDED: the
	 * medium's and the sharing faults, all "access" to the runtime. */
	if (error >= ERROR_WRITE_PROTECT && error <= ERROR_SHARING_BUFFER_EXCEEDED)
		return EACCES;
	return EINVAL;
}

/* Adds an entry allowing full access to a well-known account. Returns
 * ERROR_SUCCESS or the error. */
DWORD
add_allowed(PACL acl, WELL_KNOWN_SID_TYPE type)
{
	alignas(DWORD) BYTE sid[SECURITY_MAX_SID_SIZE];
	DWORD size = sizeof(sid);
	if (!CreateWellKnownSid(type, nullptr, sid, &size) ||
	    !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid))
		return GetLastError();
	return ERROR_SUCCESS;
}

} // namespace

int
file_exists(bool *exists, const char *path, char *msg)
{
	/* The attributes of the name itself: a symbolic link or junction is
	 * not followed, and CREATE_NEW refuses it like any other entry. */
	*exists = GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
	DWORD error = *exists ? ERROR_SUCCESS : GetLastError();
	if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ||
	    error == ERROR_PATH_NOT_FOUND)
		return QEL_OK;
	error_set(msg, "cannot open file '%s': %s", path, std::strerror(errno_of(error)));
	return QEL_ERR_IO;
}

DWORD
owner_only_descriptor_init(OwnerOnlyDescriptor *d)
{
	/* The token's user, not its owner: the default owner of an elevated
	 * administrator's objects is the Administrators group. */
	alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
	HANDLE token = nullptr;
	DWORD size = 0;
	if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
		return GetLastError();
	BOOL ok = GetTokenInformation(token, TokenUser, user, sizeof(user), &size);
	DWORD error = ok ? ERROR_SUCCESS : GetLastError();
	CloseHandle(token);
	if (error != ERROR_SUCCESS)
		return error;

	PACL acl = reinterpret_cast<PACL>(d->acl);
	PSID user_sid = reinterpret_cast<TOKEN_USER *>(user)->User.Sid;
	if (!InitializeAcl(acl, sizeof(d->acl), ACL_REVISION) ||
	    !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, user_sid))
		return GetLastError();
	error = add_allowed(acl, WinLocalSystemSid);
	if (error == ERROR_SUCCESS)
		error = add_allowed(acl, WinBuiltinAdministratorsSid);
	if (error != ERROR_SUCCESS)
		return error;
	/* Protected: the directory's inheritable entries (Everyone, Users,
	 * Authenticated Users) stay out. */
	if (!InitializeSecurityDescriptor(&d->sd, SECURITY_DESCRIPTOR_REVISION) ||
	    !SetSecurityDescriptorDacl(&d->sd, TRUE, acl, FALSE) ||
	    !SetSecurityDescriptorControl(&d->sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
		return GetLastError();
	return ERROR_SUCCESS;
}

std::FILE *
file_create_new(const char *path, bool owner_only, bool *exists, char *msg)
{
	if (exists != nullptr)
		*exists = false;
	/* The access list is given at the creation itself, so the key never
	 * sits in a file others may open, not even for a moment. CREATE_NEW
	 * refuses any name that is taken, a directory or a link included.
	 * CreateFileA reads the path in the code page of the file functions,
	 * as msvcrt's fopen and _open do for every other file. Without a
	 * descriptor the file takes the directory's inherited list. */
	OwnerOnlyDescriptor descriptor;
	SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, FALSE};
	DWORD error = ERROR_SUCCESS;
	if (owner_only) {
		error = owner_only_descriptor_init(&descriptor);
		sa.lpSecurityDescriptor = &descriptor.sd;
	}
	HANDLE h = INVALID_HANDLE_VALUE;
	if (error == ERROR_SUCCESS) {
		h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
		                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
		if (h == INVALID_HANDLE_VALUE)
			error = GetLastError();
		if ((error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) &&
		    exists != nullptr) {
			*exists = true;
			return nullptr;
		}
	}
	if (error != ERROR_SUCCESS) {
		error_set(msg, "cannot open file '%s': %s", path, std::strerror(errno_of(error)));
		return nullptr;
	}
	/* From here the runtime owns the handle: text mode, as fopen's "w". */
	int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_TEXT);
	if (fd < 0) {
		error_set(msg, "cannot open file '%s': %s", path, std::strerror(errno));
		CloseHandle(h);
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

std::FILE *
file_create_temp(const char *path, char *temp, char *msg)
{
	/* The directory part of path: up to its last separator (a drive's
	 * colon counts), or the current directory. */
	char dir[FILE_TEMP_NAME_SIZE] = ".";
	std::size_t cut = 0;
	for (std::size_t i = 0; path[i] != '\0'; i++)
		if (path[i] == '/' || path[i] == '\\' || path[i] == ':')
			cut = i + 1;
	temp[0] = '\0';
	if (cut >= sizeof dir) {
		error_set(msg, "cannot open file '%s': %s", path, std::strerror(ENAMETOOLONG));
		return nullptr;
	}
	if (cut > 0)
		(void)str_format(dir, sizeof dir, "%.*s", static_cast<int>(cut), path);
	/* GetTempFileNameA makes the file, under a name no other file has,
	 * in a buffer of MAX_PATH bytes. */
	static_assert(FILE_TEMP_NAME_SIZE >= MAX_PATH);
	if (GetTempFileNameA(dir, "qel", 0, temp) == 0) {
		/* A directory that is not there is ERROR_DIRECTORY here, which
		 * the runtime's table lacks: to the user it is a missing path. */
		DWORD error = GetLastError();
		error_set(msg, "cannot open file '%s': %s", path,
		          std::strerror(error == ERROR_DIRECTORY ? ENOENT : errno_of(error)));
		temp[0] = '\0';
		return nullptr;
	}
	std::FILE *f = std::fopen(temp, "w");
	if (f == nullptr) {
		error_set(msg, "cannot open file '%s': %s", temp, std::strerror(errno));
		(void)DeleteFileA(temp);
		temp[0] = '\0';
	}
	return f;
}

int
file_move_new(const char *from, const char *to, bool *exists, char *msg)
{
	*exists = false;
	/* Without MOVEFILE_REPLACE_EXISTING the move fails when to is taken;
	 * with MOVEFILE_WRITE_THROUGH it returns once the move is on the
	 * disk. */
	if (MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH))
		return QEL_OK;
	DWORD error = GetLastError();
	if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
		*exists = true;
		return QEL_ERR_IO;
	}
	error_set(msg, "cannot rename file '%s' to '%s': %s", from, to,
	          std::strerror(errno_of(error)));
	return QEL_ERR_IO;
}

void
file_remove(const char *path)
{
	(void)DeleteFileA(path);
}
