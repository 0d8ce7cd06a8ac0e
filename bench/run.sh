#!/usr/bin/env bash
# run.sh - build the benchmarks in Release and print the key figures.
#
#   bench/run.sh [-b BUILD_DIR] [-r REPS] [-m CORPUS_MB] [-p] [-o OUT_DIR]
#
#   -b DIR  build tree (default: <repo>/build-bench)
#   -r N    repetitions of each benchmark, interleaved (default 7); figures
#           are medians, with the best repetition in brackets
#   -m MB   size of each JisDecode corpus in MB of 1e6 bytes (default 4)
#   -p      also build /work/shared/peerbench/iconvbench.c, check that it
#           generates the very same corpus, and print its figures
#   -o DIR  keep the JSON results here (default: a fresh temporary folder)
#
# Goals, one core: JisDecode per line >= 5x iconv per line on the mixed
# corpus; DecodeWire (to UTF-8, the encoding found by itself) per line >= 5x
# iconv per line on the same corpus; ParseLine >= 1,000,000 lines/s on the
# mixed lines. Exit status 0 when all are met, 3 when one is missed, other
# values on errors.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$(dirname "$HERE")
BUILD=$SRC/build-bench
REPS=7
MB=4
PEER=0
OUT=""
while getopts "b:r:m:po:h" opt; do
    case $opt in
        b) BUILD=$OPTARG ;;
        r) REPS=$OPTARG ;;
        m) MB=$OPTARG ;;
        p) PEER=1 ;;
        o) OUT=$OPTARG ;;
        *) sed -n '2,16p' "$0"; exit 2 ;;
    esac
done
[ -n "$OUT" ] || OUT=$(mktemp -d /tmp/tavi-bench.XXXXXX)
mkdir -p "$OUT"

cmake -S "$SRC" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTAVI_TESTS=OFF >"$OUT/cmake.log" 2>&1 ||
    { cat "$OUT/cmake.log"; exit 1; }
cmake --build "$BUILD" -j2 --target bench_kanji bench_parser >"$OUT/build.log" 2>&1 ||
    { tail -40 "$OUT/build.log"; exit 1; }

# One core, so the figures are one-core figures and steadier.
PIN=()
command -v taskset >/dev/null && PIN=(taskset -c 0)

# Interleaved repetitions spread this VM's drift over both sides of a ratio.
COMMON=(--benchmark_repetitions="$REPS" --benchmark_enable_random_interleaving=true
        --benchmark_out_format=json)
# Our own notes on stderr (mismatches, refused lines), not the context header.
notes() { grep -E 'differs|refuse|rejects|failed|^  (in|iconv|JisDecode|DecodeWire): ' "$1" || true; }

echo "== bench_kanji (corpus ${MB} MB, ${REPS} repetitions)"
"${PIN[@]}" "$BUILD/bench/bench_kanji" --corpus_mb="$MB" "${COMMON[@]}" \
    --benchmark_out="$OUT/kanji.json" >"$OUT/kanji.txt" 2>"$OUT/kanji.err" ||
    { cat "$OUT/kanji.err"; exit 1; }
notes "$OUT/kanji.err"
echo "== bench_parser (${REPS} repetitions)"
"${PIN[@]}" "$BUILD/bench/bench_parser" "${COMMON[@]}" \
    --benchmark_out="$OUT/parser.json" >"$OUT/parser.txt" 2>"$OUT/parser.err" ||
    { cat "$OUT/parser.err"; exit 1; }
notes "$OUT/parser.err"

status=0
python3 "$HERE/summarize.py" "$OUT/kanji.json" "$OUT/parser.json" || status=$?

# DecodeWire beside iconv: medians, best repetition in brackets.
python3 - "$OUT/kanji.json" <<'PY' || status=3
import json, statistics, sys
doc = json.load(open(sys.argv[1]))
runs = {}
for b in doc["benchmarks"]:
    if b.get("run_type", "iteration") == "iteration" and "error_occurred" not in b:
        runs.setdefault(b.get("run_name", b["name"]), []).append(b["bytes_per_second"] / 1e6)
def fig(name):
    r = runs.get(name)
    return (statistics.median(r), max(r)) if r else (0.0, 0.0)
print()
print("DecodeWire (any line to UTF-8) vs glibc iconv per line, MB/s of input")
print("  DecodeWire output equals iconv's UTF-8 on every corpus: %s"
      % doc["context"].get("decodewire_matches_iconv", "?"))
print("  %-8s %18s %18s %8s %18s %8s" % ("corpus", "DecodeWire", "iconv ->CP932", "ratio",
                                         "iconv ->UTF-8", "ratio"))
for pct in (30, 0, 100):
    d, i, u = (fig("BM_%s_PerLine/jis:%d" % (n, pct)) for n in ("DecodeWire", "Iconv", "IconvUtf8"))
    print("  jis:%-4d %9.1f (%6.1f) %9.1f (%6.1f) %7.2fx %9.1f (%6.1f) %7.2fx" % (
        pct, d[0], d[1], i[0], i[1], d[0] / i[0] if i[0] else 0, u[0], u[1], d[0] / u[0] if u[0] else 0))
d, i = fig("BM_DecodeWire_PerLine/jis:30"), fig("BM_Iconv_PerLine/jis:30")
r = d[0] / i[0] if i[0] else 0
ok = r >= 5 and doc["context"].get("decodewire_matches_iconv") == "yes"
print("  goal DecodeWire >= 5x iconv per line (mix): %.2fx (best %.2fx)  %s"
      % (r, d[1] / i[1] if i[1] else 0, "met" if ok else "MISSED"))
sys.exit(0 if ok else 3)
PY

if [ "$PEER" = 1 ]; then
    echo
    echo "== peer harness iconvbench.c on the same corpus (best of 5)"
    gcc -O2 -Wall -Wextra -o "$OUT/iconvbench" /work/shared/peerbench/iconvbench.c
    "$OUT/iconvbench" -m "$MB" -s 1 -j 30 -d "$OUT/peer-corpus.bin"
    "$BUILD/bench/bench_kanji" --corpus_mb="$MB" --jis_percent=30 --dump_corpus="$OUT/our-corpus.bin"
    if cmp -s "$OUT/peer-corpus.bin" "$OUT/our-corpus.bin"; then
        echo "  corpus identical to iconvbench -s 1 -j 30 -m $MB"
    else
        echo "  CORPUS DIFFERS from iconvbench's"
        status=1
    fi
    rm -f "$OUT/peer-corpus.bin" "$OUT/our-corpus.bin"
    "${PIN[@]}" "$OUT/iconvbench" -m "$MB" -s 1 -j 30 -r 5 | sed 's/^/  /'
fi
echo
echo "results: $OUT"
exit $status
