#!/usr/bin/env bash
# Sets up the machine, builds brosk for Linux and for 32- and 64-bit Windows, and runs
# every test: the Linux suite, then the Windows DLLs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in linux win32 win64; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
