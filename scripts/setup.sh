#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12 as root. Does nothing
# when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev python3 git        # host build and tests; git dates the build
  g++-mingw-w64-i686 binutils-mingw-w64-i686            # uninstall.exe
  wine wine32:i386 xvfb xauth                           # running it for real
  icoutils python3-pefile                               # resource checks, benchmark
  x11-apps imagemagick xdotool fonts-wine locales       # the demo's pictures
  clang libclang-rt-14-dev                              # fuzzing
  osslsigncode openssl                                  # signing a release, and its test
)

# The demo shows the boxes with German button labels, as on a German Windows.
german_locale() { locale -a 2>/dev/null | grep -qx 'de_DE.utf8'; }

# A Debian mirror caught in the middle of a sync fails for a minute or two
# ("File has unexpected size ... Mirror sync in progress?"). Try again with
# growing pauses, about two minutes in all; apt keeps every check it makes.
retry() {
  local what=$1 pause
  shift
  for pause in 5 10 20 35 50; do
    "$@" && return 0
    echo "setup.sh: $what failed; trying again in $pause s" >&2
    sleep "$pause"
  done
  "$@" && return 0
  echo "setup.sh: $what still fails after 6 tries over 2 minutes." \
    "The Debian mirror may be in the middle of a sync, or out of reach:" \
    "try again later." >&2
  exit 1
}

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && german_locale && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  # wine32 is an i386 package: Wine runs 32-bit Windows programs through it.
  dpkg --print-foreign-architectures | grep -qx i386 || "${sudo[@]}" dpkg --add-architecture i386
  retry "apt-get update" "${sudo[@]}" apt-get update -qq
  retry "apt-get install" "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if ! german_locale; then
  echo "Generating the de_DE.UTF-8 locale"
  {
    "${sudo[@]}" sed -i '/^# *de_DE.UTF-8 UTF-8/d' /etc/locale.gen 2>/dev/null || true
    echo 'de_DE.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null &&
      "${sudo[@]}" locale-gen --keep-existing >/dev/null
  } || echo "(no de_DE.UTF-8 locale: the demo labels the buttons in English)"
fi
