/* A libtomcrypt PRNG descriptor ("qel_os") whose reads come straight from
 * the operating system's random source, with no generator state of ours in
 * between and no fallback: a read delivers exactly the count asked, or 0,
 * which libtomcrypt reports as CRYPT_ERROR_READPRNG. */
#ifndef QEL_KEYS_OS_PRNG_H
#define QEL_KEYS_OS_PRNG_H

/* Registers the descriptor with libtomcrypt (again is harmless) and
 * returns its index, or -1 when the descriptor table is full. */
[[nodiscard]] int os_prng_register();

#endif
