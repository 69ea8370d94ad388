#!/usr/bin/env bats
# A vendor's release of the customer's zip, as docs/VENDOR.md gives it (the
# blocks marked "<!-- tested: branding -->" and "signing", run as they
# stand): in a copy of the source tree, the Windows build configured with
# the vendor's names, built and packed; then qelhostid.exe in the
# customer's zip signed with Authenticode by osslsigncode, here with a
# throw-away certificate for code signing made on the spot (in
# ~/codesign, where the page keeps the vendor's). The names are read back
# from the programs and the DLL as Windows reads them, the signature is
# verified by osslsigncode and fails when one byte changes, and the signed
# program runs under Wine.
#
# Environment: QEL_BUILD (the tree's own Windows build), QEL_SOURCE,
# QEL_DEPS_PREFIX, QEL_WINE, QEL_VERSION_INFO (a program that prints a
# file's version resource), QEL_VERSION; WINEPREFIX and WINEDEBUG.

bats_require_minimum_version 1.5.0

setup_file() {
	load kit
	local top=$BATS_FILE_TMPDIR vendor=$QEL_SOURCE/docs/VENDOR.md branding signing
	branding=$(doc_block "$vendor" branding) || return 1
	signing=$(doc_block "$vendor" signing) || return 1

	# The tree without its builds, its dependencies beside it as
	# scripts/build-windows-deps.sh leaves them.
	mkdir -p "$top/tree/.deps" "$top/home/codesign" || return 1
	tar -C "$QEL_SOURCE" --exclude=./build --exclude=./.deps --exclude=./.git -cf - . |
		tar -C "$top/tree" -xf - || return 1
	ln -s "$(realpath "$QEL_DEPS_PREFIX")" "$top/tree/.deps/windows" || return 1

	# The vendor's certificate: a throw-away one, for code signing.
	(
		cd "$top/home/codesign" || exit 1
		openssl req -x509 -newkey rsa:3072 -sha256 -days 2 -nodes -keyout key.pem \
			-out cert.pem -subj "/CN=Example Ltd code signing (test)" \
			-addext extendedKeyUsage=codeSigning &&
			printf 'throw-away password\n' >vendor.pass &&
			openssl pkcs12 -export -in cert.pem -inkey key.pem -out vendor.pfx \
				-passout file:vendor.pass
	) >"$top/codesign.log" 2>&1 || { cat "$top/codesign.log"; return 1; }

	(
		cd "$top/tree" || exit 1
		export HOME=$top/home CMAKE_BUILD_PARALLEL_LEVEL=2
		unset CMAKE_TOOLCHAIN_FILE CMAKE_GENERATOR
		bash -e -x -c "$branding" &&
			cp build/windows/qelhostid-*-win64.zip "$top/unsigned.zip" &&
			bash -e -x -c "$signing"
	) >"$top/release.log" 2>&1 || { cat "$top/release.log"; return 1; }
	mkdir "$top/customer" && cd "$top/customer" &&
		unzip -q "$top/tree/build/windows/qelhostid-"*-win64.zip
}

setup() {
	bats_load_library bats-support
	bats_load_library bats-assert
	bats_load_library bats-file
	load kit
	top=$BATS_FILE_TMPDIR
	signed=$top/customer/qelhostid.exe
	cd "$BATS_TEST_TMPDIR" || exit 1
}

# names FILE: the version resource of FILE as Windows reads it.
names() {
	wine "$QEL_VERSION_INFO" "$1"
}

@test "the programs and qelcore.dll carry the vendor's names" {
	build=$top/tree/build/windows
	# file | type | description
	while IFS="|" read -r file type description; do
		run names "$build/$file"
		assert_success
		assert_line "FileType: $type"
		assert_line "CompanyName: Example Ltd"
		assert_line "ProductName: Example CAD"
		assert_line "FileDescription: Example CAD $description"
		assert_line "LegalCopyright: Copyright © 2026 Example Ltd"
		assert_line "OriginalFilename: $file"
	done <<-'TABLE'
		qelhostid.exe|app|host ID printer
		qelkeypair.exe|app|key pair generator
		qellicense.exe|app|licence tool
		qelcore.dll|dll|node-locked licence library
	TABLE
}

@test "the customer's zip holds the signed qelhostid.exe, with the vendor's names, and nothing else changed" {
	run names "$signed"
	assert_success
	assert_line "CompanyName: Example Ltd"
	mkdir before
	(cd before && unzip -q "$top/unsigned.zip")
	run bash -c 'cd "$1" && ls' _ "$top/customer"
	assert_output "$(cd before && ls)"
	for f in README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
		cmp "before/$f" "$top/customer/$f"
	done
	run cmp -s before/qelhostid.exe "$signed"
	assert_failure
}

@test "osslsigncode verifies the signature with the certificate, and not without it" {
	run osslsigncode verify -CAfile "$top/home/codesign/cert.pem" -in "$signed"
	assert_success
	assert_output --partial "Signature verification: ok"
	# Not a certificate authority of the machine's.
	run osslsigncode verify -in "$signed"
	assert_failure
	# The unsigned program of the same build has no signature at all.
	unzip -q "$top/unsigned.zip" qelhostid.exe
	run osslsigncode verify -CAfile "$top/home/codesign/cert.pem" -in qelhostid.exe
	assert_failure
}

@test "one changed byte and the signature no longer verifies" {
	cp "$signed" changed.exe
	# A byte of the code, after the headers.
	python3 - changed.exe <<-'PY'
		import sys
		with open(sys.argv[1], "r+b") as f:
		    f.seek(0x600)
		    b = f.read(1)[0]
		    f.seek(0x600)
		    f.write(bytes([b ^ 1]))
	PY
	run cmp -s "$signed" changed.exe
	assert_failure
	run osslsigncode verify -CAfile "$top/home/codesign/cert.pem" -in changed.exe
	assert_failure
	assert_output --partial MISMATCH
}

@test "the signed qelhostid.exe runs under Wine and prints the report of the tree's own" {
	run wine "$QEL_BUILD/qelhostid.exe"
	assert_success
	want=$output
	run wine "$signed"
	assert_success
	assert_output "$want"
	assert_file_exists qelhostid.txt
}
