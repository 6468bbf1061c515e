"""ZIP volumes as the installer reads them: members Deflated (or stored
where Deflate does not shrink them) with traditional PKWARE encryption
(APPNOTE 6.1), no folder entries, no ZIP64. Every byte is a function of the
files, the password and the times given: the encryption header's first 11
bytes come from an HMAC of the password, the member's name and its content.
Used by make_dist.py."""
import hashlib
import hmac
import os
import stat
import struct
import time
import zlib

LOCAL_HEADER = 30
CENTRAL_RECORD = 46
CRYPT_HEADER = 12
END_RECORD = 22
DEFLATE_LEVEL = 6
CHUNK = 1024 * 1024


class Changed(Exception):
    """A file changed between the pass that measured it and its packing."""


def _crc_table():
    table = []
    for n in range(256):
        c = n
        for _ in range(8):
            c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
        table.append(c)
    return table


CRC_TABLE = _crc_table()
# The key-stream byte of traditional encryption for each value of the low 16
# bits of key 2: ((k | 2) * ((k | 2) ^ 1)) >> 8, as a 16-bit product.
STREAM_BYTE = bytes((((k | 2) * ((k | 2) ^ 1)) >> 8) & 0xFF for k in range(1 << 16))


class ZipCrypto:
    """Traditional PKWARE encryption (APPNOTE 6.1): three 32-bit keys set up
    from the password and advanced by every plain byte."""

    def __init__(self, password):
        self.keys = (0x12345678, 0x23456789, 0x34567890)
        self.encrypt(password)

    def encrypt(self, data):
        crc, stream = CRC_TABLE, STREAM_BYTE
        k0, k1, k2 = self.keys
        out = bytearray(data)
        for i, c in enumerate(data):
            out[i] = c ^ stream[k2 & 0xFFFF]
            k0 = crc[(k0 ^ c) & 0xFF] ^ (k0 >> 8)
            k1 = ((k1 + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
            k2 = crc[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8)
        self.keys = (k0, k1, k2)
        return out


def dos_time(seconds, utc):
    """MS-DOS date and time (APPNOTE 4.4.6) of a POSIX time, rounded up to
    even seconds as Info-ZIP zip does, within the years 1980 to 2107."""
    t = (time.gmtime if utc else time.localtime)((int(seconds) + 1) & ~1)
    if t.tm_year < 1980:
        return (1 << 5) | 1, 0
    if t.tm_year > 2107:
        return (127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29
    date = ((t.tm_year - 1980) << 9) | (t.tm_mon << 5) | t.tm_mday
    return date, (t.tm_hour << 11) | (t.tm_min << 5) | (min(t.tm_sec, 59) // 2)


class Member:
    """A payload file as it goes into a volume."""

    def __init__(self, payload, rel, size, password, epoch):
        self.rel, self.size = rel, size
        self.path = os.path.join(payload, rel)
        self.name = rel.encode("cp866")
        st = os.stat(self.path)
        self.date, self.time = dos_time(epoch if epoch is not None else st.st_mtime,
                                        epoch is not None)
        # The read-only attribute as Info-ZIP zip sets it: the owner may not write.
        self.attributes = 0 if st.st_mode & stat.S_IWUSR else 1
        # One pass ahead of packing: the CRC (the encryption header's last
        # byte), the header's other 11 bytes, and the size Deflate gives,
        # which decides the method and gives the exact size in the volume.
        mac = hmac.new(password, struct.pack("<H", len(self.name)) + self.name, hashlib.sha256)
        packer = zlib.compressobj(DEFLATE_LEVEL, zlib.DEFLATED, -15)
        crc = read = deflated = 0
        with open(self.path, "rb") as f:
            while chunk := f.read(CHUNK):
                crc = zlib.crc32(chunk, crc)
                mac.update(chunk)
                deflated += len(packer.compress(chunk))
                read += len(chunk)
        deflated += len(packer.flush())
        if read != size:
            raise Changed(f"{rel}: changed while it was read")
        self.crc = crc
        self.method = 8 if deflated < size else 0
        self.packed = CRYPT_HEADER + (deflated if self.method == 8 else size)
        self.crypt_header = mac.digest()[:CRYPT_HEADER - 1] + bytes([crc >> 24])

    def weight(self):
        """Its bytes in a volume: local header, data and central record."""
        return LOCAL_HEADER + CENTRAL_RECORD + 2 * len(self.name) + self.packed

    def fields(self):
        """The fields local header and central record share, from "version
        needed to extract" to "extra field length"."""
        # 2.0: Deflate and traditional encryption; flag bit 0: encrypted.
        return struct.pack("<HHHHHIIIHH", 20, 1, self.method, self.time, self.date, self.crc,
                           self.packed, self.size, len(self.name), 0)

    def write(self, out, password):
        """Writes the local header and the encrypted data at out's position."""
        out.write(struct.pack("<I", 0x04034B50) + self.fields() + self.name)
        crypt = ZipCrypto(password)
        out.write(crypt.encrypt(self.crypt_header))
        packer = zlib.compressobj(DEFLATE_LEVEL, zlib.DEFLATED, -15) if self.method == 8 else None
        crc, written = 0, CRYPT_HEADER
        with open(self.path, "rb") as f:
            while chunk := f.read(CHUNK):
                crc = zlib.crc32(chunk, crc)
                data = packer.compress(chunk) if packer else chunk
                written += len(data)
                out.write(crypt.encrypt(data))
        if packer:
            data = packer.flush()
            written += len(data)
            out.write(crypt.encrypt(data))
        if crc != self.crc or written != self.packed:
            raise Changed(f"{self.rel}: changed while it was packed")

    def central_record(self, offset):
        # Made by 2.0 on MS-DOS: the external attributes are DOS attributes,
        # which the installer gives the installed file.
        return (struct.pack("<IH", 0x02014B50, 20) + self.fields() +
                struct.pack("<HHHII", 0, 0, 0, self.attributes, offset) + self.name)


def write_volume(path, members, password):
    records = []
    with open(path, "wb") as out:
        for member in members:
            records.append(member.central_record(out.tell()))
            member.write(out, password)
        directory, at = b"".join(records), out.tell()
        out.write(directory)
        out.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members),
                              len(directory), at, 0))
