/* Controls of the fakes that the unit tests link in place of the platform
 * edge: the allocator, the adapter list and the random source. */
#ifndef QEL_TESTS_FAKES_H
#define QEL_TESTS_FAKES_H

#include <cstdint>
#include <string>
#include <vector>

/* Allocator: mem_calloc fails its fail_at-th call from now on (1 = the
 * next one; 0 = never). live counts blocks not yet released. */
struct FakeMem {
	long fail_at = 0;
	long calls = 0;
	long live = 0;
};
extern FakeMem fake_mem;
void fake_mem_reset();

/* Adapter list. The source answers with `error` when it is not 0;
 * otherwise it overflows `overflows` times (asking each time for the size
 * in `asked`, or for the list's true size when asked runs out), then lists
 * the adapters. Every call's offered buffer size is recorded. Error numbers
 * listed in `no_text` have no system text. */
struct FakeAdapter {
	uint32_t if_type;
	std::vector<unsigned char> address;
};
struct FakeAdapters {
	std::vector<FakeAdapter> list;
	uint32_t error = 0;
	int overflows = 0;
	std::vector<uint32_t> asked;
	std::vector<uint32_t> offered;
	std::vector<uint32_t> no_text;
	long texts_live = 0;
};
extern FakeAdapters fake_adapters;
void fake_adapters_reset();
/* An Ethernet adapter with address text "aa:bb:cc:dd:ee:ff". */
FakeAdapter fake_ethernet(const char *address);

/* Random source: a repeatable stream (ChaCha20 keyed by `seed`) that
 * fails the fail_at-th read (1 = the next; 0 = never), delivering nothing,
 * or, with short_read, all but the last byte. */
struct FakeRandom {
	std::string seed = "qelcore test seed";
	long fail_at = 0;
	bool short_read = false;
	long reads = 0;
	bool started = false;
};
extern FakeRandom fake_random;
void fake_random_reset();

#endif
