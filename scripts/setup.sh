#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12 as root. Does nothing
# when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev python3 git        # host build and tests; git dates the build
  g++-mingw-w64-i686 binutils-mingw-w64-i686            # uninstall.exe
  wine wine32:i386 wine64 xvfb xauth                    # running it for real, 32-bit and under WOW64
  icoutils python3-pefile                               # resource checks, benchmark
  x11-apps imagemagick xdotool fonts-wine locales       # the demo's pictures
  clang libclang-rt-14-dev                              # fuzzing
  osslsigncode openssl                                  # signing a release, and its test
)

# The demo shows the boxes with German button labels, as on a German Windows.
german_locale() { locale -a 2>/dev/null | grep -qx 'de_DE.utf8'; }

say() { echo "setup.sh: $*" >&2; }

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

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && german_locale && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

update_errors=$(mktemp)
trap 'rm -f "$update_errors"' EXIT
# apt's messages are shown, and the last attempt's kept to name what failed.
update() {
  local rc=0
  "${sudo[@]}" apt-get update -qq 2>"$update_errors" || rc=$?
  cat "$update_errors" >&2
  return "$rc"
}
install() {
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}"
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
  echo "Installing: ${missing[*]}"
  # wine32 is an i386 package: Wine runs 32-bit Windows programs through it.
  dpkg --print-foreign-architectures | grep -qx i386 || "${sudo[@]}" dpkg --add-architecture i386
  if retry "apt-get update" update; then
    retry "apt-get install" install ||
      { say "apt-get install failed: the mirror may be out of reach. Try again later."; exit 1; }
  else
    # apt names each index it could not fetch: ".../dists/SUITE/main/binary-i386/Packages.xz".
    failed=$(sed -n 's|^E: Failed to fetch .*/dists/\([^ ]*\) .*|\1|p' "$update_errors" | paste -sd' ')
    say "going on without: ${failed:-an index apt-get update could not fetch}"
    install_without "${failed:-that index}"
  fi
fi
if ! german_locale; then
  echo "Generating the de_DE.UTF-8 locale"
  {
    "${sudo[@]}" sed -i '/^# *de_DE.UTF-8 UTF-8/d' /etc/locale.gen 2>/dev/null || true
    echo 'de_DE.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null &&
      "${sudo[@]}" locale-gen --keep-existing >/dev/null
  } || echo "(no de_DE.UTF-8 locale: the demo labels the buttons in English)"
fi
