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

#include <cstdint>

#include "core/error.h"
#include "keys/keypair.h"

/* Values on one line of the array. */
constexpr uint32_t KEY_SOURCE_VALUES_PER_LINE = 15;

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

#endif
