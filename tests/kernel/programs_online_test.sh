#!/bin/sh
# The headless tool and the Q270 panel against a Q270 that is a real USB
# gadget, in the kernel test guest: `zdx-q270 list` shows it with its
# strings, `zdx-q270 send` exchanges a line with it, and the panel (offscreen)
# goes online with it: its timer cycle sends the setting lines, which only
# the online state does, and gets the unit's answers.
# Usage: programs_online_test.sh BIN-DIR
set -eu
bin=$1
work=$(mktemp -d)
serial=Q270S9-00417

fail() {
    echo "FAIL: $*"
    for f in "$work"/*; do echo "== $f"; cat "$f"; done
    exit 1
}

"$bin/zdx-usb-gadget" --name panel --udc dummy_udc.0 --kind Q270 --serial "$serial" \
    --log "$work/traffic" >"$work/gadget" &
gadget=$!
trap 'kill $gadget 2>/dev/null || true' EXIT

# The host enumerates the gadget and udev announces it: up to 10 s.
tries=0
until "$bin/zdx-q270" list >"$work/list" 2>"$work/list.err"; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || fail "zdx-q270 list found no calibrator"
    sleep 0.1
done
printf 'serial\tstring4\tstring5\tstring6\n%s\tZDX\tQ270 Calibrator\tQ270S9 V1.18\n' "$serial" \
    >"$work/list.expected"
cmp -s "$work/list" "$work/list.expected" || fail "zdx-q270 list printed something else"

"$bin/zdx-q270" send "$serial" "K1A1,5,2,0" >"$work/send" 2>&1 || fail "zdx-q270 send failed"
grep -qx 'result: 0 (.*)' "$work/send" || fail "zdx-q270 send: no result 0"
grep -qx 'received: 3' "$work/send" || fail "zdx-q270 send: not the 3 bytes of the answer"
echo "tool: list and send passed"

: >"$work/traffic"
XDG_CONFIG_HOME="$work/config" "$bin/zdx-q270-demo" --quit-after 8000 \
    --snapshot "$work/panel.png" >"$work/panel.out" 2>&1 || fail "the panel ended with an error"
[ -s "$work/panel.png" ] || fail "the panel saved no picture"
settings=$(awk -F '\t' '$3 == "in" && $4 ~ /^K1A/' "$work/traffic" | wc -l)
answers=$(awk -F '\t' '$3 == "out" && $4 == "0"' "$work/traffic" | wc -l)
[ "$settings" -ge 3 ] || fail "the panel sent $settings setting lines: not online"
[ "$answers" -ge 3 ] || fail "the unit answered $answers lines with 0"
grep -q 'DCL' "$work/traffic" || fail "the panel did not end remote operation with DCL"
echo "panel: online, $settings setting lines answered"
