#!/usr/bin/env bash
# Extraction benchmark: native zipx against Info-ZIP unzip (and 7z if present).
#
#   scripts/bench.sh [REPEATS]      (default 5 runs per tool and archive)
#   BENCH_ONLY=installation scripts/bench.sh [REPEATS]   (the installation row alone)
#
# Builds zipx without sanitizers at -O2 in build/bench, makes a deterministic
# corpus of about 110 MB in build/bench/corpus (text, CSV-like rows, code-like
# binary, incompressible and already-compressed data, 1500 small files and a
# few large ones), packs it with Info-ZIP zip (Deflate level 6 and stored, each
# with and without a password), then extracts every archive with each tool in
# turn (each round starting with another tool), into the same emptied folder
# for every tool, in two places: tmpfs (/dev/shm when there is one, or
# BENCH_OUT), where the disk does not hide the tools' own work, and the build
# folder's own file system, as a user's disk. Previous output is removed and
# synced before each timed run. Reports min/median/max wall time, MB/s of the
# median, zipx's median over unzip's with the range of the per-round ratios
# (the machine's noise), and zipx's peak memory. As a ceiling it also times
# libdeflate-gunzip | tar x on the same data as one .tar.gz, and a plain
# tar x of the uncompressed .tar.
#
# The whole installation: the corpus packed as a distribution volume
# (scripts/make_dist.py, as make-dist.sh packs it, with the password of this
# build) is installed by
# setup_native (the installer's program on the posix platform: staging,
# placement of every file, the install log) in an unattended run, against
# zipx extracting the same volume; the installation may take at most 1.15
# times as long. Both results are compared with the corpus once.
#
# zipx.exe runs under Wine as an extra column (informative: Wine's file I/O
# is not the engine's): the 64-bit build, or the 32-bit one where only the
# 32-bit Wine runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
repeats=${1:-5}
bench=$root/build/bench
password=Bench0Pass
mkdir -p "$bench"

echo "== build: zipx (native, -O2, no sanitizers)"
if [ ! -f "$bench/CMakeCache.txt" ]; then
  cmake -S . -B "$bench" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DSETUP_SANITIZE=OFF >"$bench/configure.log" 2>&1 || { cat "$bench/configure.log"; exit 1; }
fi
# A build folder made before a target was added learns of it here.
cmake "$bench" >>"$bench/configure.log" 2>&1
cmake --build "$bench" -j2 --target zipx setup_native >"$bench/build.log" 2>&1 ||
  { tail -n 30 "$bench/build.log"; exit 1; }
archive_password_of() { sed -n 's/^SETUP_ARCHIVE_PASSWORD:[A-Z]*=//p' "$1/CMakeCache.txt"; }
setup_password=$(archive_password_of "$bench")

source scripts/wine-env.sh
zipx_exe=
if arch=$(wine_runnable_arch); then
  echo "== build: zipx.exe ($arch preset) for the Wine column"
  { [ -f build/$arch/CMakeCache.txt ] || cmake --preset $arch; } >"$bench/$arch.log" 2>&1 &&
    cmake --build build/$arch -j2 --target zipx >>"$bench/$arch.log" 2>&1 ||
    { tail -n 30 "$bench/$arch.log"; exit 1; }
  wine_env_init "$bench/wine" $arch
  zipx_exe=$root/build/$arch/bin/zipx.exe
else
  echo "== zipx.exe under Wine: column skipped, Wine cannot run here: $(wine_skip_reason win64)"
fi

corpus=$bench/corpus
if [ ! -f "$bench/corpus.done" ]; then
  echo "== corpus"
  rm -rf "$corpus"
  python3 - "$corpus" <<'EOF'
import os, random, sys, zlib

root = sys.argv[1]
rng = random.Random(20261208)
os.makedirs(root)

def put(rel, data):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)

syllables = ["ka", "ro", "mi", "ten", "sol", "vu", "ar", "del", "qui", "nor", "ex", "pla",
             "sto", "ri", "lan", "gu", "te", "ob", "fi", "ma"]
words = ["".join(rng.choice(syllables) for _ in range(rng.randint(1, 4))) for _ in range(6000)]
weights = [1.0 / (i + 1) for i in range(len(words))]

def text(n):
    out, size = [], 0
    while size < n:
        line = " ".join(rng.choices(words, weights, k=rng.randint(6, 16))).capitalize() + ".\n"
        out.append(line)
        size += len(line)
    return "".join(out).encode()[:n]

def csv(n):
    out, size, day = ["id;date;name;amount;qty;code\n"], 0, 0
    i = 0
    while size < n:
        day += rng.randint(0, 2)
        line = "%d;2024-%02d-%02d;%s;%d.%02d;%d;X%05d\n" % (
            i, 1 + day // 28 % 12, 1 + day % 28, rng.choice(words), rng.randint(0, 99999),
            rng.randint(0, 99), rng.randint(1, 500), rng.randint(0, 20000))
        out.append(line)
        size += len(line)
        i += 1
    return "".join(out).encode()[:n]

def code(n):
    # Instruction-like records: a few opcodes, small operands, repeated blocks.
    ops = [bytes([rng.randrange(256) for _ in range(rng.randint(1, 6))]) for _ in range(300)]
    out = bytearray()
    blocks = []
    while len(out) < n:
        if blocks and rng.random() < 0.2:
            out += rng.choice(blocks)
            continue
        block = bytearray()
        for _ in range(rng.randint(8, 64)):
            block += rng.choice(ops[:60] if rng.random() < 0.7 else ops)
            block += rng.randrange(64).to_bytes(1, "little") * rng.randint(0, 3)
        blocks.append(bytes(block))
        out += block
    return bytes(out[:n])

def noise(n):
    return rng.randbytes(n)

def packed(n):
    out = bytearray()
    while len(out) < n:
        out += zlib.compress(text(200000) if rng.random() < 0.5 else code(200000), 9)
    return bytes(out[:n])

MB = 1 << 20
put("large/book.txt", text(24 * MB))
put("large/ledger.csv", csv(18 * MB))
put("large/program.bin", code(14 * MB))
put("large/random.dat", noise(14 * MB))
put("large/archive.pak", packed(10 * MB))
kinds = [text, csv, code, noise, packed]
for i in range(1500):
    kind = kinds[i % len(kinds)] if i % 7 else text
    size = int(rng.paretovariate(1.2) * 2000) % (160 * 1024) + 100
    put("small/d%02d/f%04d.%s" % (i % 40, i, kind.__name__), kind(size))
EOF
  touch "$bench/corpus.done"
  rm -rf "$bench"/*.zip "$bench"/*.tar* "$bench/dist"
fi

cd "$bench"
if [ ! -f deflate.zip ]; then
  echo "== archives (Info-ZIP zip)"
  (cd corpus && zip -q -r -6 ../deflate.zip . && zip -q -r -6 -P "$password" ../deflate-enc.zip . &&
    zip -q -r -0 ../stored.zip . && zip -q -r -0 -P "$password" ../stored-enc.zip .)
  tar -cf corpus.tar -C corpus .
  gzip -6 -c corpus.tar >corpus.tar.gz
fi
if [ ! -f dist/setup.dat ]; then
  echo "== distribution volume (scripts/make_dist.py)"
  rm -rf dist
  mkdir dist
  # make-dist.sh ships only a Windows installer whose build identity names
  # this password, and this build makes none: the volume is packed and
  # verified as make-dist.sh does, and setup_native stands in for setup.exe.
  printf 'MZ' >dist/setup.exe
  { python3 "$root/scripts/make_dist.py" pack corpus dist setup 1 0 "$setup_password" &&
    python3 "$root/scripts/make_dist.py" verify corpus dist setup 1 0 "$setup_password" \
      "$bench/bin/zipx"; } >dist.log 2>&1 || { cat dist.log; exit 1; }
fi

# The Windows program's installation under Wine: the same volume beside the
# setup.exe of the build whose zipx.exe runs, when both have one password.
wine_dist=
if [ -n "$zipx_exe" ]; then
  if [ "$(archive_password_of "$root/build/$arch")" = "$setup_password" ]; then
    cmake --build "$root/build/$arch" -j2 --target setup >>"$bench/$arch.log" 2>&1 ||
      { tail -n 30 "$bench/$arch.log"; exit 1; }
    wine_dist=$bench/wine-dist
    rm -rf "$wine_dist"
    mkdir -p "$wine_dist"
    cp dist/setup.dat "$wine_dist/"
    cp "$root/build/$arch/bin/setup.exe" "$wine_dist/"
  else
    echo "== installation under Wine: row skipped, build/$arch has another archive password"
  fi
fi

echo "== timing ($repeats rounds each, tools alternating)"
status=0
BENCH_SCRIPTS=$root/scripts python3 - "$bench" "$repeats" "$password" "$setup_password" "$zipx_exe" <<'EOF' || status=$?
import os, resource, shutil, statistics, subprocess, sys, time

bench, repeats, password, setup_password, zipx_exe = sys.argv[1:6]
sys.path.insert(0, os.environ["BENCH_SCRIPTS"])
from bench_tree import same_tree
wine = os.environ.get("WINE", "wine")
repeats = int(repeats)
zipx = os.path.join(bench, "bin", "zipx")
mem_file = os.path.join(bench, "peak.txt")
gnu_time = "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None
total = sum(os.path.getsize(os.path.join(d, f))
            for d, _, fs in os.walk(os.path.join(bench, "corpus")) for f in fs)
have_7z = shutil.which("7z") is not None
mb = total / 1e6

# Destinations: memory (tmpfs, or BENCH_OUT) shows the tools' own work; the
# build folder's file system shows what a user's disk adds. Every tool of a
# destination writes into the same folder.
memory_base = os.environ.get("BENCH_OUT") or ("/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
dests = []
if memory_base:
    dests.append(("memory", os.path.join(memory_base, "zipx-bench-out.%d" % os.getpid())))
dests.append(("disk", os.path.join(bench, "out.%d" % os.getpid())))


def cpu_of_children():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def run(cmd, out_dir, shell=False):
    """One extraction into an emptied folder: (wall seconds, peak RSS in KB,
    CPU seconds of the process and its children).
    The previous output is removed and written back (sync) before the clock
    starts, so that no tool pays for another one's files."""
    shutil.rmtree(out_dir, ignore_errors=True)
    os.makedirs(out_dir)
    os.sync()
    if gnu_time and not shell:
        cmd = [gnu_time, "-f", "%M", "-o", mem_file] + cmd
    start, cpu = time.perf_counter(), cpu_of_children()
    p = subprocess.run(cmd, shell=shell, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed, cpu = time.perf_counter() - start, cpu_of_children() - cpu
    if p.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (p.returncode, cmd, p.stderr.decode()[-2000:]))
    peak = 0
    if gnu_time and not shell:
        with open(mem_file) as f:
            peak = int(f.read().split()[-1])
    return elapsed, peak, cpu


def tools(archive, encrypted, out_dir):
    pw = ["-P", password] if encrypted else []
    t = {"zipx": [zipx, "extract"] + pw + ["-d", out_dir, archive],
         "unzip": ["unzip", "-q", "-o"] + pw + ["-d", out_dir, archive]}
    if have_7z:
        t["7z"] = ["7z", "x", "-y", "-o" + out_dir] + (["-p" + password] if encrypted else []) + [archive]
    if zipx_exe:
        win = lambda p: "Z:" + p.replace("/", "\\")
        t["wine"] = [wine, zipx_exe, "extract"] + pw + ["-d", win(out_dir), win(archive)]
    return t


# zipx/unzip targets on the median times.
targets = {"memory": {"deflate.zip": 0.40, "deflate-enc.zip": 0.42, "stored.zip": 0.22,
                      "stored-enc.zip": 0.45},
           "disk": {"deflate.zip": 0.75, "deflate-enc.zip": 0.75, "stored.zip": 0.75,
                    "stored-enc.zip": 0.75}}
print("output per extraction: %.1f MB; %s" %
      (mb, ", ".join("%s in %s" % (name, os.path.dirname(d)) for name, d in dests)))
print("%-16s %-6s %-6s %7s %7s %7s %8s %8s" %
      ("archive", "dest", "tool", "min s", "med s", "max s", "MB/s", "peak MB"))
# BENCH_ONLY=installation times the installation row alone.
only = os.environ.get("BENCH_ONLY", "")
failed = False
for archive in ([] if only == "installation" else targets["disk"]):
    path = os.path.join(bench, archive)
    for dest, out_dir in dests:
        cmds = tools(path, "enc" in archive, out_dir)
        names = list(cmds)
        times = {name: [] for name in names}
        peak = {name: 0 for name in names}
        ratios = []
        for r in range(repeats):
            # Each round starts with another tool, so that none always runs
            # right after the same neighbour.
            order = names[r % len(names):] + names[:r % len(names)]
            for name in order:
                t, rss, _ = run(cmds[name], out_dir)
                times[name].append(t)
                peak[name] = max(peak[name], rss)
            ratios.append(times["zipx"][-1] / times["unzip"][-1])
        med = {name: statistics.median(v) for name, v in times.items()}
        for name in names:
            v = times[name]
            print("%-16s %-6s %-6s %7.3f %7.3f %7.3f %8.1f %8.1f" %
                  (archive, dest, name, min(v), med[name], max(v), mb / med[name],
                   peak[name] / 1024))
        ratio = med["zipx"] / med["unzip"]
        target = targets[dest][archive]
        verdict = "ok" if ratio <= target else "ABOVE TARGET"
        extra = ""
        if archive == "stored.zip" and "7z" in med:
            extra = "; zipx/7z = %.2f" % (med["zipx"] / med["7z"])
        print("%-16s %-6s zipx/unzip = %.2f (rounds %.2f..%.2f; target <= %.2f) %s%s; "
              "zipx peak %.1f MB" % (archive, dest, ratio, min(ratios), max(ratios), target,
                                     verdict, extra, peak["zipx"] / 1024))
        failed |= ratio > target or peak["zipx"] >= 16 * 1024
        shutil.rmtree(out_dir, ignore_errors=True)

# The whole installation against extraction of the same volume alone.
dist = os.path.join(bench, "dist")
corpus = os.path.join(bench, "corpus")
for dest, out_dir in dests:
    cmds = {"zipx": [zipx, "extract", "-P", setup_password, "-d", out_dir,
                     os.path.join(dist, "setup.dat")],
            "install": [os.path.join(bench, "bin", "setup_native"), "--drives", out_dir,
                        os.path.join(dist, "setup.exe"), "/VERYSILENT", "/SUPPRESSMSGBOXES",
                        "/DIR=C:\\Volmarix"]}
    placed = {"zipx": out_dir, "install": os.path.join(out_dir, "c", "Volmarix")}
    times = {name: [] for name in cmds}
    cpu = {name: [] for name in cmds}
    ratios = []
    for r in range(repeats):
        order = list(cmds) if r % 2 == 0 else list(cmds)[::-1]
        for name in order:
            t, _, c = run(cmds[name], out_dir)
            times[name].append(t)
            cpu[name].append(c)
            if r == 0 and not same_tree(placed[name], corpus, ignore=("UNINST",)):
                sys.exit("%s: what it wrote differs from the corpus" % name)
        ratios.append(times["install"][-1] / times["zipx"][-1])
    med = {name: statistics.median(v) for name, v in times.items()}
    for name, v in times.items():
        print("%-16s %-6s %-7s %7.3f %7.3f %7.3f %8.1f" %
              ("installation", dest, name, min(v), med[name], max(v), mb / med[name]))
    ratio = med["install"] / med["zipx"]
    verdict = "ok" if ratio <= 1.15 else "ABOVE TARGET"
    # CPU time varies less than wall time on a busy machine.
    cpu_ratio = statistics.median(cpu["install"]) / statistics.median(cpu["zipx"])
    print("%-16s %-6s install/zipx = %.2f (rounds %.2f..%.2f; target <= 1.15) %s; CPU time %.2f" %
          ("installation", dest, ratio, min(ratios), max(ratios), verdict, cpu_ratio))
    failed |= ratio > 1.15
    shutil.rmtree(out_dir, ignore_errors=True)

out_dir = dests[0][1]
ceiling = {
    "libdeflate-gunzip | tar x": "libdeflate-gunzip -c %s | tar -x -C %s" %
                                 (os.path.join(bench, "corpus.tar.gz"), out_dir),
    "tar x (uncompressed)": "tar -x -C %s -f %s" % (out_dir, os.path.join(bench, "corpus.tar")),
}
for name, cmd in ceiling.items():
    if only == "installation":
        break
    if name.startswith("libdeflate") and shutil.which("libdeflate-gunzip") is None:
        continue
    v = [run(cmd, out_dir, shell=True)[0] for _ in range(repeats)]
    print("ceiling (%s): %-26s min %.3f med %.3f max %.3f s, %.1f MB/s" %
          (dests[0][0], name, min(v), statistics.median(v), max(v), mb / statistics.median(v)))
shutil.rmtree(out_dir, ignore_errors=True)
sys.exit(1 if failed else 0)
EOF

if [ -n "$wine_dist" ]; then
  echo "== the whole installation under Wine ($arch, persistent wineserver)"
  wineserver -p
  ZIPX_EXE=$zipx_exe SETUP_PASSWORD=$setup_password python3 "$root/scripts/bench_wine.py" \
    "$bench" "$repeats" "$wine_dist" "$bench/corpus" "${BENCH_OUT:-/dev/shm}/zipx-bench-wine.$$" ||
    status=1
  wineserver -k || true
fi
exit $status
