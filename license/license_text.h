/* The licence text: its strict reader, and the record of what it says.
 *
 * The layout, one member a line (docs/LICENCE-FORMAT.md is the full
 * description):
 *
 *   {
 *   "licensee": "Example Ltd",              first, not empty
 *   "expires": "2027-12-31",                the vendor's members, any
 *   "features": "pro",                      order, "expires" a date
 *   "hostid": [                             the customer's report as
 *     "00:11:22:33:44:55",                  qelhostid wrote it: one
 *     "00:11:22:33:44:66"                   address as a string, two or
 *   ],                                      more as an array
 *   "os": "Linux",
 *   "key": "5b1e0c9a2f3d4e5f",              16 digits of the key hash
 *   "signature": "302c0214..."              over every line above
 *   }
 *
 * The text is UTF-8 without NUL bytes, at most QEL_LICENSE_MAX_SIZE bytes,
 * may start with a byte order mark and may end its lines with CR LF; the
 * canonical form drops the mark and reads each CR LF as LF. The signed
 * text is the canonical form from its first byte up to and including the
 * LF before the signature line. */
#ifndef QEL_LICENSE_LICENSE_TEXT_H
#define QEL_LICENSE_LICENSE_TEXT_H

#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/sha256.h"
#include "qel/qelcore.h"

/* Longest member name; names are made of a-z, 0-9 and _. */
constexpr std::size_t LICENSE_NAME_MAX = 64;
/* Longest signature, in hexadecimal digits. */
constexpr std::size_t LICENSE_SIGNATURE_MAX_DIGITS = 256;

/* One member of a read licence. Both texts are NUL-terminated and live in
 * the record's arena. */
struct LicenseMember {
	const char *name;
	const char *value; /* decoded; null for the array form of "hostid" */
};

/* A licence as read. The members are those of the signed text, in the
 * licence's order (the signature is not one of them). */
struct qel_license {
	char *arena;                 /* every name and value, owned */
	LicenseMember *members;      /* owned; count of them */
	std::size_t count;
	const char **hostids;        /* owned array, null-terminated; into the arena */
	const char *licensee;        /* into the arena */
	const char *expires;         /* into the arena; null when there is none */
	const char *key;             /* into the arena: 16 digits */
	unsigned char *signature;    /* owned; the signature's bytes */
	std::size_t signature_length;
	uint8_t digest[QEL_SHA256_DIGEST_SIZE]; /* SHA-256 of the signed text */
};

/* Whether the n bytes at s are 1 to LICENSE_NAME_MAX of a-z, 0-9 and _. */
[[nodiscard]] bool license_name_valid(const char *s, std::size_t n);

/* Whether the n bytes at s are a hardware address as qelhostid writes it:
 * "xx:xx:xx:xx:xx:xx" in lower-case hexadecimal. */
[[nodiscard]] bool license_address_valid(const char *s, std::size_t n);

/* Reads text (length bytes) as a licence. what names it in messages
 * ("licence", "licence 'a.lic'"). *out must be null on entry. Returns
 * QEL_OK with a new record in *out; otherwise, with *out null,
 * QEL_ERR_MALFORMED after "<what> is longer than 65536 bytes" or
 * "<what> is malformed: line <n>: <what is wrong>", or QEL_ERR_MEMORY
 * ("out of memory"). Reads no byte outside the text. */
[[nodiscard]] int license_parse(const char *text, std::size_t length, const char *what,
                                qel_license **out, char *msg);

/* qel_license_free (qel/qelcore.h) releases a record. */

#endif
