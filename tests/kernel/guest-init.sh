#!/bin/busybox sh
# shellcheck shell=dash
# The guest's first process: loads the USB gadget and 9p modules, mounts the
# host's root read-only with the job folder writable over it, and runs the job
# under chroot with the host's own programs and libraries. The job's exit
# status goes to the job folder; the guest then powers off.
/bin/busybox --install -s /bin
export PATH=/bin

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm

job=
udcs=1
# shellcheck disable=SC2013 # the kernel's command line is words, not lines
for word in $(cat /proc/cmdline); do
    case "$word" in
        zdx.job=*) job=${word#zdx.job=} ;;
        zdx.udcs=*) udcs=${word#zdx.udcs=} ;;
    esac
done

# In modules.dep order, so that each module's dependencies come first.
while read -r module; do
    case "$module" in
        *dummy_hcd.ko) insmod "/modules/$module" num="$udcs" ;;
        *) insmod "/modules/$module" ;;
    esac || echo "zdx-guest: insmod $module failed"
done </modules/order

mount -t configfs configfs /sys/kernel/config
mkdir -p /host
# The host's files do not change while the guest runs: the guest may keep
# them in its page cache, so that a program's pages are read over 9p once.
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144,cache=loose hostroot /host
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 job "/host$job"
mount --rbind /dev /host/dev
mount --rbind /proc /host/proc
mount --rbind /sys /host/sys
mount -t tmpfs tmpfs /host/tmp
mount -t tmpfs tmpfs /host/run

echo "zdx-guest: running the job"
chroot /host /bin/sh "$job/job.sh" >"/host$job/output" 2>&1
echo $? >"/host$job/status"
sync
echo "zdx-guest: job ended with status $(cat "/host$job/status")"
poweroff -f
