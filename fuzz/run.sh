#!/usr/bin/env bash
# Runs the libFuzzer harness over a scratch copy of fuzz/corpus for the given
# number of seconds (default 30). Exits non-zero if the fuzzer finds anything;
# the scratch directory with the log and the crash input is then kept
# (FUZZ_KEEP=1 keeps it after a clean run too).
set -euo pipefail
seconds=${1:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ ! -f build/fuzz/CMakeCache.txt ]; then
  cmake --preset fuzz >/dev/null
fi
cmake --build --preset fuzz --target fuzz_install_paths >/dev/null
binary=build/fuzz/fuzz/fuzz_install_paths

scratch=$(mktemp -d "${TMPDIR:-/tmp}/fuzz_install_paths.XXXXXX")
mkdir "$scratch/corpus" "$scratch/artifacts"
cp fuzz/corpus/* "$scratch/corpus/"

# The fuzzer stops itself after $seconds; timeout only catches a wedged run.
status=0
timeout --kill-after=30 $((seconds + 120)) "$binary" \
  -max_total_time="$seconds" -max_len=1024 -timeout=10 \
  -dict=fuzz/install_paths.dict -print_final_stats=1 \
  -artifact_prefix="$scratch/artifacts/" \
  "$scratch/corpus" >"$scratch/fuzz.log" 2>&1 || status=$?

echo "--- fuzz_install_paths: ${seconds}s; scratch corpus now $(ls "$scratch/corpus" | wc -l) files (seeds + new units)"
grep -E '^#[0-9]+[[:space:]]+DONE' "$scratch/fuzz.log" | tail -n 1 || true
grep -E '^stat::' "$scratch/fuzz.log" || true

if [ "$status" -ne 0 ] || [ -n "$(ls -A "$scratch/artifacts")" ]; then
  echo "--- fuzzer failed (exit $status); log and inputs kept in $scratch" >&2
  tail -n 60 "$scratch/fuzz.log" >&2
  ls -l "$scratch/artifacts" >&2
  exit 1
fi
if [ "${FUZZ_KEEP:-0}" = 1 ]; then
  echo "--- kept $scratch"
else
  rm -rf "$scratch"
fi
