#!/bin/bash
# Builds libtommath and libtomcrypt for 64-bit Windows (x86_64-w64-mingw32)
# from Debian's own source packages, at the same versions as the libraries the
# native build links, into a cache prefix:
#
#   $QEL_DEPS_DIR/include/{tommath.h,tomcrypt*.h}
#   $QEL_DEPS_DIR/lib/{libtommath.a,libtomcrypt.a}
#   $QEL_DEPS_DIR/stamp
#
# QEL_DEPS_DIR defaults to <repo>/.deps/windows. The stamp records the source
# package versions and the recipe; when it matches, the script does nothing
# and prints nothing. The cross compiler comes from scripts/setup.sh; this
# script installs only dpkg-dev, for apt-get source, when it is missing.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix=${QEL_DEPS_DIR:-$repo/.deps/windows}
host=x86_64-w64-mingw32
# The posix thread model, as in cmake/toolchain-mingw-w64-x86_64.cmake.
cc=$host-gcc-posix
# Debian builds with -O2 too (its CFLAGS come after upstream's -O3).
# IGNORE_SPEED drops upstream's -O3 -funroll-loops -fomit-frame-pointer.
tommath_cflags="-O2"
tomcrypt_cflags="-O2 -DLTM_DESC -DUSE_LTM"
recipe=1

die() {
	echo "build-windows-deps: $*" >&2
	exit 1
}

# The source version of a -dev package: the installed one (what the native
# build links), or else the one apt would install.
source_version() {
	local pkg=$1 ver
	ver=$(dpkg-query -W -f='${db:Status-Abbrev} ${source:Version}' "$pkg" 2>/dev/null |
		awk '$1 == "ii" { print $2 }')
	if [ -z "$ver" ]; then
		ver=$(LC_ALL=C apt-cache policy "$pkg" | awk '$1 == "Candidate:" { print $2 }')
	fi
	if [ -z "$ver" ] || [ "$ver" = "(none)" ]; then
		die "no version of $pkg is known to apt"
	fi
	echo "$ver"
}

tomcrypt_ver=$(source_version libtomcrypt-dev)
tommath_ver=$(source_version libtommath-dev)

command -v "$cc" >/dev/null || die "$cc not found (scripts/setup.sh installs mingw-w64)"

stamp_text() {
	cat <<-EOF
		libtomcrypt $tomcrypt_ver
		libtommath $tommath_ver
		host $host
		compiler $("$cc" -dumpfullversion) $(dpkg-query -W -f='${Version}' "gcc-mingw-w64-x86-64-posix" 2>/dev/null || true)
		cflags tommath $tommath_cflags
		cflags tomcrypt $tomcrypt_cflags
		recipe $recipe
	EOF
}
want=$(stamp_text)

if [ -f "$prefix/stamp" ] && [ "$(cat "$prefix/stamp")" = "$want" ] &&
	[ -f "$prefix/lib/libtommath.a" ] && [ -f "$prefix/lib/libtomcrypt.a" ] &&
	[ -f "$prefix/include/tommath.h" ] && [ -f "$prefix/include/tomcrypt.h" ]; then
	exit 0
fi

start=$SECONDS
echo "build-windows-deps: libtomcrypt $tomcrypt_ver, libtommath $tommath_ver for $host into $prefix"

as_root() {
	[ "$(id -u)" = 0 ] || die "$* needs root"
	"$@"
}

# Writes deb-src twins of the machine's enabled binary sources, so that no
# repository address is ever written by hand. deb822 stanzas (*.sources) and
# one-line entries (sources.list, *.list) are handled alike.
add_deb_src() {
	local dir list f stanzas="" lines=""
	eval "$(apt-config shell dir Dir::Etc::sourceparts/d list Dir::Etc::sourcelist/f)"
	dir=${dir%/}
	for f in "$dir"/*.sources; do
		[ -f "$f" ] || continue
		case $f in "$dir"/qel-deb-src.sources) continue ;; esac
		stanzas+=$(awk 'BEGIN { RS = ""; ORS = "\n\n" }
			{
				n = split($0, line, "\n")
				types = ""; enabled = "yes"
				for (i = 1; i <= n; i++) {
					if (line[i] ~ /^[Tt]ypes:/) { types = line[i]; sub(/^[^:]*:/, "", types) }
					if (line[i] ~ /^[Ee]nabled:[ \t]*[Nn][Oo]/) enabled = "no"
				}
				if (enabled == "no" || types !~ /(^|[ \t])deb([ \t]|$)/ || types ~ /deb-src/) next
				out = "Types: deb-src"
				for (i = 1; i <= n; i++)
					if (line[i] !~ /^#/ && line[i] !~ /^[Tt]ypes:/) out = out "\n" line[i]
				print out
			}' "$f")
		stanzas+=$'\n\n'
	done
	for f in "$list" "$dir"/*.list; do
		[ -f "$f" ] || continue
		case $f in "$dir"/qel-deb-src.list) continue ;; esac
		lines+=$(sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f")
		lines+=$'\n'
	done
	stanzas=$(printf '%s' "$stanzas" | sed '/./,$!d')
	lines=$(printf '%s' "$lines" | sed '/^$/d')
	[ -n "$stanzas$lines" ] || die "no binary apt source to derive a deb-src entry from"
	if [ -n "$stanzas" ]; then
		printf '%s\n' "$stanzas" | as_root tee "$dir/qel-deb-src.sources" >/dev/null
	fi
	if [ -n "$lines" ]; then
		printf '%s\n' "$lines" | as_root tee "$dir/qel-deb-src.list" >/dev/null
	fi
	as_root apt-get update -qq
}

have_source() {
	LC_ALL=C apt-cache showsrc "$1" 2>/dev/null | grep -qx "Version: $2"
}

if ! have_source libtomcrypt "$tomcrypt_ver" || ! have_source libtommath "$tommath_ver"; then
	echo "build-windows-deps: adding deb-src entries derived from the apt sources"
	add_deb_src
	have_source libtomcrypt "$tomcrypt_ver" || die "apt has no source for libtomcrypt $tomcrypt_ver"
	have_source libtommath "$tommath_ver" || die "apt has no source for libtommath $tommath_ver"
fi

if ! command -v dpkg-source >/dev/null; then
	echo "build-windows-deps: installing dpkg-dev for apt-get source"
	as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends dpkg-dev >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qel-windows-deps.XXXXXX")
stage=""
cleanup() {
	rm -rf "$work"
	if [ -n "$stage" ]; then rm -rf "$stage"; fi
}
trap cleanup EXIT
log=$work/build.log

# Runs a step with its output in the log, shown only when the step fails.
step() {
	if ! "$@" >>"$log" 2>&1; then
		tail -n 40 "$log" >&2
		die "failed: $*"
	fi
}

# apt-get source downloads as the _apt user, which cannot write into a
# private mktemp directory; give it one of its own.
mkdir "$work/src"
if [ "$(id -u)" = 0 ] && id _apt >/dev/null 2>&1; then
	chown _apt "$work/src"
fi
(cd "$work/src" && step apt-get source -q --only-source \
	"libtomcrypt=$tomcrypt_ver" "libtommath=$tommath_ver")
# apt-get source has applied Debian's patches (dpkg-source -x).
tomcrypt_src=$(echo "$work"/src/libtomcrypt-*/)
tommath_src=$(echo "$work"/src/libtommath-*/)
if [ ! -f "$tomcrypt_src/makefile" ] || [ ! -f "$tommath_src/makefile" ]; then
	die "unexpected layout of the unpacked sources"
fi

mkdir -p "$(dirname "$prefix")"
stage=$(mktemp -d "$prefix.new.XXXXXX")
mkdir "$stage/include" "$stage/lib"
jobs=$(nproc)
tools=(CC="$cc" AR="$host-ar" RANLIB="$host-ranlib" IGNORE_SPEED=1)

step make -C "$tommath_src" -j"$jobs" "${tools[@]}" CFLAGS="$tommath_cflags" libtommath.a
install -m 644 "$tommath_src/libtommath.a" "$stage/lib/"
install -m 644 "$tommath_src/tommath.h" "$stage/include/"

# Only the library target: the default one builds the tests and demos too.
# EXTRALIBS is set so the makefile does not ask pkg-config for the host's
# libtommath.
step make -C "$tomcrypt_src" -j"$jobs" "${tools[@]}" \
	CFLAGS="$tomcrypt_cflags -I$stage/include" EXTRALIBS="$stage/lib/libtommath.a" libtomcrypt.a
install -m 644 "$tomcrypt_src/libtomcrypt.a" "$stage/lib/"
install -m 644 "$tomcrypt_src"/src/headers/tomcrypt*.h "$stage/include/"

printf '%s\n' "$want" >"$stage/stamp"
chmod 755 "$stage"
rm -rf "$prefix"
mv "$stage" "$prefix"
stage=""
echo "build-windows-deps: done in $((SECONDS - start)) s"
