#include "keys/generate.h"

#include <cstdio>

#include "core/file.h"
#include "core/sha256.h"
#include "keys/key_source.h"

static int
check_absent(const char *path, char *msg)
{
	bool exists = false;
	int rc = file_exists(&exists, path, msg);
	if (rc == QEL_OK && exists) {
		error_set(msg, "file '%s' already exists, delete to generate new", path);
		rc = QEL_ERR_IO;
	}
	return rc;
}

int
check_no_key_files(char *msg)
{
	int rc = check_absent(PRIVATE_KEY_FILE, msg);
	if (rc == QEL_OK)
		rc = check_absent(PUBLIC_KEY_FILE, msg);
	return rc;
}

int
keypair_public_hash(const KeyPair *kp, char *text)
{
	return sha256_hex(text, kp->public_der, static_cast<int32_t>(kp->public_der_len));
}

/* Writes one line of the run's standard output unless one was lost
 * already (the first loss is the one reported). */
static void
say(RunOutput *out, const char *line)
{
	if (out->rc == QEL_OK)
		out->rc = file_printf(stdout, out->msg, "%s\n", line);
}

int
write_key_files(const KeyPair *kp, RunOutput *out, char *msg)
{
	int rc = keypair_write_private(kp, PRIVATE_KEY_FILE, msg);
	if (rc == QEL_OK && out->rc == QEL_OK)
		out->rc = file_printf(stdout, out->msg, "private key file '%s' was written\n",
		                      PRIVATE_KEY_FILE);
	if (rc == QEL_OK)
		rc = keypair_write_public(kp, PUBLIC_KEY_FILE, msg);
	if (rc == QEL_OK && out->rc == QEL_OK)
		out->rc = file_printf(stdout, out->msg, "public key file '%s' was written\n",
		                      PUBLIC_KEY_FILE);
	if (rc == QEL_OK) {
		char hash[QEL_SHA256_HEX_SIZE];
		(void)keypair_public_hash(kp, hash);
		say(out, "key hash:");
		say(out, hash);
		/* The vendor must write the hash down: it has reached standard
		 * output, or the run fails. */
		if (out->rc == QEL_OK)
			out->rc = file_flush(stdout, out->msg);
	}
	return rc;
}

int
qel_generate_keys(char *msg)
{
	int rc = QEL_OK;
	RunOutput out;
	out.rc = QEL_OK;

	KeyPair *kp = keypair_new(msg);
	if (kp == nullptr)
		rc = QEL_ERR_MEMORY;
	if (rc == QEL_OK)
		rc = check_no_key_files(msg);
	if (rc == QEL_OK) {
		say(&out, "generating keys...");
		/* The generation takes a while: show the line now, also when
		 * standard output is a pipe or a file. */
		if (out.rc == QEL_OK)
			out.rc = file_flush(stdout, out.msg);
		rc = keypair_generate(kp, msg);
		if (rc == QEL_OK)
			say(&out, "done!");
	}
	if (rc == QEL_OK)
		rc = write_key_files(kp, &out, msg);
	keypair_free(kp);
	/* A lost line is reported once the key files are complete; they stay,
	 * being valid. A failure of the run itself comes first. */
	if (rc == QEL_OK && out.rc != QEL_OK) {
		error_set(msg, "%s", out.msg);
		rc = out.rc;
	}
	return rc;
}
