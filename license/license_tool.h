/* The two runs of the program qellicense, from files to files. */
#ifndef QEL_LICENSE_LICENSE_TOOL_H
#define QEL_LICENSE_LICENSE_TOOL_H

#include "core/error.h"

/* What an issue run is given: the private key file as qelkeypair wrote
 * it, the customer's report file, the vendor's members (name, value, ...,
 * null; as qel_license_issue takes them) and the licence file to write. */
struct IssueFiles {
	const char *key;
	const char *report;
	const char *const *members;
	const char *out;
};

/* Issues a licence into the file f->out, which must not exist: refuses at
 * once when it does; reads the key file (key_source_read, private) and the
 * report (at most 65536 bytes); issues (license_issue_named, the files
 * named in the messages); writes the text in text mode to a new file in
 * the same directory, syncs it and gives it its name without ever
 * replacing a file; then prints "licence '<out>' was written". Nothing is
 * left on disk after a failure. Returns QEL_OK, the codes of the steps, or
 * QEL_ERR_IO with "file '<out>' already exists, delete to issue a new
 * licence" (also when the file appears during the run), the file
 * functions' messages, or "cannot write to file: <text>" when only
 * standard output failed (the licence is written then). */
[[nodiscard]] int license_issue_files(const IssueFiles *f, char *msg);

/* Checks the licence file at path (at most 65536 bytes read) with the
 * public key file key on this machine today, as qel_license_check does, the
 * files named in the messages. On QEL_OK prints "licence '<path>' is valid
 * on this machine" and a line "<name>: <value>" for each member of the
 * signed text ("hostid: " and the addresses, separated by ", "), and
 * flushes standard output. Returns QEL_OK, the codes of
 * qel_license_check, QEL_ERR_KEY for the key file, QEL_ERR_IO for a file
 * that cannot be read or lost output. */
[[nodiscard]] int license_check_files(const char *key, const char *path, char *msg);

#endif
