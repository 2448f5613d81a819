#!/usr/bin/env bash
# Builds uninstall.exe from scratch into dist/ with its SHA-256, and signs it
# with Authenticode when given a certificate. Options: --help.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  cat <<'EOF'
Usage: bash scripts/release.sh [--sign CERT.p12 [--password-file FILE] [--timestamp URL]]
                               [--dist DIR]

Builds uninstall.exe in a fresh build folder and writes into DIR (default
dist/; a previous release's files there are replaced):
  uninstall.exe            the program
  SHA256SUMS               its SHA-256; check with: cd DIR && sha256sum -c SHA256SUMS

  --sign CERT.p12          sign uninstall.exe with Authenticode (SHA-256). The
                           unsigned build is kept as uninstall-unsigned.exe, and
                           SHA256SUMS lists both files.
  --password-file FILE     the certificate's password is in FILE. Without this
                           option it is taken from the environment variable
                           UNINSTALL_SIGN_PASSWORD (never from the command line,
                           which other users can see).
  --timestamp URL          have the signature time-stamped by this RFC 3161 server
  --dist DIR               write into DIR instead of dist/
EOF
}

fail() { echo "release.sh: $*" >&2; exit 2; }

cert="" password_file="" timestamp="" dist=$root/dist
while [ $# -gt 0 ]; do
  case "$1" in
    -h|--help) usage; exit 0 ;;
    --sign|--password-file|--timestamp|--dist)
      [ $# -ge 2 ] || fail "$1 needs a value"
      case "$1" in
        --sign) cert=$2 ;;
        --password-file) password_file=$2 ;;
        --timestamp) timestamp=$2 ;;
        --dist) dist=$2 ;;
      esac
      shift 2 ;;
    *) usage >&2; fail "unknown option: $1" ;;
  esac
done
if [ -z "$cert" ]; then
  [ -z "$password_file$timestamp" ] || fail "--password-file and --timestamp go with --sign"
else
  [ -f "$cert" ] || fail "no certificate file: $cert"
  if [ -n "$password_file" ]; then
    [ -r "$password_file" ] || fail "cannot read the password file: $password_file"
  elif [ -z "${UNINSTALL_SIGN_PASSWORD+set}" ]; then
    fail "the certificate's password: --password-file FILE, or UNINSTALL_SIGN_PASSWORD in the environment"
  fi
fi
# Paths are the caller's; the rest runs in the sources' top folder.
absolute() { realpath -m -- "$1"; }
[ -z "$cert" ] || cert=$(absolute "$cert")
[ -z "$password_file" ] || password_file=$(absolute "$password_file")
dist=$(absolute "$dist")
cd "$root"

# The password stays in this shell; the build's processes do not inherit it.
password=${UNINSTALL_SIGN_PASSWORD-}
export -n UNINSTALL_SIGN_PASSWORD

bash scripts/setup.sh

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tambirox-release.XXXXXX")
cleanup() { rm -rf "$scratch"; }
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

commit=$(git rev-parse --verify --quiet HEAD 2>/dev/null || echo "no git history")
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "Warning: uncommitted changes; this build is not what commit $commit builds." >&2
fi

echo "Building uninstall.exe in a fresh folder ..."
build=$scratch/build
if ! { cmake --preset windows -B "$build" &&
       cmake --build "$build" --target uninstall; } >"$scratch/build.log" 2>&1; then
  cat "$scratch/build.log" >&2
  fail "the build failed"
fi

mkdir -p "$dist"
rm -f "$dist/uninstall.exe" "$dist/uninstall-unsigned.exe" "$dist/SHA256SUMS"
if [ -z "$cert" ]; then
  cp "$build/uninstall/uninstall.exe" "$dist/uninstall.exe"
  files=(uninstall.exe)
else
  unsigned=$dist/uninstall-unsigned.exe
  cp "$build/uninstall/uninstall.exe" "$unsigned"
  if [ -z "$password_file" ]; then
    # osslsigncode takes the password from a file; only we may read this one.
    password_file=$scratch/password
    (umask 077 && printf '%s' "$password" >"$password_file")
  fi
  sign=(osslsigncode sign -pkcs12 "$cert" -readpass "$password_file"
        -h sha256 -n "TAMbirox 2000")
  [ -z "$timestamp" ] || sign+=(-ts "$timestamp")
  "${sign[@]}" -in "$unsigned" -out "$dist/uninstall.exe" >"$scratch/sign.log" 2>&1 ||
    { cat "$scratch/sign.log" >&2; fail "signing failed"; }
  rm -f "$scratch/password"
  # What a verifier does with the shipped file must give back this build.
  osslsigncode remove-signature -in "$dist/uninstall.exe" -out "$scratch/stripped.exe" \
    >"$scratch/sign.log" 2>&1 || { cat "$scratch/sign.log" >&2; fail "remove-signature failed"; }
  cmp -s "$scratch/stripped.exe" "$unsigned" ||
    fail "removing the signature does not give back the unsigned build"
  files=(uninstall.exe uninstall-unsigned.exe)
fi
(cd "$dist" && sha256sum "${files[@]}" >SHA256SUMS)

echo
echo "Commit $commit"
while read -r hash name; do
  echo "SHA-256 $hash  ${dist#"$root"/}/$name"
done <"$dist/SHA256SUMS"
