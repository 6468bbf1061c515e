#!/usr/bin/env python3
"""Seeds a decoder fuzz corpus: fuzz_seeds.py TARGET CORPUS_DIR TESTDATA_DIR.

Each seed is one parameter byte followed by the compressed bytes of a member
(at most 16 KB) of the matching method from the shared test archives; the
Deflate target also gets streams made by zlib here.
"""
import os
import struct
import sys
import zlib

METHODS = {"fuzz_inflate": {8}, "fuzz_explode": {6}, "fuzz_unreduce": {2, 3, 4, 5},
           "fuzz_unshrink": {1}}


def members(path):
    data = open(path, "rb").read()
    eocd = data.rfind(b"PK\x05\x06")
    if eocd < 0:
        return
    count, = struct.unpack_from("<H", data, eocd + 10)
    at, = struct.unpack_from("<I", data, eocd + 16)
    for _ in range(count):
        if data[at:at + 4] != b"PK\x01\x02":
            return
        flags, method = struct.unpack_from("<HH", data, at + 8)
        csize, = struct.unpack_from("<I", data, at + 20)
        n, x, c = struct.unpack_from("<HHH", data, at + 28)
        local, = struct.unpack_from("<I", data, at + 42)
        at += 46 + n + x + c
        if local + 30 > len(data):
            continue  # a member of another volume
        ln, lx = struct.unpack_from("<HH", data, local + 26)
        start = local + 30 + ln + lx
        if not flags & 1:
            yield flags, method, data[start:start + min(csize, 16384)]


def main():
    target, corpus, testdata = sys.argv[1:4]
    wanted = METHODS[target]
    seeds = []
    for root, _, files in os.walk(testdata):
        for name in sorted(files):
            if name.lower().endswith(".zip"):
                for flags, method, raw in members(os.path.join(root, name)):
                    if method in wanted:
                        param = (flags & 0x06) if method == 6 else (method - 2 if method in (2, 3, 4, 5) else 0)
                        seeds.append(bytes([0x10 | param]) + raw)
    if target == "fuzz_inflate":
        text = b"".join(b"line %d of the seed text\n" % (i * 37 % 101) for i in range(800))
        for level in (0, 1, 6, 9):
            c = zlib.compressobj(level, zlib.DEFLATED, -15)
            seeds.append(b"\x10" + c.compress(text) + c.flush())
    for i, seed in enumerate(seeds[:200]):
        with open(os.path.join(corpus, "seed%03d" % i), "wb") as f:
            f.write(seed)


if __name__ == "__main__":
    main()
