#include "keys/keypair.h"

#include <cstring>

#include "keys/os_prng.h"

KeyPair *
keypair_new(char *msg)
{
	KeyPair *kp = static_cast<KeyPair *>(mem_calloc(1, sizeof(KeyPair)));
	if (kp == nullptr)
		error_set(msg, "out of memory");
	return kp;
}

/* Runs dsa_make_key, and after a failure releases what libtomcrypt 1.18.2
 * leaves behind: its key generation keeps the five numbers allocated when
 * the step after the domain parameters fails, and leaves them dangling
 * (already released) when their initialisation or the domain parameters
 * fail. qord is set exactly when the domain parameters exist, so it tells
 * which case this is; the record started zeroed. */
static int
make_key(dsa_key *key)
{
	int prng = os_prng_register();
	if (prng < 0)
		return CRYPT_INVALID_PRNG;
	int err = dsa_make_key(nullptr, prng, KEYPAIR_GROUP_SIZE, KEYPAIR_MODULUS_SIZE, key);
	if (err != CRYPT_OK) {
		if (key->qord != 0)
			dsa_free(key);
		std::memset(key, 0, sizeof *key);
	}
	return err;
}

/* Exports the key as type into scratch and copies the bytes into a new
 * block at *der. */
static int
export_key(KeyPair *kp, int type, unsigned char *scratch, unsigned char **der,
           uint32_t *der_len, char *msg)
{
	unsigned long len = KEYPAIR_EXPORT_SIZE;
	if (dsa_export(scratch, &len, type, &kp->key) != CRYPT_OK) {
		error_set(msg, "could not export DSA %s key",
		          type == PK_PRIVATE ? "private" : "public");
		return QEL_ERR_CRYPTO;
	}
	*der = static_cast<unsigned char *>(mem_calloc(len, 1));
	if (*der == nullptr) {
		error_set(msg, "out of memory");
		return QEL_ERR_MEMORY;
	}
	std::memcpy(*der, scratch, len);
	*der_len = static_cast<uint32_t>(len);
	return QEL_OK;
}

int
keypair_generate(KeyPair *kp, char *msg)
{
	unsigned char scratch[KEYPAIR_EXPORT_SIZE];
	int rc = QEL_OK;

	/* libtomcrypt's DSA runs on whatever math is bound here. */
	ltc_mp = ltm_desc;

	int err = make_key(&kp->key);
	if (err != CRYPT_OK) {
		error_set(msg, "could not make DSA key: %s", error_to_string(err));
		rc = QEL_ERR_CRYPTO;
	} else {
		kp->key_made = true;
	}
	if (rc == QEL_OK) {
		int stat = 0;
		if (dsa_verify_key(&kp->key, &stat) != CRYPT_OK || stat != 1) {
			error_set(msg, "generated DSA key pair is invalid");
			rc = QEL_ERR_CRYPTO;
		}
	}
	if (rc == QEL_OK)
		rc = export_key(kp, PK_PRIVATE, scratch, &kp->private_der,
		                &kp->private_der_len, msg);
	if (rc == QEL_OK)
		rc = export_key(kp, PK_PUBLIC, scratch, &kp->public_der,
		                &kp->public_der_len, msg);
	/* The private export passed through here. */
	mem_wipe(scratch, sizeof scratch);
	return rc;
}

void
keypair_free(KeyPair *kp)
{
	if (kp == nullptr)
		return;
	mem_wipe(kp->private_der, kp->private_der_len);
	mem_free(kp->private_der);
	mem_free(kp->public_der);
	/* libtommath clears the digits of each number it releases. */
	if (kp->key_made)
		dsa_free(&kp->key);
	mem_wipe(kp, sizeof *kp);
	mem_free(kp);
}
