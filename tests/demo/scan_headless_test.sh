#!/usr/bin/env bash
# Runs the demo's headless measurement and checks what a newcomer is promised:
# exit 0, the table with its headers and all twenty resistor rows, and the
# meter's lines from SYST:REM to SYST:LOC.
#   scan_headless_test.sh DEMO_SCRIPT BUILD_DIR
set -euo pipefail
demo=$1
build=$2

out=$(bash "$demo" --prebuilt "$build" --scan)
printf '%s\n' "$out"

fail() {
    echo "FAILED: $*" >&2
    exit 1
}
expect() {
    grep -qF -- "$1" <<<"$out" || fail "the output has no \"$1\""
}
expect "Linearity measurement complete."
for header in copy "1.MW in V" "2.MW in V" "R Shunt" "dR ppm" "dRS ppm" "d% ppm"; do
    expect "$header"
done
for resistor in $(seq 97 116); do
    grep -qE "^R $resistor( |$)" <<<"$out" || fail "no row labelled R $resistor"
done
expect " 100 ... 90"
for line in SYST:REM "SYST:ERR?" "MEAS:VOLT:DC? 1,1E-6" SYST:LOC "(40 measurement queries in all)"; do
    expect "  $line"
done
echo "demo --scan: exit 0, twenty labelled rows, the meter back in local"
