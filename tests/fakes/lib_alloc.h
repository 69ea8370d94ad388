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

#include <set>
#include <string>
#include <vector>

/* What a forked run reported: the count it failed, its exit status
 * (waitpid's) and what it wrote to its verdict pipe. */
struct ForkedRun {
	long at;
	int status;
	std::string verdict;
};

/* The fail_at-th allocation (malloc, calloc or realloc) from now on returns
 * null (1 = the next one; 0 = never), and so does the fail_realloc_at-th
 * realloc. calls counts the allocations, reallocs the reallocs among them,
 * live the blocks not yet released.
 *
 * Forking: when fork_at is set, the run forks at each allocation (or, with
 * fork_reallocs, each realloc) whose count is in the set. The child fails
 * that allocation and carries the run on to its end with child set and
 * failed_at naming the count; it then reports on verdict_fd and leaves with
 * _exit. The parent waits for it, records it in forked, and carries on as
 * if nothing had failed. So one run fails every allocation of the set, each
 * in a process of its own, at the cost of one run and the children's
 * remainders. */
struct FakeLibMem {
	long fail_at = 0;
	long fail_realloc_at = 0;
	long calls = 0;
	long reallocs = 0;
	long live = 0;
	const std::set<long> *fork_at = nullptr;
	bool fork_reallocs = false;
	bool child = false;
	long failed_at = 0;
	int verdict_fd = -1;
	std::vector<ForkedRun> forked;
};
extern FakeLibMem fake_lib_mem;
void fake_lib_mem_reset();

/* In a child of a forked run: writes verdict (empty: all is well) for the
 * parent and ends the process, without running destructors or exit
 * handlers that belong to the parent's run. */
[[noreturn]] void fake_lib_mem_child_exit(const std::string &verdict);

#endif
