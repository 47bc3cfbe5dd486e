#!/bin/sh
# Cross-builds the access library for 32- and 64-bit Windows and checks its
# export and import tables: exactly the three exports under undecorated names,
# and the setup library never imported (it is loaded by name at run time).
# Usage: scripts/check-windows-exports.sh [build-root]   (default: build/)
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-$src/build}
expected="CalCommand CommandLPT GetUSBDeviceInfo"
failed=0

for arch in i686 x86_64; do
    preset=mingw-$arch
    dir=$root/$preset
    echo "== $preset: configure and build zdxusbcal in $dir"
    mkdir -p "$root"
    cmake --preset "$preset" -S "$src" -B "$dir" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log"; exit 1; }
    cmake --build "$dir" --target zdxusbcal >"$dir.build.log" 2>&1 ||
        { cat "$dir.build.log"; exit 1; }
    dll=$dir/lib/zdxusbcal.dll
    [ -f "$dll" ] || { echo "FAIL: $dll was not produced"; failed=1; continue; }

    table=$("$arch-w64-mingw32-objdump" -p "$dll")
    # Names listed in the export table's name pointer table.
    exports=$(printf '%s\n' "$table" |
        sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort | tr '\n' ' ' |
        sed 's/ $//')
    if [ "$exports" = "$expected" ]; then
        echo "ok:   exports are exactly: $exports"
    else
        echo "FAIL: exports are '$exports', expected '$expected'"
        failed=1
    fi
    imports=$(printf '%s\n' "$table" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')
    if printf '%s\n' "$imports" | grep -qi 'setupapi'; then
        echo "FAIL: the setup library is imported: $imports"
        failed=1
    else
        echo "ok:   no setup library among the imports: $imports"
    fi
done

if [ "$failed" -ne 0 ]; then
    echo "check-windows-exports: FAILED"
    exit 1
fi
echo "check-windows-exports: all checks passed"
