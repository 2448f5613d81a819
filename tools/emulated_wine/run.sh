#!/usr/bin/env bash
# Chosen tests of tests/wine in the emulated x86_64 machine, by hand; as root
# on Debian 12. scripts/test.sh runs the whole suite there by itself where
# the kernel runs no 32-bit x86 code (or TAMBIROX_WINE=emulated asks for it).
#
#   bash tools/emulated_wine/run.sh                       # every test in tests/wine
#   bash tools/emulated_wine/run.sh -v test_dialogs       # or: python3 -m unittest arguments
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
exe=$root/build/windows/uninstall/uninstall.exe
probe=$root/build/windows/tools/wine_probe/wine_probe.exe

bash scripts/setup.sh
if [ ! -f "$exe" ] || [ ! -f "$probe" ]; then
  cmake --preset windows >/dev/null && cmake --build --preset windows
fi
[ $# -gt 0 ] || set -- discover -v -s . -p 'test_*.py'
cd tests/wine
exec /usr/bin/python3 "$root/tools/emulated_wine/emulated_wine.py" -- \
  env TAMBIROX_UNINSTALL_EXE="$exe" WINE_PROBE_EXE="$probe" /usr/bin/python3 -m unittest "$@"
