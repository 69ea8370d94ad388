#include "core/text.h"

#include <cstring>

bool
text_next_line(const char *text, std::size_t length, std::size_t *pos, TextLine *line)
{
	if (*pos >= length)
		return false;
	const char *start = text + *pos;
	std::size_t rest = length - *pos;
	const void *lf = std::memchr(start, '\n', rest);
	if (lf == nullptr) {
		*line = TextLine{start, rest, false};
		*pos = length;
		return true;
	}
	std::size_t n = static_cast<std::size_t>(static_cast<const char *>(lf) - start);
	*pos += n + 1;
	if (n > 0 && start[n - 1] == '\r')
		n--;
	*line = TextLine{start, n, true};
	return true;
}

bool
text_has_bom(const char *text, std::size_t length)
{
	return length >= TEXT_BOM_SIZE && std::memcmp(text, "\xef\xbb\xbf", TEXT_BOM_SIZE) == 0;
}

std::size_t
utf8_sequence(const char *p, std::size_t n, unsigned long *cp)
{
	if (n == 0)
		return 0;
	const auto *b = reinterpret_cast<const unsigned char *>(p);
	unsigned long c = b[0];
	std::size_t len = 0;
	unsigned long min = 0;
	if (c < 0x80) {
		len = 1;
	} else if (c >= 0xc2 && c <= 0xdf) {
		len = 2;
		c &= 0x1f;
		min = 0x80;
	} else if (c >= 0xe0 && c <= 0xef) {
		len = 3;
		c &= 0x0f;
		min = 0x800;
	} else if (c >= 0xf0 && c <= 0xf4) {
		len = 4;
		c &= 0x07;
		min = 0x10000;
	} else {
		return 0; /* a continuation byte, or a lead byte of no valid form */
	}
	if (len > n)
		return 0;
	for (std::size_t i = 1; i < len; i++) {
		if ((b[i] & 0xc0) != 0x80)
			return 0;
		c = c << 6 | (b[i] & 0x3f);
	}
	/* Overlong forms, UTF-16 surrogates and the range past U+10FFFF. */
	if (c < min || (c >= 0xd800 && c <= 0xdfff) || c > 0x10ffff)
		return 0;
	if (cp != nullptr)
		*cp = c;
	return len;
}

bool
is_control(unsigned long cp)
{
	return cp < 0x20 || (cp >= 0x7f && cp <= 0x9f);
}
