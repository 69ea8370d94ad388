/* Two ways to read the adapter list on Linux, in one process, on whatever
 * links the current network namespace has (scripts/bench.sh runs it in the
 * default namespace and in a fresh one with a thousand tap links):
 *
 *   netlink_fill       adapter_source_fill (hostid/adapters_linux.cpp: one
 *                      RTM_GETLINK dump without link statistics) into a
 *                      buffer of the size it asked for, then a walk of the
 *                      records: the steady state of hostid_list_get's loop
 *   hostid_list_get    the whole call: buffers from 15000 bytes up as the
 *                      source asks, the walk, the strings, all released
 *   getifaddrs_walk    glibc's getifaddrs (a link dump with statistics and
 *                      an address dump), a walk of its AF_PACKET entries,
 *                      freeifaddrs
 *
 * Each walk counts the qualifying links (a six-byte address, neither
 * loopback nor tunnel) into the counter "links", so the runs can be seen to
 * have read the same list. scripts/bench.sh asks for repetitions, randomly
 * interleaved, so the three share the machine's ups and downs. */
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>
#include <sys/socket.h>

#include "core/error.h"
#include "hostid/adapter_source.h"
#include "hostid/hostid.h"

namespace {

/* What the netlink source maps to IF_TYPE_TUNNEL, and the loopback type;
 * both are left out of the getifaddrs walk as they are out of the list. */
bool
hatype_qualifies(unsigned short hatype)
{
	switch (hatype) {
	case ARPHRD_LOOPBACK:
	case ARPHRD_TUNNEL:
	case ARPHRD_TUNNEL6:
	case ARPHRD_SIT:
	case ARPHRD_IPGRE:
	case 823: /* ARPHRD_IP6GRE */
	case ARPHRD_NONE:
		return false;
	default:
		return true;
	}
}

void
bm_netlink_fill(benchmark::State &state)
{
	/* The size the source asks for, found before the clock runs. */
	std::vector<unsigned char> buffer(HOSTID_FIRST_BUFFER_SIZE);
	uint32_t size = HOSTID_FIRST_BUFFER_SIZE;
	while (adapter_source_fill(buffer.data(), &size) == ADAPTER_BUFFER_OVERFLOW)
		buffer.assign(size, 0);
	double resized = 0;
	std::size_t links = 0;
	for (auto _ : state) {
		uint32_t rc = adapter_source_fill(buffer.data(), &size);
		while (rc == ADAPTER_BUFFER_OVERFLOW) {
			/* The list grew past the headroom: a buffer of the size asked
			 * for, as hostid_list_get's next attempt has. */
			resized++;
			buffer.assign(size, 0);
			rc = adapter_source_fill(buffer.data(), &size);
		}
		if (rc != 0) {
			state.SkipWithError(std::strerror(static_cast<int>(rc)));
			break;
		}
		links = 0;
		unsigned sum = 0;
		for (const void *r = adapter_source_first(buffer.data()); r != nullptr;
		     r = adapter_source_next(r)) {
			AdapterInfo info;
			adapter_source_read(r, &info);
			if (info.address_length == 6 && info.if_type != IF_TYPE_TUNNEL &&
			    info.if_type != IF_TYPE_SOFTWARE_LOOPBACK) {
				links++;
				sum += info.address[5];
			}
		}
		benchmark::DoNotOptimize(sum);
	}
	state.counters["links"] = static_cast<double>(links);
	state.counters["buffer_bytes"] = static_cast<double>(size);
	state.counters["resized"] = resized;
}

void
bm_hostid_list_get(benchmark::State &state)
{
	std::size_t links = 0;
	for (auto _ : state) {
		char msg[QEL_MSG_SIZE] = "";
		char **list = nullptr;
		if (hostid_list_get(&list, msg) != QEL_OK) {
			state.SkipWithError(msg);
			break;
		}
		links = hostid_list_count(list);
		benchmark::DoNotOptimize(list[0][0]);
		hostid_list_free(list);
	}
	state.counters["links"] = static_cast<double>(links);
}

void
bm_getifaddrs_walk(benchmark::State &state)
{
	std::size_t links = 0;
	for (auto _ : state) {
		struct ifaddrs *list = nullptr;
		if (getifaddrs(&list) != 0) {
			state.SkipWithError(std::strerror(errno));
			break;
		}
		links = 0;
		unsigned sum = 0;
		for (const struct ifaddrs *a = list; a != nullptr; a = a->ifa_next) {
			if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_PACKET)
				continue;
			const auto *ll = reinterpret_cast<const struct sockaddr_ll *>(a->ifa_addr);
			if (ll->sll_halen == 6 && hatype_qualifies(ll->sll_hatype)) {
				links++;
				sum += ll->sll_addr[5];
			}
		}
		benchmark::DoNotOptimize(sum);
		freeifaddrs(list);
	}
	state.counters["links"] = static_cast<double>(links);
}

} // namespace

BENCHMARK(bm_netlink_fill)->Name("netlink_fill")->UseRealTime();
BENCHMARK(bm_hostid_list_get)->Name("hostid_list_get")->UseRealTime();
BENCHMARK(bm_getifaddrs_walk)->Name("getifaddrs_walk")->UseRealTime();

BENCHMARK_MAIN();
