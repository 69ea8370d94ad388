#!/usr/bin/env bats
# qellicense end to end: a licence issued from the customer's report and
# checked on the machine it is for, every change to it that must fail,
# another key, another machine, the expiry day, line ends converted both
# ways, the report as it comes back from a mail, files never overwritten,
# and each usage, key, report and member error with its status and nothing
# written. Every licence issued here is verified by an implementation of
# its own (tests/oracle/licence_oracle.py). Expected texts:
# tests/cli/qellicense/.
#
# The keys are the committed test key pairs (tests/data): golden_* signs,
# other_* is "another key". "This machine": on Linux, as root, a network
# namespace whose links have the address 00:11:22:33:44:55; elsewhere (the
# Windows build under Wine, which lists the host's adapters) the host's
# first Ethernet address. Another machine is 00:00:5e:00:53:01, an address
# of the documentation range.
#
# Issuing checks the private key, which takes seconds under valgrind's
# memcheck: the licence most cases read is issued once, in setup_file, and
# its variants for other days and another machine are signed there by the
# oracle. Cases that issue licences of their own are tagged issues. The
# cases tagged memcheck take every path the program has through
# libtomcrypt and libtommath (keys read and refused, a licence signed, a
# signature verified and refused): the test command runs them under
# valgrind.
#
# QEL_OTHER_QELLICENSE (set for the Windows run) names the Linux build's
# qellicense: a licence issued by each is then checked by the other.

load common

data=$BATS_TEST_DIRNAME/../data
oracle=$BATS_TEST_DIRNAME/../oracle/licence_oracle.py
elsewhere=00:00:5e:00:53:01

# The links of this machine's namespace, and of another one.
here_links="ip link add v0 type veth peer name v1
ip link set v0 address 00:11:22:33:44:55
ip link set v1 address 02:00:00:00:00:99"
elsewhere_links="ip link add v0 type veth peer name v1
ip link set v0 address 02:00:00:00:00:98
ip link set v1 address 02:00:00:00:00:99"

# host_address: the first Ethernet address of the host's links.
host_address() {
	ip -o link show | sed -n 's/.* link\/ether \([0-9a-f:]\{17\}\) .*/\1/p' | sort | head -n 1
}

# ready DIR: makes DIR a vendor's directory: the key files and the
# customer's report (report.txt, as qelhostid writes it on this platform).
# Sets mode (netns or host) and here.
ready() {
	cp "$data/golden_privkey.c" "$1/qel_privkey.c"
	cp "$data/golden_pubkey.c" "$1/qel_pubkey.c"
	if [ "$QEL_OS" = Linux ] && unshare -n true 2>/dev/null; then
		mode=netns
		here=00:11:22:33:44:55
	else
		mode=host
		here=$(host_address)
	fi
	local text
	platform_text text "\"hostid\": \"$here\","$'\n'"\"os\": \"$QEL_OS\""$'\n'
	printf %s "$text" >"$1/report.txt"
}

# issue FILE [ARGS...]: issues FILE from report.txt with the private key,
# for Example Ltd, with ARGS added.
issue() {
	local licence=$1
	shift
	run_prog issue --key qel_privkey.c --report report.txt --licensee "Example Ltd" \
		--out "$licence" "$@"
}

# run_here [ARGS...]: runs the program on this machine.
run_here() {
	if [ "$mode" = netns ]; then
		run_wrapped "unshare -n" "$here_links" "" "$@"
	else
		run_prog "$@"
	fi
}

# check FILE [KEY]: checks FILE on this machine with the public key.
check() {
	run_here check --key "${2:-qel_pubkey.c}" "$1"
}

# assert_oracle_good FILE [KEY]: the other implementation verifies FILE.
assert_oracle_good() {
	run python3 "$oracle" verify "${2:-qel_pubkey.c}" "$1"
	assert_output good
}

# assert_error STATUS MESSAGE: the run failed with STATUS and the one line
# "PROG: error: MESSAGE", nothing on standard output.
assert_error() {
	assert_status "$1"
	assert_text "$err" "$argv0: error: $2"$'\n'
	assert_text "$out" ""
}

# assert_nothing_written: the scratch directory holds what ready put there
# and what the case named in $kept.
assert_nothing_written() {
	assert_equal "$(ls -A | LC_ALL=C sort | xargs)" \
		"$(printf '%s\n' qel_privkey.c qel_pubkey.c report.txt ${kept:-} |
			LC_ALL=C sort | xargs)"
}

# The signed lines of the standard licence, LF line ends.
standard_lines() {
	printf '%s\n' '{' '"licensee": "Example Ltd",' '"expires": "2099-12-31",' \
		'"features": "pro",' "\"hostid\": \"$here\"," "\"os\": \"$QEL_OS\"," \
		'"key": "f3d8c4f113eb536f",'
}

# oracle_sign FILE SED: signs with the oracle the standard licence's lines
# changed by the sed program SED.
oracle_sign() {
	standard_lines | sed '$d' | sed -e "$2" >"$1.body"
	python3 "$oracle" sign qel_privkey.c "$1.body" "$1"
	rm "$1.body"
}

setup_file() {
	local shared=$BATS_FILE_TMPDIR/shared
	prepare qellicense "$shared"
	ready "$scratch"
	issue standard.lic --expires 2099-12-31 --set features=pro
	echo "$status" >"$shared/standard.lic.status"
	cp "$out" "$shared/standard.lic.stdout"
	cp "$err" "$shared/standard.lic.stderr"
	# name | sed program
	while IFS='|' read -r name program; do
		oracle_sign "$name" "$program"
		echo 0 >"$shared/$name.status"
	done <<-TABLE
		old.lic|s/2099-12-31/2000-01-01/
		today.lic|s/2099-12-31/$(date -u +%F)/
		elsewhere.lic|s/$here/$elsewhere/
	TABLE
}

setup() {
	prepare qellicense
	ready "$scratch"
	shared=$BATS_FILE_TMPDIR/shared
}

# use NAME...: copies licences of setup_file into the scratch directory,
# each issued with status 0.
use() {
	local name
	for name in "$@"; do
		assert_equal "$name: $(cat "$shared/$name.status")" "$name: 0"
		cp "$shared/scratch/$name" .
	done
}

# --- Issue and check ----------------------------------------------------------

# bats test_tags=memcheck
@test "issue writes the licence, in the platform's line ends, and says so" {
	assert_equal "$(cat "$shared/standard.lic.status")" 0
	assert_text "$shared/standard.lic.stdout" "licence 'standard.lic' was written"$'\n'
	assert_text "$shared/standard.lic.stderr" ""
	use standard.lic
	local text sig
	text=$(cat standard.lic && echo x)
	text=${text%x}
	[ "$QEL_EOL" = lf ] || [ "$(tr -cd '\r' <standard.lic | wc -c)" -eq "$(wc -l <standard.lic)" ] ||
		fail "not every line ends in CR LF"
	text=${text//$'\r'/}
	sig=$(sed -n 's/^"signature": "\([0-9a-f]*\)"\r\{0,1\}$/\1/p' standard.lic)
	assert_regex "$sig" '^30([0-9a-f]{2})+$'
	assert_equal "$text" "$(standard_lines)"$'\n'"\"signature\": \"$sig\""$'\n}\n'
	assert_oracle_good standard.lic
}

# bats test_tags=memcheck
@test "check answers 0 on this machine and prints what the licence says" {
	use standard.lic
	check standard.lic
	assert_status 0
	assert_text "$err" ""
	assert_text "$out" "licence 'standard.lic' is valid on this machine
licensee: Example Ltd
expires: 2099-12-31
features: pro
hostid: $here
os: $QEL_OS
key: f3d8c4f113eb536f
"
}

@test "every change to a signed member, and to the signature, fails" {
	use standard.lic
	local sig flipped
	sig=$(sed -n 's/^"signature": "\([0-9a-f]*\)".*/\1/p' standard.lic)
	flipped=${sig:0:20}$(printf %x $(((16#${sig:20:1} + 1) % 16)))${sig:21}
	# sed program | status | message after "licence 'x.lic' "
	while IFS='|' read -r program status message; do
		echo "change: $program"
		sed -e "$program" standard.lic >x.lic
		! cmp -s standard.lic x.lic || fail "$program changed nothing"
		check x.lic
		assert_error "$status" "licence 'x.lic' $message"
		rm x.lic
	done <<-TABLE
		s/"Example Ltd"/"Example Ltd."/|21|has a signature that is not valid
		s/2099-12-31/2099-12-30/|21|has a signature that is not valid
		s/"pro"/"max"/|21|has a signature that is not valid
		s/"features"/"feature"/|21|has a signature that is not valid
		s/$here/$elsewhere/|21|has a signature that is not valid
		s/"os": "$QEL_OS"/"os": "Other"/|21|has a signature that is not valid
		/"features"/a "seats": "5",|21|has a signature that is not valid
		/"features"/d|21|has a signature that is not valid
		/"expires"/d|21|has a signature that is not valid
		s/$sig/$flipped/|21|has a signature that is not valid
		s/f3d8c4f113eb536f/816436f9b6533e88/|22|was signed with another key (key 816436f9b6533e88, expected f3d8c4f113eb536f)
		s/^}/} /|20|is malformed: line 9: expected '}'
		s/"pro",/"pro" ,/|20|is malformed: line 4: text after the value of member 'features'
	TABLE
}

# Each way the libraries refuse what the tables above and below give
# them, once: a signature that does not verify, one that is not DER, a
# private key that fails its check. The test command runs the cases
# tagged memcheck under valgrind, this one for these paths.
# bats test_tags=memcheck
@test "refused inside the libraries: a changed signature, one not in DER, a broken key" {
	use standard.lic
	local sig flipped
	sig=$(sed -n 's/^"signature": "\([0-9a-f]*\)".*/\1/p' standard.lic)
	flipped=${sig:0:20}$(printf %x $(((16#${sig:20:1} + 1) % 16)))${sig:21}
	sed "s/$sig/$flipped/" standard.lic >flipped.lic
	sed "s/$sig/3000/" standard.lic >empty.lic
	cp "$data/golden_privkey.c" broken.c
	sed -i '4s/ 48,/ 49,/' broken.c
	kept="standard.lic flipped.lic empty.lic broken.c"
	for f in flipped.lic empty.lic; do
		check "$f"
		assert_error 21 "licence '$f' has a signature that is not valid"
	done
	run_prog issue --key broken.c --report report.txt --licensee E --out x.lic
	assert_error 16 "key file 'broken.c' is not a DSA key made by qelkeypair"
	assert_nothing_written
}

@test "line ends converted either way: the licence still checks" {
	use standard.lic
	sed 's/\r$//' standard.lic >lf.lic
	sed 's/\r$//; s/$/\r/' standard.lic >crlf.lic
	printf '\357\273\277' >bom.lic && cat crlf.lic >>bom.lic
	for f in lf.lic crlf.lic bom.lic; do
		echo "$f"
		check "$f"
		assert_status 0
		assert_oracle_good "$f"
	done
	assert_equal "$(tr -cd '\r' <lf.lic | wc -c)" 0
	assert_equal "$(tr -cd '\r' <crlf.lic | wc -c)" 9
}

# bats test_tags=memcheck
@test "a licence signed with another key, checked with the product's key" {
	use standard.lic
	cp "$data/other_pubkey.c" other.c
	check standard.lic other.c
	assert_error 22 "licence 'standard.lic' was signed with another key (key f3d8c4f113eb536f, expected 816436f9b6533e88)"
}

@test "a licence for another machine" {
	use elsewhere.lic
	check elsewhere.lic
	assert_error 23 "licence 'elsewhere.lic' is for another machine"
}

# bats test_tags=linux,netns
@test "a licence for this machine, checked in a namespace with other links" {
	require_netns
	use standard.lic
	run_wrapped "unshare -n" "$elsewhere_links" "" check --key qel_pubkey.c standard.lic
	assert_error 23 "licence 'standard.lic' is for another machine"
	# No adapter at all: the listing fails, not the licence.
	run_wrapped "unshare -n" "" "" check --key qel_pubkey.c standard.lic
	assert_error 14 "no network interface found"
}

@test "expired the day after its date; good on the day itself" {
	use old.lic today.lic
	check old.lic
	assert_error 24 "licence 'old.lic' expired on 2000-01-01"
	check today.lic
	assert_status 0
	assert_equal "$(tr -d '\r' <"$out" | sed -n 3p)" "expires: $(date -u +%F)"
}

# bats test_tags=issues
@test "issue takes any date as the expiry date, today and past ones too" {
	local day
	for day in 2000-01-01 "$(date -u +%F)"; do
		issue "$day.lic" --expires "$day"
		assert_status 0
		assert_oracle_good "$day.lic"
		assert_equal "$(sed -n 3p "$day.lic" | tr -d '\r')" "\"expires\": \"$day\","
	done
	check 2000-01-01.lic
	assert_error 24 "licence '2000-01-01.lic' expired on 2000-01-01"
}

# A licence signed by the other implementation, from the same key numbers.
@test "a licence signed by the oracle passes the check" {
	oracle_sign oracle.lic ""
	check oracle.lic
	assert_status 0
	assert_equal "$(tr -d '\r' <"$out" | sed -n 2p)" "licensee: Example Ltd"
}

# The example of the format page is a licence of the test key, for
# 00:11:22:33:44:55 and 00:11:22:33:44:66, good until 2027-12-31.
@test "the example licence of docs/LICENCE-FORMAT.md checks" {
	sed -n '/^## An example/,/^## /p' "$BATS_TEST_DIRNAME/../../docs/LICENCE-FORMAT.md" |
		sed -n '/^```$/,/^```$/p' | sed '1d;$d' >example.lic
	assert_equal "$(head -n 1 example.lic)" "{"
	assert_oracle_good example.lic
	local want=0
	[[ "$(date -u +%F)" < 2028-01-01 ]] || want=24
	[ "$mode" = netns ] || want=23
	check example.lic
	assert_status "$want"
}

# bats test_tags=issues
@test "the report as it comes back from a mail: CR LF, quoted, indented, blank lines" {
	local base want got
	base=$(tr -d '\r' <report.txt)
	# name | the report's text, from the saved one
	while IFS='|' read -r name program; do
		echo "report: $name"
		printf '%s\n' "$base" | sed -e "$program" >pasted.txt
		run_prog issue --key qel_privkey.c --report pasted.txt --licensee "Example Ltd" \
			--out "$name.lic"
		assert_status 0
		want=$(standard_lines | sed '/expires\|features/d')
		got=$(sed '/"signature"/,$d' "$name.lic" | tr -d '\r')
		assert_equal "$got" "$want"
		assert_oracle_good "$name.lic"
		rm pasted.txt
	done <<-'TABLE'
		crlf|s/$/\r/
		quoted|s/^/> /
		quoted-twice|s/^/>> /
		quoted-spaced|s/^/> > /
		indented|s/^/    /
		blank-lines|1s/^/\n \n/; $s/$/\n\t\n/
	TABLE
	kept="crlf.lic quoted.lic quoted-twice.lic quoted-spaced.lic indented.lic blank-lines.lic"
	assert_nothing_written
}

# --- Never overwritten, nothing written on a failure ------------------------

@test "an existing licence file is never overwritten" {
	local want
	echo old >taken.lic
	: >empty.lic
	mkdir dir.lic
	for f in taken.lic empty.lic dir.lic; do
		echo "$f"
		issue "$f"
		assert_error 3 "file '$f' already exists, delete to issue a new licence"
	done
	assert_equal "$(cat taken.lic)" old
	assert_equal "$(wc -c <empty.lic)" 0
	kept="taken.lic empty.lic dir.lic"
	assert_nothing_written
}

# The refusal comes at the last step here, after the licence was made.
# bats test_tags=linux,issues
@test "a dangling symlink at the licence's name is not written through" {
	require_posix "a symlink"
	ln -s target.lic link.lic
	issue link.lic
	assert_error 3 "file 'link.lic' already exists, delete to issue a new licence"
	assert_file_not_exists target.lic
	assert_equal "$(readlink link.lic)" target.lic
	kept=link.lic
	assert_nothing_written
}

@test "key, report and member errors: one line, their status, nothing written" {
	cp "$data/golden_privkey.c" broken.c
	sed -i '4s/ 48,/ 49,/' broken.c
	printf '"hostid": [\n],\n"os": "Linux"\n' >none.txt
	printf '"hostid": "00:11:22:33:44:AA",\n"os": "Linux"\n' >upper.txt
	kept="broken.c none.txt upper.txt"
	# arguments after "issue", ";" for a space | status | message
	while IFS='|' read -r args status message; do
		echo "issue $args"
		IFS=';' read -ra a <<<"$args"
		run_prog issue "${a[@]}"
		assert_error "$status" "$message"
		assert_nothing_written
	done <<-'TABLE'
		--key;qel_pubkey.c;--report;report.txt;--licensee;E;--out;x.lic|16|key file 'qel_pubkey.c' holds a public key, not the private key
		--key;report.txt;--report;report.txt;--licensee;E;--out;x.lic|16|key file 'report.txt': line 1: not a key file of qelkeypair
		--key;broken.c;--report;report.txt;--licensee;E;--out;x.lic|16|key file 'broken.c' is not a DSA key made by qelkeypair
		--key;none.c;--report;report.txt;--licensee;E;--out;x.lic|3|cannot open file 'none.c': No such file or directory
		--key;qel_privkey.c;--report;none.txt;--licensee;E;--out;x.lic|17|report 'none.txt' names no MAC address
		--key;qel_privkey.c;--report;upper.txt;--licensee;E;--out;x.lic|17|report 'upper.txt': line 1: expected a MAC address in lower case, as qelhostid writes it
		--key;qel_privkey.c;--report;qel_pubkey.c;--licensee;E;--out;x.lic|17|report 'qel_pubkey.c': line 1: expected the member "hostid" as qelhostid writes it
		--key;qel_privkey.c;--report;missing.txt;--licensee;E;--out;x.lic|3|cannot open file 'missing.txt': No such file or directory
		--key;qel_privkey.c;--report;report.txt;--licensee;E;--expires;2027-02-30;--out;x.lic|18|member 'expires' is not a date (YYYY-MM-DD): '2027-02-30'
		--key;qel_privkey.c;--report;report.txt;--licensee;E;--expires;31.12.2027;--out;x.lic|18|member 'expires' is not a date (YYYY-MM-DD): '31.12.2027'
		--key;qel_privkey.c;--report;report.txt;--licensee;;--out;x.lic|18|member 'licensee' is empty
		--key;qel_privkey.c;--report;report.txt;--licensee;E;--set;Seats=5;--out;x.lic|18|member name 'Seats' is not 1 to 64 of a-z, 0-9 and _
		--key;qel_privkey.c;--report;report.txt;--licensee;E;--set;hostid=x;--out;x.lic|18|member name 'hostid' is reserved
		--key;qel_privkey.c;--report;report.txt;--licensee;E;--set;a=1;--set;a=2;--out;x.lic|18|member 'a' is given twice
		--key;qel_privkey.c;--report;report.txt;--licensee;E;--set;licensee=F;--out;x.lic|18|member 'licensee' is given twice
	TABLE
}

# bats test_tags=issues
@test "a licence file in a folder that is not there: nothing written" {
	issue missing/x.lic
	assert_error 3 "cannot open file 'missing/x.lic': No such file or directory"
	assert_nothing_written
}

# bats test_tags=memcheck
@test "check's errors: the key, the file, its size" {
	use standard.lic
	head -c 70000 /dev/zero | tr '\0' ' ' >big.lic
	kept="standard.lic big.lic"
	check standard.lic qel_privkey.c
	assert_error 16 "key file 'qel_privkey.c' holds the private key, not a public key"
	check missing.lic
	assert_error 3 "cannot open file 'missing.lic': No such file or directory"
	check big.lic
	assert_error 20 "licence 'big.lic' is longer than 65536 bytes"
	check report.txt
	assert_error 20 "licence 'report.txt' is malformed: line 1: expected '{'"
	assert_nothing_written
}

# --- The command line -----------------------------------------------------------

@test "--help and -h: the help on standard output, status 0" {
	local -a cases=("--help" "-h" "issue --help" "check -h")
	local args
	for args in "${cases[@]}"; do
		echo "arguments: $args"
		# shellcheck disable=SC2086
		run_prog $args
		assert_status 0
		assert_golden "$out" qellicense/help.stdout
		assert_text "$err" ""
	done
	run_prog --version
	assert_status 0
	assert_regex "$(tr -d '\r' <"$out")" '^qellicense [0-9]+\.[0-9]+\.[0-9]+$'
}

@test "usage errors: the reason, the usage, status 1, nothing written" {
	local usage
	golden usage qellicense/usage.stderr
	# arguments, ";" for a space | reason
	while IFS='|' read -r args reason; do
		echo "arguments: $args"
		IFS=';' read -ra a <<<"$args"
		run_prog "${a[@]}"
		assert_status 1
		assert_text "$err" "$argv0: error: $reason"$'\n'"$usage"
		assert_text "$out" ""
		assert_nothing_written
	done <<-'TABLE'
		|no command
		sign|unknown command 'sign'
		--help;x|--help takes no argument
		--version;x|--version takes no argument
		check|missing option '--key'
		check;--key;qel_pubkey.c|missing the licence file to check
		check;--key;qel_pubkey.c;a.lic;b.lic|unexpected argument 'b.lic'
		check;--key|option '--key' needs a value
		check;--key;a;--key;b;x.lic|option '--key' is given twice
		check;--out;x.lic|unknown option '--out'
		issue;--key;qel_privkey.c;--report;report.txt;--licensee;E|missing option '--out'
		issue;--key;qel_privkey.c;--report;report.txt;--out;x.lic|missing option '--licensee'
		issue;--key;qel_privkey.c;--licensee;E;--out;x.lic|missing option '--report'
		issue;--report;report.txt;--licensee;E;--out;x.lic|missing option '--key'
		issue;--key;qel_privkey.c;--report;report.txt;--licensee;E;--out;x.lic;--set;seats|option '--set' takes NAME=VALUE, not 'seats'
		issue;--key;qel_privkey.c;--report;report.txt;--licensee;E;--out;x.lic;--set|option '--set' needs a value
		issue;--key;qel_privkey.c;--report;report.txt;--licensee;E;--out;x.lic;extra|unexpected argument 'extra'
		issue;-x|unknown option '-x'
	TABLE
}

# An option's value is the next argument as it stands, also one that looks
# like an option: "--set" as the licensee is no --set.
# bats test_tags=issues
@test "an option's value is taken as it stands, also one like an option" {
	run_prog issue --key qel_privkey.c --report report.txt --licensee --set \
		--set note=--out --out x.lic
	assert_status 0
	assert_text "$err" ""
	run bash -c "tr -d '\r' <x.lic | grep -c -x -e '\"licensee\": \"--set\",' -e '\"note\": \"--out\",'"
	assert_output 2
	assert_oracle_good x.lic
}

# --- Lost output ------------------------------------------------------------------

# bats test_tags=linux,issues
@test "standard output full: the check fails; an issued licence stays whole" {
	require_posix "/dev/full"
	use standard.lic
	if [ "$mode" = netns ]; then
		run_wrapped "unshare -n" "$here_links" ">/dev/full" check --key qel_pubkey.c standard.lic
	else
		run_with "" ">/dev/full" check --key qel_pubkey.c standard.lic
	fi
	assert_error 3 "cannot write to file: No space left on device"
	run_with "" ">/dev/full" issue --key qel_privkey.c --report report.txt --licensee E \
		--out new.lic
	assert_error 3 "cannot write to file: No space left on device"
	assert_oracle_good new.lic
}

# --- Across platforms -------------------------------------------------------------

# bats test_tags=issues
@test "a licence issued on Linux checks on Windows, and the reverse" {
	[ "$QEL_OS" = Windows ] || skip "the Windows run checks the Linux build's licences"
	local linux=${QEL_OTHER_QELLICENSE:-}
	[ -n "$linux" ] && [ -x "$linux" ] ||
		skip "no Linux qellicense in QEL_OTHER_QELLICENSE (build the default preset first)"
	use standard.lic
	"$linux" issue --key qel_privkey.c --report report.txt --licensee "Example Ltd" \
		--out linux.lic >/dev/null
	assert_oracle_good linux.lic
	check linux.lic
	assert_status 0
	run "$linux" check --key qel_pubkey.c standard.lic
	assert_success
	assert_line --index 0 "licence 'standard.lic' is valid on this machine"
}
