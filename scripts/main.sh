#!/usr/bin/env bash
# The main job: set up, build, then run both programs once. qelhostid runs
# in the current directory (its report lands in ./qelhostid.txt); qelkeypair
# runs in a new scratch directory, since it refuses to overwrite keys.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

bash "$top/scripts/setup.sh"
cmake --preset default -S "$top" >/dev/null
cmake --build --preset default -j "$(nproc)" >/dev/null

echo "== qelhostid (report saved to $PWD/qelhostid.txt)"
"$top/build/default/qelhostid"

keys=$(mktemp -d "${TMPDIR:-/tmp}/qelkeys.XXXXXX")
echo "== qelkeypair (in $keys)"
(cd "$keys" && "$top/build/default/qelkeypair")
ls -l "$keys"
