/* The key source writer on arbitrary bytes: the file it writes must read
 * back as the same bytes, in the same count, laid out line by line as the
 * writer's header describes; the private binding's file must be for its
 * owner only; a second write to the same name must be refused without
 * touching the file; and the reader must give back the bytes and the kind
 * (an empty array is no key: refused). Input: byte 0 picks the binding (bit 0: private), the
 * rest are the key bytes. */
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "keys/key_source.h"

namespace {

constexpr const char *path = "key.c";

std::vector<std::string>
split_lines(const std::string &text, bool *ends_with_newline)
{
	std::vector<std::string> lines;
	std::size_t start = 0;
	while (start < text.size()) {
		std::size_t end = text.find('\n', start);
		if (end == std::string::npos) {
			lines.push_back(text.substr(start));
			*ends_with_newline = false;
			return lines;
		}
		lines.push_back(text.substr(start, end - start));
		start = end + 1;
	}
	*ends_with_newline = true;
	return lines;
}

/* One value as written: a space and a number of 0 to 255 right-aligned in
 * three columns, without leading zeros. */
int
parse_value(const std::string &v)
{
	if (v.size() != 4 || v[0] != ' ')
		return -1;
	std::size_t k = 1;
	while (k < 3 && v[k] == ' ')
		k++;
	if (v[k] == '0' && k < 3)
		return -1;
	int n = 0;
	for (; k < 4; k++) {
		if (v[k] < '0' || v[k] > '9')
			return -1;
		n = n * 10 + (v[k] - '0');
	}
	return n <= 255 ? n : -1;
}

/* Reads the values of one line of the array; *closed tells whether the
 * line ends the array with " };". */
bool
parse_value_line(const std::string &line, std::vector<uint8_t> *out, bool *closed)
{
	if (line.rfind("   ", 0) != 0)
		return false;
	std::string rest = line.substr(3);
	*closed = rest.size() >= 3 && rest.compare(rest.size() - 3, 3, " };") == 0;
	if (*closed)
		rest.resize(rest.size() - 3);
	std::size_t values = 0;
	while (!rest.empty()) {
		if (rest.size() < 4)
			return false;
		int v = parse_value(rest.substr(0, 4));
		if (v < 0)
			return false;
		out->push_back(static_cast<uint8_t>(v));
		values++;
		rest.erase(0, 4);
		if (!rest.empty()) {
			if (rest[0] != ',')
				return false;
			rest.erase(0, 1);
		} else if (!*closed) {
			return false; /* an open line ends with a comma */
		}
	}
	if (*closed)
		return values >= 1 && values <= KEY_SOURCE_VALUES_PER_LINE;
	return values == KEY_SOURCE_VALUES_PER_LINE && line.size() == 78 &&
	       line.back() == ',';
}

void
check_file(const std::string &text, const std::string &name,
           const std::vector<uint8_t> &bytes)
{
	bool ends = false;
	std::vector<std::string> l = split_lines(text, &ends);
	FUZZ_CHECK(ends, "last line without a line end");
	FUZZ_CHECK(l.size() >= 7, "only " + std::to_string(l.size()) + " lines");
	FUZZ_CHECK(l[0] == "const unsigned char* qel_get_" + name + "(int *keylen)", l[0]);
	FUZZ_CHECK(l[1] == "{", l[1]);
	FUZZ_CHECK(l[2] == "  static unsigned char qel_keyarray[] = {", l[2]);
	std::vector<uint8_t> values;
	std::size_t i = 3;
	if (bytes.empty()) {
		FUZZ_CHECK(l[3] == " };", l[3]);
		i = 4;
	} else {
		bool closed = false;
		for (; i < l.size() && !closed; i++)
			FUZZ_CHECK(parse_value_line(l[i], &values, &closed),
			           "line " + std::to_string(i + 1) + ": " + l[i]);
		FUZZ_CHECK(closed, "the array is never closed");
	}
	FUZZ_CHECK(values == bytes, "the values differ from the bytes");
	FUZZ_CHECK(l.size() == i + 3, "lines after the array: " + std::to_string(l.size() - i));
	FUZZ_CHECK(l[i] == "  *keylen = sizeof (qel_keyarray);", l[i]);
	FUZZ_CHECK(l[i + 1] == "  return qel_keyarray;", l[i + 1]);
	FUZZ_CHECK(l[i + 2] == "}", l[i + 2]);
	std::size_t value_lines = (bytes.size() + KEY_SOURCE_VALUES_PER_LINE - 1) /
	                          KEY_SOURCE_VALUES_PER_LINE;
	FUZZ_CHECK(l.size() == 6 + (bytes.empty() ? 1 : value_lines), "line count");
}

} // namespace

extern "C" int
LLVMFuzzerInitialize(int *, char ***)
{
	fuzz_enter_scratch_dir();
	return 0;
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
	bool owner_only = size > 0 && (data[0] & 1) != 0;
	std::vector<uint8_t> bytes;
	if (size > 1)
		bytes.assign(data + 1, data + size);
	const std::string name = owner_only ? "private_key" : "public_key";

	(void)unlink(path);
	char msg[QEL_MSG_SIZE] = "untouched";
	int rc = write_key_source(bytes.data(), static_cast<uint32_t>(bytes.size()), "qel",
	                          name.c_str(), path, owner_only, msg);
	FUZZ_CHECK(rc == QEL_OK, msg);
	FUZZ_CHECK(std::string(msg) == "untouched", msg);
	std::string text = fuzz_read_file(path);
	check_file(text, name, bytes);
	bool is_private = !owner_only;
	unsigned char *der = nullptr;
	uint32_t der_len = 0;
	rc = key_source_parse(text.data(), text.size(), "key file", &is_private, &der, &der_len,
	                      msg);
	if (bytes.empty()) {
		FUZZ_CHECK(rc == QEL_ERR_KEY, msg);
	} else {
		FUZZ_CHECK(rc == QEL_OK, msg);
		FUZZ_CHECK(is_private == owner_only, "the kind read back");
		FUZZ_CHECK(std::vector<uint8_t>(der, der + der_len) == bytes, "the bytes read back");
	}
	mem_free(der);
	std::strcpy(msg, "untouched");
	struct stat st;
	FUZZ_CHECK(stat(path, &st) == 0, "stat");
	if (owner_only)
		FUZZ_CHECK((st.st_mode & 0777) == 0600, std::to_string(st.st_mode & 0777));

	/* The name is taken now: a second write is refused and changes nothing. */
	rc = write_key_source(bytes.data(), static_cast<uint32_t>(bytes.size()), "qel",
	                      name.c_str(), path, owner_only, msg);
	FUZZ_CHECK(rc == QEL_ERR_IO, std::to_string(rc));
	FUZZ_CHECK(std::string(msg) == "file 'key.c' already exists, delete to generate new",
	           msg);
	FUZZ_CHECK(fuzz_read_file(path) == text, "the existing file was changed");
	return 0;
}
