/* Key generation and export, read back with a DER reader of our own. The
 * random source is the fake, a repeatable stream: the key of the default
 * seed is the golden key of tests/data (keypair_openssl_test.cpp has
 * OpenSSL check it). A generation takes about a second, so most tests look
 * at the one shared_key(). */
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "fakes/fakes.h"
#include "key_test_util.h"
#include "keys/keypair.h"
#include "oracle.h"

namespace {

Bytes
blob(const unsigned char *p, uint32_t n)
{
	return p == nullptr ? Bytes{} : Bytes(p, p + n);
}

class GeneratedKeyPair : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_EQ(k.rc, QEL_OK) << k.msg;
		ASSERT_EQ(k.dpriv.error, "");
		ASSERT_EQ(k.dpub.error, "");
		ASSERT_EQ(k.dpriv.values.size(), 5u);
		ASSERT_EQ(k.dpub.values.size(), 4u);
		fake_mem_reset();
		fake_random_reset();
	}
	void TearDown() override { EXPECT_EQ(fake_mem.live, 0) << "blocks leaked"; }
	const SharedKey &k = shared_key();
};

TEST_F(GeneratedKeyPair, RecordIsCompleteAndTheMessageUntouched)
{
	EXPECT_EQ(k.msg, "untouched");
	EXPECT_TRUE(k.key_made);
	EXPECT_EQ(k.type, PK_PRIVATE);
	EXPECT_EQ(k.qord, 30);
}

TEST_F(GeneratedKeyPair, BlobsHaveTheFixedLayout)
{
	const Bytes &priv = k.priv, &pub = k.pub;
	EXPECT_EQ(Bytes(priv.begin(), priv.begin() + 2), (Bytes{0x30, 0x82}));
	EXPECT_EQ(Bytes(pub.begin(), pub.begin() + 2), (Bytes{0x30, 0x82}));
	EXPECT_EQ(Bytes(priv.begin() + 4, priv.begin() + 8), (Bytes{0x03, 0x02, 0x07, 0x80}));
	EXPECT_EQ(Bytes(pub.begin() + 4, pub.begin() + 8), (Bytes{0x03, 0x02, 0x07, 0x00}));
	/* g, p, q, y: the same bytes in both; x only in the private blob */
	for (std::size_t i = 0; i < 4; i++)
		EXPECT_EQ(k.dpriv.elements[i], k.dpub.elements[i]) << "element " << i;

	const DerKey &d = k.dpriv;
	int g = bit_count(d.values[0]), p = bit_count(d.values[1]), q = bit_count(d.values[2]),
	    y = bit_count(d.values[3]), x = bit_count(d.values[4]);
	EXPECT_EQ(p, 2048);
	EXPECT_EQ(q, 240);
	EXPECT_EQ(Bytes(d.elements[1].begin(), d.elements[1].begin() + 5),
	          (Bytes{0x02, 0x82, 0x01, 0x01, 0x00}));
	EXPECT_EQ(d.elements[1].size(), 261u);
	EXPECT_EQ(Bytes(d.elements[2].begin(), d.elements[2].begin() + 3),
	          (Bytes{0x02, 0x1f, 0x00}));
	EXPECT_EQ(d.elements[2].size(), 33u);
	std::size_t want_pub = 8 + der_integer_size(g) + der_integer_size(p) +
	                       der_integer_size(q) + der_integer_size(y);
	EXPECT_EQ(pub.size(), want_pub);
	EXPECT_EQ(priv.size(), want_pub + der_integer_size(x));
	EXPECT_EQ(k.dpub.declared, pub.size() - 4);
	EXPECT_EQ(k.dpriv.declared, priv.size() - 4);
	/* The usual sizes: g, y and x are rarely short by a byte or more. */
	if (g >= 2040 && y >= 2040) {
		EXPECT_EQ(pub.size(), 822u + (g == 2048) + (y == 2048));
	}
	if (x >= 232) {
		EXPECT_EQ(priv.size() - pub.size(), x == 240 ? 33u : 32u);
	}
}

TEST_F(GeneratedKeyPair, IsTheGoldenKey)
{
	EXPECT_EQ(key_source_values(golden_file("golden_privkey.c")), k.priv);
	EXPECT_EQ(key_source_values(golden_file("golden_pubkey.c")), k.pub);
	EXPECT_EQ(oracle_sha256_hex(k.pub.data(), k.pub.size()), GOLDEN_KEY_HASH);
}

TEST_F(GeneratedKeyPair, AnotherSeedGivesAnotherKey)
{
	fake_random.seed = "another seed";
	KeyPair *other = keypair_new(nullptr);
	ASSERT_NE(other, nullptr);
	ASSERT_EQ(keypair_generate(other, nullptr), QEL_OK);
	DerKey d = der_key_decode(other->private_der, other->private_der_len);
	ASSERT_EQ(d.values.size(), 5u) << d.error;
	for (std::size_t i = 0; i < 5; i++)
		EXPECT_NE(d.values[i], k.dpriv.values[i]) << "number " << i;
	EXPECT_NE(blob(other->public_der, other->public_der_len), k.pub);
	keypair_free(other);
}

/* The last read of a generation draws the private exponent, after p, q
 * and g exist. There libtomcrypt 1.18.2 returns with all five numbers still
 * allocated; keypair_generate must release them (LeakSanitizer and valgrind
 * tell whether it did). */
TEST_F(GeneratedKeyPair, FailingTheLastReadLeavesNoKey)
{
	fake_random.fail_at = k.reads;
	char m[QEL_MSG_SIZE];
	KeyPair *failed = keypair_new(m);
	ASSERT_NE(failed, nullptr);
	EXPECT_EQ(keypair_generate(failed, m), QEL_ERR_CRYPTO);
	EXPECT_STREQ(m, "could not make DSA key: Error reading the PRNG.");
	EXPECT_EQ(fake_random.reads, k.reads);
	EXPECT_FALSE(failed->key_made);
	EXPECT_EQ(failed->private_der, nullptr);
	EXPECT_EQ(failed->public_der, nullptr);
	keypair_free(failed);
}

TEST_F(GeneratedKeyPair, EachFailureLeavesWhatWasMadeForKeypairFree)
{
	struct Case {
		const char *name;
		long fail_read;
		bool short_read;
		long fail_alloc; /* 1 is the record */
		int rc;
		const char *msg;
		bool key_made, has_private;
	} cases[] = {
	    {"random source fails", 1, false, 0, QEL_ERR_CRYPTO,
	     "could not make DSA key: Error reading the PRNG.", false, false},
	    {"random source delivers one byte less", 1, true, 0, QEL_ERR_CRYPTO,
	     "could not make DSA key: Error reading the PRNG.", false, false},
	    {"private blob allocation", 0, false, 2, QEL_ERR_MEMORY, "out of memory", true, false},
	    {"public blob allocation", 0, false, 3, QEL_ERR_MEMORY, "out of memory", true, true},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		fake_mem_reset();
		fake_random_reset();
		fake_random.fail_at = c.fail_read;
		fake_random.short_read = c.short_read;
		fake_mem.fail_at = c.fail_alloc;
		char m[QEL_MSG_SIZE];
		KeyPair *kp = keypair_new(m);
		ASSERT_NE(kp, nullptr);
		EXPECT_EQ(keypair_generate(kp, m), c.rc);
		EXPECT_STREQ(m, c.msg);
		EXPECT_EQ(kp->key_made, c.key_made);
		EXPECT_EQ(blob(kp->private_der, kp->private_der_len),
		          c.has_private ? k.priv : Bytes{});
		EXPECT_EQ(kp->private_der_len, c.has_private ? k.priv.size() : 0u);
		EXPECT_EQ(kp->public_der, nullptr);
		EXPECT_EQ(kp->public_der_len, 0u);
		keypair_free(kp);
		EXPECT_EQ(fake_mem.live, 0);
	}
}

TEST(KeyPairRecord, AllocationAndRelease)
{
	fake_mem_reset();
	char m[QEL_MSG_SIZE] = "untouched";
	fake_mem.fail_at = 1;
	EXPECT_EQ(keypair_new(m), nullptr);
	EXPECT_STREQ(m, "out of memory");
	fake_mem.fail_at = 2;
	EXPECT_EQ(keypair_new(nullptr), nullptr);
	keypair_free(nullptr);

	fake_mem_reset();
	std::strcpy(m, "untouched");
	KeyPair *kp = keypair_new(m);
	ASSERT_NE(kp, nullptr);
	EXPECT_STREQ(m, "untouched");
	EXPECT_FALSE(kp->key_made);
	EXPECT_EQ(kp->private_der, nullptr);
	EXPECT_EQ(kp->public_der, nullptr);
	EXPECT_EQ(fake_mem.live, 1);
	keypair_free(kp);
	EXPECT_EQ(fake_mem.live, 0);
}

} // namespace
