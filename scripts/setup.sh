#!/usr/bin/env bash
# Installs what building and testing brosk needs on Debian 12 (as root, or through sudo).
#
#   scripts/setup.sh linux   the Linux build and the example: compilers, CMake, the test
#                            and benchmark libraries, the workbook reader, es_ES.UTF-8
#   scripts/setup.sh all     everything the tests need besides: clang for the fuzzers,
#                            valgrind, MinGW-w64 and Wine (with the i386 architecture) for
#                            the Windows DLL, wixl, msitools and osslsigncode for the
#                            packages, SoftHSM and OpenSSL's PKCS#11 engine for the
#                            signing tests, the en_US and fr_FR locales, and the Windows IDL
#                            files of libwine-dev (unpacked into build/deps for widl)
#
# Does nothing, and needs no network, when everything is in place already. A failure is
# said in one line that names what is missing (apt's own output in build/setup.log).
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-all}
case $mode in linux | all) ;; *) echo "usage: scripts/setup.sh linux|all" >&2; exit 2 ;; esac

packages=(
  build-essential cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev python3-xlrd python3-olefile locales
)
locales=(es_ES)
if [ "$mode" = all ]; then
  packages+=(
    clang-format clang libclang-rt-14-dev valgrind openssl
    mingw-w64 mingw-w64-tools wine wine64 wine32:i386 xvfb xauth imagemagick
    wixl msitools osslsigncode softhsm2 libengine-pkcs11-openssl zip unzip
  )
  locales+=(en_US fr_FR)
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
mkdir -p build
log=build/setup.log

# Wine runs 32-bit Windows programs through Debian's i386 packages.
if [ "$mode" = all ] && ! grep -qx i386 <<<"$(dpkg --print-foreign-architectures)"; then
  "${sudo[@]}" dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  grep -q "ok installed" <<<"$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  if ! { "${sudo[@]}" apt-get update -q && "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; } > "$log" 2>&1; then
    echo "setup: cannot install ${missing[*]} (apt-get failed; see $log)" >&2
    exit 1
  fi
fi

regenerate=
for l in "${locales[@]}"; do
  grep -qx "$l.utf8" <<<"$(locale -a 2>/dev/null)" && continue
  echo "setup: generating the $l.UTF-8 locale" >&2
  grep -qx "$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  regenerate=yes
done
if [ -n "$regenerate" ] && ! "${sudo[@]}" locale-gen > "$log" 2>&1; then
  echo "setup: cannot generate the locales ${locales[*]} (locale-gen failed; see $log)" >&2
  exit 1
fi

# widl needs the Windows IDL files (oaidl.idl, ...), which only Debian's libwine-dev has;
# they are unpacked into the build folder rather than installed.
idl=build/deps/libwine-dev/usr/include/wine/wine/windows
if [ "$mode" = all ] && [ ! -f "$idl/oaidl.idl" ]; then
  echo "setup: unpacking the Windows IDL files of libwine-dev into build/deps" >&2
  mkdir -p build/deps
  if ! (cd build/deps && rm -f libwine-dev_*.deb && apt-get download libwine-dev &&
    dpkg-deb -x libwine-dev_*.deb libwine-dev && rm -f libwine-dev_*.deb) > "$log" 2>&1; then
    echo "setup: cannot download libwine-dev, whose Windows IDL files widl needs (see $log)" >&2
    exit 1
  fi
fi
