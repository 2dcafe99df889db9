#!/usr/bin/env bash
# The release bundle, unsigned and signed with a throw-away certificate made here: the
# files it must hold, its sums, and Authenticode signatures that verify against that
# certificate (a tampered copy must not).
#
#   release-test.sh SOURCE
set -uo pipefail
src=$(realpath "$1")
failures=0
pass() { echo "ok   $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check() {  # KIND DIR: the bundle in DIR holds every file and sums that match
  local kind=$1 dir=$2 zip
  zip=$(ls "$dir"/brosk-*.zip 2>/dev/null | head -1)
  [ -n "$zip" ] && (cd "$dir" && rm -rf unpacked && mkdir unpacked && cd unpacked && unzip -q "$zip") \
    || { fail "$kind: no bundle"; return; }
  local top
  top=$(ls -d "$dir"/unpacked/brosk-*)
  for f in x86/brosk.dll x64/brosk.dll INSTALL.txt SHA256SUMS; do
    [ -f "$top/$f" ] || fail "$kind: $f missing"
  done
  [ "$(ls "$top"/brosk-*-x86.msi "$top"/brosk-*-x64.msi 2>/dev/null | wc -l)" = 2 ] || fail "$kind: an MSI package is missing"
  (cd "$top" && sha256sum --quiet -c SHA256SUMS) && [ "$(wc -l < "$top/SHA256SUMS")" = 5 ] \
    && pass "$kind: the sums match its five files" || fail "$kind: sums"
  grep -q '^## Installing on Windows' "$top/INSTALL.txt" && pass "$kind: the install guide is in it" || fail "$kind: no install guide"
}

BROSK_RELEASE_DIR=$work/unsigned "$src/scripts/release.sh" > "$work/unsigned.txt" 2>&1 || fail "release.sh (unsigned): $(tail -3 "$work/unsigned.txt")"
check unsigned "$work/unsigned"
grep -q 'NOT SIGNED' "$work/unsigned.txt" && grep -q '^NOT SIGNED' <<<"$(head -2 "$work"/unsigned/unpacked/brosk-*/INSTALL.txt)" \
  && pass "unsigned: the script and the guide say so" || fail "unsigned: not said"

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=brosk test signing" -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" 2>/dev/null
BROSK_RELEASE_DIR=$work/signed BROSK_SIGN_CERT=$work/cert.pem BROSK_SIGN_KEY=$work/key.pem \
  "$src/scripts/release.sh" > "$work/signed.txt" 2>&1 || fail "release.sh (signed): $(tail -3 "$work/signed.txt")"
check signed "$work/signed"
top=$(ls -d "$work"/signed/unpacked/brosk-*)
verify() { grep -q 'Signature verification: ok' <<<"$(osslsigncode verify -CAfile "$work/cert.pem" -in "$1" 2>&1)"; }
for f in x86/brosk.dll x64/brosk.dll $(cd "$top" && ls brosk-*.msi); do
  verify "$top/$f" && pass "signed: $f verifies against the test certificate" || fail "signed: $f does not verify"
done
mkdir -p "$work/extracted" && (cd "$work/extracted" && msiextract "$(ls "$top"/brosk-*-x64.msi)" >/dev/null)
verify "$(find "$work/extracted" -name brosk.dll | head -1)" && pass "signed: the x64 package holds the signed DLL" \
  || fail "signed: the DLL inside the package is not signed"
cp "$top/x64/brosk.dll" "$work/tampered.dll"
printf 'X' | dd of="$work/tampered.dll" bs=1 seek=4096 conv=notrunc 2>/dev/null
verify "$work/tampered.dll" && fail "signed: a tampered DLL verifies" || pass "signed: a tampered DLL does not verify"

echo "$failures failure(s)"
[ "$failures" = 0 ]
