#!/usr/bin/env bash
# The receive path side by side with irssi, WeeChat and HexChat: the peer flood server
# sends N PRIVMSG lines (mixed ASCII and JIS) to #bench, then a PING; the time
# from the first flood byte to the PONG is measured for each client in one run.
#   bench/flood.sh [-n N] [-r RUNS] [-u PCT] [PEER...]   (default peers: irssi weechat hexchat tavi)
# -u PCT: PCT percent of the flood's lines in UTF-8 (bench/floodserver_utf8.py);
# irssi and WeeChat stay set up to read ISO-2022-JP.
# The peer tavi-log is the same client keeping a log of the channel;
# tavi-base=PATH is another build's tavi_flood_client (a branch point).
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$(dirname "$HERE")
PEERBENCH=${PEERBENCH:-$SRC/../shared/peerbench}
N=100000 RUNS=3 UTF8=0
while getopts "n:r:u:" opt; do
  case $opt in n) N=$OPTARG ;; r) RUNS=$OPTARG ;; u) UTF8=$OPTARG ;; *) exit 2 ;; esac
done
shift $((OPTIND - 1))
if [ "$UTF8" != 0 ]; then
  # The peer bench as it is, with the UTF-8 flood server in place of its own.
  REAL=$(cd "$PEERBENCH" && pwd)
  PEERBENCH=$(mktemp -d /tmp/tavi-peerbench.XXXXXX)
  for f in "$REAL"/*; do ln -s "$f" "$PEERBENCH/"; done
  rm "$PEERBENCH/floodserver.py"
  cp "$HERE/floodserver_utf8.py" "$PEERBENCH/floodserver.py"
  export PEERBENCH_REAL=$REAL UTF8_PERCENT=$UTF8
fi

"$SRC/scripts/install-deps.sh" --bench
cmake -S "$SRC" -B "$SRC/build-bench" -DCMAKE_BUILD_TYPE=Release -DTAVI_TESTS=OFF >/dev/null
cmake --build "$SRC/build-bench" -j"$(nproc)" --target tavi_flood_client >/dev/null

# The flood's last message, which the channel window must show last.
LAST=$(mktemp)
python3 "$PEERBENCH/floodserver.py" --dump-lines "$N" | tail -n 1 | tr -d '\r' | sed 's/^[^ ]* [^ ]* [^ ]* ://' >"$LAST.jis"
python3 - "$LAST.jis" "$LAST" <<'PY'
import sys
# The window shows the text: decode the JIS runs (or the UTF-8) the same way.
data = open(sys.argv[1], 'rb').read().rstrip(b'\n')
out = data.decode('iso2022_jp' if b'\x1b' in data or data.isascii() else 'utf-8').encode('utf-8')
open(sys.argv[2], 'wb').write(out)
PY

TAVI="x11:tavi=$SRC/build-bench/bench/tavi_flood_client {port} --expect-last $LAST"
PEERS=("$@")
[ ${#PEERS[@]} -eq 0 ] && PEERS=(irssi weechat hexchat tavi)
ARGS=()
for p in "${PEERS[@]}"; do
  if [ "$p" = tavi ]; then ARGS+=("$TAVI")
  elif [ "$p" = tavi-log ]; then ARGS+=("x11:tavi-log=${TAVI#x11:tavi=} --log")
  elif [ "${p%%=*}" = tavi-base ]; then ARGS+=("x11:tavi-base=${p#tavi-base=} {port} --expect-last $LAST")
  else ARGS+=("$p"); fi
done
OUT=$(mktemp -d /tmp/tavi-flood.XXXXXX)
# HexChat runs as nobody when started by root: it must reach its folder.
chmod 755 "$OUT"
N=$N RUNS=$RUNS bash "$PEERBENCH/run_peers.sh" -n "$N" -r "$RUNS" -o "$OUT" "${ARGS[@]}"
grep -h "check:" "$OUT"/tavi*/peer.out 2>/dev/null || true
rm -f "$LAST" "$LAST.jis"
[ "$UTF8" = 0 ] || rm -r "$PEERBENCH"
