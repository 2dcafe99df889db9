#!/usr/bin/env bash
# The release bundle: refused when nothing says how to sign it; unsigned only when asked
# for, and then saying so; signed with a key in a PEM file and with a key in a PKCS#11
# token (SoftHSM, as a hardware token or HSM is reached), always with a timestamp from a
# timestamp authority run here. The bundle must hold its files and sums, and every
# signature verify against the throw-away certificate made here, timestamp included (a
# tampered copy must not).
#
#   release-test.sh SOURCE
set -uo pipefail
src=$(realpath "$1")
failures=0
pass() { echo "ok   $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
work=$(mktemp -d)
tsa=
cleanup() {
  [ -z "$tsa" ] || kill "$tsa" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

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
  grep -q '^# Installing brosk on Windows' "$top/INSTALL.txt" && ! grep -q '^## For developers' "$top/INSTALL.txt" && pass "$kind: the install guide is in it" || fail "$kind: no install guide"
}
release() {  # NAME [VAR=VALUE...]: release.sh into $work/NAME, its output in $work/NAME.txt
  local name=$1
  shift
  env "$@" BROSK_RELEASE_DIR="$work/$name" "$src/scripts/release.sh" > "$work/$name.txt" 2>&1
}

# --- Nothing said about signing, and unsigned when asked for -------------------------------
release refused && fail "release.sh without a certificate made a bundle" \
  || { grep -q 'BROSK_ALLOW_UNSIGNED=1' "$work/refused.txt" && [ ! -e "$work/refused" ] \
         && pass "without a certificate nothing is built, and it says how to ask for an unsigned bundle" \
         || fail "refused: $(tail -2 "$work/refused.txt")"; }
release unsigned BROSK_ALLOW_UNSIGNED=1 || fail "release.sh (unsigned): $(tail -3 "$work/unsigned.txt")"
check unsigned "$work/unsigned"
grep -q 'NOT SIGNED' "$work/unsigned.txt" && grep -q '^NOT SIGNED' <<<"$(head -2 "$work"/unsigned/unpacked/brosk-*/INSTALL.txt)" \
  && pass "unsigned: the script and the guide say so" || fail "unsigned: not said"

# --- The certificates and the timestamp authority -----------------------------------------
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=brosk test signing" -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/tsa.key" -out "$work/tsa.pem" -days 2 \
  -subj "/CN=brosk test timestamps" -addext "extendedKeyUsage=critical,timeStamping" \
  -addext "keyUsage=critical,digitalSignature" 2>/dev/null
mkdir -p "$work/tsa"
/usr/bin/python3 "$src/win/tests/tsa-server.py" "$work/tsa.port" "$work/tsa" "$work/tsa.pem" "$work/tsa.key" &
tsa=$!
for _ in $(seq 100); do [ -f "$work/tsa.port" ] && break; sleep 0.1; done
timestamps=http://127.0.0.1:$(cat "$work/tsa.port")

release untimed BROSK_SIGN_CERT="$work/cert.pem" BROSK_SIGN_KEY="$work/key.pem" \
  && fail "release.sh signed without a timestamp" \
  || { grep -q 'BROSK_SIGN_TIMESTAMP' "$work/untimed.txt" && [ ! -e "$work/untimed" ] \
         && pass "signing without a timestamp authority is refused before anything is built" \
         || fail "untimed: $(tail -2 "$work/untimed.txt")"; }

# Every signature verifies against the test certificate, with a timestamp that verifies
# against the test authority.
verify() {
  local out
  out=$(osslsigncode verify -CAfile "$work/cert.pem" -TSA-CAfile "$work/tsa.pem" -in "$1" 2>&1)
  grep -q '^Signature verification: ok' <<<"$out" && grep -q '^Timestamp Server Signature verification: ok' <<<"$out"
}
signed() {  # KIND: the bundle in $work/KIND, signed
  local kind=$1 top
  check "$kind" "$work/$kind"
  top=$(ls -d "$work/$kind"/unpacked/brosk-* 2>/dev/null) || return
  for f in x86/brosk.dll x64/brosk.dll $(cd "$top" && ls brosk-*.msi); do
    verify "$top/$f" && pass "$kind: $f is signed and timestamped" || fail "$kind: $f does not verify with its timestamp"
  done
  rm -rf "$work/extracted" && mkdir -p "$work/extracted" && (cd "$work/extracted" && msiextract "$(ls "$top"/brosk-*-x64.msi)" >/dev/null)
  verify "$(find "$work/extracted" -name brosk.dll | head -1)" && pass "$kind: the x64 package holds the signed DLL" \
    || fail "$kind: the DLL inside the package is not signed"
  grep -q '^Timestamped by: http://127.0.0.1' "$top/INSTALL.txt" && pass "$kind: the guide names the signer and the timestamp authority" \
    || fail "$kind: the guide does not say how it is signed"
  cp "$top/x64/brosk.dll" "$work/tampered.dll"
  printf 'X' | dd of="$work/tampered.dll" bs=1 seek=4096 conv=notrunc 2>/dev/null
  verify "$work/tampered.dll" && fail "$kind: a tampered DLL verifies" || pass "$kind: a tampered DLL does not verify"
}

# --- A key in a PEM file ---------------------------------------------------------------------
release pem BROSK_SIGN_CERT="$work/cert.pem" BROSK_SIGN_KEY="$work/key.pem" BROSK_SIGN_TIMESTAMP="$timestamps" \
  || fail "release.sh (PEM key): $(tail -3 "$work/pem.txt")"
signed pem

# --- A key in a PKCS#11 token ----------------------------------------------------------------
# A SoftHSM token of its own, holding the key (and only there: the PEM copy goes).
export SOFTHSM2_CONF=$work/softhsm2.conf
mkdir -p "$work/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$work/tokens" > "$SOFTHSM2_CONF"
module=/usr/lib/softhsm/libsofthsm2.so
openssl pkcs8 -topk8 -nocrypt -in "$work/key.pem" -out "$work/key8.pem"
softhsm2-util --init-token --free --label brosk-release --pin 4711 --so-pin 271828 >/dev/null \
  && softhsm2-util --import "$work/key8.pem" --token brosk-release --label signing --id 01 --pin 4711 >/dev/null \
  && pass "token: the key is in a SoftHSM token" || fail "token: SoftHSM cannot hold the key"
rm -f "$work/key.pem" "$work/key8.pem"
release token BROSK_SIGN_CERT="$work/cert.pem" BROSK_SIGN_KEY='pkcs11:token=brosk-release;object=signing;type=private' \
  BROSK_SIGN_PKCS11_MODULE="$module" BROSK_SIGN_PASS=4711 BROSK_SIGN_TIMESTAMP="$timestamps" \
  || fail "release.sh (PKCS#11 token): $(tail -3 "$work/token.txt")"
signed token
release wrong-pin BROSK_SIGN_CERT="$work/cert.pem" BROSK_SIGN_KEY='pkcs11:token=brosk-release;object=signing;type=private' \
  BROSK_SIGN_PKCS11_MODULE="$module" BROSK_SIGN_PASS=0000 BROSK_SIGN_TIMESTAMP="$timestamps" \
  && fail "token: a wrong PIN still signed" \
  || { [ -z "$(ls -A "$work/wrong-pin" 2>/dev/null)" ] && pass "token: a wrong PIN fails the release and leaves nothing" \
         || fail "token: a wrong PIN left $(ls "$work/wrong-pin")"; }

echo "$failures failure(s)"
[ "$failures" = 0 ]
