/* The readers an outsider feeds: licence text through the reader and the
 * whole check, and the customer's report as the vendor receives it.
 *
 * Input: byte 0 picks the reader (bit 0 clear: a licence; set: a report)
 * and, with bit 7 set, an allocation to fail (bits 1-3, + 1); the rest is
 * the text.
 *
 * Checked for a licence the reader takes: every name 1 to 64 of a-z, 0-9
 * and _, and none twice; every value valid UTF-8 without a control
 * character; a licensee that is not empty, a 16-digit key, at least one
 * well-formed address; written out again in the layout of the issuing code
 * it reads back to the same members, and to the same signed digest when
 * the text used no escapes. The whole check then answers with one of its codes
 * and a message of its form. For a report: the addresses well-formed, the
 * platform name plain. Always: a failed allocation gives "out of memory",
 * and no block is left. */
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/text.h"
#include "fakes/fakes.h"
#include "fuzz_util.h"
#include "hostid/hostid.h"
#include "keys/key_source.h"
#include "license/license.h"
#include "license/report_reader.h"

namespace {

std::vector<unsigned char> public_key;

bool
plain_utf8(const char *s)
{
	const std::size_t n = std::strlen(s);
	for (std::size_t i = 0; i < n;) {
		unsigned long cp = 0;
		std::size_t len = utf8_sequence(s + i, n - i, &cp);
		if (len == 0 || is_control(cp))
			return false;
		i += len;
	}
	return true;
}

/* The record written out again as qel_license_issue writes a licence:
 * the value of each member between quotes, '"' and '\' escaped. */
std::string
rewrite(const qel_license *lic, const std::string &signature)
{
	std::string t = "{\n";
	for (std::size_t i = 0; i < lic->count; i++) {
		const LicenseMember &m = lic->members[i];
		t += "\"" + std::string(m.name) + "\": ";
		if (m.value == nullptr) {
			t += "[\n";
			for (std::size_t j = 0; lic->hostids[j] != nullptr; j++)
				t += "  \"" + std::string(lic->hostids[j]) + "\"" +
				     (lic->hostids[j + 1] != nullptr ? ",\n" : "\n");
			t += "],\n";
			continue;
		}
		t += "\"";
		for (const char *p = m.value; *p != '\0'; p++) {
			if (*p == '"' || *p == '\\')
				t += '\\';
			t += *p;
		}
		t += "\",\n";
	}
	return t + "\"signature\": \"" + signature + "\"\n}\n";
}

void
check_record(const qel_license *lic, const std::string &text)
{
	FUZZ_CHECK(lic->count >= 4, std::to_string(lic->count));
	FUZZ_CHECK(std::strcmp(lic->members[0].name, "licensee") == 0, lic->members[0].name);
	FUZZ_CHECK(lic->licensee != nullptr && lic->licensee[0] != '\0', "licensee");
	FUZZ_CHECK(lic->key != nullptr && std::strlen(lic->key) == 16, "key");
	FUZZ_CHECK(lic->hostids[0] != nullptr, "no address");
	for (std::size_t j = 0; lic->hostids[j] != nullptr; j++)
		FUZZ_CHECK(license_address_valid(lic->hostids[j], std::strlen(lic->hostids[j])),
		           lic->hostids[j]);
	for (std::size_t i = 0; i < lic->count; i++) {
		const LicenseMember &m = lic->members[i];
		FUZZ_CHECK(license_name_valid(m.name, std::strlen(m.name)), m.name);
		FUZZ_CHECK(m.value != nullptr || std::strcmp(m.name, "hostid") == 0, m.name);
		FUZZ_CHECK(m.value == nullptr || plain_utf8(m.value), m.name);
		for (std::size_t k = 0; k < i; k++)
			FUZZ_CHECK(std::strcmp(lic->members[k].name, m.name) != 0, m.name);
	}
	FUZZ_CHECK(lic->signature_length >= 1 &&
	               lic->signature_length <= LICENSE_SIGNATURE_MAX_DIGITS / 2,
	           "signature length");

	std::string hex;
	for (std::size_t i = 0; i < lic->signature_length; i++) {
		char pair[3];
		(void)std::snprintf(pair, sizeof pair, "%02x", lic->signature[i]);
		hex += pair;
	}
	std::string again = rewrite(lic, hex);
	qel_license *lic2 = nullptr;
	int rc = license_parse(again.data(), again.size(), "licence", &lic2, nullptr);
	FUZZ_CHECK(rc == QEL_OK, "the rewritten licence does not read back");
	FUZZ_CHECK(lic2->count == lic->count, "member count");
	for (std::size_t i = 0; i < lic->count; i++) {
		FUZZ_CHECK(std::strcmp(lic->members[i].name, lic2->members[i].name) == 0, "name");
		const char *a = lic->members[i].value, *b = lic2->members[i].value;
		FUZZ_CHECK((a == nullptr) == (b == nullptr) && (a == nullptr || std::strcmp(a, b) == 0),
		           lic->members[i].name);
	}
	/* Without escapes the rewritten text is the canonical form of the
	 * original: the same bytes signed. */
	if (text.find('\\') == std::string::npos)
		FUZZ_CHECK(std::memcmp(lic->digest, lic2->digest, sizeof lic->digest) == 0, "digest");
	qel_license_free(lic2);
}

void
fuzz_licence(const std::string &text, long fail_at)
{
	char msg[QEL_MSG_SIZE] = "untouched";
	qel_license *lic = nullptr;
	fake_mem_reset();
	fake_mem.fail_at = fail_at;
	int rc = license_parse(text.data(), text.size(), "licence", &lic, msg);
	FUZZ_CHECK((rc == QEL_OK) == (lic != nullptr), "record and code disagree");
	if (rc == QEL_OK) {
		fake_mem.fail_at = 0;
		check_record(lic, text);
	} else if (rc == QEL_ERR_MEMORY) {
		FUZZ_CHECK(std::strcmp(msg, "out of memory") == 0, msg);
	} else {
		FUZZ_CHECK(rc == QEL_ERR_MALFORMED, std::to_string(rc));
		FUZZ_CHECK(std::strncmp(msg, "licence is malformed: line ", 27) == 0 ||
		               std::strcmp(msg, "licence is longer than 65536 bytes") == 0,
		           msg);
	}
	qel_license_free(lic);
	FUZZ_CHECK(fake_mem.live == 0, "blocks left by the reader");

	/* The whole check, when there is a licence to check. */
	if (rc != QEL_OK)
		return;
	fake_mem_reset();
	fake_adapters_reset();
	fake_adapters.list.push_back(fake_ethernet("00:11:22:33:44:55"));
	const LicenseNames names{"licence", "key"};
	rc = license_open_at(text.data(), text.size(), public_key.data(),
	                     static_cast<int>(public_key.size()), &names, "2026-12-07", &lic, msg);
	FUZZ_CHECK(rc == QEL_OK || rc == QEL_ERR_WRONG_KEY || rc == QEL_ERR_SIGNATURE ||
	               rc == QEL_ERR_WRONG_HOST || rc == QEL_ERR_EXPIRED,
	           std::to_string(rc) + ": " + msg);
	qel_license_free(lic);
	FUZZ_CHECK(fake_mem.live == 0, "blocks left by the check");
}

void
fuzz_report(const std::string &text, long fail_at)
{
	char msg[QEL_MSG_SIZE] = "untouched";
	char **hostids = nullptr;
	char *os = nullptr;
	fake_mem_reset();
	fake_mem.fail_at = fail_at;
	int rc = report_read(text.data(), text.size(), "report", &hostids, &os, msg);
	if (rc == QEL_OK) {
		FUZZ_CHECK(hostids != nullptr && hostids[0] != nullptr && os != nullptr, "no result");
		for (std::size_t i = 0; hostids[i] != nullptr; i++)
			FUZZ_CHECK(license_address_valid(hostids[i], std::strlen(hostids[i])), hostids[i]);
		std::size_t n = std::strlen(os);
		FUZZ_CHECK(n >= 1 && n <= 64, os);
		for (std::size_t i = 0; i < n; i++)
			FUZZ_CHECK(os[i] >= ' ' && os[i] <= '~' && os[i] != '"' && os[i] != '\\', os);
	} else if (rc == QEL_ERR_MEMORY) {
		FUZZ_CHECK(std::strcmp(msg, "out of memory") == 0, msg);
	} else {
		FUZZ_CHECK(rc == QEL_ERR_REPORT, std::to_string(rc));
		FUZZ_CHECK(std::strncmp(msg, "report", 6) == 0, msg);
		FUZZ_CHECK(hostids == nullptr && os == nullptr, "results after a failure");
	}
	hostid_list_free(hostids);
	mem_free(os);
	FUZZ_CHECK(fake_mem.live == 0, "blocks left by the report reader");
}

} // namespace

extern "C" int
LLVMFuzzerInitialize(int *, char ***)
{
	std::string text = fuzz_read_file(QEL_TEST_DATA "/golden_pubkey.c");
	bool is_private = true;
	unsigned char *der = nullptr;
	uint32_t len = 0;
	if (key_source_parse(text.data(), text.size(), "key", &is_private, &der, &len, nullptr) !=
	        QEL_OK ||
	    is_private)
		fuzz_fail("cannot read tests/data/golden_pubkey.c");
	public_key.assign(der, der + len);
	mem_free(der);
	return 0;
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
	if (size == 0)
		return 0;
	const uint8_t head = data[0];
	const long fail_at = (head & 0x80) != 0 ? ((head >> 1) & 7) + 1 : 0;
	const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
	if ((head & 1) == 0)
		fuzz_licence(text, fail_at);
	else
		fuzz_report(text, fail_at);
	return 0;
}
