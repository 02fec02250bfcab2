#!/usr/bin/python3
"""Figures of 4 KB blocks, for bench/compressibility.sh.

    block_figures.py compress FILE       each whole block compressed alone: deflate -6 (zlib) and
                                         lz4 (block format); prints mean and standard deviation of
                                         the compressed size in percent, deflate first
    block_figures.py duplicates FILE...  whole blocks of all files, and how many repeat an earlier
                                         one (by SHA-256 of the contents)
"""
import hashlib
import statistics
import sys
import zlib

BLOCK = 4096


def blocks(path):
    with open(path, "rb") as f:
        data = f.read()
    return [data[i:i + BLOCK] for i in range(0, len(data) - BLOCK + 1, BLOCK)]


def compress(path):
    import lz4.block

    deflate, lz4_sizes = [], []
    for block in blocks(path):
        deflate.append(100.0 * len(zlib.compress(block, 6)) / BLOCK)
        lz4_sizes.append(100.0 * len(lz4.block.compress(block, store_size=False)) / BLOCK)
    print(f"{statistics.fmean(deflate):.3f} {statistics.pstdev(deflate):.3f} "
          f"{statistics.fmean(lz4_sizes):.3f} {statistics.pstdev(lz4_sizes):.3f}")


def duplicates(paths):
    seen, total = set(), 0
    for path in paths:
        for block in blocks(path):
            seen.add(hashlib.sha256(block).digest())
            total += 1
    print(total, total - len(seen))


if __name__ == "__main__":
    if len(sys.argv) < 3 or sys.argv[1] not in ("compress", "duplicates"):
        sys.exit(__doc__)
    if sys.argv[1] == "compress":
        compress(sys.argv[2])
    else:
        duplicates(sys.argv[2:])
