/* qelkeypair: makes a DSA key pair and writes it as the C sources
 * "qel_privkey.c" and "qel_pubkey.c". */
#include <cstdio>

#include "core/process.h"
#include "core/std_streams.h"
#include "keys/generate.h"

int
main(int argc, char **argv)
{
	char msg[QEL_MSG_SIZE];
	const char *prog = argc > 0 && argv[0] != nullptr ? argv[0] : "qelkeypair";

	if (argc != 1) {
		(void)std::fprintf(stderr, "Usage: %s\n", prog);
		(void)std::fprintf(stderr, "Generate private and public keys for signatures.\n");
		return 1;
	}
	/* A core taken during the run would hold the private key. */
	process_deny_core_dumps();
	/* A reader that leaves early must not stop the run between the key
	 * files: the run completes them and then reports the lost lines. */
	process_ignore_broken_pipe();
	int rc = std_streams_ensure_open(msg);
	if (rc == QEL_OK)
		rc = qel_generate_keys(msg);
	if (rc == QEL_OK)
		return 0;
	/* Nothing is left to report a failed write of this line to. */
	(void)std::fprintf(stderr, "%s: error: %s\n", prog, msg);
	return -rc;
}
