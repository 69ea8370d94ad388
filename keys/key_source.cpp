#include "keys/key_source.h"

#include "core/file.h"

static int
write_values(std::FILE *f, const unsigned char *bytes, uint32_t count, char *msg)
{
	int rc = QEL_OK;
	for (uint32_t i = 0; rc == QEL_OK && i < count; i++) {
		if (i == 0)
			rc = file_printf(f, msg, "   ");
		else if (i % KEY_SOURCE_VALUES_PER_LINE == 0)
			rc = file_printf(f, msg, "\n   ");
		if (rc == QEL_OK)
			rc = file_printf(f, msg, " %3d", static_cast<unsigned int>(bytes[i]));
		if (rc == QEL_OK && i + 1 < count)
			rc = file_printf(f, msg, ",");
	}
	return rc;
}

int
write_key_source(const unsigned char *bytes, uint32_t count, const char *prefix,
                 const char *key_name, const char *path, bool owner_only, char *msg)
{
	int rc = QEL_OK;
	bool exists = false;

	std::FILE *f = file_create_new(path, owner_only, &exists, msg);
	if (exists)
		error_set(msg, "file '%s' already exists, delete to generate new", path);
	if (f == nullptr)
		rc = QEL_ERR_IO;
	if (rc == QEL_OK)
		rc = file_printf(f, msg, "const unsigned char* %s_get_%s(int *keylen)\n",
		                 prefix, key_name);
	if (rc == QEL_OK)
		rc = file_printf(f, msg, "{\n");
	if (rc == QEL_OK)
		rc = file_printf(f, msg, "  static unsigned char %s_keyarray[] = {\n", prefix);
	if (rc == QEL_OK)
		rc = write_values(f, bytes, count, msg);
	if (rc == QEL_OK)
		rc = file_printf(f, msg, " };\n");
	if (rc == QEL_OK)
		rc = file_printf(f, msg, "  *keylen = sizeof (%s_keyarray);\n", prefix);
	if (rc == QEL_OK)
		rc = file_printf(f, msg, "  return %s_keyarray;\n", prefix);
	if (rc == QEL_OK)
		rc = file_printf(f, msg, "}\n");
	/* The private key file is the only copy of the secret: it is on the
	 * disk, under its name, before the run says it was written. */
	if (rc == QEL_OK)
		rc = file_sync(f, msg);
	if (rc == QEL_OK)
		rc = file_close(f, msg);
	else
		(void)file_close(f, nullptr);
	if (rc == QEL_OK)
		rc = file_sync_dir(path, msg);
	return rc;
}

int
keypair_write_private(const KeyPair *kp, const char *path, char *msg)
{
	return write_key_source(kp->private_der, kp->private_der_len, "qel",
	                        "private_key", path, true, msg);
}

int
keypair_write_public(const KeyPair *kp, const char *path, char *msg)
{
	return write_key_source(kp->public_der, kp->public_der_len, "qel",
	                        "public_key", path, false, msg);
}
