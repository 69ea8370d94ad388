#!/usr/bin/env bash
# The Debian package: cpack makes it from the build, it holds the programs,
# the manual pages and the docs (and no development files), declares the
# runtime libraries it needs, installs with dpkg, and then both programs
# run from the PATH. The package is purged at the end, pass or fail.
#
# Needs root; exits 77 (skipped) otherwise. Refuses to run when a package
# named qelcore is installed already, rather than replace it.
#
# usage: deb_test.sh BUILD_DIR [CPACK]
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../cli/lib.sh"
build=$1
cpack=${2:-cpack}

if [ "$(id -u)" -ne 0 ]; then
	echo "skipped: installing a package needs root"
	exit 77
fi
pkg_status() { dpkg-query -W -f='${db:Status-Abbrev}' qelcore 2>/dev/null; }
if [[ "$(pkg_status)" == [ih]* ]]; then
	echo "a package named qelcore is installed already: not touching it"
	exit 1
fi

installed=0
cleanup() {
	[ "$installed" = 1 ] && dpkg -P qelcore >/dev/null 2>&1
	rm -rf "$scratch_root"
}
trap cleanup EXIT

make_package DEB deb
deb=$package

# The control fields.
while IFS='|' read -r field want; do
	expect_eq "control: $field" "$want" "$(dpkg-deb -f "$deb" "$field")"
done <<TABLE
Package|qelcore
Version|0.1.0
Architecture|$(dpkg --print-architecture)
Section|utils
TABLE
depends=$(dpkg-deb -f "$deb" Depends)
if readelf -d "$build/qelhostid" | grep -q NEEDED; then
	for lib in libc6 libtomcrypt1 libtommath1; do
		expect_eq "depends on $lib" yes \
			"$(printf '%s\n' "$depends" | tr ',' '\n' | grep -q "^ *$lib\b" && echo yes || echo no)"
	done
else
	expect_eq "static programs depend on nothing" "" "$depends"
fi

# The contents: programs, manual pages, docs; nothing to build with.
contents=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
for f in \
	./usr/bin/qelhostid ./usr/bin/qelkeypair \
	./usr/share/man/man1/qelhostid.1 ./usr/share/man/man1/qelkeypair.1 \
	./usr/share/doc/qelcore/README.md ./usr/share/doc/qelcore/VENDOR.md \
	./usr/share/doc/qelcore/examples/check_license.c \
	./usr/share/doc/qelcore/examples/sign_license.c \
	./usr/share/doc/qelcore/examples/Makefile
do
	expect_eq "package holds $f" yes "$(grep -qxF "$f" <<<"$contents" && echo yes || echo no)"
done
expect_eq "package holds no library, header or CMake package" "" \
	"$(grep -E '^\./usr/(lib|include)/' <<<"$contents")"

# Installed, the programs run from the PATH.
installed=1
dpkg -i "$deb" >dpkg.log 2>&1
expect_eq "dpkg -i" "0" "$?"
expect_eq "package state" "ii " "$(pkg_status)"

export PATH=/usr/sbin:/usr/bin:/sbin:/bin
for p in qelhostid qelkeypair; do
	expect_eq "$p on the PATH" "/usr/bin/$p" "$(command -v $p)"
done
expect_eq "man finds qelhostid(1)" /usr/share/man/man1/qelhostid.1 "$(man -w qelhostid 2>&1)"
expect_eq "man finds qelkeypair(1)" /usr/share/man/man1/qelkeypair.1 "$(man -w qelkeypair 2>&1)"

new_scratch
qelhostid --x >out 2>err
expect_eq "qelhostid --x: exit" 1 "$?"
expect_eq "qelhostid --x: usage" $'Usage: qelhostid\nPrint host ID on stdout.' "$(cat err)"

# One link of a known address, in a network namespace of its own.
unshare -n bash -c 'set -e
ip link add v0 type veth peer name v1
ip link set v0 address 02:00:00:00:00:01
ip link set v1 address 02:00:00:00:00:01
exec qelhostid' >out 2>err
expect_eq "qelhostid: exit" 0 "$?"
report=$'"hostid": "02:00:00:00:00:01",\n"os": "Linux"'
expect_eq "qelhostid: report" "$report" "$(cat out)"
expect_eq "qelhostid: report saved" "$report" "$(cat qelhostid.txt)"

new_scratch
qelkeypair >out 2>err
expect_eq "qelkeypair: exit" 0 "$?"
expect_eq "qelkeypair: stderr" "" "$(cat err)"
expect_eq "qelkeypair: output" yes \
	"$(sed -n 6p out | grep -qxE '[0-9a-f]{64}' && [ "$(wc -l <out)" = 6 ] && echo yes || echo no)"
expect_eq "qelkeypair: private key file, owner only" 600 "$(stat -c %a qel_privkey.c 2>&1)"
expect_eq "qelkeypair: public key file" yes "$([ -s qel_pubkey.c ] && echo yes || echo no)"

# Purged, nothing is left.
dpkg -P qelcore >dpkg.log 2>&1
expect_eq "dpkg -P" "0" "$?"
installed=0
expect_eq "package gone" no "$([[ "$(pkg_status)" == [ih]* ]] && echo yes || echo no)"
for f in /usr/bin/qelhostid /usr/bin/qelkeypair /usr/share/man/man1/qelhostid.1 /usr/share/doc/qelcore; do
	expect_eq "removed: $f" no "$([ -e "$f" ] && echo yes || echo no)"
done

finish
