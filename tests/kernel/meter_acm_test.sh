#!/bin/sh
# The meter on a real USB serial port, in the kernel test guest: a gadget Q270
# and the bench's meter behind a gadget USB serial adapter (the host's
# /dev/ttyACM*, as COM1). One complete linearity run through the tool; then,
# with a second pair, a run whose adapter is pulled after the tenth reading:
# it ends as a lost port and writes no run file.
# Usage: meter_acm_test.sh BIN-DIR
set -eu
bin=$1
work=$(mktemp -d)
serial=Q270S9-00417
export XDG_CONFIG_HOME="$work/config"

fail() {
    echo "FAIL: $*"
    for f in "$work"/*.out "$work"/*.err; do [ -f "$f" ] && { echo "== $f"; cat "$f"; }; done
    exit 1
}

# The ttyACM node of the adapter whose serial number is $1, once the host has it.
adapter_tty() {
    for device in /sys/bus/usb/devices/*; do
        [ "$(cat "$device/serial" 2>/dev/null)" = "$1" ] || continue
        for tty in "$device"/*/tty/*; do
            [ -c "/dev/${tty##*/}" ] && echo "/dev/${tty##*/}" && return 0
        done
    done
    return 1
}

# Starts a gadget pair NAME on UDCs $2 and $3 (more gadget options after) and
# waits until the calibrator and the adapter are there: COM1 is set to it.
plug_pair() {
    name=$1 udc=$2 meter_udc=$3
    shift 3
    "$bin/zdx-usb-gadget" --name "$name" --udc "dummy_udc.$udc" --kind Q270 --serial "$serial" \
        --meter-udc "dummy_udc.$meter_udc" "$@" >"$work/$name.out" &
    gadget=$!
    tries=0
    until ZDX_COM1=$(adapter_tty "${name}m") && "$bin/zdx-q270" list >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || fail "no calibrator or no adapter $name after 10 s"
        sleep 0.1
    done
    export ZDX_COM1
}

plug_pair whole 0 1
trap 'kill $gadget 2>/dev/null || true' EXIT
started=$(date +%s)
"$bin/zdx-q270" scan --no-archive --serial "$serial" -o "$work/unit.json" \
    >"$work/scan.out" 2>"$work/scan.err" || fail "the complete run failed"
[ -s "$work/unit.json" ] || fail "the complete run wrote no run file"
"$bin/zdx-q270" evaluate "$work/unit.json" >"$work/evaluate.json" 2>&1 ||
    fail "the run file does not evaluate"
echo "meter: one complete run on $ZDX_COM1 in $(($(date +%s) - started)) s"
kill "$gadget"
wait "$gadget" || true

plug_pair pulled 2 3 --pull-meter-after 10
status=0
"$bin/zdx-q270" scan --no-archive --serial "$serial" -o "$work/pulled.json" \
    >"$work/pulled.out" 2>"$work/pulled.err" || status=$?
[ "$status" -eq 1 ] || fail "the run with the adapter pulled ended with status $status"
grep -q 'COM1 (multimeter) is no longer available' "$work/pulled.err" ||
    fail "the run with the adapter pulled did not end as a lost port"
[ ! -e "$work/pulled.json" ] || fail "the run with the adapter pulled wrote a run file"
echo "meter: adapter pulled mid-run: $(cat "$work/pulled.err")"
