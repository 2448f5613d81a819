#!/usr/bin/env bash
# Builds uninstall.exe and shows it at work: a sample TAMbirox 2000 installation
# in a throwaway Wine prefix, the message boxes with their answers, and what was
# removed. On Debian 12 as root; installs what is missing first. Options: --help.
set -euo pipefail
cd "$(dirname "$0")/.."

demo=tools/demo/demo.py
python=/usr/bin/python3

if [ "$(bash scripts/wine_machine.sh)" = emulated ]; then
  echo "Emulated: $(bash scripts/wine_machine.sh --why); the demo runs in an" \
    "emulated x86_64 machine (qemu) instead, which takes about 5 minutes."
fi
# --help and mistyped options need nothing installed (python3 aside).
if [ -x "$python" ]; then
  for arg in "$@"; do
    case "$arg" in -h|--help) exec "$python" "$demo" --help ;; esac
  done
  "$python" "$demo" --check-args "$@"
fi

echo "Checking the Debian packages (scripts/setup.sh; the first time takes a few minutes) ..."
bash scripts/setup.sh

exec "$python" "$demo" "$@"
