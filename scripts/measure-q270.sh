#!/bin/sh
# Runs ZDX_Q270 online over USB against a fresh zdx-bench for 10 s and prints
# the CPU time it used (per cent of one core) and the timer cycles per second
# (K1A lines in the bench's traffic log / 10 s). Builds nothing.
# Usage: scripts/measure-q270.sh [build-dir]     (default: build/default)
set -eu

build=${1:-build/default}
seconds=10
bench="$build/bin/zdx-bench"
program="$build/bin/zdx-q270-demo"
for f in "$bench" "$program"; do
    [ -x "$f" ] || { echo "missing $f (build it first)" >&2; exit 1; }
done

work=$(mktemp -d)
bench_pid=
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$bench_pid" ] && kill "$bench_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

"$bench" --socket "$work/bench.sock" >"$work/env" 2>"$work/bench.err" &
bench_pid=$!
for _ in $(seq 50); do
    grep -q '^ZDX_COM9=' "$work/env" 2>/dev/null && break
    sleep 0.1
done
grep -q '^ZDX_COM9=' "$work/env" || { echo "zdx-bench did not start" >&2; exit 1; }
set -a
. "$work/env"
set +a

# Own settings folder: start on USB with the default settings.
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen
"$program" --quit-after $((seconds * 1000 + 5000)) 2>"$work/program.err" &
program_pid=$!

# Let it connect, then measure a window of exactly $seconds seconds.
sleep 1
"$bench" --control "$ZDXUSBCAL_BENCH" clear >/dev/null
ticks_per_second=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$program_pid/stat"; }
start=$(cpu_ticks)
sleep "$seconds"
end=$(cpu_ticks)
cycles=$("$bench" --control "$ZDXUSBCAL_BENCH" log | awk -F '\t' '$3 == "in" && $4 ~ /^K1A/' | wc -l)

awk -v used=$((end - start)) -v hz="$ticks_per_second" -v s="$seconds" -v c="$cycles" 'BEGIN {
    printf "CPU: %.2f %% of one core\n", 100 * used / hz / s
    printf "cycles per second: %.1f\n", c / s
}'
