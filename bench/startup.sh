#!/usr/bin/env bash
# Start-up time and resident memory, idle and connected to a local ngircd,
# under Xvfb.
#   bench/startup.sh [RUNS]
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$(dirname "$HERE")
RUNS=${1:-5}
"$SRC/scripts/install-deps.sh"
cmake -S "$SRC" -B "$SRC/build-bench" -DCMAKE_BUILD_TYPE=Release -DTAVI_TESTS=OFF >/dev/null
cmake --build "$SRC/build-bench" -j"$(nproc)" --target tavi_startup >/dev/null

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
DIR=$(mktemp -d /tmp/tavi-startup.XXXXXX)
printf '[Global]\nName = irc.startup.test\nInfo = x\nListen = 127.0.0.1\nPorts = %s\n[Options]\nDNS = no\nIdent = no\nPAM = no\n[SSL]\n' "$PORT" >"$DIR/ngircd.conf"
chmod 755 "$DIR"; chmod 644 "$DIR/ngircd.conf"
timeout 120 ngircd -n -f "$DIR/ngircd.conf" >"$DIR/ngircd.log" 2>&1 &
NG=$!
Xvfb :77 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
XV=$!
sleep 1
for i in $(seq "$RUNS"); do
  DISPLAY=:77 "$SRC/build-bench/bench/tavi_startup" "$PORT"
done | awk '{ sum[$1] += $2; n[$1]++ } END { for (k in sum) printf "%s %.0f (mean of %d)\n", k, sum[k] / n[k], n[k] }'
kill $NG $XV 2>/dev/null || true
rm -rf "$DIR"
