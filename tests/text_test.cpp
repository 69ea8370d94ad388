/* Lines of text and UTF-8, as the readers of keys, reports and licences
 * see them. */
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/text.h"

namespace {

std::vector<std::string>
lines(const std::string &text, std::vector<bool> *ended)
{
	std::vector<std::string> out;
	std::size_t pos = 0;
	TextLine l{};
	while (text_next_line(text.data(), text.size(), &pos, &l)) {
		out.emplace_back(l.p, l.n);
		ended->push_back(l.ended);
	}
	EXPECT_EQ(pos, text.size());
	return out;
}

TEST(Text, LinesEndAtLfOrCrLf)
{
	struct Case {
		std::string text;
		std::vector<std::string> lines;
		std::vector<bool> ended;
	} cases[] = {
	    {"", {}, {}},
	    {"a", {"a"}, {false}},
	    {"a\nb\n", {"a", "b"}, {true, true}},
	    {"a\r\nb\r\n", {"a", "b"}, {true, true}},
	    {"a\r\r\n\r\n", {"a\r", ""}, {true, true}},
	    {"a\rb\nc\r", {"a\rb", "c\r"}, {true, false}},
	    {"\n\n", {"", ""}, {true, true}},
	};
	for (const Case &c : cases) {
		std::vector<bool> ended;
		EXPECT_EQ(lines(c.text, &ended), c.lines) << c.text;
		EXPECT_EQ(ended, c.ended) << c.text;
	}
	EXPECT_TRUE(text_has_bom("\xef\xbb\xbfx", 4));
	EXPECT_FALSE(text_has_bom("\xef\xbb", 2));
}

TEST(Text, Utf8SequencesAndControls)
{
	struct Case {
		const char *bytes;
		std::size_t length; /* 0: refused */
		unsigned long cp;
	} cases[] = {
	    {"A", 1, 0x41},
	    {"\xc2\x80", 2, 0x80},
	    {"\xdf\xbf", 2, 0x7ff},
	    {"\xe0\xa0\x80", 3, 0x800},
	    {"\xed\x9f\xbf", 3, 0xd7ff},
	    {"\xee\x80\x80", 3, 0xe000},
	    {"\xef\xbf\xbf", 3, 0xffff},
	    {"\xf0\x90\x80\x80", 4, 0x10000},
	    {"\xf4\x8f\xbf\xbf", 4, 0x10ffff},
	    {"\x80", 0, 0},             /* a continuation byte alone */
	    {"\xc0\xaf", 0, 0},         /* overlong '/' */
	    {"\xc1\xbf", 0, 0},         /* overlong */
	    {"\xe0\x9f\xbf", 0, 0},     /* overlong */
	    {"\xf0\x8f\xbf\xbf", 0, 0}, /* overlong */
	    {"\xed\xa0\x80", 0, 0},     /* a surrogate */
	    {"\xed\xbf\xbf", 0, 0},     /* a surrogate */
	    {"\xf4\x90\x80\x80", 0, 0}, /* past U+10FFFF */
	    {"\xf5\x80\x80\x80", 0, 0},
	    {"\xff", 0, 0},
	    {"\xe2\x82", 0, 0},         /* cut short */
	    {"\xe2\x28\xa1", 0, 0},     /* not a continuation */
	};
	for (const Case &c : cases) {
		unsigned long cp = 0;
		EXPECT_EQ(utf8_sequence(c.bytes, std::strlen(c.bytes), &cp), c.length) << c.bytes;
		if (c.length != 0) {
			EXPECT_EQ(cp, c.cp) << c.bytes;
		}
	}
	/* n bounds the read: the sequence must fit. */
	EXPECT_EQ(utf8_sequence("\xc2\x80", 1, nullptr), 0u);
	EXPECT_EQ(utf8_sequence("", 0, nullptr), 0u);
	EXPECT_EQ(utf8_sequence("\0", 1, nullptr), 1u);
	for (unsigned long cp : {0x0ul, 0x1ful, 0x7ful, 0x85ul, 0x9ful})
		EXPECT_TRUE(is_control(cp)) << cp;
	for (unsigned long cp : {0x20ul, 0x7eul, 0xa0ul, 0xfeffu + 0ul, 0x10ffffu + 0ul})
		EXPECT_FALSE(is_control(cp)) << cp;
}

} // namespace
