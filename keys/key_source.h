/* Key source files: C sources that compile a key into a product.
 *
 * For prefix P, key name N and bytes b0..bn-1 the file reads
 *
 *   const unsigned char* P_get_N(int *keylen)
 *   {
 *     static unsigned char P_keyarray[] = {
 *         7,   0, 255, ...                 15 values a line, " %3d" each
 *         2,  77 };
 *     *keylen = sizeof (P_keyarray);
 *     return P_keyarray;
 *   }
 */
#ifndef QEL_KEYS_KEY_SOURCE_H
#define QEL_KEYS_KEY_SOURCE_H

#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "keys/keypair.h"

/* Values on one line of the array. */
constexpr uint32_t KEY_SOURCE_VALUES_PER_LINE = 15;

/* Longest key source file read, in bytes; qelkeypair's are under 5000. */
constexpr std::size_t KEY_SOURCE_MAX_SIZE = 65536;

/* Creates path, which must not exist (a symlink there counts as existing
 * and is never followed), and writes count bytes as a key source file. With
 * owner_only the file is readable and writable by its owner alone. The file
 * and its directory entry are synced to the disk before QEL_OK is returned.
 * Returns QEL_OK, or QEL_ERR_IO with "file '<path>' already exists, delete
 * to generate new" or the message of the failed open, write, sync or close.
 * A file that failed after its creation stays as far as it got. */
[[nodiscard]] int write_key_source(const unsigned char *bytes, uint32_t count,
                                   const char *prefix, const char *key_name,
                                   const char *path, bool owner_only, char *msg);

/* The private blob of a generated KeyPair as qel_get_private_key(), in a
 * file for its owner's eyes only. */
[[nodiscard]] int keypair_write_private(const KeyPair *kp, const char *path, char *msg);

/* The public blob of a generated KeyPair as qel_get_public_key(). */
[[nodiscard]] int keypair_write_public(const KeyPair *kp, const char *path, char *msg);

/* Reads text, of length bytes, as a key source file exactly as
 * keypair_write_private or keypair_write_public writes it: the layout
 * above with prefix "qel" and key name "private_key" or "public_key", each
 * line ended by LF or by CR LF (the last one too). Returns QEL_OK with
 * *is_private telling which and the key's bytes in a new block at *der
 * (*der_len of them; *der must be null on entry), or QEL_ERR_KEY after
 * "<what>: line <n>: <reason>" or "<what> is longer than 65536 bytes" (what
 * names the file, e.g. "key file 'qel_pubkey.c'"), or QEL_ERR_MEMORY ("out
 * of memory"). The caller wipes a private key's block before releasing it
 * with mem_free. */
[[nodiscard]] int key_source_parse(const char *text, std::size_t length, const char *what,
                                   bool *is_private, unsigned char **der,
                                   uint32_t *der_len, char *msg);

/* Reads the key source file at path with key_source_parse and takes only
 * the kind asked for: otherwise QEL_ERR_KEY with "key file '<path>' holds
 * a public key, not the private key" or "key file '<path>' holds the
 * private key, not a public key". A file that cannot be read gives the
 * messages and codes of file_read_all. The file's text is wiped before it
 * is released. */
[[nodiscard]] int key_source_read(const char *path, bool want_private, unsigned char **der,
                                  uint32_t *der_len, char *msg);

#endif
