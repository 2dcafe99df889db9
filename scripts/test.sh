#!/usr/bin/env bash
# Sets up the machine, builds brosk and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset linux
cmake --build --preset linux
ctest --preset linux
