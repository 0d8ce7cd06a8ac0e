#!/usr/bin/env python3
"""The load of the scale benchmark, on a local ngircd, for one client after
another, measured from the server's side.

    scale_load.py PORT [options] --client NAME PREFIX COMMAND [--client ...]

Member bots (m000, m001, ...) join the channels #s01.. first; their setup is
not measured. Each client then runs COMMAND (through bash) and is expected
to open NETWORKS connections with the nicks PREFIX01.., each joining every
#s channel; the first also joins the flood channels #f1.., which nobody else
but one flood bot each has joined, so that the flood reaches one network
only. Figures, as "key value" pairs on one line per run:

  start_s     from the spawn to the last answer of a CTCP VERSION sent to
              each nick once the server had shown all its joins: the client
              has handled its joins and member lists by then (it reads in
              order);
  rss_mb      the client process's VmRSS then;
  flood_lines the PRIVMSG lines sent into the flood channels, at the offered
              rate for the given seconds;
  lines_per_s flood_lines over the time from the first flood line to the
              answer of a CTCP VERSION sent once the server had passed on
              the last one (the offered rate when the client keeps up);
  lag_s       how long after that the answer came;
  join_ping_worst_ms, flood_ping_worst_ms (and the probe's other figures)
              the worst answer time of the stall probe (PROBE PID), when one
              is given, from the spawn to the start figure, and during the
              flood until the client has caught up.

A client whose nicks do not join everything in time fails the run (exit 1).
Once a run is over the client gets "PRIVMSG PREFIX01 :scale-end N" (N: the
flood lines sent). A client named in --harness measures itself: it has
30 s to leave, must exit with status 0, and what it printed is added to
the figures; any other client is ended at once.
"""
import argparse
import asyncio
import os
import signal
import sys
import time

CRLF = b"\r\n"


def nick_of(prefix):
    return prefix[1:].split(b"!", 1)[0].lower()


class Bot:
    """One registered connection. Lines are parsed only while Watch is set;
    otherwise what comes is read and dropped (PINGs answered)."""

    def __init__(self, nick):
        self.nick = nick
        self.watch = None
        self.buf = b""
        self.pong = asyncio.Event()

    async def connect(self, port):
        self.reader, self.writer = await asyncio.open_connection("127.0.0.1", port)
        self.send(f"NICK {self.nick}\r\nUSER {self.nick} 0 * :scale bot\r\n")
        welcome = asyncio.get_running_loop().create_future()

        def on_line(words):
            if len(words) > 1 and words[1] == b"001" and not welcome.done():
                welcome.set_result(True)
            elif len(words) > 1 and words[1] in (b"432", b"433") and not welcome.done():
                welcome.set_exception(RuntimeError(f"{self.nick}: nick refused"))

        self.watch = on_line
        self.task = asyncio.create_task(self.read_loop())
        await asyncio.wait_for(welcome, 30)
        self.watch = None

    def send(self, text):
        self.writer.write(text.encode() if isinstance(text, str) else text)

    async def read_loop(self):
        while True:
            data = await self.reader.read(1 << 16)
            if not data:
                return
            if self.watch is None and b"PING" not in data and b"PONG" not in data:
                self.buf = b""
                continue
            lines = (self.buf + data).split(CRLF)
            self.buf = lines.pop()
            for line in lines:
                words = line.split(b" ", 3)
                if words[0] == b"PING":
                    self.send(b"PONG " + words[1] + CRLF)
                elif len(words) > 1 and words[1] == b"PONG":
                    self.pong.set()
                elif self.watch:
                    self.watch(words)

    async def ping(self):
        self.pong.clear()
        self.send("PING :scale\r\n")
        await self.pong.wait()


async def join_all(bots, channels, batch=25):
    """Every bot joins every channel; done when each has the last names list."""
    async def one(bot):
        done = asyncio.get_running_loop().create_future()
        last = channels[-1].lower().encode()

        def on_line(words):
            if len(words) > 3 and words[1] == b"366" and words[3].split(b" ", 1)[0].lower() == last:
                if not done.done():
                    done.set_result(True)

        bot.watch = on_line
        bot.send("JOIN " + ",".join(channels) + "\r\n")
        await asyncio.wait_for(done, 120)
        bot.watch = None

    for i in range(0, len(bots), batch):
        await asyncio.gather(*(one(b) for b in bots[i:i + batch]))


class Observer:
    """Watches one client's nicks join, through bots that sit in the
    channels, and asks its nicks for CTCP VERSION."""

    def __init__(self, prefix, networks, channels, flood_channels):
        self.nicks = [f"{prefix}{i:02d}".lower().encode() for i in range(1, networks + 1)]
        self.want = {n: {c.lower().encode() for c in channels} for n in self.nicks}
        self.want[self.nicks[0]] |= {c.lower().encode() for c in flood_channels}
        self.joined = {n: set() for n in self.nicks}
        self.all_joined = asyncio.Event()
        self.replies = {}

    def on_line(self, words):
        if len(words) < 3:
            return
        nick = nick_of(words[0])
        if words[1] == b"JOIN" and nick in self.joined:
            for channel in words[2].lstrip(b":").split(b","):
                self.joined[nick].add(channel.lower())
            if all(self.want[n] <= self.joined[n] for n in self.nicks):
                self.all_joined.set()
        elif words[1] == b"NOTICE" and nick in self.joined and len(words) > 3 and b"\x01VERSION" in words[3]:
            future = self.replies.pop(nick, None)
            if future and not future.done():
                future.set_result(time.monotonic())

    def missing(self):
        return sum(len(self.want[n] - self.joined[n]) for n in self.nicks)

    async def version(self, bot, nick):
        future = asyncio.get_running_loop().create_future()
        self.replies[nick] = future
        bot.send(b"PRIVMSG " + nick + b" :\x01VERSION\x01\r\n")
        return await future


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


async def flood(bots, rate, seconds):
    """The flood bots send their share of RATE lines/s for SECONDS, in
    batches every 10 ms; returns the lines sent."""
    per_tick = max(1, rate // len(bots) // 100)
    ticks = int(seconds * 100)
    loop = asyncio.get_running_loop()

    async def one(bot, channel):
        start = loop.time()
        sent = 0
        for t in range(ticks):
            batch = b"".join(b"PRIVMSG %s :flood line %d from %s with some text\r\n"
                             % (channel, sent + i, bot.nick.encode()) for i in range(per_tick))
            bot.send(batch)
            sent += per_tick
            await bot.writer.drain()
            delay = start + (t + 1) / 100 - loop.time()
            if delay > 0:
                await asyncio.sleep(delay)
        return sent

    counts = await asyncio.gather(*(one(b, b.flood_channel) for b in bots))
    return sum(counts)


async def start_probe(args, client):
    if not args.probe:
        return None
    return await asyncio.create_subprocess_exec(args.probe, str(client.pid), stdout=asyncio.subprocess.PIPE)


async def stop_probe(probe, name, prefix):
    """The probe's figures, their keys prefixed, after a blank."""
    if not probe:
        return ""
    probe.send_signal(signal.SIGTERM)
    said = (await probe.stdout.read()).decode().split()
    if not said:
        raise RuntimeError(f"{name}: the stall probe found no window to ask")
    return "".join(f" {prefix}{k} {v}" for k, v in zip(said[::2], said[1::2]))


async def run_client(args, members, flooders, name, prefix, command, run):
    observer = Observer(prefix, args.networks, args.channel_names, args.flood_names)
    watchers = [members[0]] + flooders
    for bot in watchers:
        bot.watch = observer.on_line
    client = None
    try:
        spawned = time.monotonic()
        client = await asyncio.create_subprocess_exec(
            "bash", "-c", "exec " + command, stdout=asyncio.subprocess.PIPE, start_new_session=True)
        output = asyncio.create_task(client.stdout.read())
        join_probe = await start_probe(args, client)
        exited = asyncio.create_task(client.wait())
        joined = asyncio.create_task(observer.all_joined.wait())
        await asyncio.wait([joined, exited], timeout=args.time_limit, return_when=asyncio.FIRST_COMPLETED)
        if not joined.done():
            joined.cancel()
            why = f"exit status {client.returncode}" if exited.done() else f"{args.time_limit} s"
            raise RuntimeError(f"{name}: {observer.missing()} joins missing after {why}")
        answers = await asyncio.wait_for(
            asyncio.gather(*(observer.version(members[0], n) for n in observer.nicks)), args.time_limit)
        start_s = max(answers) - spawned
        rss = rss_mb(client.pid)
        stalls = await stop_probe(join_probe, name, "join_")

        flood_probe = await start_probe(args, client)
        await asyncio.sleep(0.5)  # the probe has found the window
        first = time.monotonic()
        lines = await flood(flooders, args.flood_rate, args.flood_seconds)
        await asyncio.gather(*(b.ping() for b in flooders))  # the server has passed every line on
        passed_on = time.monotonic()
        caught_up = await asyncio.wait_for(observer.version(members[0], observer.nicks[0]), args.time_limit)
        stalls += await stop_probe(flood_probe, name, "flood_")

        members[0].send(f"PRIVMSG {observer.nicks[0].decode()} :scale-end {lines}\r\n")
        harness = name in args.harness
        try:
            await asyncio.wait_for(client.wait(), 30 if harness else 0.5)
        except asyncio.TimeoutError:
            os.killpg(client.pid, signal.SIGTERM)
            await client.wait()
        said = (await output).decode().strip()
        if harness and client.returncode != 0:
            raise RuntimeError(f"{name}: exit status {client.returncode}: {said}")
        figures = (f"client {name} run {run} start_s {start_s:.2f} rss_mb {rss:.1f} flood_lines {lines} "
                   f"flood_s {caught_up - first:.2f} lines_per_s {lines / (caught_up - first):.0f} "
                   f"lag_s {caught_up - passed_on:.2f}")
        if stalls:
            figures += stalls
        if said:
            figures += " " + " ".join(said.split())
        print(figures, flush=True)
    finally:
        for bot in watchers:
            bot.watch = None
        if client and client.returncode is None:
            os.killpg(client.pid, signal.SIGKILL)
            await client.wait()
        # The client's nicks are gone before the next client comes.
        await asyncio.sleep(1)


async def main():
    p = argparse.ArgumentParser()
    p.add_argument("port", type=int)
    p.add_argument("--networks", type=int, default=10)
    p.add_argument("--channels", type=int, default=50)
    p.add_argument("--members", type=int, default=200)
    p.add_argument("--flood-channels", type=int, default=5)
    p.add_argument("--flood-bots", type=int, default=5)
    p.add_argument("--flood-rate", type=int, default=4000)
    p.add_argument("--flood-seconds", type=float, default=5)
    p.add_argument("--runs", type=int, default=1)
    p.add_argument("--time-limit", type=float, default=120)
    p.add_argument("--probe", help="stall probe: PROBE PID, prints its figures on SIGTERM")
    p.add_argument("--harness", action="append", default=[], metavar="NAME")
    p.add_argument("--client", nargs=3, action="append", metavar=("NAME", "PREFIX", "COMMAND"), default=[])
    args = p.parse_args()
    args.channel_names = [f"#s{i:02d}" for i in range(1, args.channels + 1)]
    args.flood_names = [f"#f{i}" for i in range(1, args.flood_channels + 1)]

    setup = time.monotonic()
    members = [Bot(f"m{i:03d}") for i in range(args.members)]
    for i in range(0, len(members), 50):
        await asyncio.gather(*(b.connect(args.port) for b in members[i:i + 50]))
    await join_all(members, args.channel_names)
    flooders = [Bot(f"fb{i}") for i in range(1, args.flood_bots + 1)]
    await asyncio.gather(*(b.connect(args.port) for b in flooders))
    for i, bot in enumerate(flooders):
        bot.flood_channel = args.flood_names[i % len(args.flood_names)].encode()
        bot.send(b"JOIN " + bot.flood_channel + CRLF)
    await asyncio.gather(*(b.ping() for b in flooders + members))
    print(f"setup_s {time.monotonic() - setup:.1f}", file=sys.stderr, flush=True)

    for run in range(1, args.runs + 1):
        for name, prefix, command in args.client:
            await run_client(args, members, flooders, name, prefix, command, run)


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except RuntimeError as e:
        print(f"scale_load: {e}", file=sys.stderr)
        sys.exit(1)
