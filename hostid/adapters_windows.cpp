/* The adapter list on Windows, from the IP helper library. */
#include "hostid/adapter_source.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <windows.h>

namespace {

/* Unicast, anycast, multicast and DNS server addresses and the friendly
 * name are not needed: skipping them keeps the list small. */
constexpr ULONG GAA_FLAGS = GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_ANYCAST |
                            GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                            GAA_FLAG_SKIP_FRIENDLY_NAME;
static_assert(GAA_FLAGS == 0x2F);
static_assert(ERROR_BUFFER_OVERFLOW == ADAPTER_BUFFER_OVERFLOW);
static_assert(IF_TYPE_TUNNEL == 131);

constexpr DWORD FORMAT_FLAGS = FORMAT_MESSAGE_ALLOCATE_BUFFER |
                               FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_FROM_SYSTEM;
static_assert(FORMAT_FLAGS == 0x1300);
constexpr DWORD LANGUAGE = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
static_assert(LANGUAGE == 0x400);

} // namespace

uint32_t
adapter_source_fill(void *buffer, uint32_t *size)
{
	ULONG len = *size;
	ULONG rc = GetAdaptersAddresses(AF_UNSPEC, GAA_FLAGS, nullptr,
	                                static_cast<PIP_ADAPTER_ADDRESSES>(buffer), &len);
	*size = len;
	return rc;
}

const void *
adapter_source_first(const void *buffer)
{
	/* A list that holds no adapter is answered with ERROR_NO_DATA, so a
	 * filled buffer starts with a record. */
	return buffer;
}

const void *
adapter_source_next(const void *record)
{
	return static_cast<const IP_ADAPTER_ADDRESSES *>(record)->Next;
}

void
adapter_source_read(const void *record, AdapterInfo *out)
{
	const IP_ADAPTER_ADDRESSES *a = static_cast<const IP_ADAPTER_ADDRESSES *>(record);
	out->address = a->PhysicalAddress;
	out->address_length = a->PhysicalAddressLength;
	out->if_type = a->IfType;
}

char *
adapter_source_error_text(uint32_t error)
{
	char *text = nullptr;
	if (FormatMessageA(FORMAT_FLAGS, nullptr, error, LANGUAGE,
	                   reinterpret_cast<LPSTR>(&text), 0, nullptr) == 0)
		return nullptr;
	return text;
}

void
adapter_source_free_text(char *text)
{
	if (text != nullptr)
		LocalFree(text);
}
