#!/usr/bin/env bash
# Runs one command inside a virtual machine whose kernel has a real USB stack:
# Debian's kernel under qemu (software emulation, no KVM needed), with the
# dummy host controller and FunctionFS for gadgets made in user space. The
# host's root file system is shared read-only and the command runs under
# chroot in it, so the project's own programs run there unchanged; /tmp and
# /run are fresh in the guest. The script's exit status is the command's; on
# failure the guest's console follows the command's output.
#   scripts/kernel-test.sh --setup                 install what is missing, build the initramfs
#   scripts/kernel-test.sh [options] -- COMMAND... run COMMAND in the guest (in the current folder)
# Options: --timeout SECONDS (whole run, default 300), --udcs N (gadget
# controllers, default 4), --env NAME=VALUE (repeatable).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=${ZDX_KERNEL_WORK:-$root/build/kernel}
timeout_s=300
udcs=4
setup_only=0
envs=()
while [ $# -gt 0 ]; do
    case "$1" in
        --setup) setup_only=1 ;;
        --timeout) timeout_s=$2; shift ;;
        --udcs) udcs=$2; shift ;;
        --env) envs+=("$2"); shift ;;
        --) shift; break ;;
        *) echo "kernel-test: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
if [ "$setup_only" -eq 0 ] && [ $# -eq 0 ]; then
    echo "usage: $0 --setup | [--timeout S] [--udcs N] [--env N=V] -- COMMAND..." >&2
    exit 2
fi

# udev: the guest runs the host's systemd-udevd.
install_missing() {
    local missing=() package
    for package in qemu-system-x86 linux-image-amd64 busybox-static cpio udev; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "kernel-test: installing ${missing[*]}"
    local sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The newest installed kernel that has the dummy host controller.
find_kernel() {
    local version
    for version in $(find /usr/lib/modules -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null |
        sort -rV); do
        if [ -e "/usr/lib/modules/$version/kernel/drivers/usb/gadget/udc/dummy_hcd.ko" ] &&
            [ -e "/boot/vmlinuz-$version" ]; then
            echo "$version"
            return 0
        fi
    done
    echo "kernel-test: no kernel with dummy_hcd in /usr/lib/modules" >&2
    return 1
}

# The modules the guest loads, each after what modules.dep says it needs.
wanted_modules=(usb-common usbcore udc-core dummy_hcd configfs libcomposite usb_f_fs
    u_serial usb_f_acm cdc-acm usbserial
    virtio virtio_ring virtio_pci 9pnet 9pnet_virtio netfs fscache 9p)

module_order() {
    local dep=$1 name line path
    declare -A seen=()
    visit() {
        local path=$1 needs
        [ -n "${seen[$path]:-}" ] && return 0
        seen[$path]=1
        needs=$(grep -E "^$path:" "$dep" | cut -d: -f2)
        local needed
        for needed in $needs; do visit "$needed"; done
        echo "$path"
    }
    for name in "${wanted_modules[@]}"; do
        line=$(grep -E "/${name//[-_]/[-_]}\.ko(\.[gx]z|\.zst)?:" "$dep" | head -1)
        [ -z "$line" ] && { echo "kernel-test: module $name not found" >&2; return 1; }
        path=${line%%:*}
        visit "$path"
    done
}

build_initramfs() {
    local version=$1 out=$2 tree
    tree=$(mktemp -d)
    mkdir -p "$tree/bin" "$tree/proc" "$tree/sys" "$tree/dev" "$tree/modules"
    cp /bin/busybox "$tree/bin/busybox"
    cp "$root/tests/kernel/guest-init.sh" "$tree/init"
    chmod +x "$tree/init"
    local modules=/usr/lib/modules/$version path
    module_order "$modules/modules.dep" >"$tree/modules/order.full"
    while read -r path; do
        mkdir -p "$tree/modules/$(dirname "$path")"
        case "$path" in
            *.xz) xz -dc "$modules/$path" >"$tree/modules/${path%.xz}"; path=${path%.xz} ;;
            *) cp "$modules/$path" "$tree/modules/$path" ;;
        esac
        echo "$path" >>"$tree/modules/order"
    done <"$tree/modules/order.full"
    rm "$tree/modules/order.full"
    # Two runs may build at once: each writes its own file, the last one wins.
    local part
    part=$(mktemp "$out.XXXXXX")
    (cd "$tree" && find . | cpio -o -H newc --quiet | gzip -1) >"$part"
    chmod 644 "$part"
    mv "$part" "$out"
    rm -rf "$tree"
}

install_missing
if ! command -v busybox >/dev/null || ! busybox --list | grep -qx insmod; then
    echo "kernel-test: /bin/busybox is not the static busybox with insmod" >&2
    exit 1
fi
version=$(find_kernel)
mkdir -p "$work"
initramfs=$work/initramfs-$version.cpio.gz
if [ ! -e "$initramfs" ] || [ "$root/tests/kernel/guest-init.sh" -nt "$initramfs" ] ||
    [ "$0" -nt "$initramfs" ]; then
    build_initramfs "$version" "$initramfs"
fi
[ "$setup_only" -eq 1 ] && exit 0

job=$(mktemp -d "$work/job.XXXXXX")
trap 'rm -rf "$job"' EXIT
{
    echo "cd $(printf '%q' "$PWD") || exit 125"
    echo "export PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/tmp"
    echo "export QT_QPA_PLATFORM=offscreen ZDX_KERNEL_GUEST=1"
    for e in "${envs[@]}"; do echo "export $(printf '%q' "$e")"; done
    # libusb learns of devices that come and go from udev.
    echo "/lib/systemd/systemd-udevd --daemon >/dev/null 2>&1"
    printf 'exec'
    printf ' %q' "$@"
    echo
} >"$job/job.sh"

started=$(date +%s)
status=0
timeout --kill-after=10 "$timeout_s" qemu-system-x86_64 \
    -accel tcg -cpu max -smp 2 -m 1024 \
    -nographic -no-reboot -nic none -monitor none -serial "file:$job/console.log" \
    -kernel "/boot/vmlinuz-$version" -initrd "$initramfs" \
    -append "console=ttyS0 quiet panic=-1 zdx.job=$job zdx.udcs=$udcs" \
    -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap" \
    -virtfs "local,path=$job,mount_tag=job,security_model=none" ||
    status=$?

cat "$job/output" 2>/dev/null || true
if [ -s "$job/status" ]; then
    status=$(cat "$job/status")
elif [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "kernel-test: the guest did not end within $timeout_s s"
else
    echo "kernel-test: the guest ended without the job's status (qemu: $status)"
    [ "$status" -eq 0 ] && status=1
fi
echo "kernel-test: $(($(date +%s) - started)) s in the guest, status $status"
if [ "$status" -ne 0 ]; then
    echo "== guest console"
    cat "$job/console.log" 2>/dev/null || true
fi
exit "$status"
