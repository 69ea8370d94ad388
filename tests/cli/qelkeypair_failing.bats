#!/usr/bin/env bats
# qelkeypair built over a random source that fails (tests/fakes/
# failing_random.cpp), at the first read or at the draw of the private
# exponent: the error line, exit 15, only the first progress line, and no
# key file. Under valgrind the late failure also shows that nothing of the
# half-made key stays allocated.

load common

setup() {
	prepare qelkeypair
}

@test "a random source that fails: no key, no file" {
	run_prog
	assert_status 15
	assert_golden "$err" qelkeypair/failing-source.stderr
	assert_text "$out" $'generating keys...\n'
	assert_equal "$(ls -A)" ""
}
