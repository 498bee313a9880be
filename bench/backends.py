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
  once, program i entering N transactions into account B<i> with
  `bkreg generate --count N --unit 1` (one unit of work, so one commit, per
  transaction, as a person enters them). Throughput = P * N / wall time.
- register walk: then P programs at once each print the register of their
  account (`bkreg register`, output discarded). Throughput = rows / wall time.

Prints the median of R rounds per figure. Figures from a shared machine are
noisy; say so when quoting them.
"""
from __future__ import annotations

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(bkreg: str, company: str, *args: str) -> None:
    subprocess.run([bkreg, "--company", company, *args], check=True, stdout=subprocess.DEVNULL)


def concurrently(cmds: list[list[str]]) -> float:
    start = time.monotonic()
    procs = [subprocess.Popen(c, stdout=subprocess.DEVNULL) for c in cmds]
    for p in procs:
        if p.wait() != 0:
            raise SystemExit(f"failed: {' '.join(p.args)}")
    return time.monotonic() - start


def one_round(bkreg: str, company: str, programs: int, count: int) -> tuple[float, float]:
    run(bkreg, company, "init")
    for i in range(programs):
        run(bkreg, company, "bank", "add", f"B{i + 1}", "--balance", "1000.00")
    enter = concurrently([[bkreg, "--company", company, "generate", "--bank", f"B{i + 1}", "--count", str(count),
                           "--unit", "1", "--from", "2024-01-01"] for i in range(programs)])
    walk = concurrently([[bkreg, "--company", company, "register", "--bank", f"B{i + 1}"] for i in range(programs)])
    rows = programs * count
    return rows / enter, rows / walk


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
    os.environ["BKREG_LOCAL_DIR"] = os.path.join(work, "local")
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
        print(f"{'backend':<10} {'programs':>8} {'enter tx/s':>12} {'walk rows/s':>12}   ({a.rounds} rounds, "
              f"{a.count} transactions per program, medians; machine shared)")
        for backend in ["sqlite", "postgresql"]:
            if backend == "postgresql" and not base:
                continue
            for p in [int(x) for x in a.programs.split(",")]:
                enters, walks = [], []
                for r in range(a.rounds):
                    name = f"bench_{p}_{r}_{os.getpid()}"
                    if backend == "sqlite":
                        company = os.path.join(work, name)
                        shutil.rmtree(company, ignore_errors=True)
                    else:
                        company = f"{base}/{name}"
                        drop_database(base, name)
                    e, w = one_round(bkreg, company, p, a.count)
                    enters.append(e)
                    walks.append(w)
                    if backend == "sqlite":
                        shutil.rmtree(company, ignore_errors=True)
                    else:
                        drop_database(base, name)
                print(f"{backend:<10} {p:>8} {statistics.median(enters):>12.0f} {statistics.median(walks):>12.0f}",
                      flush=True)
    finally:
        if server_dir:
            subprocess.run(["sh", os.path.join(here, "..", "tests", "support", "pg_server.sh"), "stop", server_dir],
                           check=False)
    return 0


if __name__ == "__main__":
    sys.exit(main())
