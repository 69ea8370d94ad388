/* Arbitrary adapter lists, served by the fake adapter source, through
 * hostid_list_get_sorted and the whole report (qel_hostid_print_and_save).
 *
 * Input: byte 0 picks an allocation to fail (bit 7 set: allocation
 * (bits 0-3) + 1 of the report run), byte 1 how the source answers (bits
 * 0-1: overflows before it lists; bit 2: an error number instead, byte 2;
 * bit 3: the system has no text for it), then records of a type byte, a
 * length byte (0 to 8) and that many address bytes.
 *
 * Checked: identifiers ascending and unique, each 17 characters of 0-9, a-f
 * and ":", exactly the addresses of the qualifying adapters; the report in
 * the single form exactly when one identifier remains; the file's text the
 * same as standard output's; the failures' codes, messages and what they
 * leave; no block left allocated. */
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "fakes/fakes.h"
#include "fuzz_util.h"
#include "hostid/adapter_source.h"
#include "hostid/hostid.h"
#include "hostid/report.h"

namespace {

constexpr uint32_t types[] = {IF_TYPE_ETHERNET_CSMACD, IF_TYPE_IEEE80211,
                              IF_TYPE_SOFTWARE_LOOPBACK, IF_TYPE_TUNNEL, IF_TYPE_OTHER};
constexpr std::size_t max_records = 1000;

struct Input {
	long fail_at = 0;
	int overflows = 0;
	uint32_t error = 0;
	bool no_text = false;
	std::vector<FakeAdapter> list;
};

Input
decode(const uint8_t *data, std::size_t size)
{
	Input in;
	std::size_t i = 0;
	auto next = [&]() -> uint8_t { return i < size ? data[i++] : 0; };
	uint8_t b0 = next(), b1 = next();
	if ((b0 & 0x80) != 0)
		in.fail_at = (b0 & 0x0f) + 1;
	in.overflows = b1 & 3;
	uint8_t b2 = next();
	if ((b1 & 4) != 0)
		in.error = b2 == ADAPTER_BUFFER_OVERFLOW || b2 == 0 ? 5 : b2;
	in.no_text = (b1 & 8) != 0;
	while (i < size && in.list.size() < max_records) {
		uint8_t t = next();
		FakeAdapter a{t < 5 ? types[t] : t, {}};
		std::size_t len = next() % 9;
		for (std::size_t j = 0; j < len; j++)
			a.address.push_back(next());
		in.list.push_back(a);
	}
	return in;
}

void
set_fakes(const Input &in)
{
	fake_mem_reset();
	fake_adapters_reset();
	fake_adapters.list = in.list;
	fake_adapters.overflows = in.overflows;
	fake_adapters.error = in.error;
	if (in.no_text)
		fake_adapters.no_text = {in.error, ADAPTER_BUFFER_OVERFLOW};
}

bool
is_identifier(const char *s)
{
	std::string t(s);
	if (t.size() != 17)
		return false;
	for (std::size_t k = 0; k < t.size(); k++) {
		char c = t[k];
		bool colon = k % 3 == 2;
		if (colon ? c != ':' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
			return false;
	}
	return true;
}

/* The outcome the source and the allocator make of the input, worked out
 * on its own: the sorted set of identifiers, or the failure. */
struct Expected {
	int rc = QEL_OK;
	std::string msg;
	std::set<std::string> ids;
	long allocations = 0; /* of a run that fails none */
};

Expected
expect(const Input &in)
{
	Expected e;
	for (const FakeAdapter &a : in.list) {
		if (a.address.size() != 6 || a.if_type == IF_TYPE_TUNNEL)
			continue;
		char text[18];
		std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", a.address[0],
		              a.address[1], a.address[2], a.address[3], a.address[4],
		              a.address[5]);
		e.ids.insert(text);
	}
	/* The fake lists 24-byte records into the 15000 bytes offered first. */
	uint32_t needed = static_cast<uint32_t>(in.list.size() * 24);
	uint32_t offered = 15000;
	uint32_t status = ADAPTER_BUFFER_OVERFLOW;
	for (int call = 0; call < 3 && status == ADAPTER_BUFFER_OVERFLOW; call++) {
		e.allocations++;
		if (in.error != 0)
			status = in.error;
		else if (call < in.overflows || needed > offered)
			offered = needed;
		else
			status = 0;
	}
	std::size_t qualifying = 0;
	for (const FakeAdapter &a : in.list)
		if (a.address.size() == 6 && a.if_type != IF_TYPE_TUNNEL)
			qualifying++;
	if (status != 0) {
		e.rc = QEL_ERR_NETWORK;
		if (in.no_text)
			e.msg = "no network interface found";
		else if (status == ADAPTER_BUFFER_OVERFLOW)
			e.msg = "cannot get MAC address: Buffer overflow.\r\n";
		else
			e.msg = "cannot get MAC address: system error " + std::to_string(status);
	} else if (qualifying == 0) {
		e.rc = QEL_ERR_NETWORK;
		e.msg = "no network interface found";
	} else {
		e.allocations += 1 + static_cast<long>(qualifying) + 1;
	}
	return e;
}

std::string
report_text(const std::set<std::string> &ids)
{
	std::string r;
	if (ids.size() == 1) {
		r = "\"hostid\": \"" + *ids.begin() + "\",\n";
	} else {
		r = "\"hostid\": [\n";
		std::size_t k = 0;
		for (const std::string &id : ids)
			r += "  \"" + id + "\"" + (++k < ids.size() ? ",\n" : "\n");
		r += "],\n";
	}
	return r + "\"os\": \"" + platform_name() + "\"\n";
}

void
check_sorted_list(const Input &in, const Expected &e)
{
	set_fakes(in);
	char **list = nullptr;
	char msg[QEL_MSG_SIZE] = "untouched";
	int rc = hostid_list_get_sorted(&list, msg);
	FUZZ_CHECK(rc == e.rc, "sorted list code " + std::to_string(rc));
	if (rc != QEL_OK) {
		FUZZ_CHECK(list == nullptr, "a list after a failure");
		FUZZ_CHECK(msg == e.msg, msg);
	} else {
		std::size_t n = hostid_list_count(list);
		FUZZ_CHECK(n == e.ids.size(), "count " + std::to_string(n));
		std::size_t k = 0;
		for (const std::string &id : e.ids) {
			FUZZ_CHECK(is_identifier(list[k]), list[k]);
			FUZZ_CHECK(k == 0 || std::string(list[k - 1]) < list[k], list[k]);
			FUZZ_CHECK(id == list[k], list[k]);
			k++;
		}
		FUZZ_CHECK(std::string(msg) == "untouched", msg);
	}
	hostid_list_free(list);
	FUZZ_CHECK(fake_mem.live == 0, "blocks left by the sorted list");
	FUZZ_CHECK(fake_adapters.texts_live == 0, "system texts left");
}

void
check_report(const Input &in, const Expected &e)
{
	set_fakes(in);
	fake_mem.fail_at = in.fail_at;
	(void)unlink(HOST_REPORT_FILE);
	fuzz_stdout_clear();
	char msg[QEL_MSG_SIZE] = "untouched";
	int rc = qel_hostid_print_and_save(msg);
	std::string out = fuzz_stdout_text();
	std::string file = fuzz_read_file(HOST_REPORT_FILE);
	FUZZ_CHECK(fake_mem.live == 0, "blocks left by the report");
	FUZZ_CHECK(fake_adapters.texts_live == 0, "system texts left");

	if (in.fail_at != 0 && in.fail_at <= e.allocations) {
		FUZZ_CHECK(rc == QEL_ERR_MEMORY, "code " + std::to_string(rc));
		FUZZ_CHECK(std::string(msg) == "out of memory", msg);
	} else if (e.rc != QEL_OK) {
		FUZZ_CHECK(rc == e.rc, "code " + std::to_string(rc));
		FUZZ_CHECK(msg == e.msg, msg);
	} else {
		FUZZ_CHECK(rc == QEL_OK, std::string("code ") + std::to_string(rc) + " " + msg);
		FUZZ_CHECK(out == report_text(e.ids), out);
		FUZZ_CHECK(file == out, file);
		bool single = out.rfind("\"hostid\": \"", 0) == 0;
		FUZZ_CHECK(single == (e.ids.size() == 1), out);
		return;
	}
	FUZZ_CHECK(out.empty(), out);
	FUZZ_CHECK(file == "<missing>", file);
}

} // namespace

extern "C" int
LLVMFuzzerInitialize(int *, char ***)
{
	fuzz_enter_scratch_dir();
	fuzz_capture_stdout();
	return 0;
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
	Input in = decode(data, size);
	Expected e = expect(in);
	check_sorted_list(in, e);
	check_report(in, e);
	return 0;
}
