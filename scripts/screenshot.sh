#!/usr/bin/env bash
# The README's screenshot, as a person sees the program: the client under
# Xvfb (1280x800) with openbox, a first start against a local ngircd, joined
# to a channel where a second user talks in Japanese. Writes
# docs/screenshot.png, then resizes the main window, closes it, starts it
# again and prints both geometries (the restart must keep the size);
# the second picture goes to docs/screenshot-restart.png only with --keep-restart.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --desktop
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTAVI_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target tavi_screenshot >/dev/null
mkdir -p docs
WORK=$(mktemp -d /tmp/tavi-screenshot.XXXXXX)
PIDS=()
cleanup() { for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$WORK"; }
trap cleanup EXIT

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
scripts/local-server.sh "$PORT" >"$WORK/server.log" 2>&1 & PIDS+=($!)
DISPLAY_NUMBER=$((90 + RANDOM % 9))
Xvfb ":$DISPLAY_NUMBER" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & PIDS+=($!)
export DISPLAY=":$DISPLAY_NUMBER"
sleep 1
openbox >/dev/null 2>&1 & PIDS+=($!)
export XDG_CONFIG_HOME="$WORK/config" LANG=C.UTF-8
sleep 1

start_client() {
  build-bench/bench/tavi_screenshot "$PORT" "#tavi" >"$WORK/client.out" 2>"$WORK/client.err" & CLIENT=$!
  PIDS+=($CLIENT)
  for _ in $(seq 100); do grep -q joined "$WORK/client.out" 2>/dev/null && break; sleep 0.1; done
  grep -q joined "$WORK/client.out" || { cat "$WORK/client.err"; echo "the client did not join"; exit 1; }
  sleep 1
  WINDOW=$(xdotool search --sync --onlyvisible --pid "$CLIENT" --name . | head -n 1)
}
geometry() { xdotool getwindowgeometry "$WINDOW" | sed -n 's/^ *Geometry: //p'; }

start_client
# Three more users on the channel: one writing JIS as Japanese clients do
# (half-width katakana as ESC ( I), one Shift-JIS, one UTF-8 with emoji.
python3 - "$PORT" <<'PY' &
import socket, sys, time
def user(nick, encoding):
    s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
    s.sendall(f"NICK {nick}\r\nUSER {nick} 0 * :{nick}\r\n".encode())
    return s, encoding
users = [user("hanako", "iso2022_jp"), user("taro", "cp932"), user("mika", "utf-8")]
time.sleep(0.5)
for s, _ in users:
    s.sendall(b"JOIN #tavi\r\n")
time.sleep(0.5)
def say(who, text, raw=b""):
    s, encoding = users[who]
    s.sendall(b"PRIVMSG #tavi :" + text.encode(encoding) + raw + b"\r\n")
    time.sleep(0.3)
say(0, "こんにちは、タヴィへようこそ！ ", b"\x1b(I6@6E\x1b(B")
say(1, "①㈱ ｶﾀｶﾅ もどうぞ")
say(2, "漢字 😀 café 한국어 Ελληνικά 🎉")
say(0, "DCC でファイルを送りましょうか？")
time.sleep(30)
PY
PIDS+=($!)
sleep 3
import -window root docs/screenshot.png
echo "first start: $(geometry)"

xdotool windowsize "$WINDOW" 900 620
xdotool windowmove "$WINDOW" 120 60
sleep 0.5
WANT=$(geometry)
# Closing while joined leaves the channel first and asks to close again.
wmctrl -i -c "$WINDOW"
for _ in $(seq 20); do
  kill -0 "$CLIENT" 2>/dev/null || break
  sleep 0.5
  for box in $(xdotool search --onlyvisible --pid "$CLIENT" --name '^Tavi$' 2>/dev/null); do
    xdotool windowactivate --sync "$box" key Return 2>/dev/null || true
  done
  wmctrl -i -c "$WINDOW" 2>/dev/null || true
done
wait "$CLIENT" 2>/dev/null || true
start_client
GOT=$(geometry)
echo "resized to: $WANT; after a restart: $GOT"
sleep 2
if [ "${1:-}" = "--keep-restart" ]; then import -window root docs/screenshot-restart.png; fi
[ "$WANT" = "$GOT" ] || { echo "the restart did not keep the window's size"; exit 1; }
