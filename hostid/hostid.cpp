#include "hostid/hostid.h"

#include "hostid/adapter_source.h"

static bool
adapter_qualifies(const AdapterInfo *a)
{
	return a->address_length == 6 && a->if_type != IF_TYPE_TUNNEL;
}

/* Gets the filled adapter buffer into *buffer, asking again with the size
 * the system wants while it reports an overflow. */
static int
adapter_list_fetch(void **buffer, char *msg)
{
	uint32_t size = HOSTID_FIRST_BUFFER_SIZE;
	uint32_t status = ADAPTER_BUFFER_OVERFLOW;
	for (int attempt = 0; attempt < HOSTID_MAX_ATTEMPTS; attempt++) {
		*buffer = mem_calloc(1, size);
		if (*buffer == nullptr) {
			error_set(msg, "out of memory");
			return QEL_ERR_MEMORY;
		}
		status = adapter_source_fill(*buffer, &size);
		if (status != ADAPTER_BUFFER_OVERFLOW)
			break;
		mem_free(*buffer);
		*buffer = nullptr;
	}
	if (status == 0)
		return QEL_OK;

	char *text = adapter_source_error_text(status);
	if (text != nullptr)
		/* The system's text goes in as it is, line end and all. */
		error_set(msg, "cannot get MAC address: %s", text);
	else
		error_set(msg, "no network interface found");
	adapter_source_free_text(text);
	return QEL_ERR_NETWORK;
}

int
hostid_list_get(char ***out, char *msg)
{
	void *buffer = nullptr;
	std::size_t count = 0;
	AdapterInfo info;

	*out = nullptr;
	int rc = adapter_list_fetch(&buffer, msg);

	if (rc == QEL_OK) {
		for (const void *r = adapter_source_first(buffer); r != nullptr;
		     r = adapter_source_next(r)) {
			adapter_source_read(r, &info);
			if (adapter_qualifies(&info))
				count++;
		}
		if (count == 0) {
			error_set(msg, "no network interface found");
			rc = QEL_ERR_NETWORK;
		}
	}
	if (rc == QEL_OK) {
		*out = static_cast<char **>(mem_calloc(count + 1, sizeof(char *)));
		if (*out == nullptr) {
			error_set(msg, "out of memory");
			rc = QEL_ERR_MEMORY;
		}
	}
	for (std::size_t i = 0; rc == QEL_OK && i < count; i++) {
		(*out)[i] = static_cast<char *>(mem_calloc(HOSTID_SIZE, 1));
		if ((*out)[i] == nullptr) {
			error_set(msg, "out of memory");
			rc = QEL_ERR_MEMORY;
		}
	}
	if (rc == QEL_OK) {
		std::size_t i = 0;
		for (const void *r = adapter_source_first(buffer); r != nullptr;
		     r = adapter_source_next(r)) {
			adapter_source_read(r, &info);
			if (!adapter_qualifies(&info))
				continue;
			const unsigned char *a = info.address;
			(void)str_format((*out)[i++], HOSTID_SIZE,
			                 "%02x:%02x:%02x:%02x:%02x:%02x",
			                 a[0], a[1], a[2], a[3], a[4], a[5]);
		}
	}

	mem_free(buffer);
	if (rc != QEL_OK) {
		hostid_list_free(*out);
		*out = nullptr;
	}
	return rc;
}

std::size_t
hostid_list_count(char *const *list)
{
	std::size_t n = 0;
	while (list != nullptr && list[n] != nullptr)
		n++;
	return n;
}

void
hostid_list_free(char **list)
{
	if (list == nullptr)
		return;
	for (std::size_t i = 0; list[i] != nullptr; i++)
		mem_free(list[i]);
	mem_free(list);
}
