#!/usr/bin/env bash
# Sets up the machine, builds brosk and runs the link on the example kitchen with the
# answers a user would type, then shows the cells of the two workbooks it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh linux
# Quiet when it builds; the whole output, compiler errors included, when it does not.
mkdir -p build
if ! { cmake --preset linux && cmake --build --preset linux --target brosk-host; } > build/example-build.log 2>&1; then
  cat build/example-build.log >&2
  echo "run-example: the build failed (the output above is in build/example-build.log)" >&2
  exit 1
fi

out=build/example
rm -rf "$out"
mkdir -p "$out"
echo "\$ brosk-host --locale es_ES.UTF-8 --series 1 --quote 2024 --customer 4711 --point-value 1,0 --vat 21 --create-folder no --browse $out examples/cocina-nova.json"
build/linux/brosk-host --locale es_ES.UTF-8 --series 1 --quote 2024 --customer 4711 \
  --point-value 1,0 --vat 21 --create-folder no --browse "$out" examples/cocina-nova.json
for f in PRE LPS; do
  echo
  echo "$out/1_2024/$f.xls:"
  scripts/xls-dump --rows "$out/1_2024/$f.xls"
done
