#!/usr/bin/env bash
# The whole test suite: host unit tests (plain and under ASan/UBSan), a short
# fuzz run, the executable's binary checks, and its end-to-end runs under Wine:
# natively where the kernel runs 32-bit code, else in an emulated machine
# (TAMBIROX_WINE=emulated forces that; scripts/wine_machine.sh says which).
set -euo pipefail
cd "$(dirname "$0")/.."

machine=$(bash scripts/wine_machine.sh)
echo "test.sh: the Wine tests run $machine: $(bash scripts/wine_machine.sh --why)."
scripts/setup.sh
cmake --workflow --preset host
cmake --workflow --preset host-sanitize
fuzz/run.sh 30
cmake --preset windows
cmake --build --preset windows

if [ "$machine" = native ]; then
  ctest --preset windows
  exit
fi
# One boot for the tests labelled "wine": the Wine suite (two tests), the demo
# and the signed release, one after the other (two at a time saved a fifth of
# the time, but a box under WOW64 then once failed to come); they make each
# template prefix once between them (wineboot takes minutes there).
# The build folder is written to from inside, so CTest's record of them is
# where it would be after a native run.
ctest --preset windows --label-exclude wine
started=$SECONDS
if ! /usr/bin/python3 tools/emulated_wine/emulated_wine.py --writable . --limit 3600 -- \
    env WINE_TEST_TEMPLATE_CACHE=/tmp/wine-templates \
    ctest --preset windows --label-regex wine --no-tests=error; then
  echo "test.sh: the Wine tests failed in the emulated machine (output above)." >&2
  exit 1
fi
echo "test.sh: the Wine tests passed in the emulated machine, in $((SECONDS - started)) s."
