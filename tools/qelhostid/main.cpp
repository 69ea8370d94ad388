/* qelhostid: prints this machine's host report and saves it to
 * "qelhostid.txt". */
#include <cstdio>

#include "core/std_streams.h"
#include "hostid/report.h"

int
main(int argc, char **argv)
{
	char msg[QEL_MSG_SIZE];
	const char *prog = argc > 0 && argv[0] != nullptr ? argv[0] : "qelhostid";

	if (argc != 1) {
		(void)std::fprintf(stderr, "Usage: %s\n", prog);
		(void)std::fprintf(stderr, "Print host ID on stdout.\n");
		return 1;
	}
	int rc = std_streams_ensure_open(msg);
	if (rc == QEL_OK)
		rc = qel_hostid_print_and_save(msg);
	if (rc == QEL_OK)
		return 0;
	/* Nothing is left to report a failed write of this line to. */
	(void)std::fprintf(stderr, "%s: error: %s\n", prog, msg);
	return -rc;
}
