#!/usr/bin/env bash
# Prints how this machine runs the 32-bit uninstall.exe under Wine:
#   native     the kernel runs i386 programs, so Wine runs here as it is;
#   emulated   it does not (ia32 emulation off: a boot option since Linux 6.7,
#              the rule under some hypervisors), so Wine runs only inside the
#              emulated machine of tools/emulated_wine.
# TAMBIROX_WINE=emulated forces the second on any machine, so that the
# emulated way can be tried and tested where the native one works.
# With --why it prints a sentence that says why instead of the word.
set -euo pipefail

answer() {   # WORD WHY
  if [ "${want_why:-}" ]; then echo "$2"; else echo "$1"; fi
  exit 0
}
[ "${1:-}" = --why ] && want_why=1

case "${TAMBIROX_WINE:-}" in
  "") ;;
  emulated) answer emulated "TAMBIROX_WINE=emulated asks for the emulated machine" ;;
  *) echo "wine_machine.sh: TAMBIROX_WINE is '$TAMBIROX_WINE'; it takes 'emulated' or nothing" >&2
     exit 2 ;;
esac

# The smallest i386 Linux program: exit(42). A kernel without ia32 emulation
# refuses it with "Exec format error" before it runs.
probe_dir=$(mktemp -d "${TMPDIR:-/tmp}/wine-machine-XXXXXX")
trap 'rm -rf "$probe_dir"' EXIT
printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'\
'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'\
'\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'\
'\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00'\
'\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' > "$probe_dir/exit42"
chmod +x "$probe_dir/exit42"
status=0
"$probe_dir/exit42" 2>/dev/null || status=$?

[ "$status" -eq 42 ] && answer native "this machine's kernel runs 32-bit x86 programs"
answer emulated "this machine's kernel runs no 32-bit x86 program (ia32 emulation is off), so Wine cannot run the 32-bit uninstall.exe here"
