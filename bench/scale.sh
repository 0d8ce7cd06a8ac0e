#!/usr/bin/env bash
# Ten networks of fifty channels of two hundred members each, then a flood
# into one network: Tavi side by side with HexChat, under Xvfb, on a local
# ngircd that stands for every network (bench/scale_load.py drives the
# load and measures from the server's side; bench/tavi_scale.cpp measures
# inside Tavi; bench/x11_ping.cpp times both GUIs' event loops from outside).
#   bench/scale.sh [-r RUNS] [-f LINES_PER_S] [PEER...]   (peers: tavi hexchat)
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$(dirname "$HERE")
RUNS=2 RATE=5000
while getopts "r:f:" opt; do
  case $opt in r) RUNS=$OPTARG ;; f) RATE=$OPTARG ;; *) exit 2 ;; esac
done
shift $((OPTIND - 1))
PEERS=("$@")
[ ${#PEERS[@]} -gt 0 ] || PEERS=(tavi hexchat)
NETWORKS=10 CHANNELS=50 MEMBERS=200

"$SRC/scripts/install-deps.sh"
if [[ " ${PEERS[*]} " == *" hexchat "* ]] && ! command -v hexchat >/dev/null; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -q && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends hexchat
fi
cmake -S "$SRC" -B "$SRC/build-bench" -DCMAKE_BUILD_TYPE=Release -DTAVI_TESTS=OFF >/dev/null
cmake --build "$SRC/build-bench" -j"$(nproc)" --target tavi_scale >/dev/null
cmake --build "$SRC/build-bench" -j"$(nproc)" --target x11_ping >/dev/null 2>&1 || true
PROBE=$SRC/build-bench/bench/x11_ping

DIR=$(mktemp -d /tmp/tavi-scale.XXXXXX)
chmod 755 "$DIR"
PIDS=()
trap 'kill "${PIDS[@]}" 2>/dev/null || true; rm -rf "$DIR"' EXIT

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
# Every limit that would throttle the members' setup or the flood is off:
# joins, connections per address, the penalty time of each command.
cat >"$DIR/ngircd.conf" <<EOF
[Global]
Name = irc.scale.test
Info = scale bench
Listen = 127.0.0.1
Ports = $PORT
[Limits]
MaxConnectionsIP = 0
MaxJoins = 0
MaxPenaltyTime = 0
MaxNickLength = 30
PingTimeout = 900
PongTimeout = 900
[Options]
DNS = no
Ident = no
PAM = no
[SSL]
EOF
chmod 644 "$DIR/ngircd.conf"
timeout 1200 ngircd -n -f "$DIR/ngircd.conf" >"$DIR/ngircd.log" 2>&1 &
PIDS+=($!)

DISP=
for n in $(seq 70 99); do
  [ -e "/tmp/.X$n-lock" ] || { DISP=:$n; break; }
done
Xvfb "$DISP" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
PIDS+=($!)
sleep 1

# Tavi: its settings in a folder of the run's own.
mkdir -p "$DIR/tavi/config"
TAVI="env HOME=$DIR/tavi XDG_CONFIG_HOME=$DIR/tavi/config DISPLAY=$DISP $SRC/build-bench/bench/tavi_scale $PORT \
--networks $NETWORKS --channels $CHANNELS --members $MEMBERS --prefix ta"

# HexChat: the same networks, each with its own nick, joining the same
# channels once connected; no chat log and no scrollback file.
H=$DIR/hexchat
mkdir -p "$H/cfg" "$H/home"
cat >"$H/cfg/hexchat.conf" <<'EOF'
version = 2.16.1
gui_slist_skip = 1
gui_join_dialog = 0
gui_quit_dialog = 0
gui_win_width = 1000
gui_win_height = 700
irc_user_name = scale
irc_real_name = scale
identd_server = 0
irc_logging = 0
text_replay = 0
EOF
{
  printf 'v=2.16.1\n\n'
  for n in $(seq -f %02g "$NETWORKS"); do
    # F=8: connect at start, with this network's own nick.
    printf 'N=scale%s\nI=hx%s\ni=hx%s_\nU=scale\nR=scale\nE=UTF-8\nF=8\nD=0\nS=127.0.0.1/%s\n' "$n" "$n" "$n" "$PORT"
    for c in $(seq -f %02g "$CHANNELS"); do printf 'J=#s%s\n' "$c"; done
    [ "$n" = 01 ] && for f in 1 2 3 4 5; do printf 'J=#f%s\n' "$f"; done
    printf '\n'
  done
} >"$H/cfg/servlist.conf"
AS=""
if [ "$(id -u)" = 0 ]; then  # HexChat stops at a modal dialog as root
  chown -R nobody:nogroup "$H"
  AS="setpriv --reuid=65534 --regid=65534 --clear-groups"
fi
HEXCHAT="env -i PATH=/usr/bin:/bin HOME=$H/home DISPLAY=$DISP DBUS_SESSION_BUS_ADDRESS=disabled: NO_AT_BRIDGE=1 \
$AS hexchat -d $H/cfg -n"

CLIENTS=()
for p in "${PEERS[@]}"; do
  case $p in
    tavi) CLIENTS+=(--client tavi ta "$TAVI") ;;
    hexchat) CLIENTS+=(--client hexchat hx "$HEXCHAT") ;;
    *) echo "unknown peer $p" >&2; exit 2 ;;
  esac
done
PROBEARG=()
[ -x "$PROBE" ] && PROBEARG=(--probe "$PROBE")
DISPLAY=$DISP python3 "$HERE/scale_load.py" "$PORT" --networks "$NETWORKS" --channels "$CHANNELS" \
  --members "$MEMBERS" --flood-rate "$RATE" --runs "$RUNS" --harness tavi "${PROBEARG[@]}" "${CLIENTS[@]}" \
  | tee "$DIR/results"

echo
# Stalls: the worst answer of the X ping probe while joining and during the
# flood; for Tavi also its own 5 ms GUI timer's worst gap in the flood.
printf '%-8s %3s %8s %7s %15s %15s %14s %8s %6s\n' client run start_s rss_mb join_ping_ms flood_ping_ms flood_timer_ms lines/s lag_s
awk 'function f(k) { return k in v ? v[k] : "-" }
     { for (i = 1; i < NF; i += 2) v[$i] = $(i + 1)
       printf "%-8s %3s %8s %7s %15s %15s %14s %8s %6s\n", f("client"), f("run"), f("start_s"), f("rss_mb"),
         f("join_ping_worst_ms"), f("flood_ping_worst_ms"), f("stall_flood_ms"), f("lines_per_s"), f("lag_s")
       delete v }' "$DIR/results"
