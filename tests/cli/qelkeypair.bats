#!/usr/bin/env bats
# qelkeypair end to end: the run, its refusals and its usage text, key files
# that the system C compiler builds into a program that signs and verifies,
# the faults a POSIX system can set up (symlinks, umask, file size limit),
# and a standard output that is full or closed. Expected texts:
# tests/cli/qelkeypair/.
#
# Making a key takes a second, and a minute under valgrind: the cases that
# only read a run's outputs share two runs, in empty directories under
# umask 022 and 000, each made the first time a case asks for it (made).
# Cases that make a key of their own are tagged own-key; the cases tagged
# memcheck need just the one run under umask 022, and are what the test
# command runs under valgrind.

load common

setup() {
	prepare qelkeypair
	umask 022
}

# made MASK: prints the directory of the shared run under umask MASK,
# making the run first if no case has yet.
made() {
	local dir=$BATS_FILE_TMPDIR/umask_$1
	if [ ! -e "$dir/status" ]; then
		(
			prepare qelkeypair "$dir"
			run_with "umask $1" ""
			echo "$status" >"$dir/status"
		)
	fi
	echo "$dir"
}

# progress VAR N: sets VAR to the first N lines of a run's standard output.
progress() {
	local text
	golden text qelkeypair/progress.stdout
	printf -v "$1" '%s\n' "$(head -n "$2" <<<"$text")"
}

# key_file_form FILE NAME: "ok", or what breaks the layout of a key source
# file for qel_get_NAME, its lines ended the platform's way.
key_file_form() {
	local text lf again i n last
	local -a l
	text=$(cat "$1" && echo x)
	text=${text%x}
	lf=${text//$'\r\n'/$'\n'}
	platform_text again "$lf"
	[ "$again" == "$text" ] || { echo "line ends not $QEL_EOL"; return; }
	[ "${lf: -1}" == $'\n' ] || { echo "no line end at the end"; return; }
	mapfile -t l <<<"${lf%$'\n'}"
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

# assert_keys_made DIR: the run whose files are in DIR succeeded: nothing on
# standard error, the six lines with the SHA-256 of the public key bytes
# listed in qel_pubkey.c last, and two well-formed key files.
assert_keys_made() {
	local want hash
	hash=$(listed_bytes "$1/qel_pubkey.c" | sha256sum | cut -d' ' -f1)
	progress want 5
	assert_text "$err" ""
	assert_text "$out" "$want$hash"$'\n'
	assert_equal "$(key_file_form "$1/qel_privkey.c" private_key)" ok
	assert_equal "$(key_file_form "$1/qel_pubkey.c" public_key)" ok
}

# assert_keys_sign_and_verify DIR: the key files in DIR compile with the
# system C compiler into a program whose private key signs and whose public
# key verifies, each of the length listed.
assert_keys_sign_and_verify() {
	local priv_len pub_len
	# shellcheck disable=SC2046
	run cc -std=c99 -Wall -Wextra -Werror -pedantic -DLTM_DESC -o "$BATS_TEST_TMPDIR/check" \
		"$BATS_TEST_DIRNAME/../keyfiles/keyfiles_check.c" "$1/qel_privkey.c" "$1/qel_pubkey.c" \
		$(pkg-config --cflags --libs libtomcrypt libtommath)
	assert_success
	assert_output ""
	priv_len=$(listed_bytes "$1/qel_privkey.c" | wc -c)
	pub_len=$(listed_bytes "$1/qel_pubkey.c" | wc -c)
	run "$BATS_TEST_TMPDIR/check"
	assert_success
	assert_output "private $priv_len public $pub_len"
}

# use_run DIR: takes the outputs of a shared run.
use_run() {
	status=$(cat "$1/status")
	out=$1/stdout
	err=$1/stderr
}

# --- Key generation ---------------------------------------------------------

# bats test_tags=memcheck
@test "a run in an empty directory prints six lines and writes two key files" {
	local dir
	dir=$(made 022)
	use_run "$dir"
	assert_status 0
	assert_keys_made "$dir/scratch"
	assert_equal "$(ls -A "$dir/scratch" | tr '\n' ' ')" "qel_privkey.c qel_pubkey.c "
}

@test "two runs make two different keys" {
	local pair pair_umask_000
	pair=$(made 022)
	pair_umask_000=$(made 000)
	assert_not_equal "$(tail -n 1 "$pair/stdout")" "$(tail -n 1 "$pair_umask_000/stdout")"
	assert_not_equal "$(listed_bytes "$pair/scratch/qel_privkey.c" | od -An -tx1)" \
		"$(listed_bytes "$pair_umask_000/scratch/qel_privkey.c" | od -An -tx1)"
}

# bats test_tags=memcheck
@test "the key files compile with the system C compiler; the keys sign and verify" {
	assert_keys_sign_and_verify "$(made 022)/scratch"
}

# bats test_tags=linux,modes
@test "the private key file is for its owner only, under any umask" {
	require_posix "a file mode"
	local pair pair_umask_000
	pair=$(made 022)
	pair_umask_000=$(made 000)
	use_run "$pair_umask_000"
	assert_status 0
	assert_keys_made "$pair_umask_000/scratch"
	assert_file_permission 600 "$pair/scratch/qel_privkey.c"
	assert_file_permission 644 "$pair/scratch/qel_pubkey.c"
	assert_file_permission 600 "$pair_umask_000/scratch/qel_privkey.c"
	assert_file_permission 666 "$pair_umask_000/scratch/qel_pubkey.c"
}

# --- Refusals -----------------------------------------------------------------

@test "a second run in the same directory is refused before any key is made" {
	local pair
	pair=$(made 022)
	cp -p "$pair/scratch"/qel_p*.c .
	run_prog
	assert_status 3
	assert_golden "$err" qelkeypair/privkey-exists.stderr
	assert_text "$out" ""
	assert_files_equal qel_privkey.c "$pair/scratch/qel_privkey.c"
	assert_files_equal qel_pubkey.c "$pair/scratch/qel_pubkey.c"
}

@test "any key file already there, even an empty one, is refused and kept" {
	local -a cases=(
		"qel_privkey.c::qelkeypair/privkey-exists.stderr"
		"qel_pubkey.c:old key:qelkeypair/pubkey-exists.stderr"
	)
	local c file content stderr
	for c in "${cases[@]}"; do
		IFS=: read -r file content stderr <<<"$c"
		echo "$file holding '$content'"
		rm -f qel_p*.c
		printf %s "$content" >"$file"
		run_prog
		assert_status 3
		assert_golden "$err" "$stderr"
		assert_text "$out" ""
		assert_bytes "$file" "$content"
		assert_equal "$(ls -A)" "$file"
	done
}

@test "any argument, even an empty one, gives the usage text and makes nothing" {
	local -a cases=("x" "" "-h --help")
	local args
	for args in "${cases[@]}"; do
		echo "arguments: '$args'"
		if [ -z "$args" ]; then
			run_prog ""
		else
			# shellcheck disable=SC2086
			run_prog $args
		fi
		assert_status 1
		assert_golden "$err" qelkeypair/usage.stderr
		assert_text "$out" ""
		assert_equal "$(ls -A)" ""
	done
}

# --- Faults of a POSIX system ---------------------------------------------------

# make_entry KIND PATH [OWNER]: puts an entry of KIND at PATH, owned by
# OWNER (a uid) when given.
make_entry() {
	case $1 in
	directory) mkdir "$2" ;;
	dangling-symlink) ln -s gone.c "$2" ;;
	unreadable) printf 'old key\n' >"$2" && chmod 000 "$2" ;;
	write-only) printf 'old key\n' >"$2" && chmod 200 "$2" ;;
	esac
	if [ -n "${3:-}" ]; then chown -h "$3" "$2"; fi
}

# Key files are created new and never replace anything, so whatever holds
# a key file's name would stop its creation: the run refuses it at the
# start, before a key is made, and prints nothing. Run as root and, where
# modes bind, as nobody (an entry of nobody's own that nobody may not
# read).
@test "any entry at a key file's name is refused at the start, as root and as nobody" {
	local -a kinds=(directory)
	[ "$QEL_OS" = Linux ] && kinds+=(dangling-symlink unreadable write-only)
	local name kind user stderr before home
	for name in qel_privkey.c qel_pubkey.c; do
		stderr=qelkeypair/privkey-exists.stderr
		[ $name = qel_pubkey.c ] && stderr=qelkeypair/pubkey-exists.stderr
		for kind in "${kinds[@]}"; do
			echo "$name: $kind, as root"
			rm -rf ./*
			make_entry "$kind" "$name"
			before=$(ls -lA --time-style=+)
			run_prog
			assert_status 3
			assert_golden "$err" "$stderr"
			assert_text "$out" ""
			assert_equal "$(ls -lA --time-style=+)" "$before"
		done
	done
	[ "$QEL_OS" = Linux ] || return 0
	[ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null ||
		skip "running as nobody needs root and setpriv"
	# nobody's own tree: the program copied where nobody may run it, and
	# a directory where nobody may create files.
	home=$(mktemp -d "${TMPDIR:-/tmp}/qelkeypair-nobody.XXXXXX")
	mkdir "$home/bin" "$home/keys"
	cp "$QEL_PROGRAM" "$home/bin/qelkeypair"
	chmod 755 "$home" "$home/bin" "$home/bin/qelkeypair"
	chmod 777 "$home/keys"
	argv0=$home/bin/qelkeypair
	for name in qel_privkey.c qel_pubkey.c; do
		stderr=qelkeypair/privkey-exists.stderr
		[ $name = qel_pubkey.c ] && stderr=qelkeypair/pubkey-exists.stderr
		for kind in "${kinds[@]}"; do
			echo "$name: $kind, as nobody"
			rm -rf "${home:?}"/keys/*
			make_entry "$kind" "$home/keys/$name" 65534
			before=$(ls -lA --time-style=+ "$home/keys")
			status=0
			(cd "$home/keys" && exec setpriv --reuid=65534 --regid=65534 --clear-groups \
				$QEL_RUN "$argv0") >"$out" 2>"$err" || status=$?
			assert_status 3
			assert_golden "$err" "$stderr"
			assert_text "$out" ""
			assert_equal "$(ls -lA --time-style=+ "$home/keys")" "$before"
		done
	done
	rm -rf "$home"
}

# bats test_tags=linux,rlimit,own-key
@test "a file size limit of one block stops the private key file" {
	require_posix "RLIMIT_FSIZE"
	require_bare
	local want
	run_with "trap '' XFSZ; ulimit -f 1" ""
	assert_status 3
	assert_golden "$err" qelkeypair/size-limit.stderr
	progress want 2
	assert_text "$out" "$want"
	assert_file_size_equals qel_privkey.c 1024
	assert_file_not_exists qel_pubkey.c
}

# --- Standard output lost -------------------------------------------------------

# bats test_tags=own-key
@test "standard output full: both key files complete, then the failure" {
	run_with "" ">/dev/full"
	assert_status 3
	assert_golden "$err" qelkeypair/stdout-full.stderr
	assert_equal "$(key_file_form qel_privkey.c private_key)" ok
	assert_equal "$(key_file_form qel_pubkey.c public_key)" ok
	assert_keys_sign_and_verify .
}

# Started with standard output closed, the program must not let the next
# file it opens take descriptor 1: nothing but key source may land in the
# key files.
# bats test_tags=own-key
@test "standard output closed: the key files get key source only, then the failure" {
	require_bare
	run_with "" ">&-"
	assert_status 3
	assert_golden "$err" qelkeypair/stdout-closed.stderr
	assert_equal "$(key_file_form qel_privkey.c private_key)" ok
	assert_equal "$(key_file_form qel_pubkey.c public_key)" ok
	assert_keys_sign_and_verify .
}

# The first line is flushed before the key is made, so a reader sees it
# while the run is still at work, also through a pipe.
# bats test_tags=own-key
@test "the first line reaches a pipe before the key is made" {
	run_with "set -o pipefail" \
		"| { IFS= read -r line; [ -e qel_privkey.c ] && echo late || echo early; cat >/dev/null; }"
	assert_status 0
	assert_text "$err" ""
	assert_bytes "$out" $'early\n'
	assert_equal "$(key_file_form qel_pubkey.c public_key)" ok
}

# A reader that leaves, before the first line or after it: the lines after
# it are lost, the key hash among them. SIGPIPE does not end the run (it
# is at its default here): the run completes the key files and then fails.
# After the first line the loss shows only at the final flush.
# bats test_tags=own-key
@test "a reader that leaves early: both key files, then the failure" {
	local -a cases=("true:0" "head -n 1:1")
	local c reader lines want
	for c in "${cases[@]}"; do
		IFS=: read -r reader lines <<<"$c"
		echo "reader: $reader"
		rm -f qel_p*.c
		want=
		[ "$lines" -eq 0 ] || progress want "$lines"
		run_with "set -o pipefail" "| $reader"
		assert_status 3
		assert_golden "$err" qelkeypair/stdout-broken-pipe.stderr
		assert_text "$out" "$want"
		assert_equal "$(key_file_form qel_privkey.c private_key)" ok
		assert_equal "$(key_file_form qel_pubkey.c public_key)" ok
	done
}

# --- The disk and core dumps -------------------------------------------------

# bats test_tags=linux,strace,own-key
@test "each key file reaches the disk with its directory entry; nothing can dump the key" {
	require_posix "fsync and a process's dumpability"
	require_bare
	command -v strace >/dev/null || skip "needs strace"
	# LeakSanitizer cannot work under ptrace.
	local -x ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
	QEL_RUN="strace -o $BATS_TEST_TMPDIR/trace -e trace=prctl,prlimit64,setrlimit,getrandom,openat,fsync" run_prog
	assert_status 0
	# What happened, in order: the process stops being dumpable before
	# the first random byte; each key file is synced before the next step,
	# the directory after it.
	run sed -n -E \
		-e 's/^prctl\(PR_SET_DUMPABLE, SUID_DUMP_DISABLE\) = 0$/undumpable/p' \
		-e 's/^prlimit64\(0, RLIMIT_CORE, \{rlim_cur=0, rlim_max=0\}, NULL\) = 0$/no core/p' \
		-e '/^getrandom\(.*, 0\) = /{s/.*/random/p;}' \
		-e 's/^openat\(AT_FDCWD, "(qel_p[a-z]*key\.c)", .*O_CREAT.* = [0-9]+$/create \1/p' \
		-e 's/^openat\(AT_FDCWD, "\.", .*O_DIRECTORY.* = [0-9]+$/open directory/p' \
		-e 's/^fsync\([0-9]+\) += 0$/sync/p' \
		"$BATS_TEST_TMPDIR/trace"
	assert_success
	# getrandom calls are many: keep the first.
	assert_equal "$(uniq <<<"$output" | tr '\n' ' ')" \
		"undumpable no core random create qel_privkey.c sync open directory sync create qel_pubkey.c sync open directory sync "
}

# bats test_tags=linux,strace,own-key
@test "a key file that cannot be synced fails the run as a failed close" {
	require_posix "fsync"
	require_bare
	command -v strace >/dev/null || skip "needs strace"
	# LeakSanitizer cannot work under ptrace.
	local -x ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
	# The first fsync is the private key file's, the second its
	# directory's, the third the public key file's.
	local -a cases=("1:2:qel_privkey.c" "2:2:qel_privkey.c" "3:3:qel_privkey.c qel_pubkey.c")
	local c when lines files want
	for c in "${cases[@]}"; do
		IFS=: read -r when lines files <<<"$c"
		echo "fsync number $when fails"
		rm -f qel_p*.c
		QEL_RUN="strace -o /dev/null -e trace=fsync -e inject=fsync:error=EIO:when=$when" run_prog
		assert_status 3
		assert_golden "$err" qelkeypair/sync-failed.stderr
		progress want "$lines"
		assert_text "$out" "$want"
		assert_equal "$(echo qel_p*.c)" "$files"
		assert_equal "$(key_file_form qel_privkey.c private_key)" ok
	done
}
