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
