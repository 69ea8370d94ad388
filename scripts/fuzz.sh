#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build/fuzz, replays
# each one's committed inputs (fuzz/corpus/NAME, and fuzz/regressions/NAME,
# where every input that once failed is kept), then fuzzes each for a
# bounded time.
#
# usage: fuzz.sh [SECONDS_EACH]   (default 30; 0 replays only)
# A failing input is saved under build/fuzz/artifacts/NAME/; once the fault
# is mended, copy it into fuzz/regressions/NAME/ so it is replayed for good.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=$top/build/fuzz
targets=(hostid_report key_source sha256 license)

cd "$top"
CC=clang CXX=clang++ cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 >/dev/null

# The targets work in scratch directories of their own under TMPDIR.
export TMPDIR=$build/tmp
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"
trap 'rm -rf "$TMPDIR"' EXIT

passed=0
failed=0
for t in "${targets[@]}"; do
	prog=$build/${t}_fuzz
	work=$build/corpus/$t
	artifacts=$build/artifacts/$t
	mkdir -p "$work" "$artifacts"
	inputs=("$top/fuzz/corpus/$t")
	[ -d "$top/fuzz/regressions/$t" ] && inputs+=("$top/fuzz/regressions/$t")
	log=$build/$t.log

	if ! "$prog" -runs=0 "${inputs[@]}" >"$log" 2>&1; then
		echo "not ok - $t: a committed input fails"
		tail -n 30 "$log"
		failed=$((failed + 1))
		continue
	fi
	if [ "$seconds" -gt 0 ]; then
		# The working corpus starts from the committed one and grows
		# from run to run; the committed one is never written.
		cp -n "$top/fuzz/corpus/$t"/* "$work"/
		if ! "$prog" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
			-artifact_prefix="$artifacts/" -print_final_stats=1 \
			"$work" >"$log" 2>&1; then
			echo "not ok - $t: fuzzing found a failing input (in $artifacts/)"
			grep -E 'fuzz check failed|ERROR|SUMMARY|Test unit written' "$log" | head -n 20
			failed=$((failed + 1))
			continue
		fi
	fi
	echo "ok - $t: $(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" |
		grep -Eo '[0-9]+$' || echo 0) inputs in ${seconds}s, committed inputs pass"
	passed=$((passed + 1))
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
