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

int
write_key_files(const KeyPair *kp, char *msg)
{
	int rc = keypair_write_private(kp, PRIVATE_KEY_FILE, msg);
	if (rc == QEL_OK)
		std::printf("private key file '%s' was written\n", PRIVATE_KEY_FILE);
	if (rc == QEL_OK)
		rc = keypair_write_public(kp, PUBLIC_KEY_FILE, msg);
	if (rc == QEL_OK)
		std::printf("public key file '%s' was written\n", PUBLIC_KEY_FILE);
	if (rc == QEL_OK) {
		char hash[QEL_SHA256_HEX_SIZE];
		(void)keypair_public_hash(kp, hash);
		std::printf("key hash:\n");
		std::puts(hash);
	}
	return rc;
}

int
qel_generate_keys(char *msg)
{
	int rc = QEL_OK;

	KeyPair *kp = keypair_new(msg);
	if (kp == nullptr)
		rc = QEL_ERR_MEMORY;
	if (rc == QEL_OK)
		rc = check_no_key_files(msg);
	if (rc == QEL_OK) {
		std::puts("generating keys...");
		/* The generation takes a while: show the line now, also when
		 * standard output is a pipe or a file. Progress lines are not
		 * checked, so neither is this. */
		(void)std::fflush(stdout);
		rc = keypair_generate(kp, msg);
		if (rc == QEL_OK)
			std::puts("done!");
	}
	if (rc == QEL_OK)
		rc = write_key_files(kp, msg);
	keypair_free(kp);
	return rc;
}
