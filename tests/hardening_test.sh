#!/usr/bin/env bash
# Reads the built Linux programs and checks that each carries the hardening
# Debian gives its own packages: a position-independent executable, full
# RELRO (a read-only relocation segment and every symbol bound at start),
# a stack that cannot execute, the stack protector, and the fortified
# variants of the C library's string and stdio calls. Dynamically or
# statically linked alike.
#
# usage: hardening_test.sh PROGRAM...
set -u
failures=0
passes=0

check() {
	local name=$1 want=$2 got=$3
	if [ "$want" == "$got" ]; then
		passes=$((passes + 1))
		echo "ok - $name"
	else
		failures=$((failures + 1))
		echo "not ok - $name"
		echo "    want: $want"
		echo "    got:  $got"
	fi
}

yes_no() { if "$@" >/dev/null; then echo yes; else echo no; fi; }

for prog in "$@"; do
	name=$(basename "$prog")
	header=$(readelf -hW "$prog") || { check "$name: readable" yes no; continue; }
	dynamic=$(readelf -dW "$prog")
	segments=$(readelf -lW "$prog")
	imports=$(readelf --dyn-syms -W "$prog" | awk '$7 == "UND" && $8 != "" { sub(/@.*/, "", $8); print $8 }')
	# A statically linked program imports nothing: the C library's
	# functions it uses are in its own symbol table.
	static=no
	if [ -z "$imports" ]; then
		static=yes
		imports=$(readelf -sW "$prog" | awk '$8 ~ /^__/ { print $8 }' | sort -u)
	fi

	# PIE: a shared-object type, marked PIE in DT_FLAGS_1.
	check "$name: ELF type" DYN "$(awk '$1 == "Type:" { print $2 }' <<<"$header")"
	check "$name: DT_FLAGS_1 has PIE" yes \
		"$(yes_no grep -E '\(FLAGS_1\).*\bPIE\b' <<<"$dynamic")"
	# Full RELRO: the segment, and binding now (DT_BIND_NOW, DF_BIND_NOW or
	# DF_1_NOW; the linker writes the last two).
	check "$name: GNU_RELRO segment" yes "$(yes_no grep -E '^\s*GNU_RELRO\b' <<<"$segments")"
	check "$name: bound at start" yes \
		"$(yes_no grep -E '\(BIND_NOW\)|\(FLAGS\).*\bBIND_NOW\b|\(FLAGS_1\).*\bNOW\b' <<<"$dynamic")"
	# The stack segment, read and write without execute.
	check "$name: GNU_STACK flags" RW \
		"$(awk '$1 == "GNU_STACK" { print $7 }' <<<"$segments")"
	check "$name: no text relocations" no "$(yes_no grep -E '\(TEXTREL\)' <<<"$dynamic")"
	# Stack protector and fortified calls, seen in what the program imports.
	check "$name: imports __stack_chk_fail" yes \
		"$(yes_no grep -x __stack_chk_fail <<<"$imports")"
	check "$name: imports fortified calls" yes \
		"$(yes_no grep -E '^__[a-z]+_chk$' <<<"$(grep -vx __stack_chk_fail <<<"$imports")")"
	if [ $static = no ]; then
		check "$name: no unfortified printf family" "" \
			"$(grep -xE '(v?s?n?printf|v?fprintf)' <<<"$imports" | tr '\n' ' ')"
	fi
done

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ] && [ "$passes" -gt 0 ]
