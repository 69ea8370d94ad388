/* Reading text a line at a time, and checking UTF-8, for the readers of
 * key files, customers' reports and licences. Nothing here allocates or
 * fails. */
#ifndef QEL_CORE_TEXT_H
#define QEL_CORE_TEXT_H

#include <cstddef>

/* One line of a text: its bytes without the line end. */
struct TextLine {
	const char *p;
	std::size_t n;
	bool ended; /* a line end followed; false only for a last line without one */
};

/* Takes the line that starts at *pos of text (length bytes) into line and
 * moves *pos past it. A line ends at LF; a CR right before that LF is part
 * of the line end, so LF and CR LF read alike (a CR anywhere else stays in
 * the line). Returns false, touching nothing, when *pos is at the end. */
bool text_next_line(const char *text, std::size_t length, std::size_t *pos, TextLine *line);

/* The UTF-8 byte order mark that Notepad puts before a text. */
constexpr std::size_t TEXT_BOM_SIZE = 3;
/* Whether text (length bytes) starts with it. */
[[nodiscard]] bool text_has_bom(const char *text, std::size_t length);

/* Length of the well-formed UTF-8 sequence at p (at most n bytes there): 1
 * to 4, or 0 when the bytes are not one (a stray continuation byte, a
 * sequence cut short, an overlong form, a surrogate, a code point above
 * U+10FFFF). The code point goes to *cp when it is not null. */
[[nodiscard]] std::size_t utf8_sequence(const char *p, std::size_t n, unsigned long *cp);

/* Whether code point cp is a control character (Unicode's category Cc:
 * U+0000 to U+001F and U+007F to U+009F). */
[[nodiscard]] bool is_control(unsigned long cp);

#endif
