#!/usr/bin/env bash
# The manual pages: mandoc's lint finds nothing at warning level or above,
# man (groff) renders them without a warning, and each page has the
# sections a user looks for, with the program's exit statuses and files.
#
# usage: man_test.sh MAN_DIR [MANDOC]
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../cli/lib.sh"
dir=$1
mandoc=${2:-mandoc}
[ -n "$mandoc" ] && [ "$mandoc" != "QEL_MANDOC-NOTFOUND" ] || mandoc=mandoc

if ! command -v "$mandoc" >/dev/null; then
	echo "mandoc is not installed (Debian package mandoc; scripts/setup.sh installs it)"
	exit 1
fi

# section PAGE NAME: the source lines of section NAME.
section() {
	sed -n "/^\.Sh $2\$/,/^\.Sh /p" "$1" | sed '1d;$d'
}

# page | exit statuses | files
while IFS='|' read -r page statuses files; do
	f=$dir/$page.1
	expect_eq "$page: page exists" yes "$([ -f "$f" ] && echo yes || echo no)"
	expect_eq "$page: mandoc -Tlint" "0 " "$("$mandoc" -Tlint -W warning "$f" 2>&1; echo "$? ")"
	warn=$(MANWIDTH=80 man --warnings -l "$f" 2>&1 >/dev/null)
	expect_eq "$page: man --warnings" "" "$warn"
	expect_eq "$page: sections" "NAME SYNOPSIS DESCRIPTION FILES EXIT STATUS EXAMPLES SEE ALSO" \
		"$(sed -n 's/^\.Sh //p' "$f" | xargs)"
	expect_eq "$page: title" ".Dt ${page^^} 1" "$(grep '^\.Dt ' "$f")"
	expect_eq "$page: exit statuses" "$statuses" \
		"$(section "$f" 'EXIT STATUS' | sed -n 's/^\.It //p' | xargs)"
	expect_eq "$page: files" "$files" \
		"$(section "$f" FILES | sed -n 's/^\.It Pa //p' | xargs)"
	expect_eq "$page: the example runs the program" yes \
		"$(section "$f" EXAMPLES | grep -qx "\\\$ $page" && echo yes || echo no)"
done <<'TABLE'
qelhostid|0 1 2 3 14|qelhostid.txt
qelkeypair|0 1 2 3 15|qel_privkey.c qel_pubkey.c
TABLE

finish
