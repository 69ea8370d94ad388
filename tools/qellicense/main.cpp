/* qellicense: issues a licence for the machine of a customer's report, or
 * checks one as the product would. */
#include <cstdio>
#include <cstring>

#include "core/process.h"
#include "core/std_streams.h"
#include "license/license_tool.h"

namespace {

const char *prog = "qellicense";

void
usage(std::FILE *to)
{
	(void)std::fprintf(to,
	                   "Usage: %s issue --key PRIVATE_KEY --report REPORT --licensee NAME\n"
	                   "           [--expires YYYY-MM-DD] [--set NAME=VALUE]... --out FILE\n"
	                   "       %s check --key PUBLIC_KEY FILE\n"
	                   "       %s --help | --version\n",
	                   prog, prog, prog);
}

void
help()
{
	usage(stdout);
	(void)std::printf(
	    "\n"
	    "Issue a node-locked licence for the machine of a customer's report, or\n"
	    "check one as the product does on this machine.\n"
	    "\n"
	    "issue: sign a licence with the private key that qelkeypair made\n"
	    "  --key FILE        the private key file, qel_privkey.c\n"
	    "  --report FILE     the customer's qelhostid.txt, or the text they sent\n"
	    "  --licensee NAME   whom the licence is for\n"
	    "  --expires DATE    the last day it is good, YYYY-MM-DD (UTC)\n"
	    "  --set NAME=VALUE  a member of your own; NAME of a-z, 0-9 and _\n"
	    "  --out FILE        the licence file to write; never overwritten\n"
	    "check: verify a licence and print what it says\n"
	    "  --key FILE        the public key file, qel_pubkey.c\n"
	    "\n"
	    "Exit status: 0 good, 1 usage, 2 memory, 3 file, 14 adapters, 15 signing,\n"
	    "16 key, 17 report, 18 member, 20 malformed licence, 21 bad signature,\n"
	    "22 another key, 23 another machine, 24 expired.\n");
}

/* Says what is wrong with the command line (before, arg and after, one
 * after the other), with the usage; status 1. */
int
bad_usage(const char *before, const char *arg = "", const char *after = "")
{
	(void)std::fprintf(stderr, "%s: error: %s%s%s\n", prog, before, arg, after);
	usage(stderr);
	return 1;
}

/* parse's answer when the options ask for the help text. */
constexpr int HELP_ASKED = -1;

/* Prints the help text; status 0, or 3 when it was lost. */
int
print_help()
{
	help();
	return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 3;
}

/* The options of the two commands. */
struct Options {
	const char *key = nullptr;
	const char *report = nullptr;
	const char *licensee = nullptr;
	const char *expires = nullptr;
	const char *out = nullptr;
	const char *file = nullptr;
	int sets = 0;
};

/* Whether a is one of issue's options that take the next argument as
 * their value, whatever it looks like ("--set" included). */
bool
takes_value(const char *a)
{
	return std::strcmp(a, "--key") == 0 || std::strcmp(a, "--report") == 0 ||
	       std::strcmp(a, "--licensee") == 0 || std::strcmp(a, "--expires") == 0 ||
	       std::strcmp(a, "--out") == 0 || std::strcmp(a, "--set") == 0;
}

/* Takes the value of option argv[*i] into *slot. Returns 0 or a status. */
int
take(int argc, char **argv, int *i, const char **slot)
{
	if (*i + 1 >= argc)
		return bad_usage("option '", argv[*i], "' needs a value");
	if (*slot != nullptr)
		return bad_usage("option '", argv[*i], "' is given twice");
	*slot = argv[++*i];
	return 0;
}

/* Reads the options after the command; issue's --set values stay in argv
 * and are counted. */
int
parse(int argc, char **argv, bool issue, Options *o)
{
	for (int i = 2; i < argc; i++) {
		const char *a = argv[i];
		int status = 0;
		if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0)
			return HELP_ASKED;
		if (std::strcmp(a, "--key") == 0)
			status = take(argc, argv, &i, &o->key);
		else if (issue && std::strcmp(a, "--report") == 0)
			status = take(argc, argv, &i, &o->report);
		else if (issue && std::strcmp(a, "--licensee") == 0)
			status = take(argc, argv, &i, &o->licensee);
		else if (issue && std::strcmp(a, "--expires") == 0)
			status = take(argc, argv, &i, &o->expires);
		else if (issue && std::strcmp(a, "--out") == 0)
			status = take(argc, argv, &i, &o->out);
		else if (issue && std::strcmp(a, "--set") == 0) {
			if (i + 1 >= argc)
				return bad_usage("option '", a, "' needs a value");
			if (std::strchr(argv[++i], '=') == nullptr)
				return bad_usage("option '--set' takes NAME=VALUE, not '", argv[i], "'");
			o->sets++;
		} else if (a[0] == '-' && a[1] != '\0')
			return bad_usage("unknown option '", a, "'");
		else if (!issue && o->file == nullptr)
			o->file = a;
		else
			return bad_usage("unexpected argument '", a, "'");
		if (status != 0)
			return status;
	}
	if (o->key == nullptr)
		return bad_usage("missing option '--key'");
	if (issue && o->report == nullptr)
		return bad_usage("missing option '--report'");
	if (issue && o->licensee == nullptr)
		return bad_usage("missing option '--licensee'");
	if (issue && o->out == nullptr)
		return bad_usage("missing option '--out'");
	if (!issue && o->file == nullptr)
		return bad_usage("missing the licence file to check");
	return 0;
}

/* The run of issue: members from the options, in their order. */
int
issue(int argc, char **argv, const Options *o, char *msg)
{
	/* licensee, expires and the --set pairs, then the null name */
	const int slots = 2 * (2 + o->sets) + 1;
	auto **members = static_cast<const char **>(mem_calloc(static_cast<std::size_t>(slots),
	                                                       sizeof(char *)));
	if (members == nullptr) {
		error_set(msg, "out of memory");
		return QEL_ERR_MEMORY;
	}
	int n = 0;
	members[n++] = "licensee";
	members[n++] = o->licensee;
	if (o->expires != nullptr) {
		members[n++] = "expires";
		members[n++] = o->expires;
	}
	/* The --set values, found as parse found them: the value of another
	 * option is never taken for one. */
	for (int i = 2; i < argc; i++) {
		if (!takes_value(argv[i]))
			continue;
		if (std::strcmp(argv[i++], "--set") != 0)
			continue;
		/* NAME=VALUE: the name ends at the first '='. */
		char *eq = std::strchr(argv[i], '=');
		*eq = '\0';
		members[n++] = argv[i];
		members[n++] = eq + 1;
	}
	const IssueFiles files{o->key, o->report, members, o->out};
	int rc = license_issue_files(&files, msg);
	mem_free(static_cast<void *>(members));
	return rc;
}

} // namespace

int
main(int argc, char **argv)
{
	char msg[QEL_MSG_SIZE];
	if (argc > 0 && argv[0] != nullptr)
		prog = argv[0];

	if (argc < 2)
		return bad_usage("no command");
	const char *command = argv[1];
	if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
		if (argc != 2)
			return bad_usage("--help takes no argument");
		return print_help();
	}
	if (std::strcmp(command, "--version") == 0) {
		if (argc != 2)
			return bad_usage("--version takes no argument");
		(void)std::printf("qellicense %s\n", qel_version_string());
		return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 3;
	}
	bool is_issue = std::strcmp(command, "issue") == 0;
	if (!is_issue && std::strcmp(command, "check") != 0)
		return bad_usage("unknown command '", command, "'");
	Options o;
	int status = parse(argc, argv, is_issue, &o);
	if (status == HELP_ASKED)
		return print_help();
	if (status != 0)
		return status;

	/* A core taken while the private key is in memory would hold it. */
	if (is_issue)
		process_deny_core_dumps();
	int rc = std_streams_ensure_open(msg);
	if (rc == QEL_OK)
		rc = is_issue ? issue(argc, argv, &o, msg) : license_check_files(o.key, o.file, msg);
	if (rc == QEL_OK)
		return 0;
	/* Nothing is left to report a failed write of this line to. */
	(void)std::fprintf(stderr, "%s: error: %s\n", prog, msg);
	return -rc;
}
