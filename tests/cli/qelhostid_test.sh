#!/usr/bin/env bash
# End-to-end cases of qelhostid against the real kernel, each in a network
# namespace of its own whose links the case chooses.
#
# usage: qelhostid_test.sh PROGRAM
. "$(dirname "$0")/lib.sh"
use_prog "$1" qelhostid

if ! unshare -n true 2>/dev/null; then
	echo "cannot make a network namespace (unshare -n refused): run as root"
	exit 1
fi

# in_netns SETUP [REDIRECTIONS]: runs the program in a new network
# namespace after the shell commands in SETUP, with the redirections given;
# sets status, out, err.
in_netns() {
	unshare -n bash -c "set -e
$1
cd '$scratch'
exec ${QEL_EXEC_PREFIX:-} $prog ${2:-}" >"$scratch.out" 2>"$scratch.err"
	read_outputs $?
}

usage=$'Usage: qelhostid\nPrint host ID on stdout.\n'

# Any argument, even an empty one, gives the usage text and touches nothing.
for args in "x" "" "-h --help"; do
	new_scratch
	echo "precious" >qelhostid.txt
	# shellcheck disable=SC2086
	if [ -z "$args" ]; then run_prog ""; else run_prog $args; fi
	expect_eq "usage for '$args': exit" 1 "$status"
	expect_eq "usage for '$args': stderr" "$usage" "$err"
	expect_eq "usage for '$args': stdout" "" "$out"
	expect_eq "usage for '$args': file untouched" "precious" "$(cat qelhostid.txt)"
done

# Loopback alone does not qualify.
new_scratch
in_netns "true"
expect_eq "loopback only: exit" 14 "$status"
expect_eq "loopback only: stderr" $'qelhostid: error: no network interface found\n' "$err"
expect_eq "loopback only: stdout" "" "$out"
expect_eq "loopback only: no file" "no" "$([ -e qelhostid.txt ] && echo yes || echo no)"

links='
ip link set lo up
ip link add v0 type veth peer name v1
ip link set v0 address 00:11:22:33:44:66
ip link set v1 address 00:11:22:33:44:55
ip tuntap add tap0 mode tap
ip link set tap0 address 00:11:22:33:44:66
ip link add br0 type bridge
ip link set br0 address 0a:00:00:00:00:00
ip link add vx0 type vxlan id 42 dstport 4789 local 127.0.0.1
ip link set vx0 address 08:ff:ff:ff:ff:ff
ip tuntap add tun0 mode tun
ip link set v0 up
'
report='"hostid": [
  "00:11:22:33:44:55",
  "00:11:22:33:44:66",
  "08:ff:ff:ff:ff:ff",
  "0a:00:00:00:00:00"
],
"os": "Linux"
'

# veth, tap, bridge and vxlan links, a duplicate, down links and a tun link.
new_scratch
echo "an older, longer report that must be replaced entirely" >qelhostid.txt
in_netns "$links"
expect_eq "links: exit" 0 "$status"
expect_eq "links: stdout" "$report" "$out"
expect_eq "links: stderr" "" "$err"
file=$(cat qelhostid.txt; echo x); file=${file%x}
expect_eq "links: file equals stdout" "$report" "$file"

# One qualifying link: the single form.
new_scratch
in_netns "ip link add v0 type veth peer name v1; ip link set v0 address 02:00:00:00:00:01; ip link set v1 address 02:00:00:00:00:01"
expect_eq "single: stdout" $'"hostid": "02:00:00:00:00:01",\n"os": "Linux"\n' "$out"
expect_eq "single: exit" 0 "$status"

# The report file cannot be opened: the report is printed, then the error.
new_scratch
mkdir qelhostid.txt
in_netns "$links"
expect_eq "file is a directory: exit" 3 "$status"
expect_eq "file is a directory: stdout" "$report" "$out"
expect_eq "file is a directory: stderr" \
	$'qelhostid: error: cannot open file \'qelhostid.txt\': Is a directory\n' "$err"

# Standard output full or closed: a failure, and no file at all. (A tool
# in front of the program, such as valgrind, opens descriptors of its own,
# so closed ones are tested on the bare program only.)
cases="full closed"
[ -n "${QEL_EXEC_PREFIX:-}" ] && cases=full
for case in $cases; do
	new_scratch
	if [ $case = full ]; then redir='>/dev/full'; text='No space left on device'
	else redir='>&-'; text='Bad file descriptor'; fi
	in_netns "$links" "$redir"
	expect_eq "stdout $case: exit" 3 "$status"
	expect_eq "stdout $case: stderr" "qelhostid: error: cannot write to file: $text"$'\n' "$err"
	expect_eq "stdout $case: no file" "no" "$([ -e qelhostid.txt ] && echo yes || echo no)"
done

# Standard input and error closed: the report still goes where it belongs.
if [ -z "${QEL_EXEC_PREFIX:-}" ]; then
	new_scratch
	in_netns "$links" "<&- 2>&-"
	expect_eq "stdin and stderr closed: exit" 0 "$status"
	expect_eq "stdin and stderr closed: stdout" "$report" "$out"
	file=$(cat qelhostid.txt; echo x); file=${file%x}
	expect_eq "stdin and stderr closed: file" "$report" "$file"
fi

finish
