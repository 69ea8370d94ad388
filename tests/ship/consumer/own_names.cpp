// A C++ product with functions of its own that bear the names and the
// parameter types of functions inside qelcore (so the same link names):
// they must neither clash with the library's at the link ("multiple
// definition") nor stand in for them inside it. Each fails loudly when the
// library calls it; the product's own calls reach it. Prints the machine's
// hardware addresses, one per line, as qelhostid lists them. Exits 0, or
// with the negated result code after an error line.
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <qel/qelcore.h>

namespace {

[[noreturn]] void
called_by_library(const char *name)
{
	(void)std::fprintf(stderr, "own_names: the library called the product's %s\n", name);
	std::abort();
}

bool product_calls = false;

}

void
error_set(char *msg, const char *format, ...)
{
	(void)msg;
	(void)format;
	if (!product_calls)
		called_by_library("error_set");
}

int
str_format(char *dst, std::size_t capacity, const char *format, ...)
{
	(void)dst;
	(void)capacity;
	(void)format;
	if (!product_calls)
		called_by_library("str_format");
	return -42;
}

void *
mem_calloc(std::size_t count, std::size_t size)
{
	(void)count;
	(void)size;
	if (!product_calls)
		called_by_library("mem_calloc");
	return nullptr;
}

std::FILE *
file_open(const char *path, const char *mode, char *msg)
{
	(void)path;
	(void)mode;
	(void)msg;
	if (!product_calls)
		called_by_library("file_open");
	return nullptr;
}

int
main()
{
	char msg[QEL_MSG_SIZE];
	char **list = nullptr;

	product_calls = true;
	error_set(msg, "%s", "x");
	if (str_format(msg, sizeof msg, "%s", "x") != -42 || mem_calloc(1, 1) != nullptr ||
	    file_open("x", "r", msg) != nullptr) {
		(void)std::fprintf(stderr, "own_names: the product's calls reach other functions\n");
		return 1;
	}
	product_calls = false;

	int rc = hostid_list_get_sorted(&list, msg);
	if (rc != QEL_OK) {
		(void)std::fprintf(stderr, "own_names: error: %s\n", msg);
		return -rc;
	}
	for (std::size_t i = 0; list[i] != nullptr; i++)
		(void)std::printf("%s\n", list[i]);
	hostid_list_free(list);
	return std::fflush(stdout) == 0 ? 0 : 1;
}
