#!/usr/bin/env bats
# The licence examples, built with warnings as errors against two key pairs
# that qelkeypair has just made and against the installed qelcore. A
# signature from sign_license verifies with check_license, which then finds
# the licence's addresses among the machine's; a changed licence, a
# changed signature or another key's check does not verify, and a licence
# for other addresses is not for this machine. The DSA equation, worked
# apart from libtomcrypt, agrees on the good and the changed cases.
#
# Environment: QEL_BUILD (the build directory), QEL_LIBDIR (its library
# folder below the prefix), QEL_EXAMPLES (examples/),
# CC; QEL_CFLAGS and QEL_LDFLAGS (the sanitizer build's flags).

bats_require_minimum_version 1.5.0

# listed_bytes FILE: the bytes of the key array of a key source file.
listed_bytes() {
	printf "$(sed -n '/keyarray\[\] = {/,/};/p' "$1" | sed 1d | grep -o '[0-9]\+' |
		awk '{ printf "\\%03o", $1 }')"
}

# hex_to_bytes FILE: the bytes written in hexadecimal in FILE.
hex_to_bytes() {
	printf "$(tr -d '\n' <"$1" | sed 's/../\\x&/g')"
}

# licence FILE MEMBERS: a licence of one customer with the JSON members
# MEMBERS (lines without the braces).
licence() {
	printf '{\n"customer": "Example Ltd",\n%s\n}\n' "$2" >"$1"
}

setup_file() {
	local top=$BATS_FILE_TMPDIR k
	cmake --install "$QEL_BUILD" --prefix "$top/prefix" --component development \
		>"$top/install.log" 2>&1
	export PKG_CONFIG_PATH=$top/prefix/$QEL_LIBDIR/pkgconfig
	for k in a b; do
		mkdir "$top/keys_$k" "$top/build_$k"
		(cd "$top/keys_$k" && "$QEL_BUILD/qelkeypair" >/dev/null)
		make -C "$top/build_$k" -f "$QEL_EXAMPLES/Makefile" CC="${CC:-cc}" \
			CFLAGS="-O2 ${QEL_CFLAGS:-}" LDFLAGS="${QEL_LDFLAGS:-}" KEYS="$top/keys_$k" \
			>"$top/make_$k.log" 2>&1 || { cat "$top/make_$k.log"; return 1; }
	done

	# The licences, signed with key pair a: this machine's report as
	# qelhostid printed it, and variants.
	mkdir "$top/lic" && cd "$top/lic" || return 1
	"$QEL_BUILD/qelhostid" >/dev/null
	report=$(cat qelhostid.txt)
	mapfile -t mine < <(grep -oE '[0-9a-f]{2}(:[0-9a-f]{2}){5}' qelhostid.txt)
	other=00:00:5e:00:53:01 # documentation range
	for a in "${mine[@]}"; do [ "$a" != "$other" ] || return 1; done
	licence licence "$report"
	licence licence_one "\"hostid\": \"${mine[-1]}\","
	licence licence_among "\"hostid\": [ \"$other\", \"${mine[0]}\" ],"
	licence licence_upper "\"hostid\": \"${mine[0]^^}\","
	licence licence_foreign "\"hostid\": [\"$other\"],"
	licence licence_no_hostid '"os": "Linux"'
	licence licence_empty_array '"hostid": [],'
	: >licence_empty
	sed 's/"hostid"/"hostids"/' licence >licence_renamed
	cp licence licence_appended && printf ' ' >>licence_appended
	head -c -1 licence >licence_cut
	sign=$top/build_a/sign_license
	for l in licence*; do
		"$sign" "$l" >"sig${l#licence}" 2>"sign${l#licence}.err"
	done
	"$sign" licence >sig_again

	hex=$(cat sig)
	flip() { # flip HEX POS: HEX with the digit at POS changed
		local d=${1:$2:1}
		printf '%s%x%s\n' "${1:0:$2}" $(((16#$d + 1) % 16)) "${1:$(($2 + 1))}"
	}
	flip "$hex" 20 >sig_r_changed              # inside r
	flip "$hex" $((${#hex} - 1)) >sig_s_changed # last digit of s
	printf '%s00\n' "$hex" >sig_appended_byte
	printf '%s\n' "${hex:0:$((${#hex} - 2))}" >sig_cut_byte
	printf '%s' "$hex" >sig_no_newline
	: >sig_nothing
	printf 'g%s\n' "${hex:1}" >sig_not_hex
	printf '%s' "$hex" | tr 'a-f' 'A-F' >sig_upper_case
}

setup() {
	bats_load_library bats-support
	bats_load_library bats-assert
	cd "$BATS_FILE_TMPDIR/lic" || exit 1
}

@test "the examples build strictly against both key pairs" {
	for k in a b; do
		run grep -c -- '-Wall -Wextra -Wpedantic -Werror' "$BATS_FILE_TMPDIR/make_$k.log"
		assert_output 2
		assert [ -x "$BATS_FILE_TMPDIR/build_$k/check_license" ]
		assert [ -x "$BATS_FILE_TMPDIR/build_$k/sign_license" ]
	done
}

@test "sign_license prints one line of hexadecimal, a new one each time" {
	run cat sign.err
	assert_output ""
	run cat sig
	assert_output --regexp '^([0-9a-f]{2})+$'
	run cmp -s sig sig_again
	assert_failure
}

@test "check_license: signature, then the node lock" {
	# checker | licence | signature | exit | output
	while IFS="|" read -r checker lic sig want_status out; do
		run "$BATS_FILE_TMPDIR/build_$checker/check_license" "$lic" "$sig"
		assert_equal "$checker $lic $sig: $status" "$checker $lic $sig: $want_status"
		assert_equal "$checker $lic $sig: $output" "$checker $lic $sig: $(printf "$out")"
	done <<-'TABLE'
		a|licence|sig|0|signature good\nhostid good
		a|licence|sig_again|0|signature good\nhostid good
		a|licence|sig_no_newline|0|signature good\nhostid good
		a|licence|sig_upper_case|0|signature good\nhostid good
		a|licence_one|sig_one|0|signature good\nhostid good
		a|licence_among|sig_among|0|signature good\nhostid good
		a|licence_upper|sig_upper|0|signature good\nhostid good
		a|licence_foreign|sig_foreign|1|signature good\nhostid bad
		a|licence_no_hostid|sig_no_hostid|1|signature good\nhostid bad
		a|licence_empty_array|sig_empty_array|1|signature good\nhostid bad
		a|licence_renamed|sig_renamed|1|signature good\nhostid bad
		a|licence_empty|sig_empty|1|signature good\nhostid bad
		a|licence_foreign|sig|1|signature bad
		a|licence_appended|sig|1|signature bad
		a|licence_cut|sig|1|signature bad
		a|licence_empty|sig|1|signature bad
		a|licence|sig_one|1|signature bad
		a|licence|sig_r_changed|1|signature bad
		a|licence|sig_s_changed|1|signature bad
		a|licence|sig_appended_byte|1|signature bad
		a|licence|sig_cut_byte|1|signature bad
		a|licence|sig_nothing|1|signature bad
		a|licence|sig_not_hex|1|signature bad
		b|licence|sig|1|signature bad
	TABLE
}

@test "files that cannot be read are errors, not bad signatures" {
	check=$BATS_FILE_TMPDIR/build_a/check_license
	run --separate-stderr "$check" missing sig
	assert_failure 2
	assert_equal "$stderr" "check_license: error: cannot open file 'missing': No such file or directory"
	run "$check" licence missing
	assert_failure 2
	head -c 70000 /dev/zero >too_long
	run "$check" too_long sig
	assert_failure 2
	run "$check" licence
	assert_failure 2
	run "$BATS_FILE_TMPDIR/build_a/sign_license" missing
	assert_failure 2
}

# The DSA verification equation, worked with Python's integers on the
# numbers that openssl asn1parse reads from qel_pubkey.c and from the
# signature: the signature is plain DSA over the SHA-256 of the licence
# (its leftmost 240 bits, the size of q). (OpenSSL's own DSA takes only
# 160-, 224- and 256-bit q.)
@test "oracle: the DSA equation agrees" {
	listed_bytes "$BATS_FILE_TMPDIR/keys_a/qel_pubkey.c" >pub.der
	mapfile -t num < <(openssl asn1parse -inform DER -in pub.der | sed -n 's/.*INTEGER *://p')
	assert_equal "${#num[@]}" 4
	while IFS='|' read -r lic sig want; do
		hex_to_bytes "$sig" >sig.der
		mapfile -t rs < <(openssl asn1parse -inform DER -in sig.der | sed -n 's/.*INTEGER *://p')
		h=$(sha256sum "$lic" | cut -c1-60)
		run python3 - "${num[1]}" "${num[2]}" "${num[0]}" "${num[3]}" "$h" "${rs[0]}" "${rs[1]}" <<-'PY'
			import sys
			p, q, g, y, h, r, s = (int(a, 16) for a in sys.argv[1:])
			ok = 0 < r < q and 0 < s < q
			if ok:
			    w = pow(s, -1, q)
			    ok = pow(g, h * w % q, p) * pow(y, r * w % q, p) % p % q == r
			print("good" if ok else "bad")
		PY
		assert_equal "$lic $sig: $output" "$lic $sig: $want"
	done <<-'TABLE'
		licence|sig|good
		licence|sig_again|good
		licence_empty|sig_empty|good
		licence_cut|sig|bad
		licence|sig_s_changed|bad
		licence|sig_one|bad
	TABLE
}
