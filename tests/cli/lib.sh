# Small harness for the command-line tests: each case runs the program in a
# fresh scratch directory and compares exit status, standard output,
# standard error and files with what is expected.
#
# The program is started through PATH under its plain name, so that is what
# it sees as its argv[0]. With QEL_MEMCHECK=1 every run goes through
# valgrind's memcheck; any error or leak it finds fails the suite.

set -u
failures=0
passes=0
scratch_root=$(mktemp -d "${TMPDIR:-/tmp}/qelcli.XXXXXX")
trap 'rm -rf "$scratch_root"' EXIT
if [ "${QEL_MEMCHECK:-0}" = 1 ]; then
	QEL_EXEC_PREFIX="valgrind -q --log-file=$scratch_root/memcheck.%p --error-exitcode=99 \
--leak-check=full --errors-for-leak-kinds=definite,indirect --track-fds=no"
fi

# new_scratch: makes and enters an empty directory.
new_scratch() {
	scratch=$(mktemp -d "$scratch_root/case.XXXXXX")
	cd "$scratch" || exit 2
}

pass() { passes=$((passes + 1)); echo "ok - $1"; }
fail() { failures=$((failures + 1)); echo "not ok - $1"; shift; printf '    %s\n' "$@"; }

# expect_eq NAME WANT GOT
expect_eq() {
	if [ "$2" == "$3" ]; then
		pass "$1"
	else
		fail "$1" "want: $(printf '%q' "$2")" "got:  $(printf '%q' "$3")"
	fi
}

# use_prog PATH NAME: the program under test, started as NAME.
use_prog() {
	mkdir -p "$scratch_root/bin"
	ln -sf "$(realpath "$1")" "$scratch_root/bin/$2"
	PATH="$scratch_root/bin:$PATH"
	prog=$2
}

# read_outputs: loads status, out and err of the last run, keeping every
# byte (trailing newlines too).
read_outputs() {
	status=$1
	out=$(cat "$scratch.out"; echo x); out=${out%x}
	err=$(cat "$scratch.err"; echo x); err=${err%x}
}

# run_prog [ARGS...]: runs the program in the scratch directory; its
# standard output and error are kept beside it, never in it.
run_prog() {
	# shellcheck disable=SC2086
	${QEL_EXEC_PREFIX:-} "$prog" "$@" >"$scratch.out" 2>"$scratch.err"
	read_outputs $?
}

# listed_bytes FILE: the bytes of the key array of a key source file.
listed_bytes() {
	printf "$(sed -n '/keyarray\[\] = {/,/};/p' "$1" | sed 1d | grep -o '[0-9]\+' |
		awk '{ printf "\\%03o", $1 }')"
}

# make_package GENERATOR EXTENSION: makes one package with cpack from the
# build's CPack configuration in a new scratch directory and sets package
# to its path. Without exactly one package the suite ends there.
make_package() {
	new_scratch
	"$cpack" -G "$1" --config "$build/CPackConfig.cmake" -B "$scratch" >cpack.log 2>&1
	expect_eq "cpack -G $1" 0 "$?"
	local made=("$scratch"/*."$2")
	expect_eq "one $2 made" 1 "${#made[@]}"
	package=${made[0]}
	[ -f "$package" ] || { cat cpack.log; finish; exit 1; }
}

finish() {
	local log
	for log in "$scratch_root"/memcheck.*; do
		[ -s "$log" ] || continue
		fail "memcheck found errors" "$(cat "$log")"
	done
	echo "$passes passed, $failures failed"
	[ "$failures" -eq 0 ]
}
