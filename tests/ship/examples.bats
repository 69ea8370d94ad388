#!/usr/bin/env bats
# The licence check example, built with warnings as errors against the
# installed qelcore and the committed test key pairs (tests/data): once with
# the key that signs (build_a) and once with another (build_b). Licences
# issued by the build's qellicense from this machine's own qelhostid report
# check good; a changed one, one for another machine, an expired one and
# one checked with the other key's build do not, each with its status.
#
# Environment: QEL_BUILD (the build directory), QEL_LIBDIR (its library
# folder below the prefix), QEL_EXAMPLES (examples/), QEL_DATA (tests/data),
# CC; QEL_CFLAGS and QEL_LDFLAGS (the sanitizer build's flags).

bats_require_minimum_version 1.5.0

setup_file() {
	local top=$BATS_FILE_TMPDIR k
	cmake --install "$QEL_BUILD" --prefix "$top/prefix" --component development \
		>"$top/install.log" 2>&1
	export PKG_CONFIG_PATH=$top/prefix/$QEL_LIBDIR/pkgconfig
	for k in a b; do
		mkdir "$top/keys_$k" "$top/build_$k"
	done
	cp "$QEL_DATA/golden_privkey.c" "$top/keys_a/qel_privkey.c"
	cp "$QEL_DATA/golden_pubkey.c" "$top/keys_a/qel_pubkey.c"
	cp "$QEL_DATA/other_pubkey.c" "$top/keys_b/qel_pubkey.c"
	for k in a b; do
		make -C "$top/build_$k" -f "$QEL_EXAMPLES/Makefile" CC="${CC:-cc}" \
			CFLAGS="-O2 ${QEL_CFLAGS:-}" LDFLAGS="${QEL_LDFLAGS:-}" KEYS="$top/keys_$k" \
			>"$top/make_$k.log" 2>&1 || { cat "$top/make_$k.log"; return 1; }
	done

	# The licences, issued with key pair a: for this machine's report as
	# qelhostid wrote it, for another machine, expired; and changed.
	mkdir "$top/lic" && cd "$top/lic" || return 1
	"$QEL_BUILD/qelhostid" >/dev/null
	printf '"hostid": "00:00:5e:00:53:01",\n"os": "Linux"\n' >elsewhere.txt
	issue() { # issue FILE REPORT [ARGS...]
		local file=$1 report=$2
		shift 2
		"$QEL_BUILD/qellicense" issue --key "$top/keys_a/qel_privkey.c" --report "$report" \
			--licensee "Example Ltd" --out "$file" "$@" >/dev/null
	}
	issue good.lic qelhostid.txt --set features=pro
	issue elsewhere.lic elsewhere.txt
	issue old.lic qelhostid.txt --expires 2000-01-01
	sed 's/"pro"/"max"/' good.lic >changed.lic
	cp good.lic too_long.lic
	head -c 70000 /dev/zero | tr '\0' ' ' >>too_long.lic
}

setup() {
	bats_load_library bats-support
	bats_load_library bats-assert
	cd "$BATS_FILE_TMPDIR/lic" || exit 1
}

@test "the example builds strictly against both key pairs" {
	for k in a b; do
		run grep -c -- '-Wall -Wextra -Wpedantic -Werror' "$BATS_FILE_TMPDIR/make_$k.log"
		assert_output 1
		assert [ -x "$BATS_FILE_TMPDIR/build_$k/check_license" ]
	done
}

@test "check_license: one call, good or the reason and its status" {
	# build | licence | status | output
	while IFS="|" read -r build lic want_status want; do
		run --separate-stderr "$BATS_FILE_TMPDIR/build_$build/check_license" "$lic"
		assert_equal "$build $lic: $status" "$build $lic: $want_status"
		if [ "$want_status" -eq 0 ]; then
			assert_equal "$output" "$want"
		else
			assert_equal "$build $lic: $stderr" "$build $lic: check_license: $want"
		fi
	done <<-'TABLE'
		a|good.lic|0|licence good
		a|changed.lic|21|licence has a signature that is not valid
		a|elsewhere.lic|23|licence is for another machine
		a|old.lic|24|licence expired on 2000-01-01
		a|too_long.lic|20|licence is longer than 65536 bytes
		a|qelhostid.txt|20|licence is malformed: line 1: expected '{'
		b|good.lic|22|licence was signed with another key (key f3d8c4f113eb536f, expected 816436f9b6533e88)
	TABLE
}

@test "a file that cannot be read, or no argument: status 1" {
	run "$BATS_FILE_TMPDIR/build_a/check_license" missing.lic
	assert_failure 1
	assert_output "missing.lic: No such file or directory"
	run "$BATS_FILE_TMPDIR/build_a/check_license"
	assert_failure 1
}
