#!/usr/bin/env bash
# The whole test suite: host unit tests (plain and under ASan/UBSan), the
# executable's binary checks and end-to-end runs under Wine, a short fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --workflow --preset host
cmake --workflow --preset host-sanitize
fuzz/run.sh 30
cmake --workflow --preset windows

# The Wine tests skip themselves on a kernel that runs no 32-bit code; CTest
# lists them as not run. Say why once, last, where a reader of the log looks.
/usr/bin/python3 - <<'PY'
import sys
sys.path.insert(0, "tests/wine")
import winefixture
try:
    winefixture.check_machine_runs_32_bit_code()
except winefixture.NoThirtyTwoBitCode as e:
    print("test.sh: WARNING: the Wine tests did not run: %s." % e, file=sys.stderr)
PY
