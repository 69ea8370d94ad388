#!/usr/bin/env bats
# Two builds of the same tree, copied to two different places, one built
# inside the tree as the presets have it and one outside: libqelcore.a, the
# programs and, with SOURCE_DATE_EPOCH set, the Debian packages are the
# same bytes, and no shipped file names either place. Only what ships is
# built (no tests).
#
# Environment: QEL_SOURCE (the source tree), QEL_BUILD_TYPE, CPACK.

bats_require_minimum_version 1.5.0

setup_file() {
	local top=$BATS_FILE_TMPDIR i
	sources=("$top/one/qelcore" "$top/second/place/qelcore-copy")
	builds=("${sources[0]}/build/default" "$top/second/out")
	for i in 0 1; do
		mkdir -p "${sources[i]}"
		tar -C "$QEL_SOURCE" --exclude=./build --exclude=./.deps --exclude=./.git -cf - . |
			tar -C "${sources[i]}" -xf -
		{
			cmake -S "${sources[i]}" -B "${builds[i]}" -DCMAKE_BUILD_TYPE="$QEL_BUILD_TYPE" \
				-DBUILD_TESTING=OFF &&
				cmake --build "${builds[i]}" -j 2 &&
				(cd "${builds[i]}" && SOURCE_DATE_EPOCH=1700000000 "${CPACK:-cpack}" -G DEB -B debs)
		} >"$top/build$i.log" 2>&1 || { cat "$top/build$i.log"; return 1; }
	done
	printf '%s\n' "${sources[@]}" "${builds[@]}" >"$top/places"
}

setup() {
	bats_load_library bats-support
	bats_load_library bats-assert
	mapfile -t places <"$BATS_FILE_TMPDIR/places"
	one=${places[2]}
	two=${places[3]}
}

@test "the library and the programs are the same bytes" {
	for f in libqelcore.a qelhostid qelkeypair qellicense; do
		run cmp "$one/$f" "$two/$f"
		assert_success
	done
}

@test "the packages are the same bytes" {
	run bash -c 'cd "$1" && ls *.deb' _ "$one/debs"
	assert_equal "${#lines[@]}" 3
	for deb in "${lines[@]}"; do
		run cmp "$one/debs/$deb" "$two/debs/$deb"
		assert_success
	done
}

@test "no shipped file names the place of its build" {
	cd "$BATS_TEST_TMPDIR" || return 1
	for deb in "$one"/debs/*.deb; do
		dpkg-deb -x "$deb" files
	done
	for p in "${places[@]}"; do
		run grep -rlF "$p" files "$one/libqelcore.a" "$one/qelhostid" "$one/qelkeypair"
		assert_output ""
	done
}
