"""Comparison of an extracted or installed tree with the corpus it came from,
shared by the benchmark scripts."""
import filecmp
import os


def files_of(root, ignore=()):
    """The files below root, as paths relative to it (top-level names in
    ignore left out)."""
    out = set()
    for d, _, fs in os.walk(root):
        for f in fs:
            rel = os.path.relpath(os.path.join(d, f), root)
            if rel.split(os.sep)[0] not in ignore:
                out.add(rel)
    return out


def same_tree(got, want, ignore=()):
    """Whether folder got holds exactly the files of want, byte for byte
    (top-level names of got in ignore left out)."""
    names = files_of(want)
    return files_of(got, ignore) == names and all(
        filecmp.cmp(os.path.join(got, n), os.path.join(want, n), shallow=False) for n in names)
