#!/usr/bin/env bash
# Builds one installer of brosk.dll from brosk.wxs with wixl (Debian's wixl) and mends
# it with msibuild (Debian's msitools): wixl 0.101 writes the HKMU registry root as 4,
# where Windows Installer knows -1 (HKCU for a per-user, HKLM for a per-machine install).
#
#   make-msi.sh OUT.msi ARCH VERSION PRODUCT_CODE DLL CLSID LIBID IID
set -euo pipefail
out=$1 arch=$2 version=$3 product=$4 dll=$5 clsid=$6 libid=$7 iid=$8
wxs=$(dirname "$(realpath "$0")")/brosk.wxs
out=$(realpath -m "$out")
# wixl takes file sources relative to the folder it runs in.
cd "$(dirname "$(realpath "$dll")")"
wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D ProductCode="$product" \
  -D Dll="$(basename "$dll")" -D Clsid="$clsid" -D Libid="$libid" -D Iid="$iid" -o "$out.part" "$wxs"
msibuild "$out.part" -q 'UPDATE `Registry` SET `Root` = -1 WHERE `Root` = 4'
mv "$out.part" "$out"
