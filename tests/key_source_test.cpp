/* Key source files: exact text for small inputs, every byte value, the
 * length of any file, and refusals that must leave the disk as it was. */
#include <cerrno>
#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "key_test_util.h"
#include "keys/key_source.h"
#include "test_util.h"

namespace {

const std::string public_head = "const unsigned char* qel_get_public_key(int *keylen)\n"
                                "{\n"
                                "  static unsigned char qel_keyarray[] = {\n";
const std::string public_tail = " };\n"
                                "  *keylen = sizeof (qel_keyarray);\n"
                                "  return qel_keyarray;\n"
                                "}\n";

/* Writes bytes with prefix "qel" and key name "public_key" to a new file
 * in dir; returns the code, the message and the file's text with each line
 * end as "\n" (the file is written in text mode). */
struct Written {
	int rc;
	std::string msg;
	std::string text;
};

Written
write_public(const TempDir &dir, const Bytes &bytes, const std::string &name = "k.c")
{
	char msg[QEL_MSG_SIZE] = "untouched";
	std::string path = dir / name;
	int rc = write_key_source(bytes.data(), static_cast<uint32_t>(bytes.size()), "qel",
	                          "public_key", path.c_str(), false, msg);
	std::string text = read_file(path);
	std::erase(text, '\r');
	return {rc, msg, text};
}

std::vector<std::string>
lines_of(const std::string &text)
{
	std::vector<std::string> lines;
	std::istringstream in(text);
	for (std::string line; std::getline(in, line);)
		lines.push_back(line);
	return lines;
}

TEST(KeySource, ExactTextForShortArrays)
{
	struct Case {
		const char *name;
		Bytes bytes;
		std::string values; /* the lines between the array line and " };" */
	} cases[] = {
	    /* the worked example of the format */
	    {"17 bytes", {7, 0, 255, 16, 128, 42, 3, 99, 100, 1, 250, 31, 64, 8, 199, 2, 77},
	     "      7,   0, 255,  16, 128,  42,   3,  99, 100,   1, 250,  31,  64,   8, 199,\n"
	     "      2,  77"},
	    {"no bytes", {}, ""},
	    {"one byte", {0}, "      0"},
	    {"15 bytes, one full line", byte_steps(15, 17),
	     "      0,  17,  34,  51,  68,  85, 102, 119, 136, 153, 170, 187, 204, 221, 238"},
	    {"16 bytes, one value on the second line", byte_steps(16, 17),
	     "      0,  17,  34,  51,  68,  85, 102, 119, 136, 153, 170, 187, 204, 221, 238,\n"
	     "    255"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		TempDir dir;
		Written w = write_public(dir, c.bytes);
		EXPECT_EQ(w.rc, QEL_OK) << w.msg;
		EXPECT_EQ(w.msg, "untouched");
		EXPECT_EQ(w.text, public_head + c.values + public_tail);
	}
}

TEST(KeySource, EveryByteValueIsUnsignedRightAlignedInFourColumns)
{
	Bytes all;
	for (int v = 0; v < 256; v++)
		all.push_back(static_cast<uint8_t>(v));
	TempDir dir;
	Written w = write_public(dir, all);
	ASSERT_EQ(w.rc, QEL_OK) << w.msg;
	ASSERT_EQ(w.text.substr(0, public_head.size()), public_head);
	std::vector<std::string> lines = lines_of(w.text.substr(public_head.size()));
	/* 256 values: 17 full lines and one of one value, then three lines */
	ASSERT_EQ(lines.size(), 18u + 3u);
	const std::regex full("   ( [ 0-9]{3},){15}");
	const std::regex last("   ( [ 0-9]{3},){0,14} [ 0-9]{3} \\};");
	const std::regex token(" (  [0-9]| [1-9][0-9]|[1-9][0-9]{2})");
	Bytes seen;
	for (std::size_t i = 0; i < 18; i++) {
		const std::string &l = lines[i];
		EXPECT_TRUE(std::regex_match(l, i < 17 ? full : last)) << l;
		for (std::size_t pos = 3; pos + 4 <= l.size() && l[pos] == ' '; pos += 5) {
			std::string t = l.substr(pos, 4);
			EXPECT_TRUE(std::regex_match(t, token)) << "'" << t << "'";
			seen.push_back(static_cast<uint8_t>(std::stoi(t)));
		}
	}
	EXPECT_EQ(seen, all);
	EXPECT_EQ(lines[17], "    255 };");
}

TEST(KeySource, FileLengthDependsOnlyOnTheCount)
{
	/* Counts around the line breaks and about the sizes of real keys (a
	 * public key has some 822 bytes, a private one some 855): the file's
	 * length in characters and in lines, the same for bytes of one digit,
	 * of three, and mixed. */
	struct Case {
		std::size_t count;
		std::size_t length;
		std::size_t lines;
	} cases[] = {
	    {0, 161, 7},    {1, 168, 7},     {2, 173, 7},     {14, 233, 7},
	    {15, 238, 7},   {16, 247, 8},    {29, 312, 8},    {30, 317, 8},
	    {31, 326, 9},   {255, 1502, 23}, {822, 4489, 61}, {857, 4676, 64},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.count);
		for (const Bytes &bytes :
		     {byte_steps(c.count, 17), Bytes(c.count, 0), Bytes(c.count, 255)}) {
			TempDir dir;
			Written w = write_public(dir, bytes);
			ASSERT_EQ(w.rc, QEL_OK) << w.msg;
			EXPECT_EQ(w.text.size(), c.length);
			EXPECT_EQ(lines_of(w.text).size(), c.lines);
			EXPECT_EQ(key_source_values(w.text), bytes);
		}
	}
}

TEST(KeySource, RefusesToOpenAndLeavesTheDiskAsItWas)
{
	TempDir dir;
	write_file(dir / "taken.c", "someone's key");
	write_file(dir / "empty.c", "");
	struct Case {
		std::string name; /* relative to dir */
		std::string msg;
		std::string before;
	} cases[] = {
	    {"missing/k.c",
	     "cannot open file '" + (dir / "missing/k.c") + "': " + std::strerror(ENOENT),
	     "<missing>"},
	    {"taken.c",
	     "file '" + (dir / "taken.c") + "' already exists, delete to generate new",
	     "someone's key"},
	    {"empty.c",
	     "file '" + (dir / "empty.c") + "' already exists, delete to generate new", ""},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		Written w = write_public(dir, {1, 2, 3}, c.name);
		EXPECT_EQ(w.rc, QEL_ERR_IO);
		EXPECT_EQ(w.msg, c.msg);
		EXPECT_EQ(w.text, c.before);
		/* the same code without a message buffer */
		std::string path = dir / c.name;
		EXPECT_EQ(write_key_source(nullptr, 0, "qel", "k", path.c_str(), true, nullptr),
		          QEL_ERR_IO);
		EXPECT_EQ(read_file(path), c.before);
	}
	EXPECT_FALSE(path_exists(dir / "missing"));
}

} // namespace
