#include "oracle.h"

#include <openssl/evp.h>

std::string
oracle_sha256_hex(const void *data, std::size_t n)
{
	unsigned char md[EVP_MAX_MD_SIZE];
	unsigned int len = 0;
	if (EVP_Digest(data, n, md, &len, EVP_sha256(), nullptr) != 1)
		return "openssl failed";
	static const char digits[] = "0123456789abcdef";
	std::string hex;
	for (unsigned int i = 0; i < len; i++) {
		hex += digits[md[i] >> 4];
		hex += digits[md[i] & 15];
	}
	return hex;
}
