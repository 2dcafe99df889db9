#!/usr/bin/env bash
# Sets up the machine, builds brosk and runs every test: the Linux suite, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, short runs of the fuzz targets,
# and the 32- and 64-bit Windows DLLs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh all

build() {  # PRESET [CACHE SETTINGS...]: configure and build
  echo "== $1"
  cmake --preset "$1" "${@:2}" >/dev/null
  cmake --build --preset "$1"
}

for preset in linux linux-asan; do
  build "$preset"
  ctest --preset "$preset"
done
build fuzz -DBROSK_FUZZ_SECONDS="${BROSK_FUZZ_SECONDS:-30}"
ctest --preset fuzz
# Both DLLs first: the tests of each bitness register the other beside it.
for preset in win32 win64; do build "$preset"; done
for preset in win32 win64; do ctest --preset "$preset"; done
echo "== all tests passed"
