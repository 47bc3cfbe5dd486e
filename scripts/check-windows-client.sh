#!/bin/sh
# Runs the 64-bit Windows library under wine64 through a console client that
# binds zdxusbcal.dll by name and calls its three exports as the programs do,
# and checks the outcomes on a machine without calibrator or port I/O driver.
# Usage: scripts/check-windows-client.sh [build-root]   (default: build/)
# Needs wine64 (never the 32-bit wine) and the mingw-w64 x86-64 compiler.
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-$src/build}
dir=$root/mingw-x86_64
mkdir -p "$root"

echo "== mingw-x86_64: build zdxusbcal and its console client in $dir"
cmake --preset mingw-x86_64 -S "$src" -B "$dir" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" --target zdxusbcal zdxusbcal_client >"$dir.client-build.log" 2>&1 ||
    { cat "$dir.client-build.log"; exit 1; }

wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
[ -x "$wine" ] || { echo "FAIL: wine64 is not installed (Debian package wine64)"; exit 1; }

run=$(mktemp -d)
trap 'WINEPREFIX="$run/prefix" wineserver -k 2>/dev/null || true; rm -rf "$run"' EXIT
cp "$dir/lib/zdxusbcal.dll" "$dir/lib/zdxusbcal_client.exe" "$run/"
echo "== wine64: zdxusbcal_client.exe (a fresh prefix in $run)"
output=$(cd "$run" && WINEPREFIX="$run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    timeout 300 "$wine" zdxusbcal_client.exe 2>"$run/wine.log" | tr -d '\r') ||
    { echo "FAIL: the client did not run"; cat "$run/wine.log"; printf '%s\n' "$output"; exit 1; }
printf '%s\n' "$output"

failed=0
expect() {
    if printf '%s\n' "$output" | grep -qxF "$1"; then
        echo "ok:   $1"
    else
        echo "FAIL: expected the line: $1"
        failed=1
    fi
}
expect 'CommandLPT(1,9) = -7'
expect 'CalCommand(-1) = -99'
expect 'GetUSBDeviceInfo = -2 count 0 serial "" string4 "" string5 "" string6 ""'
expect 'CalCommand(0,"PAP 4") = -2 value -1 buffer "PAP 4"'
expect 'CommandLPT(0,0) = -10'

if [ "$failed" -ne 0 ]; then
    echo "check-windows-client: FAILED"
    exit 1
fi
echo "check-windows-client: all checks passed"
