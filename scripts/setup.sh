#!/usr/bin/env bash
# Installs what building and testing brosk needs on Debian 12 (as root, or through sudo).
#
#   scripts/setup.sh linux   the Linux build and the example: compilers, CMake, the test
#                            and benchmark libraries, the workbook reader, es_ES.UTF-8
#   scripts/setup.sh all     everything the tests need besides: clang for the fuzzers,
#                            valgrind, MinGW-w64 and Wine for the Windows DLL, wixl, msitools
#                            and osslsigncode for the packages, SoftHSM and OpenSSL's PKCS#11
#                            engine for the signing tests, the en_US and fr_FR locales, the
#                            Windows IDL files of libwine-dev (unpacked into build/deps for
#                            widl); and for the 32-bit DLL, Wine's 32-bit half (wine32, with
#                            the i386 architecture) and, where this machine runs no 32-bit
#                            programs, QEMU's i386 emulator (taken into build/deps/qemu)
#
# Does nothing, and needs no network, when everything is in place already. A failure is
# said in one line that names what is missing (apt's own output in build/setup.log). The
# 32-bit half is skipped, with a line that says why, where 32-bit programs can neither
# start nor be emulated or where it cannot be had; its tests are then skipped too.
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
    mingw-w64 mingw-w64-tools wine wine64 xvfb xauth imagemagick
    wixl msitools osslsigncode softhsm2 libengine-pkcs11-openssl zip unzip
  )
  locales+=(en_US fr_FR)
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
mkdir -p build
log=build/setup.log
: > "$log"

# Installs PACKAGES...; the package lists are brought up to date first, once. A list that
# cannot be had (a mirror in the middle of a sync) does not stop what the others can install.
updated=
update() {
  [ -z "$updated" ] || return 0
  "${sudo[@]}" apt-get update -q >> "$log" 2>&1 || echo "setup: some package lists could not be updated (see $log)" >&2
  updated=yes
}
install() { update && "${sudo[@]}" apt-get install -y -q --no-install-recommends "$@" >> "$log" 2>&1; }
installed() { grep -q "ok installed" <<<"$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)"; }

missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  if ! install "${missing[@]}"; then
    echo "setup: cannot install ${missing[*]} (apt-get failed; see $log)" >&2
    exit 1
  fi
fi

# The 32-bit DLL runs in Wine's 32-bit half, whose loader is an i386 Linux program. Where the
# kernel starts none, the tests run it under QEMU's user-mode emulator (win/tests/i386.sh):
# Debian 13's static qemu-i386 (Debian 12's 7.2 ignores MAP_FIXED_NOREPLACE, and Wine then
# takes minutes to start each process), taken out of its package into build/deps/qemu
# through a private apt configuration: nothing is installed or registered system-wide.
qemu=build/deps/qemu/qemu-i386
fetchQemu() {
  local apt=$PWD/build/deps/qemu/apt uri
  rm -rf "$apt" && mkdir -p "$apt/lists/partial" "$apt/archives/partial" "$apt/parts"
  # Debian 13 from the mirror this machine's Debian comes from (named in the package lists).
  update
  uri=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 2>/dev/null |
    awk -v r="$(. /etc/os-release && echo "$VERSION_CODENAME")" '$2 == r { print $1; exit }')
  [ -n "$uri" ] || return 1
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri trixie main" > "$apt/sources.list"
  cat > "$apt/apt.conf" <<CONF
Dir::Etc::SourceList "$apt/sources.list";
Dir::Etc::SourceParts "$apt/parts";
Dir::State::Lists "$apt/lists";
Dir::Cache "$apt";
Dir::Cache::archives "$apt/archives";
Dir::State::status "/var/lib/dpkg/status";
APT::Architectures { "amd64"; };
APT::Sandbox::User "root";
CONF
  (export APT_CONFIG=$apt/apt.conf && apt-get update -q && cd "$apt" && apt-get download qemu-user) >> "$log" 2>&1 &&
    dpkg-deb --fsys-tarfile "$apt"/qemu-user_*.deb | tar -x -O ./usr/bin/qemu-i386 > "$qemu.new" &&
    chmod +x "$qemu.new" && "$qemu.new" --version >> "$log" 2>&1 && mv "$qemu.new" "$qemu" && rm -rf "$apt"
}
if [ "$mode" = all ]; then
  machine=$(bash win/tests/i386.sh --machine)
  if [ "${machine%%:*}" = none ]; then
    echo "setup: skipped the 32-bit DLL's Wine: ${machine#none: }" >&2
  else
    if ! installed wine32:i386; then
      echo "setup: installing wine32:i386 (32-bit programs here: $machine)" >&2
      if ! grep -qx i386 <<<"$(dpkg --print-foreign-architectures)"; then
        "${sudo[@]}" dpkg --add-architecture i386
        updated=
      fi
      install wine32:i386 ||
        echo "setup: skipped the 32-bit DLL's Wine: wine32:i386 cannot be installed (apt-get failed; see $log)" >&2
    fi
    if [ "$machine" = emulable ] && installed wine32:i386 && [ ! -x "$qemu" ]; then
      echo "setup: taking qemu-i386 out of Debian 13's qemu-user into build/deps/qemu" >&2
      mkdir -p build/deps/qemu
      fetchQemu || echo "setup: skipped the 32-bit DLL's Wine: Debian 13's qemu-user cannot be had (see $log)" >&2
    fi
  fi
fi

regenerate=
for l in "${locales[@]}"; do
  grep -qx "$l.utf8" <<<"$(locale -a 2>/dev/null)" && continue
  echo "setup: generating the $l.UTF-8 locale" >&2
  grep -qx "$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  regenerate=yes
done
if [ -n "$regenerate" ] && ! "${sudo[@]}" locale-gen >> "$log" 2>&1; then
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
    dpkg-deb -x libwine-dev_*.deb libwine-dev && rm -f libwine-dev_*.deb) >> "$log" 2>&1; then
    echo "setup: cannot download libwine-dev, whose Windows IDL files widl needs (see $log)" >&2
    exit 1
  fi
fi
