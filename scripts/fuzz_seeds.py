#!/usr/bin/env python3
"""Seeds a fuzz corpus: fuzz_seeds.py TARGET CORPUS_DIR TESTDATA_DIR...

The test data folders are searched in order; a missing one adds nothing.

Each decoder seed is one parameter byte followed by the compressed bytes of a
member (at most 16 KB) of the matching method from the test archives;
the Deflate target also gets streams made by zlib here. The archive targets
get whole archives that fit the target's largest input (FUZZ_MAX_LEN;
fuzz_extract with an options byte in front), the settings target settings files, the wildcard target patterns and
names separated by a zero byte.
"""
import io
import os
import struct
import sys
import zipfile
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


def walk(folders):
    for folder in folders:
        yield from os.walk(folder)


# The largest input of the target (FUZZ_MAX_LEN, as scripts/fuzz.sh passes it).
MAX_LEN = int(os.environ.get("FUZZ_MAX_LEN", "65536"))


def archives(testdata):
    """Whole archives of the test data and a few made here."""
    found = []
    for root, _, files in walk(testdata):
        for name in sorted(files):
            path = os.path.join(root, name)
            if name.lower().endswith(".zip") and os.path.getsize(path) < MAX_LEN:
                found.append(open(path, "rb").read())
    for method in (zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED):
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w", method) as z:
            z.writestr("readme.txt", b"hello " * 50)
            z.writestr("dir/sub/data.bin", bytes(range(256)) * 4)
            z.writestr("dir/", b"")
            z.writestr("../up.txt", b"up")
            z.comment = b"archive comment"
        found.append(buf.getvalue())
    return found


SETTINGS = [
    b"[Main]\r\nFolder=%ProgramFilesDir%\\Volmar\r\nAutoRun=1\r\nFinalMessage=0\r\n"
    b"[Links]\r\nStartMenu=0\r\nDesktop=$1\r\n[Setup]\r\nRun=0x1\r\nParams= \"a b\" \r\n"
    b"[ExcludeDir]\r\n1=DOC\r\n2=SAMPLES\r\n3=\r\n4=X\r\n",
    b"; comment\n[main]\nfolder = 'C:\\x'\nSelectDialog=-1\n[MAIN]\nAutoRun=2147483648\n",
    b"[ExcludeDir]\n" + b"".join(b"%d=D%d\n" % (i, i) for i in range(1, 25)),
]

WILDCARDS = [b"*.txt\0docs\\readme.txt", b"d?r\\*\0dir\\a", b"*<a-m>*.e<!x>e\0b.exe",
             b"<^0-9>*<a-z>\0k42z", b"a*b*c*d*e*f\0aXbXcXdXeXg", b"*<!a>*\0bbb",
             b"<a-\0a"]


# The archive password of the default build (CMakeLists.txt).
PASSWORD = b"3141592653589793238462643383279502"


def zip_crypto(data, crc):
    """Traditional PKWARE encryption of data, with its 12-byte header."""
    keys = [0x12345678, 0x23456789, 0x34567890]

    def update(c):
        keys[0] = zlib.crc32(bytes([c]), keys[0] ^ 0xFFFFFFFF) ^ 0xFFFFFFFF
        keys[1] = (keys[1] + (keys[0] & 0xFF)) & 0xFFFFFFFF
        keys[1] = (keys[1] * 134775813 + 1) & 0xFFFFFFFF
        keys[2] = zlib.crc32(bytes([keys[1] >> 24]), keys[2] ^ 0xFFFFFFFF) ^ 0xFFFFFFFF

    for c in PASSWORD:
        update(c)
    out = bytearray()
    for c in b"0123456789A" + bytes([crc >> 24]) + data:
        t = (keys[2] | 2) & 0xFFFF
        out.append(c ^ (((t * (t ^ 1)) >> 8) & 0xFF))
        update(c)
    return bytes(out)


def encrypted_zip(members):
    """An archive of (name, data, method) members encrypted with PASSWORD."""
    out, central = b"", b""
    for name, data, method in members:
        crc = zlib.crc32(data)
        packed = data
        if method == 8:
            c = zlib.compressobj(6, zlib.DEFLATED, -15)
            packed = c.compress(data) + c.flush()
        enc = zip_crypto(packed, crc)
        fixed = struct.pack("<HHIIIIH", 1, method, 0x5A8C6000, crc, len(enc), len(data),
                            len(name))
        offset = len(out)
        out += b"PK\x03\x04" + struct.pack("<H", 20) + fixed + struct.pack("<H", 0) + name + enc
        central += (b"PK\x01\x02" + struct.pack("<HH", 20, 20) + fixed +
                    struct.pack("<HHHHII", 0, 0, 0, 0, 0x20, offset) + name)
    end = struct.pack("<HHHHIIH", 0, 0, len(members), len(members), len(central), len(out), 0)
    return out + central + b"PK\x05\x06" + end


def install_seeds():
    """Options and disk-room bytes, then an archive the installer takes."""
    product = [(b"Lectorn.exe", b"lectorn v2" * 20, 8), (b"Variomat.exe", b"variomat v2", 0),
               (b"MentorixHelp.chm", b"help", 0), (b"MENTORIX/doc/intro.txt", b"intro " * 40, 8)]
    system = product + [(b"SYSTEM/vlmctl.dll", b"control v2", 0)]
    seeds = []
    for options, room, members in ((0x00, 0, product), (0x01, 0, system), (0x03, 4, product),
                                   (0x09, 0, system), (0x05, 0, product), (0x2D, 0, product)):
        seeds.append(bytes([options, room]) + encrypted_zip(members))
    return seeds


def main():
    target, corpus, testdata = sys.argv[1], sys.argv[2], sys.argv[3:]
    if target in ("fuzz_directory", "fuzz_extract"):
        seeds = archives(testdata)
        if target == "fuzz_extract":
            seeds = [bytes([options]) + data for data in seeds for options in (0x02, 0x13)]
        write(corpus, seeds)
        return
    if target == "fuzz_install":
        write(corpus, install_seeds())
        return
    if target not in METHODS and target not in ("fuzz_settings", "fuzz_wildcard"):
        return  # the text targets: their seeds are kept in tests/fuzz/seeds
    if target in ("fuzz_settings", "fuzz_wildcard"):
        write(corpus, SETTINGS if target == "fuzz_settings" else WILDCARDS)
        return
    wanted = METHODS[target]
    seeds = []
    for root, _, files in walk(testdata):
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
    write(corpus, seeds)


def write(corpus, seeds):
    for i, seed in enumerate(seeds[:200]):
        with open(os.path.join(corpus, "seed%03d" % i), "wb") as f:
            f.write(seed)


if __name__ == "__main__":
    main()
