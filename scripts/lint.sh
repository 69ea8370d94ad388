#!/usr/bin/env bash
# Static analysis of the product code: clang-tidy (checks in .clang-tidy)
# and cppcheck (suppressions in scripts/cppcheck-suppressions.txt) over
# core/, hostid/, keys/, license/ and tools/. The tests, the dependencies' headers and
# the system's are not analysed.
#
# usage: lint.sh [BUILD_DIR]   (default build/default, which must hold
#                               compile_commands.json and the configured
#                               public header, include/qel/qelcore.h)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build/default}" && pwd)
db=$build/compile_commands.json
cd "$top"

for tool in clang-tidy cppcheck; do
	command -v $tool >/dev/null || { echo "lint: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
[ -f "$db" ] || { echo "lint: no $db (configure with CMAKE_EXPORT_COMPILE_COMMANDS=ON)"; exit 1; }

mapfile -t sources < <(ls core/*.cpp hostid/*.cpp keys/*.cpp license/*.cpp tools/*/*.cpp)
# clang-tidy needs each file's compile command: the files of this platform.
tidy_sources=()
for f in "${sources[@]}"; do
	grep -q "\"file\": \"$top/$f\"" "$db" && tidy_sources+=("$f")
done
[ ${#tidy_sources[@]} -gt 0 ] || { echo "lint: none of the sources is in $db"; exit 1; }

status=0
echo "lint: clang-tidy, ${#tidy_sources[@]} files"
# One file per run: clang-tidy 14's analyzer carries va_list state from one
# translation unit to the next and then flags a correct va_start.
# A file's report is shown only when it has findings.
tidy_one() {
	local out
	if ! out=$(clang-tidy -p "$build" --quiet \
		--header-filter="^($top/(core|hostid|keys|license|tools)|$build/include)/" "$1" 2>&1); then
		grep -v ' warnings\? generated\.$' <<<"$out"
		return 1
	fi
}
export -f tidy_one
export build top
if ! printf '%s\n' "${tidy_sources[@]}" | xargs -P 2 -I{} bash -c 'tidy_one "$1"' _ {}; then
	status=1
fi

# cppcheck reads every platform's sources, Windows' too: it needs no
# system header.
echo "lint: cppcheck, ${#sources[@]} files"
if ! cppcheck --std=c++20 --language=c++ --quiet --error-exitcode=1 \
	--enable=warning,style,performance,portability --inconclusive \
	--inline-suppr --suppressions-list=scripts/cppcheck-suppressions.txt \
	-I . -I "$build/include" -DQEL_PLATFORM_NAME='"Linux"' -DLTM_DESC \
	--template='{file}:{line}: {severity}: {message} [{id}]' \
	"${sources[@]}"; then
	status=1
fi

if [ $status -eq 0 ]; then
	echo "lint: clean"
else
	echo "lint: findings above"
fi
exit $status
