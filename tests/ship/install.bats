#!/usr/bin/env bats
# cmake --install into a scratch prefix, the tree then moved (so a path of
# the first place left in a file would show): the files land where they
# belong, only the public header is installed, the installed programs run,
# and a product (consumer/) builds with -Wall -Wextra -Werror and runs
# against the installed qelcore, as C99 and as C++, through the CMake
# package and through pkg-config, listing the same addresses as qelhostid.
# The header's version is the library's; the library's only global symbols
# are the header's functions, so a C++ product with functions of its own
# named like the library's internal ones links and works.
#
# Environment: QEL_BUILD (the build directory); QEL_LIBDIR (its library
# folder below the prefix: lib, or Debian's multiarch one); CC and CXX;
# QEL_CFLAGS, QEL_CXXFLAGS, QEL_LDFLAGS (the sanitizer build's flags, for
# the consumers).

setup_file() {
	prefix=$BATS_FILE_TMPDIR/prefix
	export prefix first=$BATS_FILE_TMPDIR/first
	cmake --install "$QEL_BUILD" --prefix "$first" >"$BATS_FILE_TMPDIR/install.log" 2>&1
	mv "$first" "$prefix"
	export PKG_CONFIG_PATH=$prefix/$QEL_LIBDIR/pkgconfig
	consumer=$BATS_TEST_DIRNAME/consumer
	export consumer
	# The consumer's first line, then the addresses qelhostid reports.
	(cd "$BATS_FILE_TMPDIR" && "$prefix/bin/qelhostid" >qelhostid.out)
	expected=$(printf 'sha256 abc: %s\n' \
		ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad
		grep -oE '[0-9a-f]{2}(:[0-9a-f]{2}){5}' "$BATS_FILE_TMPDIR/qelhostid.out")
	export expected
}

setup() {
	bats_load_library bats-support
	bats_load_library bats-assert
	bats_load_library bats-file
	load symbols
	cd "$BATS_TEST_TMPDIR" || exit 1
}

@test "the files land where they belong" {
	for f in \
		bin/qelhostid bin/qelkeypair bin/qellicense \
		"$QEL_LIBDIR/libqelcore.a" include/qel/qelcore.h \
		"$QEL_LIBDIR/cmake/qelcore/qelcore-config.cmake" \
		"$QEL_LIBDIR/cmake/qelcore/qelcore-config-version.cmake" \
		"$QEL_LIBDIR/cmake/qelcore/qelcore-targets.cmake" \
		"$QEL_LIBDIR/pkgconfig/qelcore.pc" \
		share/man/man1/qelhostid.1.gz share/man/man1/qelkeypair.1.gz \
		share/man/man1/qellicense.1.gz \
		share/doc/qelkeypair/README.md share/doc/qelkeypair/VENDOR.md \
		share/doc/qelkeypair/LICENCE-FORMAT.md \
		share/doc/qelkeypair/examples/check_license.c \
		share/doc/qelkeypair/examples/Makefile \
		share/doc/qelhostid/copyright share/doc/qelkeypair/copyright \
		share/doc/libqelcore-dev/copyright \
		share/doc/qelhostid/THIRD-PARTY-NOTICES share/doc/qelkeypair/THIRD-PARTY-NOTICES \
		share/doc/libqelcore-dev/THIRD-PARTY-NOTICES \
		share/lintian/overrides/qelhostid share/lintian/overrides/qelkeypair \
		share/lintian/overrides/libqelcore-dev
	do
		assert_file_exists "$prefix/$f"
	done
	assert_file_executable "$prefix/bin/qelhostid"
	assert_file_executable "$prefix/bin/qelkeypair"
	assert_file_executable "$prefix/bin/qellicense"
	assert_file_not_exists "$prefix/share/doc/qelkeypair/examples/sign_license.c"
}

@test "the public header is the only header installed" {
	run find "$prefix" -name '*.h' -printf '%P\n'
	assert_success
	assert_output include/qel/qelcore.h
}

@test "no path of the first place is left in a file" {
	run grep -rl "$first" "$prefix"
	assert_output ""
}

@test "the installed programs run" {
	for p in qelhostid qelkeypair; do
		run "$prefix/bin/$p" x
		assert_failure 1
		assert_line --index 0 "Usage: $prefix/bin/$p"
	done
	run "$prefix/bin/qellicense" x
	assert_failure 1
	assert_line --index 0 "$prefix/bin/qellicense: error: unknown command 'x'"
	assert_line --index 1 --partial "Usage: $prefix/bin/qellicense issue "
}

@test "pkg-config: version, include directory and libraries" {
	run pkg-config --modversion qelcore
	assert_output 0.1.0
	# The paths come relative to the .pc file, with "..": compared resolved.
	run pkg-config --cflags qelcore
	assert_success
	read -ra flags <<<"$output"
	assert_equal "${#flags[@]}" 1
	assert_equal "$(realpath -m "${flags[0]#-I}")" "$prefix/include"
	run pkg-config --libs qelcore
	assert_output --partial -lqelcore
	refute_output --partial -ltomcrypt
	run pkg-config --static --libs-only-l qelcore
	assert_equal "$(xargs <<<"$output")" "-lqelcore -ltomcrypt -ltommath"
}

@test "the header's version and the library's agree, and are the package's" {
	IFS=. read -r major minor patch <<<"$(pkg-config --modversion qelcore)"
	# shellcheck disable=SC2046
	"${CC:-cc}" -std=c99 -Wall -Wextra -Werror ${QEL_CFLAGS:-} $(pkg-config --cflags qelcore) \
		-o version "$consumer/version.c" ${QEL_LDFLAGS:-} $(pkg-config --static --libs qelcore)
	run ./version
	assert_success
	number=$((major * 10000 + minor * 100 + patch))
	assert_output - <<-OUT
		header $major.$minor.$patch $major.$minor.$patch $number
		library $major.$minor.$patch $number
		OUT
}

@test "the header compiles alone as C99 and as C++, without <tomcrypt.h>" {
	printf '#include <qel/qelcore.h>\n' >one.c
	# compiler | flags
	while read -r compiler flags; do
		# shellcheck disable=SC2086,SC2046
		run "$compiler" $flags -Wall -Wextra -Wpedantic -Werror -H -fsyntax-only \
			$(pkg-config --cflags qelcore) one.c
		assert_success
		assert_line --regexp '^\. .*/include/qel/qelcore\.h$'
		refute_line --partial tomcrypt.h
		refute_line --partial tommath.h
	done <<-TABLE
		${CC:-cc} -std=c99
		${CXX:-c++} -x c++ -std=c++11
		${CXX:-c++} -x c++ -std=c++20
	TABLE
}

@test "a product through the CMake package, as C and as C++" {
	for lang in C CXX; do
		run cmake -S "$consumer" -B "with-cmake-$lang" \
			-DCONSUMER_LANGUAGE=$lang \
			-DCMAKE_BUILD_TYPE=Release \
			-DCMAKE_C_COMPILER="${CC:-cc}" -DCMAKE_CXX_COMPILER="${CXX:-c++}" \
			-DCMAKE_C_FLAGS="${QEL_CFLAGS:-}" -DCMAKE_CXX_FLAGS="${QEL_CXXFLAGS:-}" \
			-DCMAKE_EXE_LINKER_FLAGS="${QEL_LDFLAGS:-}" \
			-DCMAKE_PREFIX_PATH="$prefix" \
			-DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON
		assert_success
		run grep '^qelcore_DIR:' "with-cmake-$lang/CMakeCache.txt"
		assert_output "qelcore_DIR:PATH=$prefix/$QEL_LIBDIR/cmake/qelcore"
		run cmake --build "with-cmake-$lang"
		assert_success
		run "./with-cmake-$lang/consumer"
		assert_success
		assert_output "$expected"
	done
}

@test "a product through pkg-config --static, as C and as C++" {
	# compiler | source | flags
	while read -r compiler source flags; do
		# shellcheck disable=SC2086,SC2046
		run "$compiler" $flags -Wall -Wextra -Wpedantic -Werror \
			$(pkg-config --cflags qelcore) -o product "$consumer/$source" \
			${QEL_LDFLAGS:-} $(pkg-config --static --libs qelcore)
		assert_success
		run ./product
		assert_success
		assert_output "$expected"
	done <<-TABLE
		${CC:-cc} consumer.c -std=c99 ${QEL_CFLAGS:-}
		${CXX:-c++} consumer.cpp -std=c++20 ${QEL_CXXFLAGS:-}
	TABLE
}

@test "the library's only global symbols are the header's functions" {
	run header_functions "$prefix/include"
	assert_success
	assert_line sha256_hex
	assert_line hostid_list_get_sorted
	functions=$output
	run defined_globals nm "$prefix/$QEL_LIBDIR/libqelcore.a"
	assert_success
	assert_output "$functions"
}

@test "a C++ product with functions named like the library's own links and lists the addresses" {
	# error_set and str_format would clash at the link, a product's
	# mem_calloc and file_open would replace the library's.
	# shellcheck disable=SC2046
	run "${CXX:-c++}" -std=c++20 -Wall -Wextra -Wpedantic -Werror ${QEL_CXXFLAGS:-} \
		$(pkg-config --cflags qelcore) -o own_names "$consumer/own_names.cpp" \
		${QEL_LDFLAGS:-} $(pkg-config --static --libs qelcore)
	assert_success
	# The product's names are the link names of functions in the library.
	"${CXX:-c++}" -std=c++20 ${QEL_CXXFLAGS:-} $(pkg-config --cflags qelcore) \
		-c -o own_names.o "$consumer/own_names.cpp"
	mapfile -t names < <(link_names nm own_names.o error_set str_format mem_calloc file_open)
	assert_equal "${#names[@]}" 4
	for name in "${names[@]}"; do
		run bash -c 'nm "$1" | awk -v n="$2" "\$3 == n { print \$2 }"' _ \
			"$prefix/$QEL_LIBDIR/libqelcore.a" "$name"
		assert_equal "$name: $output" "$name: t"
	done
	run ./own_names
	assert_success
	assert_output "$(sed 1d <<<"$expected")"
}

@test "a product lists the same addresses as qelhostid, in a namespace of known links" {
	[ "$(id -u)" -eq 0 ] || skip "needs root: network namespaces"
	# shellcheck disable=SC2046
	"${CC:-cc}" -std=c99 ${QEL_CFLAGS:-} $(pkg-config --cflags qelcore) -o product \
		"$consumer/consumer.c" ${QEL_LDFLAGS:-} $(pkg-config --static --libs qelcore)
	run unshare -n bash -c 'set -e
		ip link add v0 type veth peer name v1
		ip link set v0 address 02:00:00:00:00:02
		ip link set v1 address 02:00:00:00:00:01
		ip link add v2 type veth peer name v3
		ip link set v2 address 02:00:00:00:00:01
		ip link set v3 address 02:00:00:00:00:02
		"$1/bin/qelhostid"
		./product' _ "$prefix"
	assert_success
	assert_output - <<-'OUT'
		"hostid": [
		  "02:00:00:00:00:01",
		  "02:00:00:00:00:02"
		],
		"os": "Linux"
		sha256 abc: ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad
		02:00:00:00:00:01
		02:00:00:00:00:02
		OUT
}
