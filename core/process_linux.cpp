#include "core/process.h"

#include <csignal>

#include <sys/prctl.h>
#include <sys/resource.h>

void
process_deny_core_dumps()
{
	/* Non-dumpable also bars ptrace by processes of the same user and
	 * makes /proc/<pid>/mem root's alone. */
	(void)prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
	struct rlimit none = {0, 0};
	(void)setrlimit(RLIMIT_CORE, &none);
}

void
process_ignore_broken_pipe()
{
	(void)std::signal(SIGPIPE, SIG_IGN);
}
