#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12 as root. Does nothing
# when everything is already there.
set -euo pipefail

# Each group: why, then its packages. Only the groups with something missing
# are named when the script installs.
groups=(
  "host build and tests; git dates the build|cmake ninja-build g++ libgtest-dev python3 git"
  "uninstall.exe, cross-compiled|g++-mingw-w64-i686 binutils-mingw-w64-i686"
  "running it for real, 32-bit and under WOW64|wine wine32:i386 wine64 xvfb xauth"
  "resource checks, benchmark|icoutils python3-pefile"
  "the demo's pictures|x11-apps imagemagick xdotool fonts-wine locales"
  "fuzzing|clang libclang-rt-14-dev"
  "signing a release, and its test|osslsigncode openssl"
)
here=$(dirname "$0")
# Where the kernel runs no 32-bit code, Wine runs in an emulated machine.
if [ "$(bash "$here/wine_machine.sh")" = emulated ]; then
  groups+=("Wine in an emulated machine: $(bash "$here/wine_machine.sh" --why)|qemu-system-x86 linux-image-amd64 busybox-static cpio")
fi

# The demo shows the boxes with German button labels, as on a German Windows.
german_locale() { locale -a 2>/dev/null | grep -qx 'de_DE.utf8'; }

# Progress goes to stderr, one line a phase with its time; apt's own output
# goes to a log, kept and named if something fails.
phase_open=
say() {
  [ -z "$phase_open" ] || { echo >&2; phase_open=; }
  echo "setup.sh: $*" >&2
}
begin() {
  printf 'setup.sh: %s ...' "$*" >&2
  phase_open=1 phase_name=$* phase_started=$SECONDS
}
# Said on the phase's own line, unless a message came in between.
end() {
  local took="$1 ($((SECONDS - phase_started)) s)"
  if [ -n "$phase_open" ]; then echo " $took" >&2; phase_open=
  else say "$phase_name: $took"; fi
}

# A Debian mirror caught in the middle of a sync fails for a minute or two
# ("File has unexpected size ... Mirror sync in progress?"). Try again with
# growing pauses, about two minutes in all; apt keeps every check it makes.
retry() {
  local what=$1 pause
  shift
  for pause in 5 10 20 35 50; do
    "$@" && return 0
    say "$what failed; trying again in $pause s"
    sleep "$pause"
  done
  "$@" && return 0
  say "$what still fails after 6 tries over 2 minutes."
  return 1
}

missing=() reasons=()
for group in "${groups[@]}"; do
  group_missing=()
  for package in ${group#*|}; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
      group_missing+=("$package")
  done
  if [ ${#group_missing[@]} -gt 0 ]; then
    missing+=("${group_missing[@]}")
    reasons+=("  ${group_missing[*]}: ${group%%|*}")
  fi
done
[ ${#missing[@]} -eq 0 ] && german_locale && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

update_errors=$(mktemp)
log=$(mktemp "${TMPDIR:-/tmp}/tambirox-setup-XXXXXX.log")
finish() {
  local status=$?
  rm -f "$update_errors"
  if [ "$status" -eq 0 ]; then rm -f "$log"
  else say "apt's whole output is in $log"; fi
}
trap finish EXIT
# The last attempt's errors are kept apart, to name what failed.
update() {
  local rc=0
  "${sudo[@]}" apt-get update -qq >>"$log" 2>"$update_errors" || rc=$?
  cat "$update_errors" >>"$log"
  return "$rc"
}
install() {
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}" >>"$log" 2>&1
}

# A sync that stays broken for days leaves one index wrong while the others are
# whole, and apt-get update then keeps the others. Often that is enough; if the
# resolver needs the missing index (wine32:i386 must match the version of its
# amd64 libraries, which may come from the broken suite), preferring the
# distribution's own release for this one command lets it resolve. Nothing
# under /etc/apt changes, and every index and package is still verified.
install_without() {
  local failed=$1 codename via="the indexes that did download"
  if ! install; then
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    say "trying once more, preferring ${codename:-the distribution}'s own release"
    if [ -z "$codename" ] || ! install -t "$codename"; then
      say "apt-get install failed with the index of $failed missing," \
        "also preferring the distribution's own release. Try again later."
      exit 1
    fi
    via="$codename's own release"
  fi
  say "WARNING: installed from $via; $failed was left out:"
  say "  the packages may lack security fixes newer than the last point release."
  say "  Once the mirror is whole again, run: apt-get update && apt-get upgrade"
}

if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${#missing[@]} Debian packages, for"
  for reason in "${reasons[@]}"; do echo "$reason" >&2; done
  # wine32 is an i386 package: Wine runs 32-bit Windows programs through it.
  dpkg --print-foreign-architectures | grep -qx i386 || "${sudo[@]}" dpkg --add-architecture i386
  begin "apt-get update"
  if retry "apt-get update" update; then
    end done
    begin "apt-get install (usually 1 to 4 minutes)"
    retry "apt-get install" install ||
      { say "apt-get install failed: the mirror may be out of reach. Try again later."; exit 1; }
    end done
  else
    # apt names each index it could not fetch: ".../dists/SUITE/main/binary-i386/Packages.xz".
    failed=$(sed -n 's|^E: Failed to fetch .*/dists/\([^ ]*\) .*|\1|p' "$update_errors" | paste -sd' ')
    say "going on without: ${failed:-an index apt-get update could not fetch}"
    begin "apt-get install"
    install_without "${failed:-that index}"
    end done
  fi
fi
if ! german_locale; then
  begin "generating the de_DE.UTF-8 locale"
  if {
    "${sudo[@]}" sed -i '/^# *de_DE.UTF-8 UTF-8/d' /etc/locale.gen 2>/dev/null || true
    echo 'de_DE.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null &&
      "${sudo[@]}" locale-gen --keep-existing >>"$log" 2>&1
  }; then end done
  else end "not made: the demo labels the buttons in English"; fi
fi
