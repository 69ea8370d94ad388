#!/usr/bin/env bats
# The manual pages: mandoc's lint finds nothing at warning level or above,
# man (groff) renders them without a warning, and each page has the
# sections a user looks for, with the program's exit statuses and files.
#
# Environment: QEL_MAN_DIR (docs/man); QEL_MANDOC (mandoc, else from PATH).

bats_require_minimum_version 1.5.0

setup() {
	bats_load_library bats-support
	bats_load_library bats-assert
	mandoc=${QEL_MANDOC:-}
	[ -n "$mandoc" ] && [ "$mandoc" != "QEL_MANDOC-NOTFOUND" ] || mandoc=mandoc
	command -v "$mandoc" >/dev/null ||
		fail "mandoc is not installed (Debian package mandoc; scripts/setup.sh installs it)"
}

# section PAGE NAME: the source lines of section NAME.
section() {
	sed -n "/^\.Sh $2\$/,/^\.Sh /p" "$1" | sed '1d;$d'
}

# page | exit statuses | files
pages() {
	cat <<-'TABLE'
		qelhostid|0 1 2 3 14|qelhostid.txt
		qelkeypair|0 1 2 3 15|qel_privkey.c qel_pubkey.c
		qellicense|0 1 2 3 14 15 16 17 18 20 21 22 23 24|qel_privkey.c qel_pubkey.c qelhostid.txt
	TABLE
}

@test "mandoc -Tlint and man --warnings find nothing" {
	while IFS='|' read -r page _ _; do
		run "$mandoc" -Tlint -W warning "$QEL_MAN_DIR/$page.1"
		assert_success
		assert_output ""
		run --separate-stderr env MANWIDTH=80 man --warnings -l "$QEL_MAN_DIR/$page.1"
		assert_success
		assert_equal "$stderr" ""
	done < <(pages)
}

@test "each page has its title, sections, exit statuses, files and example" {
	while IFS='|' read -r page statuses files; do
		f=$QEL_MAN_DIR/$page.1
		assert_equal "$(grep '^\.Dt ' "$f")" ".Dt ${page^^} 1"
		assert_equal "$(sed -n 's/^\.Sh //p' "$f" | xargs)" \
			"NAME SYNOPSIS DESCRIPTION FILES EXIT STATUS EXAMPLES SEE ALSO"
		assert_equal "$(section "$f" 'EXIT STATUS' | sed -n 's/^\.It //p' | xargs)" "$statuses"
		assert_equal "$(section "$f" FILES | sed -n 's/^\.It Pa //p' | xargs)" "$files"
		run section "$f" EXAMPLES
		assert_line --regexp "^\\\$ $page( |\$)"
	done < <(pages)
}
