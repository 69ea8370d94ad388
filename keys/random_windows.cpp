#include "keys/random_source.h"

#include <windows.h>
#include <wincrypt.h>

namespace {

/* CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET, and the same with
 * CRYPT_NEWKEYSET for a machine whose key set does not exist yet. */
constexpr DWORD ACQUIRE_FLAGS = CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET;
static_assert(ACQUIRE_FLAGS == 0xF0000020);
static_assert((ACQUIRE_FLAGS | CRYPT_NEWKEYSET) == 0xF0000028);

} // namespace

unsigned long
random_source_read(unsigned char *out, unsigned long len)
{
	/* Each request opens and closes its own provider context. */
	HCRYPTPROV prov = 0;
	if (!CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, ACQUIRE_FLAGS) &&
	    !CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL,
	                          ACQUIRE_FLAGS | CRYPT_NEWKEYSET))
		return 0;
	/* unsigned long and DWORD are both 32 bits wide here. */
	BOOL ok = CryptGenRandom(prov, len, out);
	CryptReleaseContext(prov, 0);
	return ok ? len : 0;
}
