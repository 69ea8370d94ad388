#!/usr/bin/env bats
# The zips of the Windows build. cpack makes two: the customer's, with
# qelhostid.exe and a README.txt in CR LF, and the vendor kit, with the
# three programs, qelcore.dll with its import library for Visual C++,
# libqelcore.a and the libtomcrypt and libtommath archives the programs
# were linked with for mingw-w64, the headers, a CMake package, the
# toolchain file for Linux, and the docs with the kit's own README and the
# example. The programs run under Wine from where they were unpacked.
# Products built against the kit with pkg-config find the header's version
# in the library, and only the header's functions global in it: one with
# functions named like the library's internal ones links and works, and
# one that uses libtomcrypt's data itself makes keys. (The kit used as the
# docs say, with CMake and Visual C++, is windows_kit.bats.)
#
# Environment: QEL_BUILD (the build directory), QEL_SOURCE (the source
# tree), CPACK, QEL_WINE (the Wine loader), QEL_DEPS_PREFIX (the Windows
# builds of libtomcrypt and libtommath), QEL_VERSION; WINEPREFIX and
# WINEDEBUG.

bats_require_minimum_version 1.5.0

# The machine's hardware addresses, as Wine reports them: the links of the
# host that have an Ethernet address.
host_addresses() {
	ip -o link show | sed -n 's/.* link\/ether \([0-9a-f:]\{17\}\) .*/\1/p' | sort -u
}

setup_file() {
	load kit
	kit_prepare "$BATS_FILE_TMPDIR"
}

setup() {
	bats_load_library bats-support
	bats_load_library bats-assert
	bats_load_library bats-file
	load symbols
	load kit
	top=$BATS_FILE_TMPDIR
	cd "$BATS_TEST_TMPDIR" || exit 1
}

# files DIR: the files below DIR, one a line, sorted.
files() {
	(cd "$1" && find . -type f -printf '%P\n' | LC_ALL=C sort)
}

@test "cpack makes two zips, the customer's and the vendor kit, also with -G ZIP" {
	run bash -c 'cd "$1" && ls *.zip' _ "$top/zips"
	assert_output - <<-OUT
		qelcore-kit-$QEL_VERSION-win64.zip
		qelhostid-$QEL_VERSION-win64.zip
		OUT
	run "${CPACK:-cpack}" -G ZIP --config "$QEL_BUILD/CPackConfig.cmake" -B again
	assert_success
	run bash -c 'cd again && ls *.zip'
	assert_output "$(cd "$top/zips" && ls ./*.zip | sed 's|^\./||')"
}

@test "the customer zip: qelhostid.exe, README.txt, the licence and the notices, nothing else" {
	run files "$top/customer"
	assert_output - <<-'OUT'
		LICENSE.txt
		README.txt
		THIRD-PARTY-NOTICES.txt
		qelhostid.exe
		OUT
}

@test "the text files of both zips have CR LF line ends" {
	for f in customer/README.txt customer/LICENSE.txt customer/THIRD-PARTY-NOTICES.txt \
		kit/doc/LICENSE.txt kit/doc/THIRD-PARTY-NOTICES.txt; do
		lines=$(wc -l <"$top/$f")
		assert [ "$lines" -gt 5 ]
		# Every line ends in CR LF, the last one too, and there is no
		# other CR.
		run grep -c $'\r$' "$top/$f"
		assert_equal "$f: $output" "$f: $lines"
		run bash -c 'tr -cd "\r" <"$1" | wc -c' _ "$top/$f"
		assert_equal "$f: $output" "$f: $lines"
		run bash -c 'tail -c 2 "$1" | od -An -tx1' _ "$top/$f"
		assert_equal "$f: $output" "$f:  0d 0a"
	done
	run bash -c 'tr -d "\r" <"$1" | cmp - "$2"' _ "$top/customer/LICENSE.txt" "$QEL_SOURCE/LICENSE"
	assert_success
}

@test "the customer's README.txt: what to run and what to send" {
	readme=$top/customer/README.txt
	run tr -d '\r' <"$readme"
	assert_line --index 0 "qelhostid $QEL_VERSION for Windows"
	assert_output --partial 'qelhostid.exe'
	assert_output --partial 'Send qelhostid.txt'
	refute_output --partial qelkeypair
}

@test "the kit: programs, DLL, libraries, headers, CMake package, toolchain, docs and the example" {
	expected=$(
		printf '%s\n' bin/qelhostid.exe bin/qelkeypair.exe bin/qellicense.exe bin/qelcore.dll \
			cmake/toolchain-mingw-w64-x86_64.cmake \
			doc/LICENCE-FORMAT.md doc/LICENSE.txt doc/README.md doc/THIRD-PARTY-NOTICES.txt \
			doc/VENDOR.md \
			doc/examples/CMakeLists.txt \
			doc/examples/check_license.c \
			include/qel/qelcore.h \
			lib/cmake/qelcore/qelcore-config-version.cmake \
			lib/cmake/qelcore/qelcore-config.cmake \
			lib/cmake/qelcore/qelcore-targets-CONFIG.cmake \
			lib/cmake/qelcore/qelcore-targets.cmake \
			lib/libqelcore.a lib/libtomcrypt.a lib/libtommath.a \
			lib/qelcore.def lib/qelcore.lib \
			lib/pkgconfig/qelcore.pc
		(cd "$QEL_DEPS_PREFIX" && ls include/tomcrypt*.h include/tommath*.h)
	)
	run bash -c 'cd "$1" && find . -type f -printf "%P\n" |
		sed "s/targets-[a-z]*\.cmake$/targets-CONFIG.cmake/" | LC_ALL=C sort' _ "$top/kit"
	assert_output "$(LC_ALL=C sort <<<"$expected")"
	# The very archives and headers the programs were built with.
	for f in lib/libtomcrypt.a lib/libtommath.a $(cd "$QEL_DEPS_PREFIX" && ls include/*.h); do
		run cmp "$QEL_DEPS_PREFIX/$f" "$top/kit/$f"
		assert_success
	done
	for f in libqelcore.a qelcore.lib qelcore.def; do
		cmp "$QEL_BUILD/$f" "$top/kit/lib/$f"
	done
	cmp "$QEL_SOURCE/cmake/toolchain-mingw-w64-x86_64.cmake" \
		"$top/kit/cmake/toolchain-mingw-w64-x86_64.cmake"
}

@test "the kit's table in VENDOR.md names what is in the kit, and every folder" {
	# | `folder/` | ... `name` ... |: each name a file below that folder
	# (a pattern for the headers), and each folder of the kit a row.
	table=$(awk '/^\*\*`qelcore-kit-/ { on = 1; next }
		on && /^\|/ { rows = 1; if (/^\| `/) print; next }
		rows { exit }' "$top/kit/doc/VENDOR.md")
	assert [ -n "$table" ]
	folders=()
	while IFS= read -r row; do
		folder=$(sed 's/^| `\([^`]*\)` |.*/\1/' <<<"$row")
		folders+=("${folder%/}")
		for name in $(sed 's/^| `[^`]*` |//' <<<"$row" | grep -o '`[^`]*\.[a-z]*`' | tr -d '`'); do
			found=$(find "$top/kit/$folder" -path "*/$name" | head -n 1)
			[ -n "$found" ] || fail "$folder: no $name in the kit"
		done
	done <<<"$table"
	for dir in $(cd "$top/kit" && find . -type f -printf '%h\n' | sed 's|^\./||' | sort -u); do
		found=no
		for folder in "${folders[@]}"; do
			case $dir/ in "$folder"/*) found=yes ;; esac
		done
		assert_equal "$dir: $found" "$dir: yes"
	done
}

@test "the kit's README.md is the kit's: what is in it and where to start, nothing of Debian" {
	readme=$top/kit/doc/README.md
	run cmp -s "$readme" "$QEL_SOURCE/README.md"
	assert_failure
	run head -n 1 "$readme"
	assert_output "# qelcore $QEL_VERSION for Windows: the vendor's kit"
	run grep -inwE 'debian|apt-get|apt|root|sudo|scripts/[a-z-]*\.sh|build/(default|windows)' "$readme"
	assert_output ""
	# It names every folder of the kit, and the guide.
	for dir in $(cd "$top/kit" && find . -mindepth 1 -maxdepth 1 -type d -printf '%P\n'); do
		run grep -c "\`$dir/" "$readme"
		assert_success "$dir/ is not in README.md"
	done
	run grep -c '(VENDOR.md)' "$readme"
	assert_success
}

@test "qelcore.dll exports the header's functions and nothing else; qelcore.lib imports them from it" {
	run header_functions "$top/kit/include"
	assert_success
	functions=$output
	run bash -c 'x86_64-w64-mingw32-objdump -p "$1" |
		sed -n "/^\[Ordinal\/Name Pointer\] Table/,/^\$/s/^\s*\[ *[0-9]*\] //p" | LC_ALL=C sort' \
		_ "$top/kit/bin/qelcore.dll"
	assert_output "$functions"
	run bash -c 'sed -n "s/^    //p" "$1"' _ "$top/kit/lib/qelcore.def"
	assert_output "$functions"
	run sed -n 1p "$top/kit/lib/qelcore.def"
	assert_output "LIBRARY qelcore.dll"
	# Each function and its __imp_ pointer, from qelcore.dll.
	run bash -c 'llvm-nm-14 "$1" | awk "\$2 == \"T\" && \$3 !~ /^__imp_/ { print \$3 }" |
		LC_ALL=C sort' _ "$top/kit/lib/qelcore.lib"
	assert_output "$functions"
	run bash -c 'llvm-nm-14 "$1" | grep -c " T __imp_"' _ "$top/kit/lib/qelcore.lib"
	assert_output "$(wc -l <<<"$functions")"
	run bash -c 'llvm-nm-14 "$1" | grep -v "^$" | grep ":$" | sort -u' _ "$top/kit/lib/qelcore.lib"
	assert_output "qelcore.dll:"
}

@test "no file of either zip names a path of the build machine" {
	# The programs and archives too, libtomcrypt's and libtommath's
	# included; the dependencies were built below QEL_DEPS_PREFIX's
	# folder.
	run grep -rlF -e "$QEL_BUILD" -e "$QEL_SOURCE" -e "$QEL_DEPS_PREFIX" \
		-e "$(dirname "$QEL_DEPS_PREFIX")" -e "$(realpath "$QEL_DEPS_PREFIX")" \
		"$top/kit" "$top/customer"
	assert_output ""
}

@test "the programs and qelcore.dll import only Windows' own DLLs" {
	command -v x86_64-w64-mingw32-objdump >/dev/null || skip "no x86_64-w64-mingw32-objdump"
	for exe in customer/qelhostid.exe kit/bin/qelhostid.exe kit/bin/qelkeypair.exe \
		kit/bin/qellicense.exe kit/bin/qelcore.dll; do
		run bash -c 'x86_64-w64-mingw32-objdump -p "$1" | sed -n "s/^\s*DLL Name: //p" |
			tr A-Z a-z | grep -vxE "kernel32\.dll|msvcrt\.dll|advapi32\.dll|iphlpapi\.dll|ws2_32\.dll|user32\.dll|api-ms-win-.*\.dll"' \
			_ "$top/$exe"
		assert_equal "$exe: $output" "$exe: "
	done
}

@test "qelhostid.exe from the customer zip runs under Wine and writes its report" {
	run wine "$top/customer/qelhostid.exe"
	assert_success
	mapfile -t want < <(host_addresses)
	if [ "${#want[@]}" -eq 1 ]; then
		assert_output - <<-OUT
			"hostid": "${want[0]}",
			"os": "Windows"
			OUT
	else
		assert_output - <<-OUT
			"hostid": [
			$(printf '  "%s",\n' "${want[@]}" | sed '$s/,$//')
			],
			"os": "Windows"
			OUT
	fi
	assert_file_exists qelhostid.txt
	run cmp qelhostid.txt wine.out
	assert_success
}

@test "qelkeypair.exe from the kit made the keys" {
	assert_equal "$(cat "$top/keys/status")" 0
	run tr -d '\r' <"$top/keys/qelkeypair.out"
	assert_line --index 0 "generating keys..."
	assert_line --index 5 --regexp '^[0-9a-f]{64}$'
	assert_file_exists "$top/keys/qel_privkey.c"
	assert_file_exists "$top/keys/qel_pubkey.c"
}

@test "a C program links the kit through pkg-config --static alone" {
	export PKG_CONFIG_LIBDIR=$top/kit/lib/pkgconfig PKG_CONFIG_PATH=
	run pkg-config --static --libs-only-l qelcore
	assert_equal "$(xargs <<<"$output")" "-lqelcore -ltomcrypt -ltommath -liphlpapi -ladvapi32"
	# (Not -Wpedantic: with -I, libtomcrypt's headers would get it too.)
	# shellcheck disable=SC2046
	run x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Werror -static \
		$(pkg-config --cflags qelcore) -o check.exe \
		"$top/kit/doc/examples/check_license.c" "$top/keys/qel_pubkey.c" \
		$(pkg-config --static --libs qelcore)
	assert_success
	run wine "$BATS_TEST_TMPDIR/check.exe" "$top/lic/licence"
	assert_success
	assert_output "licence good"
}

# kit_build OUTPUT SOURCE COMPILER FLAGS...: builds a product against the
# kit with pkg-config alone.
kit_build() {
	local out=$1 source=$2 compiler=$3
	shift 3
	# shellcheck disable=SC2046
	PKG_CONFIG_LIBDIR=$top/kit/lib/pkgconfig PKG_CONFIG_PATH= "$compiler" "$@" -static \
		$(PKG_CONFIG_LIBDIR=$top/kit/lib/pkgconfig PKG_CONFIG_PATH= pkg-config --cflags qelcore) \
		-o "$out" "$source" \
		$(PKG_CONFIG_LIBDIR=$top/kit/lib/pkgconfig PKG_CONFIG_PATH= pkg-config --static --libs qelcore)
}

@test "the kit: the header's version and the library's agree, and are the build's" {
	run kit_build version.exe "$BATS_TEST_DIRNAME/consumer/version.c" \
		x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Wpedantic -Werror
	assert_success
	IFS=. read -r major minor patch <<<"$QEL_VERSION"
	number=$((major * 10000 + minor * 100 + patch))
	run wine "$BATS_TEST_TMPDIR/version.exe"
	assert_success
	assert_output - <<-OUT
		header $QEL_VERSION $QEL_VERSION $number
		library $QEL_VERSION $number
		OUT
}

@test "the kit's libqelcore.a: the header's functions are its only global functions" {
	run header_functions "$top/kit/include"
	assert_success
	assert_line sha256_hex
	functions=$output
	run defined_globals x86_64-w64-mingw32-nm "$top/kit/lib/libqelcore.a" T
	assert_success
	assert_output "$functions"
	# Besides them only mingw's pointers to the data of other libraries
	# (.refptr.NAME), in COMDAT sections that every object may define.
	others=$(LC_ALL=C comm -23 \
		<(defined_globals x86_64-w64-mingw32-nm "$top/kit/lib/libqelcore.a") \
		<(echo "$functions"))
	run grep -v '^\.refptr\.' <<<"$others"
	assert_output ""
}

@test "the kit: a C++ product with functions named like the library's own links and lists the addresses" {
	run kit_build own_names.exe "$BATS_TEST_DIRNAME/consumer/own_names.cpp" \
		x86_64-w64-mingw32-g++-posix -std=c++20 -Wall -Wextra -Wpedantic -Werror
	assert_success
	x86_64-w64-mingw32-g++-posix -std=c++20 -I"$top/kit/include" -c -o own_names.o \
		"$BATS_TEST_DIRNAME/consumer/own_names.cpp"
	mapfile -t names < <(link_names x86_64-w64-mingw32-nm own_names.o \
		error_set str_format mem_calloc file_open)
	assert_equal "${#names[@]}" 4
	for name in "${names[@]}"; do
		run bash -c 'x86_64-w64-mingw32-nm "$1" | awk -v n="$2" "\$3 == n { print \$2 }"' _ \
			"$top/kit/lib/libqelcore.a" "$name"
		assert_equal "$name: $output" "$name: t"
	done
	run wine "$BATS_TEST_TMPDIR/own_names.exe"
	assert_success
	assert_output "$(host_addresses)"
}

@test "the kit: a product that uses libtomcrypt's ltm_desc itself makes keys with the library" {
	run kit_build keys.exe "$BATS_TEST_DIRNAME/consumer/keys_tomcrypt.c" \
		x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Werror
	assert_success
	run wine "$BATS_TEST_TMPDIR/keys.exe"
	assert_success
	assert_line --index 5 --regexp '^[0-9a-f]{64}$'
	assert_file_exists qel_privkey.c
	assert_file_exists qel_pubkey.c
}

@test "THIRD-PARTY-NOTICES.txt: what each program contains, and each notice" {
	# notices file | programs | archives
	while IFS='|' read -r notices programs archives; do
		text=$(tr -d '\r' <"$top/$notices")
		# The files listed, before the first notice.
		run bash -c 'sed -n "1,/^---/s/^  \([^ ]*\)  .*/\1/p" | sort | xargs' <<<"$text"
		assert_equal "$notices: $output" "$notices: $(xargs -n1 <<<"$programs $archives" | sort | xargs)"
		for exe in $programs; do
			symbols=$(x86_64-w64-mingw32-nm "$QEL_BUILD/$exe")
			listed=$(sed -n "s/^  ${exe//./\\.}  *//p" <<<"$text")
			# symbol | component | listed only with the symbol
			while IFS='|' read -r symbol component only; do
				if grep -qE " $symbol\$" <<<"$symbols"; then
					assert_regex "$notices $exe: $listed" "(: |, )$component(,|\$)"
					run grep -x -e "$component" -e "$component: .*" <<<"$text"
					assert_success
				elif [ "$only" = yes ]; then
					refute_regex "$notices $exe: $listed" "(: |, )$component(,|\$)"
				fi
			done <<-'TABLE'
				T main|qelcore|no
				T qel_version_string|qelcore|no
				T __mingw_pformat|mingw-w64|yes
				T ___chkstk_ms|gcc-runtime|no
				T crypt_argchk|libtomcrypt|yes
				T mp_init|libtommath|yes
				T pthread_create|winpthreads|yes
			TABLE
		done
		# mingw's printf converts numbers with David M. Gay's code, whose
		# notice must go with the program.
		if x86_64-w64-mingw32-nm "$QEL_BUILD/qelhostid.exe" | grep -q ' T __gdtoa$'; then
			assert_regex "$text" "Copyright \(C\) 1997-2001 Lucent Technologies"
		fi
	done <<-'TABLE'
		customer/THIRD-PARTY-NOTICES.txt|qelhostid.exe|
		kit/doc/THIRD-PARTY-NOTICES.txt|qelhostid.exe qelkeypair.exe qellicense.exe qelcore.dll|libqelcore.a libtomcrypt.a libtommath.a
	TABLE
}
