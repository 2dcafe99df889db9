#!/usr/bin/env bash
# Builds one installer of brosk.dll from brosk.wxs with wixl (Debian's wixl) and mends
# with msibuild (Debian's msitools) what wixl 0.101 writes otherwise than Windows
# Installer wants:
# - the HKMU registry root as 4, where Windows Installer knows -1 (HKCU for a per-user,
#   HKLM for a per-machine install);
# - the Template summary's language as 1033 whatever the package's language is: it is set
#   to 3082, the package's own (msibuild -s sets subject, author, template and package
#   code together: the first two and the code are given back as wixl made them);
# - no version and language for the DLL in the File table: without them Windows
#   Installer treats brosk.dll as an unversioned file when it decides whether to
#   replace an installed one. Both are read from the DLL's own version record.
#
#   make-msi.sh OUT.msi ARCH VERSION PRODUCT_CODE DLL CLSID LIBID IID ICON [ABOUT_URL]
set -euo pipefail
out=$1 arch=$2 version=$3 product=$4 dll=$5 clsid=$6 libid=$7 iid=$8 icon=$9 about=${10:-}
wxs=$(dirname "$(realpath "$0")")/brosk.wxs
out=$(realpath -m "$out")
icon=$(realpath "$icon")
# The file version of the DLL (VS_FIXEDFILEINFO, found by its signature 0xFEEF04BD).
fileVersion=$(/usr/bin/python3 - "$dll" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    sys.exit("make-msi.sh: %s has no version record" % sys.argv[1])
ms, ls = struct.unpack_from("<II", data, at + 8)
print("%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
PY
)
# wixl takes file sources relative to the folder it runs in.
cd "$(dirname "$(realpath "$dll")")"
wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D ProductCode="$product" \
  -D Dll="$(basename "$dll")" -D Icon="$(realpath --relative-to=. "$icon")" -D Clsid="$clsid" -D Libid="$libid" -D Iid="$iid" \
  -D AboutUrl="$about" -o "$out.part" "$wxs"
msibuild "$out.part" -q 'UPDATE `Registry` SET `Root` = -1 WHERE `Root` = 4'
summary=$(msiinfo suminfo "$out.part")
field() { sed -n "s/^$1: //p" <<<"$summary"; }
template=$(field Template)
msibuild "$out.part" -s "$(field Subject)" "$(field Author)" "${template%%;*};3082" "$(field 'Revision number (UUID)')"
msibuild "$out.part" -q "UPDATE \`File\` SET \`Version\` = '$fileVersion', \`Language\` = '3082' WHERE \`File\` = 'BroskDll'"
mv "$out.part" "$out"
