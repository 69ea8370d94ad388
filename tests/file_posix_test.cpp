/* Checked file output against real faults of a POSIX system. */
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
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
	EXPECT_EQ(file_printf(f, nullptr, "x"), QEL_OK);
	EXPECT_EQ(file_close(f, nullptr), QEL_ERR_IO);
	f = std::fopen("/dev/null", "r");
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(file_printf(f, nullptr, "%s", "x"), QEL_ERR_IO); /* read-only */
	(void)file_close(f, nullptr);
}

TEST(FileFaults, ProbeOfAFifoDoesNotHang)
{
	TempDir dir;
	std::string fifo = dir / "fifo";
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	bool exists = false;
	EXPECT_EQ(file_exists(&exists, fifo.c_str(), nullptr), QEL_OK);
	EXPECT_TRUE(exists);
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

} // namespace
