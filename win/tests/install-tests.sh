#!/usr/bin/env bash
# Installing and removing brosk as Windows software, under Wine, one bitness at a time:
# the MSI package per user (no elevation) and per machine, an upgrade over an older
# version, regsvr32 per user, and both bitnesses side by side. After each removal the
# classes keys of both scopes must be as before, and no file of brosk left.
#
# Wine 8 shows only the machine's keys under HKEY_CLASSES_ROOT, so an object registered
# per user cannot be made there by CreateObject; brosk-drive --user-registry makes it the
# way Windows' COM resolves a per-user registration, from HKCU\Software\Classes.
#
#   install-tests.sh 32|64 WINDOWS_BUILD LINUX_BUILD SOURCE
set -uo pipefail
source "$(dirname "$0")/wine-lib.sh" "$1" "$2" "$3" "$4" install-test
source "$build/brosk-msi.env"  # arch, version, product, clsid, libid, iid
msi=$build/brosk-$version-$arch.msi
# Where the two scopes put the DLL (Wine names the user's profile after the Linux user).
userDir=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/brosk-$arch
if [ "$arch" = x64 ]; then machineDir="$WINEPREFIX/drive_c/Program Files/brosk"; else machineDir="$WINEPREFIX/drive_c/Program Files (x86)/brosk"; fi
server="Software\\Classes\\CLSID\\$clsid\\InprocServer32"

# The link's host objects come from kdsim, registered per machine.
w regsvr32 /s "$(winpath "$kdsim")" || fail "regsvr32 kdsim"
export KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json")

# Every Windows profile has HKCU\Software\Classes, and a Windows on which Windows
# Installer and the script host have run has their folders and interfaces under
# HKLM\Software\Classes; a new Wine prefix has none yet. A first install, script and
# removal, not checked, makes them.
w reg add 'HKCU\Software\Classes' /f >/dev/null
w msiexec /i "$(winpath "$msi")" ALLUSERS=1 /qn
w cscript //nologo "$(winpath "$src/win/tests/create.vbs")" >/dev/null
wOther cscript //nologo "$(winpath "$src/win/tests/create.vbs")" >/dev/null
w msiexec /x "$(winpath "$msi")" ALLUSERS=1 /qn

# Both scopes' classes keys (with the other view's, under Wow6432Node), as text.
snapshot() {  # FILE
  local root
  : > "$1"
  for root in HKCU HKLM; do
    w reg export "$root\\Software\\Classes" "$(winpath "$1.$root")" /y >/dev/null
    iconv -f UTF-16 -t UTF-8 "$1.$root" | tr -d '\r' >> "$1"
    rm -f "$1.$root"
  done
}
unchanged() {  # WHAT BEFORE_FILE
  snapshot "$work/after.reg"
  if diff -u "$2" "$work/after.reg" > "$work/registry.diff"; then
    pass "$1 leaves the classes keys as they were"
  else
    fail "$1 leaves keys behind: $(grep '^[-+][^-+]' "$work/registry.diff" | head -5 | tr '\n' ' ')"
  fi
}
registered() {  # ROOT: the path the class names under ROOT, or nothing
  w reg query "$1\\$server" /ve 2>/dev/null | grep -o '[A-Z]:\\.*brosk\.dll'
}
links() {  # WHAT DRIVE_OPTIONS...: a whole link with the installed plug-in succeeds
  local what=$1
  shift
  rm -rf "$orders"
  w "$drive" "$@" > "$work/link.txt" \
    && grep -qx '\[¡¡Exito!!\] El enlace se ha realizado correctamente' "$work/link.txt" \
    && pass "$what: the host makes brosk.Plugin and links" || fail "$what: $(grep -v '^\[dialog' "$work/link.txt" | tr '\n' ' ')"
}

[ -f "$msi" ] && pass "the package $(basename "$msi") is built" || fail "no package $msi"

# --- Per user, without elevation ---------------------------------------------------------
snapshot "$work/before.reg"
w msiexec /i "$(winpath "$msi")" /qn && pass "per user: msiexec /i" || fail "per user: msiexec /i failed"
[ -f "$userDir/brosk.dll" ] && pass "per user: brosk.dll in the user's local application data" || fail "per user: no $userDir/brosk.dll"
case $(registered HKCU) in *'\AppData\Local\brosk-'$arch'\brosk.dll') hkcu=ok ;; *) hkcu= ;; esac
[ -n "$hkcu" ] && [ -z "$(registered HKLM)" ] && pass "per user: registered under HKCU only, naming the installed DLL" \
  || fail "per user: HKCU names '$(registered HKCU)', HKLM '$(registered HKLM)'"
links "per user" --user-registry
w msiexec /x "$(winpath "$msi")" /qn && pass "per user: msiexec /x" || fail "per user: msiexec /x failed"
[ ! -e "$userDir" ] && pass "per user: the folder is gone" || fail "per user: $userDir is still there"
unchanged "per user: removal" "$work/before.reg"

# --- Per machine ----------------------------------------------------------------------------
w msiexec /i "$(winpath "$msi")" ALLUSERS=1 /qn && pass "per machine: msiexec /i ALLUSERS=1" || fail "per machine: msiexec /i failed"
[ -f "$machineDir/brosk.dll" ] && pass "per machine: brosk.dll in Program Files" || fail "per machine: no $machineDir/brosk.dll"
[ -n "$(registered HKLM)" ] && [ -z "$(registered HKCU)" ] && pass "per machine: registered under HKLM only" \
  || fail "per machine: HKLM '$(registered HKLM)', HKCU '$(registered HKCU)'"
grep -qx 'OnAppStartAfter: -1' <<<"$(w cscript //nologo "$(winpath "$src/win/tests/create.vbs")")" \
  && pass "per machine: CreateObject(\"brosk.Plugin\") from VBScript" || fail "per machine: VBScript cannot create brosk.Plugin"
links "per machine"
w msiexec /x "$(winpath "$msi")" ALLUSERS=1 /qn && pass "per machine: msiexec /x" || fail "per machine: msiexec /x failed"
[ ! -e "$machineDir" ] && pass "per machine: the folder is gone" || fail "per machine: $machineDir is still there"
unchanged "per machine: removal" "$work/before.reg"

# --- An upgrade over an older version -------------------------------------------------------
# The same package as version 0.99 (its own product code), then this one over it: the
# older product is removed by the newer one.
old=$work/brosk-0.99-$arch.msi
bash "$src/win/make-msi.sh" "$old" "$arch" 0.99 "{$(cat /proc/sys/kernel/random/uuid | tr a-z A-Z)}" "$dll" "$clsid" "$libid" "$iid" \
  && pass "upgrade: an older package (0.99) is built" || fail "upgrade: the older package cannot be built"
w msiexec /i "$(winpath "$old")" /qn && w msiexec /i "$(winpath "$msi")" /qn && pass "upgrade: 0.99, then $version over it" \
  || fail "upgrade: installing failed"
installed=$(w uninstaller --list | grep "|||brosk ($arch)$" | cut -d'|' -f1 | tr '\n' ' ')
[ "$installed" = "$product " ] && pass "upgrade: only $version is installed" || fail "upgrade: installed: $installed"
links "upgrade" --user-registry
w msiexec /x "$(winpath "$msi")" /qn
[ ! -e "$userDir" ] && pass "upgrade: removing $version leaves no file" || fail "upgrade: $userDir is still there"
unchanged "upgrade: removal" "$work/before.reg"

# --- regsvr32 per user -------------------------------------------------------------------
for round in 1 2; do  # both directions twice: idempotent
  w regsvr32 /s /n /i:user "$(winpath "$dll")" || fail "regsvr32 /n /i:user (round $round)"
done
[ -n "$(registered HKCU)" ] && [ -z "$(registered HKLM)" ] && pass "regsvr32 /n /i:user registers under HKCU only" \
  || fail "regsvr32 /n /i:user: HKCU '$(registered HKCU)', HKLM '$(registered HKLM)'"
links "regsvr32 /n /i:user" --user-registry
# The machine's registration is not the user's business: removing one leaves the other.
w regsvr32 /s "$(winpath "$dll")"
for round in 1 2; do
  w regsvr32 /s /u /n /i:user "$(winpath "$dll")" || fail "regsvr32 /u /n /i:user (round $round)"
done
[ -z "$(registered HKCU)" ] && grep -qx 'OnAppStartAfter: -1' <<<"$(w cscript //nologo "$(winpath "$src/win/tests/create.vbs")")" \
  && pass "regsvr32 /u /n /i:user leaves the machine's registration" || fail "regsvr32 /u /n /i:user: the machine's registration is gone"
w regsvr32 /s /u "$(winpath "$dll")"
unchanged "regsvr32 per user and per machine, then /u of both" "$work/before.reg"

# --- Both bitnesses side by side ---------------------------------------------------------
otherMsi=$(ls "$otherBuild"/brosk-*.msi 2>/dev/null | head -1)
if [ -n "$otherMsi" ]; then
  wOther regsvr32 /s "$(winpath "$otherBuild/win/kdsim.dll")"
  w msiexec /i "$(winpath "$msi")" ALLUSERS=1 /qn && wOther msiexec /i "$(winpath "$otherMsi")" ALLUSERS=1 /qn \
    && pass "side by side: both packages installed per machine" || fail "side by side: installing both failed"
  w msiexec /x "$(winpath "$msi")" ALLUSERS=1 /qn
  grep -qx 'OnAppStartAfter: -1' <<<"$(wOther cscript //nologo "$(winpath "$src/win/tests/create.vbs")")" \
    && pass "side by side: with one removed the other is still creatable" || fail "side by side: the other bitness is gone too"
  grep -qx 'CreateObject: 429' <<<"$(w cscript //nologo "$(winpath "$src/win/tests/unregistered.vbs")")" \
    && pass "side by side: the removed one is not" || fail "side by side: the removed bitness is still creatable"
  wOther msiexec /x "$(winpath "$otherMsi")" ALLUSERS=1 /qn
  wOther regsvr32 /s /u "$(winpath "$otherBuild/win/kdsim.dll")"
  w regsvr32 /s "$(winpath "$kdsim")"
  unchanged "side by side: removing both" "$work/before.reg"
else
  echo "skip side by side: the other bitness's package is not built ($otherBuild)"
fi

w regsvr32 /s /u "$(winpath "$kdsim")"
echo "$failures failure(s)"
[ "$failures" = 0 ]
