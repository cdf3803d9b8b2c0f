#!/usr/bin/env python3
"""TCP relay between a sender and its receiver that damages the stream on purpose: flips
bits, splits and delays segments, flips block and file indexes, and now and then closes both
connections. Seeded; what it did is counted.

    tcp-relay.py --listen HOST:PORT --target HOST:PORT [--seed N] [--flip P] [--index-flip P]
                 [--split P] [--delay-ms MS] [--close P] [--stats FILE]

--flip is per byte, --index-flip per block (a bit of the block index, or of the file index of
an open), --split and --close per chunk read. The sender's side (the connecting one) is
watched for block and open frames in the clean stream, before any damage, so that blocks sent,
blocks repeated and indexes hit can be counted. SIGUSR1 pauses the damage, SIGUSR2 resumes it;
the counts are written to the stats file (one "name value" a line) every half second and at
SIGTERM.
"""
import argparse, os, random, select, signal, socket, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "machines"))
from relaywatch import Watch, write_stats  # noqa: E402

stats = dict(connections=0, closes=0, flips=0, splits=0, index_flips=0, open_flips=0,
             random_index_hits=0, random_open_hits=0)


def log(text):
    print(f"{time.strftime('%H:%M:%S')} {text}", flush=True)


def addr(text):
    host, port = text.rsplit(":", 1)
    return host, int(port)


class Direction:
    def __init__(self, src, dst, watched, relay):
        self.src, self.dst, self.relay = src, dst, relay
        self.watch = Watch(stats) if watched else None
        self.queue = []         # (due time, bytes), due times never decreasing
        self.next_flip = relay.skip()
        self.closed_on_purpose = False

    def damage(self, chunk):
        r, a = self.relay, self.relay.args
        out = bytearray(chunk)
        start = self.watch.offset if self.watch else 0
        if self.watch:
            self.watch.scan(chunk)
            self.watch.note_values(chunk, start)
        if r.paused:
            return out
        if a.flip:
            i = self.next_flip
            while i < len(out):
                out[i] ^= 1 << r.rng.randrange(8)
                stats["flips"] += 1
                kind = self.watch and self.watch.index_at.get(start + i)
                if kind == "block":
                    stats["random_index_hits"] += 1
                elif kind == "open":
                    stats["random_open_hits"] += 1
                i += 1 + r.skip()
            self.next_flip = i - len(out)
        if self.watch and a.index_flip:
            for off, kind in self.watch.index_at.items():
                first = kind == "open" or self.watch.index_at.get(off - 1) != "block"
                if start <= off < start + len(out) and first and r.rng.random() < a.index_flip:
                    # The low bits of the index: a neighbouring block or file, the damage
                    # most likely to look like a good frame.
                    out[off - start] ^= 1 << r.rng.randrange(3)
                    stats["index_flips" if kind == "block" else "open_flips"] += 1
        if self.watch:
            self.watch.forget_before(start + len(out))
        return out

    def read(self, now):
        chunk = self.src.recv(65536)
        if not chunk:
            return False
        data = self.damage(chunk)
        r, a = self.relay, self.relay.args
        due = max(now, self.queue[-1][0] if self.queue else now)
        if not r.paused and a.split and len(data) > 1 and r.rng.random() < a.split:
            stats["splits"] += 1
            cuts = sorted(r.rng.sample(range(1, len(data)), min(3, len(data) - 1)))
            pieces = [data[i:j] for i, j in zip([0] + cuts, cuts + [len(data)])]
            for p in pieces:
                due += r.rng.uniform(0, a.delay_ms) / 1000.0
                self.queue.append((due, bytes(p)))
        else:
            self.queue.append((due, bytes(data)))
        if not r.paused and a.close and r.rng.random() < a.close:
            stats["closes"] += 1
            self.closed_on_purpose = True
            return False
        return True

    def pump(self, now):
        """Writes what is due; returns seconds until the next piece, or None."""
        while self.queue and self.queue[0][0] <= now:
            self.dst.sendall(self.queue.pop(0)[1])
        return self.queue[0][0] - now if self.queue else None


class Relay:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        self.paused = False
        self.pairs = []

    def skip(self):
        p = self.args.flip
        return int(self.rng.expovariate(p)) if p else 1 << 62

    def accept(self, listener):
        client, peer = listener.accept()
        try:
            server = socket.create_connection(addr(self.args.target), timeout=5)
        except OSError as e:
            log(f"connection from {peer[0]}:{peer[1]} dropped: the target refused ({e})")
            client.close()
            return
        log(f"connection from {peer[0]}:{peer[1]} joined to the target")
        for s in (client, server):
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            s.setblocking(True)
        stats["connections"] += 1
        self.pairs.append([Direction(client, server, True, self),
                           Direction(server, client, False, self)])

    def close(self, pair, why):
        log(f"connection closed: {why}")
        for d in pair:
            try:
                d.src.close()
            except OSError:
                pass
        self.pairs.remove(pair)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--listen", required=True)
    p.add_argument("--target", required=True)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--flip", type=float, default=0.0)
    p.add_argument("--index-flip", type=float, default=0.0)
    p.add_argument("--split", type=float, default=0.0)
    p.add_argument("--delay-ms", type=float, default=20.0)
    p.add_argument("--close", type=float, default=0.0)
    p.add_argument("--stats", default="")
    args = p.parse_args()
    relay = Relay(args)
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(addr(args.listen))
    listener.listen(4)

    def stop(*_):
        write_stats(args.stats, stats)
        sys.exit(0)

    def pause(on):
        relay.paused = on
        write_stats(args.stats, stats)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGUSR1, lambda *_: pause(True))
    signal.signal(signal.SIGUSR2, lambda *_: pause(False))
    last_write = 0.0
    while True:
        now = time.monotonic()
        waits = []
        for pair in list(relay.pairs):
            try:
                waits += [w for w in (d.pump(now) for d in pair) if w is not None]
            except OSError as e:
                relay.close(pair, f"write failed ({e})")
        timeout = min(waits + [0.5])
        socks = [listener] + [d.src for pair in relay.pairs for d in pair]
        try:
            readable, _, _ = select.select(socks, [], [], max(timeout, 0))
        except (InterruptedError, ValueError):
            continue
        now = time.monotonic()
        if listener in readable:
            relay.accept(listener)
        for pair in list(relay.pairs):
            for d in pair:
                if d.src not in readable or pair not in relay.pairs:
                    continue
                why = ""
                try:
                    alive = d.read(now)
                    why = "by the relay" if d.closed_on_purpose else ""
                except OSError as e:
                    alive, why = False, f"read failed ({e})"
                if not alive:
                    # A close, the relay's or either side's, ends both connections at once,
                    # as a dropped link would.
                    relay.close(pair, why or ("by the " + ("sender" if d.watch else "receiver")))
        if now - last_write > 0.5:
            write_stats(args.stats, stats)
            last_write = now


if __name__ == "__main__":
    main()
