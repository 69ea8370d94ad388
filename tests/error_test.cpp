#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "core/error.h"

namespace {

TEST(ErrorSet, CutsLongMessagesAt1023Characters)
{
	struct Case {
		std::size_t length;
		std::size_t stored;
	} cases[] = {{1023, 1023}, {1024, 1023}, {1500, 1023}, {0, 0}, {17, 17}};
	for (const Case &c : cases) {
		std::string text(c.length, 'm');
		for (std::size_t i = 0; i < c.length; i++)
			text[i] = static_cast<char>('a' + i % 26);
		char msg[QEL_MSG_SIZE + 16];
		std::memset(msg, '#', sizeof msg);
		error_set(msg, "%s", text.c_str());
		SCOPED_TRACE(c.length);
		EXPECT_EQ(std::strlen(msg), c.stored);
		EXPECT_EQ(std::string(msg), text.substr(0, c.stored));
		/* Nothing beyond the buffer and nothing after the NUL is touched. */
		for (std::size_t i = c.stored + 1; i < sizeof msg; i++)
			ASSERT_EQ(msg[i], '#') << "byte " << i;
	}
}

TEST(ErrorSet, ReplacesFromTheFirstByteAndIgnoresNull)
{
	char msg[QEL_MSG_SIZE];
	error_set(msg, "first message that is long");
	error_set(msg, "cannot open file '%s': %s", "x.txt", "No such file");
	EXPECT_STREQ(msg, "cannot open file 'x.txt': No such file");
	error_set(nullptr, "%s", "ignored"); /* must not crash */
}

TEST(StrFormat, CapacityDecidesWhatIsWrittenNotTheResult)
{
	const char *mac = "00:11:22:33:44:55";
	struct Case {
		std::size_t capacity;
		const char *written; /* null: nothing written */
	} cases[] = {{18, "00:11:22:33:44:55"}, {10, "00:11:22:"}, {1, ""}, {0, nullptr}};
	for (const Case &c : cases) {
		char dst[32];
		std::memset(dst, '#', sizeof dst);
		int n = str_format(dst, c.capacity, "%s", mac);
		SCOPED_TRACE(c.capacity);
		EXPECT_EQ(n, 17);
		if (c.written == nullptr) {
			EXPECT_EQ(dst[0], '#');
		} else {
			EXPECT_STREQ(dst, c.written);
		}
		for (std::size_t i = c.capacity; i < sizeof dst; i++)
			ASSERT_EQ(dst[i], '#') << "byte " << i;
	}
}

TEST(MemWipe, ClearsEveryByte)
{
	unsigned char key[64];
	std::memset(key, 0xA5, sizeof key);
	mem_wipe(key, sizeof key);
	for (unsigned char b : key)
		ASSERT_EQ(b, 0);
	mem_wipe(nullptr, 10);
}

} // namespace
