#!/usr/bin/env bash
# Takes a picture of the real order data dialog: the 64-bit brosk.dll under Wine on a
# virtual X server (Xvfb), driven by brosk-drive.exe. Writes docs/dialog.png.
# Needs the win64 build (cmake --preset win64 && cmake --build --preset win64).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)
build=$src/build/win64
out=${1:-$src/docs/dialog.png}
work=$(mktemp -d)
trap 'kill "${xvfb:-0}" 2>/dev/null; WINEPREFIX=$prefix wineserver -k 2>/dev/null; rm -rf "$work"' EXIT

# A prefix of its own: the test prefix uses the null graphics driver.
prefix=$src/build/wine-prefix-x11
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=es_ES.UTF-8 LC_ALL=es_ES.UTF-8
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
# The 64-bit loader by its path: Debian's wrappers take the 32-bit one when wine32 is
# installed, also where 32-bit programs cannot start.
wine64=/usr/lib/wine/wine64
if [ ! -f "$prefix/.brosk-ready" ]; then
  rm -rf "$prefix"
  # Windows drawn by Wine itself, without a window manager, come up at once.
  if ! { timeout 300 $wine64 wineboot -u && wineserver -w &&
    timeout 60 $wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f && wineserver -w; } > "$prefix.log" 2>&1; then
    echo "screenshot: the Wine prefix $prefix cannot be made; Wine said:" >&2
    tail -20 "$prefix.log" >&2
    exit 1
  fi
  touch "$prefix/.brosk-ready"
fi
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
timeout 120 $wine64 regsvr32 /s "$(winpath "$build/win/brosk.dll")"
timeout 120 $wine64 regsvr32 /s "$(winpath "$build/win/kdsim.dll")"
rm -rf "$prefix/drive_c/KD_LORVENIC"
mkdir -p "$prefix/drive_c/KD_LORVENIC"
KDSIM_SCENE=$(winpath "$src/examples/cocina-nova.json") \
  timeout 180 $wine64 "$build/win/brosk-drive.exe" --cancel --snapshot "$(winpath "$work/shot.png")" >/dev/null 2>&1 &
drive=$!
for _ in $(seq 600); do [ -s "$work/shot.png.rect" ] && break; sleep 0.1; done
read -r x y w h < "$work/shot.png.rect"
import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$work/full.png"
cp "$work/full.png" "$out"
mv "$work/full.png" "$work/shot.png"  # lets the user go on
wait "$drive" || true
echo "wrote $out (${w}x${h})"
