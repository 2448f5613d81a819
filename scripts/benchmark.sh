#!/usr/bin/env bash
# Measures size, imports, calls, heap use and wall time; prints a Markdown
# table for the README. Options go to tools/benchmark/benchmark.py (--help).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
{
  cmake --preset host && cmake --build --preset host
  cmake --preset windows && cmake --build --preset windows
} > /dev/null
exec /usr/bin/python3 tools/benchmark/benchmark.py "$@"
