/* The primitives every operation of qelcore uses to report failure.
 *
 * The result codes and the message buffer's size are public, in
 * qel/qelcore.h: a fallible operation returns one of the codes and, on
 * failure, writes one line of English into the caller's message buffer:
 * exactly QEL_MSG_SIZE bytes, passed down as a plain pointer. A null buffer
 * means "no text wanted"; the code is the same. On success the buffer is
 * left as it was. */
#ifndef QEL_CORE_ERROR_H
#define QEL_CORE_ERROR_H

#include <cstddef>
#include <cstdint>

#include "qel/qelcore.h"

/* mingw's "printf" format is Microsoft's; its runtime here is the C99 one. */
#if defined(__MINGW32__)
#define QEL_PRINTF(fmt, first) __attribute__((format(gnu_printf, fmt, first)))
#elif defined(__GNUC__)
#define QEL_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define QEL_PRINTF(fmt, first)
#endif

/* Formats into the message buffer msg (QEL_MSG_SIZE bytes), replacing what
 * was there; a longer text is cut after 1023 characters. A null msg is
 * ignored. */
void error_set(char *msg, const char *format, ...) QEL_PRINTF(2, 3);

/* Formats into dst of capacity bytes. Leaves dst NUL-terminated when
 * capacity > 0 (cutting the text if needed) and writes nothing when it is 0.
 * Returns the length of the complete text, so a result >= capacity means
 * the text was cut. */
int str_format(char *dst, std::size_t capacity, const char *format, ...)
    QEL_PRINTF(3, 4);

/* A new zero-filled block of count * size bytes, or null when memory is
 * exhausted or the product overflows. Writes no message: the caller reports
 * "out of memory" with QEL_ERR_MEMORY. */
[[nodiscard]] void *mem_calloc(std::size_t count, std::size_t size);

/* Releases a block from mem_calloc; null is ignored. */
void mem_free(void *p);

/* Overwrites n bytes at p with zeros in a way the compiler cannot drop,
 * for key material about to be released. */
void mem_wipe(void *p, std::size_t n);

#endif
