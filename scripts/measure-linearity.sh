#!/usr/bin/env bash
# Times one complete linearity measurement of the Q270 program against the
# virtual bench (meter on COM1, 300 ms a reading) and compares it with the sum
# of the run's pauses and the meter's reading times. Prints figures only.
#   scripts/measure-linearity.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
workdir=$(mktemp -d)
trap 'kill "$bench_pid" 2>/dev/null || true; rm -rf "$workdir"' EXIT

reading_ms=300
cat >"$workdir/scenario.json" <<JSON
{"usb": [{"kind": "Q270", "serial": "Q270S9-00417", "id": "Q270S9 V1.18",
  "divider": {"spread_ppm": 20, "seed": 3}}],
 "serial": [{"com": 1, "kind": "meter", "calibrator": "Q270S9-00417",
  "reading_ms": $reading_ms, "settle_ms": 50}]}
JSON
"$build/bin/zdx-bench" --scenario "$workdir/scenario.json" --socket "$workdir/bench.sock" \
    >"$workdir/bench.env" &
bench_pid=$!
for _ in $(seq 1 100); do
    grep -q '^ZDXUSBCAL_BENCH=' "$workdir/bench.env" 2>/dev/null && break
    sleep 0.05
done
set -a
# shellcheck disable=SC1091
. "$workdir/bench.env"
set +a
export XDG_CONFIG_HOME="$workdir/config"

QT_QPA_PLATFORM=offscreen "$build/bin/zdx-q270-demo" --scan "" -- /ZDXEinmessen 2>/dev/null |
    tee "$workdir/out.txt" | grep -E 'took|complete|ended'
# OpenHP 0.3 + 0.1 + 0.1 s, twenty steps of 0.6 + 0.7 s, CloseHP 0.1 + 0.1 s.
pauses=26.7
readings=$(awk -v ms="$reading_ms" 'BEGIN { print 40 * ms / 1000 }')
wall=$(sed -n 's/.*took \([0-9.]*\) s of wall time.*/\1/p' "$workdir/out.txt")
awk -v w="$wall" -v p="$pauses" -v r="$readings" 'BEGIN {
    printf "Pauses %.1f s + meter readings %.1f s = %.1f s; the run took %.2f s (%+.2f %%)\n",
           p, r, p + r, w, 100 * (w - (p + r)) / (p + r) }'
