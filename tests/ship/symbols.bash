# Helpers of the ship suites for the symbols of an installed libqelcore.a.

# header_functions INCLUDE_DIR: the functions that INCLUDE_DIR/qel/qelcore.h
# declares, one a line, sorted, as the system's C compiler reads the header
# (its -aux-info list of the declarations in a translation unit), apart
# from the way the build derives them.
header_functions() {
	local dir
	dir=$(mktemp -d "$BATS_TEST_TMPDIR/aux.XXXXXX")
	printf '#include <qel/qelcore.h>\n' >"$dir/one.c"
	gcc -std=c99 -I"$1" -fsyntax-only -aux-info "$dir/decls" "$dir/one.c" || return 1
	# /* DIR/qel/qelcore.h:85:NC */ extern int name (char ***, char *);
	sed -n 's|^/\* .*/qel/qelcore\.h:[0-9]*:[A-Z]* \*/ .*[ *]\([A-Za-z_][A-Za-z0-9_]*\) (.*|\1|p' \
		"$dir/decls" | LC_ALL=C sort
}

# defined_globals NM ARCHIVE [TYPES]: the global symbols that ARCHIVE
# defines, one a line, sorted; only those of nm's TYPES (letters) if given.
defined_globals() {
	"$1" -g --defined-only "$2" |
		awk -v types="${3:-}" 'NF == 3 && (types == "" || index(types, $2)) { print $3 }' |
		LC_ALL=C sort
}

# link_names NM OBJECT NAME...: the link names of OBJECT's functions named
# NAME (C++ names mangled), one a line.
link_names() {
	local nm=$1 object=$2 name
	shift 2
	for name in "$@"; do
		"$nm" -g --defined-only "$object" | awk -v n="$name" \
			'NF == 3 && $2 == "T" && ($3 == n || $3 ~ ("^_Z" length(n) n)) { print $3 }'
	done
}
