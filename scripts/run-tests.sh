#!/usr/bin/env bash
# Fresh machine to green: installs what is needed, builds plain and with the
# sanitizers, runs every test on both, and gives each fuzz target a short run.
#   FUZZ_SECONDS=0 scripts/run-tests.sh   skips the fuzzing
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=$(nproc)
FUZZ_SECONDS=${FUZZ_SECONDS:-25}

scripts/install-deps.sh

echo "== plain build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"
ctest --test-dir build --output-on-failure -j"$JOBS"

if [ "$FUZZ_SECONDS" != 0 ]; then
  echo "== fuzzing, ${FUZZ_SECONDS}s a target"
  CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-fuzz -j"$JOBS"
  for target in fuzz_kanji fuzz_reading fuzz_decode fuzz_parser fuzz_settings fuzz_framer fuzz_ctcp fuzz_events fuzz_lines fuzz_lines_boxes; do
    corpus=build-fuzz/corpus-$target
    mkdir -p "$corpus"
    # Seeds, where a target has them, start it from realistic lines.
    seeds=fuzz/corpus/${target#fuzz_}
    seeds=${seeds%_boxes}
    [ "$target" = fuzz_events ] && seeds=fuzz/corpus/lines
    if [ -d "$seeds" ]; then
      # With real message boxes each input costs a window's life: a sample of
      # the seeds keeps the run near its time, which libFuzzer cannot cut
      # while it reads the corpus in.
      if [ "$target" = fuzz_lines_boxes ]; then
        find "$seeds" -type f | sort | awk 'NR % 10 == 1' | xargs -d '\n' cp -t "$corpus"/
      else
        cp "$seeds"/* "$corpus"/
      fi
    fi
    build-fuzz/$target -max_total_time="$FUZZ_SECONDS" -max_len=4096 -timeout=10 -print_final_stats=0 "$corpus" \
      >build-fuzz/$target.log 2>&1 || { tail -50 build-fuzz/$target.log; echo "$target found a fault"; exit 1; }
    grep -E "^Done [0-9]+ runs" build-fuzz/$target.log | sed "s/^/$target: /" || true
  done
fi

echo "== sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTAVI_SANITIZE=ON -DTAVI_BENCH=OFF
cmake --build build-asan -j"$JOBS"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build-asan --output-on-failure -j"$JOBS"
