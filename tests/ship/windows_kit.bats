#!/usr/bin/env bats
# The vendor kit as a vendor uses it: unpacked into a fresh folder, a
# product built against it with the commands of docs/VENDOR.md, taken from
# the page as they stand (the blocks marked "<!-- tested: NAME -->"), for
# Visual C++, MSYS2's MINGW64 and Linux. Visual C++ is clang-cl and
# lld-link on Wine's headers and libraries (toolchain-clang-cl.cmake),
# MSYS2's mingw-w64 the kit's own toolchain file; each comes in through
# the environment (CMAKE_TOOLCHAIN_FILE), as a developer prompt or an MSYS2
# shell gives the compiler, so the commands are the page's, with the kit's
# and the keys' folders in place of C:/qelcore-kit and C:/keys. The
# programs built run under Wine: the example, and a C product that lists
# the addresses and reads licences, with the same answers from
# qelcore.dll (Visual C++) as from the static libraries (mingw-w64).
#
# Environment: QEL_BUILD, QEL_SOURCE, CPACK, QEL_WINE, QEL_VERSION,
# QEL_MSVC_TOOLCHAIN (the Visual C++ stand-in's toolchain file); WINEPREFIX
# and WINEDEBUG.

bats_require_minimum_version 1.5.0

# build_with NAME TOOLCHAIN DIR COMMANDS: runs the shell COMMANDS in
# DIR/NAME (made), with TOOLCHAIN as the environment's toolchain file
# (none when empty); the output goes to DIR/NAME.log, shown on failure.
build_with() {
	local name=$1 toolchain=$2 dir=$3 commands=$4
	mkdir -p "$dir/$name"
	(
		cd "$dir/$name" || exit 1
		unset CMAKE_TOOLCHAIN_FILE CMAKE_GENERATOR
		[ -n "$toolchain" ] && export CMAKE_TOOLCHAIN_FILE=$toolchain
		bash -e -x -c "$commands"
	) >"$dir/$name.log" 2>&1 || { cat "$dir/$name.log"; return 1; }
}

setup_file() {
	load kit
	local top=$BATS_FILE_TMPDIR vendor=$QEL_SOURCE/docs/VENDOR.md windows linux
	kit_prepare "$top" || return 1

	# The example, with each set of the page's commands.
	windows=$(doc_block "$vendor" windows-build) || return 1
	windows=${windows//C:\/qelcore-kit/$top/kit}
	windows=${windows//C:\/keys/$top/keys}
	build_with msvc "$QEL_MSVC_TOOLCHAIN" "$top" "$windows" || return 1
	build_with msys2 "$top/kit/cmake/toolchain-mingw-w64-x86_64.cmake" "$top" "$windows" ||
		return 1
	linux=$(doc_block "$vendor" linux-build) || return 1
	mkdir "$top/linux" && ln -s "$top/kit" "$top/keys" "$top/linux/" || return 1
	build_with linux "" "$top" "$linux" || return 1

	# The product, configured the same way for both toolchains.
	for toolchain in msvc:"$QEL_MSVC_TOOLCHAIN" \
		mingw:"$top/kit/cmake/toolchain-mingw-w64-x86_64.cmake"; do
		build_with "product-${toolchain%%:*}" "${toolchain#*:}" "$top" "
			cmake -S '$BATS_TEST_DIRNAME/product' -B build -DCMAKE_PREFIX_PATH='$top/kit' \
				-DKEYS='$top/keys'
			cmake --build build --config Release" || return 1
	done
}

setup() {
	bats_load_library bats-support
	bats_load_library bats-assert
	bats_load_library bats-file
	load kit
	top=$BATS_FILE_TMPDIR
	vendor=$QEL_SOURCE/docs/VENDOR.md
	cd "$BATS_TEST_TMPDIR" || exit 1
}

# imports EXE: the DLLs that EXE imports, lower case, one a line, sorted.
imports() {
	x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]' |
		LC_ALL=C sort
}

@test "every command of the page's Windows section runs here, signtool's aside" {
	run doc_section "$vendor" "Windows: the kit and the customer's zip"
	assert_success
	section=$output
	# Each sh or bat block is marked for a test of this suite or of the
	# release suite; signtool runs on Windows only.
	run awk '
		/^<!-- tested: / { tag = $3; next }
		/^```(sh|bat)$/ { block = NR; name = tag; text = ""; next }
		block && /^```$/ { if (name == "" && text !~ /signtool/) print "line " block; block = 0; next }
		block { text = text $0 }
		!block && !/^$/ { tag = "" }' <<<"$section"
	assert_output ""
	run bash -c 'sed -n "s/^<!-- tested: \(.*\) -->$/\1/p" | sort | xargs' <<<"$section"
	assert_output "branding linux-build signing windows-build"
}

@test "the example builds from the kit with the page's commands: Visual C++, MSYS2 and Linux" {
	# build | where the kit is (linux/kit is a link to it)
	while IFS="|" read -r build kit; do
		assert_file_exists "$top/$build/build/check_license.exe"
		# The package is the kit's, and nothing of the build machine.
		run grep '^qelcore_DIR:' "$top/$build/build/CMakeCache.txt"
		assert_output "qelcore_DIR:PATH=$kit/lib/cmake/qelcore"
	done <<-TABLE
		msvc|$top/kit
		msys2|$top/kit
		linux|$top/linux/kit
	TABLE
	# A compiler of Visual C++'s kind, for CMake.
	run bash -c 'cat "$1"/build/CMakeFiles/*/CMakeCCompiler.cmake' _ "$top/msvc"
	assert_line --regexp '^set\(CMAKE_C_COMPILER ".*/clang-cl-14"\)$'
	assert_line 'set(CMAKE_C_COMPILER_FRONTEND_VARIANT "MSVC")'
	# Visual C++'s links the DLL, copied beside it; mingw-w64's link the
	# archives and need only Windows' own DLLs.
	run imports "$top/msvc/build/check_license.exe"
	assert_line qelcore.dll
	cmp "$top/kit/bin/qelcore.dll" "$top/msvc/build/qelcore.dll"
	for build in msys2 linux; do
		run imports "$top/$build/build/check_license.exe"
		refute_line qelcore.dll
		assert_file_not_exists "$top/$build/build/qelcore.dll"
	done
}

@test "the example checks the kit's licences under Wine, alike with each toolchain" {
	cd "$top/lic" || exit 1
	for build in msvc msys2 linux; do
		# licence | exit | output
		while IFS="|" read -r lic want_status want; do
			run wine "$top/$build/build/check_license.exe" "$lic"
			assert_equal "$build $lic: $status" "$build $lic: $want_status"
			assert_equal "$build $lic: $output" "$build $lic: $want"
		done <<-'TABLE'
			licence|0|licence good
			licence_changed|21|check_license: licence has a signature that is not valid
			licence_foreign|23|check_license: licence is for another machine
		TABLE
	done
}

@test "a C product built with Visual C++ lists this machine's addresses as qelhostid.exe does" {
	run imports "$top/product-msvc/build/product.exe"
	assert_line qelcore.dll
	run wine "$top/kit/bin/qelhostid.exe"
	assert_success
	want=$(grep -o '[0-9a-f]\{2\}\(:[0-9a-f]\{2\}\)\{5\}' <<<"$output")
	assert [ -n "$want" ]
	run wine "$top/product-msvc/build/product.exe" "$top/lic/licence"
	assert_success
	assert_equal "$(sed '$d' <<<"$output")" "$want"
}

@test "the product answers alike from qelcore.dll and from the static libraries" {
	cd "$top/lic" || exit 1
	# licence | exit | last line
	while IFS="|" read -r lic want_status want; do
		run wine "$top/product-msvc/build/product.exe" "$lic"
		msvc_status=$status msvc_output=$output
		assert_equal "$lic: $status" "$lic: $want_status"
		assert_equal "$lic: ${lines[-1]}" "$lic: $want"
		run wine "$top/product-mingw/build/product.exe" "$lic"
		assert_equal "$lic: $status" "$lic: $msvc_status"
		assert_equal "$output" "$msvc_output"
	done <<-'TABLE'
		licence|0|licensed to Example Ltd
		licence_changed|21|product: licence has a signature that is not valid
		licence_foreign|23|product: licence is for another machine
		missing|1|product: cannot read missing
	TABLE
}
