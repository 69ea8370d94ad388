#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/file.h"
#include "fakes/fakes.h"
#include "hostid/hostid.h"
#include "hostid/report.h"
#include "test_util.h"

namespace {

std::vector<FakeAdapter>
ethernets(const std::vector<const char *> &addresses)
{
	std::vector<FakeAdapter> v;
	for (const char *a : addresses)
		v.push_back(fake_ethernet(a));
	return v;
}

class Report : public ::testing::Test {
protected:
	void SetUp() override
	{
		fake_mem_reset();
		fake_adapters_reset();
	}
	void TearDown() override { EXPECT_EQ(fake_mem.live, 0) << "blocks leaked"; }

	/* The report text for the fake's adapters, written to a file. */
	std::string report_text()
	{
		char msg[QEL_MSG_SIZE];
		char **list = nullptr;
		EXPECT_EQ(hostid_list_get_sorted(&list, msg), QEL_OK);
		std::string path = dir / "report";
		std::FILE *f = file_open(path.c_str(), "w", msg);
		EXPECT_EQ(host_report_write(f, list, msg), QEL_OK);
		EXPECT_EQ(file_close(f, msg), QEL_OK);
		hostid_list_free(list);
		return read_file(path);
	}
	TempDir dir;
};

TEST_F(Report, SortsRemovesDuplicatesAndPicksTheForm)
{
	const std::string os = std::string("\"os\": \"") + platform_name() + "\"\n";
	struct Case {
		std::vector<const char *> adapters;
		std::string report;
	} cases[] = {
	    {{"00:11:22:33:44:55"}, "\"hostid\": \"00:11:22:33:44:55\",\n"},
	    {{"00:11:22:33:44:66", "00:11:22:33:44:55", "00:11:22:33:44:66"},
	     "\"hostid\": [\n  \"00:11:22:33:44:55\",\n  \"00:11:22:33:44:66\"\n],\n"},
	    /* all the same address: one identifier remains, so the single form */
	    {{"aa:aa:aa:aa:aa:aa", "aa:aa:aa:aa:aa:aa", "aa:aa:aa:aa:aa:aa"},
	     "\"hostid\": \"aa:aa:aa:aa:aa:aa\",\n"},
	    {{"0a:00:00:00:00:00", "ff:ff:ff:ff:ff:ff", "09:ff:ff:ff:ff:ff", "00:00:00:00:00:00"},
	     "\"hostid\": [\n  \"00:00:00:00:00:00\",\n  \"09:ff:ff:ff:ff:ff\",\n"
	     "  \"0a:00:00:00:00:00\",\n  \"ff:ff:ff:ff:ff:ff\"\n],\n"},
	};
	for (const Case &c : cases) {
		fake_adapters.list = ethernets(c.adapters);
		EXPECT_EQ(report_text(), native_text(c.report + os));
	}
}

TEST_F(Report, AnEmptyListStillWritesBothMembers)
{
	char *empty[1] = {nullptr};
	std::string path = dir / "report";
	std::FILE *f = file_open(path.c_str(), "w", nullptr);
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(host_report_write(f, empty, nullptr), QEL_OK);
	EXPECT_EQ(file_close(f, nullptr), QEL_OK);
	EXPECT_EQ(read_file(path),
	          native_text(std::string("\"hostid\": [\n],\n\"os\": \"") + platform_name() + "\"\n"));
}

TEST_F(Report, SortedListFailuresLeakNothing)
{
	fake_adapters.list = ethernets({"00:00:00:00:00:02", "00:00:00:00:00:01",
	                                "00:00:00:00:00:02", "00:00:00:00:00:01"});
	/* buffer, array, four strings, then the sorted array */
	long n = 1;
	for (;; n++) {
		fake_mem_reset();
		fake_adapters.offered.clear();
		fake_mem.fail_at = n;
		char msg[QEL_MSG_SIZE] = "";
		char **list = nullptr;
		int rc = hostid_list_get_sorted(&list, msg);
		if (rc == QEL_OK) {
			EXPECT_EQ(hostid_list_count(list), 2u);
			hostid_list_free(list);
			EXPECT_EQ(fake_mem.live, 0);
			break;
		}
		EXPECT_EQ(rc, QEL_ERR_MEMORY) << n;
		EXPECT_STREQ(msg, "out of memory");
		EXPECT_EQ(list, nullptr);
		EXPECT_EQ(fake_mem.live, 0) << "failing allocation " << n;
	}
	EXPECT_EQ(n, 8);
}

TEST_F(Report, EnumerationFailurePassesThrough)
{
	fake_adapters.error = 5;
	char msg[QEL_MSG_SIZE];
	char **list = nullptr;
	EXPECT_EQ(hostid_list_get_sorted(&list, msg), QEL_ERR_NETWORK);
	EXPECT_STREQ(msg, "cannot get MAC address: system error 5");
	EXPECT_EQ(list, nullptr);
}

TEST(HostIdCompare, OrdersLikeTheAddressesAsNumbers)
{
	const char *a = "09:ff:ff:ff:ff:ff", *b = "0a:00:00:00:00:00";
	EXPECT_LT(hostid_compare(&a, &b), 0);
	EXPECT_GT(hostid_compare(&b, &a), 0);
	EXPECT_EQ(hostid_compare(&a, &a), 0);
}

} // namespace
