#!/usr/bin/env bash
# Sets up the machine, builds brosk and runs every test: the Linux suite, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, short runs of the fuzz targets,
# and the 32- and 64-bit Windows DLLs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in linux linux-asan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "== fuzz"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
fuzz/run.sh "${BROSK_FUZZ_SECONDS:-30}"
for preset in win32 win64; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "== all tests passed"
