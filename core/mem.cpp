#include "core/error.h"

#include <cstdlib>

void *
mem_calloc(std::size_t count, std::size_t size)
{
	/* calloc itself refuses a product that overflows. */
	return std::calloc(count, size);
}

void
mem_free(void *p)
{
	if (p != nullptr)
		std::free(p);
}
