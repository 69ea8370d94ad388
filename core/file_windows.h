/* The access list that file_create_new gives an owner-only file on Windows,
 * declared apart for its tests. Windows only. */
#ifndef QEL_CORE_FILE_WINDOWS_H
#define QEL_CORE_FILE_WINDOWS_H

#include <windows.h>

/* Room for an ACL of three access-allowed entries of the largest SID. */
constexpr DWORD OWNER_ONLY_ACL_SIZE =
    sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + SECURITY_MAX_SID_SIZE);

/* An absolute security descriptor with the ACL it points to. Its DACL is
 * protected (nothing is inherited from the directory) and allows full
 * access to three accounts: the user of the process token, SYSTEM and the
 * Administrators group, as OpenSSH for Windows has it for its private
 * keys. No one else is named, so no one else gets in. The descriptor
 * points into the record: it must not be copied or moved once made. */
struct OwnerOnlyDescriptor {
	SECURITY_DESCRIPTOR sd;
	alignas(DWORD) BYTE acl[OWNER_ONLY_ACL_SIZE];
};

/* Fills d. Allocates nothing. Returns ERROR_SUCCESS, or the Win32 error of
 * the step that failed (reading the token, making a SID or the ACL). */
[[nodiscard]] DWORD owner_only_descriptor_init(OwnerOnlyDescriptor *d);

#endif
