#!/usr/bin/env bash
# Builds the Debian package with CPack from the default build, then checks it:
# lintian (no error, no warning that an override with its reason does not
# explain), its contents and run-time dependencies, and - unpacked into a
# temporary root - that the unpacked programs start headless against the
# unpacked bench and reach it through the unpacked private library.
#   scripts/package.sh     build and check; the package stays in build/default/
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/default

[ -f "$build/CMakeCache.txt" ] || cmake --preset default >/dev/null
targets=(ZDX_Q270 ZDX_Q610 zdx-bench zdxusbcal zdx_package_docs)
# The headless tool is packaged when the tree has it.
tool=0
if cmake --build "$build" --target help | grep -q '^zdx-q270:'; then
    targets+=(zdx-q270)
    tool=1
fi
cmake --build "$build" --target "${targets[@]}"
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; exit 1; }
deb=$(ls -t "$build"/zdx-workstation_*.deb | head -n 1)
echo "== Package: $deb"

failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
expected=(/usr/bin/ZDX_Q270 /usr/bin/ZDX_Q610 /usr/bin/zdx-bench)
[ "$tool" -eq 1 ] && expected+=(/usr/bin/zdx-q270)
for path in "${expected[@]}" /usr/lib/zdx-workstation/zdxusbcal.so /usr/sbin/zdx-calibrator-rules \
    /usr/share/applications/zdx-q270.desktop /usr/share/applications/zdx-q610.desktop \
    /usr/share/icons/hicolor/scalable/apps/zdx-q270.svg \
    /usr/share/icons/hicolor/scalable/apps/zdx-q610.svg \
    /usr/lib/udev/rules.d/70-zdx-calibrators.rules \
    /usr/share/doc/zdx-workstation/README.md /usr/share/doc/zdx-workstation/bench.md \
    /usr/share/doc/zdx-workstation/copyright /usr/share/doc/zdx-workstation/changelog.gz \
    /usr/share/doc/zdx-workstation/examples/usb-ids.conf.example \
    /usr/share/doc/zdx-workstation/examples/ports.conf.example \
    /usr/share/man/man1/ZDX_Q270.1.gz /usr/share/man/man1/ZDX_Q610.1.gz \
    /usr/share/man/man1/zdx-q270.1.gz /usr/share/man/man1/zdx-bench.1.gz \
    /usr/share/man/man8/zdx-calibrator-rules.8.gz \
    /usr/share/zdx-workstation/scenarios/q270-demo.json \
    /usr/share/zdx-workstation/scenarios/q610-demo.json; do
    printf '%s\n' "$contents" | grep -qxF "$path" && echo "ok:   $path" || fail "$path is missing"
done
# The library is private: nothing of it in the linker's folders.
if printf '%s\n' "$contents" | grep -qE '^/usr/lib/[^/]+\.so'; then
    fail "a library directly in /usr/lib"
else
    echo "ok:   no library directly in /usr/lib"
fi
# The shipped programs carry no demonstration or test hooks.
for program in ZDX_Q270 ZDX_Q610; do
    if dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/bin/$program" |
        grep -qaE 'ZDX_DEMO_SCAN|ZDX_QUIT_AFTER_MS|ZDX_SNAPSHOT'; then
        fail "/usr/bin/$program carries a demonstration hook"
    else
        echo "ok:   /usr/bin/$program carries no demonstration hook"
    fi
done
# Nothing of the build or test tree is shipped.
if printf '%s\n' "$contents" | grep -qE 'test|/include/|\.a$'; then
    fail "test, header or archive files in the package:"
    printf '%s\n' "$contents" | grep -E 'test|/include/|\.a$'
fi

dpkg-deb -I "$deb" postinst >/dev/null 2>&1 && echo "ok:   postinst applies the udev rules" ||
    fail "no postinst in the package"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
printf '%s\n' "$depends" | grep -qE 'libusb-1\.0-0 \(>= [^)]+\)' && echo "ok:   versioned libusb-1.0-0" ||
    fail "the dependency on libusb-1.0-0 carries no version"
for package in libusb-1.0-0 libqt6widgets6 libqt6serialport6 libqt6core6 libc6 libstdc++6; do
    printf '%s\n' "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qxF "$package" &&
        echo "ok:   depends on $package" || fail "no dependency on $package"
done

# lintian: errors and warnings fail unless an override explains them; every
# override carries its reason on the comment line above it.
command -v lintian >/dev/null || { echo "FAIL: lintian is not installed (scripts/install-deps.sh)"; exit 1; }
lintian_out=$build/lintian.log
lintian --fail-on none --display-info --show-overrides "$deb" >"$lintian_out" 2>&1 || true
echo "lintian: $(grep -c '^E:' "$lintian_out" || true) errors, $(grep -c '^W:' "$lintian_out" || true) warnings," \
    "$(grep -c '^I:' "$lintian_out" || true) notes, $(grep -c '^O:' "$lintian_out" || true) overridden"
if grep -qE '^(E|W):' "$lintian_out"; then
    grep -E '^(E|W):' "$lintian_out"
    fail "lintian reports errors or warnings"
else
    echo "ok:   lintian: no error, no unexplained warning"
fi
overrides=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/lintian/overrides/zdx-workstation 2>/dev/null || true)
if printf '%s\n' "$overrides" | awk 'NF && !/^#/ && prev !~ /^#/ {bad = 1} {prev = $0} END {exit bad}'; then
    echo "ok:   every lintian override gives its reason"
else
    fail "a lintian override without a reason above it"
fi

root=$(mktemp -d)
bench_pid=
stop_bench() {
    if [ -n "$bench_pid" ]; then
        kill "$bench_pid" 2>/dev/null || true
        wait "$bench_pid" 2>/dev/null || true
        bench_pid=
    fi
}
trap 'stop_bench; rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/fs"
usr=$root/fs/usr

# Starts the unpacked bench with an unpacked scenario; exports its variables.
start_bench() {
    local socket=$root/bench.sock
    rm -f "$socket" "$root/bench.env"
    "$usr/bin/zdx-bench" --scenario "$usr/share/zdx-workstation/scenarios/$1" --socket "$socket" \
        >"$root/bench.env" 2>"$root/bench.err" &
    bench_pid=$!
    for _ in $(seq 1 100); do
        grep -q '^ZDXUSBCAL_BENCH=' "$root/bench.env" 2>/dev/null && break
        sleep 0.05
    done
    while IFS='=' read -r name value; do
        case "$name" in
            ZDXUSBCAL_BENCH | ZDX_COM[1-9]) export "$name=$value" ;;
        esac
    done <"$root/bench.env"
    [ -n "${ZDXUSBCAL_BENCH:-}" ] || { cat "$root/bench.err"; fail "the unpacked bench did not start"; }
}

# Runs an unpacked panel headless for five seconds (a loaded machine may take seconds to start it); it must still be running
# then (timeout's status 124: it neither crashed nor quit) and have exchanged
# lines with the bench. The shipped programs have no timed quit of their own.
run_panel() {
    local program=$1 pattern=$2 status=0
    env -u ZDXUSBCAL_LIBRARY XDG_CONFIG_HOME="$root/config" QT_QPA_PLATFORM=offscreen \
        timeout 5 "$usr/bin/$program" >"$root/$program.out" 2>&1 || status=$?
    if [ "$status" -ne 124 ]; then
        cat "$root/$program.out"
        fail "the unpacked $program ended by itself (status $status) instead of running"
        return
    fi
    if "$usr/bin/zdx-bench" --control "$ZDXUSBCAL_BENCH" log | grep -q "$pattern"; then
        echo "ok:   the unpacked $program talked to the bench through the unpacked library"
    else
        fail "the unpacked $program sent nothing matching '$pattern' to the bench"
    fi
}

start_bench q610-demo.json
run_panel ZDX_Q610 'PAP'
stop_bench
start_bench q270-demo.json
run_panel ZDX_Q270 'K1A'
if [ "$tool" -eq 0 ]; then
    echo "note: no headless tool in this tree; none packaged"
elif env -u ZDXUSBCAL_LIBRARY "$usr/bin/zdx-q270" list >"$root/list.out" 2>&1; then
    echo "ok:   the unpacked zdx-q270 lists: $(sed -n 2p "$root/list.out")"
else
    cat "$root/list.out"
    fail "the unpacked zdx-q270 could not list the bench's calibrators"
fi
stop_bench

if [ "$failed" -ne 0 ]; then
    echo "package: FAILED"
    exit 1
fi
echo "package: all checks passed ($deb)"
