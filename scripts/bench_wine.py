"""The Windows program's whole installation against zipx.exe extracting the
same volume, both under Wine with a persistent wineserver, and the
file-system calls each makes per file (the win32 platform counts them when
SETUP_WIN32_CALLS names a file).

    python3 bench_wine.py BENCH_DIR REPEATS DIST CORPUS OUT_DIR

WINE names the loader (scripts/wine-env.sh sets it with the prefix),
ZIPX_EXE the zipx.exe of the same build, SETUP_PASSWORD the archive password.
Exits 1 when a result differs from the corpus."""
import os
import shutil
import statistics
import subprocess
import sys
import time

from bench_tree import files_of, same_tree

bench, repeats, dist, corpus, out_dir = sys.argv[1:6]
repeats = int(repeats)
wine = os.environ["WINE"]


def win(path):
    return "Z:" + path.replace("/", "\\")


def run(cmd, env=None):
    shutil.rmtree(out_dir, ignore_errors=True)
    os.makedirs(out_dir)
    os.sync()
    # Wine's helper processes inherit the first program's pipes and keep
    # them open: its output goes to a file.
    with open(os.path.join(bench, "wine-run.err"), "w+b") as err:
        start = time.perf_counter()
        p = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=err, env=env)
        elapsed = time.perf_counter() - start
        # setup.exe ends 0 when everything was installed; zipx.exe 0 when
        # every member was extracted.
        if p.returncode != 0:
            err.seek(0)
            sys.exit("failed (%d): %s\n%s" % (p.returncode, cmd, err.read().decode()[-2000:]))
    return elapsed


target = os.path.join(out_dir, "Volmarix")
cmds = {
    "zipx.exe": [wine, os.environ["ZIPX_EXE"], "extract", "-P",
                 os.environ["SETUP_PASSWORD"], "-d", win(out_dir), win(os.path.join(dist, "setup.dat"))],
    "setup.exe": [wine, os.path.join(dist, "setup.exe"), "/VERYSILENT", "/SUPPRESSMSGBOXES",
                  "/NOICONS", "/NORUN", "/DIR=" + win(target)],
}
placed = {"zipx.exe": out_dir, "setup.exe": target}
count = len(files_of(corpus))

# One run of each with the calls counted, checked against the corpus.
calls = {}
for name, cmd in cmds.items():
    counts = os.path.join(bench, "calls-%s.txt" % name)
    if os.path.exists(counts):
        os.remove(counts)
    run(cmd, dict(os.environ, SETUP_WIN32_CALLS=win(counts)))
    if not same_tree(placed[name], corpus, ignore=("UNINST",)):
        sys.exit("%s under Wine: what it wrote differs from the corpus" % name)
    with open(counts) as f:
        fields = f.read().split()[1:]
    calls[name] = [(k, int(v)) for k, v in (field.split("=") for field in fields)]

times = {name: [] for name in cmds}
ratios = []
for r in range(repeats):
    order = list(cmds) if r % 2 == 0 else list(cmds)[::-1]
    for name in order:
        times[name].append(run(cmds[name]))
    ratios.append(times["setup.exe"][-1] / times["zipx.exe"][-1])
shutil.rmtree(out_dir, ignore_errors=True)

for name, v in times.items():
    print("%-16s %-6s %-9s %7.3f %7.3f %7.3f" %
          ("installation", "wine", name, min(v), statistics.median(v), max(v)))
ratio = statistics.median(times["setup.exe"]) / statistics.median(times["zipx.exe"])
print("%-16s %-6s setup.exe/zipx.exe = %.2f (rounds %.2f..%.2f)" %
      ("installation", "wine", ratio, min(ratios), max(ratios)))
for name, kinds in calls.items():
    total = sum(v for _, v in kinds)
    print("calls per file, %-9s %.2f: %s" % (name, total / count, ", ".join(
        "%s %.2f" % (k, v / count) for k, v in kinds if v)))
