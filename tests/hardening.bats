#!/usr/bin/env bats
# The built Linux programs carry the hardening Debian gives its own
# packages: a position-independent executable, full RELRO (a read-only
# relocation segment and every symbol bound at start), a stack that cannot
# execute, the stack protector, and the fortified variants of the C
# library's string and stdio calls. Dynamically or statically linked alike.
#
# QEL_PROGRAMS names the programs, separated by spaces.

bats_load_library bats-support
bats_load_library bats-assert

: "${QEL_PROGRAMS:?QEL_PROGRAMS names the programs to read}"
read -ra programs <<<"$QEL_PROGRAMS"

# Each program is read once, in setup_file, into files named after its
# index: .header, .dynamic, .segments, .imports (the C library functions it
# calls, by name) and .static (yes or no).
setup_file() {
	local i prog imports static
	[ "${#programs[@]}" -gt 0 ]
	for i in "${!programs[@]}"; do
		prog=${programs[i]}
		readelf -hW "$prog" >"$BATS_FILE_TMPDIR/$i.header"
		readelf -dW "$prog" >"$BATS_FILE_TMPDIR/$i.dynamic"
		readelf -lW "$prog" >"$BATS_FILE_TMPDIR/$i.segments"
		imports=$(readelf --dyn-syms -W "$prog" |
			awk '$7 == "UND" && $8 != "" { sub(/@.*/, "", $8); print $8 }')
		# A statically linked program imports nothing: the C library's
		# functions it uses are in its own symbol table.
		static=no
		if [ -z "$imports" ]; then
			static=yes
			imports=$(readelf -sW "$prog" | awk '$8 ~ /^__/ { print $8 }' | sort -u)
		fi
		echo "$imports" >"$BATS_FILE_TMPDIR/$i.imports"
		echo "$static" >"$BATS_FILE_TMPDIR/$i.static"
	done
}

# each_program CHECK: runs the function CHECK on every program, with
# header, dynamic, segments, imports and static set.
each_program() {
	local i
	for i in "${!programs[@]}"; do
		echo "program: ${programs[i]}"
		header=$(<"$BATS_FILE_TMPDIR/$i.header")
		dynamic=$(<"$BATS_FILE_TMPDIR/$i.dynamic")
		segments=$(<"$BATS_FILE_TMPDIR/$i.segments")
		imports=$(<"$BATS_FILE_TMPDIR/$i.imports")
		static=$(<"$BATS_FILE_TMPDIR/$i.static")
		"$1"
	done
}

@test "position-independent: a shared-object type marked PIE" {
	check() {
		assert_equal "$(awk '$1 == "Type:" { print $2 }' <<<"$header")" DYN
		assert_regex "$dynamic" '\(FLAGS_1\)[^'$'\n'']*\bPIE\b'
	}
	each_program check
}

@test "full RELRO: the segment, and every symbol bound at start" {
	check() {
		assert_regex "$segments" '(^|'$'\n'')\s*GNU_RELRO\b'
		# DT_BIND_NOW, DF_BIND_NOW or DF_1_NOW; the linker writes the
		# last two.
		assert_regex "$dynamic" '\(BIND_NOW\)|\(FLAGS\)[^'$'\n'']*\bBIND_NOW\b|\(FLAGS_1\)[^'$'\n'']*\bNOW\b'
	}
	each_program check
}

@test "a stack that reads and writes but does not execute; no text relocations" {
	check() {
		assert_equal "$(awk '$1 == "GNU_STACK" { print $7 }' <<<"$segments")" RW
		refute_regex "$dynamic" '\(TEXTREL\)'
	}
	each_program check
}

@test "the stack protector and the fortified calls" {
	check() {
		grep -qx __stack_chk_fail <<<"$imports" || fail "no __stack_chk_fail"
		grep -vx __stack_chk_fail <<<"$imports" | grep -qE '^__[a-z]+_chk$' ||
			fail "no fortified call"
		if [ "$static" = no ]; then
			assert_equal "$(grep -xE '(v?s?n?printf|v?fprintf)' <<<"$imports" | tr '\n' ' ')" ""
		fi
	}
	each_program check
}
