#!/usr/bin/env bash
# Runs each fuzz target for a while from the committed seeds, then writes a sample of the
# spreadsheet target's corpus as workbooks and reads each back with scripts/xls-dump,
# which must find exactly the cells the target put in.
#   fuzz/run.sh [SECONDS_PER_TARGET]        (default 30; needs the fuzz preset built)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
bin=build/fuzz/fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for target in scene number xls; do
  mkdir -p "$work/$target"
  cp fuzz/corpus/$target/* "$work/$target/"
  echo "== fuzz_$target for ${seconds}s"
  "$bin/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$work/" "$work/$target" > "$work/$target.log" 2>&1 || true
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$work/$target.log" || true
  found=$(find "$work" -maxdepth 1 -name 'crash-*' -o -maxdepth 1 -name 'leak-*' -o -maxdepth 1 -name 'timeout-*' -o -maxdepth 1 -name 'oom-*')
  if [ -n "$found" ] || grep -q 'ERROR: libFuzzer' "$work/$target.log"; then
    echo "fuzz_$target found a failure:"
    grep -A40 -E 'ERROR: (libFuzzer|AddressSanitizer|UndefinedBehaviorSanitizer)|runtime error' "$work/$target.log" | head -60
    for f in $found; do echo "input $(basename "$f"):"; head -c 400 "$f" | od -c | head -12; done
    exit 1
  fi
done

echo "== workbooks from a sample of the spreadsheet corpus, read back with xls-dump"
mkdir -p "$work/books"
# Inputs of up to 4 KB make workbooks that xlrd reads in well under a second.
sample=$(find "$work/xls" -type f -size -4k | shuf -n 40 --random-source=<(yes))
BROSK_FUZZ_WRITE=$work/books "$bin/fuzz_xls" $sample >/dev/null 2>&1
checked=0
for book in "$work"/books/*.xls; do
  timeout 120 scripts/xls-dump "$book" > "$book.read" || { echo "unreadable: $book"; exit 1; }
  /usr/bin/python3 - "$book.read" "${book%.xls}.jsonl" <<'PY' || { echo "cells differ: $book"; exit 1; }
import json, sys
got = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8")]
want = sorted((json.loads(l) for l in open(sys.argv[2], encoding="utf-8")), key=lambda c: (c["row"], c["col"]))
sys.exit(0 if got == want else 1)
PY
  checked=$((checked + 1))
done
echo "$checked workbooks read back with exactly their cells"
[ "$checked" -gt 0 ]
