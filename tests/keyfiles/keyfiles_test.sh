#!/usr/bin/env bash
# The key source files of a real qelkeypair run are C: compiled strictly
# with a small program (keyfiles_check.c) they give back both keys, which
# libtomcrypt imports and signs and verifies with. The printed key hash is
# the SHA-256 of the bytes listed in qel_pubkey.c, by sha256sum.
#
# usage: keyfiles_test.sh PROGRAM [CC]
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../cli/lib.sh"
use_prog "$1" qelkeypair
cc=${2:-cc}

new_scratch
run_prog
expect_eq "qelkeypair: exit" 0 "$status"
expect_eq "qelkeypair: stderr" "" "$err"

# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Wextra -Werror -pedantic -DLTM_DESC -o check \
	"$here/keyfiles_check.c" qel_privkey.c qel_pubkey.c \
	$(pkg-config --cflags --libs libtomcrypt libtommath) 2>cc.err
expect_eq "key files compile with the strict flags" "0 " "$? $(cat cc.err)"

priv_len=$(listed_bytes qel_privkey.c | wc -c)
pub_len=$(listed_bytes qel_pubkey.c | wc -c)
expect_eq "keys back, imported, signed and verified" \
	"private $priv_len public $pub_len" "$(./check 2>&1)"

hash=$(listed_bytes qel_pubkey.c | sha256sum | cut -d' ' -f1)
expect_eq "line 6 is the SHA-256 of the listed public key bytes" \
	"$hash" "$(sed -n 6p "$scratch.out")"

finish
