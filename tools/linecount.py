#!/usr/bin/env python3
"""Test and code line counts per folder, as a Markdown table.

Code is every *.cc, *.h and *.py file whose name (without its extension) does
not end in "_test"; tests are *_test.cc and *_test.py, the tests' support files
(*_test_support.cc and .h) and every file under tests/. Lines are counted as `wc -l` counts them
(blank and comment lines included), or with --statements only the lines that
hold code: no blank lines, no C++ comment lines (`//` lines and `/* */`
blocks) and no Python `#` lines. A folder is the
subsystem folder a file sits in: the first path component, or the first two
under framework/, tools/ and tests/. Build folders (build*) and hidden folders
are skipped.

    tools/linecount.py [--root DIR] [--rev COMMIT] [--before COMMIT] [--statements]

With --rev the files of that commit are counted (read through git), so an
older state can be counted without checking it out. With --before, each
folder's counts at that commit stand beside the counted ones.
"""
import argparse
import collections
import os
import re
import subprocess
import sys

TWO_LEVEL = {"framework", "tools", "tests"}


def kind(path):
    base = os.path.basename(path)
    stem, ext = os.path.splitext(base)
    if ext not in (".cc", ".h", ".py"):
        return None
    if path.split("/")[0] == "tests" or stem.endswith("_test") or stem.endswith("_test_support"):
        return "test"
    return "code"


def folder(path):
    parts = path.split("/")
    if len(parts) == 1:
        return "."
    if parts[0] in TWO_LEVEL and len(parts) > 2:
        return parts[0] + "/" + parts[1]
    return parts[0]


def skipped(path):
    first = path.split("/")[0]
    return first.startswith("build") or any(p.startswith(".") for p in path.split("/")[:-1])


BLOCK_COMMENT = re.compile(rb"/\*.*?\*/", re.S)


def lines_of(path, data, statements):
    """The file's line count: every line, or with `statements` the lines holding code."""
    if not statements:
        return data.count(b"\n")
    if path.endswith(".py"):
        lead = b"#"
    else:
        data = BLOCK_COMMENT.sub(b"", data)
        lead = b"//"
    return sum(1 for line in data.split(b"\n") if line.strip() and not line.strip().startswith(lead))


def files_on_disk(root, statements):
    for dirpath, dirnames, filenames in os.walk(root):
        rel = os.path.relpath(dirpath, root)
        dirnames[:] = [d for d in dirnames
                       if not d.startswith(".") and not (rel == "." and d.startswith("build"))]
        for f in filenames:
            path = os.path.normpath(os.path.join(rel, f))
            with open(os.path.join(dirpath, f), "rb") as fh:
                yield path, lines_of(path, fh.read(), statements)


def files_at_rev(root, rev, statements):
    names = subprocess.run(["git", "-C", root, "ls-tree", "-r", "--name-only", rev],
                           check=True, capture_output=True, text=True).stdout.split("\n")
    for path in names:
        if path and kind(path) and not skipped(path):
            blob = subprocess.run(["git", "-C", root, "show", f"{rev}:{path}"],
                                  check=True, capture_output=True).stdout
            yield path, lines_of(path, blob, statements)


def count(root, rev, statements):
    source = files_at_rev(root, rev, statements) if rev else files_on_disk(root, statements)
    counts = collections.defaultdict(lambda: {"code": 0, "test": 0})
    for path, lines in source:
        k = kind(path)
        if k and not skipped(path):
            counts[folder(path)][k] += lines
    return counts


def ratio(c):
    return f"{c['test'] / c['code']:.2f}" if c["code"] else "-"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--root", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    ap.add_argument("--rev", help="count the files of this commit instead of the work tree")
    ap.add_argument("--before", help="show the counts at this commit beside")
    ap.add_argument("--statements", action="store_true",
                    help="count only lines holding code (no blank or comment lines)")
    args = ap.parse_args()
    now = count(args.root, args.rev, args.statements)
    before = count(args.root, args.before, args.statements) if args.before else None
    names = sorted(set(now) | set(before or {}))
    zero = {"code": 0, "test": 0}
    total = {"code": 0, "test": 0}
    total_before = {"code": 0, "test": 0}
    if before is None:
        print("| Folder | Code lines | Test lines | Tests / code |")
        print("| --- | ---: | ---: | ---: |")
    else:
        print("| Folder | Code before | Tests before | Ratio before | Code | Tests | Ratio |")
        print("| --- | ---: | ---: | ---: | ---: | ---: | ---: |")
    for name in names:
        c = now.get(name, zero)
        for k in total:
            total[k] += c[k]
        if before is None:
            print(f"| {name} | {c['code']} | {c['test']} | {ratio(c)} |")
        else:
            b = before.get(name, zero)
            for k in total_before:
                total_before[k] += b[k]
            print(f"| {name} | {b['code']} | {b['test']} | {ratio(b)} | {c['code']} | {c['test']} | {ratio(c)} |")
    if before is None:
        print(f"| **all** | {total['code']} | {total['test']} | {ratio(total)} |")
    else:
        print(f"| **all** | {total_before['code']} | {total_before['test']} | {ratio(total_before)} | "
              f"{total['code']} | {total['test']} | {ratio(total)} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
