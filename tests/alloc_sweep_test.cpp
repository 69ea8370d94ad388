/* Every allocation of the two entry points failed in turn.
 *
 * Each run fails the N-th allocation, for N = 1, 2, ... until the run
 * succeeds, in a fresh directory with standard output captured, and checks
 * the code, the message, standard output, the files left on disk and that
 * no block is left behind: ours (fake_mem) and the libraries' (fake_lib_mem,
 * see fakes/lib_alloc.h). A double free or a use after free ends the binary
 * under AddressSanitizer; the line "sweep: ..." before each run names it.
 *
 * Our own allocations are swept one by one. A key generation makes some
 * 350 000 in libtomcrypt and libtommath, too many to fail each, so there
 * the first and the last ones, both ends of each stage and an even sample
 * in between are failed, and the same again for the reallocs alone. A
 * build with a larger QEL_SWEEP_SPACED samples more densely. Those runs
 * are forked from one run at the very allocation each fails (see
 * fakes/lib_alloc.h), so the sweep makes a key a handful of times, not
 * once per failure.
 *
 * A licence check (key import, reader, signature, adapter list) is swept
 * whole, ours and the libraries' allocations. Issuing one checks the
 * private key, some 90 000 library allocations, a quarter of a second a
 * run: both ends and a sparser sample than the key run's. */
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tommath.h>
#include <tomcrypt.h>

#include "fakes/fakes.h"
#include "fakes/lib_alloc.h"
#include "hostid/adapter_source.h"
#include "hostid/report.h"
#include "key_test_util.h"
#include "keys/generate.h"
#include "keys/key_import.h"
#include "keys/os_prng.h"
#include "license/license.h"
#include "license_test_util.h"
#include "test_util.h"

/* Library allocations failed at even spacing (reallocs: an eighth). */
#ifndef QEL_SWEEP_SPACED
#define QEL_SWEEP_SPACED 80
#endif

namespace {

using Files = std::vector<std::string>;

struct Outcome {
	int rc;
	std::string msg;
	std::string out; /* standard output */
	Files files;     /* the directory afterwards, sorted */
	std::vector<std::string> contents; /* of each file, in that order */
};

/* Judges the outcome of a run forked at a failed library allocation (see
 * fakes/lib_alloc.h): empty when it is as it must be. */
using ForkVerdict = std::string (*)(const Outcome &);

/* Runs fn in a fresh directory (after prepare, if given) with standard
 * output going to a file, in this process. A child forked during the run
 * hands verdict's judgement of its outcome to the parent and ends here,
 * before anything of the parent's (its directories) is released. */
Outcome
run_captured(int (*fn)(char *), void (*prepare)() = nullptr, ForkVerdict verdict = nullptr)
{
	TempDir work, out;
	Outcome o;
	char msg[QEL_MSG_SIZE] = "untouched";
	{
		ChangeDir cd(work.path);
		if (prepare != nullptr)
			prepare();
		std::fflush(stdout);
		int saved = dup(1);
		int fd = open((out / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		if (saved < 0 || fd < 0 || dup2(fd, 1) < 0)
			std::abort();
		close(fd);
		o.rc = fn(msg);
		std::fflush(stdout);
		if (dup2(saved, 1) < 0)
			std::abort();
		close(saved);
	}
	o.msg = msg;
	o.out = read_file(out / "stdout");
	for (const auto &e : std::filesystem::directory_iterator(work.path))
		o.files.push_back(e.path().filename().string());
	std::sort(o.files.begin(), o.files.end());
	for (const std::string &f : o.files)
		o.contents.push_back(read_file(work / f));
	if (fake_lib_mem.child)
		fake_lib_mem_child_exit(verdict != nullptr ? verdict(o) : "forked without a verdict");
	return o;
}

void
announce(const char *what, long n)
{
	std::fprintf(stderr, "sweep: failing %s %ld\n", what, n);
}

/* ---- qelhostid ---- */

const char *const older_report = "an older report\n";

void
put_older_report()
{
	write_file(HOST_REPORT_FILE, older_report);
}

int
hostid_entry(char *msg)
{
	return qel_hostid_print_and_save(msg);
}

TEST(AllocationSweep, HostReportFailsCleanlyAtEveryAllocation)
{
	const std::string two = "\"hostid\": [\n  \"00:11:22:33:44:55\",\n"
	                        "  \"00:11:22:33:44:66\"\n],\n\"os\": \"" +
	                        std::string(platform_name()) + "\"\n";
	const std::string one = "\"hostid\": \"02:00:00:00:00:01\",\n\"os\": \"" +
	                        std::string(platform_name()) + "\"\n";
	struct Case {
		const char *name;
		std::vector<const char *> ethernet;
		int overflows;
		long allocations; /* of a run that succeeds */
		std::string report;
	} cases[] = {
	    /* buffer, list, three strings, sorted list */
	    {"three adapters, one address twice",
	     {"00:11:22:33:44:66", "00:11:22:33:44:55", "00:11:22:33:44:66"}, 0, 6, two},
	    {"one adapter", {"02:00:00:00:00:01"}, 0, 4, one},
	    {"the same address on two adapters", {"02:00:00:00:00:01", "02:00:00:00:00:01"}, 0,
	     5, one},
	    /* two buffers released after an overflow, then the one filled */
	    {"the system asks twice for a bigger buffer",
	     {"00:11:22:33:44:55", "00:11:22:33:44:66"}, 2, 7, two},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		long n = 1;
		for (;; n++) {
			SCOPED_TRACE("allocation " + std::to_string(n));
			fake_mem_reset();
			fake_adapters_reset();
			for (const char *a : c.ethernet)
				fake_adapters.list.push_back(fake_ethernet(a));
			/* what must never count: a tunnel and the loopback link */
			fake_adapters.list.push_back(
			    FakeAdapter{IF_TYPE_TUNNEL, {1, 2, 3, 4, 5, 6}});
			fake_adapters.list.push_back(FakeAdapter{IF_TYPE_SOFTWARE_LOOPBACK, {}});
			fake_adapters.overflows = c.overflows;
			fake_mem.fail_at = n;
			Outcome o = run_captured(hostid_entry, put_older_report);
			EXPECT_EQ(fake_mem.live, 0) << "blocks leaked";
			if (o.rc == QEL_OK) {
				EXPECT_EQ(o.out, native_text(c.report));
				EXPECT_EQ(o.files, Files{HOST_REPORT_FILE});
				break;
			}
			/* Every allocation comes before the first line of the report. */
			EXPECT_EQ(o.rc, QEL_ERR_MEMORY);
			EXPECT_EQ(o.msg, "out of memory");
			EXPECT_EQ(o.out, "");
			EXPECT_EQ(o.files, Files{HOST_REPORT_FILE});
			if (n > 100) {
				ADD_FAILURE() << "no run succeeded";
				break;
			}
		}
		EXPECT_EQ(n - 1, c.allocations) << "allocations of a successful run";
	}
}

/* ---- qelkeypair ---- */

int
keys_entry(char *msg)
{
	return qel_generate_keys(msg);
}

const std::string line1 = "generating keys...\n";

/* libtommath draws the extra bases of its primality tests from the
 * system's source on its own. Those draws change how much it allocates, so
 * the sweep serves them from a fixed stream (xorshift64) to make every run
 * allocate as the last one did. */
uint64_t base_stream;

mp_err
fixed_bases(void *out, size_t size)
{
	unsigned char *p = static_cast<unsigned char *>(out);
	for (size_t i = 0; i < size; i++) {
		base_stream ^= base_stream << 13;
		base_stream ^= base_stream >> 7;
		base_stream ^= base_stream << 17;
		p[i] = static_cast<unsigned char>(base_stream >> 56);
	}
	return MP_OKAY;
}

void
reset_all()
{
	fake_mem_reset();
	fake_random_reset();
	fake_lib_mem_reset();
	base_stream = 0x9e3779b97f4a7c15U;
	mp_rand_source(fixed_bases);
}

void
expect_golden_run(const Outcome &o)
{
	EXPECT_EQ(o.rc, QEL_OK) << o.msg;
	EXPECT_EQ(o.out, line1 + "done!\n" + "private key file 'qel_privkey.c' was written\n" +
	                     "public key file 'qel_pubkey.c' was written\n" + "key hash:\n" +
	                     GOLDEN_KEY_HASH + "\n");
	/* sorted: "qel_privkey.c" before "qel_pubkey.c" */
	EXPECT_EQ(o.files, (Files{PRIVATE_KEY_FILE, PUBLIC_KEY_FILE}));
	EXPECT_EQ(o.contents, (std::vector<std::string>{golden_file("golden_privkey.c"),
	                                                golden_file("golden_pubkey.c")}));
}

TEST(AllocationSweep, KeyRunFailsCleanlyAtEachOfOurAllocations)
{
	struct Expected {
		const char *stage;
		std::string out;
	} stages[] = {
	    {"the record", ""},
	    {"the private blob", line1},
	    {"the public blob", line1},
	};
	long n = 1;
	for (;; n++) {
		SCOPED_TRACE("allocation " + std::to_string(n));
		announce("our allocation", n);
		reset_all();
		fake_mem.fail_at = n;
		Outcome o = run_captured(keys_entry);
		EXPECT_EQ(fake_mem.live, 0) << "our blocks leaked";
		EXPECT_EQ(fake_lib_mem.live, 0) << "the libraries' blocks leaked";
		if (o.rc == QEL_OK) {
			expect_golden_run(o);
			break;
		}
		ASSERT_LE(n, 3) << "more allocations than the record and two blobs";
		SCOPED_TRACE(stages[n - 1].stage);
		EXPECT_EQ(o.rc, QEL_ERR_MEMORY);
		EXPECT_EQ(o.msg, "out of memory");
		EXPECT_EQ(o.out, stages[n - 1].out);
		EXPECT_EQ(o.files, Files{});
	}
	EXPECT_EQ(n, 4);
}

/* The libraries' allocations (or reallocs) counted at the end of each
 * stage of keypair_generate: key, check, private export, public export.
 * Made by the same calls on the same random stream as a run makes. */
struct StageEnds {
	long end[4];
	long total() const { return end[3]; }
	/* The stage whose allocations include the n-th, or -1. */
	int stage_of(long n) const
	{
		for (int i = 0; i < 4; i++)
			if (n >= 1 && n <= end[i])
				return i;
		return -1;
	}
};

struct LibraryCounts {
	StageEnds calls, reallocs;
};

LibraryCounts
count_library_stages_once()
{
	reset_all();
	LibraryCounts c{};
	int stage = 0;
	auto stage_done = [&]() {
		c.calls.end[stage] = fake_lib_mem.calls;
		c.reallocs.end[stage] = fake_lib_mem.reallocs;
		stage++;
	};
	ltc_mp = ltm_desc;
	dsa_key key{};
	int prng = os_prng_register();
	EXPECT_EQ(dsa_make_key(nullptr, prng, KEYPAIR_GROUP_SIZE, KEYPAIR_MODULUS_SIZE, &key),
	          CRYPT_OK);
	stage_done();
	int stat = 0;
	EXPECT_EQ(dsa_verify_key(&key, &stat), CRYPT_OK);
	stage_done();
	std::vector<unsigned char> scratch(KEYPAIR_EXPORT_SIZE);
	unsigned long len = KEYPAIR_EXPORT_SIZE;
	EXPECT_EQ(dsa_export(scratch.data(), &len, PK_PRIVATE, &key), CRYPT_OK);
	stage_done();
	len = KEYPAIR_EXPORT_SIZE;
	EXPECT_EQ(dsa_export(scratch.data(), &len, PK_PUBLIC, &key), CRYPT_OK);
	stage_done();
	dsa_free(&key);
	EXPECT_EQ(fake_lib_mem.live, 0);
	reset_all();
	std::fprintf(stderr,
	             "sweep: the libraries allocate %ld times (%ld reallocs): key %ld, "
	             "check %ld, private export %ld, public export %ld\n",
	             c.calls.total(), c.reallocs.total(), c.calls.end[0],
	             c.calls.end[1] - c.calls.end[0], c.calls.end[2] - c.calls.end[1],
	             c.calls.end[3] - c.calls.end[2]);
	return c;
}

/* The counts are the same for every run on the same random stream. */
const LibraryCounts &
count_library_stages()
{
	static const LibraryCounts counts = count_library_stages_once();
	return counts;
}

/* The first and the last `edge`, both ends of every stage, the last
 * `edge` / 2 of the key generation (the private key and y) and `spaced`
 * evenly spaced in between. */
std::set<long>
pick(const StageEnds &e, long edge, long spaced)
{
	std::set<long> sample;
	const long total = e.total();
	for (long i = 1; i <= edge && i <= total; i++) {
		sample.insert(i);
		sample.insert(total + 1 - i);
	}
	for (long i = 0; i < edge / 2 && e.end[0] - i >= 1; i++)
		sample.insert(e.end[0] - i);
	long first = 1;
	for (long last : e.end) {
		if (first <= last) {
			sample.insert(first);
			sample.insert(last);
		}
		first = last + 1;
	}
	for (long i = 1; i <= spaced; i++)
		sample.insert(i * total / (spaced + 1));
	sample.erase(0);
	return sample;
}

/* The stages of the run being swept. */
const StageEnds *swept_ends;

/* What a run whose library allocation failed in its stage must look like;
 * empty when it does. */
std::string
failed_run_verdict(const Outcome &o)
{
	int stage = swept_ends->stage_of(fake_lib_mem.failed_at);
	const std::string messages[4] = {
	    std::string("could not make DSA key: ") + error_to_string(CRYPT_MEM),
	    "generated DSA key pair is invalid",
	    "could not export DSA private key",
	    "could not export DSA public key",
	};
	std::string v;
	if (stage < 0)
		return "an allocation outside the counted stages";
	if (fake_mem.live != 0)
		v += "our blocks leaked; ";
	if (fake_lib_mem.live != 0)
		v += "the libraries' blocks leaked: " + std::to_string(fake_lib_mem.live) + "; ";
	if (o.rc != QEL_ERR_CRYPTO)
		v += "code " + std::to_string(o.rc) + "; ";
	if (o.msg != messages[stage])
		v += "message '" + o.msg + "', not '" + messages[stage] + "'; ";
	if (o.out != line1)
		v += "standard output '" + o.out + "'; ";
	if (!o.files.empty())
		v += "files left behind; ";
	return v;
}

/* Fails the n-th allocation (or realloc, with reallocs) for each n of the
 * sample, each in a child forked from one run at that very allocation (see
 * fakes/lib_alloc.h): a failure in the libraries is the failure of its
 * stage. The run the children leave goes through, golden. */
void
fail_library_allocations(const StageEnds &ends, bool reallocs, const std::set<long> &sample)
{
	reset_all();
	swept_ends = &ends;
	fake_lib_mem.fork_at = &sample;
	fake_lib_mem.fork_reallocs = reallocs;
	Outcome o = run_captured(keys_entry, nullptr, failed_run_verdict);

	expect_golden_run(o);
	EXPECT_EQ(fake_mem.live, 0);
	EXPECT_EQ(fake_lib_mem.live, 0);
	ASSERT_EQ(fake_lib_mem.forked.size(), sample.size()) << "allocations never reached";
	for (const ForkedRun &r : fake_lib_mem.forked) {
		SCOPED_TRACE(std::string(reallocs ? "library realloc " : "library allocation ") +
		             std::to_string(r.at) + " of " + std::to_string(ends.total()));
		bool clean = WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0;
		EXPECT_TRUE(clean) << "status " << r.status << ": " << r.verdict;
	}
}

TEST(AllocationSweep, KeyRunFailsCleanlyWhenTheLibrariesRunOutOfMemory)
{
	const LibraryCounts &c = count_library_stages();
	ASSERT_GT(c.calls.end[0], 1000) << "a key generation that hardly allocates?";
	fail_library_allocations(c.calls, false, pick(c.calls, 20, QEL_SWEEP_SPACED));
}

/* libtommath grows a number with realloc, keeping the old digits when that
 * fails: a path of its own, so the reallocs are sampled on their own too. */
TEST(AllocationSweep, KeyRunFailsCleanlyWhenTheLibrariesCannotGrowANumber)
{
	const LibraryCounts &c = count_library_stages();
	ASSERT_GT(c.reallocs.total(), 0);
	fail_library_allocations(c.reallocs, true, pick(c.reallocs, 5, QEL_SWEEP_SPACED / 8));
}

/* ---- licences ---- */

struct LicenceRun {
	int rc;
	std::string msg;
	std::string text; /* the licence issued */
};

const std::string &
licence_to_check()
{
	static const std::string text = [] {
		reset_all();
		/* Both keys read before any allocation is failed. */
		(void)golden_public_der();
		return standard_licence();
	}();
	return text;
}

LicenceRun
check_run()
{
	adapters_here();
	const std::string &t = licence_to_check();
	Verdict v = check_licence(t, "2026-12-07");
	return {v.rc, v.msg, ""};
}

LicenceRun
issue_run()
{
	const Bytes &k = golden_private_der();
	char msg[QEL_MSG_SIZE] = "untouched";
	char *out = nullptr;
	std::size_t len = 0;
	int rc = qel_license_issue(REPORT_HERE.data(), REPORT_HERE.size(), STANDARD_MEMBERS,
	                           k.data(), static_cast<int>(k.size()), &out, &len, msg);
	LicenceRun r{rc, msg, out != nullptr ? std::string(out, len) : ""};
	if (rc != QEL_OK && out != nullptr)
		ADD_FAILURE() << "a licence left after a failure";
	qel_license_text_free(out);
	return r;
}

/* Library allocations of importing a key (dsa_import, the export that
 * compares, for a private key dsa_verify_key). */
long
import_allocations(const Bytes &der, bool is_private)
{
	reset_all();
	dsa_key key;
	if (key_import(der.data(), static_cast<uint32_t>(der.size()), is_private, "key", &key,
	               nullptr) != QEL_OK)
		ADD_FAILURE() << "the golden key does not import";
	else
		dsa_free(&key);
	long n = fake_lib_mem.calls;
	reset_all();
	return n;
}

/* A failed run: out of memory, nothing left behind. libtomcrypt's
 * dsa_import (the private key's) tries one layout after another, so a
 * failed allocation in an early try reads as a key the later ones refuse:
 * during that import (library allocations up to import_end) that answer
 * counts as clean too. */
void
expect_clean_failure(const LicenceRun &r, long n = 0, long import_end = 0)
{
	EXPECT_EQ(fake_mem.live, 0) << "our blocks leaked";
	EXPECT_EQ(fake_lib_mem.live, 0) << "the libraries' blocks leaked";
	EXPECT_EQ(r.text, "");
	if (n >= 1 && n <= import_end && r.rc == QEL_ERR_KEY) {
		EXPECT_EQ(r.msg, "key is not a DSA key made by qelkeypair");
		return;
	}
	EXPECT_EQ(r.rc, QEL_ERR_MEMORY) << r.msg;
	EXPECT_EQ(r.msg, "out of memory");
}

TEST(AllocationSweep, LicenceCheckFailsCleanlyAtEveryAllocation)
{
	(void)licence_to_check();
	/* Ours: the record, its arena and arrays, the adapter list. */
	long n = 1;
	for (;; n++) {
		SCOPED_TRACE("our allocation " + std::to_string(n));
		reset_all();
		fake_mem.fail_at = n;
		LicenceRun r = check_run();
		if (r.rc == QEL_OK) {
			EXPECT_EQ(fake_mem.live, 0);
			break;
		}
		expect_clean_failure(r);
		ASSERT_LT(n, 20);
	}
	std::fprintf(stderr, "sweep: a check makes %ld allocations of ours\n", n - 1);

	/* The libraries': every one of them. */
	reset_all();
	LicenceRun r = check_run();
	ASSERT_EQ(r.rc, QEL_OK) << r.msg;
	const long total = fake_lib_mem.calls;
	std::fprintf(stderr, "sweep: a check makes %ld library allocations\n", total);
	ASSERT_GT(total, 10);
	for (n = 1; n <= total; n++) {
		SCOPED_TRACE("library allocation " + std::to_string(n));
		reset_all();
		fake_lib_mem.fail_at = n;
		expect_clean_failure(check_run());
	}
	reset_all();
	fake_lib_mem.fail_at = total + 1;
	EXPECT_EQ(check_run().rc, QEL_OK);
}

TEST(AllocationSweep, LicenceIssueFailsCleanlyWhenMemoryRunsOut)
{
	(void)licence_to_check();
	/* Ours, one by one: the report's list, addresses and platform name,
	 * the licence text. */
	long n = 1;
	for (;; n++) {
		SCOPED_TRACE("our allocation " + std::to_string(n));
		announce("our allocation of an issue", n);
		reset_all();
		fake_mem.fail_at = n;
		LicenceRun r = issue_run();
		if (r.rc == QEL_OK) {
			EXPECT_EQ(fake_mem.live, 0);
			EXPECT_EQ(r.text, licence_to_check());
			break;
		}
		expect_clean_failure(r);
		ASSERT_LT(n, 10);
	}

	/* The libraries': a sample, as for the key run. */
	reset_all();
	ASSERT_EQ(issue_run().rc, QEL_OK);
	StageEnds ends{};
	ends.end[0] = ends.end[1] = ends.end[2] = ends.end[3] = fake_lib_mem.calls;
	std::fprintf(stderr, "sweep: an issue makes %ld library allocations\n", ends.total());
	const long import_end = import_allocations(golden_private_der(), true);
	ends.end[0] = import_end;
	for (long k : pick(ends, 10, QEL_SWEEP_SPACED / 4)) {
		SCOPED_TRACE("library allocation " + std::to_string(k));
		announce("library allocation of an issue", k);
		reset_all();
		fake_lib_mem.fail_at = k;
		expect_clean_failure(issue_run(), k, import_end);
	}
	reset_all();
	fake_lib_mem.fail_at = ends.total() + 1;
	LicenceRun r = issue_run();
	EXPECT_EQ(r.rc, QEL_OK) << r.msg;
	EXPECT_EQ(r.text, licence_to_check());
}

} // namespace
