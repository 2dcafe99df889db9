#!/usr/bin/env bash
# Builds the release bundle: both DLLs and both MSI packages, the install guide (the
# README's install section) and SHA-256 sums, zipped as build/release/brosk-VERSION.zip.
#
# Authenticode signing, when a certificate and its key are given (PEM files):
#   BROSK_SIGN_CERT=cert.pem BROSK_SIGN_KEY=key.pem [BROSK_SIGN_PASS=...]
#   [BROSK_SIGN_TIMESTAMP=http://timestamp.example] scripts/release.sh
# The DLLs are signed first and the packages built around them, then signed too. Without
# a certificate the bundle is unsigned, and both this script and the guide say so.
# BROSK_RELEASE_DIR puts the bundle elsewhere.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)
out=$(realpath -m "${BROSK_RELEASE_DIR:-build/release}")

for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target brosk msi >/dev/null
done
version=$(sed -n 's/^version=//p' build/win64/brosk-msi.env)
name=brosk-$version
stage=$out/$name
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage/x86" "$stage/x64"

signing=
if [ -n "${BROSK_SIGN_CERT:-}" ] || [ -n "${BROSK_SIGN_KEY:-}" ]; then
  [ -f "${BROSK_SIGN_CERT:-}" ] && [ -f "${BROSK_SIGN_KEY:-}" ] || {
    echo "release: BROSK_SIGN_CERT and BROSK_SIGN_KEY must both name PEM files" >&2
    exit 2
  }
  signing=yes
fi
sign() {  # IN OUT
  local options=(-certs "$BROSK_SIGN_CERT" -key "$BROSK_SIGN_KEY" -n "brosk $version" -h sha256)
  [ -z "${BROSK_SIGN_PASS:-}" ] || options+=(-pass "$BROSK_SIGN_PASS")
  [ -z "${BROSK_SIGN_TIMESTAMP:-}" ] || options+=(-t "$BROSK_SIGN_TIMESTAMP")
  osslsigncode sign "${options[@]}" -in "$1" -out "$2" >/dev/null
}

for bits in 32 64; do
  build=build/win$bits
  # shellcheck disable=SC1090
  source "$build/brosk-msi.env"  # arch, version, product, clsid, libid, iid
  if [ -n "$signing" ]; then
    sign "$build/win/brosk.dll" "$stage/$arch/brosk.dll"
    bash win/make-msi.sh "$out/unsigned.msi" "$arch" "$version" "$product" "$stage/$arch/brosk.dll" \
      "$clsid" "$libid" "$iid" "$icon" "$about"
    sign "$out/unsigned.msi" "$stage/$name-$arch.msi"
    rm -f "$out/unsigned.msi"
  else
    cp "$build/win/brosk.dll" "$stage/$arch/brosk.dll"
    cp "$build/$name-$arch.msi" "$stage/"
  fi
done

{
  echo "brosk $version"
  if [ -n "$signing" ]; then
    echo "Signed (Authenticode): $(openssl x509 -in "$BROSK_SIGN_CERT" -noout -subject | sed 's/^subject= *//')"
  else
    echo "NOT SIGNED: these files carry no Authenticode signature; check them against SHA256SUMS."
  fi
  echo
  # The README's install section, as text.
  sed -n '/^## Installing on Windows/,/^## /p' README.md | sed '$d'
} > "$stage/INSTALL.txt"
(cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum > SHA256SUMS)
(cd "$out" && zip -qr "$name.zip" "$name")

echo "release: $out/$name.zip"
[ -n "$signing" ] && echo "release: signed with $BROSK_SIGN_CERT" || echo "release: NOT SIGNED (no BROSK_SIGN_CERT and BROSK_SIGN_KEY given)"
