/* The allocator of libtomcrypt and libtommath in the allocation sweep.
 *
 * The sweep links copies of the libraries' static archives in which every
 * reference to malloc, calloc, realloc and free is renamed to the functions
 * of lib_alloc.cpp (tests/CMakeLists.txt makes the copies with objcopy).
 * So exactly the libraries' own calls are counted and can be failed; the
 * fakes, the C++ runtime and the test framework keep the real allocator,
 * and under AddressSanitizer every block still goes through its
 * interceptors. */
#ifndef QEL_TESTS_FAKES_LIB_ALLOC_H
#define QEL_TESTS_FAKES_LIB_ALLOC_H

/* The fail_at-th allocation (malloc, calloc or realloc) from now on returns
 * null (1 = the next one; 0 = never), and so does the fail_realloc_at-th
 * realloc. calls counts the allocations, reallocs the reallocs among them,
 * live the blocks not yet released. */
struct FakeLibMem {
	long fail_at = 0;
	long fail_realloc_at = 0;
	long calls = 0;
	long reallocs = 0;
	long live = 0;
};
extern FakeLibMem fake_lib_mem;
void fake_lib_mem_reset();

#endif
