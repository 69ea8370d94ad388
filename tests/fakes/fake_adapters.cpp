#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fakes.h"
#include "hostid/adapter_source.h"

FakeAdapters fake_adapters;

namespace {

struct Record {
	const Record *next;
	uint32_t if_type;
	uint32_t length;
	unsigned char address[8];
};

} // namespace

void
fake_adapters_reset()
{
	fake_adapters = FakeAdapters{};
}

FakeAdapter
fake_ethernet(const char *text)
{
	unsigned int b[6];
	if (std::sscanf(text, "%x:%x:%x:%x:%x:%x", &b[0], &b[1], &b[2], &b[3], &b[4],
	                &b[5]) != 6)
		std::abort();
	FakeAdapter a{IF_TYPE_ETHERNET_CSMACD, {}};
	for (unsigned int v : b)
		a.address.push_back(static_cast<unsigned char>(v));
	return a;
}

uint32_t
adapter_source_fill(void *buffer, uint32_t *size)
{
	FakeAdapters &f = fake_adapters;
	f.offered.push_back(*size);
	if (f.error != 0)
		return f.error;
	uint32_t needed = static_cast<uint32_t>(f.list.size() * sizeof(Record));
	std::size_t call = f.offered.size() - 1;
	if (static_cast<int>(call) < f.overflows) {
		*size = call < f.asked.size() ? f.asked[call] : needed;
		return ADAPTER_BUFFER_OVERFLOW;
	}
	if (needed > *size) {
		*size = needed;
		return ADAPTER_BUFFER_OVERFLOW;
	}
	Record *r = static_cast<Record *>(buffer);
	for (std::size_t i = 0; i < f.list.size(); i++) {
		const FakeAdapter &a = f.list[i];
		r[i].next = i + 1 < f.list.size() ? &r[i + 1] : nullptr;
		r[i].if_type = a.if_type;
		r[i].length = static_cast<uint32_t>(a.address.size());
		std::size_t n = std::min<std::size_t>(a.address.size(), sizeof r[i].address);
		if (n > 0)
			std::memcpy(r[i].address, a.address.data(), n);
	}
	return 0;
}

const void *
adapter_source_first(const void *buffer)
{
	return fake_adapters.list.empty() ? nullptr : buffer;
}

const void *
adapter_source_next(const void *record)
{
	return static_cast<const Record *>(record)->next;
}

void
adapter_source_read(const void *record, AdapterInfo *out)
{
	const Record *r = static_cast<const Record *>(record);
	out->address = r->address;
	out->address_length = r->length;
	out->if_type = r->if_type;
}

char *
adapter_source_error_text(uint32_t error)
{
	const std::vector<uint32_t> &nt = fake_adapters.no_text;
	if (std::find(nt.begin(), nt.end(), error) != nt.end())
		return nullptr;
	char *text = static_cast<char *>(std::malloc(64));
	if (error == ADAPTER_BUFFER_OVERFLOW)
		std::snprintf(text, 64, "Buffer overflow.\r\n");
	else
		std::snprintf(text, 64, "system error %u", error);
	fake_adapters.texts_live++;
	return text;
}

void
adapter_source_free_text(char *text)
{
	if (text == nullptr)
		return;
	fake_adapters.texts_live--;
	std::free(text);
}
