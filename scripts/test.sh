#!/usr/bin/env bash
# Set up, build and run every test suite: the optimised Linux build, the
# sanitizer build, and the Windows build under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup.sh
bash scripts/build-windows-deps.sh
for preset in default sanitize windows; do
	echo "== $preset"
	cmake --workflow --preset "$preset"
done
bash scripts/fuzz.sh
