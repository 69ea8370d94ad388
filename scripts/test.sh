#!/usr/bin/env bash
# Set up, build and run every test suite: the optimised Linux build, the
# sanitizer build, the fuzzers' committed inputs, and the Windows build
# under Wine. Two lanes run side by side, each building with every core:
# the Linux builds, and the Windows dependencies and build. Each lane's
# output is shown when it ends, with its time.
#
# Left out, each a command of its own (see README.md): fuzzing beyond the
# committed inputs (bash scripts/fuzz.sh 30) and the whole command-line
# suites under valgrind (ctest --preset extra).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

start=$SECONDS
bash scripts/setup.sh
echo "== setup: $((SECONDS - start)) s"

export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
logs=$(mktemp -d "${TMPDIR:-/tmp}/qel-test.XXXXXX")
trap 'rm -rf "$logs"' EXIT

# The Windows suites check licences the Linux qellicense issued and the
# reverse: the Windows lane runs its tests once the Linux lane says (in
# $logs/default-built) that the default build is done.
lane_linux() {
	echo "== default"
	cmake --preset default
	cmake --build --preset default
	touch "$logs/default-built"
	ctest --preset default
	echo "== sanitize"
	cmake --workflow --preset sanitize
	echo "== fuzzers: the committed inputs"
	bash scripts/fuzz.sh 0
}

lane_windows() {
	bash scripts/build-windows-deps.sh
	echo "== windows"
	cmake --preset windows
	cmake --build --preset windows
	while [ ! -e "$logs/default-built" ] && [ ! -e "$logs/linux.done" ]; do
		sleep 1
	done
	ctest --preset windows
}

# run_lane NAME: runs lane_NAME with its output in a log and its status
# and time beside it.
run_lane() {
	local begin=$SECONDS status=0
	# In a process of its own, so that its first failure ends it (errexit
	# does not hold for a function run as part of ||).
	("lane_$1") >"$logs/$1.log" 2>&1 &
	wait $! || status=$?
	echo "$status $((SECONDS - begin))" >"$logs/$1.done"
}

run_lane linux &
linux=$!
run_lane windows &
windows=$!

failed=0
for lane in linux windows; do
	wait "${!lane}" || true
	read -r status seconds <"$logs/$lane.done"
	echo "== lane $lane: status $status, $seconds s"
	cat "$logs/$lane.log"
	echo "== lane $lane ends: status $status, $seconds s"
	[ "$status" -eq 0 ] || failed=1
done
echo "== all: $((SECONDS - start)) s"
exit $failed
