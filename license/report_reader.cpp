#include "license/report_reader.h"

#include <cstring>

#include "core/text.h"
#include "hostid/hostid.h"
#include "license/license_text.h"

namespace {

constexpr std::size_t ADDRESS_LENGTH = HOSTID_SIZE - 1;
constexpr std::size_t OS_MAX = 64;

struct Report {
	const char *text;
	std::size_t length;
	std::size_t pos;
	int line_no;
	TextLine line; /* cleaned */
	char **hostids;
	std::size_t count;
	char *os;
	int fault_line;
	const char *fault;
};

/* Takes the next line, cleaned; false at the end of the text. */
bool
next_line(Report *r)
{
	r->line_no++;
	if (!text_next_line(r->text, r->length, &r->pos, &r->line))
		return false;
	TextLine &l = r->line;
	while (l.n > 0 && (l.p[0] == ' ' || l.p[0] == '\t' || l.p[0] == '>')) {
		l.p++;
		l.n--;
	}
	while (l.n > 0 && (l.p[l.n - 1] == ' ' || l.p[l.n - 1] == '\t'))
		l.n--;
	return true;
}

int
fail(Report *r, const char *why)
{
	r->fault_line = r->line_no;
	r->fault = why;
	return QEL_ERR_REPORT;
}

bool
starts(const TextLine &l, const char *s)
{
	std::size_t n = std::strlen(s);
	return l.n >= n && std::memcmp(l.p, s, n) == 0;
}

bool
is(const TextLine &l, const char *s)
{
	return l.n == std::strlen(s) && std::memcmp(l.p, s, l.n) == 0;
}

/* Takes the quoted address at p (the line has room for it) into the
 * list. Returns 1, 0 when it is no address, or -1 when memory ran out. */
int
take_address(Report *r, const char *p)
{
	if (p[0] != '"' || p[ADDRESS_LENGTH + 1] != '"' ||
	    !license_address_valid(p + 1, ADDRESS_LENGTH))
		return 0;
	char *a = static_cast<char *>(mem_calloc(HOSTID_SIZE, 1));
	if (a == nullptr)
		return -1;
	std::memcpy(a, p + 1, ADDRESS_LENGTH);
	r->hostids[r->count++] = a;
	return 1;
}

constexpr const char *no_address = "expected a MAC address in lower case, as qelhostid writes it";

/* Reads the report from its first line on. Returns QEL_OK, QEL_ERR_REPORT
 * with the fault set, or QEL_ERR_MEMORY. */
int
read_report(Report *r)
{
	/* Blank lines before it. */
	bool more = false;
	do
		more = next_line(r);
	while (more && r->line.n == 0);
	if (!more)
		return QEL_ERR_REPORT; /* nothing at all: no address */

	const TextLine &l = r->line;
	if (is(l, "\"hostid\": [")) {
		for (bool first = true;; first = false) {
			if (!next_line(r))
				return fail(r, "expected '],'");
			/* An empty array, which names no address; no comma before
			 * the bracket. */
			if (first && is(l, "],"))
				break;
			bool comma = l.n == ADDRESS_LENGTH + 3 && l.p[ADDRESS_LENGTH + 2] == ',';
			if (l.n != ADDRESS_LENGTH + 2 && !comma)
				return fail(r, no_address);
			int got = take_address(r, l.p);
			if (got < 0)
				return QEL_ERR_MEMORY;
			if (got == 0)
				return fail(r, no_address);
			if (!comma) {
				if (!next_line(r) || !is(l, "],"))
					return fail(r, "expected '],'");
				break;
			}
		}
	} else if (starts(l, "\"hostid\": ")) {
		const std::size_t head = std::strlen("\"hostid\": ");
		if (l.n != head + ADDRESS_LENGTH + 3 || l.p[l.n - 1] != ',')
			return fail(r, no_address);
		int got = take_address(r, l.p + head);
		if (got < 0)
			return QEL_ERR_MEMORY;
		if (got == 0)
			return fail(r, no_address);
	} else {
		return fail(r, "expected the member \"hostid\" as qelhostid writes it");
	}

	if (!next_line(r) || !starts(l, "\"os\": \"") || l.n < 9 || l.p[l.n - 1] != '"')
		return fail(r, "expected the member \"os\" as qelhostid writes it");
	const char *name = l.p + 7;
	std::size_t n = l.n - 8;
	bool plain = n >= 1 && n <= OS_MAX;
	for (std::size_t i = 0; plain && i < n; i++)
		plain = name[i] >= ' ' && name[i] <= '~' && name[i] != '"' && name[i] != '\\';
	if (!plain)
		return fail(r, "the member \"os\" is not 1 to 64 printable characters");
	r->os = static_cast<char *>(mem_calloc(n + 1, 1));
	if (r->os == nullptr)
		return QEL_ERR_MEMORY;
	std::memcpy(r->os, name, n);

	/* Blank lines after it. */
	while (next_line(r))
		if (l.n != 0)
			return fail(r, "text after the report");
	return QEL_OK;
}

} // namespace

int
report_read(const char *text, std::size_t length, const char *what, char ***hostids, char **os,
            char *msg)
{
	*hostids = nullptr;
	*os = nullptr;
	if (length > REPORT_MAX_SIZE) {
		error_set(msg, "%s is longer than %zu bytes", what, REPORT_MAX_SIZE);
		return QEL_ERR_REPORT;
	}
	Report r{};
	r.text = text;
	r.length = length;
	if (text_has_bom(text, length))
		r.pos = TEXT_BOM_SIZE;
	/* Room for an address on every line. */
	std::size_t lines = 1;
	for (std::size_t i = 0; i < length; i++)
		if (text[i] == '\n')
			lines++;
	int rc = QEL_OK;
	r.hostids = static_cast<char **>(mem_calloc(lines + 1, sizeof(char *)));
	if (r.hostids == nullptr)
		rc = QEL_ERR_MEMORY;
	if (rc == QEL_OK)
		rc = read_report(&r);
	if (rc == QEL_OK && r.count == 0)
		rc = QEL_ERR_REPORT;
	if (rc == QEL_ERR_MEMORY)
		error_set(msg, "out of memory");
	else if (rc == QEL_ERR_REPORT && r.fault != nullptr)
		error_set(msg, "%s: line %d: %s", what, r.fault_line, r.fault);
	else if (rc == QEL_ERR_REPORT)
		error_set(msg, "%s names no MAC address", what);
	if (rc == QEL_OK) {
		*hostids = r.hostids;
		*os = r.os;
	} else {
		hostid_list_free(r.hostids);
		mem_free(r.os);
	}
	return rc;
}
