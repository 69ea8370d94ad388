/* Keys from outside: the DER bytes of a key that qelkeypair made, taken in
 * for signing or for checking a signature, and the key's id. */
#ifndef QEL_KEYS_KEY_IMPORT_H
#define QEL_KEYS_KEY_IMPORT_H

#include <cstddef>
#include <cstdint>

#include <tomcrypt.h>

#include "core/error.h"

/* Hexadecimal digits of a key id, and the text's size with its NUL. */
constexpr std::size_t KEY_ID_DIGITS = 16;
constexpr std::size_t KEY_ID_SIZE = KEY_ID_DIGITS + 1;

/* Imports der (len bytes) into key, which must be empty, and takes it only
 * when it is a key as keypair_generate exports it: the private or the
 * public kind as want_private asks, a 240-bit q and a 2048-bit p, encoded
 * again to exactly the same bytes. A private key is imported with
 * dsa_import and must also pass dsa_verify_key; a public key, which checks
 * signatures only, is read with the DER codec alone (dsa_import would work
 * out two modular powers on every call). what names the key in messages ("key", "key file
 * 'qel_privkey.c'"). Returns QEL_OK with the key's numbers in key (release
 * them with dsa_free); otherwise, with nothing left in key, QEL_ERR_KEY
 * ("<what> is not a DSA key made by qelkeypair", "<what> is a public key,
 * not the private key", "<what> is the private key, not a public key",
 * "<what> fails the DSA key check") or QEL_ERR_MEMORY ("out of memory"). */
[[nodiscard]] int key_import(const unsigned char *der, uint32_t len, bool want_private,
                             const char *what, dsa_key *key, char *msg);

/* Writes to id (KEY_ID_SIZE bytes) the first 16 digits of the key hash of
 * the public key der (len bytes): the SHA-256 that qelkeypair printed. */
void key_id_of_public(const unsigned char *der, uint32_t len, char *id);

/* The same for an imported key of either kind, through its public export.
 * Returns QEL_OK, or QEL_ERR_MEMORY ("out of memory") or QEL_ERR_KEY
 * ("<what> is not a DSA key made by qelkeypair") when it cannot be
 * exported. */
[[nodiscard]] int key_id_of(dsa_key *key, const char *what, char *id, char *msg);

#endif
