/* The whole key generation run behind qelkeypair. */
#ifndef QEL_KEYS_GENERATE_H
#define QEL_KEYS_GENERATE_H

#include "core/error.h"
#include "qel/qelcore.h"
#include "keys/keypair.h"

constexpr const char *PRIVATE_KEY_FILE = "qel_privkey.c";
constexpr const char *PUBLIC_KEY_FILE = "qel_pubkey.c";

/* qel_generate_keys, declared in qel/qelcore.h, refuses while either key
 * file exists, prints "generating keys...", generates the key pair, prints
 * "done!", writes both key files with a line for each, and prints
 * "key hash:" and the SHA-256 of the public blob. A key file is never
 * overwritten, not even one that appears during the generation. A line that
 * cannot be written to standard output does not stop the run: once both
 * key files are complete (they stay) the run returns QEL_ERR_IO with
 * "cannot write to file: <runtime text>". */

/* Standard output of a run: the first lost line's code and message. */
struct RunOutput {
	int rc;
	char msg[QEL_MSG_SIZE];
};

/* QEL_OK when there is no directory entry of either key file's name;
 * otherwise QEL_ERR_IO with "file '<name>' already exists, delete to
 * generate new" (the private file is looked for first), or the message of
 * a look that failed. Any entry counts, whatever its kind, mode or target:
 * the key files are created new and never replace one, so whatever would
 * stop their creation stops the run before a key is made. */
[[nodiscard]] int check_no_key_files(char *msg);

/* Writes both key files of a generated KeyPair, prints their lines and the
 * key hash, and flushes standard output. Returns QEL_OK or QEL_ERR_IO for
 * the key files; a lost line of output is recorded in out instead. */
[[nodiscard]] int write_key_files(const KeyPair *kp, RunOutput *out, char *msg);

/* Fills text (65 bytes) with the key hash of kp; returns 64. */
int keypair_public_hash(const KeyPair *kp, char *text);

#endif
