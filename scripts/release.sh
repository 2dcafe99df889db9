#!/usr/bin/env bash
# Builds the release bundle: both DLLs and both MSI packages, the install guide
# (docs/install.md, as INSTALL.txt) and SHA-256 sums, zipped as build/release/brosk-VERSION.zip.
#
# Authenticode signing needs the certificate (PEM, with its chain), its key and a
# timestamp authority. Since June 2023 a publicly trusted code-signing key lives in
# hardware (a token, an HSM, a signing service) and is reached through PKCS#11; a key in a
# PEM file is for certificates of one's own:
#   BROSK_SIGN_CERT=cert.pem
#   BROSK_SIGN_KEY='pkcs11:token=TOKEN;object=KEY;type=private'
#   BROSK_SIGN_PKCS11_MODULE=/path/to/the/token's/pkcs11.so   (the token maker's library)
#   [BROSK_SIGN_PKCS11_ENGINE=.../engines-3/pkcs11.so]       (libengine-pkcs11-openssl)
#   [BROSK_SIGN_PASS=PIN]
#   BROSK_SIGN_TIMESTAMP=http://timestamp.authority            (RFC 3161)
#   scripts/release.sh
# or BROSK_SIGN_KEY=key.pem [BROSK_SIGN_PASS=the key's password] instead of the token.
# The timestamp is required: a signature without one dies with its certificate. The DLLs
# are signed first and the packages built around them, then signed too.
# With no certificate the script stops, unless BROSK_ALLOW_UNSIGNED=1 asks for an
# unsigned bundle, which both this script and the guide then say is NOT SIGNED.
# BROSK_RELEASE_DIR puts the bundle elsewhere.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)
out=$(realpath -m "${BROSK_RELEASE_DIR:-build/release}")
refuse() {
  echo "release: $*" >&2
  exit 2
}

# What signing needs is checked before anything is built.
signing=
if [ -n "${BROSK_SIGN_CERT:-}" ] || [ -n "${BROSK_SIGN_KEY:-}" ]; then
  [ -f "${BROSK_SIGN_CERT:-}" ] || refuse "BROSK_SIGN_CERT must name the certificate (a PEM file)"
  case ${BROSK_SIGN_KEY:-} in
    pkcs11:*)
      [ -f "${BROSK_SIGN_PKCS11_MODULE:-}" ] \
        || refuse "a pkcs11: key needs BROSK_SIGN_PKCS11_MODULE, the token's PKCS#11 library"
      engine=${BROSK_SIGN_PKCS11_ENGINE:-$(openssl version -e | sed -n 's/^ENGINESDIR: "\(.*\)"$/\1/p')/pkcs11.so}
      [ -f "$engine" ] || refuse "no PKCS#11 engine for OpenSSL at $engine (apt-get install libengine-pkcs11-openssl)"
      ;;
    *) [ -f "${BROSK_SIGN_KEY:-}" ] || refuse "BROSK_SIGN_KEY must name the key: a PEM file or a pkcs11: URI" ;;
  esac
  [ -n "${BROSK_SIGN_TIMESTAMP:-}" ] \
    || refuse "signing needs BROSK_SIGN_TIMESTAMP, an RFC 3161 timestamp authority: a signature without a timestamp dies with its certificate"
  signing=yes
elif [ "${BROSK_ALLOW_UNSIGNED:-}" != 1 ]; then
  refuse "no signing certificate (BROSK_SIGN_CERT, BROSK_SIGN_KEY); BROSK_ALLOW_UNSIGNED=1 makes an unsigned bundle"
fi

for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target brosk msi >/dev/null
done
version=$(sed -n 's/^version=//p' build/win64/brosk-msi.env)
name=brosk-$version
stage=$out/$name
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage/x86" "$stage/x64"
# A failed release leaves no half-made bundle.
trap '[ $? = 0 ] || rm -rf "$stage" "$out/$name.zip" "$out/unsigned.msi"' EXIT

sign() {  # IN OUT
  local options=(-certs "$BROSK_SIGN_CERT" -key "$BROSK_SIGN_KEY" -n "brosk $version" -h sha256
    -ts "$BROSK_SIGN_TIMESTAMP")
  case $BROSK_SIGN_KEY in
    pkcs11:*) options+=(-pkcs11engine "$engine" -pkcs11module "$BROSK_SIGN_PKCS11_MODULE") ;;
  esac
  [ -z "${BROSK_SIGN_PASS:-}" ] || options+=(-pass "$BROSK_SIGN_PASS")
  osslsigncode sign "${options[@]}" -in "$1" -out "$2" >/dev/null \
    || refuse "signing $(basename "$2") failed (osslsigncode above)"
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
    echo "Timestamped by: $BROSK_SIGN_TIMESTAMP"
  else
    echo "NOT SIGNED: these files carry no Authenticode signature; check them against SHA256SUMS."
  fi
  echo
  # The install guide, as text, without its part for developers.
  sed '/^## For developers/,$d' docs/install.md
} > "$stage/INSTALL.txt"
(cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum > SHA256SUMS)
(cd "$out" && zip -qr "$name.zip" "$name")

echo "release: $out/$name.zip"
[ -n "$signing" ] && echo "release: signed with $BROSK_SIGN_CERT, timestamped by $BROSK_SIGN_TIMESTAMP" \
  || echo "release: NOT SIGNED (BROSK_ALLOW_UNSIGNED=1)"
