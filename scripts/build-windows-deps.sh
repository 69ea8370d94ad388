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
# and prints nothing.
#
#   build-windows-deps.sh --source DIR
#
# only fetches the two source packages, Debian's patches applied, into DIR
# (which must not exist) and stops: the sources the archives are built
# from, for a build of one's own (with Visual C++, say).
#
# What it writes: the prefix, and while it runs its work folders beside it
# ($QEL_DEPS_DIR.apt, $QEL_DEPS_DIR.work.*, $QEL_DEPS_DIR.new.*, removed at
# the end); with --source, DIR. Nothing else: it installs nothing, needs no
# root, and leaves the machine's apt configuration, lists and caches alone.
# apt fetches the source packages with a configuration of its own in
# $QEL_DEPS_DIR.apt: deb-src entries derived from the machine's binary apt
# sources (no repository address is written by hand), its own lists and
# cache, and none of the machine's update hooks. The cross compiler and
# dpkg-dev (dpkg-source, for apt-get source) come from scripts/setup.sh.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix=${QEL_DEPS_DIR:-$repo/.deps/windows}
prefix=${prefix%/}
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

source_dir=""
case ${1:-} in
"") ;;
--source)
	[ $# -eq 2 ] || die "usage: build-windows-deps.sh [--source DIR]"
	source_dir=$2
	[ ! -e "$source_dir" ] || die "$source_dir exists"
	;;
*) die "usage: build-windows-deps.sh [--source DIR]" ;;
esac

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

command -v dpkg-source >/dev/null || die "dpkg-source not found (scripts/setup.sh installs dpkg-dev)"

if [ -z "$source_dir" ]; then
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
	echo "build-windows-deps: libtomcrypt $tomcrypt_ver, libtommath $tommath_ver for $host into $prefix"
fi
start=$SECONDS

mkdir -p "$(dirname "$prefix")"
apt=$prefix.apt
work=$(mktemp -d "$prefix.work.XXXXXX")
stage=""
cleanup() {
	rm -rf "$work" "$apt"
	if [ -n "$stage" ]; then rm -rf "$stage"; fi
}
trap cleanup EXIT
log=$work/build.log
# apt's fetch methods run as the _apt user when started by root: the
# folders they write into must be open to it. Temporary files (gpgv's
# among them) go below the work folder too.
chmod 755 "$work"
mkdir -m 1777 "$work/tmp"
export TMPDIR=$work/tmp

# Runs a step with its output in the log, shown only when the step fails.
step() {
	if ! "$@" >>"$log" 2>&1; then
		tail -n 40 "$log" >&2
		die "failed: $*"
	fi
}

# apt's own configuration in $apt, read first (APT_CONFIG): the machine's
# configuration parts (proxies, checks) through links, the deb-src twins of
# its binary sources, and lists and caches of its own. The last part clears
# the hooks the machine's parts run after an update (they refresh the
# machine's own caches).
rm -rf "$apt"
mkdir -p "$apt/apt.conf.d" "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
eval "$(apt-config shell parts Dir::Etc::parts/d sources Dir::Etc::sourceparts/d \
	list Dir::Etc::sourcelist/f)"
for f in "${parts%/}"/*; do
	[ -f "$f" ] && ln -s "$f" "$apt/apt.conf.d/"
done
cat >"$apt/apt.conf.d/zzzz-qel-no-hooks" <<-'EOF'
	#clear APT::Update::Pre-Invoke;
	#clear APT::Update::Post-Invoke;
	#clear APT::Update::Post-Invoke-Success;
EOF
cat >"$apt/apt.conf" <<-EOF
	Dir::Etc::Parts "$apt/apt.conf.d";
	Dir::Etc::SourceList "$apt/sources.list";
	Dir::Etc::SourceParts "$apt/sources.list.d";
	Dir::State::Lists "$apt/lists";
	Dir::Cache "$apt/cache";
EOF
export APT_CONFIG=$apt/apt.conf

# deb-src twins of the machine's enabled binary sources: deb822 stanzas
# (*.sources) and one-line entries (sources.list, *.list) alike.
stanzas=""
lines=""
for f in "${sources%/}"/*.sources; do
	[ -f "$f" ] || continue
	stanzas+=$(awk 'BEGIN { RS = ""; ORS = "\n\n" }
		{
			n = split($0, line, "\n")
			types = ""; enabled = "yes"
			for (i = 1; i <= n; i++) {
				if (line[i] ~ /^[Tt]ypes:/) { types = line[i]; sub(/^[^:]*:/, "", types) }
				if (line[i] ~ /^[Ee]nabled:[ \t]*[Nn][Oo]/) enabled = "no"
			}
			if (enabled == "no" || types !~ /(^|[ \t])deb([ \t]|$)/) next
			out = "Types: deb-src"
			for (i = 1; i <= n; i++)
				if (line[i] !~ /^#/ && line[i] !~ /^[Tt]ypes:/) out = out "\n" line[i]
			print out
		}' "$f")
	stanzas+=$'\n\n'
done
for f in "$list" "${sources%/}"/*.list; do
	[ -f "$f" ] || continue
	lines+=$(sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f")
	lines+=$'\n'
done
stanzas=$(printf '%s' "$stanzas" | sed '/./,$!d')
lines=$(printf '%s' "$lines" | sed '/^$/d')
[ -n "$stanzas$lines" ] || die "no binary apt source to derive a deb-src entry from"
printf '%s\n' "$stanzas" >"$apt/sources.list.d/deb-src.sources"
printf '%s\n' "$lines" >"$apt/sources.list"

echo "build-windows-deps: fetching Debian's sources of libtomcrypt and libtommath"
step apt-get update
for pkg in "libtomcrypt=$tomcrypt_ver" "libtommath=$tommath_ver"; do
	LC_ALL=C apt-cache showsrc "${pkg%=*}" 2>/dev/null | grep -qx "Version: ${pkg#*=}" ||
		die "apt has no source for ${pkg%=*} ${pkg#*=}"
done
mkdir -m 755 "$work/src"
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

if [ -n "$source_dir" ]; then
	mkdir -p "$source_dir"
	mv "$tomcrypt_src" "$tommath_src" "$source_dir/"
	echo "build-windows-deps: sources in $source_dir ($((SECONDS - start)) s)"
	exit 0
fi

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
