#!/usr/bin/env bash
# Installing and removing brosk as Windows software, under Wine, one bitness at a time:
# the MSI package per user (no elevation) and per machine, an upgrade over an older
# version, an upgrade while a host has the DLL loaded, the refusals (the other scope
# installed already, a per-user install on a terminal server), regsvr32 per user, and
# both bitnesses side by side. After each removal the classes keys of both scopes must be
# as before, and no file of brosk left.
#
# Where Wine is not Windows:
# - Wine 8 shows only the machine's keys under HKEY_CLASSES_ROOT, so an object registered
#   per user cannot be made there by CreateObject; brosk-drive --user-registry makes it
#   the way Windows' COM resolves a per-user registration, from HKCU\Software\Classes.
# - Wine's msi takes ALLUSERS=2 for per machine whatever MSIINSTALLPERUSER says (Windows 7
#   and later install the package per user by default), and does not move the program
#   files folder of a per-user install to %LOCALAPPDATA%\Programs. The per-user install
#   is asked for with ALLUSERS="", and its DLL is in the program files folder.
#
#   install-tests.sh 32|64 WINDOWS_BUILD LINUX_BUILD SOURCE [SECTION]
set -uo pipefail
source "$(dirname "$0")/wine-lib.sh" "$1" "$2" "$3" "$4" install-test "${5:-}"
source "$build/brosk-msi.env"  # arch, version, product, clsid, libid, iid
msi=$build/brosk-$version-$arch.msi
# Where the package puts the DLL, under Wine in both scopes.
if [ "$arch" = x64 ]; then productDir="$WINEPREFIX/drive_c/Program Files/brosk-x64"; else productDir="$WINEPREFIX/drive_c/Program Files (x86)/brosk-x86"; fi
installDir=$productDir
server="Software\\Classes\\CLSID\\$clsid\\InprocServer32"
# ALLUSERS="" for Wine's msiexec, which reads the value from the next argument.
perUser=(ALLUSERS= '')
# Another version of this package: VERSION, the DLL it holds, the file to write.
package() {
  bash "$src/win/make-msi.sh" "$3" "$arch" "$1" "{$(tr a-z A-Z < /proc/sys/kernel/random/uuid)}" "$2" \
    "$clsid" "$libid" "$iid" "$icon" "$about"
}

# The link's host objects come from kdsim, registered per machine.
w regsvr32 /s "$(winpath "$kdsim")" || fail "regsvr32 kdsim"
export KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json")

# Every Windows profile has HKCU\Software\Classes, and a Windows on which Windows
# Installer and the script host have run has their folders and interfaces under
# HKLM\Software\Classes; a new Wine prefix has none yet. A first install, script and
# removal, not checked, makes them: once per prefix, as each section leaves the keys as
# they were.
# (The other bitness's script host only where 32-bit programs start: the marker says
# whether it ran, and a run that can start it makes up for one that could not.)
installerReady=$WINEPREFIX/.brosk-installer-ready-$bits
if [ ! -f "$installerReady" ] || [ "$(cat "$installerReady")-$can32" = no-yes ]; then
  w reg add 'HKCU\Software\Classes' /f >/dev/null
  w msiexec /i "$(winpath "$msi")" ALLUSERS=1 /qn /norestart
  w cscript //nologo "$(winpath "$src/win/tests/create.vbs")" >/dev/null
  [ "$can32" = no ] || wOther cscript //nologo "$(winpath "$src/win/tests/create.vbs")" >/dev/null
  w msiexec /x "$(winpath "$msi")" ALLUSERS=1 /qn /norestart
  echo "$can32" > "$installerReady"
fi

# Both scopes' classes keys (with the other view's, under Wow6432Node), as text, read from
# the prefix's registry files once the Wine server has ended and written them (a reg
# export of the machine's classes takes seconds): each key's lines without its time stamps.
snapshot() {  # FILE
  local file
  wineserver -k; wineserver -w
  for file in user.reg system.reg; do
    echo "== $file"
    awk '/^\[/ { keep = index($0, "[Software\\\\Classes") == 1; if (keep) sub(/\] [0-9]+$/, "]") }
         keep && !/^#time=/' "$WINEPREFIX/$file"
  done > "$1"
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

# The package as version 0.99 (its own product code) around the DLL as version 0.99.0.0.
old=$work/brosk-0.99-$arch.msi
olderPackage() {
  [ -f "$old" ] && return 0
  cp "$dll" "$work/old.dll"
  /usr/bin/python3 - "$work/old.dll" <<'PY' || return 1
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
at = data.find(struct.pack("<I", 0xFEEF04BD))
struct.pack_into("<IIII", data, at + 8, 99, 0, 99, 0)  # file and product version 0.99.0.0
open(sys.argv[1], "wb").write(data)
PY
  package 0.99 "$work/old.dll" "$old"
}

snapshot "$work/before.reg"
[ -f "$msi" ] && pass "the package $(basename "$msi") is built" || fail "no package $msi"

# --- Per user, without elevation ---------------------------------------------------------
if section user; then
check "per user: msiexec /i" w msiexec /i "$(winpath "$msi")" /qn /norestart "${perUser[@]}"
[ -f "$installDir/brosk.dll" ] && pass "per user: brosk.dll in brosk-$arch" || fail "per user: no $installDir/brosk.dll"
[ -n "$(registered HKCU)" ] && [ -z "$(registered HKLM)" ] && pass "per user: registered under HKCU only, naming the installed DLL" \
  || fail "per user: HKCU names '$(registered HKCU)', HKLM '$(registered HKLM)'"
links "per user" --user-registry
check "per user: msiexec /x" w msiexec /x "$(winpath "$msi")" /qn /norestart "${perUser[@]}"
check "per user: the folder is gone" [ ! -e "$productDir" ]
unchanged "per user: removal" "$work/before.reg"
fi  # user

# --- Per machine ----------------------------------------------------------------------------
if section machine; then
check "per machine: msiexec /i ALLUSERS=1" w msiexec /i "$(winpath "$msi")" ALLUSERS=1 /qn /norestart
[ -f "$installDir/brosk.dll" ] && pass "per machine: brosk.dll in Program Files" || fail "per machine: no $installDir/brosk.dll"
[ -n "$(registered HKLM)" ] && [ -z "$(registered HKCU)" ] && pass "per machine: registered under HKLM only" \
  || fail "per machine: HKLM '$(registered HKLM)', HKCU '$(registered HKCU)'"
grep -qx 'OnAppStartAfter: -1' <<<"$(w cscript //nologo "$(winpath "$src/win/tests/create.vbs")")" \
  && pass "per machine: CreateObject(\"brosk.Plugin\") from VBScript" || fail "per machine: VBScript cannot create brosk.Plugin"
links "per machine"
check "per machine: msiexec /x" w msiexec /x "$(winpath "$msi")" ALLUSERS=1 /qn /norestart
check "per machine: the folder is gone" [ ! -e "$productDir" ]
unchanged "per machine: removal" "$work/before.reg"
fi  # machine

# --- An upgrade over an older version -------------------------------------------------------
# The package as version 0.99 (its own product code) around the DLL as version 0.99.0.0,
# then this one over it: the older product is removed by the newer, the DLL replaced.
if section upgrade; then
olderPackage && pass "upgrade: an older package (0.99) is built" || fail "upgrade: the older package cannot be built"
w msiexec /i "$(winpath "$old")" /qn /norestart "${perUser[@]}" && w msiexec /i "$(winpath "$msi")" /qn /norestart "${perUser[@]}" \
  && pass "upgrade: 0.99, then $version over it" || fail "upgrade: installing failed"
installed=$(w uninstaller --list | grep "|||brosk ($arch)$" | cut -d'|' -f1 | tr '\n' ' ')
[ "$installed" = "$product " ] && pass "upgrade: only $version is installed" || fail "upgrade: installed: $installed"
same "upgrade: the DLL is $version's" "$dll" "$installDir/brosk.dll"
links "upgrade" --user-registry
w msiexec /x "$(winpath "$msi")" /qn /norestart "${perUser[@]}"
check "upgrade: removing $version leaves no file" [ ! -e "$productDir" ]
unchanged "upgrade: removal" "$work/before.reg"
fi  # upgrade

# --- An upgrade while a host has the DLL loaded ----------------------------------------------
# The host links once, keeps the plug-in, and links again after the upgrade. A loaded DLL
# cannot be replaced: the silent upgrade ends with 3010 (restart required; 194 as a Unix
# exit status) and the new DLL takes its place at the restart (PendingFileRenameOperations),
# which is why the install guide says to close the host first. The running host goes on with the
# DLL it has; after the restart (wineboot -r) a new host has the new one.
if section inuse; then
olderPackage || fail "in use: the older package cannot be built"
w msiexec /i "$(winpath "$old")" ALLUSERS=1 /qn /norestart || fail "in use: 0.99 per machine cannot be installed"
rm -f "$work/upgraded" "$work/in-use.txt"
rm -rf "$orders"
# Not through w: its output is read while the host runs.
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") timeout 180 "$wine" "$drive" --links 2 \
  --wait-between "$(winpath "$work/upgraded")" > "$work/in-use.txt" 2>/dev/null &
hostPid=$!
for _ in $(seq 600); do grep -q '^SceneCheck:' "$work/in-use.txt" 2>/dev/null && break; sleep 0.1; done
succeeded() { grep -c '^\[¡¡Exito!!\] El enlace se ha realizado correctamente' "$work/in-use.txt"; }
[ "$(succeeded)" = 1 ] && pass "in use: the host has linked with 0.99 and keeps it loaded" \
  || fail "in use: the first link: $(tr '\r\n' '  ' < "$work/in-use.txt")"
w msiexec /i "$(winpath "$msi")" ALLUSERS=1 /qn /norestart
upgradeStatus=$?
touch "$work/upgraded"
wait "$hostPid"
hostStatus=$?
[ "$upgradeStatus" = 194 ] && pass "in use: the upgrade asks for a restart (3010) instead of closing the host" \
  || fail "in use: the upgrade ended with $upgradeStatus"
[ "$hostStatus" = 0 ] && [ "$(succeeded)" = 2 ] \
  && pass "in use: the running host links again after the upgrade" || fail "in use: the host after the upgrade: $(tr '\r\n' '  ' < "$work/in-use.txt")"
same "in use: until the restart the DLL in place is 0.99's" "$work/old.dll" "$installDir/brosk.dll"
w wineboot -r
same "in use: after the restart the DLL in place is $version's" "$dll" "$installDir/brosk.dll"
links "in use: a host started after the restart"
w msiexec /x "$(winpath "$msi")" ALLUSERS=1 /qn /norestart
check "in use: removing $version leaves no file" [ ! -e "$productDir" ]
unchanged "in use: removal" "$work/before.reg"
fi  # inuse

# --- One scope per PC ----------------------------------------------------------------------
# A newer version in the other scope is refused: a per-user registration would hide the
# machine's for that user (and the machine's an older per-user one for everybody else).
if section scopes; then
newer=$work/brosk-9.00-$arch.msi
package 9.00 "$dll" "$newer" || fail "scopes: a newer package cannot be built"
w msiexec /i "$(winpath "$msi")" ALLUSERS=1 /qn /norestart
w msiexec /i "$(winpath "$newer")" /qn /norestart "${perUser[@]}" \
  && fail "scopes: a per-user install over a per-machine one was not refused" \
  || { [ -z "$(registered HKCU)" ] && pass "scopes: a per-user install over a per-machine one is refused" \
         || fail "scopes: refused, but HKCU names '$(registered HKCU)'"; }
w msiexec /x "$(winpath "$msi")" ALLUSERS=1 /qn /norestart
w msiexec /i "$(winpath "$msi")" /qn /norestart "${perUser[@]}"
w msiexec /i "$(winpath "$newer")" ALLUSERS=1 /qn /norestart \
  && fail "scopes: a per-machine install over a per-user one was not refused" \
  || { [ -z "$(registered HKLM)" ] && pass "scopes: a per-machine install over the user's per-user one is refused" \
         || fail "scopes: refused, but HKLM names '$(registered HKLM)'"; }
w msiexec /x "$(winpath "$msi")" /qn /norestart "${perUser[@]}"
unchanged "scopes: removal" "$work/before.reg"
fi  # scopes

# --- Terminal servers ----------------------------------------------------------------------
# Windows Installer sets TerminalServer itself; no command line can. The same package
# with the condition reading a public property instead shows that the condition refuses
# a per-user install and lets a per-machine one through.
if section terminal; then
ts=$work/brosk-ts-$arch.msi
cp "$msi" "$ts"
tsMessage=$(msiinfo export "$msi" LaunchCondition | tr -d '\r' | sed -n 's/^ALLUSERS OR NOT TerminalServer\t//p')
msibuild "$ts" -q "DELETE FROM \`LaunchCondition\` WHERE \`Condition\` = 'ALLUSERS OR NOT TerminalServer'" \
  -q "INSERT INTO \`LaunchCondition\` (\`Condition\`, \`Description\`) VALUES ('ALLUSERS OR NOT TESTTERMINALSERVER', '$tsMessage')" \
  || fail "terminal server: the test package cannot be made"
w msiexec /i "$(winpath "$ts")" TESTTERMINALSERVER=1 /qn /norestart "${perUser[@]}" \
  && fail "terminal server: a per-user install was not refused" \
  || { [ -z "$(registered HKCU)" ] && [ ! -e "$productDir" ] && pass "terminal server: a per-user install is refused, nothing installed" \
         || fail "terminal server: refused, but something was installed"; }
w msiexec /i "$(winpath "$ts")" TESTTERMINALSERVER=1 ALLUSERS=1 /qn /norestart \
  && [ -n "$(registered HKLM)" ] && pass "terminal server: a per-machine install goes through" || fail "terminal server: the per-machine install failed"
w msiexec /x "$(winpath "$ts")" ALLUSERS=1 /qn /norestart
unchanged "terminal server: removal" "$work/before.reg"
fi  # terminal

# --- regsvr32 per user -------------------------------------------------------------------
if section regsvr32; then
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
fi  # regsvr32

# --- Both bitnesses side by side ---------------------------------------------------------
if section bitnesses; then
otherMsi=$(ls "$otherBuild"/brosk-*.msi 2>/dev/null | head -1)
if [ -n "$otherMsi" ]; then
  wOther regsvr32 /s "$(winpath "$otherBuild/win/kdsim.dll")"
  w msiexec /i "$(winpath "$msi")" ALLUSERS=1 /qn /norestart && wOther msiexec /i "$(winpath "$otherMsi")" ALLUSERS=1 /qn /norestart \
    && pass "side by side: both packages installed per machine" || fail "side by side: installing both failed"
  w msiexec /x "$(winpath "$msi")" ALLUSERS=1 /qn /norestart
  grep -qx 'OnAppStartAfter: -1' <<<"$(wOther cscript //nologo "$(winpath "$src/win/tests/create.vbs")")" \
    && pass "side by side: with one removed the other is still creatable" || fail "side by side: the other bitness is gone too"
  grep -qx 'CreateObject: 429' <<<"$(w cscript //nologo "$(winpath "$src/win/tests/unregistered.vbs")")" \
    && pass "side by side: the removed one is not" || fail "side by side: the removed bitness is still creatable"
  wOther msiexec /x "$(winpath "$otherMsi")" ALLUSERS=1 /qn /norestart
  wOther regsvr32 /s /u "$(winpath "$otherBuild/win/kdsim.dll")"
  w regsvr32 /s "$(winpath "$kdsim")"
  unchanged "side by side: removing both" "$work/before.reg"
else
  echo "skip side by side: the other bitness's package is not built ($otherBuild)"
fi
fi  # bitnesses

w regsvr32 /s /u "$(winpath "$kdsim")"
finish
