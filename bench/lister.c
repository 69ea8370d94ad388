/* The yardstick for qelhostid: a small, statically linked C program that
 * does the same job the plain way. It takes the six-byte hardware addresses
 * from getifaddrs (AF_PACKET entries, down links included; loopback and
 * tunnel links left out, as qelhostid leaves them out), sorts them with
 * qsort and strcmp, drops duplicates, prints them in the same block as
 * qelhostid and then saves the same text to "lister.txt" in the current
 * directory with fopen(name, "w"), which truncates the previous file.
 * Every write and the close are checked. Exit status: 0, 2 (out of
 * memory), 3 (a write, flush or close failed) or 14 (no list, or no
 * address). */
#define _GNU_SOURCE
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

enum { ID_SIZE = 18 };

static const char file_name[] = "lister.txt";

static int
qualifies(const struct ifaddrs *a)
{
	if (a->ifa_addr == NULL || a->ifa_addr->sa_family != AF_PACKET)
		return 0;
	const struct sockaddr_ll *ll = (const struct sockaddr_ll *)(const void *)a->ifa_addr;
	if (ll->sll_halen != 6)
		return 0;
	switch (ll->sll_hatype) {
	case ARPHRD_LOOPBACK:
	case ARPHRD_TUNNEL:
	case ARPHRD_TUNNEL6:
	case ARPHRD_SIT:
	case ARPHRD_IPGRE:
	case 823: /* ARPHRD_IP6GRE */
	case ARPHRD_NONE:
		return 0;
	default:
		return 1;
	}
}

static int
compare(const void *a, const void *b)
{
	return strcmp((const char *)a, (const char *)b);
}

/* Writes the block for ids[0..n-1]; returns 0, or -1 after a failed write. */
static int
report(FILE *f, char (*ids)[ID_SIZE], size_t n)
{
	int bad = 0;
	if (n == 1) {
		bad |= fprintf(f, "\"hostid\": \"%s\",\n", ids[0]) < 0;
	} else {
		bad |= fprintf(f, "\"hostid\": [\n") < 0;
		for (size_t i = 0; i < n && !bad; i++)
			bad |= fprintf(f, "  \"%s\"%s", ids[i], i + 1 < n ? ",\n" : "\n") < 0;
		bad |= fprintf(f, "],\n") < 0;
	}
	bad |= fprintf(f, "\"os\": \"Linux\"\n") < 0;
	return bad || ferror(f) ? -1 : 0;
}

int
main(void)
{
	struct ifaddrs *list = NULL;
	if (getifaddrs(&list) != 0) {
		perror("getifaddrs");
		return 14;
	}
	size_t count = 0;
	for (const struct ifaddrs *a = list; a != NULL; a = a->ifa_next)
		count += (size_t)qualifies(a);
	char(*ids)[ID_SIZE] = count > 0 ? calloc(count, ID_SIZE) : NULL;
	if (ids == NULL) {
		freeifaddrs(list);
		fprintf(stderr, count > 0 ? "out of memory\n" : "no address\n");
		return count > 0 ? 2 : 14;
	}
	size_t n = 0;
	for (const struct ifaddrs *a = list; a != NULL; a = a->ifa_next) {
		if (!qualifies(a))
			continue;
		const unsigned char *m =
		    ((const struct sockaddr_ll *)(const void *)a->ifa_addr)->sll_addr;
		snprintf(ids[n++], ID_SIZE, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2],
		         m[3], m[4], m[5]);
	}
	freeifaddrs(list);

	qsort(ids, n, ID_SIZE, compare);
	size_t unique = 1;
	for (size_t i = 1; i < n; i++)
		if (strcmp(ids[i], ids[unique - 1]) != 0)
			memcpy(ids[unique++], ids[i], ID_SIZE);

	int rc = 0;
	if (report(stdout, ids, unique) != 0 || fflush(stdout) != 0) {
		perror("standard output");
		rc = 3;
	}
	FILE *f = rc == 0 ? fopen(file_name, "w") : NULL;
	if (rc == 0 && f == NULL) {
		perror(file_name);
		rc = 3;
	}
	if (f != NULL) {
		int bad = report(f, ids, unique);
		if (fclose(f) != 0 || bad) {
			perror(file_name);
			rc = 3;
		}
	}
	free(ids);
	return rc;
}
