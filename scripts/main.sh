#!/usr/bin/env bash
# The main job: set up, build, then walk the loop once. qelhostid runs in
# the current directory (its report lands in ./qelhostid.txt); qelkeypair
# runs in a new scratch directory, since it refuses to overwrite keys;
# qellicense issues a licence there for this machine's report and checks it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

bash "$top/scripts/setup.sh"
(cd "$top" && cmake --preset default >/dev/null &&
	cmake --build --preset default -j "$(nproc)" >/dev/null)

echo "== qelhostid (report saved to $PWD/qelhostid.txt)"
"$top/build/default/qelhostid"

keys=$(mktemp -d "${TMPDIR:-/tmp}/qelkeys.XXXXXX")
echo "== qelkeypair (in $keys)"
(cd "$keys" && "$top/build/default/qelkeypair")
ls -l "$keys"

echo "== qellicense: a licence for this machine, issued and checked (in $keys)"
cp qelhostid.txt "$keys/report.txt"
(cd "$keys" &&
	"$top/build/default/qellicense" issue --key qel_privkey.c --report report.txt \
		--licensee "Example Ltd" --out example.lic &&
	cat example.lic &&
	"$top/build/default/qellicense" check --key qel_pubkey.c example.lic)
