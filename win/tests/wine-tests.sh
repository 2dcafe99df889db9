#!/usr/bin/env bash
# The real brosk.dll under Wine, one bitness at a time: exports and imports, registration
# with regsvr32, the version record, DllCanUnloadNow, late-bound calls from VBScript, whole
# links driven through window messages by brosk-drive.exe (workbooks and call trace
# compared byte for byte with the Linux build), and unregistration.
#
#   wine-tests.sh 32|64 WINDOWS_BUILD LINUX_BUILD SOURCE
set -uo pipefail
source "$(dirname "$0")/wine-lib.sh" "$1" "$2" "$3" "$4" wine-test

# Exports and imports.
exports=$(LC_ALL=C "$triple-objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -oE 'Dll[A-Za-z]+' | sort | tr '\n' ' ')
[ "$exports" = "DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer " ] \
  && pass "the five entry points are exported" || fail "exports: $exports"
imports=$(LC_ALL=C "$triple-objdump" -p "$dll" | grep 'DLL Name' | awk '{print toupper($3)}' | sort | tr '\n' ' ')
unexpected=$(for d in $imports; do case $d in KERNEL32.DLL|USER32.DLL|GDI32.DLL|ADVAPI32.DLL|OLE32.DLL|OLEAUT32.DLL|SHELL32.DLL|MSVCRT.DLL) ;; *) echo "$d";; esac; done)
[ -z "$unexpected" ] && pass "only system DLLs are imported ($imports)" || fail "imports outside the system: $unexpected"

# The boundary where COM meets C++, in a test build of the DLL whose Nth allocation fails:
# every allocation of every entry point fails in turn, and each comes back as an HRESULT
# (the host's process lives on); a registration cut short is mended by the next. It runs
# before the real DLL is registered: it registers and removes the test build itself.
w regsvr32 /s "$(winpath "$kdsim")"
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --alloc-faults "$(winpath "$build/win/brosk_allocfail.dll")" > "$work/alloc.txt"
status=$?
entries=$(grep -cE '^\[alloc\] .*: [0-9]+ allocations, each failing gives an HRESULT' "$work/alloc.txt")
[ "$status" = 0 ] && [ "$entries" = 10 ] \
  && pass "every allocation of every entry point can fail: an HRESULT each time ($(grep -oE '[0-9]+ allocations' "$work/alloc.txt" | awk '{n += $1} END {print n}') in all)" \
  || fail "allocation failures: status $status, $entries entries: $(grep -v '^\[alloc\]' "$work/alloc.txt" | head -3 | tr '\n' ' ')"
if w reg query 'HKLM\Software\Classes\brosk.Plugin' >/dev/null || w reg query 'HKCU\Software\Classes\brosk.Plugin' >/dev/null; then
  fail "the test build is left registered"
else
  pass "the test build leaves no registration behind"
fi

# Registration.
w regsvr32 /s "$(winpath "$dll")" && w regsvr32 /s "$(winpath "$kdsim")" && pass "regsvr32 registers both DLLs" || fail "regsvr32"
clsid=$(w reg query 'HKCR\brosk.Plugin\CLSID' | grep -oE '\{[0-9A-F-]+\}')
[ "$clsid" = "{E2582346-AEE3-4033-BC4A-A085F3419C5B}" ] && pass "ProgID brosk.Plugin names the class" || fail "ProgID: '$clsid'"
grep -q 'ThreadingModel.*Apartment' <<<"$(w reg query "HKCR\\CLSID\\$clsid\\InprocServer32")" \
  && pass "in-process server with the apartment threading model" || fail "InprocServer32"
w reg query 'HKCR\TypeLib\{22C6A8B7-F949-477F-BE07-6E33944B6A2C}\1.0' >/dev/null \
  && pass "the type library is registered" || fail "type library not registered"

# The version record and the unload query.
w "$drive" --version-info "$(winpath "$dll")" > "$work/version.txt"
diff -u - "$work/version.txt" <<'VERSION' && pass "version record" || fail "version record"
FixedFileVersion=1.0.0.0
Translation=0C0A04B0
CompanyName=brosk
FileVersion=1.00
ProductVersion=1.00
InternalName=brosk
OriginalFilename=brosk.dll
OLESelfRegister=
VERSION
w "$drive" --unload-check "$(winpath "$dll")" >/dev/null && pass "DllCanUnloadNow follows objects and locks" \
  || fail "DllCanUnloadNow"

# Late-bound calls from the script host of the same bitness.
echo '{"faults": [{"member": "StartSessionFromCallParams", "call": 2, "number": 440, "description": "host caido"}]}' > "$work/fault.json"
KDSIM_SCENE=$(winpath "$work/fault.json") w cscript //nologo "$(winpath "$src/win/tests/plugin.vbs")" > "$work/vbs.txt"
diff -u - "$work/vbs.txt" <<'VBS' && pass "VBScript calls by name and sees the errors" || fail "VBScript"
OnAppStartAfter: -1
insertarEnLista: 9 brosk.Plugin
SceneCheck: 440 host caido
noSuchMember: 438
RESULT: ok
VBS

link accepted "$src/examples/cocina-nova.json" 0 --series 1 --quote 2024 --customer 4711 --vat 21 --keys
grep -qx '\[keys\] el diálogo sigue abierto tras Intro y Esc' "$work/accepted/wine.txt" \
  && pass "Enter and Esc press nothing" || fail "Enter or Esc closed the dialog"
link declined "$src/examples/cocina-nova.json" 1 --create-folder no --cancel
link closed "$src/examples/cocina-nova.json" 1 --close
link bad-vat "$src/examples/cocina-nova.json" 1 --vat dieciocho
echo '{"objects": [{"info": {"0": "SYSTEM", "43": "1"}}]}' > "$work/empty.json"
link empty "$work/empty.json" 1
echo '{"objects": [{"info": {"0": "CAT", "43": "diez"}}]}' > "$work/price.json"
link bad-price "$work/price.json" 1
# One input, one message on both platforms: a host error with an empty description (the
# standard one of its number), a host error given as an HRESULT of the VB facility (its
# VB number), and host objects whose creation fails with an error of their own (that
# error) or otherwise (error 429).
object='"objects": [{"info": {"0": "CAT", "8": "A", "35": "1", "43": "1", "49": "d"}}]'
echo "{$object, \"faults\": [{\"member\": \"ObjectGetInfo\", \"call\": 3, \"number\": 440, \"description\": \"\"}]}" > "$work/empty-description.json"
link empty-description "$work/empty-description.json" 1
echo "{$object, \"faults\": [{\"member\": \"ObjectGetInfo\", \"call\": 3, \"number\": -2146828218, \"description\": \"ocupado\"}]}" > "$work/vb-hresult.json"
link vb-hresult "$work/vb-hresult.json" 1
for fault in '70, "description": "escena ocupada"' '-2147221005, "description": "no registrada"'; do
  echo "{$object, \"faults\": [{\"member\": \"KDSDK.Scene\", \"number\": $fault}]}" > "$work/creation.json"
  onWindows=$(KDSIM_SCENE=$(winpath "$work/creation.json") w "$drive" | sed -n 's/^SceneCheck: //p')
  onLinux=$(HOME=$work "$linux/brosk-host" --locale es_ES.UTF-8 "$work/creation.json" 2>&1 >/dev/null | sed -n 's/^brosk-host: the plug-in failed the call: //p')
  [ -n "$onWindows" ] && [ "$onWindows" = "$onLinux" ] && pass "a failing creation ($fault) is «$onWindows» on both platforms" \
    || fail "failing creation ($fault): Windows «$onWindows», Linux «$onLinux»"
done

# A quote number with a character Windows keeps out of file names.
rm -rf "$orders"
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --quote 'a|b' > "$work/bad-name.txt"
grep -qx '\[¡¡Atención!!\] Error inesperado (52): Nombre o número de archivo incorrecto: «C:\\KD_LORVENIC\\9_a|b»' \
  "$work/bad-name.txt" && pass "a name Windows refuses is a clear message" || fail "bad name: $(cat "$work/bad-name.txt")"
[ -z "$(ls "$orders")" ] && pass "nothing written for it" || fail "files written for a bad name"
KDSIM_SCENE=$(winpath "$work/fault.json") w "$drive" > "$work/failed.txt" 2> /dev/null
check "a failure of SceneCheck reaches the host" [ $? = 3 ]

# Unregistration removes both the class and the type library; doing it again is no error.
check "regsvr32 /u" w regsvr32 /s /u "$(winpath "$dll")"
w reg query 'HKCR\brosk.Plugin' >/dev/null && fail "the ProgID is still registered" || pass "the ProgID is gone"
w reg query "HKCR\\CLSID\\$clsid" >/dev/null && fail "the class is still registered" || pass "the class is gone"
w reg query 'HKCR\TypeLib\{22C6A8B7-F949-477F-BE07-6E33944B6A2C}' >/dev/null \
  && fail "the type library is still registered" || pass "the type library is gone"
grep -qx 'CreateObject: 429' <<<"$(w cscript //nologo "$(winpath "$src/win/tests/unregistered.vbs")")" \
  && pass "CreateObject fails with 429" || fail "CreateObject after unregistration"
check "unregistering twice is no error" w regsvr32 /s /u "$(winpath "$dll")"
w regsvr32 /s /u "$(winpath "$kdsim")"

finish
