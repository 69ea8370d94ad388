/* Helpers shared by the unit tests. */
#ifndef QEL_TESTS_TEST_UTIL_H
#define QEL_TESTS_TEST_UTIL_H

#include <string>

/* A fresh directory under the system's temporary directory, removed with
 * everything in it when the object goes. */
struct TempDir {
	std::string path;
	TempDir();
	~TempDir();
	TempDir(const TempDir &) = delete;
	TempDir &operator=(const TempDir &) = delete;
	std::string operator/(const std::string &name) const { return path + "/" + name; }
};

/* The working directory moved to dir for the lifetime of the object. */
struct ChangeDir {
	std::string previous;
	explicit ChangeDir(const std::string &dir);
	~ChangeDir();
	ChangeDir(const ChangeDir &) = delete;
	ChangeDir &operator=(const ChangeDir &) = delete;
};

/* s with each "\n" as the platform writes it to a text-mode stream. */
std::string native_text(const std::string &s);

/* s with each "\n" as "\r\n", as Windows and mail write text. */
std::string crlf(const std::string &s);

/* Whole content of a file; "<missing>" when it cannot be read. */
std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &content);
bool path_exists(const std::string &path);

/* POSIX only (posix_util.cpp). Runs fn in a child whose standard output goes to the file at out_path
 * (or is closed, with out_path empty); returns what fn returned, or -1000
 * when the child died. */
int run_with_stdout(const std::string &out_path, int (*fn)(void *), void *arg);

#endif
