#include "lib_alloc.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <sys/wait.h>
#include <unistd.h>

FakeLibMem fake_lib_mem;

void
fake_lib_mem_reset()
{
	fake_lib_mem = FakeLibMem{};
}

void
fake_lib_mem_child_exit(const std::string &verdict)
{
	const char *p = verdict.data();
	std::size_t left = verdict.size();
	while (left > 0) {
		ssize_t n = write(fake_lib_mem.verdict_fd, p, left);
		if (n <= 0)
			_exit(3);
		p += n;
		left -= static_cast<std::size_t>(n);
	}
	_exit(verdict.empty() ? 0 : 1);
}

namespace {

/* Forks when count is one of the set; true in the child, which is to fail
 * this allocation. */
bool
fork_here(long count)
{
	FakeLibMem &m = fake_lib_mem;
	if (m.fork_at == nullptr || m.fork_at->count(count) == 0)
		return false;
	int fds[2];
	if (pipe(fds) != 0)
		std::abort();
	std::fflush(nullptr);
	pid_t pid = fork();
	if (pid < 0)
		std::abort();
	if (pid == 0) {
		close(fds[0]);
		m.child = true;
		m.failed_at = count;
		m.fork_at = nullptr;
		m.verdict_fd = fds[1];
		std::fprintf(stderr, "sweep: failing %s %ld\n",
		             m.fork_reallocs ? "library realloc" : "library allocation", count);
		return true;
	}
	close(fds[1]);
	ForkedRun r{count, 0, ""};
	char buf[512];
	ssize_t n;
	while ((n = read(fds[0], buf, sizeof buf)) > 0)
		r.verdict.append(buf, static_cast<std::size_t>(n));
	close(fds[0]);
	if (waitpid(pid, &r.status, 0) != pid)
		std::abort();
	m.forked.push_back(r);
	return false;
}

bool
fail_this_one()
{
	fake_lib_mem.calls++;
	if (!fake_lib_mem.fork_reallocs && fork_here(fake_lib_mem.calls))
		return true;
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
	if (fake_lib_mem.fork_reallocs && fork_here(fake_lib_mem.reallocs))
		fail = true;
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
