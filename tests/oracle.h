/* SHA-256 from a library no one here wrote: OpenSSL natively, libtomcrypt's
 * own hash in the Windows build, where Debian has no OpenSSL. */
#ifndef QEL_TESTS_ORACLE_H
#define QEL_TESTS_ORACLE_H

#include <cstddef>
#include <string>

/* The digest of n bytes at data as 64 lower-case hexadecimal digits. */
std::string oracle_sha256_hex(const void *data, std::size_t n);

#endif
