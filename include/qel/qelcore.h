/* qelcore: node-locked licences checked in one call, host identifiers and
 * the key hash, for a product; issuing, for the vendor. The one header a
 * product includes:
 *
 *   #include <qel/qelcore.h>
 *
 * with <prefix>/include on the include path (pkg-config --cflags qelcore,
 * or the CMake target qelcore::qelcore). C99 and C++ alike; the functions
 * have C linkage. The header needs no other library's header: libtomcrypt
 * and libtommath are only linked, as the pkg-config file and the CMake
 * package say.
 *
 * Every fallible function returns one of the result codes below and, on
 * failure, writes one line of English (no line end of its own) into the
 * caller's message buffer: a char array of exactly QEL_MSG_SIZE bytes,
 * passed as a plain pointer. A null buffer means "no text wanted"; the code
 * is the same. On success the buffer is left as it was. */
#ifndef QEL_QELCORE_H
#define QEL_QELCORE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__cplusplus) && __cplusplus >= 201703L
#define QEL_NODISCARD [[nodiscard]]
#elif defined(__GNUC__)
#define QEL_NODISCARD __attribute__((warn_unused_result))
#else
#define QEL_NODISCARD
#endif

/* Result codes. A program that ends on a failure exits with the negated
 * code: 2, 3, 14 or 15, and for the licences 16 to 18 and 20 to 24. */
enum {
	QEL_OK = 0,
	QEL_ERR_MEMORY = -2,   /* a heap allocation returned null */
	QEL_ERR_IO = -3,       /* a stream could not be opened, written or closed */
	QEL_ERR_NETWORK = -14, /* no adapter list, or no usable adapter in it */
	QEL_ERR_CRYPTO = -15,  /* key generation, validation or export failed, or
	                          a signature could not be made */
	/* Issuing licences */
	QEL_ERR_KEY = -16,     /* a key that is not one of qelkeypair's, or of the
	                          wrong kind */
	QEL_ERR_REPORT = -17,  /* a customer's report that cannot be read, or that
	                          names no address */
	QEL_ERR_MEMBER = -18,  /* a vendor's member that is not valid */
	/* Checking licences */
	QEL_ERR_MALFORMED = -20,  /* licence text not in the licence format */
	QEL_ERR_SIGNATURE = -21,  /* the signature does not verify */
	QEL_ERR_WRONG_KEY = -22,  /* signed with another key */
	QEL_ERR_WRONG_HOST = -23, /* for another machine */
	QEL_ERR_EXPIRED = -24     /* past its expiry date */
};

/* Size of every message buffer; the longest message is one byte shorter. */
#define QEL_MSG_SIZE 1024

/* Bytes in a SHA-256 digest, and in its text: 64 digits and the NUL. */
#define QEL_SHA256_DIGEST_SIZE 32
#define QEL_SHA256_HEX_SIZE (2 * QEL_SHA256_DIGEST_SIZE + 1)

/* --- Host identifiers ------------------------------------------------------
 *
 * A host identifier list is a null-terminated array of pointers to 18-byte
 * heap strings, each a hardware address as "xx:xx:xx:xx:xx:xx" in lower-case
 * hexadecimal. The list owns its strings; hostid_list_free releases both. */

/* Lists the hardware addresses of the machine's adapters that qualify (a
 * 6-byte address, not a tunnel; down and virtual adapters count) in
 * ascending order, every duplicate removed: the addresses qelhostid
 * reports. *out must be null on entry. Returns QEL_OK with a list of at
 * least one entry in *out; or, with *out null and nothing left allocated,
 * QEL_ERR_MEMORY ("out of memory") or QEL_ERR_NETWORK
 * ("cannot get MAC address: <system text>" or
 * "no network interface found"). */
QEL_NODISCARD int hostid_list_get_sorted(char ***out, char *msg);

/* Releases the strings up to the first null slot, then the array. Accepts
 * null. */
void hostid_list_free(char **list);

/* Writes the host report (what qelhostid prints) to standard output.
 * Returns QEL_OK, QEL_ERR_MEMORY, QEL_ERR_IO or QEL_ERR_NETWORK. */
QEL_NODISCARD int qel_hostid_print(char *msg);

/* As qel_hostid_print, then saves the same text to "qelhostid.txt" in the
 * current directory (created or replaced). The report is complete on
 * standard output before the file is opened. */
QEL_NODISCARD int qel_hostid_print_and_save(char *msg);

/* --- Keys ------------------------------------------------------------------ */

/* The whole run of qelkeypair in the current directory: refuses while
 * "qel_privkey.c" or "qel_pubkey.c" exists, generates a DSA key pair from
 * the operating system's random source, writes both key files and prints
 * the progress lines and the key hash on standard output. Returns QEL_OK,
 * QEL_ERR_MEMORY, QEL_ERR_IO or QEL_ERR_CRYPTO; QEL_ERR_IO also when
 * standard output lost a line, reported once both key files are complete. */
QEL_NODISCARD int qel_generate_keys(char *msg);

/* Writes to text (QEL_SHA256_HEX_SIZE = 65 bytes) the SHA-256 of the length
 * bytes at data as 64 lower-case hexadecimal digits and a NUL. length must
 * not be negative (data may be null when it is 0). Returns 64. Over the
 * bytes that qel_get_public_key returns, this is the key hash that
 * qelkeypair printed. */
int sha256_hex(char text[QEL_SHA256_HEX_SIZE], const void *data, int32_t length);

/* --- Licences --------------------------------------------------------------
 *
 * A licence is a text file: one JSON object holding the vendor's members
 * (at least "licensee", an optional "expires" date, any others the vendor
 * adds), the customer's report members as qelhostid wrote them ("hostid",
 * "os"), the signing key's id ("key") and a DSA signature ("signature")
 * over the rest, made with the private key of qelkeypair. The page
 * docs/LICENCE-FORMAT.md describes it byte by byte. Its text may have LF or
 * CR LF line ends and a leading UTF-8 byte order mark: the signature covers
 * neither. */

/* Longest licence text accepted, in bytes. */
#define QEL_LICENSE_MAX_SIZE 65536

/* Checks a licence for this machine, in this order: text is the licence
 * (length bytes, no NUL needed), key the public key as qel_get_public_key
 * returns it (keylen bytes). Returns QEL_OK only when the text is in the
 * licence format, names the key as its signer, carries a signature the key
 * verifies, lists one of this machine's addresses (those that
 * hostid_list_get_sorted gives) and, if it has an expiry date, that date
 * is today or later (UTC). Otherwise, with a message:
 *   QEL_ERR_KEY        "key is not a DSA key made by qelkeypair", "key is the
 *                      private key, not a public key"
 *   QEL_ERR_MALFORMED  "licence is malformed: line <n>: <what is wrong>",
 *                      "licence is longer than 65536 bytes"
 *   QEL_ERR_WRONG_KEY  "licence was signed with another key (key <id>,
 *                      expected <id>)"
 *   QEL_ERR_SIGNATURE  "licence has a signature that is not valid"
 *   QEL_ERR_NETWORK    the machine's addresses cannot be listed (as
 *                      hostid_list_get_sorted)
 *   QEL_ERR_WRONG_HOST "licence is for another machine"
 *   QEL_ERR_EXPIRED    "licence expired on <YYYY-MM-DD>"
 *   QEL_ERR_MEMORY     "out of memory"
 * The "os" member is not compared: a machine that boots two systems shows
 * the same addresses to both. */
QEL_NODISCARD int qel_license_check(const char *text, size_t length,
                                    const unsigned char *key, int keylen, char *msg);

/* A licence that passed qel_license_check, with its members. */
typedef struct qel_license qel_license;

/* As qel_license_check; on QEL_OK also stores in *out a new licence record
 * (*out must be null on entry; it stays null on failure). Release it with
 * qel_license_free. */
QEL_NODISCARD int qel_license_open(const char *text, size_t length,
                                   const unsigned char *key, int keylen,
                                   qel_license **out, char *msg);

/* The value of the licence's string member name ("licensee", "expires",
 * "os", "key", any vendor member; "hostid" when the licence names one
 * address), as UTF-8 with a NUL, or null when the licence has no such
 * string member. Never the signature: every value handed out was covered
 * by it. The text belongs to the record and lives as long as it. */
const char *qel_license_get(const qel_license *licence, const char *name);

/* Releases a licence record; accepts null. */
void qel_license_free(qel_license *licence);

/* Issues a licence, for vendors who issue from their own systems (the
 * program qellicense does the same from files).
 *   report, report_length: the customer's report as qelhostid printed it,
 *     also pasted in a mail: CR LF line ends, blank lines around it, mail
 *     quoting ("> ") and indentation are taken off each line.
 *   members: the vendor's members as pairs of NUL-terminated UTF-8
 *     strings, name then value, ended by a null name. "licensee" is
 *     required and not empty; "expires", if given, is a date YYYY-MM-DD;
 *     names are 1 to 64 of a-z, 0-9 and _, each at most once, and not
 *     "hostid", "os", "key" or "signature"; values hold no control
 *     character. "licensee" comes first in the licence, the others follow
 *     in the order given.
 *   private_key, keylen: the private key as qel_get_private_key returns
 *     it. It is checked before it signs.
 * Returns QEL_OK with the licence text (LF line ends, a NUL after it) in a
 * new block at *licence and its length, without the NUL, in
 * *licence_length; release it with qel_license_text_free. Otherwise, with
 * *licence null: QEL_ERR_MEMBER, QEL_ERR_REPORT, QEL_ERR_KEY,
 * QEL_ERR_CRYPTO (the signature could not be made: the operating system's
 * random source failed) or QEL_ERR_MEMORY. */
QEL_NODISCARD int qel_license_issue(const char *report, size_t report_length,
                                    const char *const *members,
                                    const unsigned char *private_key, int keylen,
                                    char **licence, size_t *licence_length, char *msg);

/* Releases a licence text from qel_license_issue; accepts null. */
void qel_license_text_free(char *licence);

#ifdef __cplusplus
}
#endif

#endif
