#!/usr/bin/env python3
"""Serial relay between two pseudo-terminals: passes bytes both ways at a given line rate,
and, when asked, damages them (flips bits, drops or duplicates bytes), seeded and counted.

    serial-relay.py [--baud 115200] [--flip P] [--drop P] [--dup P] [--seed N] [--stats FILE]
                    TTY1 TTY2

Each direction is paced like a real 8N1 line: ten bit times per byte, a byte passed only once
its bit times are over, and no credit for time the line stood idle, as a UART gives none. Counts are printed on
SIGTERM or when a side closes. With --stats, TTY1 is taken for the sender's side: its clean
bytes are watched for blocks sent and repeated and for damage that hits a block or file
index, and the counts go to FILE every half second. SIGUSR1 pauses the damage, SIGUSR2
resumes it.
"""
import argparse, os, random, select, signal, sys, termios, time, tty

from relaywatch import Watch, write_stats

stats = dict(random_index_hits=0, random_open_hits=0)
# How many bytes a relay that fell behind its line may write at once.
BURST_BYTES = 8


def open_raw(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    tty.setraw(fd)
    attrs = termios.tcgetattr(fd)
    attrs[3] &= ~termios.ECHO
    termios.tcsetattr(fd, termios.TCSANOW, attrs)
    return fd


class Direction:
    def __init__(self, src, dst, bytes_per_sec, rng, args, watched=False):
        self.src, self.dst = src, dst
        self.watch = Watch(stats) if watched else None
        self.paused = False
        self.rate = bytes_per_sec
        self.rng, self.args = rng, args
        self.queue = bytearray()
        self.line_free = time.monotonic()     # when the line has sent all that was written
        self.passed = self.flipped = self.dropped = self.duplicated = 0

    def damage(self, data):
        a, out = self.args, bytearray()
        start = 0
        end = (self.watch.offset if self.watch else 0) + len(data)
        if self.watch:
            start = self.watch.offset
            self.watch.scan(data)
            self.watch.note_values(data, start)
        if self.paused:
            out += data
            data = b""
        for i, b in enumerate(data):
            hit = self.watch and self.watch.index_at.get(start + i)
            if a.drop and self.rng.random() < a.drop:
                self.dropped += 1
                continue
            if a.flip and self.rng.random() < a.flip:
                b ^= 1 << self.rng.randrange(8)
                self.flipped += 1
                if hit:
                    stats["random_index_hits" if hit == "block" else "random_open_hits"] += 1
            out.append(b)
            if a.dup and self.rng.random() < a.dup:
                out.append(b)
                self.duplicated += 1
        if self.watch:
            self.watch.forget_before(end)
        return out

    def read(self):
        data = os.read(self.src, 65536)
        if not self.queue:
            # An idle line earns no credit: the first byte starts on the wire now.
            self.line_free = max(self.line_free, time.monotonic())
        self.queue += self.damage(data)

    def pump(self, now):
        """Writes the bytes that the line has finished sending by now; returns seconds until
        the next one, or None with nothing queued."""
        if not self.queue:
            return None
        if self.rate:
            # A byte leaves once its ten bit times are over. A relay that fell behind may
            # catch up by a few bytes, never by more: no span runs above the rate.
            self.line_free = max(self.line_free, now - BURST_BYTES / self.rate)
            allowed = int((now - self.line_free) * self.rate)
            if allowed <= 0:
                return self.line_free + 1 / self.rate - now
            chunk = self.queue[:min(allowed, 4096)]
        else:
            chunk = self.queue[:65536]
        try:
            n = os.write(self.dst, chunk)
        except BlockingIOError:
            return 0.001
        del self.queue[:n]
        self.passed += n
        if self.rate:
            self.line_free += n / self.rate
        return 0 if self.queue else None


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--baud", type=int, default=115200, help="0: no pacing")
    p.add_argument("--flip", type=float, default=0.0)
    p.add_argument("--drop", type=float, default=0.0)
    p.add_argument("--dup", type=float, default=0.0)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--stats", default="")
    p.add_argument("tty1")
    p.add_argument("tty2")
    args = p.parse_args()
    rng = random.Random(args.seed)
    a, b = open_raw(args.tty1), open_raw(args.tty2)
    rate = args.baud / 10.0
    dirs = [Direction(a, b, rate, rng, args, bool(args.stats)), Direction(b, a, rate, rng, args)]

    def figures():
        for name, d in zip(("1->2", "2->1"), dirs):
            for k in ("passed", "flipped", "dropped", "duplicated"):
                stats[f"{k}_{name}"] = getattr(d, k)
        write_stats(args.stats, stats)

    def pause(on):
        for d in dirs:
            d.paused = on
        figures()

    def report(*_):
        for name, d in zip(("1->2", "2->1"), dirs):
            print(f"relay {name}: passed {d.passed} flipped {d.flipped} dropped {d.dropped} "
                  f"duplicated {d.duplicated}", flush=True)
        figures()
        sys.exit(0)

    signal.signal(signal.SIGTERM, report)
    signal.signal(signal.SIGINT, report)
    signal.signal(signal.SIGUSR1, lambda *_: pause(True))
    signal.signal(signal.SIGUSR2, lambda *_: pause(False))
    last_write = 0.0
    while True:
        now = time.monotonic()
        if args.stats and now - last_write > 0.5:
            figures()
            last_write = now
        waits = [w for w in (d.pump(now) for d in dirs) if w is not None]
        timeout = min(waits) if waits else 0.5
        try:
            readable, _, _ = select.select([a, b], [], [], max(timeout, 0))
        except InterruptedError:
            continue
        for d in dirs:
            if d.src in readable:
                try:
                    d.read()
                except OSError:
                    pass


if __name__ == "__main__":
    main()
