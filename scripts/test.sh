#!/usr/bin/env bash
# Set up, build and run every test suite: the optimised build, then the
# sanitizer build.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup.sh
for preset in default sanitize; do
	echo "== $preset"
	cmake --workflow --preset "$preset"
done
