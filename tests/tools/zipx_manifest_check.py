#!/usr/bin/env python3
"""Extracts the archives of a test data set with zipx and compares every
member of the checked methods with the SHA-256 of its correct content.

usage: zipx_manifest_check.py ZIPX TESTDATA_DIR WORK_DIR METHOD[;METHOD...]

The archives are read where they lie, split sets included (zipx finds their
.z01/.z02/... segments itself). Each archive must list and extract with
status 0, and every wanted member must be found under the name its writer
stored (UTF-8 when general-purpose bit 11 says so, else the OEM code page;
what the ANSI code page 1251 cannot hold becomes "_"). Exit status 0 when
every wanted member was found with the right content."""
import collections, csv, hashlib, os, subprocess, sys

zipx, testdata, work, methods = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4].split(';')
rows = collections.defaultdict(list)
with open(os.path.join(testdata, 'MANIFEST.tsv'), newline='') as f:
    for row in csv.DictReader(f, delimiter='\t'):
        rows[row['archive']].append(row)


def extracted_path(folder, row):
    """Where zipx puts a member: its stored name in the ANSI code page,
    written as a UTF-8 file name."""
    name = row['member_name']
    raw = bytes.fromhex(name[4:]) if name.startswith('hex:') else name.encode('latin-1')
    text = raw.decode('utf-8' if int(row['flags'], 16) & 0x0800 else 'cp866')
    text = ''.join(c if c.encode('cp1251', errors='ignore') else '_' for c in text)
    return os.path.join(folder, *text.replace('\\', '/').split('/'))


failures, wanted_total, checked = [], 0, 0
for n, (archive, members) in enumerate(sorted(rows.items())):
    wanted = [m for m in members if m['method'] in methods and m['sha256_content'] != '-']
    if not wanted:
        continue
    wanted_total += len(wanted)
    source = os.path.join(testdata, archive)
    out = os.path.join(work, str(n))
    listing = subprocess.run([zipx, 'list', source], capture_output=True)
    if listing.returncode != 0:
        failures.append('%s: list: status %d %s' % (archive, listing.returncode, listing.stderr))
        continue
    cmd = [zipx, 'extract', '-d', out]
    if members[0]['password']:
        cmd += ['-P', members[0]['password']]
    run = subprocess.run(cmd + [source], capture_output=True)
    if run.returncode != 0:
        failures.append('%s: extract: status %d %s' % (archive, run.returncode, run.stderr))
    for m in wanted:
        path = extracted_path(out, m)
        try:
            with open(path, 'rb') as f:
                digest = hashlib.sha256(f.read()).hexdigest()
        except OSError as e:
            failures.append('%s: %s' % (archive, e))
            continue
        if digest != m['sha256_content']:
            failures.append('%s: %s: wrong content' % (archive, path))
            continue
        checked += 1

print('checked %d of %d members' % (checked, wanted_total))
for f in failures:
    print(f)
sys.exit(1 if failures or checked != wanted_total or checked == 0 else 0)
