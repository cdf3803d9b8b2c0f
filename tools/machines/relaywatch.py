"""What the relays of the damage tests share: the watch on the sender's clean stream that finds
block and open frames, counts blocks sent and repeated and tells where the indexes lie, and
the stats file."""
import os

BLOCK_FRAME = bytes([0x5C, 0xFF, 0x5C, 0x11])
OPEN_FRAME = bytes([0x5F, 0xFF, 0x5F, 0x11])
LIST_FRAME = bytes([0x61, 0xFF, 0x61, 0x11])


class Watch:
    """Finds the frames of the sender's messages in the clean stream: where a block's index
    lies, where an open's file index lies, and which blocks were already seen."""

    def __init__(self, stats):
        self.stats = stats
        stats.setdefault("blocks_sent", 0)
        stats.setdefault("blocks_repeated", 0)
        self.tail = b""
        self.offset = 0         # stream offset of the first byte of the next chunk
        self.file = -1
        self.seen = set()
        self.index_at = {}      # stream offset -> "block" or "open"
        self.pending_block = None

    def scan(self, chunk):
        data = self.tail + chunk
        base = self.offset - len(self.tail)
        for frame, kind in ((BLOCK_FRAME, "block"), (OPEN_FRAME, "open"), (LIST_FRAME, "list")):
            i = data.find(frame)
            while i >= 0:
                at = base + i + 4
                if kind == "list":
                    self.seen.clear()       # a new batch: its blocks are new ones
                else:
                    for j in range(4 if kind == "block" else 1):
                        self.index_at[at + j] = kind
                i = data.find(frame, i + 1)
        self.tail = data[-3:]
        self.offset += len(chunk)

    def note_values(self, chunk, start):
        """Reads the clean index values (they may straddle chunks) to count repeats."""
        for off, kind in sorted(self.index_at.items()):
            if off < start or off >= start + len(chunk):
                continue
            b = chunk[off - start]
            if kind == "open":
                self.file = b
            elif self.index_at.get(off - 1) != "block":     # first byte of a block index
                self.pending_block = [b]
            elif self.pending_block is not None:
                self.pending_block.append(b)
                if len(self.pending_block) == 4:
                    k = int.from_bytes(bytes(self.pending_block), "little")
                    self.pending_block = None
                    self.stats["blocks_sent"] += 1
                    if (self.file, k) in self.seen:
                        self.stats["blocks_repeated"] += 1
                    self.seen.add((self.file, k))

    def forget_before(self, end):
        """Drops the index places of bytes already passed."""
        self.index_at = {k: v for k, v in self.index_at.items() if k >= end}



def write_stats(path, stats):
    """Replaces the file whole, so that a reader never sees half of it."""
    if path:
        with open(path + ".tmp", "w") as f:
            f.writelines(f"{k} {v}\n" for k, v in stats.items())
        os.replace(path + ".tmp", path)
