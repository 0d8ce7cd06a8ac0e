#!/usr/bin/env bash
# The worst GUI stall and the memory growth for each hostile-server attack,
# under Xvfb (offscreen when Xvfb is missing).
#   bench/stall.sh [ATTACK...]   (default: all of them)
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$(dirname "$HERE")
ATTACKS=("$@")
[ ${#ATTACKS[@]} -gt 0 ] || ATTACKS=(joins pms errors netsplit motd ctcp stalled invites flood lists bans ison dups dccchat)

cmake -S "$SRC" -B "$SRC/build-bench" -DCMAKE_BUILD_TYPE=Release -DTAVI_TESTS=OFF >/dev/null
cmake --build "$SRC/build-bench" -j"$(nproc)" --target tavi_stall >/dev/null

run() {
  if command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1280x800x24" "$@"
  else
    QT_QPA_PLATFORM=offscreen "$@"
  fi
}
for attack in "${ATTACKS[@]}"; do
  run "$SRC/build-bench/bench/tavi_stall" "$attack" 2>/dev/null
done
