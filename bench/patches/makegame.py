#!/usr/bin/env python3
"""Writes two versions of a game-like client tree, the same for the same seed.

    makegame.py OLD_DIR NEW_DIR [--packs 20] [--pack-bytes 50000000]
                [--small 2000] [--changed 200] [--added 5] [--dropped 5] [--seed 1]

OLD_DIR gets packs/packNN.pak (incompressible) and small files of 1 to 64
KiB in data/dNN/, a quarter of them text (*.txt, compressible), the rest
*.bin. NEW_DIR is the next version: in every pack about 1 % of the bytes
change, as blocks overwritten at scattered places, insertions and deletions
(which shift all that follows); some small files are edited in place, a few
are added and a few dropped. Prints what changed.
"""

import argparse
import os
import random

WORDS = (
    "the quest village forest dragon sword shield potion gold silver ancient ruin "
    "tower knight mage archer healer merchant river bridge castle dungeon key door "
    "scroll map north south east west night day storm fire ice stone crystal"
).split()


def text(rng, size):
    lines = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14))) + "\n"
        lines.append(line)
        length += len(line)
    return "".join(lines).encode()[:size]


def edit_pack(rng, data, share):
    """Returns data with about `share` of its bytes changed: overwritten
    blocks, insertions and deletions at places spread over the whole."""
    budget = int(len(data) * share)
    edits = []
    while budget > 0:
        kind = rng.choices(("overwrite", "insert", "delete"), (70, 15, 15))[0]
        size = rng.randint(512, 32768) if kind == "overwrite" else rng.randint(256, 16384)
        edits.append((rng.randrange(len(data) - size), kind, size))
        budget -= size
    edits.sort()
    parts = []
    at = 0
    for offset, kind, size in edits:
        if offset < at:
            continue
        parts.append(data[at:offset])
        if kind == "overwrite":
            parts.append(rng.randbytes(size))
            at = offset + size
        elif kind == "insert":
            parts.append(rng.randbytes(size))
            at = offset
        else:
            at = offset + size
    parts.append(data[at:])
    return b"".join(parts)


def edit_small(rng, name, data):
    if name.endswith(".txt"):
        lines = data.split(b"\n")
        for _ in range(rng.randint(1, 4)):
            i = rng.randrange(len(lines))
            lines[i] = text(rng, rng.randint(20, 200)).rstrip(b"\n")
        return b"\n".join(lines)
    data = bytearray(data)
    for _ in range(rng.randint(1, 3)):
        size = min(len(data), rng.randint(64, 2048))
        at = rng.randrange(len(data) - size + 1)
        data[at : at + size] = rng.randbytes(size)
    return bytes(data)


def write(root, name, data):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--packs", type=int, default=20)
    parser.add_argument("--pack-bytes", type=int, default=50_000_000)
    parser.add_argument("--small", type=int, default=2000)
    parser.add_argument("--changed", type=int, default=200)
    parser.add_argument("--added", type=int, default=5)
    parser.add_argument("--dropped", type=int, default=5)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)

    changed_bytes = 0
    for i in range(args.packs):
        name = f"packs/pack{i:02d}.pak"
        old = rng.randbytes(args.pack_bytes)
        new = edit_pack(rng, old, 0.01)
        write(args.old, name, old)
        write(args.new, name, new)
        changed_bytes += len(new)

    small = []
    for i in range(args.small):
        size = rng.randint(1024, 65536)
        if i % 4 == 0:
            name, data = f"data/d{i // 100:02d}/text{i:04d}.txt", text(rng, size)
        else:
            name, data = f"data/d{i // 100:02d}/blob{i:04d}.bin", rng.randbytes(size)
        write(args.old, name, data)
        small.append((name, data))

    picked = rng.sample(range(len(small)), args.changed + args.dropped)
    changed = set(picked[: args.changed])
    dropped = set(picked[args.changed :])
    for i, (name, data) in enumerate(small):
        if i in dropped:
            continue
        if i in changed:
            data = edit_small(rng, name, data)
            changed_bytes += len(data)
        write(args.new, name, data)
    for i in range(args.added):
        data = rng.randbytes(rng.randint(1024, 65536))
        write(args.new, f"data/new/added{i}.bin", data)
        changed_bytes += len(data)
    print(
        f"packs={args.packs} small={args.small} changed={len(changed)} added={args.added} "
        f"dropped={len(dropped)} new_bytes_of_changed={changed_bytes}"
    )


if __name__ == "__main__":
    main()
