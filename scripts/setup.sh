#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test qelcore,
# natively and for Windows. Idempotent; silent when everything is there.
# Of mingw-w64 only the 64-bit compilers of the posix thread model, the
# ones the cross build uses: the whole of mingw-w64 is three times as much
# to fetch and unpack. Visual C++'s stand-in in the tests is clang-cl
# (clang-tools-14) with lld-link (lld-14) on Wine's headers and libraries
# (libwine-dev); llvm's llvm-dlltool makes the DLL's import library.
set -euo pipefail

packages=(
	gcc g++ make cmake pkg-config
	libtomcrypt-dev libtommath-dev
	libgtest-dev googletest
	libssl-dev openssl python3-cryptography python3-cryptography-vectors
	iproute2 util-linux valgrind
	g++-mingw-w64-x86-64-posix wine64 dpkg-dev mandoc man-db lintian strace
	bats bats-support bats-assert bats-file nettle-dev
	libbenchmark-dev python3
	clang clang-tidy cppcheck libclang-rt-14-dev llvm
	clang-tools-14 lld-14 libwine-dev osslsigncode zip unzip
)

missing=()
for p in "${packages[@]}"; do
	if ! dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii'; then
		missing+=("$p")
	fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
	echo "setup: need root to install: ${missing[*]}" >&2
	exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
