#include "license/license.h"

#include <cstring>

#include <tomcrypt.h>

#include "core/text.h"
#include "hostid/report.h"
#include "keys/key_import.h"
#include "keys/os_prng.h"
#include "license/license_date.h"
#include "license/report_reader.h"

namespace {

/* Longest signature made or taken, in bytes: a DER SEQUENCE of two
 * INTEGERs below a 240-bit q takes at most 68. */
constexpr std::size_t SIGNATURE_MAX = LICENSE_SIGNATURE_MAX_DIGITS / 2;
static_assert(SIGNATURE_MAX >= 68);

int
out_of_memory(char *msg)
{
	error_set(msg, "out of memory");
	return QEL_ERR_MEMORY;
}

/* Verifies the licence's signature with key. The signature must be the
 * DER that dsa_sign_hash writes, byte for byte: a SEQUENCE of the INTEGERs
 * r and s, each in its shortest form, nothing after it. */
int
verify_signature(const qel_license *lic, dsa_key *key, const char *what, char *msg)
{
	void *r = nullptr;
	void *s = nullptr;
	int stat = 0;
	int err = ltc_init_multi(&r, &s, nullptr);
	if (err != CRYPT_OK)
		return out_of_memory(msg);
	const auto length = static_cast<unsigned long>(lic->signature_length);
	err = der_decode_sequence_multi(lic->signature, length, LTC_ASN1_INTEGER, 1UL, r,
	                                LTC_ASN1_INTEGER, 1UL, s, LTC_ASN1_EOL, 0UL, nullptr);
	if (err == CRYPT_OK) {
		unsigned char again[2 * SIGNATURE_MAX];
		unsigned long n = sizeof again;
		err = der_encode_sequence_multi(again, &n, LTC_ASN1_INTEGER, 1UL, r,
		                                LTC_ASN1_INTEGER, 1UL, s, LTC_ASN1_EOL, 0UL, nullptr);
		/* dsa_verify_hash_raw takes the leftmost q-size bytes of the
		 * digest as the number to check, as dsa_sign_hash signs it. */
		if (err == CRYPT_OK && n == length &&
		    std::memcmp(again, lic->signature, n) == 0)
			err = dsa_verify_hash_raw(r, s, lic->digest, sizeof lic->digest, &stat, key);
	}
	ltc_deinit_multi(r, s, nullptr);
	if (err == CRYPT_MEM)
		return out_of_memory(msg);
	if (stat != 1) {
		error_set(msg, "%s has a signature that is not valid", what);
		return QEL_ERR_SIGNATURE;
	}
	return QEL_OK;
}

/* Whether one of the licensed addresses is among the machine's. */
bool
for_this_machine(const qel_license *lic, char *const *mine)
{
	for (std::size_t i = 0; lic->hostids[i] != nullptr; i++)
		for (std::size_t j = 0; mine[j] != nullptr; j++)
			if (std::strcmp(lic->hostids[i], mine[j]) == 0)
				return true;
	return false;
}

/* --- Issuing --- */

bool
is_reserved(const char *name)
{
	return std::strcmp(name, "hostid") == 0 || std::strcmp(name, "os") == 0 ||
	       std::strcmp(name, "key") == 0 || std::strcmp(name, "signature") == 0;
}

/* Whether s is short plain text, fit to be quoted in a message. */
bool
showable(const char *s)
{
	std::size_t n = 0;
	for (; s[n] != '\0'; n++)
		if (s[n] < '!' || s[n] > '~' || s[n] == '\'' || n >= LICENSE_NAME_MAX + 16)
			return false;
	return n > 0;
}

/* Checks one value: UTF-8 without a control character. */
int
check_value(const char *name, const char *value, char *msg)
{
	const std::size_t n = std::strlen(value);
	for (std::size_t i = 0; i < n;) {
		unsigned long cp = 0;
		std::size_t len = utf8_sequence(value + i, n - i, &cp);
		if (len == 0) {
			error_set(msg, "member '%s' is not valid UTF-8", name);
			return QEL_ERR_MEMBER;
		}
		if (is_control(cp)) {
			error_set(msg, "member '%s' holds a control character", name);
			return QEL_ERR_MEMBER;
		}
		i += len;
	}
	return QEL_OK;
}

/* Checks the vendor's members (name, value, ..., null). */
int
check_members(const char *const *members, char *msg)
{
	bool licensee = false;
	for (std::size_t i = 0; members != nullptr && members[i] != nullptr; i += 2) {
		const char *name = members[i];
		const char *value = members[i + 1];
		if (!license_name_valid(name, std::strlen(name))) {
			if (showable(name))
				error_set(msg, "member name '%s' is not 1 to %zu of a-z, 0-9 and _", name,
				          LICENSE_NAME_MAX);
			else
				error_set(msg, "a member name is not 1 to %zu of a-z, 0-9 and _",
				          LICENSE_NAME_MAX);
			return QEL_ERR_MEMBER;
		}
		if (is_reserved(name)) {
			error_set(msg, "member name '%s' is reserved", name);
			return QEL_ERR_MEMBER;
		}
		for (std::size_t j = 0; j < i; j += 2) {
			if (std::strcmp(members[j], name) == 0) {
				error_set(msg, "member '%s' is given twice", name);
				return QEL_ERR_MEMBER;
			}
		}
		if (value == nullptr) {
			error_set(msg, "member '%s' has no value", name);
			return QEL_ERR_MEMBER;
		}
		int rc = check_value(name, value, msg);
		if (rc != QEL_OK)
			return rc;
		if (std::strcmp(name, "licensee") == 0) {
			if (value[0] == '\0') {
				error_set(msg, "member 'licensee' is empty");
				return QEL_ERR_MEMBER;
			}
			licensee = true;
		}
		if (std::strcmp(name, "expires") == 0 && !date_valid(value, std::strlen(value))) {
			if (showable(value))
				error_set(msg, "member 'expires' is not a date (YYYY-MM-DD): '%s'", value);
			else
				error_set(msg, "member 'expires' is not a date (YYYY-MM-DD)");
			return QEL_ERR_MEMBER;
		}
	}
	if (!licensee) {
		error_set(msg, "member 'licensee' is missing");
		return QEL_ERR_MEMBER;
	}
	return QEL_OK;
}

/* The licence text as it is built; with a null buffer it only counts. */
struct Text {
	char *buf;
	std::size_t pos;
};

void
put(Text *t, const char *s, std::size_t n)
{
	if (t->buf != nullptr)
		std::memcpy(t->buf + t->pos, s, n);
	t->pos += n;
}

void
put(Text *t, const char *s)
{
	put(t, s, std::strlen(s));
}

/* A JSON string: the value between quotes, '"' and '\' escaped. */
void
put_string(Text *t, const char *value)
{
	put(t, "\"");
	for (const char *p = value; *p != '\0'; p++) {
		if (*p == '"' || *p == '\\')
			put(t, "\\");
		put(t, p, 1);
	}
	put(t, "\"");
}

void
put_member(Text *t, const char *name, const char *value)
{
	put(t, "\"");
	put(t, name);
	put(t, "\": ");
	put_string(t, value);
	put(t, ",\n");
}

/* Everything the signature covers. */
void
put_signed(Text *t, const char *const *members, char *const *hostids, const char *os,
           const char *id)
{
	put(t, "{\n");
	for (int pass = 0; pass < 2; pass++) {
		/* The licensee first, then the others in their order. */
		for (std::size_t i = 0; members[i] != nullptr; i += 2) {
			bool licensee = std::strcmp(members[i], "licensee") == 0;
			if (licensee == (pass == 0))
				put_member(t, members[i], members[i + 1]);
		}
	}
	/* The report's members as qelhostid writes them. */
	if (hostids[1] == nullptr) {
		put_member(t, "hostid", hostids[0]);
	} else {
		put(t, "\"hostid\": [\n");
		for (std::size_t i = 0; hostids[i] != nullptr; i++) {
			put(t, "  ");
			put_string(t, hostids[i]);
			put(t, hostids[i + 1] != nullptr ? ",\n" : "\n");
		}
		put(t, "],\n");
	}
	put_member(t, "os", os);
	put_member(t, "key", id);
}

/* Signs digest with key into sig (SIGNATURE_MAX bytes). */
int
sign_digest(const uint8_t *digest, dsa_key *key, unsigned char *sig, unsigned long *siglen,
            char *msg)
{
	int prng = os_prng_register();
	int err = prng < 0 ? CRYPT_INVALID_PRNG
	                   : dsa_sign_hash(digest, QEL_SHA256_DIGEST_SIZE, sig, siglen, nullptr,
	                                   prng, key);
	if (err == CRYPT_MEM)
		return out_of_memory(msg);
	if (err != CRYPT_OK) {
		error_set(msg, "could not sign the licence: %s", error_to_string(err));
		return QEL_ERR_CRYPTO;
	}
	return QEL_OK;
}

} // namespace

int
license_open_at(const char *text, std::size_t length, const unsigned char *key, int keylen,
                const LicenseNames *names, const char *today, qel_license **out, char *msg)
{
	int rc = QEL_OK;
	dsa_key k;
	bool key_made = false;
	qel_license *lic = nullptr;
	char **mine = nullptr;
	/* key_import binds libtommath as libtomcrypt's math; a product that
	 * uses libtomcrypt with another gets its own back at the end. */
	const ltc_math_descriptor math = ltc_mp;
	*out = nullptr;

	if (key == nullptr || keylen <= 0) {
		error_set(msg, "%s is not a DSA key made by qelkeypair", names->key);
		rc = QEL_ERR_KEY;
	}
	if (rc == QEL_OK) {
		rc = key_import(key, static_cast<uint32_t>(keylen), false, names->key, &k, msg);
		key_made = rc == QEL_OK;
	}
	if (rc == QEL_OK)
		rc = license_parse(text != nullptr ? text : "", text != nullptr ? length : 0,
		                   names->licence, &lic, msg);
	if (rc == QEL_OK) {
		char id[KEY_ID_SIZE];
		key_id_of_public(key, static_cast<uint32_t>(keylen), id);
		if (std::strcmp(id, lic->key) != 0) {
			error_set(msg, "%s was signed with another key (key %s, expected %s)",
			          names->licence, lic->key, id);
			rc = QEL_ERR_WRONG_KEY;
		}
	}
	if (rc == QEL_OK)
		rc = verify_signature(lic, &k, names->licence, msg);
	if (rc == QEL_OK)
		rc = hostid_list_get_sorted(&mine, msg);
	if (rc == QEL_OK && !for_this_machine(lic, mine)) {
		error_set(msg, "%s is for another machine", names->licence);
		rc = QEL_ERR_WRONG_HOST;
	}
	if (rc == QEL_OK && lic->expires != nullptr && std::strcmp(today, lic->expires) > 0) {
		error_set(msg, "%s expired on %s", names->licence, lic->expires);
		rc = QEL_ERR_EXPIRED;
	}

	hostid_list_free(mine);
	if (key_made)
		dsa_free(&k);
	ltc_mp = math;
	if (rc == QEL_OK)
		*out = lic;
	else
		qel_license_free(lic);
	return rc;
}

int
license_issue_named(const char *report, std::size_t report_length, const char *const *members,
                    const unsigned char *private_key, int keylen, const IssueNames *names,
                    char **licence, std::size_t *licence_length, char *msg)
{
	char **hostids = nullptr;
	char *os = nullptr;
	dsa_key k;
	bool key_made = false;
	char id[KEY_ID_SIZE];
	unsigned char sig[SIGNATURE_MAX];
	unsigned long siglen = sizeof sig;
	Text t{nullptr, 0};
	std::size_t signed_length = 0;
	/* As in license_open_at: the product's math comes back at the end. */
	const ltc_math_descriptor math = ltc_mp;
	*licence = nullptr;
	*licence_length = 0;

	int rc = check_members(members, msg);
	if (rc == QEL_OK)
		rc = report_read(report != nullptr ? report : "", report != nullptr ? report_length : 0,
		                 names->report, &hostids, &os, msg);
	if (rc == QEL_OK && (private_key == nullptr || keylen <= 0)) {
		error_set(msg, "%s is not a DSA key made by qelkeypair", names->key);
		rc = QEL_ERR_KEY;
	}
	if (rc == QEL_OK) {
		rc = key_import(private_key, static_cast<uint32_t>(keylen), true, names->key, &k, msg);
		key_made = rc == QEL_OK;
	}
	if (rc == QEL_OK)
		rc = key_id_of(&k, names->key, id, msg);
	if (rc == QEL_OK) {
		/* Measured first with room for the longest signature. */
		put_signed(&t, members, hostids, os, id);
		signed_length = t.pos;
		std::size_t size = signed_length + std::strlen("\"signature\": \"\"\n}\n") +
		                   2 * SIGNATURE_MAX;
		if (size > QEL_LICENSE_MAX_SIZE) {
			error_set(msg, "the licence would be longer than %d bytes",
			          QEL_LICENSE_MAX_SIZE);
			rc = QEL_ERR_MEMBER;
		} else {
			t.buf = static_cast<char *>(mem_calloc(size + 1, 1));
			t.pos = 0;
			if (t.buf == nullptr)
				rc = out_of_memory(msg);
		}
	}
	if (rc == QEL_OK) {
		put_signed(&t, members, hostids, os, id);
		uint8_t digest[QEL_SHA256_DIGEST_SIZE];
		sha256_buffer(digest, t.buf, static_cast<uint32_t>(signed_length));
		rc = sign_digest(digest, &k, sig, &siglen, msg);
	}
	if (rc == QEL_OK) {
		put(&t, "\"signature\": \"");
		for (unsigned long i = 0; i < siglen; i++) {
			static constexpr char hex[] = "0123456789abcdef";
			put(&t, &hex[sig[i] >> 4], 1);
			put(&t, &hex[sig[i] & 0x0f], 1);
		}
		put(&t, "\"\n}\n");
		*licence = t.buf;
		*licence_length = t.pos;
	} else {
		mem_free(t.buf);
	}

	if (key_made)
		dsa_free(&k);
	ltc_mp = math;
	hostid_list_free(hostids);
	mem_free(os);
	return rc;
}

int
qel_license_open(const char *text, size_t length, const unsigned char *key, int keylen,
                 qel_license **out, char *msg)
{
	const LicenseNames names{"licence", "key"};
	char today[DATE_SIZE];
	date_today(today);
	return license_open_at(text, length, key, keylen, &names, today, out, msg);
}

int
qel_license_check(const char *text, size_t length, const unsigned char *key, int keylen,
                  char *msg)
{
	qel_license *lic = nullptr;
	int rc = qel_license_open(text, length, key, keylen, &lic, msg);
	qel_license_free(lic);
	return rc;
}

const char *
qel_license_get(const qel_license *licence, const char *name)
{
	if (licence == nullptr || name == nullptr)
		return nullptr;
	for (std::size_t i = 0; i < licence->count; i++)
		if (std::strcmp(licence->members[i].name, name) == 0)
			return licence->members[i].value;
	return nullptr;
}

int
qel_license_issue(const char *report, size_t report_length, const char *const *members,
                  const unsigned char *private_key, int keylen, char **licence,
                  size_t *licence_length, char *msg)
{
	const IssueNames names{"report", "key"};
	return license_issue_named(report, report_length, members, private_key, keylen, &names,
	                           licence, licence_length, msg);
}

void
qel_license_text_free(char *licence)
{
	mem_free(licence);
}
