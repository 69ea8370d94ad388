/* qelcore: host identifiers and the key hash, for a product that checks
 * node-locked licences. The one header a product includes:
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
 * code: 2, 3, 14 or 15. */
enum {
	QEL_OK = 0,
	QEL_ERR_MEMORY = -2,   /* a heap allocation returned null */
	QEL_ERR_IO = -3,       /* a stream could not be opened, written or closed */
	QEL_ERR_NETWORK = -14, /* no adapter list, or no usable adapter in it */
	QEL_ERR_CRYPTO = -15   /* key generation, validation or export failed */
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

#ifdef __cplusplus
}
#endif

#endif
