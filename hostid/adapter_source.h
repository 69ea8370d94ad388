/* The system's list of network adapters, as the host-ID code needs it.
 *
 * This is the platform edge of host identification: each platform has one
 * source file implementing it (adapters_linux.cpp, adapters_windows.cpp) and
 * the tests link a fake. The list lives in a buffer that the caller
 * allocates; its record layout belongs to the platform and is read only
 * through the accessors below. */
#ifndef QEL_HOSTID_ADAPTER_SOURCE_H
#define QEL_HOSTID_ADAPTER_SOURCE_H

#include <cstdint>

/* The source's answer when the buffer is too small (ERROR_BUFFER_OVERFLOW
 * on Windows). */
constexpr uint32_t ADAPTER_BUFFER_OVERFLOW = 111;

/* IANA ifType numbers. */
constexpr uint32_t IF_TYPE_OTHER = 1;
constexpr uint32_t IF_TYPE_ETHERNET_CSMACD = 6;
constexpr uint32_t IF_TYPE_SOFTWARE_LOOPBACK = 24;
constexpr uint32_t IF_TYPE_IEEE80211 = 71;
constexpr uint32_t IF_TYPE_TUNNEL = 131;

/* What the host-ID code reads of one adapter. */
struct AdapterInfo {
	const unsigned char *address; /* hardware address bytes */
	uint32_t address_length;      /* valid bytes at address, at most 8 */
	uint32_t if_type;             /* IANA ifType number */
};

/* Fills buffer, of *size bytes, with the list of every adapter in the
 * system's order. Returns 0; ADAPTER_BUFFER_OVERFLOW after storing the size
 * needed into *size; or another error number of the system. */
[[nodiscard]] uint32_t adapter_source_fill(void *buffer, uint32_t *size);

/* The first adapter of a list filled with 0, or null when it is empty. */
[[nodiscard]] const void *adapter_source_first(const void *buffer);

/* The adapter after record, or null after the last one. */
[[nodiscard]] const void *adapter_source_next(const void *record);

/* Describes record; out->address points into the buffer. */
void adapter_source_read(const void *record, AdapterInfo *out);

/* The system's text for an error number of adapter_source_fill, or null
 * when it has none. For ADAPTER_BUFFER_OVERFLOW it tells why the list did
 * not fit (on Linux: the list kept changing). Release it with adapter_source_free_text. */
[[nodiscard]] char *adapter_source_error_text(uint32_t error);

/* Releases a text from adapter_source_error_text; null is ignored. */
void adapter_source_free_text(char *text);

#endif
