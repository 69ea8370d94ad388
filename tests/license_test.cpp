/* Licences: the reader's strictness, the canonical form, every answer of
 * the check, the members handed out, the expiry boundaries and what issuing
 * writes and refuses. */
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tomcrypt.h>

#include "core/sha256.h"
#include "fakes/fakes.h"
#include "license/license.h"
#include "license/license_date.h"
#include "license_test_util.h"

namespace {

class Licence : public ::testing::Test {
protected:
	void SetUp() override
	{
		fake_mem_reset();
		fake_random_reset();
		(void)standard_licence();
		adapters_here();
	}
	void TearDown() override { EXPECT_EQ(fake_mem.live, 0) << "blocks leaked"; }
};

std::string
malformed(int line, const std::string &what)
{
	return "licence is malformed: line " + std::to_string(line) + ": " + what;
}

TEST_F(Licence, IssuedTextHasTheLayoutAndChecks)
{
	const std::string &t = standard_licence();
	const std::string head = "{\n"
	                         "\"licensee\": \"Example Ltd\",\n"
	                         "\"expires\": \"2027-12-31\",\n"
	                         "\"features\": \"pro\",\n"
	                         "\"hostid\": [\n"
	                         "  \"00:11:22:33:44:55\",\n"
	                         "  \"00:11:22:33:44:66\"\n"
	                         "],\n"
	                         "\"os\": \"Linux\",\n"
	                         "\"key\": \"" +
	                         golden_key_id() + "\",\n\"signature\": \"";
	ASSERT_EQ(t.substr(0, head.size()), head);
	std::size_t end = t.find('"', head.size());
	ASSERT_NE(end, std::string::npos);
	EXPECT_EQ(t.substr(end), "\"\n}\n");
	EXPECT_EQ(check_licence(t).rc, QEL_OK);
	/* A signature over the same body made apart from the issuing code. */
	Verdict v = check_licence(sign_body(standard_body()));
	EXPECT_EQ(v.rc, QEL_OK) << v.msg;
	EXPECT_EQ(v.msg, "untouched");
}

/* Each case changes the standard licence; the reader refuses it before
 * any signature is looked at. */
TEST_F(Licence, ReaderRefusesAnythingOutsideTheLayout)
{
	const std::string g = standard_licence();
	const std::string features = "\"features\": \"pro\",\n";
	auto feature = [&](const std::string &raw) {
		return replaced(g, features, "\"features\": " + raw + ",\n");
	};
	const std::string nul("p\0o", 3);
	struct Case {
		std::string text;
		std::string msg;
	} cases[] = {
	    {g + std::string(QEL_LICENSE_MAX_SIZE - g.size() + 1, ' '),
	     "licence is longer than 65536 bytes"},
	    {replaced(g, "pro", nul), malformed(4, "a NUL byte")},
	    /* UTF-8: overlong '/', a surrogate, past U+10FFFF, a stray
	     * continuation byte, a sequence cut short */
	    {feature("\"\xc0\xaf\""), malformed(4, "not valid UTF-8")},
	    {feature("\"\xed\xa0\x80\""), malformed(4, "not valid UTF-8")},
	    {feature("\"\xf4\x90\x80\x80\""), malformed(4, "not valid UTF-8")},
	    {feature("\"\x80\""), malformed(4, "not valid UTF-8")},
	    {g.substr(0, g.size() - 1) + "\xe2\x82", malformed(12, "not valid UTF-8")},
	    {"", malformed(1, "expected '{'")},
	    {" " + g, malformed(1, "expected '{'")},
	    {replaced(g, "{\n", "{\r\r\n"), malformed(1, "expected '{'")},
	    /* members: order, duplicates, names */
	    {replaced(g, "\"licensee\": \"Example Ltd\",\n", ""),
	     malformed(2, "expected member 'licensee'")},
	    {replaced(g, features, features + "\"licensee\": \"Other\",\n"),
	     malformed(5, "duplicate member 'licensee'")},
	    {replaced(g, features, features + features), malformed(5, "duplicate member 'features'")},
	    {replaced(g, "\"os\": \"Linux\",\n", "\"os\": \"Linux\",\n\"features\": \"x\",\n"),
	     malformed(10, "duplicate member 'features'")},
	    {replaced(g, features, "\"Features\": \"pro\",\n"),
	     malformed(4, "member name is not 1 to 64 of a-z, 0-9 and _")},
	    {replaced(g, features, "\"\": \"pro\",\n"),
	     malformed(4, "member name is not 1 to 64 of a-z, 0-9 and _")},
	    {replaced(g, features, "\"" + std::string(65, 'f') + "\": \"pro\",\n"),
	     malformed(4, "member name is not 1 to 64 of a-z, 0-9 and _")},
	    {replaced(g, features, "\"features\":\"pro\",\n"),
	     malformed(4, "member 'features' has no ': ' after its name")},
	    {replaced(g, features, "\"features\": \"pro\"\n"),
	     malformed(4, "member 'features' is not followed by a comma")},
	    {replaced(g, features, "\"features\": \"pro\", \n"),
	     malformed(4, "text after the value of member 'features'")},
	    {replaced(g, features, "  \"features\": \"pro\",\n"), malformed(4, "expected a member")},
	    {replaced(g, features, "\n"), malformed(4, "expected a member")},
	    /* values that are not strings, or not well-formed ones */
	    {feature("1"), malformed(4, "member 'features' is not a string")},
	    {feature("true"), malformed(4, "member 'features' is not a string")},
	    {feature("null"), malformed(4, "member 'features' is not a string")},
	    {feature("[\"pro\"]"), malformed(4, "member 'features' is not a string")},
	    {feature("{}"), malformed(4, "member 'features' is not a string")},
	    {replaced(g, "\"hostid\": [", "\"hostid\": 5,"),
	     malformed(5, "member 'hostid' is neither a string nor an array of strings")},
	    {feature("\"pro"), malformed(4, "member 'features' has no closing quote")},
	    {feature("\"pro\\\""), malformed(4, "member 'features' has no closing quote")},
	    {feature("\"p\\x\""), malformed(4, "member 'features' has a bad escape")},
	    {feature("\"p\\u12\""), malformed(4, "member 'features' has a bad escape")},
	    {feature("\"p\\ud800\""), malformed(4, "member 'features' has a bad escape")},
	    {feature("\"p\\udc00\""), malformed(4, "member 'features' has a bad escape")},
	    {feature("\"p\\ud800\\u0041\""), malformed(4, "member 'features' has a bad escape")},
	    {feature("\"p\\\""), malformed(4, "member 'features' has no closing quote")},
	    {feature("\"p\to\""), malformed(4, "member 'features' holds a control character")},
	    {feature("\"p\ro\""), malformed(4, "member 'features' holds a control character")},
	    {feature("\"p\\no\""), malformed(4, "member 'features' holds a control character")},
	    {feature("\"p\\u0000\""), malformed(4, "member 'features' holds a control character")},
	    {feature("\"p\\u001F\""), malformed(4, "member 'features' holds a control character")},
	    {feature("\"p\x7f\""), malformed(4, "member 'features' holds a control character")},
	    {feature("\"p\xc2\x85\""), malformed(4, "member 'features' holds a control character")},
	    {feature("\"p\\u009b\""), malformed(4, "member 'features' holds a control character")},
	    /* the required members and their values */
	    {replaced(g, "\"Example Ltd\"", "\"\""), malformed(2, "member 'licensee' is empty")},
	    {replaced(g, "2027-12-31", "2027-02-29"),
	     malformed(3, "member 'expires' is not a date (YYYY-MM-DD)")},
	    {replaced(g, "\"expires\": \"2027-12-31\"", "\"expires\": 20271231"),
	     malformed(3, "member 'expires' is not a string")},
	    {replaced(g, "\"os\": \"Linux\",\n", ""), malformed(9, "expected member 'os'")},
	    {replaced(g, "\"os\": \"Linux\"", "\"os\": \"\""), malformed(9, "member 'os' is empty")},
	    {replaced(g, "\"os\": \"Linux\",\n", "\"os\": \"Linux\",\n\"os\": \"Linux\",\n"),
	     malformed(10, "duplicate member 'os'")},
	    {replaced(g, "\"hostid\": [\n  \"00:11:22:33:44:55\",\n  \"00:11:22:33:44:66\"\n],\n",
	              ""),
	     malformed(5, "expected member 'hostid'")},
	    {replaced(g, "\"key\": \"", "\"key\": \"F"),
	     malformed(10, "member 'key' is not 16 lower-case hexadecimal digits")},
	    {replaced(g, golden_key_id(), golden_key_id().substr(1)),
	     malformed(10, "member 'key' is not 16 lower-case hexadecimal digits")},
	    {replaced(g, "\"key\": \"" + golden_key_id() + "\",\n", ""),
	     malformed(10, "expected member 'key'")},
	    /* hostid: addresses as qelhostid writes them */
	    {replaced(g, "44:66", "44:6F"),
	     malformed(7, "expected a MAC address in lower case, as qelhostid writes it")},
	    {replaced(g, "  \"00:11:22:33:44:55\",", " \"00:11:22:33:44:55\","),
	     malformed(6, "expected a MAC address in lower case, as qelhostid writes it")},
	    {replaced(g, "\"00:11:22:33:44:66\"\n", "\"00:11:22:33:44:66\",\n"),
	     malformed(8, "expected a MAC address in lower case, as qelhostid writes it")},
	    {replaced(g, "\"00:11:22:33:44:66\"\n],", "\"00:11:22:33:44:66\"\n]"),
	     malformed(8, "expected '],'")},
	    {replaced(g, "  \"00:11:22:33:44:55\",\n", ""),
	     malformed(7, "an array of one MAC address, which qelhostid writes as a string")},
	    {replaced(g, "\"hostid\": [\n  \"00:11:22:33:44:55\",\n  \"00:11:22:33:44:66\"\n],",
	              "\"hostid\": \"0:11:22:33:44:55\","),
	     malformed(5, "expected a MAC address in lower case, as qelhostid writes it")},
	    /* the signature last, in lower-case pairs, then '}' and at most a
	     * line end */
	    {replaced(g, "\"signature\": \"", "\"signature\": \"A"),
	     malformed(11, "member 'signature' is not lower-case hexadecimal digits in pairs")},
	    {replaced(g, "\"signature\": \"", "\"signature\": \"0"),
	     malformed(11, "member 'signature' is not lower-case hexadecimal digits in pairs")},
	    {replaced(g, "\"signature\": \"", "\"signature\": \"" + std::string(256, '0')),
	     malformed(11, "member 'signature' is not lower-case hexadecimal digits in pairs")},
	    {replaced(g, "\"\n}", "\",\n}"),
	     malformed(11, "text after the value of member 'signature'")},
	    {replaced(g, "\"\n}", "\"\n\"extra\": \"x\"\n}"), malformed(12, "expected '}'")},
	    {g.substr(0, g.size() - 2), malformed(12, "expected '}'")},
	    {g + "\n", malformed(13, "text after '}'")},
	    {g + " ", malformed(13, "text after '}'")},
	    {g.substr(0, g.size() - 1) + " \n", malformed(12, "expected '}'")},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.msg);
		Verdict v = check_licence(c.text);
		EXPECT_EQ(v.rc, QEL_ERR_MALFORMED);
		EXPECT_EQ(v.msg, c.msg);
	}
}

TEST_F(Licence, SignatureBeforeTheKeyIsOutOfPlace)
{
	const std::string &g = standard_licence();
	std::size_t key = g.find("\"key\": ");
	std::size_t sig = g.find("\"signature\": ");
	std::string key_line = g.substr(key, sig - key);
	std::string sig_line = g.substr(sig, g.find('\n', sig) + 1 - sig);
	std::string swapped = g.substr(0, key) + replaced(sig_line, "\"\n", "\",\n") +
	                      replaced(key_line, "\",\n", "\"\n") + "}\n";
	Verdict v = check_licence(swapped);
	EXPECT_EQ(v.rc, QEL_ERR_MALFORMED);
	EXPECT_EQ(v.msg, malformed(10, "expected member 'key'"));
}

/* The canonical form: a byte order mark and CR LF line ends are not
 * signed, so a licence checks after line ends were changed either way. */
TEST_F(Licence, LineEndsAndTheByteOrderMarkAreNotSigned)
{
	const std::string g = standard_licence();
	std::string crlf;
	for (char c : g) {
		if (c == '\n')
			crlf += '\r';
		crlf += c;
	}
	std::string mixed = replaced(replaced(g, "{\n", "{\r\n"), "],\n", "],\r\n");
	const std::string bom = "\xef\xbb\xbf";
	for (const std::string &t : {crlf, mixed, bom + g, bom + crlf, crlf.substr(0, crlf.size() - 2),
	                             g.substr(0, g.size() - 1)}) {
		Verdict v = check_licence(t);
		EXPECT_EQ(v.rc, QEL_OK) << v.msg;
	}
	/* Anything else about the bytes is signed. */
	Verdict v = check_licence(replaced(g, "\"features\"", "\"feature5\""));
	EXPECT_EQ(v.rc, QEL_ERR_SIGNATURE);
	EXPECT_EQ(check_licence(bom + bom + g).rc, QEL_ERR_MALFORMED);
}

TEST_F(Licence, EveryAnswerOfTheCheck)
{
	const std::string g = standard_licence();
	Bytes private_key = golden_private_der();
	Bytes cut = golden_public_der();
	cut.pop_back();
	/* y changed: a key that checks no signature of the golden key, and
	 * whose id is another. Its numbers are not worked out at each check. */
	Bytes other_key = golden_public_der();
	other_key[other_key.size() - 1] ^= 1;
	char other_hash[QEL_SHA256_HEX_SIZE];
	(void)sha256_hex(other_hash, other_key.data(), static_cast<int32_t>(other_key.size()));
	const std::string other_key_id = std::string(other_hash).substr(0, 16);
	const std::string other_id = "0123456789abcdef";
	struct Case {
		const char *name;
		std::string text;
		const Bytes *key;
		void (*adapters)();
		std::string today;
		int rc;
		std::string msg;
	} cases[] = {
	    {"good", g, nullptr, adapters_here, "2026-12-07", QEL_OK, "untouched"},
	    {"the private key in the product", g, &private_key, adapters_here, "2026-12-07",
	     QEL_ERR_KEY, "key is the private key, not a public key"},
	    {"a key cut short", g, &cut, adapters_here, "2026-12-07", QEL_ERR_KEY,
	     "key is not a DSA key made by qelkeypair"},
	    {"another public key in the product", g, &other_key, adapters_here, "2026-12-07",
	     QEL_ERR_WRONG_KEY,
	     "licence was signed with another key (key " + golden_key_id() + ", expected " +
	         other_key_id + ")"},
	    {"malformed", g + "x", nullptr, adapters_here, "2026-12-07", QEL_ERR_MALFORMED,
	     malformed(13, "text after '}'")},
	    {"another key's id", sign_body(standard_body(), other_id), nullptr, adapters_here,
	     "2026-12-07", QEL_ERR_WRONG_KEY,
	     "licence was signed with another key (key " + other_id + ", expected " +
	         golden_key_id() + ")"},
	    {"a member changed", replaced(g, "Example Ltd", "Example Ltd."), nullptr,
	     adapters_here, "2026-12-07", QEL_ERR_SIGNATURE,
	     "licence has a signature that is not valid"},
	    {"no adapter list",
	     g, nullptr, [] { fake_adapters.error = 5; }, "2026-12-07", QEL_ERR_NETWORK,
	     "cannot get MAC address: system error 5"},
	    {"no qualifying adapter", g, nullptr, [] { fake_adapters_reset(); }, "2026-12-07",
	     QEL_ERR_NETWORK, "no network interface found"},
	    {"another machine", g, nullptr,
	     [] {
		     fake_adapters_reset();
		     fake_adapters.list.push_back(fake_ethernet("00:11:22:33:44:77"));
	     },
	     "2026-12-07", QEL_ERR_WRONG_HOST, "licence is for another machine"},
	    {"one of two addresses left", g, nullptr,
	     [] {
		     fake_adapters_reset();
		     fake_adapters.list.push_back(fake_ethernet("02:00:00:00:00:01"));
		     fake_adapters.list.push_back(fake_ethernet(HERE_2));
	     },
	     "2026-12-07", QEL_OK, "untouched"},
	    {"expired", g, nullptr, adapters_here, "2028-01-01", QEL_ERR_EXPIRED,
	     "licence expired on 2027-12-31"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		fake_adapters_reset();
		adapters_here();
		c.adapters();
		Verdict v = check_licence(c.text, c.today, c.key);
		EXPECT_EQ(v.rc, c.rc);
		EXPECT_EQ(v.msg, c.msg);
	}
}

/* The first failure decides: a changed member of a licence for another
 * machine is a bad signature; expiry is looked at last. */
TEST_F(Licence, ChecksRunInOrder)
{
	fake_adapters_reset();
	fake_adapters.list.push_back(fake_ethernet("00:11:22:33:44:77"));
	const std::string g = standard_licence();
	EXPECT_EQ(check_licence(replaced(g, "pro", "max"), "2030-01-01").rc, QEL_ERR_SIGNATURE);
	EXPECT_EQ(check_licence(g, "2030-01-01").rc, QEL_ERR_WRONG_HOST);
	Bytes bad = golden_public_der();
	bad.pop_back();
	EXPECT_EQ(check_licence("", "2030-01-01", &bad).rc, QEL_ERR_KEY);
}

TEST_F(Licence, ExpiresAtTheEndOfItsDay)
{
	const std::string g = standard_licence(); /* expires 2027-12-31 */
	struct Case {
		const char *today;
		int rc;
	} cases[] = {
	    {"2026-12-07", QEL_OK},       {"2027-12-30", QEL_OK},
	    {"2027-12-31", QEL_OK},       {"2028-01-01", QEL_ERR_EXPIRED},
	    {"2100-06-15", QEL_ERR_EXPIRED}, {"0001-01-01", QEL_OK},
	};
	for (const Case &c : cases)
		EXPECT_EQ(check_licence(g, c.today).rc, c.rc) << c.today;
	/* Without "expires" a licence does not expire. */
	std::string body = replaced(standard_body(), "\"expires\": \"2027-12-31\",\n", "");
	EXPECT_EQ(check_licence(sign_body(body), "9999-12-31").rc, QEL_OK);
	/* A leap day. */
	body = replaced(standard_body(), "2027-12-31", "2028-02-29");
	EXPECT_EQ(check_licence(sign_body(body), "2028-02-29").rc, QEL_OK);
	EXPECT_EQ(check_licence(sign_body(body), "2028-03-01").rc, QEL_ERR_EXPIRED);
}

TEST(LicenceDate, CalendarDays)
{
	struct Case {
		long long days;
		const char *date;
	} cases[] = {
	    {0, "1970-01-01"},       {-1, "1969-12-31"},     {59, "1970-03-01"},
	    {11016, "2000-02-29"},   {11017, "2000-03-01"},  {-25508, "1900-03-01"},
	    {20794, "2026-12-07"},   {2932896, "9999-12-31"}, {-719162, "0001-01-01"},
	};
	for (const Case &c : cases) {
		char out[DATE_SIZE];
		date_from_days(c.days, out);
		EXPECT_STREQ(out, c.date) << c.days;
		EXPECT_TRUE(date_valid(out, DATE_LENGTH)) << c.date;
	}
	char today[DATE_SIZE];
	date_today(today);
	EXPECT_TRUE(date_valid(today, DATE_LENGTH)) << today;
	for (const char *bad : {"2027-02-29", "1900-02-29", "2027-13-01", "2027-00-10",
	                        "2027-04-31", "0000-01-01", "2027-1-01", "2027/01/01",
	                        "20270101", "2027-01-01 ", "+027-01-01"})
		EXPECT_FALSE(date_valid(bad, std::strlen(bad))) << bad;
	for (const char *good : {"2000-02-29", "2024-02-29", "2027-12-31", "9999-12-31"})
		EXPECT_TRUE(date_valid(good, std::strlen(good))) << good;
}

/* The product reads its members from the record; every value was signed,
 * escapes decoded; the signature is not handed out. */
TEST_F(Licence, MembersAreHandedOutFromTheSignedText)
{
	std::string body = "{\n"
	                   "\"licensee\": \"Caf\xc3\xa9 \\\"Au\\\\Lait\\/\\u00e9\\ud83d\\ude00\",\n"
	                   "\"seats\": \"5\",\n"
	                   "\"hostid\": \"00:11:22:33:44:55\",\n"
	                   "\"os\": \"Windows\",\n";
	std::string text = sign_body(body);
	char msg[QEL_MSG_SIZE] = "untouched";
	qel_license *lic = nullptr;
	const Bytes &k = golden_public_der();
	ASSERT_EQ(qel_license_open(text.data(), text.size(), k.data(), static_cast<int>(k.size()),
	                           &lic, msg),
	          QEL_OK)
	    << msg;
	EXPECT_STREQ(qel_license_get(lic, "licensee"),
	             "Caf\xc3\xa9 \"Au\\Lait/\xc3\xa9\xf0\x9f\x98\x80");
	EXPECT_STREQ(qel_license_get(lic, "seats"), "5");
	EXPECT_STREQ(qel_license_get(lic, "hostid"), HERE_1);
	EXPECT_STREQ(qel_license_get(lic, "os"), "Windows");
	EXPECT_STREQ(qel_license_get(lic, "key"), golden_key_id().c_str());
	EXPECT_EQ(qel_license_get(lic, "expires"), nullptr);
	EXPECT_EQ(qel_license_get(lic, "signature"), nullptr);
	EXPECT_EQ(qel_license_get(lic, "feature"), nullptr);
	EXPECT_EQ(qel_license_get(lic, nullptr), nullptr);
	EXPECT_EQ(qel_license_get(nullptr, "licensee"), nullptr);
	qel_license_free(lic);
	qel_license_free(nullptr);

	/* The array form of hostid is no string member. */
	lic = nullptr;
	const std::string &g = standard_licence();
	ASSERT_EQ(qel_license_open(g.data(), g.size(), k.data(), static_cast<int>(k.size()), &lic,
	                           msg),
	          QEL_OK);
	EXPECT_EQ(qel_license_get(lic, "hostid"), nullptr);
	EXPECT_STREQ(qel_license_get(lic, "features"), "pro");
	EXPECT_STREQ(qel_license_get(lic, "expires"), "2027-12-31");
	qel_license_free(lic);
	EXPECT_EQ(qel_license_check(g.data(), g.size(), k.data(), static_cast<int>(k.size()), msg),
	          QEL_OK);
	EXPECT_STREQ(msg, "untouched");
}

/* A signature that verifies must also be the one DER encoding of r and s:
 * another encoding of the same numbers is refused. */
TEST_F(Licence, OnlyTheDerOfTheSignatureItselfVerifies)
{
	const std::string g = standard_licence();
	std::size_t at = g.find("\"signature\": \"") + 14;
	std::string hex = g.substr(at, g.find('"', at) - at);
	ASSERT_EQ(hex.substr(0, 2), "30");
	std::size_t len = std::stoul(hex.substr(2, 2), nullptr, 16);
	auto with = [&](const std::string &h) { return g.substr(0, at) + h + g.substr(at + hex.size()); };
	char longer[3];
	std::snprintf(longer, sizeof longer, "%02zx", len + 1);
	const std::string variants[] = {
	    "3081" + hex.substr(2),                    /* a long form for a short length */
	    hex + "00",                                /* a byte after the SEQUENCE */
	    "30" + std::string(longer) + hex.substr(4) + "00",
	    hex.substr(0, hex.size() - 2),             /* cut short */
	};
	for (const std::string &v : variants) {
		Verdict r = check_licence(with(v));
		EXPECT_EQ(r.rc, QEL_ERR_SIGNATURE) << v;
		EXPECT_EQ(r.msg, "licence has a signature that is not valid");
	}
}

/* --- Issuing --- */

struct Issued {
	int rc;
	std::string msg;
	std::string text;
};

Issued
issue(const std::vector<const char *> &members, const std::string &report = REPORT_HERE,
      const Bytes *key = nullptr)
{
	std::vector<const char *> m = members;
	m.push_back(nullptr);
	const Bytes &k = key != nullptr ? *key : golden_private_der();
	char msg[QEL_MSG_SIZE] = "untouched";
	char *out = nullptr;
	std::size_t len = 99;
	int rc = qel_license_issue(report.data(), report.size(), m.data(), k.data(),
	                           static_cast<int>(k.size()), &out, &len, msg);
	Issued i{rc, msg, out != nullptr ? std::string(out, len) : ""};
	if (rc != QEL_OK) {
		EXPECT_EQ(out, nullptr);
		EXPECT_EQ(len, 0u);
	} else {
		EXPECT_EQ(std::strlen(out), len) << "NUL after the text";
	}
	qel_license_text_free(out);
	return i;
}

TEST_F(Licence, IssueWritesTheMembersInOrderAndTheReportAsQelhostid)
{
	Issued i = issue({"features", "a \"b\" \\ c", "licensee", "Caf\xc3\xa9", "expires",
	                  "2027-01-01"},
	                 "\"hostid\": \"00:11:22:33:44:55\",\n\"os\": \"Windows\"\n");
	ASSERT_EQ(i.rc, QEL_OK) << i.msg;
	EXPECT_EQ(i.msg, "untouched");
	EXPECT_EQ(i.text.substr(0, i.text.find("\"key\"")),
	          "{\n"
	          "\"licensee\": \"Caf\xc3\xa9\",\n"
	          "\"features\": \"a \\\"b\\\" \\\\ c\",\n"
	          "\"expires\": \"2027-01-01\",\n"
	          "\"hostid\": \"00:11:22:33:44:55\",\n"
	          "\"os\": \"Windows\",\n");
	Verdict v = check_licence(i.text);
	EXPECT_EQ(v.rc, QEL_OK) << v.msg;
	/* A fresh k each time: two licences, two signatures. */
	EXPECT_NE(issue({"licensee", "x"}).text, issue({"licensee", "x"}).text);
}

TEST_F(Licence, IssueRefusesMembersThatAreNotValid)
{
	const std::string long_name(65, 'n');
	struct Case {
		std::vector<const char *> members;
		std::string msg;
	} cases[] = {
	    {{}, "member 'licensee' is missing"},
	    {{"features", "pro"}, "member 'licensee' is missing"},
	    {{"licensee", ""}, "member 'licensee' is empty"},
	    {{"licensee", "a", "licensee", "b"}, "member 'licensee' is given twice"},
	    {{"licensee", "a", "x", "1", "x", "2"}, "member 'x' is given twice"},
	    {{"licensee", "a", "Seats", "1"},
	     "member name 'Seats' is not 1 to 64 of a-z, 0-9 and _"},
	    {{"licensee", "a", long_name.c_str(), "1"},
	     "member name '" + long_name + "' is not 1 to 64 of a-z, 0-9 and _"},
	    {{"licensee", "a", "", "1"}, "a member name is not 1 to 64 of a-z, 0-9 and _"},
	    {{"licensee", "a", "a\nb", "1"}, "a member name is not 1 to 64 of a-z, 0-9 and _"},
	    {{"licensee", "a", "hostid", "00:11:22:33:44:55"}, "member name 'hostid' is reserved"},
	    {{"licensee", "a", "os", "Linux"}, "member name 'os' is reserved"},
	    {{"licensee", "a", "key", "0"}, "member name 'key' is reserved"},
	    {{"licensee", "a", "signature", "0"}, "member name 'signature' is reserved"},
	    {{"licensee", "a", "x", nullptr}, "member 'x' has no value"},
	    {{"licensee", "a\tb"}, "member 'licensee' holds a control character"},
	    {{"licensee", "a", "x", "\xc2\x9b"}, "member 'x' holds a control character"},
	    {{"licensee", "\xe9t\xe9"}, "member 'licensee' is not valid UTF-8"},
	    {{"licensee", "a", "expires", "2027-02-29"},
	     "member 'expires' is not a date (YYYY-MM-DD): '2027-02-29'"},
	    {{"licensee", "a", "expires", "next year"},
	     "member 'expires' is not a date (YYYY-MM-DD)"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.msg);
		Issued i = issue(c.members);
		EXPECT_EQ(i.rc, QEL_ERR_MEMBER);
		EXPECT_EQ(i.msg, c.msg);
	}
	/* A licence past the size limit is refused before it is signed. */
	std::string big(QEL_LICENSE_MAX_SIZE, 'v');
	Issued i = issue({"licensee", big.c_str()});
	EXPECT_EQ(i.rc, QEL_ERR_MEMBER);
	EXPECT_EQ(i.msg, "the licence would be longer than 65536 bytes");
}

TEST_F(Licence, IssueRefusesBadReportsAndKeys)
{
	Bytes public_key = golden_public_der();
	Bytes bad_private = golden_private_der();
	bad_private.back() ^= 1; /* x changed: y is no longer g^x */
	struct Case {
		std::string report;
		const Bytes *key;
		int rc;
		std::string msg;
	} cases[] = {
	    {"", nullptr, QEL_ERR_REPORT, "report names no MAC address"},
	    {"\"hostid\": [\n],\n\"os\": \"Linux\"\n", nullptr, QEL_ERR_REPORT,
	     "report names no MAC address"},
	    {"hello\n", nullptr, QEL_ERR_REPORT,
	     "report: line 1: expected the member \"hostid\" as qelhostid writes it"},
	    {REPORT_HERE, &public_key, QEL_ERR_KEY, "key is a public key, not the private key"},
	    {REPORT_HERE, &bad_private, QEL_ERR_KEY, "key is not a DSA key made by qelkeypair"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.msg);
		Issued i = issue({"licensee", "a"}, c.report, c.key);
		EXPECT_EQ(i.rc, c.rc);
		EXPECT_EQ(i.msg, c.msg);
	}
}

/* A product may use libtomcrypt with math of its own: it gets it back. */
TEST_F(Licence, TheProductsMathIsLeftAsItWas)
{
	const ltc_math_descriptor before = ltc_mp;
	ltc_mp = ltm_desc;
	ltc_mp.name = "the product's";
	EXPECT_EQ(check_licence(standard_licence()).rc, QEL_OK);
	EXPECT_STREQ(ltc_mp.name, "the product's");
	EXPECT_EQ(issue({"licensee", "a"}).rc, QEL_OK);
	EXPECT_STREQ(ltc_mp.name, "the product's");
	ltc_mp = before;
}

TEST_F(Licence, IssueFailsWhenTheRandomSourceDoes)
{
	fake_random.fail_at = 1;
	Issued i = issue({"licensee", "a"});
	EXPECT_EQ(i.rc, QEL_ERR_CRYPTO);
	EXPECT_EQ(i.msg, "could not sign the licence: Error reading the PRNG.");
}

} // namespace
