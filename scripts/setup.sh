#!/usr/bin/env bash
# Installs what building and testing brosk needs on Debian 12 (as root, or through sudo):
# the native toolchain and libraries, MinGW-w64 and Wine for the Windows DLL, the readers
# and locales the tests use. Does nothing when everything is already in place.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev clang-format clang libclang-rt-14-dev valgrind locales python3-xlrd
  mingw-w64 mingw-w64-tools wine wine64 wine32:i386 xvfb xauth imagemagick
  wixl msitools osslsigncode zip unzip
)

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive

# Wine runs 32-bit Windows programs through Debian's i386 packages.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
  updated=no
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ "${updated:-}" = no ]; then
  echo "setup: installing ${missing[*]}" >&2
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The tests and the example run under Spanish, English and French conventions.
locales=(es_ES en_US fr_FR)
for l in "${locales[@]}"; do
  locale -a 2>/dev/null | grep -qx "$l.utf8" && continue
  echo "setup: generating the $l.UTF-8 locale" >&2
  grep -qx "$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  regenerate=yes
done
[ -z "${regenerate:-}" ] || "${sudo[@]}" locale-gen >/dev/null

# widl needs the Windows IDL files (oaidl.idl, ...), which only Debian's libwine-dev has;
# they are unpacked into the build folder rather than installed.
idl=build/deps/libwine-dev/usr/include/wine/wine/windows
if [ ! -f "$idl/oaidl.idl" ]; then
  echo "setup: unpacking the Windows IDL files of libwine-dev into build/deps" >&2
  mkdir -p build/deps
  (cd build/deps && rm -f libwine-dev_*.deb && apt-get download libwine-dev 2>/dev/null &&
    dpkg-deb -x libwine-dev_*.deb libwine-dev && rm -f libwine-dev_*.deb)
fi
