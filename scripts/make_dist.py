#!/usr/bin/env python3
"""The work of scripts/make-dist.sh: checks a payload, packs it into archive
volumes as the installer reads them, and verifies the volumes with zipx.

  make_dist.py pack PAYLOAD OUT BASENAME VOLUMES SIZE_MB PASSWORD
  make_dist.py verify PAYLOAD OUT BASENAME VOLUMES SIZE_MB PASSWORD ZIPX

SIZE_MB 0 means no size limit. The volumes are OUT/BASENAME.dat,
BASENAME.dat2, ... Each is a complete ZIP archive of whole files, packed by
Info-ZIP zip with traditional encryption, without folder entries, and with
member names in the OEM code page 866, which the installer converts to the
ANSI code page 1251 when it reads them. A payload that cannot be shipped is
refused with one line per file that names it. The exit status is 0 on
success and 1 on refusal or failed verification.
"""

import filecmp
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import zlib

MB = 1024 * 1024
# Longest relative name: the install folder, a backslash and the name must
# stay within the 259 characters of a Windows path.
MAX_NAME = 200
RESERVED = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"} | {
    f"{dev}{n}" for dev in ("COM", "LPT") for n in range(1, 10)}
BAD_CHARS = set('<>:"\\|?*')
# Per member: local header (30) and central record (46), each with the
# name, the encryption header (12) and a data descriptor (16).
MEMBER_OVERHEAD = 30 + 46 + 12 + 16
END_RECORD = 22


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
        if part.split(".")[0].upper() in RESERVED:
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


def estimate(payload, rel, size):
    """An upper estimate of a member's bytes in the archive."""
    packer = zlib.compressobj(6, zlib.DEFLATED, -15)
    packed = 0
    with open(os.path.join(payload, rel), "rb") as f:
        while chunk := f.read(MB):
            packed += len(packer.compress(chunk))
    packed += len(packer.flush())
    # Info-ZIP's deflate lands within a few bytes of zlib's; a little slack.
    return min(size, packed + packed // 100 + 64) + MEMBER_OVERHEAD + 2 * len(rel.encode("cp866"))


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


def stage(payload, files, where):
    """A copy of the payload whose names are the bytes of code page 866."""
    for rel, _ in files:
        target = os.path.join(os.fsencode(where), rel.encode("cp866"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        source = os.path.join(payload, rel)
        try:
            os.link(source, target)
        except OSError:
            shutil.copy2(source, target)


def pack(payload, out, base, count, limit, password):
    files = scan(payload)
    for rel, size in files:
        if limit and size > limit:
            raise Refusal([f"{rel}: {size} bytes, larger than the volume size of {limit} bytes"])
    if len(files) < count:
        raise Refusal([f"{len(files)} files cannot fill {count} volumes (none may be empty)"])
    weights = [estimate(payload, rel, size) for rel, size in files]
    with tempfile.TemporaryDirectory(prefix="make-dist-") as tmp:
        stage(payload, files, tmp)
        cap = limit - END_RECORD if limit else sum(weights)
        for _ in range(5):
            groups = partition(weights, count, cap)
            if groups is None:
                raise Refusal([f"the payload does not fit into {count} volume(s) of "
                               f"{limit} bytes; give a larger --volume-size or build the "
                               "installer for more volumes"])
            sizes = []
            for n, group in enumerate(groups, 1):
                path = volume_path(out, base, n)
                if os.path.exists(path):
                    os.remove(path)
                names = b"\n".join(files[i][0].encode("cp866") for i in group) + b"\n"
                subprocess.run(["zip", "-q", "-X", "-D", "-P", password, os.path.abspath(path), "-@"],
                               cwd=tmp, input=names, check=True, env=dict(os.environ, LC_ALL="C"))
                sizes.append(os.path.getsize(path))
            over = max(s - limit for s in sizes) if limit else 0
            if over <= 0:
                for n, (group, size) in enumerate(zip(groups, sizes), 1):
                    print(f"make-dist: {os.path.basename(volume_path(out, base, n))}: "
                          f"{len(group)} files, {size} bytes")
                return
            cap -= over + 1024  # the estimate was short: plan again with less room
    raise Refusal(["the volumes keep coming out larger than the volume size"])


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


def main(argv):
    if len(argv) < 7 or argv[0] not in ("pack", "verify"):
        print(__doc__, file=sys.stderr)
        return 2
    command, payload, out, base, count, size_mb, password = argv[:7]
    limit = int(float(size_mb) * MB)
    try:
        if command == "pack":
            pack(payload, out, base, int(count), limit, password)
        else:
            verify(payload, out, base, int(count), limit, password, argv[7])
    except Refusal as refusal:
        for line in refusal.args[0]:
            print(f"make-dist: refused: {line}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
