#!/usr/bin/env python3
"""Extracts the shared test archives with zipx and compares every extracted
member of the checked methods with the SHA-256 of its correct content.

usage: zipx_manifest_check.py ZIPX TESTDATA_DIR WORK_DIR METHOD[;METHOD...]

Split sets are copied to the .001/.002 names that the default volume request
asks for (the last segment also under the next number, since it is asked for
again once an earlier volume was read). Exit status 0 when all match."""
import collections, csv, hashlib, os, shutil, subprocess, sys

zipx, testdata, work, methods = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4].split(';')
rows = collections.defaultdict(list)
with open(os.path.join(testdata, 'MANIFEST.tsv'), newline='') as f:
    for row in csv.DictReader(f, delimiter='\t'):
        rows[row['archive']].append(row)

failures, checked = [], 0
for n, (archive, members) in enumerate(sorted(rows.items())):
    wanted = [m for m in members if m['method'] in methods and m['sha256_content'] != '-']
    if not wanted:
        continue
    folder = os.path.join(work, str(n))
    os.makedirs(folder)
    source = os.path.join(testdata, archive)
    target = os.path.join(folder, os.path.basename(archive))
    shutil.copy(source, target)
    notes = members[0]['notes']
    if 'split set:' in notes:
        segments = notes.split('split set:')[1].split('|')[0].strip().split(',')
        stem = os.path.splitext(target)[0]
        for i, seg in enumerate(segments, 1):
            shutil.copy(os.path.join(os.path.dirname(source), seg.strip()), '%s.%03d' % (stem, i))
        shutil.copy(source, '%s.%03d' % (stem, len(segments) + 1))
    password = members[0]['password']
    listing = subprocess.run([zipx, 'list', target], capture_output=True, text=True,
                             errors='replace')
    if listing.returncode != 0:
        failures.append('%s: list failed: %s' % (archive, listing.stderr.strip()))
        continue
    cmd = [zipx, 'extract', '-d', os.path.join(folder, 'out')]
    if password:
        cmd += ['-P', password]
    subprocess.run(cmd + [target], capture_output=True)
    for line in listing.stdout.splitlines():
        index, method, enc, csize, usize, crc, date, name = line.split('\t')
        match = [m for m in wanted
                 if int(m['crc32_stored'], 16) == int(crc, 16) and int(m['usize']) == int(usize)]
        if not match or name.endswith('\\'):
            continue
        checked += 1
        path = os.path.join(folder, 'out', *name.split('\\'))
        try:
            with open(path, 'rb') as f:
                digest = hashlib.sha256(f.read()).hexdigest()
        except OSError as e:
            failures.append('%s: %s: %s' % (archive, name, e))
            continue
        if digest != match[0]['sha256_content']:
            failures.append('%s: %s: wrong content' % (archive, name))

print('checked %d members' % checked)
for f in failures:
    print(f)
sys.exit(1 if failures or checked == 0 else 0)
