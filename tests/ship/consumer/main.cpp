/* A consumer of an installed qelcore: the digest, the host report of a
 * fixed list, and a real key pair, whose public blob must hash to the key
 * hash that qelkeypair would print. Prints a fixed text; exits 1 on any
 * failure. */
#include <cstdio>
#include <cstring>

#include "core/error.h"
#include "core/sha256.h"
#include "hostid/report.h"
#include "keys/generate.h"
#include "keys/keypair.h"

int
main()
{
	char msg[QEL_MSG_SIZE] = "";
	char text[SHA256_HEX_SIZE];

	sha256_hex(text, "abc", 3);
	std::printf("sha256 abc: %s\n", text);

	char first[] = "00:11:22:33:44:55";
	char second[] = "00:11:22:33:44:66";
	char *list[] = {first, second, nullptr};
	if (host_report_write(stdout, list, msg) != QEL_OK) {
		std::fprintf(stderr, "consumer: %s\n", msg);
		return 1;
	}

	KeyPair *kp = keypair_new(msg);
	int rc = kp != nullptr ? keypair_generate(kp, msg) : QEL_ERR_MEMORY;
	if (rc == QEL_OK) {
		char hash[SHA256_HEX_SIZE];
		keypair_public_hash(kp, hash);
		sha256_hex(text, kp->public_der, static_cast<int32_t>(kp->public_der_len));
		bool ok = std::strcmp(hash, text) == 0 && kp->public_der[0] == 0x30 &&
		          kp->private_der_len > kp->public_der_len;
		std::printf("key pair: %s\n", ok ? "ok" : "wrong");
		if (!ok)
			rc = QEL_ERR_CRYPTO;
	} else {
		std::fprintf(stderr, "consumer: %s\n", msg);
	}
	keypair_free(kp);
	if (std::fflush(stdout) != 0)
		return 1;
	return rc == QEL_OK ? 0 : 1;
}
