#!/usr/bin/env python3
"""The work of scripts/make-dist.sh: reads the build identity of the installer
it ships, checks a payload, packs it into archive volumes as the installer
reads them, converts the texts, verifies the volumes with zipx and lists the
checksums of the distribution.

  make_dist.py identity EXE PASSWORD BUILD_DIR
  make_dist.py pack PAYLOAD OUT BASENAME VOLUMES SIZE_MB PASSWORD
  make_dist.py text SOURCE TARGET
  make_dist.py verify PAYLOAD OUT BASENAME VOLUMES SIZE_MB PASSWORD ZIPX
  make_dist.py sums OUT

identity prints the number of volumes EXE reads, from the SETUP_IDENTITY
resource its build embeds, and refuses an EXE without one or built with
another archive password than PASSWORD (that of BUILD_DIR).

pack writes OUT/BASENAME.dat, BASENAME.dat2, ...: each a complete ZIP
archive of whole files, Deflate (or stored where Deflate does not shrink a
file) with traditional PKWARE encryption, without folder entries, with
member names in the OEM code page 866, which the installer converts to the
ANSI code page 1251 when it reads them. The output is a function of the
payload, the password, SOURCE_DATE_EPOCH (the time of every member, as UTC;
when it is not set, the files' own times, local) and Python's zlib: the
encryption header's first 11 bytes come from an HMAC of the password, the
member's name and its content, not from a random source. SIZE_MB 0 means no
size limit. No ZIP64: files and volumes must stay below 4 GiB.

text copies a readme or licence as Windows-1251, which the installer's
viewer shows: UTF-8 (with or without a byte order mark) is converted, other
bytes are taken as Windows-1251 already.

sums writes OUT/SHA256SUMS (the format of sha256sum) of every other file in OUT.

A payload or file that cannot be shipped is refused with one line per
problem that names it. The exit status is 0 on success and 1 on refusal or
failed verification.
"""

import codecs
import filecmp
import hashlib
import hmac
import os
import re
import stat
import struct
import subprocess
import sys
import tempfile
import time
import unicodedata
import zlib

MB = 1024 * 1024
# Longest relative name: the install folder, a backslash and the name must
# stay within the 259 characters of a Windows path.
MAX_NAME = 200
RESERVED = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"} | {
    f"{dev}{n}" for dev in ("COM", "LPT") for n in range(1, 10)}
BAD_CHARS = set('<>:"\\|?*')
LOCAL_HEADER = 30
CENTRAL_RECORD = 46
CRYPT_HEADER = 12
END_RECORD = 22
# Sizes, offsets and counts of a ZIP archive without ZIP64 are 32 bits (16
# for counts), and the all-ones value says "see the ZIP64 record": the
# installer reads no ZIP64, so a file or a volume must stay below it.
ZIP32_LIMIT = 0xFFFFFFFF
MAX_MEMBERS = 0xFFFF
DEFLATE_LEVEL = 6
CHUNK = MB


def suffix(n):
    return "" if n == 1 else str(n)


def volume_path(out, base, n):
    return os.path.join(out, f"{base}.dat{suffix(n)}")


class Refusal(Exception):
    pass


def name_problem(rel):
    """Why a relative payload path (str, "/" separators) cannot be shipped."""
    if len(rel) > MAX_NAME:
        return f"the name is longer than {MAX_NAME} characters"
    parts = rel.split("/")
    for part in parts:
        if any(c in BAD_CHARS or ord(c) < 32 for c in part):
            return "the name holds a character that Windows names cannot hold"
        if part.endswith((" ", ".")):
            return "a name ends with a blank or a full stop, which Windows drops"
        # Windows drops the blanks before the extension: "CON .txt" is CON.
        if part.split(".")[0].rstrip(" ").upper() in RESERVED:
            return "a name is reserved for a device on Windows"
        try:
            oem = part.encode("cp866")
            part.encode("cp1251")
        except UnicodeEncodeError:
            return "the name has no form in code page 866 (and 1251) that the installer reads"
        if oem.decode("cp866") != part:
            return "the name has no form in code page 866"
    top = parts[0].upper()
    if top == "TEMP":
        return "the installer stages the archive in TEMP below the install folder"
    if len(parts) == 1 and top == "UNINST":
        return "UNINST is the folder of the install log"
    return None


def scan(payload):
    """The payload's files as sorted (relative str path, size), or a Refusal."""
    problems, files, seen = [], [], {}
    root = os.fsencode(payload)
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames.sort()
        rel_dir = os.path.relpath(dirpath, root)
        entries = [(n, True) for n in dirnames] + [(n, False) for n in filenames]
        if dirpath != root and not entries:
            problems.append(f"{os.fsdecode(rel_dir)}/: an empty folder "
                            "(the archive holds no folder entries)")
        for name, is_dir in entries:
            raw = os.path.normpath(os.path.join(rel_dir, name)) if rel_dir != b"." else name
            try:
                rel = raw.decode("utf-8")
            except UnicodeDecodeError:
                problems.append(f"{os.fsdecode(raw)}: the name is not UTF-8")
                continue
            mode = os.lstat(os.path.join(root, raw)).st_mode
            if stat.S_ISLNK(mode) or not (stat.S_ISDIR(mode) or stat.S_ISREG(mode)):
                problems.append(f"{rel}: not a plain file or folder (links are not shipped)")
                continue
            why = name_problem(rel)
            if why:
                problems.append(f"{rel}: {why}")
            other = seen.setdefault(rel.upper(), rel)
            if other != rel:
                problems.append(f"{rel}: Windows does not tell it from {other}")
            if not is_dir:
                files.append((rel, os.lstat(os.path.join(root, raw)).st_size))
    if problems:
        raise Refusal(problems)
    if not files:
        raise Refusal(["the payload holds no file"])
    return sorted(files)


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


def source_date_epoch():
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value is None:
        return None
    if not re.fullmatch(r"[0-9]+", value):
        raise Refusal([f"SOURCE_DATE_EPOCH is not a count of seconds: {value}"])
    return int(value)


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
            raise Refusal([f"{rel}: changed while it was read"])
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
            raise Refusal([f"{self.rel}: changed while it was packed"])

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


def greedy(weights, cap):
    groups, total = [[]], 0
    for i, w in enumerate(weights):
        if groups[-1] and total + w > cap:
            groups.append([])
            total = 0
        groups[-1].append(i)
        total += w
    return groups


def partition(weights, count, cap):
    """count runs of consecutive members, none above cap, the largest as small
    as it can be; None when they do not fit."""
    lo, hi = max(weights), sum(weights)
    if count == 1:
        return [list(range(len(weights)))] if hi <= cap else None
    while lo < hi:
        mid = (lo + hi) // 2
        if len(greedy(weights, mid)) <= count:
            hi = mid
        else:
            lo = mid + 1
    if lo > cap:
        return None
    groups = greedy(weights, lo)
    while len(groups) < count:  # split the heaviest run that has two members
        heavy = max((g for g in groups if len(g) > 1), key=lambda g: sum(weights[i] for i in g))
        half, acc, cut = sum(weights[i] for i in heavy) / 2, 0, 1
        for k, i in enumerate(heavy[:-1]):
            acc += weights[i]
            cut = k + 1
            if acc >= half:
                break
        at = groups.index(heavy)
        groups[at:at + 1] = [heavy[:cut], heavy[cut:]]
    return groups


def pack(payload, out, base, count, limit, password):
    files = scan(payload)
    problems = []
    for rel, size in files:
        if size >= ZIP32_LIMIT:
            problems.append(f"{rel}: {size} bytes; a file of 4 GiB or more needs ZIP64, "
                            "which the installer does not read")
        elif limit and size > limit:
            problems.append(f"{rel}: {size} bytes, larger than the volume size of {limit} bytes")
    if problems:
        raise Refusal(problems)
    if len(files) < count:
        raise Refusal([f"{len(files)} files cannot fill {count} volumes (none may be empty)"])
    key = password.encode("ascii")
    epoch = source_date_epoch()
    members = [Member(payload, rel, size, key, epoch) for rel, size in files]
    # The sizes are exact: the volumes are planned before a byte is written.
    cap = min(limit or ZIP32_LIMIT, ZIP32_LIMIT - 1) - END_RECORD
    groups = partition([m.weight() for m in members], count, cap)
    if groups is None:
        if limit and limit < ZIP32_LIMIT:
            raise Refusal([f"the payload does not fit into {count} volume(s) of {limit} "
                           "bytes; give a larger --volume-size or build the installer for "
                           "more volumes"])
        raise Refusal([f"the payload does not fit into {count} volume(s) below 4 GiB, the "
                       "most an archive without ZIP64 holds; build the installer for more "
                       "volumes"])
    for group in groups:
        if len(group) >= MAX_MEMBERS:
            raise Refusal([f"{len(group)} files in one volume, more than an archive without "
                           "ZIP64 holds; build the installer for more volumes"])
    for n, group in enumerate(groups, 1):
        path = volume_path(out, base, n)
        write_volume(path, [members[i] for i in group], key)
        print(f"make-dist: {os.path.basename(path)}: {len(group)} files, "
              f"{os.path.getsize(path)} bytes")


def zipx_list(zipx, path):
    run = subprocess.run([zipx, "list", path], capture_output=True)
    if run.returncode != 0:
        raise Refusal([f"{os.path.basename(path)}: zipx cannot read it: "
                       f"{run.stderr.decode(errors='replace').strip()}"])
    members = []
    for line in run.stdout.decode("utf-8").splitlines():
        index, method, encrypted, packed, size, crc, when, name = line.split("\t", 7)
        members.append((name, int(size), encrypted == "1"))
    return members


def verify(payload, out, base, count, limit, password, zipx):
    files = scan(payload)
    problems, listed = [], []
    for n in range(1, count + 1):
        path = volume_path(out, base, n)
        label = os.path.basename(path)
        if not os.path.isfile(path):
            raise Refusal([f"{label}: missing"])
        if limit and os.path.getsize(path) > limit:
            problems.append(f"{label}: larger than the volume size")
        members = zipx_list(zipx, path)
        if not members:
            problems.append(f"{label}: holds no member")
        for name, size, encrypted in members:
            if name.endswith("\\"):
                problems.append(f"{label}: {name} is a folder entry")
            elif not encrypted:
                problems.append(f"{label}: {name} is not encrypted")
        if n == count and members and members[-1][0].endswith("\\"):
            problems.append(f"{label}: the last member is a folder entry, so every "
                            "installation would roll back")
        listed += [(name.replace("\\", "/"), size) for name, size, _ in members]
        with tempfile.TemporaryDirectory(prefix="make-dist-check-") as tmp:
            run = subprocess.run([zipx, "extract", "-P", password, "-d", tmp, path],
                                 capture_output=True)
            if run.returncode != 0:
                problems.append(f"{label}: does not extract with the password: "
                                f"{run.stderr.decode(errors='replace').strip()}")
            for name, _, _ in members:
                rel = name.replace("\\", "/")
                got, want = os.path.join(tmp, rel), os.path.join(payload, rel)
                if not os.path.isfile(got):
                    continue  # a folder entry, or not extracted: reported above
                if not os.path.isfile(want):
                    problems.append(f"{label}: {rel} is not in the payload (a garbled name?)")
                elif not filecmp.cmp(got, want, False):
                    problems.append(f"{label}: {rel} differs from the payload")
    if os.path.exists(volume_path(out, base, count + 1)):
        problems.append(f"{os.path.basename(volume_path(out, base, count + 1))}: a volume "
                        "the installer never reads")
    if listed != files:
        problems.append(f"the volumes hold {len(listed)} members, the payload {len(files)} "
                        "files: names or sizes differ")
    if problems:
        raise Refusal(problems)
    print(f"make-dist: verified {count} volume(s), {len(files)} files")


RT_RCDATA = 10
IDENTITY_NAME = "SETUP_IDENTITY"
IDENTITY = re.compile(rb"MentorixSetupIdentity/1 password-sha256=([0-9a-f]{64}) "
                      rb"volumes=([1-9][0-9]{0,3})\0*")


def password_hash(password):
    """What the build identity holds of the password (app/CMakeLists.txt)."""
    return hashlib.sha256(b"Mentorix Setup archive password:" + password.encode("ascii")
                          ).hexdigest()


def pe_resources(image):
    """The resources of a PE image as (type, name, language, bytes); a type,
    name or language is a number or an upper-case name. ValueError or
    struct.error when the image is not a PE file or its resource table
    points outside it. The certificate table a signature appends lies
    outside the sections and changes nothing here."""
    def u16(at):
        return struct.unpack_from("<H", image, at)[0]

    def u32(at):
        return struct.unpack_from("<I", image, at)[0]

    if image[:2] != b"MZ":
        raise ValueError("no MZ header")
    pe = u32(0x3C)
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    sections, optional_size = u16(pe + 6), u16(pe + 20)
    optional = pe + 24
    directories = {0x10B: 96, 0x20B: 112}.get(u16(optional))  # PE32, PE32+
    if directories is None:
        raise ValueError("an optional header of unknown kind")
    if u32(optional + directories - 4) <= 2:  # no resource table entry
        return []
    table_rva = u32(optional + directories + 2 * 8)
    if not table_rva:
        return []
    headers = optional + optional_size

    def offset_of(rva, length):
        for i in range(sections):
            va, raw_size, raw_at = struct.unpack_from("<III", image, headers + 40 * i + 12)
            if va <= rva and rva + length <= va + raw_size:
                at = raw_at + rva - va
                if at + length > len(image):
                    break
                return at
        raise ValueError("resource data outside the file's sections")

    root = offset_of(table_rva, 16)
    visited = [0]

    def entries(at):
        named, numbered = struct.unpack_from("<HH", image, root + at + 12)
        # Folders of a damaged table may point back at each other.
        visited[0] += named + numbered
        if visited[0] > 1 << 16:
            raise ValueError("more resource entries than a program holds")
        for k in range(named + numbered):
            name, target = struct.unpack_from("<II", image, root + at + 16 + 8 * k)
            if name & 0x80000000:
                start = root + (name & 0x7FFFFFFF)
                end = start + 2 + 2 * u16(start)
                if end > len(image):
                    raise ValueError("a resource name outside the file")
                name = image[start + 2:end].decode("utf-16-le").upper()
            yield name, target

    found = []
    for kind, to_names in entries(0):
        if not to_names & 0x80000000:
            raise ValueError("a resource type without a folder")
        for name, to_languages in entries(to_names & 0x7FFFFFFF):
            if not to_languages & 0x80000000:
                raise ValueError("a resource name without a folder")
            for language, to_data in entries(to_languages & 0x7FFFFFFF):
                if to_data & 0x80000000:
                    raise ValueError("a resource language with a folder")
                rva, size = struct.unpack_from("<II", image, root + to_data)
                at = offset_of(rva, size)
                found.append((kind, name, language, image[at:at + size]))
    return found


def identity(exe, password, build):
    """The number of volumes exe reads, from its build identity, which must
    name password."""
    with open(exe, "rb") as f:
        image = f.read()
    try:
        resources = pe_resources(image)
    except (ValueError, struct.error, UnicodeDecodeError) as e:
        raise Refusal([f"{exe}: not a Windows program whose resources can be read ({e})"])
    found = {data for kind, name, _, data in resources
             if kind == RT_RCDATA and name == IDENTITY_NAME}
    if not found:
        raise Refusal([f"{exe}: carries no build identity (RCDATA {IDENTITY_NAME}): not an "
                       "installer of this project's build, or one built before make-dist "
                       "read it"])
    match = IDENTITY.fullmatch(found.pop()) if len(found) == 1 else None
    if not match:
        raise Refusal([f"{exe}: its build identity cannot be read"])
    if not hmac.compare_digest(match[1].decode(), password_hash(password)):
        raise Refusal([f"{exe}: built with another archive password than {build}: the "
                       "installer could not read volumes packed with this one"])
    return int(match[2])


def convert_text(source, target):
    """Copies a readme or licence as Windows-1251."""
    with open(source, "rb") as f:
        data = f.read()
    bom = data.startswith(codecs.BOM_UTF8)
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        if bom:
            raise Refusal([f"{source}: starts with a UTF-8 byte order mark but is not UTF-8"])
        text = None  # Windows-1251 already
    if text is not None and (bom or not text.isascii()):
        text = text[1:] if bom else text
        problems = {}
        for number, line in enumerate(text.split("\n"), 1):
            for c in line:
                try:
                    c.encode("cp1251")
                except UnicodeEncodeError:
                    problems.setdefault(c, f"{source}: line {number}: {c!r} (U+{ord(c):04X} "
                                           f"{unicodedata.name(c, 'unnamed')}) has no form in "
                                           "Windows-1251, which the installer shows")
        if problems:
            raise Refusal(list(problems.values()))
        data = text.encode("cp1251")
        print(f"make-dist: {os.path.basename(target)} converted from UTF-8 to Windows-1251")
    with open(target, "wb") as f:
        f.write(data)


def write_sums(out):
    """OUT/SHA256SUMS of every other file in OUT, as sha256sum writes it."""
    lines = []
    for name in sorted(os.listdir(out)):
        path = os.path.join(out, name)
        if name == "SHA256SUMS" or not os.path.isfile(path):
            continue
        if "\\" in name or "\n" in name:
            raise Refusal([f"{name}: a name sha256sum would escape"])
        digest = hashlib.sha256()
        with open(path, "rb") as f:
            while chunk := f.read(CHUNK):
                digest.update(chunk)
        lines.append(f"{digest.hexdigest()}  {name}\n")
    with open(os.path.join(out, "SHA256SUMS"), "w", encoding="utf-8") as f:
        f.writelines(lines)


def main(argv):
    commands = {"identity": 4, "pack": 7, "text": 3, "verify": 8, "sums": 2}
    if not argv or commands.get(argv[0]) != len(argv):
        print(__doc__, file=sys.stderr)
        return 2
    command, args = argv[0], argv[1:]
    try:
        if command == "identity":
            print(identity(*args))
        elif command == "text":
            convert_text(*args)
        elif command == "sums":
            write_sums(*args)
        else:
            payload, out, base, count, size_mb, password = args[:6]
            limit = int(float(size_mb) * MB)
            if command == "pack":
                pack(payload, out, base, int(count), limit, password)
            else:
                verify(payload, out, base, int(count), limit, password, args[6])
    except Refusal as refusal:
        for line in refusal.args[0]:
            print(f"make-dist: refused: {line}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
