# Helpers of the Windows ship suites: the zips unpacked, with keys and
# licences made by the kit's own programs under Wine, and the command
# blocks of the docs.
#
# Environment: QEL_BUILD (the build directory), CPACK, QEL_WINE (the Wine
# loader), QEL_VERSION; WINEPREFIX and WINEDEBUG.

# wine EXE ARGS...: runs a Windows program, its CR LF line ends made LF,
# standard error after standard output; what it wrote, as it wrote it, is
# left in wine.out.
wine() {
	local status=0
	"$QEL_WINE" "$@" >wine.out 2>&1 || status=$?
	tr -d '\r' <wine.out
	return $status
}

# kit_prepare DIR: makes the two zips with cpack in DIR/zips and unpacks
# them into DIR/customer and DIR/kit; makes a key pair with the kit's
# qelkeypair.exe in DIR/keys (its output and status beside them,
# qelkeypair.out and status); and with the kit's qellicense.exe, in
# DIR/lic, the licences licence (for this machine's report, qelhostid.txt
# of the kit's qelhostid.exe), licence_foreign (for another machine, an
# address of the documentation range) and licence_changed (licence with one
# letter changed). Shows what failed.
kit_prepare() {
	local top=$1 l
	(
		cd "$top" || exit 1
		"${CPACK:-cpack}" --config "$QEL_BUILD/CPackConfig.cmake" -B zips >cpack.log 2>&1 ||
			{ cat cpack.log; exit 1; }
		mkdir customer kit keys lic
		(cd customer && unzip -q "../zips/qelhostid-$QEL_VERSION-win64.zip") || exit 1
		(cd kit && unzip -q "../zips/qelcore-kit-$QEL_VERSION-win64.zip") || exit 1
		(cd keys && "$QEL_WINE" "$top/kit/bin/qelkeypair.exe" >qelkeypair.out 2>&1)
		echo $? >keys/status

		cd lic || exit 1
		wine "$top/kit/bin/qelhostid.exe" >/dev/null || { cat wine.out; exit 1; }
		printf '"hostid": "00:00:5e:00:53:01",\r\n"os": "Windows"\r\n' >elsewhere.txt
		for l in licence:qelhostid.txt licence_foreign:elsewhere.txt; do
			wine "$top/kit/bin/qellicense.exe" issue --key "$top/keys/qel_privkey.c" \
				--report "${l#*:}" --licensee "Example Ltd" --out "${l%%:*}" >/dev/null ||
				{ cat wine.out; exit 1; }
		done
		sed 's/Example/Exbmple/' licence >licence_changed
		! cmp -s licence licence_changed
	)
}

# doc_block FILE NAME: prints the fenced code block of the Markdown FILE
# that follows the line "<!-- tested: NAME -->", as it stands; fails when
# there is none.
doc_block() {
	awk -v tag="<!-- tested: $2 -->" '
		$0 == tag { armed = 1; next }
		armed && /^```/ { if (inside) { found = 1; exit } inside = 1; next }
		inside { print }
		END { exit found ? 0 : 1 }' "$1"
}

# doc_section FILE TITLE: prints the section of the Markdown FILE whose
# "## " heading is TITLE, up to the next "## " heading.
doc_section() {
	awk -v title="## $2" '
		/^## / { inside = ($0 == title) }
		inside { print }' "$1"
}
