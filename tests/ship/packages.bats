#!/usr/bin/env bats
# The Debian packages: cpack, started from the top of the source tree as
# docs/VENDOR.md says, makes qelhostid (the customer's), qelkeypair (the
# vendor's: qelkeypair and qellicense) and libqelcore-dev in the build directory and writes nothing
# in the source tree. Each has its control fields (Built-Using for
# statically linked programs, Multi-Arch: same for the -dev package, no
# Homepage), its files and no other package's, a copyright file, the
# third-party notices, a Debian changelog and gzipped manual pages, and
# lintian reports no error and no warning that the package does not
# explain. The -dev package's qelcore.pc names only system directories. As
# root, the three install with dpkg, the programs run from the PATH, a
# product builds against the installed library with nothing but
# pkg-config, and a purge leaves nothing behind.
#
# Environment: QEL_BUILD (the build directory), QEL_SOURCE (the source
# tree), CPACK, LINTIAN, QEL_MAINTAINER (the Maintainer field).

bats_require_minimum_version 1.5.0

packages="qelhostid qelkeypair libqelcore-dev"

setup_file() {
	cd "$BATS_FILE_TMPDIR" || return 1
	touch before-cpack
	sleep 1
	(cd "$QEL_SOURCE" && "${CPACK:-cpack}" -G DEB --config "$QEL_BUILD/CPackConfig.cmake") \
		>cpack.log 2>&1 || { cat cpack.log; return 1; }
	# What changed in the source tree meanwhile, builds aside.
	find "$QEL_SOURCE" \( -path "$QEL_BUILD" -o -path "$QEL_SOURCE/build" -o -name .git \) -prune \
		-o -newer before-cpack -print >source-changes
}

setup() {
	bats_load_library bats-support
	bats_load_library bats-assert
	bats_load_library bats-file
	debs=$QEL_BUILD
	arch=$(dpkg --print-architecture)
}

# deb PACKAGE: the path of PACKAGE's .deb.
deb() {
	echo "$debs/${1}_0.1.0-1_$arch.deb"
}

# contents PACKAGE: the paths in PACKAGE, one a line, without the "./".
contents() {
	dpkg-deb -c "$(deb "$1")" | awk '{ print substr($NF, 3) }' | grep -v -e '/$' -e '^$'
}

@test "cpack makes exactly the three packages, in the build directory" {
	run bash -c 'cd "$1" && ls *.deb' _ "$debs"
	assert_output "$(for p in $packages; do basename "$(deb $p)"; done | sort)"
}

@test "cpack from the top of the source tree writes nothing there" {
	run cat "$BATS_FILE_TMPDIR/source-changes"
	assert_output ""
}

@test "control fields" {
	# package | section | synopsis
	while IFS='|' read -r p section synopsis; do
		for field in Package Version Architecture Section Priority Maintainer; do
			declare "$field=$(dpkg-deb -f "$(deb "$p")" "$field")"
		done
		assert_equal "$Package $Version $Architecture" "$p 0.1.0-1 $arch"
		assert_equal "$p: $Section $Priority" "$p: $section optional"
		assert_equal "$Maintainer" "$QEL_MAINTAINER"
		run dpkg-deb -f "$(deb "$p")" Description
		assert_line --index 0 "$synopsis"
		assert [ "${#lines[@]}" -gt 2 ]
		run dpkg-deb -f "$(deb "$p")" Homepage
		assert_output ""
	done <<-'TABLE'
		qelhostid|utils|print this machine's hardware addresses for a node-locked licence
		qelkeypair|utils|make the DSA key pair that signs node-locked licences, and issue them
		libqelcore-dev|libdevel|static library and C header for checking node-locked licences
	TABLE
}

@test "dependencies" {
	# Static programs need no shared library; dynamic ones name theirs.
	if readelf -d "$QEL_BUILD/qelhostid" | grep -q NEEDED; then
		for p in qelhostid qelkeypair; do
			run dpkg-deb -f "$(deb $p)" Depends
			for lib in libc6 libtomcrypt1 libtommath1; do
				assert_output --regexp "(^|, )$lib( |,|$)"
			done
		done
	else
		for p in qelhostid qelkeypair; do
			run dpkg-deb -f "$(deb $p)" Depends
			assert_output ""
		done
	fi
	run dpkg-deb -f "$(deb libqelcore-dev)" Depends
	assert_output "libtomcrypt-dev, libtommath-dev"
	run dpkg-deb -f "$(deb libqelcore-dev)" Multi-Arch
	assert_output same
	for p in qelhostid qelkeypair; do
		run dpkg-deb -f "$(deb $p)" Multi-Arch
		refute_output same
	done
}

# source_of FILE: "SOURCE (= VERSION)" of the Debian source package that
# installed FILE.
source_of() {
	local package
	package=$(dpkg -S "$1" | sed 's/[:,].*//')
	dpkg-query -W -f='${source:Package} (= ${source:Version})' "$package"
}

@test "Built-Using: the source packages of what a static program contains" {
	libc=$(source_of "$(realpath -m "$(gcc -print-file-name=libc.a)")")
	libgcc=$(source_of "$(realpath -m "$(gcc -print-libgcc-file-name)")")
	tomcrypt=$(dpkg-query -W -f='${source:Package} (= ${source:Version})' libtomcrypt-dev)
	tommath=$(dpkg-query -W -f='${source:Package} (= ${source:Version})' libtommath-dev)
	for p in qelhostid qelkeypair; do
		want=""
		# What the unstripped program holds, by a symbol of each.
		if ! readelf -d "$QEL_BUILD/$p" | grep -q NEEDED; then
			symbols=$(nm "$QEL_BUILD/$p")
			want=$(
				# symbol | source package
				while IFS='|' read -r symbol source; do
					if grep -q " $symbol\$" <<<"$symbols"; then echo "$source"; fi
				done <<-TABLE
					T __libc_start_main|$libc
					t _Unwind_Find_FDE|$libgcc
					T dsa_make_key|$tomcrypt
					T mp_init|$tommath
				TABLE
			)
			want=$(LC_ALL=C sort <<<"$want" | paste -sd, | sed 's/,/, /g')
			assert [ -n "$want" ]
		fi
		run dpkg-deb -f "$(deb $p)" Built-Using
		assert_equal "$p: $output" "$p: $want"
	done
	run dpkg-deb -f "$(deb libqelcore-dev)" Built-Using
	assert_output ""
}

@test "THIRD-PARTY-NOTICES: what each program contains, and each notice" {
	mkdir "$BATS_TEST_TMPDIR/x" && cd "$BATS_TEST_TMPDIR/x" || return 1
	dpkg-deb -x "$(deb qelhostid)" .
	notices=usr/share/doc/qelhostid/THIRD-PARTY-NOTICES
	for p in qelkeypair libqelcore-dev; do
		dpkg-deb --fsys-tarfile "$(deb $p)" | tar -xOf - "./usr/share/doc/$p/THIRD-PARTY-NOTICES" >other
		run cmp "$notices" other
		assert_success
	done
	run grep -x '  libqelcore\.a  *qelcore' "$notices"
	assert_success
	for p in qelhostid qelkeypair qellicense; do
		symbols=$(nm "$QEL_BUILD/$p")
		listed=$(sed -n "s/^  $p  *//p" "$notices")
		assert [ -n "$listed" ]
		# symbol | component | listed only with the symbol
		while IFS='|' read -r symbol component only; do
			if grep -qE " $symbol\$" <<<"$symbols"; then
				assert_regex "$p: $listed" "(: |, )$component(,|\$)"
				run grep -x -e "$component" -e "$component: .*" "$notices"
				assert_success
			elif [ "$only" = yes ]; then
				refute_regex "$p: $listed" "(: |, )$component(,|\$)"
			fi
		done <<-'TABLE'
			T main|qelcore|yes
			T __libc_start_main|glibc|no
			t _Unwind_Find_FDE|gcc-runtime|no
			T dsa_free|libtomcrypt|yes
			T mp_init|libtommath|yes
		TABLE
	done
	run grep -c -x 'Permission to use, copy, modify, and/or distribute this software for any' "$notices"
	assert_output 1
}

@test "each package holds its own files and no other's" {
	run contents qelhostid
	assert_output - <<-'FILES'
		usr/bin/qelhostid
		usr/share/doc/qelhostid/THIRD-PARTY-NOTICES
		usr/share/doc/qelhostid/changelog.Debian.gz
		usr/share/doc/qelhostid/copyright
		usr/share/lintian/overrides/qelhostid
		usr/share/man/man1/qelhostid.1.gz
	FILES
	run contents qelkeypair
	assert_output - <<-'FILES'
		usr/bin/qelkeypair
		usr/bin/qellicense
		usr/share/doc/qelkeypair/LICENCE-FORMAT.md
		usr/share/doc/qelkeypair/README.md
		usr/share/doc/qelkeypair/THIRD-PARTY-NOTICES
		usr/share/doc/qelkeypair/VENDOR.md
		usr/share/doc/qelkeypair/changelog.Debian.gz
		usr/share/doc/qelkeypair/copyright
		usr/share/doc/qelkeypair/examples/Makefile
		usr/share/doc/qelkeypair/examples/check_license.c
		usr/share/lintian/overrides/qelkeypair
		usr/share/man/man1/qelkeypair.1.gz
		usr/share/man/man1/qellicense.1.gz
	FILES
	multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
	run contents libqelcore-dev
	assert_output - <<-FILES
		usr/include/qel/qelcore.h
		usr/lib/$multiarch/cmake/qelcore/qelcore-config-version.cmake
		usr/lib/$multiarch/cmake/qelcore/qelcore-config.cmake
		usr/lib/$multiarch/cmake/qelcore/qelcore-targets-relwithdebinfo.cmake
		usr/lib/$multiarch/cmake/qelcore/qelcore-targets.cmake
		usr/lib/$multiarch/libqelcore.a
		usr/lib/$multiarch/pkgconfig/qelcore.pc
		usr/share/doc/libqelcore-dev/THIRD-PARTY-NOTICES
		usr/share/doc/libqelcore-dev/changelog.Debian.gz
		usr/share/doc/libqelcore-dev/copyright
		usr/share/lintian/overrides/libqelcore-dev
	FILES
}

@test "copyright, changelog and manual pages as Debian has them" {
	for p in $packages; do
		mkdir "$BATS_TEST_TMPDIR/$p" && cd "$BATS_TEST_TMPDIR" || return 1
		dpkg-deb -x "$(deb "$p")" "$p"
		assert_files_equal "$p/usr/share/doc/$p/copyright" "$QEL_SOURCE/packaging/copyright"
		zcat "$p/usr/share/doc/$p/changelog.Debian.gz" >"$p.changelog"
		# field | value
		while IFS='|' read -r field value; do
			run dpkg-parsechangelog -l "$p.changelog" -S "$field"
			assert_equal "$p: $field: $output" "$p: $field: $value"
		done <<-TABLE
			Source|$p
			Version|0.1.0-1
			Maintainer|$QEL_MAINTAINER
		TABLE
	done
	# package | page
	while IFS='|' read -r p page; do
		run zcat "$p/usr/share/man/man1/$page.1.gz"
		assert_output "$(cat "$QEL_SOURCE/docs/man/$page.1")"
	done <<-'TABLE'
		qelhostid|qelhostid
		qelkeypair|qelkeypair
		qelkeypair|qellicense
	TABLE
}

@test "qelcore.pc of the -dev package: absolute system paths, which pkg-config leaves out" {
	mkdir "$BATS_TEST_TMPDIR/x" && cd "$BATS_TEST_TMPDIR/x" || return 1
	dpkg-deb -x "$(deb libqelcore-dev)" .
	multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
	export PKG_CONFIG_PATH=$PWD/usr/lib/$multiarch/pkgconfig
	run pkg-config --variable=includedir qelcore
	assert_output /usr/include
	run pkg-config --variable=libdir qelcore
	assert_output "/usr/lib/$multiarch"
	run pkg-config --cflags qelcore
	assert_success
	assert_output ""
	run pkg-config --static --libs qelcore
	refute_output --partial -L
}

@test "lintian: no error, no unexplained warning" {
	# Every override carries its reason on the line before it.
	for p in $packages; do
		run grep -c -v '^#' "$QEL_SOURCE/packaging/lintian/$p"
		overrides=$output
		run grep -c '^#' "$QEL_SOURCE/packaging/lintian/$p"
		assert_equal "$p: reasons $output" "$p: reasons $overrides"
	done
	cd "$debs" || return 1
	run --separate-stderr "${LINTIAN:-lintian}" --fail-on error,warning \
		$(for p in $packages; do deb "$p"; done)
	assert_success
	refute_output --regexp '^[EW]: '
}

@test "installed with dpkg: the programs run, a product builds, a purge leaves nothing" {
	[ "$(id -u)" -eq 0 ] || skip "needs root: installs packages with dpkg"
	for p in $packages; do
		if [[ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null)" == [ih]* ]]; then
			fail "a package named $p is installed already: not touching it"
		fi
	done
	# The purge runs in teardown, pass or fail.
	touch "$BATS_FILE_TMPDIR/installed"
	run dpkg -i $(for p in $packages; do deb "$p"; done)
	assert_success

	export PATH=/usr/sbin:/usr/bin:/sbin:/bin
	for p in qelhostid qelkeypair qellicense; do
		assert_equal "$(command -v $p)" "/usr/bin/$p"
		assert_equal "$(man -w $p)" "/usr/share/man/man1/$p.1.gz"
	done
	cd "$BATS_TEST_TMPDIR" || return 1
	run unshare -n bash -c 'set -e
		ip link add v0 type veth peer name v1
		ip link set v0 address 02:00:00:00:00:01
		ip link set v1 address 02:00:00:00:00:01
		exec qelhostid'
	assert_success
	assert_output $'"hostid": "02:00:00:00:00:01",\n"os": "Linux"'
	run qelkeypair
	assert_success
	assert_line --index 5 --regexp '^[0-9a-f]{64}$'
	assert_equal "$(stat -c %a qel_privkey.c)" 600
	# A licence for the namespace's machine, issued and checked there.
	run qellicense issue --key qel_privkey.c --report qelhostid.txt --licensee "Example Ltd" \
		--out example.lic
	assert_success
	run unshare -n bash -c 'set -e
		ip link add v0 type veth peer name v1
		ip link set v0 address 02:00:00:00:00:01
		exec qellicense check --key qel_pubkey.c example.lic'
	assert_success
	assert_line --index 1 "licensee: Example Ltd"

	# A product with nothing but pkg-config, from the system's own paths.
	# shellcheck disable=SC2046
	run cc -std=c99 -Wall -Wextra -Werror $(pkg-config --cflags qelcore) \
		-o product "$QEL_SOURCE/tests/ship/consumer/consumer.c" \
		$(pkg-config --static --libs qelcore)
	assert_success
	run ./product
	assert_success
	assert_line --index 0 --partial "sha256 abc: ba7816bf"
	run pkg-config --cflags qelcore
	assert_output ""

	run dpkg -P $packages
	assert_success
	rm "$BATS_FILE_TMPDIR/installed"
	for f in /usr/bin/qelhostid /usr/bin/qelkeypair /usr/bin/qellicense /usr/include/qel \
		/usr/share/doc/qelkeypair /usr/share/man/man1/qelhostid.1.gz \
		/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/libqelcore.a; do
		assert_not_exist "$f"
	done
}

teardown_file() {
	if [ -e "$BATS_FILE_TMPDIR/installed" ]; then
		dpkg -P $packages >/dev/null 2>&1 || true
	fi
}
