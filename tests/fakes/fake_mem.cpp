#include <cstdlib>

#include "core/error.h"
#include "fakes.h"

FakeMem fake_mem;

void
fake_mem_reset()
{
	fake_mem = FakeMem{};
}

void *
mem_calloc(std::size_t count, std::size_t size)
{
	fake_mem.calls++;
	if (fake_mem.fail_at != 0 && fake_mem.calls == fake_mem.fail_at)
		return nullptr;
	void *p = std::calloc(count, size);
	if (p != nullptr)
		fake_mem.live++;
	return p;
}

void
mem_free(void *p)
{
	if (p == nullptr)
		return;
	fake_mem.live--;
	std::free(p);
}
