#!/usr/bin/env bash
# The Wine tests (tests/wine) in an emulated x86_64 machine, for a host whose
# kernel runs no 32-bit x86 code, where Wine cannot run uninstall.exe at all.
# As root on Debian 12; about 20 minutes for the whole folder, so CI does not.
#
#   bash tools/emulated_wine/run.sh                       # every test in tests/wine
#   bash tools/emulated_wine/run.sh -v test_dialogs       # or: python3 -m unittest arguments
#
# qemu emulates the CPU (TCG: no KVM needed) and boots Debian's kernel, which
# runs 32-bit code. The host's / is the guest's root, read-only over virtio-9p,
# so the guest has the host's Wine, Python and build; its /tmp is in memory.
set -euo pipefail
cd "$(dirname "$0")/../.."
exe=build/windows/uninstall/uninstall.exe
probe=build/windows/tools/wine_probe/wine_probe.exe
# Wine steps take about 5 to 20 times as long there as on hardware.
time_scale=8
limit=5400     # seconds for the whole emulated run

say() { echo "emulated_wine: $*" >&2; }

missing=()
for package in qemu-system-x86 linux-image-amd64 busybox-static; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]} (about 3 minutes)"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
bash scripts/setup.sh
if [ ! -f "$exe" ] || [ ! -f "$probe" ]; then
  cmake --preset windows >/dev/null && cmake --build --preset windows
fi

kernel=$(ls -v /boot/vmlinuz-* | tail -n 1)
release=${kernel#/boot/vmlinuz-}
work=$(mktemp -d /tmp/emulated-wine-XXXXXX)
qemu_pid=
cleanup() {
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null && wait "$qemu_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/initramfs/bin" "$work/initramfs/modules" "$work/scratch"

# The initramfs: busybox, and the modules that reach the host's files.
cp /bin/busybox "$work/initramfs/bin/"
for tool in sh mount umount mkdir insmod cat chroot poweroff sync; do
  ln -s busybox "$work/initramfs/bin/$tool"
done
modules=/lib/modules/$release
with_dependencies() {   # modules.dep lists a module's own dependencies last-needed first
  local line
  line=$(grep -E "(^|/)$1\.ko:" "$modules/modules.dep") || { say "no module $1 in $modules"; exit 1; }
  printf '%s\n' $(echo "${line#*:}" | tr ' ' '\n' | tac) "${line%%:*}"
}
for module in virtio_pci 9pnet_virtio 9p; do with_dependencies "$module"; done |
  awk 'NF && !seen[$0]++' | while read -r module; do
    cp "$modules/$module" "$work/initramfs/modules/"
    basename "$module" >> "$work/initramfs/modules/order"
  done
cat > "$work/initramfs/init" <<'EOF'
#!/bin/sh
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in $(cat /modules/order); do insmod /modules/$module; done
options=trans=virtio,version=9p2000.L,msize=512000
mount -t 9p -o ro,$options,cache=loose host /root
mount -t proc proc /root/proc
mount -t sysfs sys /root/sys
mount -t devtmpfs dev /root/dev
mkdir -p /root/dev/pts /root/dev/shm
mount -t devpts devpts /root/dev/pts
mount -t tmpfs tmpfs /root/dev/shm
mount -t tmpfs -o size=10g tmpfs /root/tmp
mount -t tmpfs tmpfs /root/run
mkdir /root/tmp/scratch
mount -t 9p -o $options scratch /root/tmp/scratch
chroot /root /bin/bash /tmp/scratch/tests.sh
sync
umount /root/tmp/scratch
poweroff -f
EOF
chmod +x "$work/initramfs/init"
mkdir -p "$work/initramfs/proc" "$work/initramfs/sys" "$work/initramfs/dev" "$work/initramfs/root"
(cd "$work/initramfs" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initramfs.img"

# What the guest runs: this tree's tests, with this run's arguments. They
# are copied, since the guest's /tmp (where this tree may be) is its own.
mkdir "$work/scratch/repo"
cp -a tests "$work/scratch/repo/"
cp "$exe" "$probe" "$work/scratch/"
[ $# -gt 0 ] || set -- discover -v -s . -p 'test_*.py'
{
  echo 'export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp/home LANG=C.UTF-8'
  echo 'export PYTHONDONTWRITEBYTECODE=1 WINE_TEST_TIME_SCALE='$time_scale
  echo 'export TAMBIROX_UNINSTALL_EXE=/tmp/scratch/uninstall.exe WINE_PROBE_EXE=/tmp/scratch/wine_probe.exe'
  echo 'mkdir -p "$HOME"'
  echo 'cd /tmp/scratch/repo/tests/wine'
  printf 'python3 -m unittest'; printf ' %q' "$@"; echo ' > /tmp/scratch/tests.log 2>&1'
  echo 'echo $? > /tmp/scratch/status'
} > "$work/scratch/tests.sh"

say "booting Debian's $release in qemu (TCG); the tests' output follows when they end"
started=$(date +%s)
# -smap: QEMU 7.2's TCG takes a 32-bit iret's read of the user stack for the
# kernel's under SMAP, and the kernel then kills every 32-bit process.
timeout -k 10 "$limit" qemu-system-x86_64 \
  -accel tcg,thread=multi -cpu max,-smap -smp "$(nproc)" -m 12G \
  -nographic -no-reboot -kernel "$kernel" -initrd "$work/initramfs.img" \
  -append "console=ttyS0 quiet panic=-1" \
  -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
  -virtfs local,path="$work/scratch",mount_tag=scratch,security_model=none,multidevs=remap \
  </dev/null >"$work/console.log" 2>&1 &
qemu_pid=$!
wait "$qemu_pid" || true
qemu_pid=

cat "$work/scratch/tests.log" 2>/dev/null || tail -n 20 "$work/console.log"
if [ ! -s "$work/scratch/status" ]; then
  say "the tests did not finish within $limit s, or the machine did not start (console above)"
  exit 1
fi
status=$(cat "$work/scratch/status")
say "tests ended with $status after $(( $(date +%s) - started )) s in the emulated machine"
exit "$status"
