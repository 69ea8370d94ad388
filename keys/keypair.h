/* The DSA key pair: one generated key and its two DER exports.
 *
 * Both blobs are one DER SEQUENCE of a one-bit BIT STRING (1 in the private
 * blob, 0 in the public one), then the INTEGERs g, p, q, y and, in the
 * private blob only, x. */
#ifndef QEL_KEYS_KEYPAIR_H
#define QEL_KEYS_KEYPAIR_H

#include <cstdint>

#include <tomcrypt.h>

#include "core/error.h"

/* Size of q and of p, in bytes: a 240-bit subgroup, a 2048-bit modulus. */
constexpr int KEYPAIR_GROUP_SIZE = 30;
constexpr int KEYPAIR_MODULUS_SIZE = 256;
/* Each export lands in a scratch buffer of this size first. */
constexpr unsigned long KEYPAIR_EXPORT_SIZE = 4096;

struct KeyPair {
	bool key_made;         /* key holds five numbers to release */
	dsa_key key;
	unsigned char *private_der; /* owned; null until set */
	unsigned char *public_der;  /* owned; null until set */
	uint32_t private_der_len;
	uint32_t public_der_len;
};

/* A new zero-filled KeyPair, or null after writing "out of memory" (the
 * caller maps null to QEL_ERR_MEMORY). Release it with keypair_free. */
[[nodiscard]] KeyPair *keypair_new(char *msg);

/* Generates the key from the operating system's random source, checks it
 * and exports both blobs. Call once, on a record fresh from keypair_new.
 * Returns QEL_OK with both blobs set; otherwise QEL_ERR_CRYPTO
 * ("could not make DSA key: <libtomcrypt text>",
 * "generated DSA key pair is invalid", "could not export DSA private key",
 * "could not export DSA public key") or QEL_ERR_MEMORY ("out of memory"),
 * leaving in the record what was made so far for keypair_free. */
[[nodiscard]] int keypair_generate(KeyPair *kp, char *msg);

/* Releases the blobs (the private one wiped first), the key's numbers when
 * key_made, then the record. Accepts null. */
void keypair_free(KeyPair *kp);

#endif
