#!/usr/bin/env bats
# qelhostid end to end, against the real adapter list: in network
# namespaces whose links a case chooses (Linux, as root), and the host's own
# links (every platform, Wine included). Expected texts: tests/cli/qelhostid/.

load common

setup() {
	prepare qelhostid
}

# Links of every kind the kernel makes here: veth, tap, bridge and vxlan
# with a six-byte address, a duplicate address, links down, and a tun link,
# which has no hardware address. qelhostid/links.stdout is their report.
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

# host_report VAR: sets VAR to the report of the host's own links, as the
# kernel lists them (a six-byte hardware address; loopback and tunnels
# aside), and n_host_ids to their count.
host_report() {
	local ids
	ids=$(ip -o link show | sed -n 's/.* link\/ether \([0-9a-f:]\{17\}\) .*/\1/p' | sort -u)
	n_host_ids=$(grep -c . <<<"$ids" || true)
	if [ "$n_host_ids" -eq 1 ]; then
		printf -v "$1" '"hostid": "%s",\n"os": "%s"\n' "$ids" "$QEL_OS"
	else
		printf -v "$1" '"hostid": [\n%s\n],\n"os": "%s"\n' \
			"$(sed 's/.*/  "&",/; $ s/,$//' <<<"$ids")" "$QEL_OS"
	fi
}

# run_on_known_links [REDIRECTIONS]: runs the program where the adapters are
# known and sets report to what it must print: in a network namespace with
# the links above on Linux; on the host's links under Wine, whose adapter
# list is the host's.
run_on_known_links() {
	if [ "$QEL_OS" = Windows ]; then
		host_report report
		[ "$n_host_ids" -gt 0 ] || skip "the host has no link with a hardware address"
		run_with "" "${1:-}"
	else
		require_netns
		golden report qelhostid/links.stdout
		run_in_netns "$links" "${1:-}"
	fi
}

# --- Command line ---------------------------------------------------------

@test "any argument, even an empty one, gives the usage text and touches nothing" {
	local -a cases=("x" "" "-h --help")
	local args
	for args in "${cases[@]}"; do
		echo "arguments: '$args'"
		echo "precious" >qelhostid.txt
		if [ -z "$args" ]; then
			run_prog ""
		else
			# shellcheck disable=SC2086
			run_prog $args
		fi
		assert_status 1
		assert_golden "$err" qelhostid/usage.stderr
		assert_text "$out" ""
		assert_bytes qelhostid.txt $'precious\n'
		assert_equal "$(ls -A)" qelhostid.txt
	done
}

# --- Adapters ---------------------------------------------------------------

# bats test_tags=netns,root
@test "loopback alone does not qualify" {
	require_netns
	run_in_netns "true"
	assert_status 14
	assert_golden "$err" qelhostid/no-adapter.stderr
	assert_text "$out" ""
	assert_file_not_exists qelhostid.txt
}

# bats test_tags=netns,root
@test "every link with a six-byte address counts, once, up or down; tun links do not" {
	require_netns
	echo "an older, longer report that must be replaced entirely" >qelhostid.txt
	run_in_netns "$links"
	assert_status 0
	assert_golden "$out" qelhostid/links.stdout
	assert_text "$err" ""
	assert_files_equal qelhostid.txt "$out"
}

# bats test_tags=netns,root
@test "one qualifying address gives the single form" {
	require_netns
	run_in_netns "ip link add v0 type veth peer name v1
ip link set v0 address 02:00:00:00:00:01
ip link set v1 address 02:00:00:00:00:01"
	assert_status 0
	assert_golden "$out" qelhostid/single.stdout
	assert_text "$err" ""
	assert_files_equal qelhostid.txt "$out"
}

@test "the report names the hardware addresses the kernel lists for the host" {
	local report
	host_report report
	run_prog
	if [ "$n_host_ids" -eq 0 ]; then
		assert_status 14
		return
	fi
	assert_status 0
	assert_text "$out" "$report"
	assert_text "$err" ""
	assert_files_equal qelhostid.txt "$out"
}

# --- Report file and standard streams ---------------------------------------

# bats test_tags=netns,root
@test "a report file that cannot be opened: the report, then the error line" {
	mkdir qelhostid.txt
	run_on_known_links
	assert_status 3
	assert_text "$out" "$report"
	assert_golden "$err" qelhostid/file-is-directory.stderr
}

# bats test_tags=netns,root
@test "standard output full: a failure, and no report file" {
	run_on_known_links ">/dev/full"
	assert_status 3
	assert_golden "$err" qelhostid/stdout-full.stderr
	assert_file_not_exists qelhostid.txt
}

# bats test_tags=netns,root
@test "standard output closed: a failure, and no report file" {
	require_bare
	run_on_known_links ">&-"
	assert_status 3
	assert_golden "$err" qelhostid/stdout-closed.stderr
	assert_file_not_exists qelhostid.txt
}

# bats test_tags=netns,root
@test "standard input and error closed: the report still goes where it belongs" {
	require_bare
	run_on_known_links "<&- 2>&-"
	assert_status 0
	assert_text "$out" "$report"
	assert_text qelhostid.txt "$report"
}
