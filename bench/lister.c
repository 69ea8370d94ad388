/* The floor for a host-ID lister: a bare, statically linked C program that
 * prints the hardware address of every link with a six-byte address
 * (loopback left out), one a line, through getifaddrs. No sorting, no
 * de-duplication, no file. */
#define _GNU_SOURCE
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <stdio.h>
#include <sys/socket.h>

int
main(void)
{
	struct ifaddrs *list = NULL;
	if (getifaddrs(&list) != 0) {
		perror("getifaddrs");
		return 14;
	}
	for (const struct ifaddrs *a = list; a != NULL; a = a->ifa_next) {
		if (a->ifa_addr == NULL || a->ifa_addr->sa_family != AF_PACKET ||
		    (a->ifa_flags & IFF_LOOPBACK) != 0)
			continue;
		const struct sockaddr_ll *ll = (const struct sockaddr_ll *)(const void *)a->ifa_addr;
		if (ll->sll_halen != 6)
			continue;
		const unsigned char *m = ll->sll_addr;
		printf("%02x:%02x:%02x:%02x:%02x:%02x\n", m[0], m[1], m[2], m[3], m[4], m[5]);
	}
	freeifaddrs(list);
	return fflush(stdout) == 0 ? 0 : 3;
}
