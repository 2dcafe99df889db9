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
    -artifact_prefix="$work/" "$work/$target" 2>&1 |
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)|ERROR|SUMMARY' || true
  if ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* >/dev/null 2>&1; then
    echo "fuzz_$target found a failure:"; ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* 2>/dev/null
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
