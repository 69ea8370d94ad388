#!/usr/bin/env bash
# The licence examples, built with warnings as errors against two key pairs
# that qelkeypair has just made. A signature from sign_license verifies with
# check_license; a changed licence, a changed signature or another key's
# check does not. The DSA equation, worked apart from libtomcrypt, agrees on
# the good and the changed cases.
#
# usage: examples_test.sh QELKEYPAIR EXAMPLES_DIR [CC]
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../cli/lib.sh"
use_prog "$1" qelkeypair
examples=$2
cc=${3:-cc}

# hex_to_bytes FILE: the bytes written in hexadecimal in FILE.
hex_to_bytes() {
	printf "$(tr -d '\n' <"$1" | sed 's/../\\x&/g')"
}

# Two key pairs, and the examples built against each.
declare -A keys
for k in a b; do
	new_scratch
	run_prog
	expect_eq "key pair $k: qelkeypair exit" 0 "$status"
	keys[$k]=$scratch
done

for k in a b; do
	mkdir "$scratch_root/build_$k"
	make -C "$scratch_root/build_$k" -f "$examples/Makefile" CC="$cc" KEYS="${keys[$k]}" \
		>"$scratch_root/make_$k.log" 2>&1
	expect_eq "examples build against key pair $k" "0" "$?"
	# -Werror is in force: a warning would have failed the build.
	expect_eq "key pair $k: build is strict" yes \
		"$(grep -q -- '-Wall -Wextra -Wpedantic -Werror' "$scratch_root/make_$k.log" && echo yes || echo no)"
done
check_a=$scratch_root/build_a/check_license
check_b=$scratch_root/build_b/check_license
sign_a=$scratch_root/build_a/sign_license

new_scratch
printf '{\n"customer": "Example Ltd",\n"hostid": "52:54:00:12:34:56",\n"os": "Linux"\n}\n' >licence
"$sign_a" licence >sig 2>sign.err
expect_eq "sign: exit and stderr" "0 " "$? $(cat sign.err)"
expect_eq "sign: one line of hexadecimal digits" yes \
	"$(grep -qxE '([0-9a-f]{2})+' sig && [ "$(wc -l <sig)" = 1 ] && echo yes || echo no)"
"$sign_a" licence >sig_again
expect_eq "sign: a second signature differs" yes "$(cmp -s sig sig_again || echo yes)"

# Changed copies of the licence and of the signature.
sed 's/52:54/52:55/' licence >licence_changed
cp licence licence_appended; printf ' ' >>licence_appended
head -c -1 licence >licence_cut
: >licence_empty
printf '{\n"customer": "Example Ltd",\n"hostid": "52:54:00:12:34:57",\n"os": "Linux"\n}\n' >licence_other
"$sign_a" licence_other >sig_other
"$sign_a" licence_empty >sig_of_empty
hex=$(cat sig)
flip() { # flip HEX POS: HEX with the digit at POS changed
	local d=${1:$2:1}
	printf '%s%x%s\n' "${1:0:$2}" $(((16#$d + 1) % 16)) "${1:$(($2 + 1))}"
}
flip "$hex" 20 >sig_r_changed                  # inside r
flip "$hex" $((${#hex} - 1)) >sig_s_changed     # last digit of s
printf '%s00\n' "$hex" >sig_appended
printf '%s\n' "${hex:0:$((${#hex} - 2))}" >sig_cut
printf '%s' "$hex" >sig_no_newline
: >sig_empty
printf 'g%s\n' "${hex:1}" >sig_not_hex
printf '%s' "$hex" | tr 'a-f' 'A-F' >sig_upper

# checker | licence | signature | exit | output
good=$'0\nsignature good'
bad=$'1\nsignature bad'
while IFS='|' read -r name checker lic sig want; do
	got=$(${!checker} "$lic" "$sig" 2>&1; echo "$?")
	got=$(printf '%s\n' "$got" | tail -1; printf '%s\n' "$got" | head -n -1)
	expect_eq "check: $name" "${!want}" "$got"
done <<'TABLE'
the signed licence|check_a|licence|sig|good
a second signature of it|check_a|licence|sig_again|good
a signature without its line end|check_a|licence|sig_no_newline|good
a signature in upper case|check_a|licence|sig_upper|good
the signed empty licence|check_a|licence_empty|sig_of_empty|good
a changed licence|check_a|licence_changed|sig|bad
a licence with a byte appended|check_a|licence_appended|sig|bad
a licence cut by a byte|check_a|licence_cut|sig|bad
an empty licence|check_a|licence_empty|sig|bad
another licence's signature|check_a|licence|sig_other|bad
a signature changed in r|check_a|licence|sig_r_changed|bad
a signature changed in s|check_a|licence|sig_s_changed|bad
a signature with a byte appended|check_a|licence|sig_appended|bad
a signature cut by a byte|check_a|licence|sig_cut|bad
an empty signature|check_a|licence|sig_empty|bad
a signature that is not hexadecimal|check_a|licence|sig_not_hex|bad
the check of another key pair|check_b|licence|sig|bad
TABLE

# Files that cannot be read are errors, not bad signatures.
"$check_a" missing sig >/dev/null 2>err
expect_eq "check: missing licence: exit" 2 "$?"
expect_eq "check: missing licence: message" \
	"check_license: error: cannot open file 'missing': No such file or directory" "$(cat err)"
"$check_a" licence missing >/dev/null 2>err
expect_eq "check: missing signature: exit" 2 "$?"
"$sign_a" missing >/dev/null 2>err
expect_eq "sign: missing licence: exit" 2 "$?"
"$check_a" licence >/dev/null 2>err
expect_eq "check: usage: exit" 2 "$?"

# The DSA verification equation, worked with Python's integers on the
# numbers that openssl asn1parse reads from qel_pubkey.c and from the
# signature, agrees: the signature is plain DSA over the SHA-256 of the
# licence (its leftmost 240 bits, the size of q). (OpenSSL's own DSA takes
# only 160-, 224- and 256-bit q.)
listed_bytes "${keys[a]}/qel_pubkey.c" >pub.der
mapfile -t num < <(openssl asn1parse -inform DER -in pub.der | sed -n 's/.*INTEGER *://p')
expect_eq "oracle: the public key holds four numbers" 4 "${#num[@]}"
while IFS='|' read -r lic sig want; do
	hex_to_bytes "$sig" >sig.der
	mapfile -t rs < <(openssl asn1parse -inform DER -in sig.der | sed -n 's/.*INTEGER *://p')
	h=$(sha256sum "$lic" | cut -c1-60)
	got=$(python3 - "${num[1]}" "${num[2]}" "${num[0]}" "${num[3]}" "$h" "${rs[0]}" "${rs[1]}" <<'PY'
import sys
p, q, g, y, h, r, s = (int(a, 16) for a in sys.argv[1:])
ok = 0 < r < q and 0 < s < q
if ok:
    w = pow(s, -1, q)
    ok = pow(g, h * w % q, p) * pow(y, r * w % q, p) % p % q == r
print("good" if ok else "bad")
PY
)
	expect_eq "oracle: $lic with $sig" "$want" "$got"
done <<'TABLE'
licence|sig|good
licence|sig_again|good
licence_empty|sig_of_empty|good
licence_changed|sig|bad
licence|sig_s_changed|bad
licence|sig_other|bad
TABLE

finish
