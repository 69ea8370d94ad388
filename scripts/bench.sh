#!/usr/bin/env bash
# Runs every benchmark on this machine and rewrites the measured part of
# docs/PERFORMANCE.md: whole-process runs of qelhostid beside ip, a static
# lister doing the same job and the process floor; the adapter list read
# through netlink and through getifaddrs, at this machine's links and at a
# thousand tap links in a network namespace of its own; key generation
# beside OpenSSL; one qelkeypair run stage by stage; SHA-256 beside
# OpenSSL; the product's licence check, stage by stage, beside OpenSSL's DSA
# verification of the same signature. Not part of the test run. Counts can be changed through the
# environment:
#
#   QEL_BENCH_KEYS          keys per generator, interleaved (default 40)
#   QEL_BENCH_STAGE_RUNS    qelkeypair runs taken apart (default 30)
#   QEL_BENCH_PROCESS_RUNS  rounds of whole-process runs (default 300)
#   QEL_BENCH_ADAPTER_REPS  repetitions of each adapter-list case (default 10)
#   QEL_BENCH_LINKS         tap links for the large adapter list (default 1000)
#   QEL_BENCH_SHA_REPS      repetitions of each SHA-256 case (default 10)
#   QEL_BENCH_LICENCE_REPS  repetitions of each licence check case (default 20)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

keys=${QEL_BENCH_KEYS:-40}
stage_runs=${QEL_BENCH_STAGE_RUNS:-30}
process_runs=${QEL_BENCH_PROCESS_RUNS:-300}
adapter_reps=${QEL_BENCH_ADAPTER_REPS:-10}
links=${QEL_BENCH_LINKS:-1000}
sha_reps=${QEL_BENCH_SHA_REPS:-10}
licence_reps=${QEL_BENCH_LICENCE_REPS:-20}

bash scripts/setup.sh
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs" >/dev/null

build=$top/build/bench
bin=$build/bench
run=$build/run
static_option=$(sed -n 's/^QEL_STATIC_PROGRAMS:BOOL=//p' "$build/CMakeCache.txt")
rm -rf "$run"
mkdir -p "$run/stages" "$run/scratch" "$run/stage_work"
# The benchmarks' own chatter goes to the log, shown if a step fails.
log=$run/log
trap 'echo "bench: failed; its log:" >&2; cat "$log" >&2' ERR

loadavg() { cut -d' ' -f1-3 /proc/loadavg | sed 's/ /, /g'; }
load_before=$(loadavg)

echo "bench: whole processes, $process_runs rounds" >&2
# qelhostid and the lister save their reports here each time, replacing
# the previous run's; qelkeypair finds both key files here and refuses at
# once.
: >"$run/scratch/qel_privkey.c"
: >"$run/scratch/qel_pubkey.c"
# Static twins of the programs are built only when the programs are dynamic.
twins=()
if [ "$static_option" = OFF ]; then
	twins=(-- "qelhostid, static" "$bin/qel_bench_qelhostid_static"
		-- "qelkeypair start-up, static" "$bin/qel_bench_qelkeypair_static")
fi
"$bin/qel_bench_spawn" "$process_runs" "$run/scratch" \
	"static no-op" "$bin/qel_bench_floor" -- \
	"dynamic no-op" "$bin/qel_bench_floor_dynamic" -- \
	"static lister" "$bin/qel_bench_lister" -- \
	"qelhostid" "$build/qelhostid" -- \
	"ip -br link" "$(command -v ip)" -br link -- \
	"qelkeypair start-up" "$build/qelkeypair" "${twins[@]}" \
	>"$run/spawn.tsv" 2>>"$log"

echo "bench: adapter list, this machine's links and $links tap links" >&2
adapters() {
	"$bin/qel_bench_adapters" \
		--benchmark_repetitions="$adapter_reps" \
		--benchmark_enable_random_interleaving=true \
		--benchmark_out="$1" --benchmark_out_format=json
}
adapters "$run/adapters_default.json" >>"$log" 2>&1
# The taps live and die with a network namespace of their own.
for i in $(seq 0 $((links - 1))); do echo "tuntap add mode tap name t$i"; done >"$run/taps.batch"
export -f adapters
export bin run adapter_reps
unshare -n bash -c 'ip -batch "$run/taps.batch" && adapters "$run/adapters_links.json"' \
	>>"$log" 2>&1

echo "bench: key generation, $keys keys per generator" >&2
(cd "$run/stage_work" && "$bin/qel_bench_keys" \
	--benchmark_filter='^(keypair_generate|openssl_dsa)/' \
	--benchmark_repetitions="$keys" \
	--benchmark_enable_random_interleaving=true \
	--benchmark_out="$run/keys.json" --benchmark_out_format=json) >>"$log" 2>&1

echo "bench: qelkeypair stages, $stage_runs runs" >&2
for i in $(seq -w 1 "$stage_runs"); do
	(cd "$run/stage_work" && "$bin/qel_bench_keys" \
		--benchmark_filter='^qelkeypair_stages/' \
		--benchmark_repetitions=1 \
		--benchmark_out="$run/stages/$i.json" --benchmark_out_format=json) >>"$log" 2>&1
done

echo "bench: SHA-256, $sha_reps repetitions" >&2
"$bin/qel_bench_sha256" \
	--benchmark_repetitions="$sha_reps" \
	--benchmark_enable_random_interleaving=true \
	--benchmark_out="$run/sha256.json" --benchmark_out_format=json >>"$log" 2>&1

echo "bench: licence check, $licence_reps repetitions" >&2
"$bin/qel_bench_license" \
	--benchmark_repetitions="$licence_reps" \
	--benchmark_enable_random_interleaving=true \
	--benchmark_out="$run/license.json" --benchmark_out_format=json >>"$log" 2>&1

load_after=$(loadavg)
# How the build linked the programs measured as "qelhostid" and "qelkeypair".
linked() {
	if LC_ALL=C readelf -l "$1" | grep -q 'INTERP'; then echo dynamic; else echo static; fi
}
pkg_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo '?'; }
{
	printf 'date\t%s\n' "$(date -u '+%Y-%m-%d %H:%M UTC')"
	printf 'CPU\t%s\n' "$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
	printf 'cores\t%s\n' "$(nproc)"
	printf 'memory\t%s MiB\n' "$(awk '/^MemTotal:/ { print int($2 / 1024) }' /proc/meminfo)"
	printf 'kernel\t%s\n' "$(uname -sr)"
	printf 'compiler\t%s\n' "$(c++ --version | head -1)"
	printf 'C library\t%s\n' "$(ldd --version | head -1)"
	printf 'libtomcrypt, libtommath\t%s, %s\n' \
		"$(pkg_version libtomcrypt-dev)" "$(pkg_version libtommath-dev)"
	printf 'OpenSSL\t%s\n' "$(openssl version)"
	printf 'Google Benchmark\t%s\n' "$(pkg_version libbenchmark-dev)"
	printf 'iproute2\t%s\n' "$(pkg_version iproute2)"
	printf 'programs as built\t%s, QEL_STATIC_PROGRAMS=%s\n' \
		"$(linked "$build/qelhostid")" "${static_option:-OFF}"
	printf 'load average before\t%s\n' "$load_before"
	printf 'load average after\t%s\n' "$load_after"
} >"$run/machine.tsv"

python3 "$top/bench/report.py" "$run" "$top/docs/PERFORMANCE.md"
echo "bench: docs/PERFORMANCE.md rewritten; raw results in build/bench/run" >&2
