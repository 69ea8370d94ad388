/* The host report: the machine's host identifiers, sorted and without
 * duplicates, and the platform name, as a block of JSON object members
 * (no enclosing braces):
 *
 *   "hostid": "00:11:22:33:44:55",        one identifier
 *   "os": "Linux"
 *
 *   "hostid": [                           any other number
 *     "00:11:22:33:44:55",
 *     "00:11:22:33:44:66"
 *   ],
 *   "os": "Linux"
 */
#ifndef QEL_HOSTID_REPORT_H
#define QEL_HOSTID_REPORT_H

#include <cstdio>

#include "core/error.h"
#include "qel/qelcore.h"

/* Name of the report file, in the current directory. */
constexpr const char *HOST_REPORT_FILE = "qelhostid.txt";

/* hostid_list_get_sorted, qel_hostid_print and qel_hostid_print_and_save
 * are declared in qel/qelcore.h. The sorted list is
 * hostid_list_get's, sorted and without duplicates; its strings are those
 * hostid_list_get made. The two entry points are host_report_output without
 * and with save. */

/* qsort comparison of two list slots: strcmp of the strings. */
int hostid_compare(const void *a, const void *b);

/* Writes the report for list to stream, stopping at the first failed
 * write. Returns QEL_OK or QEL_ERR_IO. */
[[nodiscard]] int host_report_write(std::FILE *stream, char *const *list, char *msg);

/* Name of the platform the library was built for. */
[[nodiscard]] const char *platform_name();

/* Enumerates, writes the report to standard output and flushes it, then,
 * with save, writes it to the report file (created or replaced). The report
 * is complete on standard output before the file is opened. Returns QEL_OK,
 * QEL_ERR_MEMORY, QEL_ERR_IO or QEL_ERR_NETWORK. */
[[nodiscard]] int host_report_output(bool save, char *msg);

#endif
