/* Host identifiers: the hardware addresses of the machine's adapters.
 *
 * A HostIdList is a null-terminated array of pointers to 18-byte heap
 * strings, each a hardware address as "xx:xx:xx:xx:xx:xx" in lower-case
 * hexadecimal. The list owns its strings; hostid_list_free, declared in
 * qel/qelcore.h with the sorted list a product gets, releases both. */
#ifndef QEL_HOSTID_HOSTID_H
#define QEL_HOSTID_HOSTID_H

#include <cstdint>

#include "core/error.h"
#include "qel/qelcore.h"

/* Bytes of one host identifier string, NUL included. */
constexpr std::size_t HOSTID_SIZE = 18;

/* The adapter buffer's first size, and how many times the system is asked
 * in all when it keeps reporting that the buffer is too small. */
constexpr uint32_t HOSTID_FIRST_BUFFER_SIZE = 15000;
constexpr int HOSTID_MAX_ATTEMPTS = 3;

/* Lists the addresses of the adapters that qualify (a 6-byte hardware
 * address, not a tunnel; down and virtual adapters count), in the system's
 * order, duplicates kept. *out must be null on entry. Returns QEL_OK with
 * a list of at least one entry in *out; or, with *out null and nothing
 * left allocated, QEL_ERR_MEMORY ("out of memory") or QEL_ERR_NETWORK
 * ("cannot get MAC address: <system text>" or
 * "no network interface found"). */
[[nodiscard]] int hostid_list_get(char ***out, char *msg);

/* Counts the entries before the first null slot. */
[[nodiscard]] std::size_t hostid_list_count(char *const *list);

/* hostid_list_free (qel/qelcore.h) accepts partly built lists too: it stops
 * at the first null slot. */

#endif
