# Helpers shared by the command-line suites (tests/cli/*.bats). A suite runs
# the programs of one build, named by the environment CTest sets:
#
#   QEL_PROGRAM  the program under test
#   QEL_RUN      what starts it, split at spaces: empty for the bare program,
#                Wine for the Windows build, a valgrind command line for the
#                memcheck runs
#   QEL_EOL      the line end of its text output and files: lf or crlf
#   QEL_OS       the platform name it reports: Linux or Windows
#
# Expected texts that are fixed live as files beside the suite, in
# tests/cli/PROGRAM/, with LF line ends; {PROG} in them stands for the name
# the program sees as its argv[0] and {OS} for QEL_OS. A file NAME.OS is
# taken instead of NAME on that platform (for the system's error texts).

bats_load_library bats-support
bats_load_library bats-assert
bats_load_library bats-file

: "${QEL_PROGRAM:?QEL_PROGRAM names the program under test}"
QEL_PROGRAM=$(realpath -e "$QEL_PROGRAM") || return
: "${QEL_RUN=}"
: "${QEL_EOL:=lf}"
: "${QEL_OS:=Linux}"

# prepare NAME [DIR]: readies a run of the program under test as NAME in DIR
# (default: the case's own temporary directory): sets scratch, an empty
# directory that becomes the current one, out and err, the files beside it
# that take the run's standard output and error, prog, the program as the
# runs start it, and argv0, the name it sees as its argv[0].
prepare() {
	local dir=${2:-$BATS_TEST_TMPDIR}
	scratch=$dir/scratch
	out=$dir/stdout
	err=$dir/stderr
	mkdir -p "$scratch"
	cd "$scratch" || return
	if [ "$QEL_OS" = Windows ]; then
		# Wine starts a program by its path and hands it the Windows
		# form of that path as argv[0].
		prog=$QEL_PROGRAM
		argv0=Z:${prog//\//\\}
	else
		# Started through PATH, the program sees its plain name, as in
		# the examples of its manual.
		mkdir -p "$dir/bin"
		ln -sf "$QEL_PROGRAM" "$dir/bin/$1"
		PATH=$dir/bin:$PATH
		prog=$1
		argv0=$1
	fi
}

# run_prog [ARGS...]: runs the program in the scratch directory and sets
# status.
run_prog() {
	run_with "" "" "$@"
}

# run_with SETUP REDIRECTIONS [ARGS...]: runs the program after the shell
# commands in SETUP, with the redirections given on top of those to out and
# err, e.g. run_with "ulimit -f 1" ">&-".
run_with() {
	run_wrapped "" "$@"
}

# run_in_netns SETUP [REDIRECTIONS]: runs the program in a network namespace
# of its own whose links the shell commands in SETUP make (lo is there, and
# down). Call require_netns first.
run_in_netns() {
	run_wrapped "unshare -n" "$1" "${2:-}"
}

run_wrapped() {
	local wrapper=$1 setup=$2 redirections=$3
	shift 3
	status=0
	# shellcheck disable=SC2086 # the wrapper and the runner are words
	$wrapper bash -c "set -e
$setup
cd '$scratch'
exec $QEL_RUN \"\$0\" \"\$@\" $redirections" "$prog" "$@" >"$out" 2>"$err" || status=$?
}

# Skips for cases the platform or the runner cannot take; each says why.
require_posix() {
	[ "$QEL_OS" = Linux ] || skip "$1 is POSIX behaviour; the $QEL_OS build has none"
}
require_netns() {
	[ "$QEL_OS" = Linux ] ||
		skip "Wine lists the host's adapters, not those of a network namespace"
	unshare -n true 2>/dev/null ||
		skip "cannot make a network namespace (unshare -n refused): run as root"
}
require_bare() {
	[ -z "$QEL_RUN" ] ||
		skip "needs the bare program: '${QEL_RUN%% *}' in front of it opens descriptors and files of its own"
}

# platform_text VAR TEXT: sets VAR to TEXT with each LF turned into the
# platform's line end.
platform_text() {
	if [ "$QEL_EOL" = crlf ]; then
		printf -v "$1" %s "${2//$'\n'/$'\r\n'}"
	else
		printf -v "$1" %s "$2"
	fi
}

# golden VAR NAME: sets VAR to the expected text in the file NAME beside
# the suite, placeholders filled, with LF line ends.
golden() {
	local _file=$BATS_TEST_DIRNAME/$2 _text
	[ -e "$_file.$QEL_OS" ] && _file=$_file.$QEL_OS
	_text=$(cat "$_file" && echo x) || return
	_text=${_text%x}
	_text=${_text//"{PROG}"/"$argv0"}
	printf -v "$1" %s "${_text//"{OS}"/"$QEL_OS"}"
}

# assert_text FILE TEXT: FILE holds exactly TEXT, written with LF line ends
# and compared in the platform's.
assert_text() {
	local want
	platform_text want "$2"
	assert_bytes "$1" "$want"
}

# assert_golden FILE NAME: FILE holds exactly the expected text NAME.
assert_golden() {
	local want
	golden want "$2"
	assert_text "$1" "$want"
}

# assert_bytes FILE BYTES: FILE holds exactly BYTES, line ends and all.
assert_bytes() {
	local got
	got=$(cat "$1" && echo x) || fail "cannot read $1"
	got=${got%x}
	[ "$got" == "$2" ] ||
		batslib_print_kv_single_or_multi 8 file "$1" \
			expected "$(printf '%q' "$2")" actual "$(printf '%q' "$got")" |
		batslib_decorate "unexpected content" | fail
}

# assert_status N: the last run exited with N.
assert_status() {
	[ "$status" -eq "$1" ] ||
		batslib_print_kv_single_or_multi 8 expected "$1" actual "$status" \
			stderr "$(cat "$err")" |
		batslib_decorate "unexpected exit status" | fail
}

# listed_bytes FILE: the bytes of the array in a key source file.
listed_bytes() {
	local escaped
	escaped=$(sed -n '/keyarray\[\] = {/,/};/p' "$1" | sed 1d | grep -o '[0-9]\+' |
		awk '{ printf "\\0%03o", $1 }')
	printf '%b' "$escaped"
}
