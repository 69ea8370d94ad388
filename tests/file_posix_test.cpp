/* Checked file output against real faults of a POSIX system. */
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/file.h"
#include "test_util.h"

namespace {

const std::string enospc = std::string(": ") + std::strerror(ENOSPC);

TEST(FileFaults, FullDeviceSurfacesAtCloseAndTheFirstMessageStays)
{
	char msg[QEL_MSG_SIZE];
	/* Buffered writes to /dev/full pass; the flush at close fails. */
	std::FILE *f = file_open("/dev/full", "w", msg);
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(file_printf(f, msg, "short %d\n", 1), QEL_OK);
	EXPECT_EQ(file_close(f, msg), QEL_ERR_IO);
	EXPECT_EQ(std::string(msg), "cannot close file" + enospc);

	/* A write large enough to reach the device fails by itself; the close
	 * that follows without a buffer leaves that first message. */
	f = file_open("/dev/full", "w", msg);
	ASSERT_NE(f, nullptr);
	std::string big(1 << 16, 'x');
	EXPECT_EQ(file_printf(f, msg, "%s", big.c_str()), QEL_ERR_IO);
	EXPECT_EQ(std::string(msg), "cannot write to file" + enospc);
	(void)file_close(f, nullptr);
	EXPECT_EQ(std::string(msg), "cannot write to file" + enospc);

	/* The flush of a stream that stays open is checked the same way. */
	f = file_open("/dev/full", "w", msg);
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(file_printf(f, msg, "report\n"), QEL_OK);
	EXPECT_EQ(file_flush(f, msg), QEL_ERR_IO);
	EXPECT_EQ(std::string(msg), "cannot write to file" + enospc);
	(void)file_close(f, nullptr);
}

TEST(FileFaults, NullMessageBufferGivesTheSameCodes)
{
	std::FILE *f = file_open("/dev/full", "w", nullptr);
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(file_printf(f, nullptr, "x"), QEL_OK);
	EXPECT_EQ(file_flush(f, nullptr), QEL_ERR_IO);
	EXPECT_EQ(file_printf(f, nullptr, "x"), QEL_ERR_IO); /* the flag stays */
	EXPECT_EQ(file_close(f, nullptr), QEL_ERR_IO);
	f = std::fopen("/dev/null", "r");
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(file_printf(f, nullptr, "%s", "x"), QEL_ERR_IO); /* read-only */
	(void)file_close(f, nullptr);
}

/* Once a stream has lost text its error flag stays set, and every later
 * write and flush fails although the runtime may take the new text without
 * complaint (msvcrt always does): nothing after a loss passes as written. */
TEST(FileFaults, ALostWriteFailsEveryLaterWriteAndFlush)
{
	char msg[QEL_MSG_SIZE];
	std::FILE *f = file_open("/dev/full", "w", msg);
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(file_printf(f, msg, "lost\n"), QEL_OK); /* still buffered */
	EXPECT_EQ(file_flush(f, msg), QEL_ERR_IO);
	/* The runtime has dropped the lost text: an empty write and a flush
	 * with nothing to push both succeed, and only the flag is left. */
	std::strcpy(msg, "before");
	EXPECT_EQ(file_printf(f, msg, "%s", ""), QEL_ERR_IO);
	EXPECT_EQ(std::string(msg).rfind("cannot write to file: ", 0), 0u) << msg;
	EXPECT_EQ(file_flush(f, nullptr), QEL_ERR_IO);
	(void)file_close(f, nullptr);
}

/* A file that must last is synced before its close, and the directory that
 * names it after; each failure reads as a failed close. */
TEST(FileFaults, SyncReachesTheDiskOrSaysWhy)
{
	TempDir dir;
	char msg[QEL_MSG_SIZE];
	std::FILE *f = file_open((dir / "kept").c_str(), "w", msg);
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(file_printf(f, msg, "kept\n"), QEL_OK);
	EXPECT_EQ(file_sync(f, msg), QEL_OK) << msg;
	EXPECT_EQ(read_file(dir / "kept"), "kept\n") << "synced before the close";
	EXPECT_EQ(file_close(f, msg), QEL_OK);

	f = file_open("/dev/full", "w", msg);
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(file_printf(f, msg, "x"), QEL_OK);
	EXPECT_EQ(file_sync(f, msg), QEL_ERR_IO);
	EXPECT_EQ(std::string(msg), "cannot close file" + enospc);
	(void)file_close(f, nullptr);

	write_file(dir / "plain", "");
	struct Case {
		std::string path;
		int err; /* 0: success */
	} cases[] = {
	    {"plain-name-here", 0},
	    {dir / "kept", 0},
	    {"/kept-at-the-root", 0},
	    {dir / "missing/kept", ENOENT},
	    {dir / "plain/kept", ENOTDIR},
	    {std::string(5000, 'd') + "/kept", ENAMETOOLONG},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.path.substr(0, 80));
		std::strcpy(msg, "untouched");
		EXPECT_EQ(file_sync_dir(c.path.c_str(), msg), c.err == 0 ? QEL_OK : QEL_ERR_IO);
		EXPECT_EQ(std::string(msg), c.err == 0 ? std::string("untouched")
		                                       : "cannot close file: " +
		                                             std::string(std::strerror(c.err)));
	}
}

struct Rewrite {
	std::string path;
	std::size_t count; /* bytes of new text */
	rlim_t limit;      /* RLIMIT_FSIZE in the child; RLIM_INFINITY: as it is */
	bool killed;       /* SIGXFSZ at its default: the child dies at the limit */
	char msg[QEL_MSG_SIZE];
};

std::string
new_text(std::size_t n)
{
	std::string s;
	for (std::size_t i = 0; i < n; i++)
		s.push_back(static_cast<char>('a' + i % 26));
	return s;
}

int
rewrite_in_child(void *arg)
{
	Rewrite *r = static_cast<Rewrite *>(arg);
	std::signal(SIGXFSZ, r->killed ? SIG_DFL : SIG_IGN);
	struct rlimit lim;
	if (getrlimit(RLIMIT_FSIZE, &lim) != 0)
		return 100;
	rlim_t unlimited = lim.rlim_cur;
	if (r->limit != RLIM_INFINITY)
		lim.rlim_cur = r->limit;
	if (setrlimit(RLIMIT_FSIZE, &lim) != 0)
		return 100;
	std::FILE *f = file_open(r->path.c_str(), "w", r->msg);
	if (f == nullptr)
		return 101;
	int rc = file_printf(f, r->msg, "%s", new_text(r->count).c_str());
	if (rc == QEL_OK)
		rc = file_close(f, r->msg);
	else
		(void)file_close(f, nullptr);
	/* The message goes to the parent through standard output, a file of
	 * its own, once the limit is lifted again. */
	lim.rlim_cur = unlimited;
	if (setrlimit(RLIMIT_FSIZE, &lim) != 0)
		return 102;
	std::fputs(r->msg, stdout);
	std::fflush(stdout);
	return -rc;
}

/* Mode "w" over an existing file: afterwards the file holds exactly what
 * was written, whether the old file was longer, as long or shorter; and
 * when a file size limit (RLIMIT_FSIZE) stops the writing half-way, with
 * SIGXFSZ ignored or killing the process, only the part of the new text
 * that got written: nothing of the old text stays behind it. The runtime
 * buffers 4096 bytes, so text shorter than that reaches the system at the
 * close. */
TEST(FileFaults, RewrittenFileHoldsExactlyWhatWasWritten)
{
	const std::string efbig = std::strerror(EFBIG);
	struct Case {
		const char *name;
		std::size_t old_size, count;
		rlim_t limit;
		bool killed;
		int rc; /* -1000: the child died */
		std::string msg;
		std::size_t kept; /* leading bytes of the new text in the file */
	} cases[] = {
	    {"old file longer", 6000, 100, RLIM_INFINITY, false, 0, "", 100},
	    {"old file as long", 100, 100, RLIM_INFINITY, false, 0, "", 100},
	    {"old file shorter", 10, 100, RLIM_INFINITY, false, 0, "", 100},
	    {"no old file", 0, 100, RLIM_INFINITY, false, 0, "", 100},
	    {"limit at the close, old longer", 6000, 2000, 1024, false, 3,
	     "cannot close file: " + efbig, 1024},
	    {"limit at the close, old shorter", 10, 2000, 1024, false, 3,
	     "cannot close file: " + efbig, 1024},
	    {"limit while writing, old longer", 20000, 9000, 1024, false, 3,
	     "cannot write to file: " + efbig, 1024},
	    {"limit at the start, old longer", 6000, 2000, 0, false, 3,
	     "cannot close file: " + efbig, 0},
	    {"killed at the close, old longer", 6000, 2000, 1024, true, -1000, "", 1024},
	    {"killed while writing, old longer", 20000, 9000, 1024, true, -1000, "", 1024},
	    {"killed at the start, old longer", 6000, 2000, 0, true, -1000, "", 0},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		TempDir dir;
		Rewrite r{dir / "r.txt", c.count, c.limit, c.killed, {}};
		if (c.old_size > 0)
			write_file(r.path, std::string(c.old_size, 'O'));
		EXPECT_EQ(run_with_stdout(dir / "msg", rewrite_in_child, &r), c.rc);
		EXPECT_EQ(read_file(dir / "msg"), c.msg);
		EXPECT_EQ(read_file(r.path), new_text(c.count).substr(0, c.kept));
	}
}

/* Entries that cannot be opened for reading (or would block an open)
 * still take the name: file_exists sees each, without opening it, as the
 * creation would. Where the system cannot tell, it says so. */
TEST(FileFaults, ExistsSeesEveryEntryWithoutOpeningIt)
{
	TempDir dir;
	ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
	ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
	write_file(dir / "unreadable", "x");
	ASSERT_EQ(chmod((dir / "unreadable").c_str(), 0), 0);
	write_file(dir / "plain", "x");
	struct Case {
		std::string path;
		int rc;
		bool exists;
		std::string msg;
	} cases[] = {
	    {dir / "fifo", QEL_OK, true, "untouched"},
	    {dir / "dangling", QEL_OK, true, "untouched"},
	    {dir / "unreadable", QEL_OK, true, "untouched"},
	    {dir / "plain/x", QEL_ERR_IO, false,
	     "cannot open file '" + dir / "plain/x" + "': " + std::strerror(ENOTDIR)},
	    {dir / std::string(300, 'n'), QEL_ERR_IO, false,
	     "cannot open file '" + dir / std::string(300, 'n') + "': " +
	         std::strerror(ENAMETOOLONG)},
	};
	for (const Case &c : cases) {
		char msg[QEL_MSG_SIZE] = "untouched";
		bool exists = !c.exists;
		EXPECT_EQ(file_exists(&exists, c.path.c_str(), msg), c.rc) << c.path;
		EXPECT_EQ(exists, c.exists) << c.path;
		EXPECT_EQ(std::string(msg), c.msg);
		EXPECT_EQ(file_exists(&exists, c.path.c_str(), nullptr), c.rc);
	}
}

TEST(FileFaults, CreateNewRefusesSymlinksAndTheirTargets)
{
	TempDir dir;
	std::string link = dir / "key.c", target = dir / "target.c";
	ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0); /* dangling */
	bool exists = false;
	EXPECT_EQ(file_create_new(link.c_str(), true, &exists, nullptr), nullptr);
	EXPECT_TRUE(exists);
	EXPECT_FALSE(path_exists(target));

	write_file(target, "victim");
	EXPECT_EQ(file_create_new(link.c_str(), true, &exists, nullptr), nullptr);
	EXPECT_TRUE(exists);
	EXPECT_EQ(read_file(target), "victim");
}

TEST(FileFaults, OwnerOnlyFilesIgnoreTheUmask)
{
	struct Case {
		mode_t umask;
		bool owner_only;
		mode_t mode;
	} cases[] = {
	    {000, true, 0600}, {022, true, 0600}, {0277, true, 0600},
	    {000, false, 0666}, {022, false, 0644}, {077, false, 0600},
	};
	TempDir dir;
	int n = 0;
	for (const Case &c : cases) {
		std::string path = dir / ("f" + std::to_string(n++));
		mode_t old = umask(c.umask);
		std::FILE *f = file_create_new(path.c_str(), c.owner_only, nullptr, nullptr);
		umask(old);
		ASSERT_NE(f, nullptr);
		(void)file_close(f, nullptr);
		struct stat st;
		ASSERT_EQ(stat(path.c_str(), &st), 0);
		EXPECT_EQ(st.st_mode & 07777, c.mode) << "umask " << c.umask;
	}
}

/* The licence file takes its name in one step that never replaces: not a
 * file, not a directory, not a symlink, even a dangling one. */
TEST(FileFaults, MoveNewNeverReplacesAnything)
{
	TempDir dir;
	const std::string target = dir / "target";
	std::filesystem::create_directory(dir / "dir");
	ASSERT_EQ(symlink(target.c_str(), (dir / "dangling").c_str()), 0);
	write_file(dir / "file", "old");
	for (const char *name : {"file", "dir", "dangling"}) {
		SCOPED_TRACE(name);
		char temp[FILE_TEMP_NAME_SIZE];
		std::string out = dir / name;
		std::FILE *f = file_create_temp(out.c_str(), temp, nullptr);
		ASSERT_NE(f, nullptr);
		EXPECT_EQ(file_printf(f, nullptr, "new\n"), QEL_OK);
		EXPECT_EQ(file_close(f, nullptr), QEL_OK);
		bool exists = false;
		char msg[QEL_MSG_SIZE] = "untouched";
		EXPECT_EQ(file_move_new(temp, out.c_str(), &exists, msg), QEL_ERR_IO);
		EXPECT_TRUE(exists);
		EXPECT_STREQ(msg, "untouched");
		file_remove(temp);
	}
	EXPECT_EQ(read_file(dir / "file"), "old");
	EXPECT_FALSE(path_exists(target));
	EXPECT_TRUE(std::filesystem::is_directory(dir / "dir"));
}

TEST(FileFaults, TemporaryFilesGetTheUsualModeLessTheUmask)
{
	TempDir dir;
	for (mode_t mask : {000u, 022u, 077u}) {
		char temp[FILE_TEMP_NAME_SIZE];
		mode_t old = umask(mask);
		std::FILE *f = file_create_temp((dir / "out").c_str(), temp, nullptr);
		umask(old);
		ASSERT_NE(f, nullptr);
		(void)file_close(f, nullptr);
		struct stat st;
		ASSERT_EQ(stat(temp, &st), 0);
		EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask) << "umask " << mask;
		file_remove(temp);
	}
	/* A name too long for a path. */
	std::string long_name = dir / std::string(FILE_TEMP_NAME_SIZE, 'n');
	char temp[FILE_TEMP_NAME_SIZE];
	char msg[QEL_MSG_SIZE];
	EXPECT_EQ(file_create_temp(long_name.c_str(), temp, msg), nullptr);
	EXPECT_EQ(std::string(msg).rfind("cannot open file '" + dir.path, 0), 0u);
	EXPECT_STREQ(temp, "");
}

} // namespace
