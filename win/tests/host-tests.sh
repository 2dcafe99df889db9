#!/usr/bin/env bash
# brosk.dll inside hosts of the kinds met in the field, under Wine, one bitness at a time:
# a host thread in another floating-point state (24-bit x87 precision, another rounding
# mode, exceptions unmasked), a host whose window and timer live on while the plug-in
# waits for the user (and that picks the menu item again), a worker thread that ends, a
# library unloaded and loaded again, both bitnesses registered side by side, and order
# folder names that would reach another folder or exceed the old path limit.
#
#   host-tests.sh 32|64 WINDOWS_BUILD LINUX_BUILD SOURCE [SECTION]
set -uo pipefail
source "$(dirname "$0")/wine-lib.sh" "$1" "$2" "$3" "$4" host-test "${5:-}"

w regsvr32 /s "$(winpath "$dll")" && w regsvr32 /s "$(winpath "$kdsim")" || fail "regsvr32"

scene() {  # FILE PRICE...: a scene whose objects have these prices
  local file=$1 objects= sep=
  shift
  for p in "$@"; do
    objects+="$sep{\"info\": {\"0\": \"CAT\", \"8\": \"A\", \"35\": \"1\", \"43\": \"$p\", \"49\": \"d\"}}"
    sep=,
  done
  echo "{\"keywords\": {\"@Base.CustomerCompany()\": \"C\"}, \"objects\": [$objects]}" > "$file"
}

keptLink() {  # NAME SCENE DRIVE_OPTIONS... [--keep-orders]: a link; its output, status and
              # workbooks kept in $work/NAME; the orders folder is emptied first unless asked
  local name=$1 scene=$2 options=() keep=
  shift 2
  for a in "$@"; do [ "$a" = --keep-orders ] && keep=yes || options+=("$a"); done
  [ -n "$keep" ] || rm -rf "$orders"
  mkdir -p "$orders" "$work/$name"
  KDSIM_SCENE=$(winpath "$scene") w "$drive" "${options[@]}" > "$work/$name/out.txt"
  echo $? > "$work/$name/status"
  cp "$orders"/9_9999/*.xls "$work/$name/" 2>/dev/null
}

# --- The host's floating-point state ---------------------------------------------------
# Prices that need every bit of a Double and the even rounding; the VAT 7,456 must stay
# 7.456. Every state gives the default state's workbooks, byte for byte, and gets its own
# control words back after each call.
if section fpu; then
scene "$work/prices.json" "1234567,89" "0,125" "99999999,99" "0,375" "102469145,32"
fpLink() {  # NAME STATE [VARIABLE=VALUE...]: a link from a host in STATE
  local name=$1 state=$2
  shift 2
  ( [ $# = 0 ] || export "$@"; keptLink "fp-$name" "$work/prices.json" --fpu "$state" --vat 7,456 )
}
fpLink default default
check "fpu default: linked" [ "$(cat "$work/fp-default/status")" = 0 ]
grep -q '"col": 10, "kind": "number", "value": 1234567.89}' <<<"$("$src/scripts/xls-dump" "$work/fp-default/LPS.xls")" \
  && pass "fpu default: 1234567,89 is 1234567.89 in LPS.xls" || fail "fpu default: wrong price"
for state in p24 down up zero unmasked; do
  fpLink "$state" "$state"
  for f in PRE LPS; do
    same "fpu $state: $f.xls byte-identical to the default state's" "$work/fp-default/$f.xls" "$work/fp-$state/$f.xls"
  done
  [ "$(grep -c '^\[fpu\] .*: kept$' "$work/fp-$state/out.txt")" = 2 ] \
    && pass "fpu $state: the host's control words are the same after both calls" \
    || fail "fpu $state: $(grep '^\[fpu\]' "$work/fp-$state/out.txt" | tr '\n' ' ')"
done
# A host whose own code resets the x87 to 24-bit precision at every call it serves (as a
# Direct3D 9 view does when it draws): the plug-in's arithmetic is not affected, and the
# state the host set is the host's afterwards.
fpLink host-sets-p24 default KDSIM_X87=007F
for f in PRE LPS; do
  same "host code at 24-bit precision: $f.xls byte-identical" "$work/fp-default/$f.xls" "$work/fp-host-sets-p24/$f.xls"
done
grep -q '^\[fpu\] OnAppStartAfter: x87 027F -> 007F' "$work/fp-host-sets-p24/out.txt" \
  && pass "host code at 24-bit precision: the host keeps the state it set" || fail "host code: $(grep '^\[fpu\]' "$work/fp-host-sets-p24/out.txt")"

# 1e308 times a point value of 10 overflows: error 6 and no crash, even where the host
# unmasks the exception; 1e307 is a large but valid price whose rounding must not overflow.
scene "$work/huge.json" "1$(printf '%0308d' 0)"  # 1e308 in digits
scene "$work/large.json" "1e307"
for state in default unmasked down; do
  rm -rf "$orders" && mkdir -p "$orders"
  KDSIM_SCENE=$(winpath "$work/huge.json") w "$drive" --fpu "$state" --point-value 10 > "$work/huge-$state.txt"
  status=$?
  [ "$status" = 1 ] && grep -qx '\[¡¡Atención!!\] Error inesperado (6): Desbordamiento' "$work/huge-$state.txt" \
    && pass "fpu $state: an overflowing price is error 6" || fail "fpu $state: overflow gave status $status: $(cat "$work/huge-$state.txt")"
  rm -rf "$orders" && mkdir -p "$orders"
  KDSIM_SCENE=$(winpath "$work/large.json") w "$drive" --fpu "$state" > "$work/large-$state.txt"
  [ $? = 0 ] && grep -q '"col": 10, "kind": "number", "value": 1e+307}' <<<"$("$src/scripts/xls-dump" "$orders/9_9999/LPS.xls")" \
    && pass "fpu $state: a price of 1e307 is written" || fail "fpu $state: 1e307: $(cat "$work/large-$state.txt")"
done
fi  # fpu

# --- The C runtime's locale and the C++ global locale ------------------------------------
# Prices the host gives as Doubles are turned into text and read back by the user's
# conventions. A host (or any component of its process) that sets the C runtime's
# process-wide locale or the C++ global locale changes nothing: for a user with Spanish
# and one with English settings, the workbooks are the clean host's, byte for byte.
if section locale; then
echo '{"keywords": {"@Base.CustomerCompany()": "C"}, "objects": [
  {"info": {"0": "CAT", "8": "A", "35": "1", "43": 1.125, "49": "d"}},
  {"info": {"0": "CAT", "8": "B", "35": "1", "43": 245.8, "49": "d"}},
  {"info": {"0": "CAT", "8": "C", "35": "1", "43": 1234567.89, "49": "d"}},
  {"info": {"0": "CAT", "8": "D", "35": "1", "43": 0.375, "49": "d"}}]}' > "$work/doubles.json"
for user in es_ES en_US; do
  if [ "$user" = es_ES ]; then point=1,0 vat=7,456; else point=1.0 vat=7.456; fi
  (
    export LANG=$user.UTF-8 LC_ALL=$user.UTF-8
    keptLink "locale-$user-clean" "$work/doubles.json" --point-value "$point" --vat "$vat"
    for crt in Spanish German C; do
      keptLink "locale-$user-$crt" "$work/doubles.json" --point-value "$point" --vat "$vat" \
        --crt-locale "$crt" --cpp-locale "$crt"
    done
  )
  [ "$(cat "$work/locale-$user-clean/status")" = 0 ] && pass "$user user, clean host: linked" \
    || fail "$user user, clean host: $(tr '\n' ' ' < "$work/locale-$user-clean/out.txt")"
  for crt in Spanish German C; do
    same=yes
    for f in PRE LPS; do
      cmp -s "$work/locale-$user-clean/$f.xls" "$work/locale-$user-$crt/$f.xls" || same=
    done
    [ -n "$same" ] && pass "$user user, host locale $crt: both workbooks byte-identical to the clean host's" \
      || fail "$user user, host locale $crt: $(grep -v '^\[dialog' "$work/locale-$user-$crt/out.txt" | tr '\n' ' ')"
  done
done
fi  # locale

# --- Another component's runtime in the process (32-bit) ---------------------------------
# A host that has loaded the shared libgcc of the i686 MinGW toolchain (as any MinGW-built
# plug-in or helper DLL does): brosk.dll's own exceptions must still be caught by its own
# handlers. Without its frames registered with its own unwinder, its first throw would
# end the host's process (exit status 3, nothing printed).
if section libgcc; then
if [ "$bits" = 32 ]; then
  libgcc=$(i686-w64-mingw32-g++-win32 -print-file-name=libgcc_s_dw2-1.dll)
  cp "$libgcc" "$work/"
  shared=$(winpath "$work/libgcc_s_dw2-1.dll")
  link libgcc-bad-vat "$src/examples/cocina-nova.json" 1 --load-dll "$shared" --vat dieciocho
  echo '{"faults": [{"member": "ObjectGetInfo", "call": 5, "number": 440, "description": "host caído"}]}' > "$work/host-fault.json"
  link libgcc-host-error "$work/host-fault.json" 1 --load-dll "$shared"
  echo '{"faults": [{"member": "EndSession", "call": 2, "number": 440, "description": "host caído"}]}' > "$work/end-fault.json"
  KDSIM_SCENE=$(winpath "$work/end-fault.json") w "$drive" --load-dll "$shared" > "$work/libgcc-failed.txt" 2>/dev/null
  status=$?
  [ "$status" = 3 ] && grep -qx 'SceneCheck: error 440: host caído' "$work/libgcc-failed.txt" \
    && pass "shared libgcc loaded: a failure of SceneCheck reaches the host as error 440" \
    || fail "shared libgcc loaded: status $status: $(tr '\n' ' ' < "$work/libgcc-failed.txt")"
fi
fi  # libgcc

# --- A host whose windows live on while the plug-in waits for the user -----------------
# At each message box and dialog the user finds the host window disabled, and the host's
# menu command, delivered meanwhile, calls SceneCheck and OnAppStartAfter again: both are
# refused with error 5 and the running link goes on exactly as on Linux.
if section modal; then
modal() {  # NAME EXPECTED_STATUS SCENE DRIVE_OPTIONS...
  local name=$1 expected=$2 scene=$3
  shift 3
  link "$name" "$scene" "$expected" --host-window "$@"
  local out=$work/$name/wine.txt boxes dialogs windows
  boxes=$(grep '^\[' "$out" | grep -vc -e '^\[dialog\]' -e '^\[modal\]' -e '^\[reenter\]' -e '^\[timer\]' -e '^\[fpu\]')
  dialogs=$(grep -c '^\[dialog\]' "$out")
  windows=$((boxes + dialogs))
  [ "$(grep -c '^\[modal\] the host window is disabled under' "$out")" = "$windows" ] && ! grep -q 'ENABLED under' "$out" \
    && pass "$name: the host window is disabled under each of the $windows windows" || fail "$name: $(grep '^\[modal\]' "$out" | tr '\n' ' ')"
  [ "$(grep -c '^\[reenter\] SceneCheck: error 5: ' "$out")" = "$windows" ] \
    && [ "$(grep -c '^\[reenter\] OnAppStartAfter: error 5: ' "$out")" = "$windows" ] \
    && pass "$name: the host's menu command is refused with error 5 under each window" \
    || fail "$name: $(grep '^\[reenter\]' "$out" | sort | uniq -c | tr '\n' ' ')"
  grep -qx '\[modal\] the host window is enabled afterwards' "$out" && grep -qx '\[modal\] the focus is back in the host window' "$out" \
    && pass "$name: the host window is enabled again, with the focus back" || fail "$name: $(grep '^\[modal\]' "$out" | tail -2 | tr '\n' ' ')"
  grep -qx "\[timer\] the host's timer ran in the host's floating-point state" "$out" \
    && pass "$name: the host's timer ran in the host's own floating-point state" || fail "$name: $(grep '^\[timer\]' "$out")"
}
modal modal-accepted 0 "$src/examples/cocina-nova.json" --vat 21
modal modal-declined 1 "$src/examples/cocina-nova.json" --create-folder no --cancel
modal modal-bad-vat 1 "$src/examples/cocina-nova.json" --vat dieciocho
scene "$work/bad-price.json" "diez"
modal modal-bad-price 1 "$work/bad-price.json"
modal modal-unhurried 0 "$src/examples/cocina-nova.json" --fpu p24
fi  # modal

# --- The dialog as the system shows it ----------------------------------------------------
# A screen reader names every input after the caption before it; the dialog comes up in
# front, centred on the monitor of the host's window; and an exception in the dialog's
# window procedure (the test build's allocation failing as Aceptar is pressed) ends the
# dialog and reaches the host as the command's failure, never unwinding through the
# system's frames (which ends a 32-bit process).
if section dialog; then
rm -rf "$orders"
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --names --placement --host-window > "$work/shown.txt"
grep -qxF '[names] Serie: | Número de presupuesto: | Código de cliente: | Valor del punto: | IVA: | Seleccione la ruta:' "$work/shown.txt" \
  && pass "a screen reader names every input after its caption" || fail "names: $(grep '^\[names\]' "$work/shown.txt")"
grep -qx "\[place\] in front, centred on the host's monitor" "$work/shown.txt" \
  && pass "the dialog comes up in front, centred on the host's monitor" || fail "placement: $(grep '^\[place\]' "$work/shown.txt")"
# Owned by the host's window: no taskbar button of their own, and a click on the host
# brings them forward. Without a host window, no owner.
owners=$(grep '^\[owner\]' "$work/shown.txt" | sort -u)
[ "$owners" = "$(printf '%s\n' "[owner] «Datos de presupuesto»: the host window" "[owner] «¡¡¡ATENCION!!!»: the host window" "[owner] «¡¡Exito!!»: the host window" | sort)" ] \
  && pass "the dialog and every message box are owned by the host's window" || fail "owners: $(tr '\n' ' ' <<<"$owners")"
rm -rf "$orders"
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --placement > "$work/unowned.txt"
[ "$(grep -c ': none$' "$work/unowned.txt")" = 3 ] && pass "without a host window, the dialog and the boxes have no owner" \
  || fail "no host window: $(grep '^\[owner\]' "$work/unowned.txt" | tr '\n' ' ')"
# The folder box shows the folder and takes no typing: a folder typed or pasted into it
# changes neither the box nor where the order goes; Tab still reaches it.
rm -rf "$orders" "$(dirname "$orders")/OTRA" "$(dirname "$orders")/PEGADA"
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --type-folder --host-window > "$work/typed.txt"
grep -qx '\[folder\] unchanged by typing and pasting, reached with Tab' "$work/typed.txt" \
  && [ -f "$orders/9_9999/LPS.xls" ] && [ ! -e "$(dirname "$orders")/OTRA" ] && [ ! -e "$(dirname "$orders")/PEGADA" ] \
  && pass "text typed or pasted into the folder box changes neither the box nor the order's folder" \
  || fail "folder box: $(grep -v '^\[dialog' "$work/typed.txt" | tr '\n' ' ')"
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --fail-in-dialog \
  --plugin-dll "$(winpath "$build/win/brosk_allocfail.dll")" > "$work/dialog-fails.txt" 2>/dev/null
status=$?
[ "$status" = 3 ] && grep -qx 'SceneCheck: error -2147024882: ' "$work/dialog-fails.txt" \
  && pass "an exception in the dialog procedure ends the dialog and reaches the host as E_OUTOFMEMORY" \
  || fail "exception in the dialog: status $status: $(grep -v '^\[dialog' "$work/dialog-fails.txt" | tr '\n' ' ')"
fi  # dialog

# --- Threads that end, a library that unloads ------------------------------------------
if section threads; then
rm -rf "$orders"
started=$(date +%s%N)
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --worker > "$work/worker.txt"
status=$?
elapsed=$((($(date +%s%N) - started) / 1000000))
[ "$status" = 0 ] && grep -qx '\[worker\] ended' "$work/worker.txt" && [ "$elapsed" -lt 20000 ] \
  && pass "a worker thread that ran a link ends, and so does the process ($elapsed ms)" \
  || fail "worker: status $status after $elapsed ms: $(tail -2 "$work/worker.txt" | tr '\n' ' ')"

# After an accepted link the dialog stays loaded with the user's entries, and so does the
# library, even for a host that releases its Plugin and frees unused libraries between
# commands: the next link shows the entries kept, without the load step. After Cancelar
# (the dialog unloaded) the library goes, and a new Plugin starts fresh: its load step
# asks again, with the initial texts.
rm -rf "$orders"
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --links 2 --create-folder no --series 3 > "$work/kept.txt"
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --links 2 --unload --create-folder no --series 3 > "$work/kept-unload.txt"
status=$?
for run in kept kept-unload; do
  [ "$(grep -c '^\[dialog\] 9 9999 9999 1,0 18 C:\\$' "$work/$run.txt")" = 1 ] && grep -q '^\[dialog\] 3 ' "$work/$run.txt" \
    && [ "$(grep -c 'desea crearlo' "$work/$run.txt")" = 1 ] \
    && pass "$run: the second link shows the entries kept, without the load step" || fail "$run: $(cat "$work/$run.txt")"
done
[ "$status" = 0 ] && grep -qx '\[unload\] brosk.dll still loaded' "$work/kept-unload.txt" \
  && pass "a dialog left loaded keeps brosk.dll loaded through CoFreeUnusedLibrariesEx" || fail "unload: status $status: $(cat "$work/kept-unload.txt")"
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --links 2 --unload --create-folder no --cancel > "$work/fresh.txt"
grep -qx '\[unload\] brosk.dll unloaded' "$work/fresh.txt" \
  && [ "$(grep -c '^\[dialog\] 9 9999 9999 1,0 18 C:\\$' "$work/fresh.txt")" = 2 ] \
  && [ "$(grep -c 'desea crearlo' "$work/fresh.txt")" = 2 ] \
  && pass "after Cancelar CoFreeUnusedLibrariesEx unloads brosk.dll; the next Plugin starts fresh" || fail "unload: $(cat "$work/fresh.txt")"

# A failed command leaves the host objects in the order state: they are released when the
# last Plugin goes, before the unload, and the library still unloads.
echo '{"faults": [{"member": "EndSession", "call": 2, "number": 440, "description": "host caído"}]}' > "$work/fails.json"
rm -f "$work/fails.jsonl"
KDSIM_SCENE=$(winpath "$work/fails.json") KDSIM_TRACE=$(winpath "$work/fails.jsonl") \
  w "$drive" --links 2 --unload --cancel > "$work/fails.txt" 2>/dev/null
grep -qx 'SceneCheck: error 440: host caído' "$work/fails.txt" && grep -qx '\[unload\] brosk.dll unloaded' "$work/fails.txt" \
  && pass "after a failed command the library still unloads" || fail "failed command: $(cat "$work/fails.txt")"
order=$(grep -n -e '"instance":2,"member":"(release)"' -e '"instance":3,"member":"(release)"' -e '"member":"(create)".*"instance":4' \
  "$work/fails.jsonl" | cut -d: -f1 | tr '\n' ' ')
[ "$(echo "$order" | wc -w)" = 3 ] && [ "$(echo "$order" | tr ' ' '\n' | head -2 | sort -n | tail -1)" -lt "$(echo "$order" | awk '{print $3}')" ] \
  && pass "the failed command's host objects are released before the library unloads" || fail "host objects of the failed command: lines $order"
fi  # threads

# --- Both bitnesses registered side by side --------------------------------------------
if section bitnesses; then
if [ -f "$otherBuild/win/brosk.dll" ]; then
  otherDll=$otherBuild/win/brosk.dll
  wOther regsvr32 /s "$(winpath "$otherDll")" && wOther regsvr32 /s "$(winpath "$otherBuild/win/kdsim.dll")"
  echo '{}' > "$work/plain.json"
  export KDSIM_SCENE=$(winpath "$work/plain.json")
  check "regsvr32 /u of one bitness" w regsvr32 /s /u "$(winpath "$dll")"
  grep -qx 'OnAppStartAfter: -1' <<<"$(wOther cscript //nologo "$(winpath "$src/win/tests/create.vbs")")" \
    && pass "the other bitness is still creatable" || fail "the other bitness is gone with this one's unregistration"
  grep -qx 'CreateObject: 429' <<<"$(w cscript //nologo "$(winpath "$src/win/tests/unregistered.vbs")")" \
    && pass "this bitness is not" || fail "this bitness is still creatable"
  w regsvr32 /s "$(winpath "$dll")"
  wOther regsvr32 /s /u "$(winpath "$otherDll")"
  grep -qx 'OnAppStartAfter: -1' <<<"$(w cscript //nologo "$(winpath "$src/win/tests/create.vbs")")" \
    && pass "and the other way round" || fail "this bitness is gone with the other's unregistration"
  wOther regsvr32 /s /u "$(winpath "$otherBuild/win/kdsim.dll")"
  unset KDSIM_SCENE
else
  echo "skip side by side: the other bitness is not built ($otherBuild)"
fi
fi  # bitnesses

# --- Order folder names ------------------------------------------------------------------
# A quote number that would reach another folder, or that Windows would cut to another
# order's name, is refused before anything is made; nothing lands anywhere.
if section folders; then
long=$(printf '%*s' 254 '' | tr ' ' 'q')
for quote in 'x\..' 'x\..\..\users\Public' '9999.' '9999 ' 'a/b' '20:24' 'a<b' 'a>b' 'a"b' 'a|b' 'a?b' 'a*' "a$(printf '\t')b" "$long"; do
  rm -rf "$orders" && mkdir -p "$orders"
  rm -f "$WINEPREFIX/drive_c/PRE.xls" "$WINEPREFIX/drive_c/users/Public/PRE.xls"
  KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --quote "$quote" > "$work/name.txt"
  grep -qxF "[¡¡Atención!!] Error inesperado (52): Nombre o número de archivo incorrecto: «C:\\KD_LORVENIC\\9_$quote»" "$work/name.txt" \
    && [ -z "$(ls -A "$orders")" ] && [ ! -e "$WINEPREFIX/drive_c/PRE.xls" ] && [ ! -e "$WINEPREFIX/drive_c/users/Public/PRE.xls" ] \
    && pass "quote «$quote» is refused and nothing is written" || fail "quote «$quote»: $(grep -v '^\[dialog' "$work/name.txt" | tr '\n' ' '); $(ls -A "$orders")"
done

# Names Windows takes for a device: on Windows 10 and earlier such a folder is the device.
for series in NUL.1 com1.a; do
  KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --series "$series" > "$work/device.txt"
  grep -qxF "[¡¡Atención!!] Error inesperado (52): Nombre o número de archivo incorrecto: «C:\KD_LORVENIC\\${series}_9999»" "$work/device.txt" \
    && pass "series $series, a device name, is error 52" || fail "series $series: $(grep -v '^\[dialog' "$work/device.txt" | tr '\n' ' ')"
done

# A name that is only another folder's short (8.3) alias must not reach that folder: an
# earlier order in "9_presupuesto_largo", and a quote number that makes its alias.
rm -rf "$orders" && mkdir -p "$orders/9_presupuesto_largo"
echo earlier > "$orders/9_presupuesto_largo/PRE.xls"
echo earlier > "$orders/9_presupuesto_largo/LPS.xls"
alias=$(w "$drive" --short-name 'C:\KD_LORVENIC\9_presupuesto_largo')
alias=${alias##*\\}
if [ "${alias#9_}" != "$alias" ] && [ "$alias" != 9_presupuesto_largo ]; then
  KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --quote "${alias#9_}" > "$work/alias.txt"
  grep -qxF "[¡¡Atención!!] Error inesperado (52): Nombre o número de archivo incorrecto: «C:\KD_LORVENIC\\$alias»" "$work/alias.txt" \
    && [ "$(cat "$orders/9_presupuesto_largo/PRE.xls" "$orders/9_presupuesto_largo/LPS.xls")" = "$(printf 'earlier\nearlier')" ] \
    && [ "$(ls "$orders")" = 9_presupuesto_largo ] \
    && pass "quote «${alias#9_}», the alias of another order's folder, is refused and that order is kept" \
    || fail "alias $alias: $(grep -v '^\[dialog' "$work/alias.txt" | tr '\n' ' '); $(ls "$orders")"
else
  fail "no short name to try: '$alias'"
fi

# An earlier order's LPS.xls that another program holds open (a scanner, a sync client,
# the importer): held for a moment, the link waits and goes through; held for good, it
# says that another program has it open, and the folder keeps the earlier order's two
# workbooks, byte for byte, never a new PRE.xls beside an old LPS.xls. A read-only
# LPS.xls is kept and said so.
rm -rf "$orders"
keptLink held-earlier "$src/examples/cocina-nova.json" --vat 16
lps='C:\KD_LORVENIC\9_9999\LPS.xls'
keptLink held-moment "$src/examples/cocina-nova.json" --vat 21 --hold "$lps" 500 --keep-orders
[ "$(cat "$work/held-moment/status")" = 0 ] && ! cmp -s "$work/held-earlier/PRE.xls" "$work/held-moment/PRE.xls" \
  && pass "LPS.xls held for half a second: the link waits and writes the new order" \
  || fail "held for a moment: $(grep -v '^\[dialog' "$work/held-moment/out.txt" | tr '\n' ' ')"
# The wait is one deadline for the whole link, whatever the tries cost: a file held for
# good costs about two seconds more than a free link, well under the five after which
# Windows calls the host "not responding".
took() { sed -n 's/^\[time\] SceneCheck: \([0-9]*\) ms$/\1/p' "$work/$1/out.txt"; }
keptLink free "$src/examples/cocina-nova.json" --vat 21 --keep-orders --time
keptLink held-good "$src/examples/cocina-nova.json" --vat 7 --hold "$lps" 4000 --keep-orders --time
free_ms=$(took free) held_ms=$(took held-good)
[ $((held_ms - free_ms)) -lt 3000 ] && pass "a file held for good costs $((held_ms - free_ms)) ms more than a free link" \
  || fail "a file held for good costs $((held_ms - free_ms)) ms more than a free link"
grep -qxF "[¡¡Atención!!] Error inesperado (70): Permiso denegado: otro programa tiene abierto «$lps»" "$work/held-good/out.txt" \
  && cmp -s "$work/held-moment/PRE.xls" "$work/held-good/PRE.xls" && cmp -s "$work/held-moment/LPS.xls" "$work/held-good/LPS.xls" \
  && pass "LPS.xls held for good: error 70 names it, and the earlier order's two workbooks stay" \
  || fail "held for good: $(grep -v '^\[dialog' "$work/held-good/out.txt" | tr '\n' ' ')"
w attrib +r "$lps" >/dev/null
keptLink read-only "$src/examples/cocina-nova.json" --vat 7 --keep-orders
grep -qxF "[¡¡Atención!!] Error inesperado (75): Error de acceso a la ruta o el archivo: «$lps» es de sólo lectura" "$work/read-only/out.txt" \
  && cmp -s "$work/held-moment/PRE.xls" "$work/read-only/PRE.xls" && cmp -s "$work/held-moment/LPS.xls" "$work/read-only/LPS.xls" \
  && pass "a read-only LPS.xls is not replaced: error 75 names it, and the earlier order stays" \
  || fail "read-only: $(grep -v '^\[dialog' "$work/read-only/out.txt" | tr '\n' ' ')"
w attrib -r "$lps" >/dev/null
# An LPS.xls that another program holds sharing everything (as most scanners do): the
# probe passes, and still Windows renames over no open file. That is said with Windows'
# own reason at once, not as a hold, and the earlier PRE.xls goes back although the link
# has the new one open (it closes it first).
keptLink shared-hold "$src/examples/cocina-nova.json" --vat 7 --hold-sharing "$lps" 3000 --keep-orders --time
grep -qxF "[¡¡Atención!!] Error inesperado (70): Permiso denegado: «$lps»" "$work/shared-hold/out.txt" \
  && ! grep -q 'otro programa\|No se ha podido restaurar' "$work/shared-hold/out.txt" && [ "$(took shared-hold)" -lt $((free_ms + 1000)) ] \
  && cmp -s "$work/held-moment/PRE.xls" "$work/shared-hold/PRE.xls" && cmp -s "$work/held-moment/LPS.xls" "$work/shared-hold/LPS.xls" \
  && pass "a rename refused although the probe passed: Windows' reason at once, and the earlier PRE.xls back" \
  || fail "shared hold ($(took shared-hold) ms): $(grep -v '^\[dialog' "$work/shared-hold/out.txt" | tr '\n' ' ')"
# An immutable LPS.xls (chattr +i, where this machine allows it): Wine refuses its rename
# with access denied although nothing holds it; said with Windows' reason at once.
if chattr +i "$orders/9_9999/LPS.xls" 2>/dev/null; then
  keptLink immutable "$src/examples/cocina-nova.json" --vat 7 --keep-orders --time
  chattr -i "$orders/9_9999/LPS.xls"
  grep -qxF "[¡¡Atención!!] Error inesperado (70): Permiso denegado: «$lps»" "$work/immutable/out.txt" \
    && [ "$(took immutable)" -lt $((free_ms + 1000)) ] \
    && cmp -s "$work/held-moment/PRE.xls" "$work/immutable/PRE.xls" && cmp -s "$work/held-moment/LPS.xls" "$work/immutable/LPS.xls" \
    && pass "an immutable LPS.xls: Windows' reason at once, and the earlier order stays" \
    || fail "immutable ($(took immutable) ms): $(grep -v '^\[dialog' "$work/immutable/out.txt" | tr '\n' ' ')"
else
  echo "skipped: an immutable LPS.xls (chattr +i is not allowed here)"
fi
[ -z "$(find "$orders" -name '*.old')" ] && pass "nothing set aside is left" || fail "set-aside files: $(find "$orders" -name '*.old')"
# Temporary files are made hidden, and the workbooks they become are not.
keptLink visible "$src/examples/cocina-nova.json" --vat 21 --keep-orders
attributes=$(w attrib 'C:\KD_LORVENIC\9_9999\*.xls')
[ "$(cat "$work/visible/status")" = 0 ] && [ -n "$attributes" ] && ! grep -q '^.\{4\}H' <<<"$attributes" \
  && pass "the workbooks carry no hidden mark" || fail "hidden workbooks: $attributes"
[ -z "$(find "$orders" -name '*.tmp')" ] && pass "no temporary file is left" || fail "temporary files: $(find "$orders" -name '*.tmp')"

# The default folder that cannot be made: a hidden file of that name, which the folder
# test does not see. The user is told, with what to do; the failure goes to the host.
rm -rf "$orders"
echo x > "$orders"
w attrib +h 'C:\KD_LORVENIC' >/dev/null
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" > "$work/no-default.txt" 2>/dev/null
status=$?
[ "$status" = 3 ] && grep -qxF '[¡¡¡ATENCION!!!] No se puede crear el directorio C:\KD_LORVENIC. Responda No a la pregunta y elija otra carpeta con Examinar.' "$work/no-default.txt" \
  && grep -qx 'SceneCheck: error 75: .*' "$work/no-default.txt" \
  && pass "a default folder that cannot be made is told to the user, and the failure reaches the host" \
  || fail "default folder not made: status $status: $(tr '\n' ' ' < "$work/no-default.txt")"
w attrib -h 'C:\KD_LORVENIC' >/dev/null
rm -f "$orders"

# Windows has hidden and system entries, which the entry test does not count: an order
# folder so marked is not found, and making it again fails clearly.
for attribute in h s; do
  rm -rf "$orders" && mkdir -p "$orders/9_9999"
  w attrib "+$attribute" 'C:\KD_LORVENIC\9_9999' >/dev/null
  KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" > "$work/attribute.txt"
  grep -qxF '[¡¡Atención!!] Error inesperado (75): Error de acceso a la ruta o el archivo: «C:\KD_LORVENIC\9_9999»' "$work/attribute.txt" \
    && pass "an order folder with attribute $attribute is no entry" || fail "attribute $attribute: $(grep -v '^\[dialog' "$work/attribute.txt" | tr '\n' ' ')"
done

# Long order folders: the folder of a 240-character quote number is longer than the 248
# characters CreateDirectory took, and the workbooks' temporary names beside it longer
# than MAX_PATH; a name of 255 characters is the longest a folder name can be.
for length in 225 240 253; do
  rm -rf "$orders"
  quote=$(printf '%*s' "$length" '' | tr ' ' 'q')
  KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") w "$drive" --quote "$quote" > "$work/long.txt"
  status=$?
  path="C:\\KD_LORVENIC\\9_$quote\\LPS.xls"
  [ "$status" = 0 ] && "$src/scripts/xls-dump" "$orders/9_$quote/LPS.xls" >/dev/null \
    && "$src/scripts/xls-dump" "$orders/9_$quote/PRE.xls" >/dev/null \
    && pass "a workbook path of ${#path} characters is written whole" || fail "quote of $length characters: $(grep -v '^\[dialog' "$work/long.txt" | tr '\n' ' ')"
done
fi  # folders

# A host killed at random instants while it links over an earlier order: the folder holds
# one order or the window's, and the next link writes the new order (win/tests/kill-soak.py;
# BROSK_KILLS and BROSK_SEED choose how many and which). The 64-bit DLL only: under the
# emulator the instants are not a real machine's.
if section kills; then
if [ "$bits" = 64 ]; then
  wineserver -k >/dev/null 2>&1; wineserver -w
  LD_PRELOAD=$linux/tests/libbrosk_rename_clock.so BROSK_RENAME_LOG=$work/renames.log wineserver -p 30
  python3 "$src/win/tests/kill-soak.py" "$wine" "$drive" "$(winpath "$src/examples/cocina-nova.json")" \
    "$orders/9_9999" "$work" "$work/renames.log" "${BROSK_KILLS:-40}" "${BROSK_SEED:-1}"
  [ $? = 0 ] && pass "the kill soak" || fail "the kill soak (replay: BROSK_SEED=${BROSK_SEED:-1})"
else
  echo "skipped: the 32-bit DLL's kills would run under the emulator, whose timing is not a machine's"
fi
fi  # kills

w regsvr32 /s /u "$(winpath "$dll")"
w regsvr32 /s /u "$(winpath "$kdsim")"
finish
