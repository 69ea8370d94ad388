#include "fuzz_util.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
constexpr const char *stdout_file = "stdout.txt";
}

void
fuzz_enter_scratch_dir()
{
	const char *tmp = std::getenv("TMPDIR");
	std::string tmpl = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
	                   "/qelfuzz.XXXXXX";
	if (mkdtemp(tmpl.data()) == nullptr || chdir(tmpl.c_str()) != 0)
		fuzz_fail(std::string("scratch directory: ") + std::strerror(errno));
}

void
fuzz_capture_stdout()
{
	std::fflush(stdout);
	int fd = open(stdout_file, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
	if (fd < 0 || dup2(fd, 1) < 0)
		fuzz_fail(std::string("capturing standard output: ") + std::strerror(errno));
	close(fd);
}

void
fuzz_stdout_clear()
{
	std::fflush(stdout);
	std::clearerr(stdout);
	if (ftruncate(1, 0) != 0)
		fuzz_fail(std::string("emptying standard output: ") + std::strerror(errno));
}

std::string
fuzz_stdout_text()
{
	std::fflush(stdout);
	return fuzz_read_file(stdout_file);
}

std::string
fuzz_read_file(const char *path)
{
	std::FILE *f = std::fopen(path, "rb");
	if (f == nullptr)
		return "<missing>";
	std::string s;
	char buf[4096];
	std::size_t n;
	while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
		s.append(buf, n);
	std::fclose(f);
	return s;
}
