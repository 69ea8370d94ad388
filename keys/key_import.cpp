#include "keys/key_import.h"

#include <cstring>

#include "core/sha256.h"
#include "keys/keypair.h"

namespace {

/* libtomcrypt's answer in our terms: its memory failure is ours. */
int
refused(int err, const char *what, char *msg)
{
	if (err == CRYPT_MEM) {
		error_set(msg, "out of memory");
		return QEL_ERR_MEMORY;
	}
	error_set(msg, "%s is not a DSA key made by qelkeypair", what);
	return QEL_ERR_KEY;
}

/* Reads der as a public key in exactly keypair_generate's layout with
 * libtomcrypt's DER codec: the one-bit flag 0 and g, p, q, y, then the
 * same elements encoded again must give der back. Unlike dsa_import this
 * does not work out y^q and g^q modulo p on every call: a public key is the
 * vendor's own, compiled into the product, and a wrong one fails every
 * signature anyway. Returns QEL_OK with the numbers in key, QEL_ERR_KEY
 * (no message) for another layout, or QEL_ERR_MEMORY. */
int
public_key_read(const unsigned char *der, uint32_t len, dsa_key *key, char *msg)
{
	if (ltc_init_multi(&key->g, &key->q, &key->p, &key->x, &key->y, nullptr) != CRYPT_OK) {
		std::memset(key, 0, sizeof *key);
		error_set(msg, "out of memory");
		return QEL_ERR_MEMORY;
	}
	unsigned char flag[1] = {1};
	int err = der_decode_sequence_multi(der, len, LTC_ASN1_BIT_STRING, 1UL, flag,
	                                    LTC_ASN1_INTEGER, 1UL, key->g, LTC_ASN1_INTEGER, 1UL,
	                                    key->p, LTC_ASN1_INTEGER, 1UL, key->q,
	                                    LTC_ASN1_INTEGER, 1UL, key->y, LTC_ASN1_EOL, 0UL,
	                                    nullptr);
	unsigned char again[KEYPAIR_EXPORT_SIZE];
	unsigned long n = sizeof again;
	if (err == CRYPT_OK && flag[0] == 0)
		err = der_encode_sequence_multi(again, &n, LTC_ASN1_BIT_STRING, 1UL, flag,
		                                LTC_ASN1_INTEGER, 1UL, key->g, LTC_ASN1_INTEGER, 1UL,
		                                key->p, LTC_ASN1_INTEGER, 1UL, key->q,
		                                LTC_ASN1_INTEGER, 1UL, key->y, LTC_ASN1_EOL, 0UL,
		                                nullptr);
	int rc = QEL_OK;
	if (err == CRYPT_MEM) {
		error_set(msg, "out of memory");
		rc = QEL_ERR_MEMORY;
	} else if (err != CRYPT_OK || flag[0] != 0 || n != len || std::memcmp(again, der, n) != 0) {
		rc = QEL_ERR_KEY;
	}
	if (rc == QEL_OK) {
		key->type = PK_PUBLIC;
		key->qord = static_cast<int>(ltc_mp.unsigned_size(key->q));
	} else {
		dsa_free(key);
		std::memset(key, 0, sizeof *key);
	}
	return rc;
}

} // namespace

int
key_import(const unsigned char *der, uint32_t len, bool want_private, const char *what,
           dsa_key *key, char *msg)
{
	unsigned char scratch[KEYPAIR_EXPORT_SIZE];
	unsigned long scratch_len = sizeof scratch;
	int rc = QEL_OK;

	/* libtomcrypt's DSA runs on whatever math is bound here. */
	ltc_mp = ltm_desc;
	std::memset(key, 0, sizeof *key);
	if (!want_private) {
		rc = public_key_read(der, len, key, msg);
		if (rc == QEL_OK && (key->qord != KEYPAIR_GROUP_SIZE ||
		                     ltc_mp.count_bits(key->q) != 8 * KEYPAIR_GROUP_SIZE ||
		                     ltc_mp.count_bits(key->p) != 8 * KEYPAIR_MODULUS_SIZE)) {
			dsa_free(key);
			std::memset(key, 0, sizeof *key);
			return refused(CRYPT_INVALID_PACKET, what, msg);
		}
		/* Anything else goes the long way, to say what it is. */
		if (rc != QEL_ERR_KEY)
			return rc;
		rc = QEL_OK;
	}
	int err = dsa_import(der, len, key);
	if (err != CRYPT_OK) {
		/* A failed import leaves nothing allocated in key. */
		std::memset(key, 0, sizeof *key);
		return refused(err, what, msg);
	}
	bool is_private = key->type == PK_PRIVATE;
	if (is_private != want_private) {
		if (is_private)
			error_set(msg, "%s is the private key, not a public key", what);
		else
			error_set(msg, "%s is a public key, not the private key", what);
		rc = QEL_ERR_KEY;
	}
	/* dsa_import takes other layouts and sizes too (OpenSSL's, a
	 * SubjectPublicKeyInfo); only qelkeypair's comes back the same. */
	if (rc == QEL_OK && (key->qord != KEYPAIR_GROUP_SIZE ||
	                     ltc_mp.count_bits(key->q) != 8 * KEYPAIR_GROUP_SIZE ||
	                     ltc_mp.count_bits(key->p) != 8 * KEYPAIR_MODULUS_SIZE))
		rc = refused(CRYPT_INVALID_PACKET, what, msg);
	if (rc == QEL_OK) {
		err = dsa_export(scratch, &scratch_len, key->type, key);
		if (err != CRYPT_OK)
			rc = refused(err, what, msg);
		else if (scratch_len != len || std::memcmp(scratch, der, len) != 0)
			rc = refused(CRYPT_INVALID_PACKET, what, msg);
	}
	if (rc == QEL_OK && is_private) {
		int stat = 0;
		err = dsa_verify_key(key, &stat);
		if (err == CRYPT_MEM) {
			error_set(msg, "out of memory");
			rc = QEL_ERR_MEMORY;
		} else if (err != CRYPT_OK || stat != 1) {
			error_set(msg, "%s fails the DSA key check", what);
			rc = QEL_ERR_KEY;
		}
	}
	/* A private export passed through here. */
	mem_wipe(scratch, sizeof scratch);
	if (rc != QEL_OK) {
		dsa_free(key);
		std::memset(key, 0, sizeof *key);
	}
	return rc;
}

void
key_id_of_public(const unsigned char *der, uint32_t len, char *id)
{
	char hash[QEL_SHA256_HEX_SIZE];
	(void)sha256_hex(hash, der, static_cast<int32_t>(len));
	(void)str_format(id, KEY_ID_SIZE, "%.*s", static_cast<int>(KEY_ID_DIGITS), hash);
}

int
key_id_of(dsa_key *key, const char *what, char *id, char *msg)
{
	unsigned char der[KEYPAIR_EXPORT_SIZE];
	unsigned long len = sizeof der;
	int err = dsa_export(der, &len, PK_PUBLIC, key);
	if (err != CRYPT_OK)
		return refused(err, what, msg);
	key_id_of_public(der, static_cast<uint32_t>(len), id);
	return QEL_OK;
}
