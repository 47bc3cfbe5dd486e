#!/usr/bin/env bash
# Installs what is missing, builds, starts the virtual bench with a demo
# scenario (bench/scenarios/) and opens an operator panel connected to it.
#   scripts/demo.sh            the Q270 panel, over USB
#   scripts/demo.sh --q610     the Q610 panel
#   scripts/demo.sh --scan     the Q270 panel with "Spez" for a linearity
#                              measurement against the bench's multimeter on
#                              COM1; without a display one measurement runs
#                              headless, pictures are saved and the table printed
# Further arguments go to the program (for example /ZDXEinmessen or /DEV=Q270).
# Without a display the panel runs headless on Qt's offscreen platform for a
# few seconds, saves a screenshot and prints what it exchanged with the bench.
set -euo pipefail
cd "$(dirname "$0")/.."

program=ZDX_Q270
demo=zdx-q270-demo
scenario=bench/scenarios/q270-demo.json
scan=0
if [ "${1:-}" = "--q610" ]; then
    program=ZDX_Q610
    demo=zdx-q610-demo
    scenario=bench/scenarios/q610-demo.json
    shift
elif [ "${1:-}" = "--scan" ]; then
    scan=1
    shift
    set -- /ZDXEinmessen "$@"
fi

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target zdx-bench zdxusbcal "$program" "$demo"

build=build/default
workdir=$(mktemp -d)
socket="$workdir/bench.sock"
"$build/bin/zdx-bench" --scenario "$scenario" --socket "$socket" --log "$workdir/traffic.log" >"$workdir/bench.env" &
bench_pid=$!
trap 'kill "$bench_pid" 2>/dev/null || true; wait "$bench_pid" 2>/dev/null || true' EXIT

for _ in $(seq 1 100); do
    grep -q '^ZDXUSBCAL_BENCH=' "$workdir/bench.env" 2>/dev/null && break
    sleep 0.05
done
while IFS='=' read -r name value; do
    case "$name" in
        ZDXUSBCAL_BENCH | ZDX_COM[1-9]) export "$name=$value" ;;
    esac
done <"$workdir/bench.env"
echo "Virtual bench running (socket $ZDXUSBCAL_BENCH)."

# The panels keep their settings apart from a real installation's.
export XDG_CONFIG_HOME="$workdir/config"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$build/bin/$program" "$@"
elif [ "$scan" -eq 1 ]; then
    pictures="$PWD/ZDX_Q270-linearity"
    echo "No display: one linearity measurement headless (offscreen), about 40 seconds."
    QT_QPA_PLATFORM=offscreen "$build/bin/$demo" --scan "$pictures" -- "$@"
    echo "What the meter on COM1 was asked:"
    "$build/bin/zdx-bench" --control "$socket" log | grep -E ' COM1 ' | head -n 8
else
    shot="$PWD/$program-demo.png"
    echo "No display: running $program headless (offscreen) for 5 seconds."
    QT_QPA_PLATFORM=offscreen "$build/bin/$demo" --quit-after 5000 --snapshot "$shot" -- "$@"
    echo "Screenshot of the panel: $shot"
    echo "Last lines the panel exchanged with the bench:"
    "$build/bin/zdx-bench" --control "$socket" log | tail -n 12
fi
