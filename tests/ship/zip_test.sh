#!/usr/bin/env bash
# The zip of the Windows build: cpack makes it, it holds qelhostid.exe,
# qelkeypair.exe and the docs (no library or headers), and the programs
# unpacked from it run (under Wine, from a Linux machine).
#
# usage: zip_test.sh BUILD_DIR [CPACK [EMULATOR]]
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../cli/lib.sh"
build=$1
cpack=${2:-cpack}
emulator=${3:-}

make_package ZIP zip
zip=$package
top=$(basename "$zip" .zip)
expect_eq "zip name" "qelcore-0.1.0-win64" "$top"

contents=$(cmake -E tar tf "$zip" | sed 's|/$||')
for f in bin/qelhostid.exe bin/qelkeypair.exe \
	doc/README.md doc/VENDOR.md \
	doc/examples/check_license.c doc/examples/sign_license.c doc/examples/Makefile
do
	expect_eq "zip holds $top/$f" yes "$(grep -qxF "$top/$f" <<<"$contents" && echo yes || echo no)"
done
expect_eq "zip holds no library, header, CMake package or manual page" "" \
	"$(grep -E '\.(a|h|cmake|pc|1)$' <<<"$contents")"

mkdir unpacked && (cd unpacked && cmake -E tar xf "$zip")
expect_eq "unpacked" 0 "$?"
bin=$scratch/unpacked/$top/bin

# The programs import only Windows' own DLLs: nothing else need come along.
if command -v x86_64-w64-mingw32-objdump >/dev/null; then
	for p in qelhostid qelkeypair; do
		expect_eq "$p.exe unpacked" yes "$([ -f "$bin/$p.exe" ] && echo yes || echo no)"
		dlls=$(x86_64-w64-mingw32-objdump -p "$bin/$p.exe" | sed -n 's/^\s*DLL Name: //p' |
			tr 'A-Z' 'a-z' | grep -vxE 'kernel32\.dll|msvcrt\.dll|advapi32\.dll|iphlpapi\.dll|ws2_32\.dll|user32\.dll|api-ms-win-.*\.dll' | xargs)
		expect_eq "$p.exe needs no DLL from outside Windows" "" "$dlls"
	done
fi

for p in qelhostid qelkeypair; do
	# shellcheck disable=SC2086
	$emulator "$bin/$p.exe" --x >out 2>err
	expect_eq "$p.exe --x: exit" 1 "$?"
	expect_eq "$p.exe --x: usage" "Usage: " "$(head -1 err | cut -c1-7)"
done

new_scratch
# shellcheck disable=SC2086
$emulator "$bin/qelkeypair.exe" >out 2>err
expect_eq "qelkeypair.exe: exit" 0 "$?"
expect_eq "qelkeypair.exe: key files" "yes yes" \
	"$([ -s qel_privkey.c ] && echo yes) $([ -s qel_pubkey.c ] && echo yes)"

finish
