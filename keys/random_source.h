/* The operating system's source of cryptographic random bytes.
 *
 * The platform edge of key generation: one source file a platform
 * (random_linux.cpp, random_windows.cpp); tests link a fake. */
#ifndef QEL_KEYS_RANDOM_SOURCE_H
#define QEL_KEYS_RANDOM_SOURCE_H

/* Fills out with exactly len bytes and returns len, or returns 0 when the
 * source cannot deliver them all. There is no fallback of any kind. */
[[nodiscard]] unsigned long random_source_read(unsigned char *out, unsigned long len);

#endif
