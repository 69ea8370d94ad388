#!/usr/bin/env bash
# qelkeypair built over a random source that fails (tests/fakes/
# failing_random.cpp), at the first read or at the draw of the private
# exponent: the error line, exit 15, only the first progress line, and no
# key file. Under QEL_MEMCHECK=1 valgrind also checks that the late failure
# leaves nothing allocated.
#
# usage: qelkeypair_failing_test.sh PROGRAM [EXEC_PREFIX]
. "$(dirname "$0")/lib.sh"
[ $# -ge 2 ] && QEL_EXEC_PREFIX=$2
use_prog "$1" qelkeypair

new_scratch
run_prog
expect_eq "failing source: exit" 15 "$status"
expect_eq "failing source: stderr" \
	$'qelkeypair: error: could not make DSA key: Error reading the PRNG.\n' "$err"
expect_eq "failing source: stdout" $'generating keys...\n' "$out"
expect_eq "failing source: no file" "" "$(ls -A)"

finish
