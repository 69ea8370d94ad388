#!/usr/bin/env bash
# qelhostid under heavy churn: 4000 taps that stay, and another process
# adding and deleting 50 more at a time as fast as ip takes them, in a
# network namespace of its own; once as it is and once with a busy loop on
# the second core. Prints, for each, how many of RUNS runs failed, whether
# every answer was a correct list or "the adapter list kept changing", and
# the runs' wall times. As root:
#
#   bash bench/churn.sh build/bench/qelhostid [RUNS]
#
# Not part of the tests: its figures are recorded in docs/PERFORMANCE.md.
set -euo pipefail
prog=$(realpath -e "$1")
runs=${2:-30}

one() {
	local busy=$1 work
	work=$(mktemp -d)
	cd "$work"
	seq 0 3999 | sed 's/.*/tuntap add mode tap name t&/' | ip -batch -
	ip -o link show | sed -n 's/.* link\/ether \([0-9a-f:]\{17\}\) .*/\1/p' | sort >stable
	touch churning
	(while [ -e churning ]; do
		seq 5000 5049 | sed 's/.*/tuntap add mode tap name t&/'
		seq 5000 5049 | sed 's/.*/tuntap del mode tap name t&/'
	done | ip -force -batch - 2>/dev/null || true) &
	local churn=$! spin=""
	if [ "$busy" = 1 ]; then
		setsid sh -c 'while :; do :; done' &
		spin=$!
	fi
	sleep 0.5
	local fails=0 wrong=0 times="" start
	for _ in $(seq 1 "$runs"); do
		start=$(date +%s%N)
		if "$prog" >out 2>err; then
			# every link that stays must be listed
			grep -o '[0-9a-f:]\{17\}' out | sort | comm -23 stable - | grep -q . &&
				wrong=$((wrong + 1))
		else
			fails=$((fails + 1))
			grep -q "the adapter list kept changing" err || wrong=$((wrong + 1))
		fi
		times="$times $((($(date +%s%N) - start) / 1000000))"
	done
	rm churning
	if [ -n "$spin" ]; then kill -- "-$spin" 2>/dev/null || kill "$spin"; fi
	kill "$churn" 2>/dev/null || true
	wait 2>/dev/null || true
	times=$(tr ' ' '\n' <<<"$times" | sed '/^$/d' | sort -n)
	printf 'busy core %s: %d of %d failed, %d wrong; ms: median %s, max %s\n' \
		"$busy" "$fails" "$runs" "$wrong" \
		"$(sed -n "$(((runs + 1) / 2))p" <<<"$times")" "$(tail -n 1 <<<"$times")"
	cd /
	rm -rf "$work"
}
export -f one
export prog runs
unshare -n bash -c 'set -euo pipefail; one 0'
unshare -n bash -c 'set -euo pipefail; one 1'
