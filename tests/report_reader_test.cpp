/* The customer's report as the vendor gets it: saved, pasted, quoted in a
 * mail, indented; and what is no report. */
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/fakes.h"
#include "hostid/hostid.h"
#include "license/report_reader.h"
#include "test_util.h"

namespace {

struct Read {
	int rc;
	std::string msg;
	std::vector<std::string> hostids;
	std::string os;
};

Read
read(const std::string &text)
{
	fake_mem_reset();
	char msg[QEL_MSG_SIZE] = "untouched";
	char **hostids = nullptr;
	char *os = nullptr;
	Read r{report_read(text.data(), text.size(), "report 'r.txt'", &hostids, &os, msg), msg, {},
	       os != nullptr ? os : ""};
	for (std::size_t i = 0; hostids != nullptr && hostids[i] != nullptr; i++)
		r.hostids.emplace_back(hostids[i]);
	if (r.rc != QEL_OK) {
		EXPECT_EQ(hostids, nullptr);
		EXPECT_EQ(os, nullptr);
	}
	hostid_list_free(hostids);
	mem_free(os);
	EXPECT_EQ(fake_mem.live, 0);
	return r;
}

const std::string two = "\"hostid\": [\n  \"00:11:22:33:44:55\",\n  \"00:11:22:33:44:66\"\n],\n"
                        "\"os\": \"Linux\"\n";
const std::string one = "\"hostid\": \"02:00:00:00:00:01\",\n\"os\": \"Windows\"\n";

/* Each line of s with prefix before it. */
std::string
each_line(const std::string &s, const std::string &prefix)
{
	std::string out;
	std::size_t start = 0;
	while (start < s.size()) {
		std::size_t end = s.find('\n', start);
		out += prefix + s.substr(start, end + 1 - start);
		start = end + 1;
	}
	return out;
}

TEST(ReportReader, TakesTheReportAsSavedPastedQuotedOrIndented)
{
	const std::vector<std::string> both = {"00:11:22:33:44:55", "00:11:22:33:44:66"};
	const std::vector<std::string> single = {"02:00:00:00:00:01"};
	struct Case {
		const char *name;
		std::string text;
		std::vector<std::string> hostids;
		std::string os;
	} cases[] = {
	    {"as saved", two, both, "Linux"},
	    {"one address", one, single, "Windows"},
	    {"CR LF", crlf(two), both, "Linux"},
	    {"Notepad's byte order mark", "\xef\xbb\xbf" + crlf(one), single, "Windows"},
	    {"no line end at the end", two.substr(0, two.size() - 1), both, "Linux"},
	    {"blank lines around it", "\n\n  \n" + two + "\n\t\n", both, "Linux"},
	    {"quoted once", each_line(two, "> "), both, "Linux"},
	    {"quoted twice", each_line(two, ">> "), both, "Linux"},
	    {"quoted twice with spaces", each_line(crlf(one), "> > "), single, "Windows"},
	    {"quoted without a space", each_line(two, ">"), both, "Linux"},
	    {"indented", each_line(two, "    "), both, "Linux"},
	    {"indented with a tab, trailing blanks",
	     "\t\"hostid\": \"02:00:00:00:00:01\",  \n\t\"os\": \"Windows\"\t\n", single, "Windows"},
	    {"an array of one", "\"hostid\": [\n\"02:00:00:00:00:01\"\n],\n\"os\": \"Linux\"\n",
	     single, "Linux"},
	    {"an os of another build", "\"hostid\": \"02:00:00:00:00:01\",\n\"os\": \"Free BSD-14.1_x\"\n",
	     single, "Free BSD-14.1_x"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		Read r = read(c.text);
		EXPECT_EQ(r.rc, QEL_OK) << r.msg;
		EXPECT_EQ(r.msg, "untouched");
		EXPECT_EQ(r.hostids, c.hostids);
		EXPECT_EQ(r.os, c.os);
	}
}

TEST(ReportReader, RefusesWhatIsNoReport)
{
	const std::string address = "expected a MAC address in lower case, as qelhostid writes it";
	const std::string hostid = "expected the member \"hostid\" as qelhostid writes it";
	const std::string os = "expected the member \"os\" as qelhostid writes it";
	struct Case {
		std::string text;
		std::string msg;
	} cases[] = {
	    {"", "report 'r.txt' names no MAC address"},
	    {"\n> \n\n", "report 'r.txt' names no MAC address"},
	    {"\"hostid\": [\n],\n\"os\": \"Linux\"\n", "report 'r.txt' names no MAC address"},
	    {std::string(REPORT_MAX_SIZE + 1, '\n'), "report 'r.txt' is longer than 65536 bytes"},
	    {"{\n" + two + "}\n", "report 'r.txt': line 1: " + hostid},
	    {"\"hostid\":\"02:00:00:00:00:01\",\n\"os\": \"Linux\"\n", "report 'r.txt': line 1: " + hostid},
	    {"\"hostid\": \"02:00:00:00:00:0G\",\n\"os\": \"Linux\"\n", "report 'r.txt': line 1: " + address},
	    {"\"hostid\": \"02:00:00:00:00:0A\",\n\"os\": \"Linux\"\n", "report 'r.txt': line 1: " + address},
	    {"\"hostid\": \"02:00:00:00:00:01\"\n\"os\": \"Linux\"\n", "report 'r.txt': line 1: " + address},
	    {"\"hostid\": \"02-00-00-00-00-01\",\n\"os\": \"Linux\"\n", "report 'r.txt': line 1: " + address},
	    {"\"hostid\": [\n\"02:00:00:00:00:01\",\n],\n\"os\": \"Linux\"\n",
	     "report 'r.txt': line 3: " + address},
	    {"\"hostid\": [\n\"02:00:00:00:00:01\"\n\"os\": \"Linux\"\n",
	     "report 'r.txt': line 3: expected '],'"},
	    {"\"hostid\": [\n\"02:00:00:00:00:01\",\n", "report 'r.txt': line 3: expected '],'"},
	    {"\"hostid\": [\n\"02:00:00:00:00:01\" ,\n],\n", "report 'r.txt': line 2: " + address},
	    {"\"hostid\": \"02:00:00:00:00:01\",\n", "report 'r.txt': line 2: " + os},
	    {"\"hostid\": \"02:00:00:00:00:01\",\n\n\"os\": \"Linux\"\n",
	     "report 'r.txt': line 2: " + os},
	    {"\"hostid\": \"02:00:00:00:00:01\",\n\"os\": \"Linux\",\n", "report 'r.txt': line 2: " + os},
	    {"\"hostid\": \"02:00:00:00:00:01\",\n\"os\": \"\"\n",
	     "report 'r.txt': line 2: " + os},
	    {"\"hostid\": \"02:00:00:00:00:01\",\n\"os\": \"Li\\\"nux\"\n",
	     "report 'r.txt': line 2: the member \"os\" is not 1 to 64 printable characters"},
	    {"\"hostid\": \"02:00:00:00:00:01\",\n\"os\": \"" + std::string(65, 'L') + "\"\n",
	     "report 'r.txt': line 2: the member \"os\" is not 1 to 64 printable characters"},
	    {one + "\"os\": \"Linux\"\n", "report 'r.txt': line 3: text after the report"},
	    {one + "\n}\n", "report 'r.txt': line 4: text after the report"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.msg);
		Read r = read(c.text);
		EXPECT_EQ(r.rc, QEL_ERR_REPORT);
		EXPECT_EQ(r.msg, c.msg);
	}
}

} // namespace
