#!/usr/bin/env bash
# How often the reading step takes Shift-JIS text for UTF-8, on a corpus made
# from the Japanese message catalogs on this machine (bench/misread_corpus.py).
#   bench/misread.sh [-k FRAGMENTS_PER_LINE] [-s SEED]
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$(dirname "$HERE")
K=3 SEED=1
while getopts "k:s:" opt; do
  case $opt in k) K=$OPTARG ;; s) SEED=$OPTARG ;; *) exit 2 ;; esac
done
cmake -S "$SRC" -B "$SRC/build-bench" -DCMAKE_BUILD_TYPE=Release -DTAVI_TESTS=OFF >/dev/null
cmake --build "$SRC/build-bench" -j2 --target tavi_misread >/dev/null
python3 "$HERE/misread_corpus.py" --fragments-per-line "$K" --seed "$SEED" | "$SRC/build-bench/bench/tavi_misread"
