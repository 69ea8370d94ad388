#!/usr/bin/env bash
# End-to-end cases of qelkeypair: the run, its refusals, its usage text and
# the faults a real system can set up (symlinks, umask, file size limit,
# closed standard output).
#
# usage: qelkeypair_test.sh PROGRAM [EXEC_PREFIX]
# With an exec prefix (an emulator) the cases that rest on POSIX semantics
# of the host are left out.
. "$(dirname "$0")/lib.sh"
[ $# -ge 2 ] && QEL_EXEC_PREFIX=$2
use_prog "$1" qelkeypair
native=1
[ -n "${QEL_EXEC_PREFIX:-}" ] && native=0
umask 022

head=$'generating keys...\ndone!\n'
written=$'private key file \'qel_privkey.c\' was written\npublic key file \'qel_pubkey.c\' was written\n'
exists="qelkeypair: error: file '%s' already exists, delete to generate new"$'\n'
usage=$'Usage: qelkeypair\nGenerate private and public keys for signatures.\n'

# key_file_form FILE NAME: "ok", or the first line that breaks the layout
# of a key source file for qel_get_NAME.
key_file_form() {
	local -a l
	local i n last
	mapfile -t l <"$1"
	n=${#l[@]}
	[ "$n" -ge 7 ] || { echo "only $n lines"; return; }
	[ "${l[0]}" == "const unsigned char* qel_get_$2(int *keylen)" ] || { echo "line 1: ${l[0]}"; return; }
	[ "${l[1]}" == "{" ] || { echo "line 2: ${l[1]}"; return; }
	[ "${l[2]}" == "  static unsigned char qel_keyarray[] = {" ] || { echo "line 3: ${l[2]}"; return; }
	last=$((n - 4))
	for ((i = 3; i < last; i++)); do
		[[ ${l[i]} =~ ^\ \ \ (\ [\ 0-9]{3},){15}$ ]] || { echo "line $((i + 1)): ${l[i]}"; return; }
	done
	[[ ${l[last]} =~ ^\ \ \ (\ [\ 0-9]{3},){0,14}\ [\ 0-9]{3}\ \}\;$ ]] ||
		{ echo "line $((last + 1)): ${l[last]}"; return; }
	[ "${l[n - 3]}${l[n - 2]}${l[n - 1]}" == "  *keylen = sizeof (qel_keyarray);  return qel_keyarray;}" ] ||
		{ echo "last lines"; return; }
	echo ok
}

mode() { stat -c %a "$1"; }
present() { [ -e "$1" ] || [ -L "$1" ] && echo yes || echo no; }

# expect_success NAME: exit 0, nothing on stderr, the six lines with the
# SHA-256 of the listed public key bytes last, and two well-formed files.
expect_success() {
	local hash
	hash=$(listed_bytes qel_pubkey.c | sha256sum | cut -d' ' -f1)
	expect_eq "$1: exit" 0 "$status"
	expect_eq "$1: stderr" "" "$err"
	expect_eq "$1: stdout" "$head${written}key hash:"$'\n'"$hash"$'\n' "$out"
	expect_eq "$1: private key file" ok "$(key_file_form qel_privkey.c private_key)"
	expect_eq "$1: public key file" ok "$(key_file_form qel_pubkey.c public_key)"
}

# A run in an empty directory.
new_scratch
run_prog
expect_success "first run"
first_hash=$(sed -n 6p "$scratch.out")
[ $native = 1 ] && expect_eq "first run: modes" "600 644" "$(mode qel_privkey.c) $(mode qel_pubkey.c)"

# A second run there is refused before any key is made.
cp qel_privkey.c "$scratch.priv"
cp qel_pubkey.c "$scratch.pub"
run_prog
expect_eq "second run: exit" 3 "$status"
expect_eq "second run: stderr" "$(printf "$exists" qel_privkey.c)" "${err%$'\n'}"
expect_eq "second run: stdout" "" "$out"
expect_eq "second run: files kept" "same same" \
	"$(cmp -s qel_privkey.c "$scratch.priv" && echo same) $(cmp -s qel_pubkey.c "$scratch.pub" && echo same)"

# Any key file already there, even an empty one, is refused.
for case in "empty private:qel_privkey.c:" "public only:qel_pubkey.c:old key"; do
	IFS=: read -r name file content <<<"$case"
	new_scratch
	printf %s "$content" >"$file"
	run_prog
	expect_eq "$name: exit" 3 "$status"
	expect_eq "$name: stderr" "$(printf "$exists" "$file")" "${err%$'\n'}"
	expect_eq "$name: stdout" "" "$out"
	expect_eq "$name: file kept" "$content" "$(cat "$file")"
	expect_eq "$name: nothing else" "$file" "$(ls -A)"
done

# Any argument, even an empty one, gives the usage text and makes nothing.
for args in "x" "" "-h --help"; do
	new_scratch
	# shellcheck disable=SC2086
	if [ -z "$args" ]; then run_prog ""; else run_prog $args; fi
	expect_eq "usage for '$args': exit" 1 "$status"
	expect_eq "usage for '$args': stderr" "$usage" "$err"
	expect_eq "usage for '$args': stdout" "" "$out"
	expect_eq "usage for '$args': nothing made" "" "$(ls -A)"
done

# A second key in a fresh directory differs from the first. Under umask
# 000 the private key file is still for its owner only.
new_scratch
[ $native = 1 ] && umask 000
run_prog
umask 022
expect_success "umask 000"
[ $native = 1 ] && expect_eq "umask 000: modes" "600 666" "$(mode qel_privkey.c) $(mode qel_pubkey.c)"
expect_eq "two runs: different keys" "different" \
	"$([ "$(sed -n 6p "$scratch.out")" != "$first_hash" ] && echo different)"

if [ $native = 1 ]; then
	# A dangling symlink at a key name passes the check (it cannot be
	# read) but is never written through.
	new_scratch
	ln -s target.c qel_privkey.c
	run_prog
	expect_eq "dangling symlink: exit" 3 "$status"
	expect_eq "dangling symlink: stderr" "$(printf "$exists" qel_privkey.c)" "${err%$'\n'}"
	expect_eq "dangling symlink: stdout" "$head" "$out"
	expect_eq "dangling symlink: target not made" "no no" "$(present target.c) $(present qel_pubkey.c)"
	expect_eq "dangling symlink: still a link" "target.c" "$(readlink qel_privkey.c)"

	# A file size limit of one block stops the private key file.
	new_scratch
	(trap '' XFSZ; ulimit -f 1; exec "$prog") >"$scratch.out" 2>"$scratch.err"
	read_outputs $?
	expect_eq "size limit: exit" 3 "$status"
	expect_eq "size limit: stderr" $'qelkeypair: error: cannot write to file: File too large\n' "$err"
	expect_eq "size limit: stdout" "$head" "$out"
	expect_eq "size limit: files" "1024 no" "$(stat -c %s qel_privkey.c) $(present qel_pubkey.c)"

	# Started with standard output closed, the program must not let the
	# next file it opens take descriptor 1: nothing but key source may
	# land in the key files.
	new_scratch
	"$prog" >&- 2>"$scratch.err"
	status=$?
	err=$(cat "$scratch.err")
	expect_eq "stdout closed: exit" 0 "$status"
	expect_eq "stdout closed: stderr" "" "$err"
	expect_eq "stdout closed: private key file" ok "$(key_file_form qel_privkey.c private_key)"
	expect_eq "stdout closed: public key file" ok "$(key_file_form qel_pubkey.c public_key)"
fi

finish
