#!/usr/bin/env bash
# cmake --install into a scratch prefix: the files land where they belong,
# the installed programs run, every installed header compiles on its own,
# and a small program (consumer/) builds and runs against the installed
# qelcore twice, once through the CMake package and once through
# pkg-config. The tree is moved after installing, so a path of the first
# place left in a file would show.
#
# usage: install_test.sh BUILD_DIR CXX [CXXFLAGS [LDFLAGS]]
# CXXFLAGS and LDFLAGS are those the library was built with (the sanitizer
# build's), for the consumers.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../cli/lib.sh"
build=$1
cxx=$2
cxxflags=${3:-}
ldflags=${4:-}

new_scratch
cmake --install "$build" --prefix "$scratch/first" >install.log 2>&1
expect_eq "cmake --install" "0" "$?"
mv "$scratch/first" "$scratch/prefix"
prefix=$scratch/prefix

# Where everything goes.
for f in \
	bin/qelhostid bin/qelkeypair \
	lib/libqelcore.a \
	include/qel/core/error.h include/qel/core/sha256.h \
	include/qel/hostid/report.h include/qel/keys/keypair.h include/qel/keys/generate.h \
	lib/cmake/qelcore/qelcore-config.cmake lib/cmake/qelcore/qelcore-config-version.cmake \
	lib/cmake/qelcore/qelcore-targets.cmake \
	lib/pkgconfig/qelcore.pc \
	share/man/man1/qelhostid.1 share/man/man1/qelkeypair.1 \
	share/doc/qelcore/README.md share/doc/qelcore/VENDOR.md \
	share/doc/qelcore/examples/check_license.c share/doc/qelcore/examples/sign_license.c \
	share/doc/qelcore/examples/Makefile
do
	expect_eq "installed: $f" "yes" "$([ -f "$prefix/$f" ] && echo yes || echo no)"
done
for p in qelhostid qelkeypair; do
	expect_eq "installed: $p is executable" "yes" "$([ -x "$prefix/bin/$p" ] && echo yes || echo no)"
done

# Every header of the source tree is installed, and nothing else is.
src=$(cd "$here/../.." && pwd)
want=$(cd "$src" && ls core/*.h hostid/*.h keys/*.h | sort)
got=$(cd "$prefix/include/qel" && find . -type f | sed 's|^\./||' | sort)
expect_eq "installed headers are the source headers" "$want" "$got"

expect_eq "no path of the first place is left in a file" "" \
	"$(grep -rl "$scratch/first" "$prefix" 2>/dev/null)"

# The installed programs run (their usage text; the runs themselves are
# the command-line suites' business).
for p in qelhostid qelkeypair; do
	"$prefix/bin/$p" x >/dev/null 2>"$p.err"
	expect_eq "installed $p with an argument: exit" 1 "$?"
	expect_eq "installed $p with an argument: usage" "Usage: $prefix/bin/$p" "$(head -1 "$p.err")"
done

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
expect_eq "pkg-config: version" "0.1.0" "$(pkg-config --modversion qelcore 2>&1)"
# (The paths come relative to the .pc file, with "..": compared resolved.)
resolved() { for a in "$@"; do realpath -m "${a:2}"; done; }
expect_eq "pkg-config: include directory" "$prefix/include/qel" \
	"$(resolved $(pkg-config --cflags-only-I qelcore) | grep -xF "$prefix/include/qel")"
expect_eq "pkg-config: LTM_DESC" "-DLTM_DESC" \
	"$(pkg-config --cflags-only-other qelcore | xargs -n1 | grep -x -- -DLTM_DESC)"
expect_eq "pkg-config: library directory" "$prefix/lib" \
	"$(resolved $(pkg-config --libs-only-L qelcore) | grep -xF "$prefix/lib")"
libs=$(pkg-config --libs-only-l qelcore 2>&1)
for l in -lqelcore -ltomcrypt -ltommath; do
	expect_eq "pkg-config: libs have $l" "yes" \
		"$(printf '%s\n' $libs | grep -qxF -- "$l" && echo yes || echo no)"
done

# Each installed header compiles on its own, with only the flags that
# pkg-config gives.
# shellcheck disable=SC2046
for h in $got; do
	printf '#include "%s"\n' "$h" >one.cpp
	"$cxx" -std=c++20 -Wall -Wextra -Wpedantic -Werror -fsyntax-only \
		$(pkg-config --cflags qelcore) one.cpp >one.err 2>&1
	expect_eq "header $h compiles alone" "0 " "$? $(cat one.err)"
done

consumer_out=$'sha256 abc: ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad
"hostid": [
  "00:11:22:33:44:55",
  "00:11:22:33:44:66"
],
"os": "Linux"
key pair: ok'

# Through the CMake package.
# shellcheck disable=SC2086
cmake -S "$here/consumer" -B with-cmake \
	-DCMAKE_BUILD_TYPE=Release \
	-DCMAKE_CXX_COMPILER="$cxx" \
	-DCMAKE_CXX_FLAGS="$cxxflags" \
	-DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
	-DCMAKE_PREFIX_PATH="$prefix" \
	-DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON >cmake.log 2>&1 &&
	cmake --build with-cmake >>cmake.log 2>&1
status=$?
expect_eq "consumer through the CMake package builds" 0 "$status"
[ "$status" -eq 0 ] || cat cmake.log
expect_eq "the CMake package found is the installed one" "qelcore_DIR:PATH=$prefix/lib/cmake/qelcore" \
	"$(grep '^qelcore_DIR:' with-cmake/CMakeCache.txt)"
expect_eq "consumer through the CMake package runs" "$consumer_out" "$(./with-cmake/consumer 2>&1)"

# Through pkg-config.
# shellcheck disable=SC2046,SC2086
"$cxx" -std=c++20 -Wall -Wextra -Wpedantic -Werror $cxxflags \
	$(pkg-config --cflags qelcore) -o with-pkg-config "$here/consumer/main.cpp" \
	$ldflags $(pkg-config --libs qelcore) >pc.log 2>&1
expect_eq "consumer through pkg-config builds" "0 " "$? $(cat pc.log)"
expect_eq "consumer through pkg-config runs" "$consumer_out" "$(./with-pkg-config 2>&1)"

finish
