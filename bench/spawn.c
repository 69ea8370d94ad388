/* Runs commands as whole processes, interleaved, and prints one line per
 * run: the command's name, the round, the wall time in nanoseconds from
 * just before fork to the return of wait4, the peak resident set in KiB
 * (wait4's ru_maxrss), the minor page faults, and the exit status (128 +
 * signal when killed).
 *
 *   qel_bench_spawn ROUNDS DIR NAME PROG [ARG...] [-- NAME PROG [ARG...]]...
 *
 * Every command runs in DIR with standard input, output and error on the
 * null device. One unrecorded warm-up round comes first; round r starts at
 * command r modulo the number of commands, so none always follows the same
 * one.
 *
 * Linux keeps the largest resident set a process had, and a forked child
 * starts with its parent's anonymous pages and keeps that figure across
 * exec. This program is static and small, so what a child inherits stays
 * far below any program it measures. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { MAX_COMMANDS = 16 };

struct command {
	const char *name;
	char **argv; /* null-terminated, inside the program's own argv */
};

static long long
now_ns(void)
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

static int
run_once(const struct command *c, int null_fd, long long *wall_ns, struct rusage *ru,
         int *status_out)
{
	long long t0 = now_ns();
	pid_t pid = fork();
	if (pid < 0)
		return -1;
	if (pid == 0) {
		dup2(null_fd, 0);
		dup2(null_fd, 1);
		dup2(null_fd, 2);
		execv(c->argv[0], c->argv);
		_exit(127);
	}
	int status = 0;
	memset(ru, 0, sizeof *ru);
	if (wait4(pid, &status, 0, ru) != pid)
		return -1;
	*wall_ns = now_ns() - t0;
	*status_out = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	return 0;
}

int
main(int argc, char **argv)
{
	if (argc < 5) {
		fprintf(stderr, "usage: %s ROUNDS DIR NAME PROG [ARG...] [-- NAME PROG [ARG...]]...\n",
		        argv[0]);
		return 1;
	}
	long rounds = strtol(argv[1], NULL, 10);
	if (rounds < 1 || chdir(argv[2]) != 0) {
		fprintf(stderr, "%s: bad round count or directory\n", argv[0]);
		return 1;
	}

	struct command cmds[MAX_COMMANDS];
	int count = 0;
	int i = 3;
	while (i < argc) {
		if (count == MAX_COMMANDS || i + 1 >= argc) {
			fprintf(stderr, "%s: too many commands, or a name without a program\n", argv[0]);
			return 1;
		}
		cmds[count].name = argv[i];
		cmds[count].argv = &argv[i + 1];
		int j = i + 1;
		while (j < argc && strcmp(argv[j], "--") != 0)
			j++;
		if (j < argc)
			argv[j] = NULL; /* ends this command's argv */
		count++;
		i = j + 1;
	}

	int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
	if (null_fd < 0) {
		perror("/dev/null");
		return 1;
	}
	for (long r = 0; r <= rounds; r++) {
		for (int k = 0; k < count; k++) {
			const struct command *c = &cmds[(r + k) % count];
			long long wall = 0;
			struct rusage ru;
			int status = 0;
			if (run_once(c, null_fd, &wall, &ru, &status) != 0) {
				perror(c->argv[0]);
				return 1;
			}
			if (r > 0)
				printf("%s\t%ld\t%lld\t%ld\t%ld\t%d\n", c->name, r, wall,
				       ru.ru_maxrss, ru.ru_minflt, status);
		}
	}
	return fflush(stdout) == 0 ? 0 : 1;
}
