/* The key generation run where it must refuse before making a key. These
 * runs print nothing; generate_posix_test.cpp runs the ones that print,
 * with standard output captured. */
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "fakes/fakes.h"
#include "keys/generate.h"
#include "test_util.h"

namespace {

const char *const missing = "<missing>";

class GenerateRefusal : public ::testing::Test {
protected:
	void SetUp() override
	{
		fake_mem_reset();
		fake_random_reset();
	}
	void TearDown() override { EXPECT_EQ(fake_mem.live, 0) << "blocks leaked"; }
};

TEST_F(GenerateRefusal, AnExistingKeyFileStopsTheRunBeforeTheKey)
{
	struct Case {
		const char *name;
		const char *priv, *pub; /* content before the run, or missing */
		long fail_alloc;
		int rc;
		std::string msg;
	} cases[] = {
	    {"private key file", "old private key", missing, 0, QEL_ERR_IO,
	     "file 'qel_privkey.c' already exists, delete to generate new"},
	    {"empty private key file", "", missing, 0, QEL_ERR_IO,
	     "file 'qel_privkey.c' already exists, delete to generate new"},
	    {"public key file only", missing, "old public key", 0, QEL_ERR_IO,
	     "file 'qel_pubkey.c' already exists, delete to generate new"},
	    {"both: the private one is named", "a", "b", 0, QEL_ERR_IO,
	     "file 'qel_privkey.c' already exists, delete to generate new"},
	    /* the record comes first, so its failure decides */
	    {"no memory for the record, key file present", "a", missing, 1, QEL_ERR_MEMORY,
	     "out of memory"},
	    {"no memory for the record", missing, missing, 1, QEL_ERR_MEMORY, "out of memory"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		fake_mem_reset();
		fake_random_reset();
		fake_mem.fail_at = c.fail_alloc;
		TempDir dir;
		ChangeDir cd(dir.path);
		if (c.priv != missing)
			write_file("qel_privkey.c", c.priv);
		if (c.pub != missing)
			write_file("qel_pubkey.c", c.pub);
		char msg[QEL_MSG_SIZE];
		EXPECT_EQ(qel_generate_keys(msg), c.rc);
		EXPECT_EQ(std::string(msg), c.msg);
		EXPECT_EQ(fake_random.reads, 0) << "a key was being made";
		EXPECT_EQ(read_file("qel_privkey.c"), c.priv);
		EXPECT_EQ(read_file("qel_pubkey.c"), c.pub);
		fake_mem.calls = 0;
		EXPECT_EQ(qel_generate_keys(nullptr), c.rc);
		EXPECT_EQ(fake_random.reads, 0);
		EXPECT_EQ(fake_mem.live, 0);
	}
}

} // namespace
