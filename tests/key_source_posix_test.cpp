/* Key source files against what only a POSIX system can set up: symlinks
 * and directories at the path, and a file size limit that stops the
 * writing half-way. */
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "key_test_util.h"
#include "keys/key_source.h"
#include "test_util.h"

namespace {

TEST(KeySourcePosix, NameTakenBySymlinkOrDirectoryIsRefusedAndNothingFollowed)
{
	TempDir dir;
	std::string path = dir / "k.c";
	struct Case {
		const char *name;
		void (*make)(const TempDir &);
		const char *target; /* what the link points at, "" for none */
		std::string target_before;
	} cases[] = {
	    {"dangling symlink",
	     [](const TempDir &d) { (void)!symlink((d / "t.c").c_str(), (d / "k.c").c_str()); },
	     "t.c", "<missing>"},
	    {"symlink to a file",
	     [](const TempDir &d) {
		     write_file(d / "t.c", "victim");
		     (void)!symlink((d / "t.c").c_str(), (d / "k.c").c_str());
	     },
	     "t.c", "victim"},
	    {"directory", [](const TempDir &d) { std::filesystem::create_directory(d / "k.c"); },
	     "", ""},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		std::filesystem::remove_all(path);
		std::filesystem::remove(dir / "t.c");
		c.make(dir);
		char msg[QEL_MSG_SIZE];
		const uint8_t bytes[] = {1, 2, 3};
		EXPECT_EQ(write_key_source(bytes, 3, "qel", "k", path.c_str(), true, msg), QEL_ERR_IO);
		EXPECT_EQ(std::string(msg),
		          "file '" + path + "' already exists, delete to generate new");
		if (*c.target != '\0') {
			EXPECT_TRUE(std::filesystem::is_symlink(path));
			EXPECT_EQ(read_file(dir / c.target), c.target_before);
		} else {
			EXPECT_TRUE(std::filesystem::is_directory(path));
		}
	}
}

struct LimitedWrite {
	std::string path;
	Bytes bytes;
	char msg[QEL_MSG_SIZE];
};

int
write_under_limit(void *arg)
{
	LimitedWrite *w = static_cast<LimitedWrite *>(arg);
	std::signal(SIGXFSZ, SIG_IGN);
	struct rlimit lim = {1024, 1024};
	if (setrlimit(RLIMIT_FSIZE, &lim) != 0)
		return 100;
	int rc = write_key_source(w->bytes.data(), static_cast<uint32_t>(w->bytes.size()),
	                          "qel", "public_key", w->path.c_str(), false, w->msg);
	/* The message goes to the parent in a file well below the limit. */
	std::FILE *f = std::fopen((w->path + ".msg").c_str(), "w");
	if (f == nullptr)
		return 101;
	std::fputs(w->msg, f);
	std::fclose(f);
	return -rc;
}

/* With RLIMIT_FSIZE at 1024 bytes (and SIGXFSZ ignored) a write that
 * crosses the limit stores what fits and fails with EFBIG. The runtime
 * buffers 4096 bytes per file here (the file system's block size), so a
 * file shorter than that reaches the system only at the close, and a
 * longer one while a value is being written. Either way the file keeps
 * its first 1024 bytes. */
TEST(KeySourcePosix, WriteFailureStopsTheFileWhereTheLimitIs)
{
	struct Case {
		const char *name;
		std::size_t count;
		std::string msg;
	} cases[] = {
	    {"file of about 2000 bytes", 350,
	     std::string("cannot close file: ") + std::strerror(EFBIG)},
	    {"file of about 6000 bytes", 1150,
	     std::string("cannot write to file: ") + std::strerror(EFBIG)},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		TempDir dir;
		LimitedWrite w{dir / "k.c", byte_steps(c.count, 7), {}};
		EXPECT_EQ(run_with_stdout(dir / "stdout", write_under_limit, &w), 3);
		EXPECT_EQ(read_file(w.path + ".msg"), c.msg);

		/* the same file without the limit, for comparison */
		std::string whole_path = dir / "whole.c";
		ASSERT_EQ(write_key_source(w.bytes.data(), static_cast<uint32_t>(w.bytes.size()),
		                           "qel", "public_key", whole_path.c_str(), false, nullptr),
		          QEL_OK);
		std::string whole = read_file(whole_path);
		ASSERT_GT(whole.size(), 1024u);
		EXPECT_EQ(read_file(w.path), whole.substr(0, 1024));
	}
}

} // namespace
