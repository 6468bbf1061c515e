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
import unicodedata

from pe_image import pe_resources
from zip_volume import END_RECORD, CHUNK, Changed, Member, write_volume

MB = 1024 * 1024
# Longest relative name: the install folder, a backslash and the name must
# stay within the 259 characters of a Windows path.
MAX_NAME = 200
RESERVED = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"} | {
    f"{dev}{n}" for dev in ("COM", "LPT") for n in range(1, 10)}
BAD_CHARS = set('<>:"\\|?*')
# Sizes, offsets and counts of a ZIP archive without ZIP64 are 32 bits (16
# for counts), and the all-ones value says "see the ZIP64 record": the
# installer reads no ZIP64, so a file or a volume must stay below it.
ZIP32_LIMIT = 0xFFFFFFFF
MAX_MEMBERS = 0xFFFF


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


def source_date_epoch():
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value is None:
        return None
    if not re.fullmatch(r"[0-9]+", value):
        raise Refusal([f"SOURCE_DATE_EPOCH is not a count of seconds: {value}"])
    return int(value)


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
    try:
        members = [Member(payload, rel, size, key, epoch) for rel, size in files]
    except Changed as e:
        raise Refusal([str(e)])
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
        try:
            write_volume(path, [members[i] for i in group], key)
        except Changed as e:
            raise Refusal([str(e)])
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
