/* The reader of key source files; see keys/key_source.h. The layout is the
 * writer's in keys/key_source.cpp, read back line by line. */
#include "keys/key_source.h"

#include <cstring>

#include "core/file.h"
#include "core/text.h"

namespace {

constexpr char private_head[] = "const unsigned char* qel_get_private_key(int *keylen)";
constexpr char public_head[] = "const unsigned char* qel_get_public_key(int *keylen)";
constexpr const char *array_lines[] = {
    "{",
    "  static unsigned char qel_keyarray[] = {",
};
constexpr const char *tail_lines[] = {
    "  *keylen = sizeof (qel_keyarray);",
    "  return qel_keyarray;",
    "}",
};
constexpr std::size_t value_width = 4; /* " %3d" */
/* A full value line: three spaces, 15 values, 15 commas. */
constexpr std::size_t full_line = 3 + KEY_SOURCE_VALUES_PER_LINE * (value_width + 1);

bool
line_is(const TextLine &l, const char *want)
{
	return l.ended && l.n == std::strlen(want) && std::memcmp(l.p, want, l.n) == 0;
}

/* A value as " %3d" writes it: a space, the number right-aligned in three
 * columns without leading zeros, 0 to 255. Returns it, or -1. */
int
value_at(const char *p)
{
	if (p[0] != ' ')
		return -1;
	std::size_t k = 1;
	while (k < 3 && p[k] == ' ')
		k++;
	if (k < 3 && p[k] == '0')
		return -1;
	int v = 0;
	for (; k < value_width; k++) {
		if (p[k] < '0' || p[k] > '9')
			return -1;
		v = v * 10 + (p[k] - '0');
	}
	return v <= 255 ? v : -1;
}

/* Reads the values of one value line into out at *count; *last tells
 * whether the line closes the array with " };". */
bool
value_line(const TextLine &l, unsigned char *out, uint32_t *count, bool *last)
{
	if (!l.ended || l.n < 3 + value_width || std::memcmp(l.p, "   ", 3) != 0)
		return false;
	*last = l.n >= 3 && std::memcmp(l.p + l.n - 3, " };", 3) == 0;
	std::size_t end = *last ? l.n - 3 : l.n;
	if (!*last && l.n != full_line)
		return false;
	uint32_t values = 0;
	bool closed = false;
	for (std::size_t i = 3; i < end; i += value_width + 1) {
		if (i + value_width > end)
			return false;
		int v = value_at(l.p + i);
		if (v < 0)
			return false;
		out[(*count)++] = static_cast<unsigned char>(v);
		values++;
		/* Each value but the array's last is followed by a comma. */
		bool final_value = *last && i + value_width == end;
		if (!final_value && (i + value_width >= end || l.p[i + value_width] != ','))
			return false;
		if (final_value) {
			closed = true;
			break;
		}
	}
	return closed == *last && values >= 1 && values <= KEY_SOURCE_VALUES_PER_LINE;
}

} // namespace

int
key_source_parse(const char *text, std::size_t length, const char *what, bool *is_private,
                 unsigned char **der, uint32_t *der_len, char *msg)
{
	int rc = QEL_OK;
	int line_no = 0;
	const char *reason = nullptr;
	std::size_t pos = 0;
	TextLine l{};
	*der = nullptr;
	*der_len = 0;
	*is_private = false;

	if (length > KEY_SOURCE_MAX_SIZE) {
		error_set(msg, "%s is longer than %zu bytes", what, KEY_SOURCE_MAX_SIZE);
		return QEL_ERR_KEY;
	}
	/* Every value takes at least four characters of the text. */
	*der = static_cast<unsigned char *>(mem_calloc(length / value_width + 1, 1));
	if (*der == nullptr) {
		error_set(msg, "out of memory");
		return QEL_ERR_MEMORY;
	}

	line_no++;
	if (!text_next_line(text, length, &pos, &l) ||
	    !(line_is(l, private_head) || line_is(l, public_head)))
		reason = "not a key file of qelkeypair";
	else
		*is_private = line_is(l, private_head);
	for (const char *want : array_lines) {
		if (reason != nullptr)
			break;
		line_no++;
		if (!text_next_line(text, length, &pos, &l) || !line_is(l, want))
			reason = "not the key array of qelkeypair";
	}
	bool last = false;
	while (reason == nullptr && !last) {
		line_no++;
		if (!text_next_line(text, length, &pos, &l) || !value_line(l, *der, der_len, &last))
			reason = "not a line of key values as qelkeypair writes them";
	}
	for (const char *want : tail_lines) {
		if (reason != nullptr)
			break;
		line_no++;
		if (!text_next_line(text, length, &pos, &l) || !line_is(l, want))
			reason = "not the end of the key function of qelkeypair";
	}
	if (reason == nullptr && pos != length) {
		line_no++;
		reason = "text after the key function";
	}
	if (reason != nullptr) {
		error_set(msg, "%s: line %d: %s", what, line_no, reason);
		rc = QEL_ERR_KEY;
		mem_wipe(*der, length / value_width + 1);
		mem_free(*der);
		*der = nullptr;
		*der_len = 0;
		*is_private = false;
	}
	return rc;
}

int
key_source_read(const char *path, bool want_private, unsigned char **der, uint32_t *der_len,
                char *msg)
{
	char *text = nullptr;
	std::size_t length = 0;
	char what[QEL_MSG_SIZE];
	bool is_private = false;
	*der = nullptr;
	*der_len = 0;

	int rc = file_read_all(path, KEY_SOURCE_MAX_SIZE, &text, &length, msg);
	if (rc == QEL_OK) {
		(void)str_format(what, sizeof what, "key file '%s'", path);
		rc = key_source_parse(text, length, what, &is_private, der, der_len, msg);
	}
	if (rc == QEL_OK && is_private != want_private) {
		if (is_private)
			error_set(msg, "%s holds the private key, not a public key", what);
		else
			error_set(msg, "%s holds a public key, not the private key", what);
		rc = QEL_ERR_KEY;
		mem_wipe(*der, *der_len);
		mem_free(*der);
		*der = nullptr;
		*der_len = 0;
	}
	/* The text of a private key file lists the key itself. */
	if (text != nullptr)
		mem_wipe(text, length);
	mem_free(text);
	return rc;
}
