#!/usr/bin/env bash
# A new user's first run: makes a fresh, minimal Debian 12 in a temporary
# folder, clones this commit into it and runs the README's two commands there,
# as root in a chroot. Run it before a release and after any change to
# scripts/setup.sh. Needs root, debootstrap, the Debian mirror and about
# 15 minutes (35 where Wine must run emulated); prints each command's result
# and where its log is, and removes everything else.
#
#   bash tools/fresh_machine/run.sh [--keep]     (--keep: keep the Debian tree too)
set -euo pipefail

mirror=http://deb.debian.org/debian
security=http://deb.debian.org/debian-security
suite=bookworm
keep=no
[ "${1:-}" = --keep ] && keep=yes

[ "$(id -u)" -eq 0 ] || { echo "run.sh: run as root (debootstrap and chroot need it)" >&2; exit 2; }
command -v debootstrap >/dev/null ||
  { echo "run.sh: needs debootstrap: apt-get install debootstrap" >&2; exit 2; }
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse HEAD)
[ -z "$(git -C "$repo" status --porcelain)" ] ||
  echo "run.sh: uncommitted changes are not tried: the fresh machine gets commit ${commit:0:12}" >&2

work=$(mktemp -d /var/tmp/fresh-machine.XXXXXX)
root=$work/debian
logs=$work/logs
mkdir -p "$logs"

# Nothing may be mounted below the tree when it is removed: rm would follow
# into the host's /dev or /sys. The mounts live in a namespace of their own
# and go with it, so this only guards against a mistake.
remove_tree() {
  if grep -q " $root/" /proc/self/mountinfo; then
    echo "run.sh: something is still mounted below $root; not removing it" >&2
    return
  fi
  rm -rf --one-file-system "$root"
}
finish() {
  if [ "$keep" = yes ]; then echo "Debian tree kept: $root"; else remove_tree; fi
  echo "Logs: $logs"
}
trap finish EXIT

step() { printf '%-40s' "$1 ..."; }
started=$SECONDS
step "debootstrap --variant=minbase $suite"
debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$logs/debootstrap.log" 2>&1 ||
  { echo "failed (log: $logs/debootstrap.log)"; exit 1; }
echo "done in $((SECONDS - started)) s"

# The suites a Debian 12 installation has, in the form its installer writes.
rm -f "$root/etc/apt/sources.list"
cat >"$root/etc/apt/sources.list.d/debian.sources" <<SOURCES
Types: deb
URIs: $mirror
Suites: $suite $suite-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: $security
Suites: $suite-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
cp /etc/resolv.conf "$root/etc/resolv.conf"
git clone --quiet --no-checkout "$repo" "$root/root/tambirox"
git -C "$root/root/tambirox" checkout --quiet --detach "$commit"

# One README command in the chroot, in a mount namespace of its own: /proc,
# /sys and /dev are mounted for it and vanish when it ends.
in_fresh_machine() {
  unshare --mount --propagation private bash -c '
    root=$1; shift
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    mount --rbind /dev "$root/dev"
    exec chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      bash -c "cd /root/tambirox && $*"
  ' in_fresh_machine "$root" "$@"
}

failed=0
for command in "bash scripts/demo.sh" "bash scripts/test.sh"; do
  log=$logs/$(echo "$command" | sed 's|.*/||; s|\.sh||').log
  step "$command"
  started=$SECONDS
  if in_fresh_machine "$command" >"$log" 2>&1; then
    echo "passed in $((SECONDS - started)) s (log: $log)"
  else
    echo "FAILED with $? after $((SECONDS - started)) s (log: $log)"
    failed=1
  fi
done
# The demo's pictures, to look at as a new user would.
cp -r "$root/tmp/tambirox-demo-pictures" "$logs/pictures" 2>/dev/null || true
# What setup.sh had to do about the mirror, from the first command's log.
grep -h '^setup.sh:' "$logs/demo.log" | sed 's/^/  /' || true
exit "$failed"
