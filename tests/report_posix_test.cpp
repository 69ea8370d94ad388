/* The whole report operation, with standard output a real file, a full
 * device or closed. Each run happens in a child process. */
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

TEST_F(ReportOutput, FailuresStopAtTheRightStage)
{
	struct Case {
		const char *name;
		std::string out;       /* "" closes standard output */
		bool dir_in_the_way;   /* qelhostid.txt is a directory */
		uint32_t adapter_error;
		int code;
		std::string msg;
		bool report_printed;
	} cases[] = {
	    {"standard output full", "/dev/full", false, 0, 3,
	     std::string("cannot write to file: ") + std::strerror(ENOSPC), false},
	    {"standard output closed", "", false, 0, 3,
	     std::string("cannot write to file: ") + std::strerror(EBADF), false},
	    {"report file is a directory", out_dir / "stdout", true, 0, 3,
	     std::string("cannot open file 'qelhostid.txt': ") + std::strerror(EISDIR), true},
	    {"enumeration fails", out_dir / "stdout", false, 5, 14,
	     "cannot get MAC address: system error 5", false},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		std::filesystem::remove_all(dir / "qelhostid.txt");
		std::filesystem::remove(out_dir / "stdout");
		if (c.dir_in_the_way)
			std::filesystem::create_directory(dir / "qelhostid.txt");
		fake_adapters.error = c.adapter_error;
		EXPECT_EQ(run(true, c.out), c.code);
		EXPECT_EQ(msg, c.msg);
		if (c.out == out_dir / "stdout") {
			EXPECT_EQ(read_file(c.out), c.report_printed ? expected() : "");
		}
		if (!c.dir_in_the_way) {
			EXPECT_FALSE(path_exists(dir / "qelhostid.txt"));
		}
	}
}

} // namespace
