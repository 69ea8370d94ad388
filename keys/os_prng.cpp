#include "keys/os_prng.h"

#include <tomcrypt.h>

#include "keys/random_source.h"

/* libtomcrypt's own sprng would serve these reads through rng_get_bytes,
 * which falls back to a clock-timing generator when the system's source
 * cannot be read: key generation then spins for minutes and, if it ends,
 * makes keys from a weak source. This descriptor fails instead. */

namespace {

int
os_prng_start(prng_state *)
{
	return CRYPT_OK;
}

int
os_prng_add_entropy(const unsigned char *, unsigned long, prng_state *)
{
	return CRYPT_OK;
}

int
os_prng_ready(prng_state *)
{
	return CRYPT_OK;
}

unsigned long
os_prng_read(unsigned char *out, unsigned long len, prng_state *)
{
	return random_source_read(out, len);
}

int
os_prng_done(prng_state *)
{
	return CRYPT_OK;
}

int
os_prng_export(unsigned char *, unsigned long *len, prng_state *)
{
	*len = 0;
	return CRYPT_OK;
}

int
os_prng_import(const unsigned char *, unsigned long, prng_state *)
{
	return CRYPT_OK;
}

int
os_prng_test()
{
	return CRYPT_NOP;
}

const struct ltc_prng_descriptor os_prng_desc = {
	"qel_os", 0, os_prng_start, os_prng_add_entropy, os_prng_ready,
	os_prng_read, os_prng_done, os_prng_export, os_prng_import, os_prng_test,
};

} // namespace

int
os_prng_register()
{
	return register_prng(&os_prng_desc);
}
