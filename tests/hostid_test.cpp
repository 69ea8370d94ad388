#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/fakes.h"
#include "hostid/adapter_source.h"
#include "hostid/hostid.h"

namespace {

struct Listed {
	int rc;
	std::string msg;
	std::vector<std::string> ids;
	bool null_list;
};

Listed
list_now()
{
	char msg[QEL_MSG_SIZE] = "untouched";
	char **list = nullptr;
	Listed r;
	r.rc = hostid_list_get(&list, msg);
	r.msg = msg;
	r.null_list = list == nullptr;
	for (std::size_t i = 0; list != nullptr && list[i] != nullptr; i++)
		r.ids.emplace_back(list[i]);
	hostid_list_free(list);
	return r;
}

class HostIdList : public ::testing::Test {
protected:
	void SetUp() override
	{
		fake_mem_reset();
		fake_adapters_reset();
	}
	void TearDown() override
	{
		EXPECT_EQ(fake_mem.live, 0) << "blocks leaked";
		EXPECT_EQ(fake_adapters.texts_live, 0) << "system texts leaked";
	}
};

TEST_F(HostIdList, KeepsSixByteNonTunnelAddressesInSystemOrder)
{
	FakeAdapter loopback{IF_TYPE_SOFTWARE_LOOPBACK, {}};
	FakeAdapter tunnel{IF_TYPE_TUNNEL, {0, 0, 0x5e, 0, 1, 2}};
	FakeAdapter wide{IF_TYPE_OTHER, {1, 2, 3, 4, 5, 6, 7, 8}};
	FakeAdapter wifi{IF_TYPE_IEEE80211, {0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54}};
	FakeAdapter other{IF_TYPE_OTHER, {0x0a, 0, 0, 0, 0, 0}};
	fake_adapters.list = {loopback,
	                      fake_ethernet("00:11:22:33:44:66"),
	                      tunnel,
	                      wide,
	                      fake_ethernet("00:11:22:33:44:55"),
	                      wifi,
	                      fake_ethernet("00:11:22:33:44:66"),
	                      other};
	Listed r = list_now();
	ASSERT_EQ(r.rc, QEL_OK) << r.msg;
	EXPECT_EQ(r.msg, "untouched");
	std::vector<std::string> want = {"00:11:22:33:44:66", "00:11:22:33:44:55",
	                                 "fe:dc:ba:98:76:54", "00:11:22:33:44:66",
	                                 "0a:00:00:00:00:00"};
	EXPECT_EQ(r.ids, want);
	EXPECT_EQ(fake_adapters.offered, std::vector<uint32_t>{HOSTID_FIRST_BUFFER_SIZE});
}

TEST_F(HostIdList, FailuresGiveOneMessageAndNoList)
{
	struct Case {
		const char *name;
		std::vector<FakeAdapter> list;
		uint32_t error;
		bool error_has_text;
		int overflows;
		std::vector<uint32_t> asked;
		const char *msg;
		std::vector<uint32_t> offered;
	} cases[] = {
	    {"loopback only", {{IF_TYPE_SOFTWARE_LOOPBACK, {}}}, 0, true, 0, {},
	     "no network interface found", {15000}},
	    {"no adapters at all", {}, 0, true, 0, {}, "no network interface found", {15000}},
	    {"tunnels and wide addresses only",
	     {{IF_TYPE_TUNNEL, {1, 2, 3, 4, 5, 6}}, {IF_TYPE_OTHER, {1, 2, 3, 4, 5, 6, 7, 8}}},
	     0, true, 0, {}, "no network interface found", {15000}},
	    {"system error with text", {}, 232, true, 0, {},
	     "cannot get MAC address: system error 232", {15000}},
	    {"system error without text", {}, 232, false, 0, {},
	     "no network interface found", {15000}},
	    {"three overflows", {fake_ethernet("00:11:22:33:44:55")}, 0, true, 3,
	     {20000, 40000, 80000}, "cannot get MAC address: Buffer overflow.\r\n",
	     {15000, 20000, 40000}},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		fake_adapters_reset();
		fake_adapters.list = c.list;
		fake_adapters.error = c.error;
		if (!c.error_has_text)
			fake_adapters.no_text = {c.error};
		fake_adapters.overflows = c.overflows;
		fake_adapters.asked = c.asked;
		Listed r = list_now();
		EXPECT_EQ(r.rc, QEL_ERR_NETWORK);
		EXPECT_EQ(r.msg, c.msg);
		EXPECT_TRUE(r.null_list);
		EXPECT_EQ(fake_adapters.offered, c.offered);
		EXPECT_EQ(fake_adapters.texts_live, 0);

		/* Without a message buffer: the same code, and nothing to write. */
		fake_adapters.offered.clear();
		char **list = nullptr;
		EXPECT_EQ(hostid_list_get(&list, nullptr), QEL_ERR_NETWORK);
		EXPECT_EQ(list, nullptr);
	}
}

TEST_F(HostIdList, RetriesWithTheSizeTheSystemAsksFor)
{
	fake_adapters.list = {fake_ethernet("00:11:22:33:44:55")};
	fake_adapters.overflows = 2;
	fake_adapters.asked = {16000, 70000};
	Listed r = list_now();
	ASSERT_EQ(r.rc, QEL_OK) << r.msg;
	EXPECT_EQ(r.ids, std::vector<std::string>{"00:11:22:33:44:55"});
	EXPECT_EQ(fake_adapters.offered, (std::vector<uint32_t>{15000, 16000, 70000}));
}

TEST_F(HostIdList, EveryAllocationFailureIsOutOfMemoryAndLeaksNothing)
{
	std::vector<FakeAdapter> adapters = {fake_ethernet("00:00:00:00:00:01"),
	                                     fake_ethernet("00:00:00:00:00:02"),
	                                     fake_ethernet("00:00:00:00:00:03")};
	/* buffer, array, three strings: five allocations before success */
	long n = 1;
	for (;; n++) {
		fake_mem_reset();
		fake_adapters_reset();
		fake_adapters.list = adapters;
		fake_mem.fail_at = n;
		Listed r = list_now();
		EXPECT_EQ(fake_mem.live, 0) << "failing allocation " << n;
		if (r.rc == QEL_OK)
			break;
		EXPECT_EQ(r.rc, QEL_ERR_MEMORY);
		EXPECT_EQ(r.msg, "out of memory");
		EXPECT_TRUE(r.null_list);
	}
	EXPECT_EQ(n, 6);
}

TEST_F(HostIdList, IdentifiersAreSeventeenLowerCaseHexCharacters)
{
	for (int b = 0; b < 256; b += 5) {
		auto v = static_cast<unsigned char>(b);
		fake_adapters.list.push_back(
		    {IF_TYPE_ETHERNET_CSMACD, {v, static_cast<unsigned char>(255 - v), v, 0, 0xff, v}});
	}
	Listed r = list_now();
	ASSERT_EQ(r.rc, QEL_OK);
	ASSERT_EQ(r.ids.size(), fake_adapters.list.size());
	for (std::size_t i = 0; i < r.ids.size(); i++) {
		const std::string &id = r.ids[i];
		ASSERT_EQ(id.size(), 17u) << id;
		for (std::size_t k = 0; k < id.size(); k++) {
			if (k % 3 == 2)
				EXPECT_EQ(id[k], ':') << id;
			else
				EXPECT_NE(std::strchr("0123456789abcdef", id[k]), nullptr) << id;
		}
		char want[18];
		const auto &a = fake_adapters.list[i].address;
		std::snprintf(want, sizeof want, "%02x:%02x:%02x:%02x:%02x:%02x", a[0], a[1],
		              a[2], a[3], a[4], a[5]);
		EXPECT_EQ(id, want);
	}
}

} // namespace
