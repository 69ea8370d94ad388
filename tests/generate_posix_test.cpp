/* The key generation run with standard output captured: each run happens
 * in a child whose standard output is a file. The fake random source makes
 * the default seed's key the golden one of tests/data. */
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fakes/fakes.h"
#include "key_test_util.h"
#include "core/std_streams.h"
#include "keys/generate.h"
#include "oracle.h"
#include "test_util.h"

namespace {

const std::string line1 = "generating keys...\n";
const std::string line2 = "done!\n";
const std::string line3 = "private key file 'qel_privkey.c' was written\n";

struct Outcome {
	int code;
	std::string out;    /* standard output */
	std::string report; /* "<msg>|live <n>|reads <n>|calls <n>" */
	std::vector<std::string> files;
};

int
generate_and_report(void *arg)
{
	const std::string *report_path = static_cast<const std::string *>(arg);
	char msg[QEL_MSG_SIZE] = "untouched";
	int rc = qel_generate_keys(msg);
	/* what the program's exit would flush */
	std::fflush(stdout);
	std::ofstream(*report_path) << msg << "|live " << fake_mem.live << "|reads "
	                            << fake_random.reads << "|calls " << fake_mem.calls;
	return -rc;
}

/* As the program starts: a closed standard descriptor is taken by the
 * null device, so no key file can take its place. */
int
generate_as_program(void *arg)
{
	char msg[QEL_MSG_SIZE];
	if (std_streams_ensure_open(msg) != QEL_OK)
		return 99;
	return generate_and_report(arg);
}

/* Runs qel_generate_keys in keys (a directory) with the fakes as set and
 * standard output on stdout_path (a fresh file by default; empty: closed). */
Outcome
run_in(const TempDir &keys, const char *stdout_path = nullptr)
{
	TempDir out;
	std::string report = out / "report";
	Outcome o;
	{
		ChangeDir cd(keys.path);
		o.code = stdout_path == nullptr
		             ? run_with_stdout(out / "stdout", generate_and_report, &report)
		             : run_with_stdout(stdout_path, generate_as_program, &report);
	}
	o.out = stdout_path == nullptr ? read_file(out / "stdout") : "";
	o.report = read_file(report);
	for (const auto &e : std::filesystem::directory_iterator(keys.path))
		o.files.push_back(e.path().filename().string());
	std::sort(o.files.begin(), o.files.end());
	return o;
}

class GenerateRun : public ::testing::Test {
protected:
	void SetUp() override
	{
		fake_mem_reset();
		fake_random_reset();
	}
};

TEST_F(GenerateRun, GoldenRunPrintsSixLinesAndWritesTheGoldenFiles)
{
	TempDir keys;
	Outcome o = run_in(keys);
	EXPECT_EQ(o.code, 0);
	/* three allocations in all: record, private blob, public blob */
	EXPECT_EQ(o.report, "untouched|live 0|reads " + std::to_string(shared_key().reads) +
	                        "|calls 3");
	EXPECT_EQ(o.out, line1 + line2 + line3 + "public key file 'qel_pubkey.c' was written\n" +
	                     "key hash:\n" + GOLDEN_KEY_HASH + "\n");
	EXPECT_EQ(o.files, (std::vector<std::string>{"qel_privkey.c", "qel_pubkey.c"}));
	std::string priv = read_file(keys / "qel_privkey.c"), pub = read_file(keys / "qel_pubkey.c");
	EXPECT_EQ(priv, golden_file("golden_privkey.c"));
	EXPECT_EQ(pub, golden_file("golden_pubkey.c"));
	/* the printed hash is that of the bytes listed in the public file */
	Bytes listed = key_source_values(pub);
	EXPECT_EQ(oracle_sha256_hex(listed.data(), listed.size()), GOLDEN_KEY_HASH);
}

/* Any entry at a key file's name, whatever its kind or mode, would stop
 * that file's creation (it never replaces one): the run refuses it at the
 * start, before a key is made, prints nothing and leaves the entry be. */
TEST_F(GenerateRun, AnyEntryAtAKeyFileNameIsRefusedBeforeTheKey)
{
	using Make = void (*)(const std::string &);
	struct Kind {
		const char *name;
		Make make;
	} kinds[] = {
	    {"dangling symlink", [](const std::string &p) { ASSERT_EQ(symlink("gone.c", p.c_str()), 0); }},
	    {"symlink to a file", [](const std::string &p) {
		     write_file(p + ".target", "x");
		     ASSERT_EQ(symlink((p + ".target").c_str(), p.c_str()), 0);
	     }},
	    {"directory", [](const std::string &p) { ASSERT_EQ(mkdir(p.c_str(), 0700), 0); }},
	    {"fifo", [](const std::string &p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
	    {"mode 000", [](const std::string &p) {
		     write_file(p, "old");
		     ASSERT_EQ(chmod(p.c_str(), 0), 0);
	     }},
	    {"write-only", [](const std::string &p) {
		     write_file(p, "old");
		     ASSERT_EQ(chmod(p.c_str(), 0200), 0);
	     }},
	};
	for (const char *name : {"qel_privkey.c", "qel_pubkey.c"}) {
		for (const Kind &k : kinds) {
			SCOPED_TRACE(std::string(name) + ": " + k.name);
			fake_mem_reset();
			fake_random_reset();
			TempDir keys;
			k.make(keys / name);
			std::vector<std::string> before;
			for (const auto &e : std::filesystem::directory_iterator(keys.path))
				before.push_back(e.path().filename().string());
			std::sort(before.begin(), before.end());
			Outcome o = run_in(keys);
			EXPECT_EQ(o.code, 3);
			EXPECT_EQ(o.report, std::string("file '") + name +
			                        "' already exists, delete to generate new|live 0|reads 0|calls 1");
			EXPECT_EQ(o.out, "");
			EXPECT_EQ(o.files, before);
		}
	}
}

} // namespace
