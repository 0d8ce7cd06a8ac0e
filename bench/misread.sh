#!/usr/bin/env bash
# How often DecodeWire reads a received line as the wrong encoding, both
# ways: (a) Japanese Shift-JIS lines taken for UTF-8, (b) UTF-8 lines of other
# languages taken for Shift-JIS, on corpora made from the message catalogs
# on this machine (bench/misread_corpus.py). Goal: at most 0.1% each.
#   bench/misread.sh [-b BUILD_DIR] [-k FRAGMENTS_PER_LINE] [-s SEED] [-n SHOW]
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$(dirname "$HERE")
BUILD=$SRC/build-bench
K=3 SEED=1 SHOW=10
while getopts "b:k:s:n:" opt; do
  case $opt in b) BUILD=$OPTARG ;; k) K=$OPTARG ;; s) SEED=$OPTARG ;; n) SHOW=$OPTARG ;; *) exit 2 ;; esac
done
cmake -S "$SRC" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTAVI_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target tavi_misread >/dev/null
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
python3 "$HERE/misread_corpus.py" --fragments-per-line "$K" --seed "$SEED" >"$TMP/sjis.txt"
python3 "$HERE/misread_corpus.py" --utf8 --fragments-per-line "$K" --seed "$SEED" >"$TMP/utf8.txt"
"$BUILD/bench/tavi_misread" "$TMP/sjis.txt" "$TMP/utf8.txt" --show "$SHOW" | tee "$TMP/out.txt"
awk '/misread [0-9]+: / { r = $0; sub(/.*misread [0-9]+: /, "", r); sub(/%.*/, "", r); if (r + 0 > 0.1) bad = 1 }
     END { print (bad ? "goal <= 0.1% each: MISSED" : "goal <= 0.1% each: met"); exit bad ? 3 : 0 }' "$TMP/out.txt"
