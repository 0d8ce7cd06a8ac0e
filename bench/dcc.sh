#!/usr/bin/env bash
# bench/dcc.sh [MiB]: a DCC SEND of a 256 MiB file (or MiB) over loopback and
# through a relay that holds the bytes 20 ms each way: Tavi to Tavi, Tavi to
# irssi, irssi to Tavi, irssi to irssi, and a plain socket copy on the same
# path as the ceiling. The offers go through a local ngircd; irssi runs in
# tmux. Each figure is the median of RUNS (default 3) runs; PAIRS and DELAYS
# ("0 20") choose what runs (default all). Prints a table and, last,
# "dcc: loopback X MB/s (copy Y), relay X MB/s (copy Y)".
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(dirname "$HERE")
MIB=${1:-256}
RUNS=${RUNS:-3}
DELAY=20
BUILD=$ROOT/build-bench
BIN=$BUILD/bench/tavi_dcc_bench

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTAVI_TESTS=OFF >/dev/null || exit 1
cmake --build "$BUILD" -j2 --target tavi_dcc_bench >/dev/null || exit 1

# The measuring takes the lock the test runs take, so neither disturbs the
# other; the peers start after it, so that none sits idle while waiting.
exec {LOCK}>/tmp/tavi-ctest.lock
flock "$LOCK"

D=$(mktemp -d /tmp/tavi-dccbench.XXXXXX)
NGIRCD_PID="" TMUXSOCK=""
cleanup() {
    [ -n "$TMUXSOCK" ] && tmux -L "$TMUXSOCK" kill-server 2>/dev/null
    [ -n "$NGIRCD_PID" ] && kill "$NGIRCD_PID" 2>/dev/null
    rm -rf "$D"
}
trap cleanup EXIT
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

head -c $((MIB * 1048576)) /dev/urandom >"$D/src.bin"
SIZE=$((MIB * 1048576))
mkdir -p "$D/in" "$D/irssi-in" "$D/irssi2-in"

# The server for the offers.
PORT=$(free_port)
cat >"$D/ngircd.conf" <<CONF
[Global]
Name = bench.tavi
Info = DCC bench
Listen = 127.0.0.1
Ports = $PORT
MotdPhrase = bench
PingTimeout = 600
PongTimeout = 600
MaxConnectionsIP = 0
MaxNickLength = 30
[Options]
DNS = no
Ident = no
PAM = no
CONF
ngircd -n -f "$D/ngircd.conf" >"$D/ngircd.log" 2>&1 &
NGIRCD_PID=$!
for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/$PORT) 2>/dev/null && break; sleep 0.1; done

# Two irssi, each in a window of its own tmux server.
TMUXSOCK=tavi-dccbench.$$
irssi_start() {   # $1 = name, $2 = nick, $3 = download folder
    mkdir -p "$D/$1"
    cat >"$D/$1/config" <<CONF
servers = ( { address = "127.0.0.1"; chatnet = "bench"; port = "$PORT"; use_tls = "no"; autoconnect = "yes"; } );
chatnets = { bench = { type = "IRC"; }; };
settings = {
  core = { real_name = "bench"; user_name = "bench"; nick = "$2"; settings_autosave = "no"; };
  "irc/dcc" = { dcc_autoget = "yes"; dcc_download_path = "$3"; dcc_autoget_max_size = "0";
                dcc_own_ip = "127.0.0.1"; dcc_timeout = "600"; };
};
CONF
    if tmux -L "$TMUXSOCK" has-session 2>/dev/null; then
        tmux -L "$TMUXSOCK" new-window -t bench -n "$1" "exec irssi --home='$D/$1'"
    else
        tmux -L "$TMUXSOCK" -f /dev/null new-session -d -s bench -n "$1" -x 160 -y 48 "exec irssi --home='$D/$1'"
    fi
}
irssi_start irssi irssib "$D/irssi-in"
irssi_start irssi2 irssir "$D/irssi2-in"
sleep 3
irssi_cmd() { tmux -L "$TMUXSOCK" send-keys -t "bench:$1" "$2" Enter; }

# Waits until FILE has SIZE bytes; prints the seconds since START.
await_file() {
    local file=$1 start=$2 t
    for _ in $(seq 12000); do
        if [ "$(stat -c %s "$file" 2>/dev/null || echo 0)" = "$SIZE" ]; then
            t=$(date +%s.%N); echo "$t - $start" | bc; return 0
        fi
        sleep 0.05
    done
    echo 0
}

field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" | tail -1; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR ? a[int((NR+1)/2)] : 0)}'; }

# One run of a pair; prints "mb_s maxrss_kb gui_gap_ms" of the Tavi side
# that measures (the receiver when both are Tavi).
run_pair() {  # $1 = pair, $2 = delay
    local pair=$1 delay=$2 out
    case $pair in
    copy)
        "$BIN" copy --mib "$MIB" --delay "$delay" >"$D/out" ;;
    tavi-tavi)
        rm -f "$D/in/got.bin"
        # The relay runs in the sender, as with irssi receiving.
        "$BIN" recv --irc "$PORT" --nick tavir --save "$D/in/got.bin" >"$D/out" &
        local r=$!
        for _ in $(seq 100); do grep -q READY "$D/out" 2>/dev/null && break; sleep 0.1; done
        "$BIN" send --irc "$PORT" --nick tavis --to tavir --file "$D/src.bin" --delay "$delay" >/dev/null
        wait $r
        cmp -s "$D/src.bin" "$D/in/got.bin" || echo "RESULT mb_s=0 (file differs)" >>"$D/out" ;;
    tavi-irssi)
        rm -f "$D/irssi-in/src.bin"
        "$BIN" send --irc "$PORT" --nick tavis --to irssib --file "$D/src.bin" --delay "$delay" >"$D/out"
        sleep 0.5
        cmp -s "$D/src.bin" "$D/irssi-in/src.bin" || echo "RESULT mb_s=0 (file differs)" >>"$D/out" ;;
    irssi-tavi)
        rm -f "$D/in/got.bin"
        "$BIN" recv --irc "$PORT" --nick tavir --save "$D/in/got.bin" --delay "$delay" >"$D/out" &
        local r=$!
        for _ in $(seq 100); do grep -q READY "$D/out" 2>/dev/null && break; sleep 0.1; done
        # Timed as irssi to irssi is, from the command to the whole file
        # under its name; the memory and the GUI gap are Tavi's.
        local start; start=$(date +%s.%N)
        irssi_cmd irssi "/dcc send tavir $D/src.bin"
        local s; s=$(await_file "$D/in/got.bin" "$start")
        wait $r
        irssi_cmd irssi "/dcc close send tavir"
        [ "$s" = 0 ] || sed -i "s/RESULT mb_s=[0-9.]*/RESULT mb_s=$(echo "$SIZE / $s / 1000000" | bc -l | xargs printf %.1f)/" "$D/out"
        cmp -s "$D/src.bin" "$D/in/got.bin" || echo "RESULT mb_s=0 (file differs)" >>"$D/out" ;;
    irssi-irssi)
        # irssi cannot be told to use a relay: loopback only. Timed from the
        # command to the whole file on disk.
        rm -f "$D/irssi2-in/src.bin"
        local start; start=$(date +%s.%N)
        irssi_cmd irssi "/dcc send irssir $D/src.bin"
        local s; s=$(await_file "$D/irssi2-in/src.bin" "$start")
        sleep 0.3
        if [ "$s" = 0 ]; then echo "RESULT mb_s=0" >"$D/out"; else
        echo "RESULT mb_s=$(echo "$SIZE / $s / 1000000" | bc -l | xargs printf %.1f) maxrss_kb=0 gui_gap_ms=0" >"$D/out"; fi ;;
    esac
    out=$(grep RESULT "$D/out" | tail -1)
    echo "$(echo "$out" | field mb_s) $(echo "$out" | field maxrss_kb) $(echo "$out" | field gui_gap_ms)"
}

declare -A SPEED RSS GAP
printf '%-12s %-9s %10s %16s %14s\n' pair path "MB/s" "peak RSS (MB)" "GUI gap (ms)"
for delay in ${DELAYS:-0 $DELAY}; do
    path=loopback; [ "$delay" = 0 ] || path="relay ${DELAY}ms"
    for pair in ${PAIRS:-copy tavi-tavi tavi-irssi irssi-tavi irssi-irssi}; do
        [ "$pair" = irssi-irssi ] && [ "$delay" != 0 ] && continue
        : >"$D/runs"
        for _ in $(seq "$RUNS"); do run_pair "$pair" "$delay" >>"$D/runs"; done
        s=$(cut -d' ' -f1 "$D/runs" | median)
        m=$(cut -d' ' -f2 "$D/runs" | median)
        g=$(cut -d' ' -f3 "$D/runs" | sort -g | tail -1)
        SPEED[$pair.$delay]=$s
        printf '%-12s %-9s %10s %16s %14s\n' "$pair" "${path// /}" "$s" "$(echo "${m:-0} / 1024" | bc)" "${g:-0}"
    done
done
echo "dcc: loopback ${SPEED[tavi-tavi.0]:-} MB/s (copy ${SPEED[copy.0]:-}), relay ${SPEED[tavi-tavi.$DELAY]:-} MB/s (copy ${SPEED[copy.$DELAY]:-})"
