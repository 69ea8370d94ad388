/* The whole report operation, with standard output a real file. Each run
 * happens in a child process. */
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "fakes/fakes.h"
#include "hostid/report.h"
#include "test_util.h"

namespace {

struct ReportRun {
	bool save;
	char msg[QEL_MSG_SIZE];
};

int
run_output(void *arg)
{
	ReportRun *r = static_cast<ReportRun *>(arg);
	int rc = host_report_output(r->save, r->msg);
	/* Hand the message to the parent through stderr-free means: a file. */
	std::FILE *f = std::fopen("msg", "w");
	if (f != nullptr) {
		std::fputs(rc == QEL_OK ? "" : r->msg, f);
		std::fclose(f);
	}
	return -rc;
}

class ReportOutput : public ::testing::Test {
protected:
	void SetUp() override
	{
		fake_mem_reset();
		fake_adapters_reset();
		fake_adapters.list = {fake_ethernet("00:11:22:33:44:66"),
		                      fake_ethernet("00:11:22:33:44:55")};
	}
	/* Runs the report with standard output at out ("" = closed) in dir.
	 * Returns the exit code; the message lands in msg. */
	int run(bool save, const std::string &out)
	{
		ChangeDir cd(dir.path);
		ReportRun r{save, {}};
		int code = run_with_stdout(out, run_output, &r);
		msg = read_file(dir / "msg");
		std::filesystem::remove(dir / "msg");
		return code;
	}
	std::string expected() const
	{
		return std::string("\"hostid\": [\n  \"00:11:22:33:44:55\",\n"
		                   "  \"00:11:22:33:44:66\"\n],\n\"os\": \"") +
		       platform_name() + "\"\n";
	}
	TempDir dir;
	TempDir out_dir;
	std::string msg;
};

TEST_F(ReportOutput, SavesExactlyWhatItPrints)
{
	std::string out = out_dir / "stdout";
	write_file(dir / "qelhostid.txt", std::string(5000, 'z')); /* replaced, not appended */
	EXPECT_EQ(run(true, out), 0) << msg;
	EXPECT_EQ(read_file(out), expected());
	EXPECT_EQ(read_file(dir / "qelhostid.txt"), expected());
}

TEST_F(ReportOutput, WithoutSaveNoFileIsTouched)
{
	std::string out = out_dir / "stdout";
	EXPECT_EQ(run(false, out), 0) << msg;
	EXPECT_EQ(read_file(out), expected());
	EXPECT_FALSE(path_exists(dir / "qelhostid.txt"));
}

/* Standard output full or closed and a report file in the way are cases
 * of the qelhostid suite, against the real program; a system that will
 * not list its adapters is the fake's alone. */
TEST_F(ReportOutput, AFailedListingPrintsAndSavesNothing)
{
	std::string out = out_dir / "stdout";
	fake_adapters.error = 5;
	EXPECT_EQ(run(true, out), 14);
	EXPECT_EQ(msg, "cannot get MAC address: system error 5");
	EXPECT_EQ(read_file(out), "");
	EXPECT_FALSE(path_exists(dir / "qelhostid.txt"));
}

} // namespace
