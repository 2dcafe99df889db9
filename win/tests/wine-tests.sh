#!/usr/bin/env bash
# The real brosk.dll under Wine, one bitness at a time: exports and imports, registration
# with regsvr32, the version record, DllCanUnloadNow, late-bound calls from VBScript, whole
# links driven through window messages by brosk-drive.exe (workbooks and call trace
# compared byte for byte with the Linux build), and unregistration.
#
#   wine-tests.sh 32|64 WINDOWS_BUILD LINUX_BUILD SOURCE
set -uo pipefail
bits=$1 build=$(realpath "$2") linux=$(realpath "$3") src=$(realpath "$4")

export WINEPREFIX=${BROSK_WINEPREFIX:-$(dirname "$build")/wine-prefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=es_ES.UTF-8 LC_ALL=es_ES.UTF-8
export WINEARCH=win64
if [ "$bits" = 64 ]; then wine=/usr/lib/wine/wine64; triple=x86_64-w64-mingw32; else wine=wine; triple=i686-w64-mingw32; fi

failures=0
pass() { echo "ok   $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
# Every Wine call has a time limit: nothing here may hang.
w() { timeout 120 "$wine" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }

# One prefix for both bitnesses, made once; runs of this script take turns.
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.brosk-ready" ]; then
  echo "making the Wine prefix $WINEPREFIX (about 20 s)"
  rm -rf "$WINEPREFIX"
  timeout 300 wineboot -u >/dev/null 2>&1
  # Windows without an X server: the null graphics driver; no crash dialog.
  timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -k; wineserver -w
  touch "$WINEPREFIX/.brosk-ready"
fi
trap 'wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1' EXIT

dll=$build/win/brosk.dll
kdsim=$build/win/kdsim.dll
drive=$build/win/brosk-drive.exe
work=$build/wine-test
rm -rf "$work"
mkdir -p "$work"
orders=$WINEPREFIX/drive_c/KD_LORVENIC

# Exports and imports.
exports=$(LC_ALL=C "$triple-objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -oE 'Dll[A-Za-z]+' | sort | tr '\n' ' ')
[ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] \
  && pass "the four entry points are exported" || fail "exports: $exports"
imports=$(LC_ALL=C "$triple-objdump" -p "$dll" | grep 'DLL Name' | awk '{print toupper($3)}' | sort | tr '\n' ' ')
unexpected=$(for d in $imports; do case $d in KERNEL32.DLL|USER32.DLL|GDI32.DLL|ADVAPI32.DLL|OLE32.DLL|OLEAUT32.DLL|SHELL32.DLL|MSVCRT.DLL) ;; *) echo "$d";; esac; done)
[ -z "$unexpected" ] && pass "only system DLLs are imported ($imports)" || fail "imports outside the system: $unexpected"

# Registration.
w regsvr32 /s "$(winpath "$dll")" && w regsvr32 /s "$(winpath "$kdsim")" && pass "regsvr32 registers both DLLs" || fail "regsvr32"
clsid=$(w reg query 'HKCR\brosk.Plugin\CLSID' | grep -oE '\{[0-9A-F-]+\}')
[ "$clsid" = "{E2582346-AEE3-4033-BC4A-A085F3419C5B}" ] && pass "ProgID brosk.Plugin names the class" || fail "ProgID: '$clsid'"
w reg query "HKCR\\CLSID\\$clsid\\InprocServer32" | grep -q 'ThreadingModel.*Apartment' \
  && pass "in-process server with the apartment threading model" || fail "InprocServer32"
w reg query 'HKCR\TypeLib\{22C6A8B7-F949-477F-BE07-6E33944B6A2C}\1.0' >/dev/null \
  && pass "the type library is registered" || fail "type library not registered"

# The version record and the unload query.
w "$drive" --version-info "$(winpath "$dll")" > "$work/version.txt"
diff -u - "$work/version.txt" <<'VERSION' && pass "version record" || fail "version record"
FixedFileVersion=1.0.0.0
Translation=0C0A04B0
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

# Whole links, the user played through window messages. Each is compared with brosk-host
# on Linux answering the same way: the same messages, workbooks and call trace.
link() {  # NAME SCENE EXPECTED_STATUS DRIVE_OPTIONS...
  local name=$1 scene=$2 expected=$3
  shift 3
  rm -rf "$orders" "$work/$name"
  mkdir -p "$work/$name/home"
  KDSIM_SCENE=$(winpath "$scene") KDSIM_TRACE=$(winpath "$work/$name/trace-wine.jsonl") \
    w "$drive" "$@" > "$work/$name/wine.txt"
  local status=$?
  local linuxOptions=()
  for a in "$@"; do case $a in --keys) ;; --close) linuxOptions+=(--cancel) ;; *) linuxOptions+=("$a") ;; esac; done
  HOME=$work/$name/home "$linux/brosk-host" --locale es_ES.UTF-8 --trace "$work/$name/trace-linux.jsonl" \
    "${linuxOptions[@]}" "$scene" > "$work/$name/linux.txt"
  grep -v -e '^OnAppStartAfter:' -e '^SceneCheck:' -e '^\[keys\]' "$work/$name/wine.txt" > "$work/$name/wine-boxes.txt"
  grep -v '^\[menu\]' "$work/$name/linux.txt" > "$work/$name/linux-boxes.txt"
  [ "$status" = "$expected" ] && pass "$name: exit status $status" || fail "$name: exit status $status, expected $expected"
  diff -u "$work/$name/linux-boxes.txt" "$work/$name/wine-boxes.txt" && pass "$name: the same messages as on Linux" \
    || fail "$name: messages differ"
  cmp -s "$work/$name/trace-linux.jsonl" "$work/$name/trace-wine.jsonl" && pass "$name: the same call trace as on Linux" \
    || fail "$name: call traces differ"
  for f in PRE LPS; do
    local l w
    l=$(find "$work/$name/home/KD_LORVENIC" -name "$f.xls" 2>/dev/null | head -1)
    w=$(find "$orders" -name "$f.xls" 2>/dev/null | head -1)
    if [ -z "$l$w" ]; then continue; fi
    cmp -s "$l" "$w" && pass "$name: $f.xls byte-identical to Linux's" || fail "$name: $f.xls differs ($l, $w)"
    "$src/scripts/xls-dump" "$w" >/dev/null && pass "$name: $f.xls reads back" || fail "$name: $f.xls unreadable"
  done
}
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
# A quote number with a character Windows keeps out of file names.
rm -rf "$orders"
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --quote 'a|b' > "$work/bad-name.txt"
grep -qx '\[¡¡Atención!!\] Error inesperado (52): Nombre o número de archivo incorrecto: «C:\\KD_LORVENIC\\9_a|b»' \
  "$work/bad-name.txt" && pass "a name Windows refuses is a clear message" || fail "bad name: $(cat "$work/bad-name.txt")"
[ -z "$(ls "$orders")" ] && pass "nothing written for it" || fail "files written for a bad name"
KDSIM_SCENE=$(winpath "$work/fault.json") w "$drive" > "$work/failed.txt" 2> /dev/null
[ $? = 3 ] && pass "a failure of SceneCheck reaches the host" || fail "SceneCheck failure"

# Unregistration removes both the class and the type library; doing it again is no error.
w regsvr32 /s /u "$(winpath "$dll")" && pass "regsvr32 /u" || fail "regsvr32 /u"
w reg query 'HKCR\brosk.Plugin' >/dev/null && fail "the ProgID is still registered" || pass "the ProgID is gone"
w reg query "HKCR\\CLSID\\$clsid" >/dev/null && fail "the class is still registered" || pass "the class is gone"
w reg query 'HKCR\TypeLib\{22C6A8B7-F949-477F-BE07-6E33944B6A2C}' >/dev/null \
  && fail "the type library is still registered" || pass "the type library is gone"
w cscript //nologo "$(winpath "$src/win/tests/unregistered.vbs")" | grep -qx 'CreateObject: 429' \
  && pass "CreateObject fails with 429" || fail "CreateObject after unregistration"
w regsvr32 /s /u "$(winpath "$dll")" && pass "unregistering twice is no error" || fail "second regsvr32 /u"
w regsvr32 /s /u "$(winpath "$kdsim")"

echo "$failures failure(s)"
[ "$failures" = 0 ]
