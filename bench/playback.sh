#!/usr/bin/env bash
# A bouncer plays back a hundred channels' history of 500 lines each as the
# client attaches: Tavi side by side with HexChat (under Xvfb) and WeeChat
# (headless) on the same playback. bench/playback_server.py is the bouncer
# and measures from the server's side; bench/tavi_playback.cpp measures
# inside Tavi; bench/x11_ping.cpp times the GUIs' event loops from outside.
#   bench/playback.sh [-r RUNS] [-c CHANNELS] [-l LINES] [PEER...]
#   (peers: tavi hexchat weechat)
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$(dirname "$HERE")
RUNS=2 CHANNELS=100 LINES=500
while getopts "r:c:l:" opt; do
  case $opt in r) RUNS=$OPTARG ;; c) CHANNELS=$OPTARG ;; l) LINES=$OPTARG ;; *) exit 2 ;; esac
done
shift $((OPTIND - 1))
PEERS=("$@")
[ ${#PEERS[@]} -gt 0 ] || PEERS=(tavi hexchat weechat)

"$SRC/scripts/install-deps.sh" --bench
cmake -S "$SRC" -B "$SRC/build-bench" -DCMAKE_BUILD_TYPE=Release -DTAVI_TESTS=OFF >/dev/null
cmake --build "$SRC/build-bench" -j"$(nproc)" --target tavi_playback >/dev/null
cmake --build "$SRC/build-bench" -j"$(nproc)" --target x11_ping >/dev/null 2>&1 || true
PROBE=$SRC/build-bench/bench/x11_ping

DIR=$(mktemp -d /tmp/tavi-playback.XXXXXX)
chmod 755 "$DIR"
PIDS=()
trap 'kill "${PIDS[@]}" 2>/dev/null || true; rm -rf "$DIR"' EXIT

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
DISP=
for n in $(seq 70 99); do
  [ -e "/tmp/.X$n-lock" ] || { DISP=:$n; break; }
done
timeout 1800 Xvfb "$DISP" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
PIDS+=($!)
sleep 1

# Tavi: its settings in a folder of the run's own (no chat log, as HexChat
# and WeeChat below).
mkdir -p "$DIR/tavi/config"
TAVI="env HOME=$DIR/tavi XDG_CONFIG_HOME=$DIR/tavi/config DISPLAY=$DISP $SRC/build-bench/bench/tavi_playback $PORT \
--channels $CHANNELS --lines $LINES --nick ta"

# HexChat: one network that connects at start; the bouncer joins it to the
# channels. No chat log, no scrollback file, and no send throttle, which
# would hold back the CTCP answer behind its queued MODE queries.
H=$DIR/hexchat
mkdir -p "$H/cfg" "$H/home"
cat >"$H/cfg/hexchat.conf" <<'EOF'
version = 2.16.1
gui_slist_skip = 1
gui_join_dialog = 0
gui_quit_dialog = 0
gui_win_width = 1000
gui_win_height = 700
irc_user_name = playback
irc_real_name = playback
identd_server = 0
irc_logging = 0
text_replay = 0
net_throttle = 0
EOF
# F=8: connect at start, with this network's own nick.
printf 'v=2.16.1\n\nN=playback\nI=hx\ni=hx_\nU=playback\nR=playback\nE=UTF-8\nF=8\nD=0\nS=127.0.0.1/%s\n\n' \
  "$PORT" >"$H/cfg/servlist.conf"
AS=""
if [ "$(id -u)" = 0 ]; then  # HexChat stops at a modal dialog as root
  chown -R nobody:nogroup "$H"
  AS="setpriv --reuid=65534 --regid=65534 --clear-groups"
fi
HEXCHAT="env -i PATH=/usr/bin:/bin HOME=$H/home DISPLAY=$DISP DBUS_SESSION_BUS_ADDRESS=disabled: NO_AT_BRIDGE=1 \
$AS hexchat -d $H/cfg -n >$DIR/hexchat.out 2>&1"

# WeeChat: headless, in a home of its own; it asks for every capability it
# knows. No log, and no send throttle (as HexChat's above).
W=$DIR/weechat
mkdir -p "$W"
WEECHAT="env HOME=$W weechat-headless --dir $W -r '/set logger.file.auto_log off;\
/set irc.server_default.anti_flood_prio_high 0;/set irc.server_default.anti_flood_prio_low 0;\
/server add playback 127.0.0.1/$PORT -nicks=wc -username=playback -realname=playback;/connect playback' \
>$DIR/weechat.out 2>&1"

CLIENTS=()
for p in "${PEERS[@]}"; do
  case $p in
    tavi) CLIENTS+=(--client tavi "$TAVI") ;;
    hexchat) CLIENTS+=(--client hexchat "$HEXCHAT") ;;
    weechat) CLIENTS+=(--client weechat "$WEECHAT") ;;
    *) echo "unknown peer $p" >&2; exit 2 ;;
  esac
done
PROBEARG=()
[ -x "$PROBE" ] && PROBEARG=(--probe "$PROBE")
DISPLAY=$DISP timeout 1800 python3 "$HERE/playback_server.py" "$PORT" --channels "$CHANNELS" --lines "$LINES" \
  --runs "$RUNS" --harness tavi --headless weechat "${PROBEARG[@]}" "${CLIENTS[@]}" | tee "$DIR/results"

echo
# shown_s: Tavi's own figure (every window open with its last line laid
# out); answer_s: from 001 to the answer of the CTCP VERSION that follows
# the playback, for every client. Stalls: the worst answer of the X ping
# probe from the connect to the end, and Tavi's own 5 ms GUI timer.
printf '%-8s %3s %7s %8s %8s %9s %7s %8s  %s\n' client run shown_s answer_s ping_ms timer_ms rss_mb lines/s caps
awk 'function f(k) { return k in v ? v[k] : "-" }
     { for (i = 1; i < NF; i += 2) v[$i] = $(i + 1)
       shown = "shown_ms" in v ? sprintf("%.2f", v["shown_ms"] / 1000) : "-"
       printf "%-8s %3s %7s %8s %8s %9s %7s %8s  %s\n", f("client"), f("run"), shown, f("answer_s"),
         f("ping_worst_ms"), f("stall_ms"), f("rss_mb"), f("lines_per_s"), f("caps")
       delete v }' "$DIR/results"
