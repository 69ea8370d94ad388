/* The adapter list on Linux, from the kernel's link table (netlink
 * RTM_GETLINK), in the kernel's order of interface indexes, down links
 * included. */
#include "hostid/adapter_source.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if_arp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/error.h"

namespace {

/* One record of the list; records follow each other in the buffer. */
struct LinuxAdapter {
	const LinuxAdapter *next;
	uint32_t if_type;
	uint32_t address_length;
	unsigned char address[8];
};

/* Not in glibc's <net/if_arp.h>, whose <linux/...> twin clashes with
 * <net/if.h>. */
constexpr unsigned short QEL_ARPHRD_IP6GRE = 823;

/* A Wi-Fi station is an ARPHRD_ETHER link like any NIC in the kernel's
 * table; only the 802.11 link types tell Wi-Fi apart there. Both qualify
 * alike, so nothing is asked beyond the table. */
uint32_t
if_type_of(unsigned short arphrd)
{
	switch (arphrd) {
	case ARPHRD_LOOPBACK:
		return IF_TYPE_SOFTWARE_LOOPBACK;
	case ARPHRD_ETHER:
		return IF_TYPE_ETHERNET_CSMACD;
	case ARPHRD_IEEE80211:
	case ARPHRD_IEEE80211_PRISM:
	case ARPHRD_IEEE80211_RADIOTAP:
		return IF_TYPE_IEEE80211;
	case ARPHRD_TUNNEL:
	case ARPHRD_TUNNEL6:
	case ARPHRD_SIT:
	case ARPHRD_IPGRE:
	case QEL_ARPHRD_IP6GRE:
	case ARPHRD_NONE: /* tun, WireGuard: links without a hardware address */
		return IF_TYPE_TUNNEL;
	default:
		return IF_TYPE_OTHER;
	}
}

struct FillState {
	unsigned char *buffer;
	uint32_t size;
	uint32_t needed;
	LinuxAdapter *last;
	bool interrupted; /* the link table changed during the dump */
};

/* A host adding links all the while interrupts most dumps of a long list,
 * and one whole dump is enough: an interrupted dump is read again at once,
 * as long as one more dump like the last still ends within half a second
 * of the call's start. The caller asks at most three times, and the first
 * call of a long list only learns its size (its buffer cannot hold it, so
 * it is not read again), so a run spends at most about one and a half
 * seconds however slow the dumps are (about 50 ms each at 4000 links on a
 * busy machine); the count bounds the dumps when they are fast. */
constexpr long REREAD_BUDGET_NS = 600000000L;
constexpr int DUMP_TRIES = 64;

/* The first receive buffer holds a kernel datagram of many links; a link
 * whose record alone is larger (hundreds of alternative names) gets a
 * buffer of its size from the heap. */
constexpr std::size_t RECEIVE_SIZE = 32768;

/* Links appear between two requests (container hosts add them all day):
 * a needed size is reported with room for a quarter more, and for as many
 * again when the list was seen changing, since a host adding links in
 * batches can grow it by more than a quarter before the next request. */
uint32_t
with_headroom(uint32_t needed, bool changing)
{
	uint32_t room = (changing ? needed : needed / 4) +
	                8 * static_cast<uint32_t>(sizeof(LinuxAdapter));
	return needed > UINT32_MAX - room ? UINT32_MAX : needed + room;
}

/* The text for a list that overflowed every buffer it was given. */
char kept_changing[] = "the adapter list kept changing";

long
now_ns()
{
	struct timespec t;
	if (clock_gettime(CLOCK_MONOTONIC, &t) != 0)
		return 0;
	return t.tv_sec * 1000000000L + t.tv_nsec;
}

void
add_link(FillState *st, const struct ifinfomsg *ifi, std::size_t attr_len)
{
	LinuxAdapter rec;
	std::memset(&rec, 0, sizeof rec);
	const unsigned char *addr = nullptr;
	std::size_t addr_len = 0;

	/* The attributes follow the ifinfomsg, each padded to RTA_ALIGNTO. */
	const unsigned char *p = reinterpret_cast<const unsigned char *>(ifi) +
	                         NLMSG_ALIGN(sizeof *ifi);
	std::size_t left = attr_len;
	while (left >= sizeof(struct rtattr)) {
		const struct rtattr *rta = reinterpret_cast<const struct rtattr *>(p);
		std::size_t len = rta->rta_len;
		if (len < sizeof(struct rtattr) || len > left)
			break;
		const unsigned char *data = p + RTA_LENGTH(0);
		std::size_t payload = len - RTA_LENGTH(0);
		if (rta->rta_type == IFLA_ADDRESS) {
			addr = data;
			addr_len = payload;
		}
		std::size_t step = RTA_ALIGN(len);
		if (step >= left)
			break;
		p += step;
		left -= step;
	}
	rec.if_type = if_type_of(ifi->ifi_type);
	/* The kernel gives the loopback link a six-byte address of zeros; it
	 * has no hardware address. */
	if (rec.if_type == IF_TYPE_SOFTWARE_LOOPBACK)
		addr_len = 0;
	rec.address_length = static_cast<uint32_t>(addr_len);
	if (addr != nullptr)
		std::memcpy(rec.address, addr,
		            addr_len < sizeof rec.address ? addr_len : sizeof rec.address);

	uint32_t offset = st->needed;
	st->needed += static_cast<uint32_t>(sizeof rec);
	if (st->needed > st->size)
		return; /* only counting from here on */
	LinuxAdapter *dst = reinterpret_cast<LinuxAdapter *>(st->buffer + offset);
	*dst = rec;
	if (st->last != nullptr)
		st->last->next = dst;
	st->last = dst;
}

/* Receives the next datagram whole into *rx, of *rx_size bytes, moving to
 * a heap buffer (*heap, released by the caller) when the datagram is
 * larger: a cut datagram would lose links without a word. Returns the
 * datagram's length, or a negative errno value. */
ssize_t
receive_whole(int fd, unsigned char **rx, std::size_t *rx_size, unsigned char **heap)
{
	for (;;) {
		/* Only the length: MSG_TRUNC reports the datagram's whole size. */
		ssize_t n = recv(fd, *rx, 0, MSG_PEEK | MSG_TRUNC);
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0)
			return -errno;
		std::size_t want = static_cast<std::size_t>(n);
		if (want > *rx_size) {
			mem_free(*heap);
			*heap = static_cast<unsigned char *>(mem_calloc(want, 1));
			if (*heap == nullptr)
				return -ENOMEM;
			*rx = *heap;
			*rx_size = want;
		}
		n = recv(fd, *rx, *rx_size, 0);
		if (n < 0 && errno == EINTR)
			continue;
		return n < 0 ? -errno : n;
	}
}

/* Reads the whole link dump, handing every link to add_link. Returns 0 or
 * an errno value. */
uint32_t
dump_links(int fd, uint32_t seq, FillState *st)
{
	struct {
		struct nlmsghdr nh;
		struct ifinfomsg ifi;
		struct rtattr ext_attr;
		uint32_t ext_mask;
	} req;
	static_assert(sizeof req == NLMSG_LENGTH(sizeof req.ifi) + RTA_LENGTH(sizeof req.ext_mask));
	std::memset(&req, 0, sizeof req);
	req.nh.nlmsg_len = sizeof req;
	req.nh.nlmsg_type = RTM_GETLINK;
	req.nh.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
	req.nh.nlmsg_seq = seq;
	req.ifi.ifi_family = AF_UNSPEC;
	/* The filter leaves out each link's IPv6 counters (in IFLA_AF_SPEC)
	 * and the counters of SR-IOV virtual functions: a tap's record drops
	 * from about 1.5 to 1.1 KiB, a shorter dump that links added meanwhile
	 * interrupt less often. The link's own counters (IFLA_STATS64 and
	 * IFLA_STATS) stay: a link dump always carries them. */
	req.ext_attr.rta_type = IFLA_EXT_MASK;
	req.ext_attr.rta_len = RTA_LENGTH(sizeof req.ext_mask);
	req.ext_mask = RTEXT_FILTER_SKIP_STATS;

	struct sockaddr_nl kernel;
	std::memset(&kernel, 0, sizeof kernel);
	kernel.nl_family = AF_NETLINK;
	if (sendto(fd, &req, sizeof req, 0, reinterpret_cast<struct sockaddr *>(&kernel),
	           sizeof kernel) < 0)
		return static_cast<uint32_t>(errno);

	alignas(struct nlmsghdr) unsigned char first[RECEIVE_SIZE];
	unsigned char *rx = first;
	unsigned char *heap = nullptr;
	std::size_t rx_size = sizeof first;
	uint32_t err = 0;
	bool done = false;
	while (!done && err == 0) {
		ssize_t n = receive_whole(fd, &rx, &rx_size, &heap);
		if (n <= 0) {
			err = n == 0 ? EPROTO : static_cast<uint32_t>(-n);
			break;
		}
		/* Messages follow each other at NLMSG_ALIGNTO; each must lie
		 * whole inside the datagram. */
		const std::size_t total = static_cast<std::size_t>(n);
		std::size_t off = 0;
		while (!done && err == 0 && total - off >= sizeof(struct nlmsghdr)) {
			const struct nlmsghdr *nh =
			    reinterpret_cast<const struct nlmsghdr *>(rx + off);
			if (nh->nlmsg_len < sizeof(struct nlmsghdr) || nh->nlmsg_len > total - off)
				break;
			/* Links added or removed while the kernel was dumping: the
			 * list may lack some or hold gone ones. */
			if ((nh->nlmsg_flags & NLM_F_DUMP_INTR) != 0)
				st->interrupted = true;
			if (nh->nlmsg_type == NLMSG_DONE) {
				done = true;
			} else if (nh->nlmsg_type == NLMSG_ERROR) {
				const struct nlmsgerr *e =
				    static_cast<const struct nlmsgerr *>(NLMSG_DATA(nh));
				done = true;
				err = e->error == 0 ? 0 : static_cast<uint32_t>(-e->error);
			} else if (nh->nlmsg_type == RTM_NEWLINK &&
			           nh->nlmsg_len >= NLMSG_LENGTH(sizeof(struct ifinfomsg))) {
				add_link(st, static_cast<const struct ifinfomsg *>(NLMSG_DATA(nh)),
				         nh->nlmsg_len - NLMSG_LENGTH(sizeof(struct ifinfomsg)));
			}
			std::size_t step = NLMSG_ALIGN(nh->nlmsg_len);
			off = step < total - off ? off + step : total;
		}
		/* Bytes left over are a message cut short: what it said is
		 * unknown, and guessing would lose links without a word. */
		if (!done && err == 0 && off != total)
			err = EPROTO;
	}
	mem_free(heap);
	return err;
}

} // namespace

uint32_t
adapter_source_fill(void *buffer, uint32_t *size)
{
	int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
	if (fd < 0)
		return static_cast<uint32_t>(errno);
	FillState st;
	uint32_t err = 0;
	const long start = now_ns();
	for (uint32_t seq = 1; seq <= DUMP_TRIES; seq++) {
		const long dump_start = now_ns();
		std::memset(buffer, 0, *size);
		st = {static_cast<unsigned char *>(buffer), *size, 0, nullptr, false};
		err = dump_links(fd, seq, &st);
		/* A list that does not fit is not read again: the caller needs
		 * a larger buffer first. */
		if (err != 0 || !st.interrupted || st.needed > *size)
			break;
		/* Another dump only when one more as long as the last one still
		 * ends within the budget. */
		const long end = now_ns();
		if (end - start + (end - dump_start) > REREAD_BUDGET_NS)
			break;
	}
	close(fd);
	if (err != 0)
		return err;
	/* A list still changing is answered like one that did not fit: the
	 * caller asks again, and gives up after its last attempt. */
	if (st.needed > *size || st.interrupted) {
		uint32_t wanted = with_headroom(st.needed, st.interrupted);
		*size = wanted > *size ? wanted : *size;
		return ADAPTER_BUFFER_OVERFLOW;
	}
	/* An empty list is marked by a first record that stays all zeros. */
	return 0;
}

const void *
adapter_source_first(const void *buffer)
{
	const LinuxAdapter *first = static_cast<const LinuxAdapter *>(buffer);
	return first->if_type == 0 ? nullptr : first;
}

const void *
adapter_source_next(const void *record)
{
	return static_cast<const LinuxAdapter *>(record)->next;
}

void
adapter_source_read(const void *record, AdapterInfo *out)
{
	const LinuxAdapter *a = static_cast<const LinuxAdapter *>(record);
	out->address = a->address;
	out->address_length = a->address_length;
	out->if_type = a->if_type;
}

char *
adapter_source_error_text(uint32_t error)
{
	/* The overflow answer is ours, not an errno value: ECONNREFUSED has the
	 * same number but never comes from the kernel's netlink socket. Both
	 * texts are static; adapter_source_free_text leaves them be. */
	if (error == ADAPTER_BUFFER_OVERFLOW)
		return kept_changing;
	return std::strerror(static_cast<int>(error));
}

void
adapter_source_free_text(char *)
{
}
