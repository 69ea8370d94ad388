/* The customer's report as the vendor receives it: the text qelhostid
 * printed (hostid/report.h), saved to qelhostid.txt or pasted into a mail
 * and back out of one. */
#ifndef QEL_LICENSE_REPORT_READER_H
#define QEL_LICENSE_REPORT_READER_H

#include <cstddef>

#include "core/error.h"

/* Longest report read, in bytes. */
constexpr std::size_t REPORT_MAX_SIZE = 65536;

/* Reads text (length bytes) as a host report. First each line is cleaned:
 * its line end (LF or CR LF), then any run of spaces, tabs and '>' at its
 * start (indentation, mail quoting: "> ", ">>", "> > ") and of spaces and
 * tabs at its end go; blank lines before and after the report go too, and
 * a leading byte order mark. What is left must be qelhostid's layout: the
 * hostid member as one address or as an array, each address
 * "xx:xx:xx:xx:xx:xx" in lower case, then the os member, a string of 1 to
 * 64 printable ASCII characters other than '"' and '\'. what names the
 * report in messages ("report", "report 'qelhostid.txt'"). *hostids and *os
 * must be null on entry. Returns QEL_OK with the addresses, in the report's
 * order, as a new HostIdList in *hostids (release it with
 * hostid_list_free) and the platform name in a new block at *os (release it
 * with mem_free); otherwise, with both null, QEL_ERR_REPORT ("<what> names
 * no MAC address", "<what> is longer than 65536 bytes", "<what>: line <n>:
 * <what is wrong>") or QEL_ERR_MEMORY ("out of memory"). */
[[nodiscard]] int report_read(const char *text, std::size_t length, const char *what,
                              char ***hostids, char **os, char *msg);

#endif
