#!/usr/bin/env python3
"""Builds a message table from its readable source.

Table format: records of (number: int16 little-endian, length: uint8, text),
no header, no padding, closed by a record whose number is 0 (two zero bytes).
Writes the binary table (for the Windows resource) and a C++ file with the same
bytes (served by the posix platform in native builds).
"""
import struct
import sys


def build(source_path):
    out = bytearray()
    seen = set()
    with open(source_path, encoding="utf-8") as f:
        for line_no, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            number, text = line.split("\t", 1)
            number = int(number)
            data = text.encode("cp1251")
            if not (0 < number < 32768) or number in seen:
                sys.exit(f"{source_path}:{line_no}: bad or repeated number {number}")
            if len(data) > 255:
                sys.exit(f"{source_path}:{line_no}: text longer than 255 bytes")
            seen.add(number)
            out += struct.pack("<hB", number, len(data)) + data
    out += struct.pack("<h", 0)
    return bytes(out)


def main():
    source, bin_path, cpp_path, symbol = sys.argv[1:5]
    table = build(source)
    with open(bin_path, "wb") as f:
        f.write(table)
    rows = [", ".join(f"0x{b:02x}" for b in table[i:i + 12]) for i in range(0, len(table), 12)]
    with open(cpp_path, "w", encoding="ascii") as f:
        f.write(f"// Generated from {source.split('/')[-1]} by make_message_table.py; do not edit.\n")
        f.write("#include <cstdint>\n\n")
        f.write(f"extern const uint8_t {symbol}[] = {{\n    " + ",\n    ".join(rows) + "};\n")
        f.write(f"extern const uint32_t {symbol}Size = {len(table)};\n")


if __name__ == "__main__":
    main()
