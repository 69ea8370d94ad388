#include "lib_alloc.h"

#include <cstddef>
#include <cstdlib>

FakeLibMem fake_lib_mem;

void
fake_lib_mem_reset()
{
	fake_lib_mem = FakeLibMem{};
}

namespace {

bool
fail_this_one()
{
	fake_lib_mem.calls++;
	return fake_lib_mem.fail_at != 0 && fake_lib_mem.calls == fake_lib_mem.fail_at;
}

} // namespace

/* The names the archive copies call instead of the C library's. */
extern "C" {

void *
qel_lib_malloc(std::size_t size)
{
	if (fail_this_one())
		return nullptr;
	void *p = std::malloc(size);
	if (p != nullptr)
		fake_lib_mem.live++;
	return p;
}

void *
qel_lib_calloc(std::size_t count, std::size_t size)
{
	if (fail_this_one())
		return nullptr;
	void *p = std::calloc(count, size);
	if (p != nullptr)
		fake_lib_mem.live++;
	return p;
}

void *
qel_lib_realloc(void *old, std::size_t size)
{
	/* A failed realloc leaves the old block as it was. */
	bool fail = fail_this_one();
	fake_lib_mem.reallocs++;
	if (fail || (fake_lib_mem.fail_realloc_at != 0 &&
	             fake_lib_mem.reallocs == fake_lib_mem.fail_realloc_at))
		return nullptr;
	void *p = std::realloc(old, size);
	if (p != nullptr && old == nullptr)
		fake_lib_mem.live++;
	return p;
}

void
qel_lib_free(void *p)
{
	if (p == nullptr)
		return;
	fake_lib_mem.live--;
	std::free(p);
}

} // extern "C"
