#!/usr/bin/env bash
# Sets up the machine, builds brosk and runs the host program on the example kitchen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux >/dev/null
build/linux/brosk-host examples/cocina-nova.json
