# Shared by the Wine tests: the private prefix (made once, used in turn by the runs of
# both bitnesses), the time-limited Wine call, pass and fail, and whole links compared
# with the Linux build.
#
#   source wine-lib.sh 32|64 WINDOWS_BUILD LINUX_BUILD SOURCE WORK_NAME [SECTION]
#
# A suite in sections runs one of them when SECTION names it, all without SECTION; its
# sections open with `if section NAME; then` (CTest makes one test of each, from those
# lines) and it ends with `finish`.
bits=$1 build=$(realpath "$2") linux=$(realpath "$3") src=$(realpath "$4")
only=${6:-all}

export WINEPREFIX=${BROSK_WINEPREFIX:-$(dirname "$build")/wine-prefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=es_ES.UTF-8 LC_ALL=es_ES.UTF-8
export WINEARCH=win64
# Wine's loaders by their paths: Debian's wine, wineboot and regsvr32 wrappers take the
# 32-bit loader whenever wine32 is installed, also where 32-bit programs cannot start.
wine64=/usr/lib/wine/wine64 wine32=/usr/lib/wine/wine
if [ "$bits" = 64 ]; then wine=$wine64 otherWine=$wine32 triple=x86_64-w64-mingw32; else wine=$wine32 otherWine=$wine64 triple=i686-w64-mingw32; fi
# Whether 32-bit programs start here (natively, or under win/tests/i386.sh's emulator).
if "$wine32" --version >/dev/null 2>&1; then can32=yes; else can32=no; fi
if [ "$bits" = 32 ] && [ "$can32" = no ]; then
  echo "FAIL 32-bit programs cannot start here: run this suite through win/tests/i386.sh"; exit 1
fi
case $can32,${BROSK_I386:-} in
  yes,emulated) echo "the $bits-bit DLL; 32-bit programs run under the emulator, 64-bit ones natively" ;;
  yes,*) echo "the $bits-bit DLL; 32- and 64-bit programs run natively" ;;
  *) echo "the $bits-bit DLL; 64-bit programs run natively, 32-bit ones cannot start here" ;;
esac

# Output is looked at once it has been read whole (grep PATTERN <<<"$(cmd)"), never through a
# pipe into grep -q: grep -q stops reading at the first match, the writer then dies of a
# broken pipe, and under pipefail the check fails at random although the output was right.
failures=0 checks=0 sections=
pass() { echo "ok   $*"; checks=$((checks + 1)); }
fail() { echo "FAIL $*"; failures=$((failures + 1)); checks=$((checks + 1)); }
# check NAME COMMAND...: passes when COMMAND succeeds. same NAME A B: when two files are
# byte for byte the same.
check() { local name=$1; shift; if "$@"; then pass "$name"; else fail "$name (failed: $*)"; fi; }
same() { if cmp -s "$2" "$3"; then pass "$1"; else fail "$1 ($2 and $3 differ)"; fi; }
# Whether the section NAME is to run.
section() { sections+=" $1"; [ "$only" = all ] || [ "$only" = "$1" ]; }
# The suite's end: exit status 0 when every check passed, 1 when one failed or SECTION
# names no section, 77 (CTest's "skipped") when the section had nothing to check here.
finish() {
  if [ "$only" != all ] && [[ " $sections " != *" $only "* ]]; then fail "no section $only in:$sections"; fi
  echo "$failures failure(s) of $checks check(s)"
  [ "$failures" = 0 ] || exit 1
  [ "$checks" -gt 0 ] || exit 77
  exit 0
}
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
# Every Wine call has a time limit: nothing here may hang.
w() { timeout 120 "$wine" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }

# Makes the prefix, each step checked; a failed step is said with Wine's own output and
# the prefix is left unmarked, so that the next run makes it again.
makePrefix() {
  local log=$WINEPREFIX.log
  prefixStep() {  # WHAT COMMAND...
    if ! "${@:2}" >> "$log" 2>&1; then
      echo "FAIL the Wine prefix: $1 failed (status $?); Wine said:"; tail -20 "$log"; return 1
    fi
  }
  echo "making the Wine prefix $WINEPREFIX (about 20 s; 40 s when 32-bit programs are emulated)"
  rm -rf "$WINEPREFIX"
  : > "$log"
  prefixStep "wineboot -u" timeout 300 "$wine64" wineboot -u || return 1
  prefixStep "waiting for the Wine server" timeout 120 wineserver -w || return 1
  if [ "$can32" = yes ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/rundll32.exe" ]; then
    echo "FAIL the Wine prefix: wineboot made no 32-bit half (syswow64); Wine said:"; tail -20 "$log"; return 1
  fi
  # Windows without an X server: the null graphics driver; no crash dialog.
  prefixStep "setting the null graphics driver" \
    timeout 60 "$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f || return 1
  prefixStep "turning the crash dialog off" \
    timeout 60 "$wine64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f || return 1
  # As on Windows 7 and later, one HKLM\Software\Classes\brosk.Plugin for both views.
  prefixStep "sharing brosk.Plugin's classes key between the views" \
    timeout 60 "$wine" "$build/win/brosk-drive.exe" --share-classes-key brosk.Plugin || return 1
  wineserver -k; wineserver -w
  echo "$prefixMake $can32" > "$WINEPREFIX/.brosk-ready"
}

# One prefix for both bitnesses, made once; runs of this script take turns. Where 32-bit
# programs cannot start, Wine makes the prefix without its 32-bit half (syswow64): the
# marker says which, and the first run that can start them makes the prefix again.
exec 9>"$WINEPREFIX.lock"
flock 9
# The prefix's make: the marker names it, so that a prefix of an older make is made again.
prefixMake=3
ready=$(cat "$WINEPREFIX/.brosk-ready" 2>/dev/null)
if [ "$ready" != "$prefixMake $can32" ] && [ "$ready" != "$prefixMake yes" ]; then
  makePrefix || exit 1
fi
trap 'wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1' EXIT

dll=$build/win/brosk.dll
# The other bitness's build, when it has been made.
if [ "$bits" = 64 ]; then otherBuild=$(dirname "$build")/win32; else otherBuild=$(dirname "$build")/win64; fi
wOther() { timeout 120 "$otherWine" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
kdsim=$build/win/kdsim.dll
drive=$build/win/brosk-drive.exe
work=$build/$5-$only
rm -rf "$work"
mkdir -p "$work"
orders=$WINEPREFIX/drive_c/KD_LORVENIC

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
  local skip=
  for a in "$@"; do
    if [ -n "$skip" ]; then skip=; continue; fi
    case $a in
      --keys | --host-window) ;;
      --fpu | --load-dll) skip=yes ;;
      --close) linuxOptions+=(--cancel) ;;
      *) linuxOptions+=("$a") ;;
    esac
  done
  HOME=$work/$name/home "$linux/brosk-host" --locale es_ES.UTF-8 --trace "$work/$name/trace-linux.jsonl" \
    "${linuxOptions[@]}" "$scene" > "$work/$name/linux.txt"
  # What only the Windows host prints (calls, keys, dialog texts, host checks) is left out.
  grep -v -e '^OnAppStartAfter:' -e '^SceneCheck:' -e '^\[keys\]' -e '^\[dialog\]' -e '^\[modal\]' \
    -e '^\[reenter\]' -e '^\[timer\]' -e '^\[fpu\]' "$work/$name/wine.txt" > "$work/$name/wine-boxes.txt"
  grep -v '^\[menu\]' "$work/$name/linux.txt" > "$work/$name/linux-boxes.txt"
  [ "$status" = "$expected" ] && pass "$name: exit status $status" || fail "$name: exit status $status, expected $expected"
  diff -u "$work/$name/linux-boxes.txt" "$work/$name/wine-boxes.txt" && pass "$name: the same messages as on Linux" \
    || fail "$name: messages differ"
  same "$name: the same call trace as on Linux" "$work/$name/trace-linux.jsonl" "$work/$name/trace-wine.jsonl"
  for f in PRE LPS; do
    local l w
    l=$(find "$work/$name/home/KD_LORVENIC" -name "$f.xls" 2>/dev/null | head -1)
    w=$(find "$orders" -name "$f.xls" 2>/dev/null | head -1)
    if [ -z "$l$w" ]; then continue; fi
    same "$name: $f.xls byte-identical to Linux's" "$l" "$w"
    "$src/scripts/xls-dump" "$w" >/dev/null && pass "$name: $f.xls reads back" || fail "$name: $f.xls unreadable"
  done
}
