#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12 as root. Does nothing
# when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev python3            # host build and tests
  g++-mingw-w64-i686 binutils-mingw-w64-i686            # uninstall.exe
  wine wine32:i386 xvfb xauth                           # running it for real
  icoutils python3-pefile                               # resource checks, benchmark
  x11-apps imagemagick xdotool fonts-wine               # the demo's pictures
  clang libclang-rt-14-dev                              # fuzzing
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
# wine32 is an i386 package: Wine runs 32-bit Windows programs through it.
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
