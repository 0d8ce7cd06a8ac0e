#!/usr/bin/env python3
"""A bouncer's history playback on connect, for one client after another,
measured from the server's side.

    playback_server.py PORT [options] --client NAME COMMAND [--client ...]

Listens on 127.0.0.1:PORT and speaks as ZNC 1.8 does to a client that
attaches: offers "batch cap-notify echo-message multi-prefix server-time
userhost-in-names" to CAP LS 302, registers the client (001-005, the end of
the MOTD), then for each channel joins it (JOIN, topic, NAMES) and plays back
its buffer of LINES messages, with their times in the past: inside a BATCH
of type znc.in/playback when the client took batch, tagged with only their
time when it took server-time alone, plain otherwise. Some are Japanese, some
name the client's nick. Then a CTCP VERSION comes from the nick "probe": a
client reads in order, so its answer says that it has handled the whole
playback.

Each client runs COMMAND (through bash) and must connect on its own. Figures,
as "key value" pairs on one line per run:

  answer_s    from 001 to the answer of the CTCP VERSION;
  lines_per_s the playback lines over answer_s;
  rss_mb      the client process's VmRSS at the answer;
  caps        the capabilities the client took ("-" for none);
  ping_worst_ms (and the probe's other figures) the worst answer time of the
              stall probe (PROBE PID), when one is given and the client is
              not --headless, from the client's connect until the end word
              below.

Half a second after the answer the client gets "PRIVMSG NICK :playback-end".
A client named in --harness measures itself: it has 30 s to leave, must exit
with status 0, and what it printed is added to the figures; any other client
is ended at once.
"""
import argparse
import asyncio
import datetime
import os
import signal
import sys
import time

from scale_load import rss_mb, start_probe, stop_probe

SERVER = "irc.znc.in"
OFFERED = ["batch", "cap-notify", "echo-message", "multi-prefix", "server-time", "userhost-in-names"]
CRLF = "\r\n"

# What people say in the channels; {nick} is the client's nick.
SAYINGS = [
    "おはようございます、今日もよろしくお願いします",
    "昨日のリリース、もう試した人いますか？",
    "{nick}さん、さっきのログ見てもらえますか",
    "ビルドが通らないので調べています。CMake のキャッシュを消したら直りました",
    "ok, pushed the fix to the branch",
    "ランチ行ってきます",
    "{nick}: 会議は15時からに変更になりました",
    "東京は雨が降ってきました☔",
    "does anyone know why the test fails on arm64?",
    "了解です。明日までにまとめておきます",
    "半角ｶﾀｶﾅと全角カタカナが混ざったファイル名で困っています",
    "その件は #general で話しましょう",
    "{nick} thanks!",
    "メモリ使用量が 120 MB から 80 MB に減りました",
    "なるほど、それなら Shift_JIS のままでも大丈夫そうですね",
    "(笑)",
]
NICK_POOL = [f"{name}{n}" for n in ("", "_", "2", "`") for name in (
    "taro", "hanako", "kenji", "yuki", "sakura", "hiro", "aki", "mai", "ryo", "nana",
    "sora", "ken", "miki", "jun", "rin", "daisuke", "emi", "shin", "kaori", "takeshi",
    "yumi", "naoki", "ayaka", "kouji", "mina", "tomo", "haru", "riko", "sho", "kana")]


def channel_names(count):
    """Mostly ASCII names, every tenth in Japanese."""
    return [f"#日本語{i:03d}" if i % 10 == 0 else f"#pb{i:03d}" for i in range(1, count + 1)]


def iso_time(seconds):
    moment = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc)
    return moment.strftime("%Y-%m-%dT%H:%M:%S.") + f"{moment.microsecond // 1000:03d}Z"


class Playback:
    """The bytes that follow a client's registration: joins, names and the
    channels' buffers, as the client's capabilities shape them."""

    def __init__(self, args, nick, caps):
        self.nick, self.caps = nick, caps
        self.lines = 0
        chunks = []
        names = channel_names(args.channels)
        # Times from well in the past up to a minute ago, one a second.
        first = time.time() - 60 - len(names) * args.lines
        for c, channel in enumerate(names):
            members = [NICK_POOL[(c * 7 + k * 11) % len(NICK_POOL)] for k in range(args.members)]
            members = list(dict.fromkeys(members))
            chunks.append(self.join(channel, members))
            chunks.append(self.buffer(channel, c, members, args.lines, first + c * args.lines))
        self.data = "".join(chunks).encode()

    def join(self, channel, members):
        me = f"{self.nick}!{self.nick}@127.0.0.1"
        out = [f":{me} JOIN :{channel}",
               f":{SERVER} 332 {self.nick} {channel} :{channel} の話題: 次のリリースは金曜日",
               f":{SERVER} 333 {self.nick} {channel} taro!taro@example.jp 1700000000"]
        entries = [self.nick]
        for k, member in enumerate(members):
            rank = "@" if k < 2 else "+" if k < 5 else ""
            if k == 0 and "multi-prefix" in self.caps:
                rank = "@+"
            name = f"{member}!{member}@{member}.example.jp" if "userhost-in-names" in self.caps else member
            entries.append(rank + name)
        head = f":{SERVER} 353 {self.nick} = {channel} :"
        line = []
        for entry in entries:
            if line and len(head) + len(" ".join(line + [entry])) > 400:
                out.append(head + " ".join(line))
                line = []
            line.append(entry)
        out.append(head + " ".join(line))
        out.append(f":{SERVER} 366 {self.nick} {channel} :End of /NAMES list.")
        return CRLF.join(out) + CRLF

    def buffer(self, channel, c, members, count, first):
        batch = "batch" in self.caps
        timed = "server-time" in self.caps
        ref = f"pb{c}"
        out = [f":{SERVER} BATCH +{ref} znc.in/playback {channel}"] if batch else []
        for i in range(1, count + 1):
            who = members[(i * 5 + c) % len(members)]
            text = SAYINGS[(i + c) % len(SAYINGS)].format(nick=self.nick)
            line = f":{who}!{who}@{who}.example.jp PRIVMSG {channel} :{text} ({i})"
            if batch:
                line = f"@batch={ref};time={iso_time(first + i)} " + line
            elif timed:
                line = f"@time={iso_time(first + i)} " + line
            out.append(line)
        if batch:
            out.append(f":{SERVER} BATCH -{ref}")
        self.lines += count
        return CRLF.join(out) + CRLF


class Bouncer:
    """One attached client, from CAP LS to the answer of the VERSION."""

    def __init__(self, args, reader, writer):
        self.args, self.reader, self.writer = args, reader, writer
        self.nick = self.user = None
        self.negotiating = False
        self.caps = set()
        self.registered = False
        self.welcomed_at = None
        self.playback = None
        self.answered = asyncio.get_running_loop().create_future()

    def send(self, text):
        self.writer.write(text.encode() if isinstance(text, str) else text)

    async def serve(self):
        buf = b""
        while True:
            data = await self.reader.read(1 << 16)
            if not data:
                return
            lines = (buf + data).split(b"\n")
            buf = lines.pop()
            for raw in lines:
                self.on_line(raw.rstrip(b"\r").decode("utf-8", "replace"))

    def on_line(self, line):
        if line.startswith("@"):
            line = line.split(" ", 1)[1] if " " in line else ""
        head, _, trailing = line.partition(" :")
        words = head.split()
        if not words:
            return
        command = words[0].upper()
        params = words[1:] + ([trailing] if _ else [])
        if command == "CAP":
            self.on_cap(params)
        elif command == "NICK" and params:
            if self.registered:
                self.send(f":{self.nick}!{self.user}@127.0.0.1 NICK :{params[0]}\r\n")
            self.nick = params[0]
            self.maybe_register()
        elif command == "USER" and params:
            self.user = params[0]
            self.maybe_register()
        elif command == "PING":
            self.send(f":{SERVER} PONG {SERVER} :{params[-1] if params else ''}\r\n")
        elif command == "MODE" and params and self.registered:
            if params[0].startswith("#") and len(params) == 1:
                self.send(f":{SERVER} 324 {self.nick} {params[0]} +nt\r\n"
                          f":{SERVER} 329 {self.nick} {params[0]} 1700000000\r\n")
            elif not params[0].startswith("#"):
                self.send(f":{SERVER} 221 {self.nick} +i\r\n")
        elif command == "WHO" and params and self.registered:
            self.send(f":{SERVER} 315 {self.nick} {params[0]} :End of /WHO list.\r\n")
        elif command in ("PRIVMSG", "NOTICE") and len(params) >= 2:
            if "echo-message" in self.caps:
                self.send(f":{self.nick}!{self.user}@127.0.0.1 {command} {params[0]} :{params[1]}\r\n")
            if (command == "NOTICE" and params[0].lower() == "probe" and params[1].startswith("\x01VERSION")
                    and not self.answered.done()):
                self.answered.set_result(time.monotonic())

    def on_cap(self, params):
        sub = params[0].upper() if params else ""
        target = self.nick or "*"
        if sub == "LS":
            self.negotiating = True
            self.send(f":{SERVER} CAP {target} LS :{' '.join(OFFERED)}\r\n")
        elif sub == "REQ" and len(params) > 1:
            self.negotiating = not self.registered
            asked = params[1].split()
            known = all(name.lstrip("-") in OFFERED for name in asked)
            if known:
                for name in asked:
                    if name.startswith("-"):
                        self.caps.discard(name[1:])
                    else:
                        self.caps.add(name)
            self.send(f":{SERVER} CAP {target} {'ACK' if known else 'NAK'} :{params[1]}\r\n")
        elif sub == "LIST":
            self.send(f":{SERVER} CAP {target} LIST :{' '.join(sorted(self.caps))}\r\n")
        elif sub == "END":
            self.negotiating = False
            self.maybe_register()

    def maybe_register(self):
        if self.registered or self.negotiating or not self.nick or not self.user:
            return
        self.registered = True
        n = self.nick
        # Made before 001 goes, so that making it is not timed.
        self.playback = Playback(self.args, n, self.caps)
        welcome = [
            f"001 {n} :Welcome to the playback network, {n}!{self.user}@127.0.0.1",
            f"002 {n} :Your host is {SERVER}, running version ZNC 1.8.2",
            f"003 {n} :This server was created a while ago",
            f"004 {n} {SERVER} 1.8.2 iow opsitnmklvb",
            f"005 {n} CHANTYPES=# PREFIX=(ov)@+ NETWORK=PlaybackNet CASEMAPPING=rfc1459 "
            f"CHANMODES=b,k,l,imnpst NICKLEN=30 :are supported by this server",
            f"375 {n} :- {SERVER} Message of the day -",
            f"372 {n} :- history follows",
            f"376 {n} :End of /MOTD command.",
        ]
        self.send("".join(f":{SERVER} {line}\r\n" for line in welcome))
        self.welcomed_at = time.monotonic()
        self.send(self.playback.data)
        self.send(f":probe!probe@playback.test PRIVMSG {n} :\x01VERSION\x01\r\n")


class Server:
    """Hands each connection to the run waiting for one."""

    def __init__(self, args):
        self.args = args
        self.waiting = None

    async def accept(self, reader, writer):
        if self.waiting is None or self.waiting.done():
            writer.close()
            return
        bouncer = Bouncer(self.args, reader, writer)
        self.waiting.set_result(bouncer)
        try:
            await bouncer.serve()
        except ConnectionError:
            pass
        finally:
            writer.close()


async def run_client(args, server, name, command, run):
    server.waiting = asyncio.get_running_loop().create_future()
    client = probe = None
    try:
        client = await asyncio.create_subprocess_exec(
            "bash", "-c", "exec " + command, stdout=asyncio.subprocess.PIPE, start_new_session=True)
        output = asyncio.create_task(client.stdout.read())
        exited = asyncio.create_task(client.wait())
        await asyncio.wait([server.waiting, exited], timeout=args.time_limit, return_when=asyncio.FIRST_COMPLETED)
        if not server.waiting.done():
            why = f"exit status {client.returncode}" if exited.done() else f"{args.time_limit} s"
            raise RuntimeError(f"{name}: no connection after {why}")
        bouncer = server.waiting.result()
        if name not in args.headless:
            probe = await start_probe(args, client)
        try:
            answered = await asyncio.wait_for(asyncio.shield(bouncer.answered), args.time_limit)
        except asyncio.TimeoutError:
            raise RuntimeError(f"{name}: no answer to the VERSION after {args.time_limit} s "
                               f"(registered: {bouncer.registered}, caps: {sorted(bouncer.caps)})")
        answer_s = answered - bouncer.welcomed_at
        rss = rss_mb(client.pid)
        await asyncio.sleep(0.5)
        bouncer.send(f":probe!probe@playback.test PRIVMSG {bouncer.nick} :playback-end\r\n")
        stalls = await stop_probe(probe, name, "")
        probe = None
        harness = name in args.harness
        try:
            await asyncio.wait_for(client.wait(), 30 if harness else 0.5)
        except asyncio.TimeoutError:
            os.killpg(client.pid, signal.SIGTERM)
            await client.wait()
        said = (await output).decode().strip()
        if harness and client.returncode != 0:
            raise RuntimeError(f"{name}: exit status {client.returncode}: {said}")
        caps = ",".join(sorted(bouncer.caps)) or "-"
        figures = (f"client {name} run {run} answer_s {answer_s:.2f} lines {bouncer.playback.lines} "
                   f"lines_per_s {bouncer.playback.lines / answer_s:.0f} rss_mb {rss:.1f} caps {caps}{stalls}")
        if said:
            figures += " " + " ".join(said.split())
        print(figures, flush=True)
    finally:
        if probe:
            probe.send_signal(signal.SIGTERM)
            await probe.wait()
        if client and client.returncode is None:
            os.killpg(client.pid, signal.SIGKILL)
            await client.wait()
        await asyncio.sleep(0.5)


async def main():
    p = argparse.ArgumentParser()
    p.add_argument("port", type=int)
    p.add_argument("--channels", type=int, default=100)
    p.add_argument("--lines", type=int, default=500, help="lines played back per channel")
    p.add_argument("--members", type=int, default=40, help="members per channel besides the client")
    p.add_argument("--runs", type=int, default=1)
    p.add_argument("--time-limit", type=float, default=120)
    p.add_argument("--probe", help="stall probe: PROBE PID, prints its figures on SIGTERM")
    p.add_argument("--harness", action="append", default=[], metavar="NAME")
    p.add_argument("--headless", action="append", default=[], metavar="NAME", help="a client with no window to probe")
    p.add_argument("--client", nargs=2, action="append", metavar=("NAME", "COMMAND"), default=[])
    args = p.parse_args()
    server = Server(args)
    listener = await asyncio.start_server(server.accept, "127.0.0.1", args.port)
    async with listener:
        for run in range(1, args.runs + 1):
            for name, command in args.client:
                await run_client(args, server, name, command, run)


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except RuntimeError as e:
        print(f"playback_server: {e}", file=sys.stderr)
        sys.exit(1)
