#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "core/file.h"
#include "test_util.h"

namespace {

const char *const untouched = "untouched";

struct Buffer {
	char msg[QEL_MSG_SIZE];
	Buffer() { std::strcpy(msg, untouched); }
};

TEST(FileOpen, ReportsThePathAndTheSystemText)
{
	TempDir dir;
	std::filesystem::create_directory(dir / "taken");
	for (const std::string &path : {dir / "taken", dir / "missing/x.txt"}) {
		/* The runtime's own text for the failure: EISDIR and ENOENT on
		 * Linux, EACCES for the directory on Windows. */
		errno = 0;
		EXPECT_EQ(std::fopen(path.c_str(), "w"), nullptr);
		std::string text = std::strerror(errno);
		Buffer b;
		EXPECT_EQ(file_open(path.c_str(), "w", b.msg), nullptr);
		EXPECT_EQ(std::string(b.msg), "cannot open file '" + path + "': " + text);
		EXPECT_EQ(file_open(path.c_str(), "w", nullptr), nullptr);
	}
	EXPECT_FALSE(path_exists(dir / "missing"));
}

TEST(FileOpen, ModeWTruncatesAnExistingFile)
{
	TempDir dir;
	write_file(dir / "r.txt", "old content that must go");
	Buffer b;
	std::FILE *f = file_open((dir / "r.txt").c_str(), "w", b.msg);
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(file_printf(f, b.msg, "%s\n", "new"), QEL_OK);
	EXPECT_EQ(file_close(f, b.msg), QEL_OK);
	EXPECT_EQ(read_file(dir / "r.txt"), native_text("new\n"));
	EXPECT_STREQ(b.msg, untouched);
}

TEST(FileClose, NullStreamIsANoOp)
{
	Buffer b;
	EXPECT_EQ(file_close(nullptr, b.msg), QEL_OK);
	EXPECT_EQ(file_close(nullptr, nullptr), QEL_OK);
	EXPECT_STREQ(b.msg, untouched);
}

/* Whatever entry holds the name counts, as it would stop a creation that
 * never replaces; only a name that is free is absent. */
TEST(FileExists, AnswersWhetherTheNameIsTaken)
{
	TempDir dir;
	write_file(dir / "empty", "");
	write_file(dir / "full", "x");
	std::filesystem::create_directory(dir / "sub");
	struct Case {
		std::string path;
		bool exists;
	} cases[] = {
	    {dir / "empty", true},
	    {dir / "full", true},
	    {dir / "sub", true},
	    {dir / "nothing", false},
	    {dir / "nodir/file", false},
	};
	for (const Case &c : cases) {
		Buffer b;
		bool exists = !c.exists;
		EXPECT_EQ(file_exists(&exists, c.path.c_str(), b.msg), QEL_OK) << c.path;
		EXPECT_EQ(exists, c.exists) << c.path;
		EXPECT_STREQ(b.msg, untouched);
		bool created = false;
		std::FILE *f = file_create_new(c.path.c_str(), false, &created, nullptr);
		EXPECT_EQ(created, c.exists) << "the creation saw otherwise: " << c.path;
		(void)file_close(f, nullptr);
	}
}

/* A stream that lost a write keeps its error flag, and every later write
 * and flush must fail although the runtime takes an empty write and a
 * flush of nothing without complaint: only the flag tells. Writing to a
 * stream opened for reading sets it on glibc and msvcrt alike. */
TEST(FilePrintf, TheErrorFlagFailsEveryLaterWriteAndFlush)
{
	TempDir dir;
	write_file(dir / "read-only", "text");
	std::FILE *f = std::fopen((dir / "read-only").c_str(), "r");
	ASSERT_NE(f, nullptr);
	Buffer b;
	EXPECT_EQ(file_printf(f, b.msg, "%s", "lost"), QEL_ERR_IO);
	ASSERT_NE(std::ferror(f), 0);
	std::strcpy(b.msg, untouched);
	EXPECT_EQ(file_printf(f, b.msg, "%s", ""), QEL_ERR_IO);
	EXPECT_EQ(std::string(b.msg).rfind("cannot write to file: ", 0), 0u) << b.msg;
	std::strcpy(b.msg, untouched);
	EXPECT_EQ(file_flush(f, b.msg), QEL_ERR_IO);
	EXPECT_EQ(std::string(b.msg).rfind("cannot write to file: ", 0), 0u) << b.msg;
	(void)file_close(f, nullptr);
	EXPECT_EQ(read_file(dir / "read-only"), "text");
}

TEST(FileCreateNew, NeverReplacesAnExistingFile)
{
	TempDir dir;
	write_file(dir / "key.c", "precious");
	Buffer b;
	bool exists = false;
	EXPECT_EQ(file_create_new((dir / "key.c").c_str(), true, &exists, b.msg), nullptr);
	EXPECT_TRUE(exists);
	EXPECT_STREQ(b.msg, untouched); /* the caller words "already exists" */
	EXPECT_EQ(read_file(dir / "key.c"), "precious");

	std::FILE *f = file_create_new((dir / "new.c").c_str(), false, &exists, b.msg);
	ASSERT_NE(f, nullptr);
	EXPECT_FALSE(exists);
	EXPECT_EQ(file_printf(f, b.msg, "int x;\n"), QEL_OK);
	EXPECT_EQ(file_close(f, b.msg), QEL_OK);
	EXPECT_EQ(read_file(dir / "new.c"), native_text("int x;\n"));

	std::string missing = dir / "nodir/new.c";
	EXPECT_EQ(file_create_new(missing.c_str(), false, &exists, b.msg), nullptr);
	EXPECT_FALSE(exists);
	EXPECT_EQ(std::string(b.msg),
	          "cannot open file '" + missing + "': " + std::strerror(ENOENT));
}

/* --- Reading whole files, and writing one whole or not at all --- */

struct ReadAll {
	int rc;
	std::string msg;
	std::string data;
	std::size_t length;
};

ReadAll
read_all(const std::string &path, std::size_t limit)
{
	Buffer b;
	char *data = nullptr;
	std::size_t length = 99;
	int rc = file_read_all(path.c_str(), limit, &data, &length, b.msg);
	ReadAll r{rc, b.msg, data != nullptr ? std::string(data, length) : "", length};
	if (data != nullptr) {
		EXPECT_EQ(data[length], '\0');
	}
	mem_free(data);
	return r;
}

TEST(FileReadAll, TakesTheBytesAsTheyAreUpToOneMoreThanTheLimit)
{
	TempDir dir;
	const std::string bytes("a\r\nb\0c\n", 7);
	write_file(dir / "f", bytes);
	write_file(dir / "empty", "");
	ReadAll r = read_all(dir / "f", 100);
	EXPECT_EQ(r.rc, QEL_OK);
	EXPECT_EQ(r.data, bytes);
	EXPECT_EQ(r.msg, untouched);
	EXPECT_EQ(read_all(dir / "f", 7).data, bytes);
	/* One byte past the limit tells a longer file. */
	r = read_all(dir / "f", 5);
	EXPECT_EQ(r.rc, QEL_OK);
	EXPECT_EQ(r.length, 6u);
	EXPECT_EQ(read_all(dir / "empty", 5).length, 0u);

	r = read_all(dir / "missing", 5);
	EXPECT_EQ(r.rc, QEL_ERR_IO);
	EXPECT_EQ(r.msg, "cannot open file '" + dir / "missing" + "': " + std::strerror(ENOENT));
	EXPECT_EQ(r.length, 0u);
	/* A directory: fopen refuses it on Windows, the read fails on Linux. */
	r = read_all(dir.path, 5);
	EXPECT_EQ(r.rc, QEL_ERR_IO);
	EXPECT_EQ(r.msg.rfind("cannot ", 0), 0u) << r.msg;
}

TEST(FileMoveNew, AWholeFileTakesItsNameOnlyWhereNoneIs)
{
	TempDir dir;
	const std::string out = dir / "licence.txt";
	Buffer b;
	char temp[FILE_TEMP_NAME_SIZE];
	std::FILE *f = file_create_temp(out.c_str(), temp, b.msg);
	ASSERT_NE(f, nullptr) << b.msg;
	EXPECT_EQ(std::filesystem::path(temp).parent_path(), std::filesystem::path(dir.path));
	EXPECT_EQ(file_printf(f, b.msg, "one\ntwo\n"), QEL_OK);
	EXPECT_EQ(file_sync(f, b.msg), QEL_OK);
	EXPECT_EQ(file_close(f, b.msg), QEL_OK);
	bool exists = true;
	EXPECT_EQ(file_move_new(temp, out.c_str(), &exists, b.msg), QEL_OK);
	EXPECT_FALSE(exists);
	EXPECT_FALSE(path_exists(temp));
	EXPECT_EQ(read_file(out), native_text("one\ntwo\n"));
	EXPECT_STREQ(b.msg, untouched);

	/* The name is taken now: the move refuses, both files stay. */
	char again[FILE_TEMP_NAME_SIZE];
	f = file_create_temp(out.c_str(), again, b.msg);
	ASSERT_NE(f, nullptr) << b.msg;
	EXPECT_STRNE(again, temp);
	EXPECT_EQ(file_close(f, b.msg), QEL_OK);
	EXPECT_EQ(file_move_new(again, out.c_str(), &exists, b.msg), QEL_ERR_IO);
	EXPECT_TRUE(exists);
	EXPECT_STREQ(b.msg, untouched);
	EXPECT_EQ(read_file(out), native_text("one\ntwo\n"));
	EXPECT_TRUE(path_exists(again));
	file_remove(again);
	EXPECT_FALSE(path_exists(again));
	EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path),
	                        std::filesystem::directory_iterator{}),
	          1);

	/* No directory to make it in. */
	const std::string nowhere = dir / "missing/licence.txt";
	EXPECT_EQ(file_create_temp(nowhere.c_str(), temp, b.msg), nullptr);
	EXPECT_EQ(std::string(b.msg).rfind("cannot open file '" + dir / "missing/", 0), 0u) << b.msg;
	EXPECT_STREQ(temp, "");
}

} // namespace
