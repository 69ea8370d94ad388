#!/usr/bin/env bash
# The Windows programs under Wine: usage, the host report beside the links
# the kernel lists, a report file that cannot be opened, and a key pair whose
# files compile natively and whose keys sign and verify.
#
# usage: windows_test.sh QELHOSTID_EXE QELKEYPAIR_EXE WINE [CC]
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
hostid_exe=$(realpath "$1")
keypair_exe=$(realpath "$2")
wine=$3
cc=${4:-cc}
export WINEDEBUG=-all

# Wine hands a program the Windows form of its path as argv[0].
win_path() { printf 'Z:%s' "${1//\//\\}"; }

# run_exe EXE [ARGS...]: runs a Windows program in the scratch directory.
run_exe() {
	local exe=$1
	shift
	"$wine" "$exe" "$@" >"$scratch.out" 2>"$scratch.err"
	read_outputs $?
}

# crlf VAR TEXT: sets VAR to TEXT with CR LF line ends.
crlf() { printf -v "$1" '%s' "${2//$'\n'/$'\r\n'}"; }

# The links Linux lists with a six-byte hardware address, loopback and
# tunnels aside: what the IP helper library under Wine must report.
expected_ids() {
	ip -o link show | sed -n 's/.* link\/ether \([0-9a-f:]\{17\}\) .*/\1/p' | sort -u
}

# Usage, for either program.
for exe in "$hostid_exe" "$keypair_exe"; do
	new_scratch
	run_exe "$exe" x
	name=$(basename "$exe")
	case $name in
	qelhostid.exe) second="Print host ID on stdout." ;;
	*) second="Generate private and public keys for signatures." ;;
	esac
	expect_eq "$name usage: exit" 1 "$status"
	crlf want "Usage: $(win_path "$exe")"$'\n'"$second"$'\n'
	expect_eq "$name usage: stderr" "$want" "$err"
	expect_eq "$name usage: nothing made" "" "$(ls -A)"
done

# The report names exactly the hardware addresses the kernel lists, with
# CR LF line ends, and the file holds the same bytes.
ids=$(expected_ids)
n=$(printf '%s\n' "$ids" | grep -c .)
if [ "$n" -eq 1 ]; then
	report="\"hostid\": \"$ids\","$'\n'
else
	report="\"hostid\": ["$'\n'"$(printf '%s\n' "$ids" | sed 's/.*/  "&",/;$ s/,$//')"$'\n'"],"$'\n'
fi
crlf report "$report\"os\": \"Windows\""$'\n'
new_scratch
run_exe "$hostid_exe"
if [ "$n" -eq 0 ]; then
	expect_eq "qelhostid.exe without adapters: exit" 14 "$status"
else
	expect_eq "qelhostid.exe: exit" 0 "$status"
	expect_eq "qelhostid.exe: stdout" "$report" "$out"
	expect_eq "qelhostid.exe: stderr" "" "$err"
	expect_eq "qelhostid.exe: file equals stdout" same \
		"$(cmp -s qelhostid.txt "$scratch.out" && echo same)"
fi

# The report file cannot be opened: the report, then the error line.
new_scratch
mkdir qelhostid.txt
run_exe "$hostid_exe"
if [ "$n" -gt 0 ]; then
	expect_eq "qelhostid.txt a directory: exit" 3 "$status"
	expect_eq "qelhostid.txt a directory: stdout" "$report" "$out"
	crlf want "$(win_path "$hostid_exe"): error: cannot open file 'qelhostid.txt': Permission denied"$'\n'
	expect_eq "qelhostid.txt a directory: stderr" "$want" "$err"
fi

# A key pair: the six lines, files that compile with the native compiler,
# keys that sign and verify, and the hash of the listed public key bytes.
new_scratch
run_exe "$keypair_exe"
expect_eq "qelkeypair.exe: exit" 0 "$status"
expect_eq "qelkeypair.exe: stderr" "" "$err"
hash=$(listed_bytes qel_pubkey.c | sha256sum | cut -d' ' -f1)
crlf want "generating keys...
done!
private key file 'qel_privkey.c' was written
public key file 'qel_pubkey.c' was written
key hash:
$hash
"
expect_eq "qelkeypair.exe: stdout" "$want" "$out"
expect_eq "qelkeypair.exe: key files end lines with CR LF" "$(wc -l <qel_pubkey.c)" \
	"$(grep -c $'\r$' qel_pubkey.c)"
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Wextra -Werror -pedantic -DLTM_DESC -o check \
	"$here/../keyfiles/keyfiles_check.c" qel_privkey.c qel_pubkey.c \
	$(pkg-config --cflags --libs libtomcrypt libtommath) 2>cc.err
expect_eq "qelkeypair.exe: key files compile natively" "0 " "$? $(cat cc.err)"
expect_eq "qelkeypair.exe: keys sign and verify" \
	"private $(listed_bytes qel_privkey.c | wc -c) public $(listed_bytes qel_pubkey.c | wc -c)" \
	"$(./check 2>&1)"

# A second run is refused and leaves both files byte for byte.
cp qel_privkey.c "$scratch.priv"
cp qel_pubkey.c "$scratch.pub"
run_exe "$keypair_exe"
expect_eq "qelkeypair.exe again: exit" 3 "$status"
expect_eq "qelkeypair.exe again: stdout" "" "$out"
crlf want "$(win_path "$keypair_exe"): error: file 'qel_privkey.c' already exists, delete to generate new"$'\n'
expect_eq "qelkeypair.exe again: stderr" "$want" "$err"
expect_eq "qelkeypair.exe again: files kept" "same same" \
	"$(cmp -s qel_privkey.c "$scratch.priv" && echo same) $(cmp -s qel_pubkey.c "$scratch.pub" && echo same)"

# Only the public key file there: refused, named, kept.
new_scratch
echo "old key" >qel_pubkey.c
run_exe "$keypair_exe"
expect_eq "qel_pubkey.c only: exit" 3 "$status"
crlf want "$(win_path "$keypair_exe"): error: file 'qel_pubkey.c' already exists, delete to generate new"$'\n'
expect_eq "qel_pubkey.c only: stderr" "$want" "$err"
expect_eq "qel_pubkey.c only: kept" "old key" "$(cat qel_pubkey.c)"

finish
