/* Owner-only files on Windows: the access list that file_create_new gives
 * them, read back from the system, beside files that take the directory's
 * list; and creations that fail for real. */
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <sys/stat.h>

#include "core/file.h"
#include "core/file_windows.h"
#include "keys/key_source.h"
#include "test_util.h"

namespace {

const char *const untouched = "untouched";
const std::string everyone = "S-1-1-0", users = "S-1-5-32-545", authenticated = "S-1-5-11",
                  system_sid = "S-1-5-18", administrators = "S-1-5-32-544";

std::string
sid_text(PSID sid)
{
	char *text = nullptr;
	if (!ConvertSidToStringSidA(sid, &text))
		return "<no SID>";
	std::string s = text;
	LocalFree(text);
	return s;
}

/* The process token's user, read here on its own. */
std::string
token_user()
{
	HANDLE token = nullptr;
	if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
		return "<no token>";
	DWORD size = 0;
	GetTokenInformation(token, TokenUser, nullptr, 0, &size);
	std::vector<BYTE> buffer(size);
	BOOL ok = GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
	CloseHandle(token);
	return ok ? sid_text(reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid) : "<no user>";
}

std::string
dacl_sddl(PSECURITY_DESCRIPTOR sd)
{
	char *text = nullptr;
	if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1,
	                                                          DACL_SECURITY_INFORMATION,
	                                                          &text, nullptr))
		return "<no SDDL>";
	std::string s = text;
	LocalFree(text);
	return s;
}

/* A file's access list as the system reports it: the SDDL text and the
 * accounts its access-allowed entries name. */
struct Dacl {
	DWORD error = ERROR_SUCCESS;
	std::string sddl;
	std::vector<std::string> allowed;
	bool allows(const std::string &sid) const
	{
		for (const std::string &a : allowed)
			if (a == sid)
				return true;
		return false;
	}
};

Dacl
dacl_of(const std::string &path)
{
	Dacl d;
	PSECURITY_DESCRIPTOR sd = nullptr;
	PACL acl = nullptr;
	d.error = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
	                                nullptr, nullptr, &acl, nullptr, &sd);
	if (d.error != ERROR_SUCCESS)
		return d;
	d.sddl = dacl_sddl(sd);
	for (DWORD i = 0; acl != nullptr && i < acl->AceCount; i++) {
		void *ace = nullptr;
		if (GetAce(acl, i, &ace) &&
		    static_cast<ACE_HEADER *>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE)
			d.allowed.push_back(
			    sid_text(&static_cast<ACCESS_ALLOWED_ACE *>(ace)->SidStart));
	}
	LocalFree(sd);
	return d;
}

/* A scratch directory whose inheritable list lets Everyone, Users and
 * Authenticated Users read, as a shared folder does: a file that takes the
 * directory's list is readable by them. (Wine gives every file an Everyone
 * entry anyway.) */
struct SharedDir : TempDir {
	DWORD error = ERROR_SUCCESS;
	SharedDir()
	{
		std::string sddl = "D:P(A;OICI;FA;;;" + token_user() +
		                   ")(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)"
		                   "(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;AU)";
		PSECURITY_DESCRIPTOR sd = nullptr;
		PACL acl = nullptr;
		BOOL present = FALSE, defaulted = FALSE;
		if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
		        sddl.c_str(), SDDL_REVISION_1, &sd, nullptr)) {
			error = GetLastError();
			return;
		}
		GetSecurityDescriptorDacl(sd, &present, &acl, &defaulted);
		error = SetNamedSecurityInfoA(
		    const_cast<char *>(path.c_str()), SE_FILE_OBJECT,
		    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
		    acl, nullptr);
		LocalFree(sd);
	}
};

TEST(OwnerOnlyDescriptor, AllowsTheUserSystemAndAdministratorsAndInheritsNothing)
{
	OwnerOnlyDescriptor d;
	ASSERT_EQ(owner_only_descriptor_init(&d), static_cast<DWORD>(ERROR_SUCCESS));
	EXPECT_TRUE(IsValidSecurityDescriptor(&d.sd));
	SECURITY_DESCRIPTOR_CONTROL control = 0;
	DWORD revision = 0;
	ASSERT_TRUE(GetSecurityDescriptorControl(&d.sd, &control, &revision));
	EXPECT_TRUE(control & SE_DACL_PRESENT);
	EXPECT_TRUE(control & SE_DACL_PROTECTED);
	/* "P": protected; each entry allows FA (FILE_ALL_ACCESS) and is not
	 * passed on to anything. */
	EXPECT_EQ(dacl_sddl(&d.sd), "D:P(A;;FA;;;" + token_user() + ")(A;;FA;;;SY)(A;;FA;;;BA)");
}

/* The three kinds of file side by side in a directory that lets others
 * read: the private key's list names no one but the user, SYSTEM and
 * Administrators; the public key's is the one an ordinary file gets. */
TEST(OwnerOnlyFile, OthersGetNoEntryWhereTheDirectoryGrantsThemOne)
{
	SharedDir dir;
	ASSERT_EQ(dir.error, static_cast<DWORD>(ERROR_SUCCESS));
	const std::string user = token_user();

	std::FILE *f = file_open((dir / "ordinary.txt").c_str(), "w", nullptr);
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(file_close(f, nullptr), QEL_OK);
	Dacl ordinary = dacl_of(dir / "ordinary.txt");
	ASSERT_EQ(ordinary.error, static_cast<DWORD>(ERROR_SUCCESS));
	EXPECT_TRUE(ordinary.allows(everyone)) << ordinary.sddl;

	const uint8_t bytes[] = {1, 2, 3};
	KeyPair kp{};
	kp.private_der = const_cast<uint8_t *>(bytes);
	kp.private_der_len = sizeof(bytes);
	kp.public_der = const_cast<uint8_t *>(bytes);
	kp.public_der_len = sizeof(bytes);
	char msg[QEL_MSG_SIZE] = "";
	ASSERT_EQ(keypair_write_private(&kp, (dir / "qel_privkey.c").c_str(), msg), QEL_OK) << msg;
	ASSERT_EQ(keypair_write_public(&kp, (dir / "qel_pubkey.c").c_str(), msg), QEL_OK) << msg;

	struct Case {
		const char *name;
		std::string path;
		bool owner_only;
	} cases[] = {
	    {"private key file", dir / "qel_privkey.c", true},
	    {"public key file", dir / "qel_pubkey.c", false},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		Dacl d = dacl_of(c.path);
		ASSERT_EQ(d.error, static_cast<DWORD>(ERROR_SUCCESS));
		if (c.owner_only) {
			EXPECT_TRUE(d.allows(user)) << d.sddl;
			for (const std::string &sid : d.allowed)
				EXPECT_TRUE(sid == user || sid == system_sid || sid == administrators)
				    << sid << " in " << d.sddl;
			for (const std::string &other : {everyone, users, authenticated})
				EXPECT_FALSE(d.allows(other)) << d.sddl;
		} else {
			EXPECT_EQ(d.sddl, ordinary.sddl);
		}
		/* written in text mode, as any file */
		EXPECT_EQ(read_file(c.path),
		          native_text(std::string("const unsigned char* qel_get_") +
		                      (c.owner_only ? "private" : "public") +
		                      "_key(int *keylen)\n{\n"
		                      "  static unsigned char qel_keyarray[] = {\n"
		                      "      1,   2,   3 };\n"
		                      "  *keylen = sizeof (qel_keyarray);\n"
		                      "  return qel_keyarray;\n}\n"));
	}
}

/* The runtime's own text for a failed exclusive open of path. */
std::string
runtime_text(const std::string &path)
{
	errno = 0;
	int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
	if (fd >= 0) {
		_close(fd);
		return "<opened>";
	}
	return std::strerror(errno);
}

/* Creations the system refuses, with and without the owner-only list: the
 * message carries the text the runtime gives for the same failure, and
 * nothing is created. A name that is taken sets the flag instead. */
TEST(OwnerOnlyFile, FailedCreationsReadLikeEveryOtherOpen)
{
	TempDir dir;
	write_file(dir / "file.txt", "x");
	std::filesystem::create_directory(dir / "taken");
	struct Case {
		const char *name;
		std::string path;
		bool exists;
	} cases[] = {
	    {"missing directory", dir / "nodir/k.c", false},
	    {"a file as directory", dir / "file.txt/k.c", false},
	    {"wildcard in the name", dir / "k?.c", false},
	    {"name too long", dir / (std::string(300, 'k') + ".c"), false},
	    {"directory at the name", dir / "taken", true},
	};
	for (const Case &c : cases) {
		for (bool owner_only : {true, false}) {
			SCOPED_TRACE(std::string(c.name) + (owner_only ? ", owner only" : ""));
			std::string text = runtime_text(c.path);
			char msg[QEL_MSG_SIZE];
			std::strcpy(msg, untouched);
			bool exists = !c.exists;
			EXPECT_EQ(file_create_new(c.path.c_str(), owner_only, &exists, msg), nullptr);
			EXPECT_EQ(exists, c.exists);
			if (c.exists) {
				EXPECT_STREQ(msg, untouched);
				EXPECT_TRUE(std::filesystem::is_directory(c.path));
			} else {
				EXPECT_EQ(std::string(msg), "cannot open file '" + c.path + "': " + text);
				EXPECT_FALSE(path_exists(c.path));
			}
			/* without the flag, a taken name is an ordinary failure */
			EXPECT_EQ(file_create_new(c.path.c_str(), owner_only, nullptr, msg), nullptr);
			EXPECT_EQ(std::string(msg), "cannot open file '" + c.path + "': " + text);
		}
	}
}

} // namespace
