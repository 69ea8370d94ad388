/* The licence reader; see license/license_text.h. It reads the layout line
 * by line and takes nothing it does not expect: every accepted text is a
 * JSON object (RFC 8259) in exactly the layout qel_license_issue writes,
 * up to the escapes a string may use. */
#include "license/license_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/text.h"
#include "license/license_date.h"

namespace {

constexpr char HOSTID[] = "hostid";
constexpr std::size_t ADDRESS_LENGTH = 17;

/* What is wrong, for the message: a line and a text. */
struct Fault {
	int line;
	char text[QEL_MSG_SIZE];
};

struct Reader {
	const char *text;
	std::size_t length;
	std::size_t pos;
	int line_no;
	TextLine line;
	Sha256Context sha;
	qel_license *lic;
	char *next; /* free part of the arena */
	Fault fault;
};

/* One member line as read: the name and the value in the arena. */
struct MemberLine {
	const char *name;
	const char *value; /* null for an opening '[' */
	std::size_t value_length;
	bool comma;
};

bool
fail(Reader *r, const char *format, ...) QEL_PRINTF(2, 3);

bool
fail(Reader *r, const char *format, ...)
{
	va_list ap;
	va_start(ap, format);
	(void)std::vsnprintf(r->fault.text, sizeof r->fault.text, format, ap);
	va_end(ap);
	r->fault.line = r->line_no;
	return false;
}

/* Takes the next line; at the end of the text the line is empty and not
 * ended, so that every expectation fails on it. */
void
next_line(Reader *r)
{
	r->line_no++;
	if (!text_next_line(r->text, r->length, &r->pos, &r->line))
		r->line = TextLine{r->text + r->length, 0, false};
}

/* Adds the current line to the signed text. */
void
sign_line(Reader *r)
{
	sha256_ctx_update(&r->sha, r->line.p, r->line.n);
	sha256_ctx_update(&r->sha, "\n", 1);
}

bool
line_is(const TextLine &l, const char *want)
{
	return l.n == std::strlen(want) && std::memcmp(l.p, want, l.n) == 0;
}

/* Copies n bytes into the arena with a NUL; returns where they went. */
const char *
keep(Reader *r, const char *p, std::size_t n)
{
	char *at = r->next;
	std::memcpy(at, p, n);
	at[n] = '\0';
	r->next += n + 1;
	return at;
}

int
hex_digit(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

/* The four hexadecimal digits of a \u escape at p (n bytes there), or -1. */
long
escape_unit(const char *p, std::size_t n)
{
	if (n < 4)
		return -1;
	long v = 0;
	for (std::size_t i = 0; i < 4; i++) {
		int d = hex_digit(p[i]);
		if (d < 0)
			return -1;
		v = v * 16 + d;
	}
	return v;
}

/* Appends code point cp to the arena in UTF-8. */
void
put_utf8(Reader *r, unsigned long cp)
{
	auto *o = reinterpret_cast<unsigned char *>(r->next);
	if (cp < 0x80) {
		*o++ = static_cast<unsigned char>(cp);
	} else if (cp < 0x800) {
		*o++ = static_cast<unsigned char>(0xc0 | cp >> 6);
		*o++ = static_cast<unsigned char>(0x80 | (cp & 0x3f));
	} else if (cp < 0x10000) {
		*o++ = static_cast<unsigned char>(0xe0 | cp >> 12);
		*o++ = static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3f));
		*o++ = static_cast<unsigned char>(0x80 | (cp & 0x3f));
	} else {
		*o++ = static_cast<unsigned char>(0xf0 | cp >> 18);
		*o++ = static_cast<unsigned char>(0x80 | (cp >> 12 & 0x3f));
		*o++ = static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3f));
		*o++ = static_cast<unsigned char>(0x80 | (cp & 0x3f));
	}
	r->next = reinterpret_cast<char *>(o);
}

/* Decodes the JSON string whose opening quote is at line offset *i into
 * the arena, leaving *i after the closing quote. The text is valid UTF-8
 * already. Escapes: \" \\ \/ and \u (a UTF-16 unit, surrogates in pairs);
 * no control character, raw or escaped. */
bool
string_value(Reader *r, const char *name, std::size_t *i, MemberLine *m)
{
	const char *p = r->line.p;
	const std::size_t n = r->line.n;
	char *start = r->next;
	std::size_t k = *i + 1;
	for (;;) {
		if (k >= n)
			return fail(r, "member '%s' has no closing quote", name);
		char c = p[k];
		if (c == '"')
			break;
		unsigned long cp = 0;
		if (c == '\\') {
			char e = k + 1 < n ? p[k + 1] : '\0';
			if (e == '"' || e == '\\' || e == '/') {
				*r->next++ = e;
				k += 2;
				continue;
			}
			if (e == 'b' || e == 'f' || e == 'n' || e == 'r' || e == 't')
				return fail(r, "member '%s' holds a control character", name);
			long u = e == 'u' ? escape_unit(p + k + 2, n - k - 2) : -1;
			if (u < 0 || (u >= 0xdc00 && u <= 0xdfff))
				return fail(r, "member '%s' has a bad escape", name);
			k += 6;
			cp = static_cast<unsigned long>(u);
			if (u >= 0xd800 && u <= 0xdbff) {
				long low = k + 1 < n && p[k] == '\\' && p[k + 1] == 'u'
				               ? escape_unit(p + k + 2, n - k - 2)
				               : -1;
				if (low < 0xdc00 || low > 0xdfff)
					return fail(r, "member '%s' has a bad escape", name);
				k += 6;
				cp = 0x10000 + (static_cast<unsigned long>(u - 0xd800) << 10) +
				     static_cast<unsigned long>(low - 0xdc00);
			}
			if (is_control(cp))
				return fail(r, "member '%s' holds a control character", name);
			put_utf8(r, cp);
			continue;
		}
		std::size_t len = utf8_sequence(p + k, n - k, &cp);
		if (len == 0 || is_control(cp))
			return fail(r, "member '%s' holds a control character", name);
		std::memcpy(r->next, p + k, len);
		r->next += len;
		k += len;
	}
	m->value = start;
	m->value_length = static_cast<std::size_t>(r->next - start);
	*r->next++ = '\0';
	*i = k + 1;
	return true;
}

/* Reads the current line as a member: "NAME": VALUE, and a comma or not.
 * expected says what was due there, for a line that is no member; a '['
 * opens an array only for hostid. */
bool
member_line(Reader *r, const char *expected, MemberLine *m)
{
	const char *p = r->line.p;
	const std::size_t n = r->line.n;
	m->name = "";
	if (n == 0 || p[0] != '"')
		return fail(r, "expected %s", expected);
	std::size_t i = 1;
	while (i < n && p[i] != '"')
		i++;
	if (i >= n || !license_name_valid(p + 1, i - 1))
		return fail(r, "member name is not 1 to %zu of a-z, 0-9 and _", LICENSE_NAME_MAX);
	m->name = keep(r, p + 1, i - 1);
	i++;
	if (n - i < 2 || p[i] != ':' || p[i + 1] != ' ')
		return fail(r, "member '%s' has no ': ' after its name", m->name);
	i += 2;
	m->value = nullptr;
	m->value_length = 0;
	if (i < n && p[i] == '[' && std::strcmp(m->name, HOSTID) == 0) {
		i++;
		m->comma = false;
	} else if (i < n && p[i] == '"') {
		if (!string_value(r, m->name, &i, m))
			return false;
		m->comma = i < n && p[i] == ',';
		if (m->comma)
			i++;
	} else if (std::strcmp(m->name, HOSTID) == 0) {
		return fail(r, "member 'hostid' is neither a string nor an array of strings");
	} else {
		return fail(r, "member '%s' is not a string", m->name);
	}
	if (i != n)
		return fail(r, "text after the value of member '%s'", m->name);
	return true;
}

bool
seen(const Reader *r, const char *name)
{
	for (std::size_t i = 0; i < r->lic->count; i++)
		if (std::strcmp(r->lic->members[i].name, name) == 0)
			return true;
	return false;
}

/* Reads the next line as the member name (due there), a string followed
 * by a comma unless it is the last. */
bool
fixed_member(Reader *r, const char *name, bool last, MemberLine *m)
{
	char expected[LICENSE_NAME_MAX + 16];
	(void)str_format(expected, sizeof expected, "member '%s'", name);
	next_line(r);
	if (!member_line(r, expected, m))
		return false;
	if (seen(r, m->name))
		return fail(r, "duplicate member '%s'", m->name);
	if (std::strcmp(m->name, name) != 0)
		return fail(r, "expected member '%s'", name);
	if (m->value == nullptr)
		return fail(r, "member '%s' is not a string", name);
	if (m->comma == last)
		return fail(r, last ? "text after the value of member '%s'"
		                    : "member '%s' is not followed by a comma",
		            name);
	return true;
}

void
add_member(Reader *r, const MemberLine &m)
{
	r->lic->members[r->lic->count++] = LicenseMember{m.name, m.value};
}

bool
all_hex(const char *s, std::size_t n)
{
	for (std::size_t i = 0; i < n; i++)
		if (!((s[i] >= '0' && s[i] <= '9') || (s[i] >= 'a' && s[i] <= 'f')))
			return false;
	return true;
}

/* The array form of hostid: lines of '  "address",', the last without the
 * comma, then '],'. Two addresses at least: one is the string form. */
bool
hostid_array(Reader *r, std::size_t *count)
{
	for (;;) {
		next_line(r);
		const TextLine &l = r->line;
		if (l.n < ADDRESS_LENGTH + 4 || std::memcmp(l.p, "  \"", 3) != 0 ||
		    !license_address_valid(l.p + 3, ADDRESS_LENGTH) || l.p[3 + ADDRESS_LENGTH] != '"')
			return fail(r, "expected a MAC address in lower case, as qelhostid writes it");
		bool comma = l.n == ADDRESS_LENGTH + 5 && l.p[ADDRESS_LENGTH + 4] == ',';
		if (!comma && l.n != ADDRESS_LENGTH + 4)
			return fail(r, "text after a MAC address");
		r->lic->hostids[(*count)++] = keep(r, l.p + 3, ADDRESS_LENGTH);
		sign_line(r);
		if (!comma)
			break;
	}
	next_line(r);
	if (!line_is(r->line, "],"))
		return fail(r, "expected '],'");
	if (*count < 2)
		return fail(r, "an array of one MAC address, which qelhostid writes as a string");
	sign_line(r);
	return true;
}

/* The vendor's members after the licensee, up to and with hostid. */
bool
vendor_members(Reader *r)
{
	MemberLine m{};
	for (;;) {
		next_line(r);
		if (!member_line(r, "a member", &m))
			return false;
		if (seen(r, m.name))
			return fail(r, "duplicate member '%s'", m.name);
		if (std::strcmp(m.name, HOSTID) == 0)
			break;
		if (std::strcmp(m.name, "os") == 0 || std::strcmp(m.name, "key") == 0 ||
		    std::strcmp(m.name, "signature") == 0)
			return fail(r, "expected member 'hostid'");
		if (!m.comma)
			return fail(r, "member '%s' is not followed by a comma", m.name);
		if (std::strcmp(m.name, "expires") == 0) {
			if (!date_valid(m.value, m.value_length))
				return fail(r, "member 'expires' is not a date (YYYY-MM-DD)");
			r->lic->expires = m.value;
		}
		add_member(r, m);
		sign_line(r);
	}
	/* hostid, as a string or as an array */
	std::size_t count = 0;
	if (m.value != nullptr) {
		if (!license_address_valid(m.value, m.value_length))
			return fail(r, "expected a MAC address in lower case, as qelhostid writes it");
		if (!m.comma)
			return fail(r, "member 'hostid' is not followed by a comma");
		r->lic->hostids[count++] = m.value;
		sign_line(r);
	} else {
		sign_line(r);
		if (!hostid_array(r, &count))
			return false;
	}
	add_member(r, m);
	return true;
}

bool
read_layout(Reader *r)
{
	qel_license *lic = r->lic;
	MemberLine m{};

	next_line(r);
	if (!line_is(r->line, "{") || !r->line.ended)
		return fail(r, "expected '{'");
	sign_line(r);

	if (!fixed_member(r, "licensee", false, &m))
		return false;
	if (m.value_length == 0)
		return fail(r, "member 'licensee' is empty");
	lic->licensee = m.value;
	add_member(r, m);
	sign_line(r);

	if (!vendor_members(r))
		return false;

	if (!fixed_member(r, "os", false, &m))
		return false;
	if (m.value_length == 0)
		return fail(r, "member 'os' is empty");
	add_member(r, m);
	sign_line(r);

	if (!fixed_member(r, "key", false, &m))
		return false;
	if (m.value_length != 16 || !all_hex(m.value, m.value_length))
		return fail(r, "member 'key' is not 16 lower-case hexadecimal digits");
	lic->key = m.value;
	add_member(r, m);
	sign_line(r);

	/* The signature line is the first not signed. */
	if (!fixed_member(r, "signature", true, &m))
		return false;
	if (m.value_length == 0 || m.value_length % 2 != 0 ||
	    m.value_length > LICENSE_SIGNATURE_MAX_DIGITS || !all_hex(m.value, m.value_length))
		return fail(r, "member 'signature' is not lower-case hexadecimal digits in pairs");
	for (std::size_t i = 0; i < m.value_length; i += 2)
		lic->signature[i / 2] = static_cast<unsigned char>(hex_digit(m.value[i]) << 4 |
		                                                   hex_digit(m.value[i + 1]));
	lic->signature_length = m.value_length / 2;

	next_line(r);
	if (!line_is(r->line, "}"))
		return fail(r, "expected '}'");
	if (r->pos != r->length) {
		next_line(r);
		return fail(r, "text after '}'");
	}
	return true;
}

/* What the whole text must be before its layout is read: no NUL byte,
 * valid UTF-8. Also counts its lines. */
bool
check_encoding(Reader *r, std::size_t *lines)
{
	*lines = 1;
	r->line_no = 1;
	for (std::size_t i = 0; i < r->length;) {
		const char c = r->text[i];
		if (c == '\0')
			return fail(r, "a NUL byte");
		std::size_t len = utf8_sequence(r->text + i, r->length - i, nullptr);
		if (len == 0)
			return fail(r, "not valid UTF-8");
		if (c == '\n') {
			++*lines;
			r->line_no++;
		}
		i += len;
	}
	r->line_no = 0;
	return true;
}

} // namespace

bool
license_name_valid(const char *s, std::size_t n)
{
	if (n == 0 || n > LICENSE_NAME_MAX)
		return false;
	for (std::size_t i = 0; i < n; i++)
		if (!((s[i] >= 'a' && s[i] <= 'z') || (s[i] >= '0' && s[i] <= '9') || s[i] == '_'))
			return false;
	return true;
}

bool
license_address_valid(const char *s, std::size_t n)
{
	if (n != ADDRESS_LENGTH)
		return false;
	for (std::size_t i = 0; i < n; i++) {
		if (i % 3 == 2 ? s[i] != ':' : !all_hex(s + i, 1))
			return false;
	}
	return true;
}

int
license_parse(const char *text, std::size_t length, const char *what, qel_license **out,
              char *msg)
{
	*out = nullptr;
	if (length > QEL_LICENSE_MAX_SIZE) {
		error_set(msg, "%s is longer than %d bytes", what, QEL_LICENSE_MAX_SIZE);
		return QEL_ERR_MALFORMED;
	}
	Reader r{};
	r.text = text;
	r.length = length;
	if (text_has_bom(text, length)) {
		r.text += TEXT_BOM_SIZE;
		r.length -= TEXT_BOM_SIZE;
	}
	std::size_t lines = 0;
	if (!check_encoding(&r, &lines)) {
		error_set(msg, "%s is malformed: line %d: %s", what, r.fault.line, r.fault.text);
		return QEL_ERR_MALFORMED;
	}

	int rc = QEL_OK;
	/* Every name, value and address is at most as long as its text, and
	 * each line adds at most two NULs. */
	qel_license *lic = static_cast<qel_license *>(mem_calloc(1, sizeof(qel_license)));
	if (lic != nullptr) {
		lic->arena = static_cast<char *>(mem_calloc(r.length + 2 * lines + 1, 1));
		lic->members = static_cast<LicenseMember *>(mem_calloc(lines, sizeof(LicenseMember)));
		lic->hostids = static_cast<const char **>(mem_calloc(lines + 1, sizeof(char *)));
		lic->signature = static_cast<unsigned char *>(
		    mem_calloc(LICENSE_SIGNATURE_MAX_DIGITS / 2, 1));
	}
	if (lic == nullptr || lic->arena == nullptr || lic->members == nullptr ||
	    lic->hostids == nullptr || lic->signature == nullptr) {
		error_set(msg, "out of memory");
		rc = QEL_ERR_MEMORY;
	}
	if (rc == QEL_OK) {
		r.lic = lic;
		r.next = lic->arena;
		sha256_ctx_init(&r.sha);
		if (!read_layout(&r)) {
			error_set(msg, "%s is malformed: line %d: %s", what, r.fault.line,
			          r.fault.text);
			rc = QEL_ERR_MALFORMED;
		}
	}
	if (rc == QEL_OK) {
		sha256_ctx_final(&r.sha, lic->digest);
		*out = lic;
	} else {
		qel_license_free(lic);
	}
	return rc;
}

void
qel_license_free(qel_license *licence)
{
	if (licence == nullptr)
		return;
	mem_free(licence->arena);
	mem_free(licence->members);
	mem_free(licence->hostids);
	mem_free(licence->signature);
	mem_free(licence);
}
