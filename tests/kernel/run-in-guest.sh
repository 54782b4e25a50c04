#!/usr/bin/env bash
# Runs a program in a throwaway qemu guest with Debian's kernel, real evdev and uinput:
# the guest mounts this machine's file tree read-only over 9p and runs the program
# there as root, with its own /dev, /run and /tmp (the build and source folders stay
# visible when they lie under /tmp or /run). Exits with the program's code, or fails
# where the machine has no qemu, kernel image or busybox.
#   tests/kernel/run-in-guest.sh PROGRAM [ARGS...]
set -euo pipefail
qemu=$(command -v qemu-system-x86_64 || true)
kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -1 || true)
busybox=$(command -v busybox || true)
if [ -z "$qemu" ] || [ -z "$kernel" ] || [ -z "$busybox" ]; then
  echo "the kernel tests need qemu-system-x86, linux-image-amd64 and busybox-static (scripts/install-deps.sh installs them)" >&2
  exit 1
fi
version=${kernel#/boot/vmlinuz-}
modules=/lib/modules/$version/kernel
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/initramfs
mkdir -p "$root"/{bin,dev,proc,sys,host,modules}
cp "$busybox" "$root/bin/busybox"
for m in drivers/input/evdev drivers/input/misc/uinput drivers/virtio/virtio_ring drivers/virtio/virtio \
         drivers/virtio/virtio_pci_modern_dev drivers/virtio/virtio_pci_legacy_dev drivers/virtio/virtio_pci \
         fs/netfs/netfs fs/fscache/fscache net/9p/9pnet net/9p/9pnet_virtio fs/9p/9p; do
  name=$(basename "$m")
  if [ -f "$modules/$m.ko" ]; then cp "$modules/$m.ko" "$root/modules/$name.ko"
  elif [ -f "$modules/$m.ko.xz" ]; then xz -dc "$modules/$m.ko.xz" >"$root/modules/$name.ko"
  fi
done
# The command, quoted for the guest's shell.
command=$(printf '%q ' "$@")
# The guest gets fresh /tmp and /run; a build (or checkout) living there is bound back
# over them, or the program and the helper it starts would vanish.
program_dir=$(cd "$(dirname "$(command -v "$1" || echo "$1")")" && pwd -P)
build_dir=$program_dir
while [ "$build_dir" != / ] && [ ! -f "$build_dir/CMakeCache.txt" ]; do build_dir=$(dirname "$build_dir"); done
[ "$build_dir" = / ] && build_dir=$program_dir
source_dir=$(cd "$(dirname "$0")/../.." && pwd -P)
keep=""
for folder in "$build_dir" "$source_dir"; do
  case "$folder" in /tmp/?*|/run/?*) keep="$keep $(printf '%q' "$folder")" ;; esac
done
cat >"$root/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in evdev uinput virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache 9pnet 9pnet_virtio 9p; do
  [ -f /modules/\$m.ko ] && insmod /modules/\$m.ko
done
mount -t 9p -o trans=virtio,version=9p2000.L,ro hostroot /host
mount --bind /dev /host/dev
# Shared memory, as any system has it (Wayland compositors hand keymaps and buffers through it).
mkdir -p /host/dev/shm && mount -t tmpfs -o mode=1777 shm /host/dev/shm
mount --bind /proc /host/proc
mount --bind /sys /host/sys
mkdir -p /keep/tmp /keep/run
mount --bind /host/tmp /keep/tmp
mount --bind /host/run /keep/run
mount -t tmpfs tmp /host/tmp
mount -t tmpfs run /host/run
for folder in $keep; do
  mkdir -p "/host\$folder" && mount --bind "/keep\$folder" "/host\$folder"
done
echo QUILLO-GUEST-START
chroot /host /usr/bin/env -i PATH=/usr/bin:/bin HOME=/tmp XDG_RUNTIME_DIR=/run LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen $command
echo "QUILLO-GUEST-EXIT \$?"
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"
"$qemu" -accel tcg -m 2048 -smp 1 -nographic -no-reboot -kernel "$kernel" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  </dev/null | tee "$work/console.log" | sed -n '/QUILLO-GUEST-START/,$p' | grep -v '^QUILLO-GUEST-START' || true
code=$(sed -n 's/.*QUILLO-GUEST-EXIT \([0-9]*\).*/\1/p' "$work/console.log" | tail -1)
if [ -z "$code" ]; then
  echo "the guest did not finish; its console:" >&2
  tail -40 "$work/console.log" >&2
  exit 1
fi
exit "$code"
