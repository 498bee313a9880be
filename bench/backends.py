#!/usr/bin/env python3
"""Throughput of both storage backends with concurrent programs.

usage: backends.py --bkreg PATH [--programs 1,4,16] [--count N] [--rounds R]
                   [--work DIR] [--pg-base postgresql://user@host:port]

For each backend (SQLite: a company folder under --work; PostgreSQL: a
database on the server at --pg-base, or on a throw-away server this script
starts with tests/support/pg_server.sh, syncing to disk, when --pg-base is
not given) and each
number P of programs, every round:

- entering: a fresh company with P bank accounts; P bkreg programs run at
  once, program i entering N transactions into account B<i> in its own
  batch P<i> with `bkreg generate --count N --unit 1 --batch P<i>` (one
  unit of work, so one commit, per transaction, as a person enters them).
  Throughput = P * N / wall time.
- register walk: then P programs at once each print the register of their
  account (`bkreg register`, CSV). Throughput = rows / wall time, counting
  the rows the registers show (a program that gives up entering, refused as
  busy, is reported and its rows so far still count).
- posting: then P programs at once each post their own batch (`bkreg post
  P<i>`: its transactions moved to history in units of work of 1,000, the
  general ledger's files shared by all; the history's run header is taken
  by one posting unit at a time). Throughput = transactions posted
  (as the programs report them) / wall time; a program that fails is
  reported.

Every program waits up to 120 s for what another holds (BKREG_WAIT)
rather than give up after the default 5 s. Prints the median of R rounds
per figure. Figures from a shared machine are
noisy; say so when quoting them.
"""
from __future__ import annotations

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(bkreg: str, company: str, *args: str) -> None:
    subprocess.run([bkreg, "--company", company, *args], check=True, stdout=subprocess.DEVNULL)


POSTED = re.compile(r"^Posted batch \S+: (\d+) transactions to history", re.M)


def concurrently(cmds: list[list[str]], output: bool = False) -> tuple[float, int, int, str]:
    """Runs the commands at once: wall time, programs that failed, the lines
    they printed and their output (when `output`)."""
    start = time.monotonic()
    procs = [subprocess.Popen(c, stdout=subprocess.PIPE if output else subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, text=output) for c in cmds]
    texts = []
    failed = 0
    for p in procs:
        if output:
            texts.append(p.stdout.read())
        failed += p.wait() != 0
    text = "".join(texts)
    return time.monotonic() - start, failed, text.count("\n"), text


def one_round(bkreg: str, company: str, programs: int, count: int) -> tuple[float, float, float, int, int]:
    """Entering, walking and posting throughput, the programs that gave up
    entering (a transaction refused as busy ends a generate run) and those
    whose posting failed."""
    run(bkreg, company, "init")
    for i in range(programs):
        run(bkreg, company, "bank", "add", f"B{i + 1}", "--balance", "1000.00")
    # The general ledger's files exist before the programs post at once.
    run(bkreg, company, "gl", "account", "list")
    enter, failed, _, _ = concurrently([[bkreg, "--company", company, "generate", "--bank", f"B{i + 1}", "--count",
                                         str(count), "--unit", "1", "--from", "2024-01-01", "--batch", f"P{i + 1}"]
                                        for i in range(programs)])
    walk, _, lines, _ = concurrently([[bkreg, "--company", company, "--format", "csv", "register", "--bank",
                                       f"B{i + 1}"] for i in range(programs)], output=True)
    rows = lines - 2 * programs  # the heading and the opening balance of each
    post, post_failed, _, out = concurrently([[bkreg, "--company", company, "post", f"P{i + 1}"]
                                              for i in range(programs)], output=True)
    posted = sum(int(n) for n in POSTED.findall(out))
    return rows / enter, rows / walk, posted / post, failed, post_failed


def drop_database(base: str, name: str) -> None:
    subprocess.run(["psql", base + "/postgres", "-qc", f'DROP DATABASE IF EXISTS "{name}" WITH (FORCE)'],
                   check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--bkreg", required=True)
    ap.add_argument("--programs", default="1,4,16")
    ap.add_argument("--count", type=int, default=500)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--work", default="")
    ap.add_argument("--pg-base", default="")
    a = ap.parse_args()
    bkreg = os.path.abspath(a.bkreg)
    work = a.work or tempfile.mkdtemp(prefix="bk-bench-backends-")
    os.makedirs(work, exist_ok=True)
    # Run as root, the throw-away server runs as "postgres", which must reach
    # its data folder inside the work folder.
    os.chmod(work, 0o755)
    os.environ["BKREG_LOCAL_DIR"] = os.path.join(work, "local")
    # Programs wait their turn for what another holds (the history's run
    # header while another posts, SQLite's write lock) instead of giving up
    # after the default 5 s: throughput counts the work, not the refusals.
    os.environ["BKREG_WAIT"] = "120"
    server_dir = ""
    base = a.pg_base
    here = os.path.dirname(os.path.abspath(__file__))
    if not base:
        server_dir = os.path.join(work, "pgserver")
        os.environ["PG_FSYNC"] = "on"  # committed means on disk, as SQLite's synchronous=FULL
        subprocess.run(["sh", os.path.join(here, "..", "tests", "support", "pg_server.sh"), "start", server_dir],
                       check=True)
        with open(os.path.join(server_dir, "server.env")) as f:
            base = f.read().strip()
        if not base.startswith("postgres"):
            print(f"PostgreSQL figures skipped: {base}")
            base = ""
    try:
        print(f"{'backend':<10} {'programs':>8} {'enter tx/s':>12} {'walk rows/s':>12} {'post tx/s':>12}   "
              f"({a.rounds} rounds, "
              f"{a.count} transactions per program, medians; machine shared)")
        for backend in ["sqlite", "postgresql"]:
            if backend == "postgresql" and not base:
                continue
            for p in [int(x) for x in a.programs.split(",")]:
                enters, walks, posts, gave_up, post_failed = [], [], [], 0, 0
                for r in range(a.rounds):
                    name = f"bench_{p}_{r}_{os.getpid()}"
                    if backend == "sqlite":
                        company = os.path.join(work, name)
                        shutil.rmtree(company, ignore_errors=True)
                    else:
                        company = f"{base}/{name}"
                        drop_database(base, name)
                    e, w, po, f, pf = one_round(bkreg, company, p, a.count)
                    gave_up += f
                    post_failed += pf
                    enters.append(e)
                    walks.append(w)
                    posts.append(po)
                    if backend == "sqlite":
                        shutil.rmtree(company, ignore_errors=True)
                    else:
                        drop_database(base, name)
                note = f"   ({gave_up} of {p * a.rounds} entering programs gave up: busy)" if gave_up else ""
                if post_failed:
                    note += f"   ({post_failed} of {p * a.rounds} posting programs failed)"
                print(f"{backend:<10} {p:>8} {statistics.median(enters):>12.0f} {statistics.median(walks):>12.0f} "
                      f"{statistics.median(posts):>12.0f}{note}", flush=True)
    finally:
        if server_dir:
            subprocess.run(["sh", os.path.join(here, "..", "tests", "support", "pg_server.sh"), "stop", server_dir],
                           check=False)
    return 0


if __name__ == "__main__":
    sys.exit(main())
