#!/bin/sh
# zdx-calibrator-rules reads the IDs file as the library does: from the file
# the library's discovery test uses (one good pair, two malformed lines) it
# writes exactly one rule, for abcd:0001, with the seat and the group, and
# tells of the two malformed lines.
#   calibrator_rules_test.sh SCRIPT IDS-FILE
set -eu
out=$("$1" -f "$2" -o - -g zdxlab 2>"${TMPDIR:-/tmp}/rules-test.$$")
said=$(cat "${TMPDIR:-/tmp}/rules-test.$$")
rm -f "${TMPDIR:-/tmp}/rules-test.$$"
rules=$(printf '%s\n' "$out" | grep -v '^#')
expected='SUBSYSTEM=="usb", ENV{DEVTYPE}=="usb_device", ATTR{idVendor}=="abcd", ATTR{idProduct}=="0001", TAG+="uaccess", GROUP="zdxlab", MODE="0660"'
[ "$rules" = "$expected" ] || { echo "FAIL: rules written:"; printf '%s\n' "$rules"; exit 1; }
[ "$(printf '%s\n' "$said" | grep -c 'not a vendor:product ID pair')" -eq 2 ] ||
    { echo "FAIL: malformed lines told: $said"; exit 1; }
echo "ok"
