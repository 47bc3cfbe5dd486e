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
#   scripts/demo.sh --prebuilt DIR ...   the same with the programs already
#                              built in DIR: nothing is installed or built (the
#                              test suite runs the headless paths this way)
# ZDX_DEMO_PICTURES=PREFIX puts the pictures of --scan at PREFIX*.png.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/default
prebuilt=0
if [ "${1:-}" = "--prebuilt" ]; then
    build=$2
    prebuilt=1
    shift 2
fi

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

if [ "$prebuilt" -eq 0 ]; then
    scripts/install-deps.sh
    cmake --preset default >/dev/null
    cmake --build --preset default --target zdx-bench zdxusbcal "$program" "$demo"
fi

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
    pictures="${ZDX_DEMO_PICTURES:-$PWD/ZDX_Q270-linearity}"
    echo "No display: one linearity measurement headless (offscreen), about 40 seconds."
    QT_QPA_PLATFORM=offscreen "$build/bin/$demo" --scan "$pictures" -- "$@"
    # The traffic log is tab-separated: seconds, device, direction, line.
    "$build/bin/zdx-bench" --control "$socket" log >"$workdir/final.log"
    echo "What the meter on COM1 was asked:"
    awk -F'\t' '$2 == "COM1" && $3 == "in" {
            if ($4 ~ /^MEAS:/ && ++queries > 2) next
            print "  " $4
        }
        END { if (queries > 2) print "  (" queries " measurement queries in all)" }' "$workdir/final.log"
    # A run that did not hand the meter back to local is no demonstration.
    awk -F'\t' '$2 == "COM1" && $3 == "in" && $4 == "SYST:LOC" { found = 1 } END { exit !found }' \
        "$workdir/final.log"
else
    shot="$PWD/$program-demo.png"
    echo "No display: running $program headless (offscreen) for 5 seconds."
    QT_QPA_PLATFORM=offscreen "$build/bin/$demo" --quit-after 5000 --snapshot "$shot" -- "$@"
    echo "Screenshot of the panel: $shot"
    echo "Last lines the panel exchanged with the bench:"
    "$build/bin/zdx-bench" --control "$socket" log | tail -n 12
fi
