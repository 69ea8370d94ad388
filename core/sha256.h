/* SHA-256 of FIPS 180-4: a streaming context, a one-shot digest of a byte
 * buffer, and the digest rendered as 64 lower-case hexadecimal digits.
 *
 * This is qelcore's own implementation; it does not use the cryptographic
 * library's hashes. No operation here can fail, takes a message buffer or
 * touches the heap: a context is plain data owned by its caller, and the
 * one-shot operations keep their context on the stack. */
#ifndef QEL_CORE_SHA256_H
#define QEL_CORE_SHA256_H

#include <cstddef>
#include <cstdint>

/* QEL_SHA256_DIGEST_SIZE, QEL_SHA256_HEX_SIZE and sha256_hex are public. */
#include "qel/qelcore.h"

/* Bytes in a message block. */
constexpr std::size_t QEL_SHA256_BLOCK_SIZE = 64;

/* The state of one message being hashed. The fill position inside block is
 * not stored: it is always total modulo 64. */
struct Sha256Context {
	uint32_t hash[8];                 /* chaining words H0 to H7 */
	uint64_t total;                   /* message bytes taken in since init */
	uint8_t block[QEL_SHA256_BLOCK_SIZE]; /* the message block being filled */
};

/* Makes context ready for a new message: hash gets the initial hash value
 * of FIPS 180-4 (5.3.3), total becomes 0. block is left as it is; its old
 * content is never read. */
void sha256_ctx_init(Sha256Context *context);

/* Appends length bytes at data to the message in context, which must have
 * been initialised. A length of 0 changes nothing (data may then be null).
 * The bytes are copied; data is not kept. */
void sha256_ctx_update(Sha256Context *context, const void *data,
    uint64_t length);

/* Completes the message in context and writes its 32-byte digest (H0 to H7,
 * each most significant byte first) to digest. Leaves context initialised
 * again, as sha256_ctx_init does, so it can take the next message without
 * another init. */
void sha256_ctx_final(Sha256Context *context,
    uint8_t digest[QEL_SHA256_DIGEST_SIZE]);

/* Writes to digest the 32-byte SHA-256 of the length bytes at data (data
 * may be null when length is 0). */
void sha256_buffer(uint8_t digest[QEL_SHA256_DIGEST_SIZE], const void *data,
    uint32_t length);

/* sha256_hex, declared in qel/qelcore.h, renders the digest of a buffer as
 * text, digest byte 0 first: sha256_buffer, then str_format with "%02x" for
 * each byte. */

#endif
