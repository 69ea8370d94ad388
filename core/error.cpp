#include "core/error.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

static int str_vformat(char *dst, std::size_t capacity, const char *format,
                       va_list ap) QEL_PRINTF(3, 0);

static int
str_vformat(char *dst, std::size_t capacity, const char *format, va_list ap)
{
	/* vsnprintf cuts and terminates when capacity > 0 and only measures
	 * when it is 0, which is exactly the contract of str_format. */
	return std::vsnprintf(capacity > 0 ? dst : nullptr, capacity, format, ap);
}

int
str_format(char *dst, std::size_t capacity, const char *format, ...)
{
	va_list ap;
	va_start(ap, format);
	int n = str_vformat(dst, capacity, format, ap);
	va_end(ap);
	return n;
}

void
error_set(char *msg, const char *format, ...)
{
	if (msg == nullptr)
		return;
	va_list ap;
	va_start(ap, format);
	(void)str_vformat(msg, QEL_MSG_SIZE, format, ap);
	va_end(ap);
}

void
mem_wipe(void *p, std::size_t n)
{
	if (p == nullptr)
		return;
	/* Stores through a volatile pointer are observable, so the
	 * compiler cannot drop them as dead before a free. */
	volatile unsigned char *v = static_cast<volatile unsigned char *>(p);
	while (n-- > 0)
		*v++ = 0;
}
