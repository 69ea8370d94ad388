/* What the key generation tests check the code against, written apart from
 * it: a small DER reader for the exported blobs, a reader for the numbers of
 * a key source file, the golden key, and one generated key shared by the
 * tests (a generation takes about a second). */
#ifndef QEL_TESTS_KEY_TEST_UTIL_H
#define QEL_TESTS_KEY_TEST_UTIL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

/* One exported key: SEQUENCE 0x30 0x82 <2-byte length>, the one-bit BIT
 * STRING 03 02 07 80|00, then INTEGERs, strictly DER (minimal lengths and
 * contents, positive numbers), nothing after the SEQUENCE. */
struct DerKey {
	std::string error;        /* empty when the blob reads as above */
	unsigned declared = 0;    /* the SEQUENCE's stated content length */
	int kind = -1;            /* the byte after 03 02 07 */
	std::vector<Bytes> elements; /* each INTEGER, from tag to last byte */
	std::vector<Bytes> values;   /* each INTEGER's magnitude, no leading 0 */
};
DerKey der_key_decode(const uint8_t *p, std::size_t n);

/* Bits in the number whose magnitude is v (most significant byte first). */
int bit_count(const Bytes &v);

/* Bytes in a DER INTEGER of a positive number of `bits` bits. */
std::size_t der_integer_size(int bits);

/* n bytes, byte i being i * step modulo 256. */
Bytes byte_steps(std::size_t n, unsigned step);

/* The numbers listed in the array of a key source file, in order. */
Bytes key_source_values(const std::string &text);

/* The key made from fake_random's default seed, as committed in tests/data
 * (golden_privkey.c, golden_pubkey.c), and its key hash. */
std::string golden_file(const char *name);
extern const char *const GOLDEN_KEY_HASH;

/* The outcome of one keypair_generate with fake_random's default seed,
 * made on the first call and kept for the process; call it before setting
 * up the fakes (it leaves fake_random reset). The KeyPair itself is
 * released at once, so no test sees its blocks as live. */
struct SharedKey {
	int rc;
	std::string msg;  /* "untouched" when the buffer was left alone */
	long reads;       /* random source reads of the whole generation */
	bool key_made;
	int type, qord;
	Bytes priv, pub;
	DerKey dpriv, dpub;
};
const SharedKey &shared_key();

#endif
