#!/usr/bin/env python3
"""Programs posting different batches at once all post them: each takes
the general ledger's run in a moment of its own, never the run another
program took, and waits (--wait) rather than fail while another takes one.

P programs each enter N transactions for the general ledger into a batch
of their own, then all post at once. Every `post` must exit 0, every batch
be wholly in history with its lines posted, no general-ledger run hold
lines of two batches, no run/sequence be used twice, and `verify` be clean.
Then, on a second company where nothing has taken a general-ledger run yet
(its batches made by `generate`, the interface off) and the general ledger's
files are not yet made, 16 programs (or P if more) post at once: the first run's counter
and the ledger's files are made by whichever program comes first, and every
`post` must still exit 0.

  post_together.py --bkreg PATH --dump PATH [--company DIR | --server-settings FILE]
                   [--programs P] [--count N] [--work DIR]
"""

import argparse
import collections
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bkrun import Bkreg, dump, server_company  # noqa: E402


def first_posts(a, work):
    """Programs posting at once on a company where they make the first
    general-ledger run and the ledger's files: the problems found."""
    if a.server_settings:
        company = server_company(a.server_settings, "post_first", work)
    else:
        company = os.path.join(work, "company-first")
    bk = Bkreg(os.path.abspath(a.bkreg), company)
    bk.must("init")
    programs = max(a.programs, 16)  # enough for two to meet at the first run
    for p in range(1, programs + 1):
        bk.must("bank", "add", "F%d" % p, "--balance", "10000.00")
        bk.must("generate", "--bank", "F%d" % p, "--count", "3", "--from", "2026-02-02", "--batch", "F%d" % p)
    procs = [subprocess.Popen([bk.program, "--company", company, "post", "F%d" % p], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, env=bk.env) for p in range(1, programs + 1)]
    bad = []
    for p, proc in enumerate(procs, 1):
        _, err = proc.communicate(timeout=600)
        if proc.returncode != 0:
            bad.append("first posts: post F%d: exit %d: %s" % (p, proc.returncode, err.strip()))
    return bad


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bkreg", required=True)
    ap.add_argument("--dump", required=True)
    ap.add_argument("--company")
    ap.add_argument("--server-settings")
    ap.add_argument("--programs", type=int, default=6)
    ap.add_argument("--count", type=int, default=8)
    ap.add_argument("--work")
    a = ap.parse_args()
    work = a.work or tempfile.mkdtemp(prefix="bk-post-together-")
    os.makedirs(work, exist_ok=True)
    if a.server_settings:
        company = server_company(a.server_settings, "post_together", work)
    else:
        company = a.company or os.path.join(work, "company")
        os.environ.setdefault("BKREG_LOCAL_DIR", os.path.join(work, "local"))
    bk = Bkreg(os.path.abspath(a.bkreg), company)
    bk.must("init")
    for account in ["1000", "6000"]:
        bk.must("gl", "account", "add", account)
    bk.must("gl", "period", "add", "", "--year", "2026")
    bk.must("gl", "interface", "on")
    for p in range(1, a.programs + 1):
        bk.must("bank", "add", "T%d" % p, "--balance", "10000.00", "--cash-account", "1000")
        for k in range(a.count):
            bk.must("enter", "check", "--bank", "T%d" % p, "--amount", "%d.00" % (k + 1), "--check", str(100 + k),
                    "--date", "2026-02-02", "--account", "6000", "--batch", "T%d" % p)
    procs = [subprocess.Popen([bk.program, "--company", company, "post", "T%d" % p], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, env=bk.env) for p in range(1, a.programs + 1)]
    bad = []
    for p, proc in enumerate(procs, 1):
        out, err = proc.communicate(timeout=600)
        if proc.returncode != 0:
            bad.append("post T%d: exit %d: %s" % (p, proc.returncode, err.strip()))
    rows = dump(a.dump, company)
    runs = collections.defaultdict(set)
    for d in rows:
        if d["kind"] == "tran" and d["file"] != "history":
            bad.append("%s run %d sequence %d was not posted" % (d["bank"], d["run"], d["seq"]))
        if d["kind"] == "gl":
            runs[d["run"]].add(d["batch"])
            if d["file"] != "posted":
                bad.append("general-ledger line of batch %s waits" % d["batch"])
    bad += ["general-ledger run %d holds lines of batches %s" % (r, sorted(b)) for r, b in runs.items() if len(b) > 1]
    seen = collections.Counter((d["run"], d["seq"]) for d in rows if d["kind"] == "gl")
    bad += ["general-ledger run %d sequence %d used %d times" % (k[0], k[1], n) for k, n in seen.items() if n > 1]
    if sorted(b for s in runs.values() for b in s) != sorted("T%d" % p for p in range(1, a.programs + 1)):
        bad.append("batches with lines: %s" % sorted(b for s in runs.values() for b in s))
    r = bk.run("verify")
    if r.rc != 0:
        bad.append("verify: exit %d: %s %s" % (r.rc, r.out.strip()[-1000:], r.err.strip()))
    bad += first_posts(a, work)
    for b in bad:
        print("FAIL: " + b)
    print("%d programs posted %d batches at once: %d problems" % (a.programs, a.programs, len(bad)))
    if bad and not a.work:
        print("companies kept in " + work)
    elif not a.work:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
