#include "hostid/report.h"

#include <cstdlib>
#include <cstring>

#include "core/file.h"
#include "hostid/hostid.h"

int
hostid_compare(const void *a, const void *b)
{
	return std::strcmp(*static_cast<char *const *>(a),
	                   *static_cast<char *const *>(b));
}

int
hostid_list_get_sorted(char ***out, char *msg)
{
	char **list = nullptr;

	*out = nullptr;
	int rc = hostid_list_get(&list, msg);
	if (rc != QEL_OK)
		return rc;

	std::size_t n = hostid_list_count(list);
	std::qsort(list, n, sizeof(char *), hostid_compare);
	std::size_t unique = 1;
	for (std::size_t i = 1; i < n; i++)
		if (std::strcmp(list[i], list[i - 1]) != 0)
			unique++;

	*out = static_cast<char **>(mem_calloc(unique + 1, sizeof(char *)));
	if (*out == nullptr) {
		error_set(msg, "out of memory");
		rc = QEL_ERR_MEMORY;
	} else {
		/* Move the strings over; of each run of equal ones the first stays.
		 * Every moved or released slot is cleared so that freeing the old
		 * array below releases only the array. */
		std::size_t kept = 0;
		(*out)[kept++] = list[0];
		const char *last = list[0];
		list[0] = nullptr;
		for (std::size_t i = 1; i < n; i++) {
			if (std::strcmp(list[i], last) != 0) {
				(*out)[kept++] = list[i];
				last = list[i];
			} else {
				mem_free(list[i]);
			}
			list[i] = nullptr;
		}
	}
	hostid_list_free(list);
	return rc;
}

int
host_report_write(std::FILE *stream, char *const *list, char *msg)
{
	std::size_t n = hostid_list_count(list);
	int rc;

	if (n == 1) {
		rc = file_printf(stream, msg, "\"hostid\": \"%s\",\n", list[0]);
	} else {
		rc = file_printf(stream, msg, "\"hostid\": [\n");
		for (std::size_t j = 0; rc == QEL_OK && j < n; j++) {
			rc = file_printf(stream, msg, "  \"%s\"", list[j]);
			if (rc == QEL_OK)
				rc = file_printf(stream, msg, j + 1 < n ? ",\n" : "\n");
		}
		if (rc == QEL_OK)
			rc = file_printf(stream, msg, "],\n");
	}
	if (rc == QEL_OK)
		rc = file_printf(stream, msg, "\"os\": \"%s\"\n", platform_name());
	return rc;
}

const char *
platform_name()
{
	/* Set by the build for the platform at hand. */
	return QEL_PLATFORM_NAME;
}

int
host_report_output(bool save, char *msg)
{
	char **list = nullptr;

	int rc = hostid_list_get_sorted(&list, msg);
	if (rc == QEL_OK)
		rc = host_report_write(stdout, list, msg);
	/* Standard output is buffered: without this flush a report that never
	 * reaches it would only be lost at exit, after success was reported. */
	if (rc == QEL_OK)
		rc = file_flush(stdout, msg);
	if (rc == QEL_OK && save) {
		std::FILE *f = file_open(HOST_REPORT_FILE, "w", msg);
		if (f == nullptr)
			rc = QEL_ERR_IO;
		if (rc == QEL_OK)
			rc = host_report_write(f, list, msg);
		if (rc == QEL_OK)
			rc = file_close(f, msg);
		else
			(void)file_close(f, nullptr);
	}
	hostid_list_free(list);
	return rc;
}

int
qel_hostid_print(char *msg)
{
	return host_report_output(false, msg);
}

int
qel_hostid_print_and_save(char *msg)
{
	return host_report_output(true, msg);
}
