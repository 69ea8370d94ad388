#!/usr/bin/env bats
# scripts/build-windows-deps.sh gets Debian's source packages without
# writing outside its own folders: run with --source (fetch, unpack, stop)
# in a mount namespace where the whole file system is read-only but a
# scratch folder, it succeeds, leaves the sources with Debian's patches
# applied and nothing else, and the machine's apt configuration, lists and
# caches are as they were. The build itself (a minute) is left to
# scripts/test.sh, which runs the script once.
#
# Environment: QEL_SOURCE (the source tree). Needs root (unshare -m).

bats_require_minimum_version 1.5.0

setup() {
	bats_load_library bats-support
	bats_load_library bats-assert
	bats_load_library bats-file
	script=$QEL_SOURCE/scripts/build-windows-deps.sh
	scratch=$BATS_TEST_TMPDIR/scratch
	mkdir "$scratch"
}

# readonly_run COMMAND...: runs COMMAND with every file system read-only
# except the scratch folder.
readonly_run() {
	unshare -m --propagation private bash -c 'set -e
		mount --bind "$1" "$1"
		mount -o remount,bind,ro /
		shift
		exec "$@"' _ "$scratch" "$@"
}

# apt_state: what the machine's apt keeps, by name, size and time.
apt_state() {
	find /etc/apt /var/lib/apt /var/cache/apt -printf '%p %s %T@\n' 2>/dev/null | LC_ALL=C sort
}

@test "fetching the sources writes nothing outside the script's folders" {
	[ "$(id -u)" -eq 0 ] || skip "needs root: mounts the file system read-only in a namespace"
	# The namespace does what it should: nothing else can be written.
	run readonly_run touch /etc/apt/qel-test
	assert_failure
	assert_output --partial "Read-only file system"
	before=$(apt_state)

	run --separate-stderr readonly_run env QEL_DEPS_DIR="$scratch/deps/windows" \
		bash "$script" --source "$scratch/src"
	assert_success
	assert_equal "$stderr" ""
	# Only the sources are left, Debian's patch for CVE-2019-17362 applied.
	run bash -c 'cd "$1" && find . -maxdepth 2 | LC_ALL=C sort' _ "$scratch"
	assert_output - <<-OUT
		.
		./deps
		./src
		./src/libtomcrypt-1.18.2
		./src/libtommath-1.2.0
		OUT
	run grep -c 'z == 1 || z > 4' "$scratch/src/libtomcrypt-1.18.2/src/pk/asn1/der/utf8/der_decode_utf8_string.c"
	assert_output 1
	assert_equal "$(apt_state)" "$before"
}

@test "usage: one option, --source DIR, DIR new" {
	# arguments | message
	while IFS='|' read -r args message; do
		# shellcheck disable=SC2086
		run --separate-stderr bash "$script" $args
		assert_equal "$args: $status" "$args: 1"
		assert_equal "$args: $stderr" "$args: build-windows-deps: $message"
	done <<-TABLE
		--build|usage: build-windows-deps.sh [--source DIR]
		--source|usage: build-windows-deps.sh [--source DIR]
		--source $scratch x|usage: build-windows-deps.sh [--source DIR]
		--source $scratch|$scratch exists
	TABLE
}
