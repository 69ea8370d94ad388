#include <tomcrypt.h>

#include "fakes.h"
#include "keys/random_source.h"

FakeRandom fake_random;

namespace {
prng_state stream;
}

void
fake_random_reset()
{
	if (fake_random.started)
		chacha20_prng_done(&stream);
	fake_random = FakeRandom{};
}

unsigned long
random_source_read(unsigned char *out, unsigned long len)
{
	FakeRandom &f = fake_random;
	if (!f.started) {
		chacha20_prng_start(&stream);
		chacha20_prng_add_entropy(reinterpret_cast<const unsigned char *>(f.seed.data()),
		                          static_cast<unsigned long>(f.seed.size()), &stream);
		chacha20_prng_ready(&stream);
		f.started = true;
	}
	f.reads++;
	unsigned long got = chacha20_prng_read(out, len, &stream);
	if (f.fail_at != 0 && f.reads == f.fail_at)
		return f.short_read && len > 0 ? len - 1 : 0;
	return got;
}
