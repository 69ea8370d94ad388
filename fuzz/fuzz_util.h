/* Helpers shared by the fuzz targets: a scratch directory that is the
 * working directory for the whole run, and standard output going to a file
 * there, read back after each input. */
#ifndef QEL_FUZZ_UTIL_H
#define QEL_FUZZ_UTIL_H

#include <cstdio>
#include <cstdlib>
#include <string>

/* Stops the run with a message; libFuzzer keeps the input that did it. */
[[noreturn]] inline void
fuzz_fail(const std::string &what)
{
	std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
	std::fflush(stderr);
	std::abort();
}

#define FUZZ_CHECK(cond, what)                                                            \
	do {                                                                              \
		if (!(cond))                                                              \
			fuzz_fail(std::string(#cond) + ": " + (what));                    \
	} while (0)

/* Makes a fresh directory under the system's temporary directory and moves
 * the process into it. Called once, from LLVMFuzzerInitialize. */
void fuzz_enter_scratch_dir();

/* Sends standard output to the file "stdout.txt" of the scratch directory
 * (opened for appending, so emptying it starts it over). */
void fuzz_capture_stdout();
/* Empties the captured standard output. */
void fuzz_stdout_clear();
/* Flushes standard output and returns what reached it since the last
 * clear. */
std::string fuzz_stdout_text();

/* Whole content of a file, or "<missing>". */
std::string fuzz_read_file(const char *path);

#endif
