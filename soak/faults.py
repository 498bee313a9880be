#!/usr/bin/env python3
"""Server faults: programs work on a company on a PostgreSQL server of the
driver's own while the server is restarted (fast and immediate shutdown),
their connections are ended by the server (pg_terminate_backend) and some
of their statements time out (statement_timeout); afterwards nothing may be
lost, doubled or half-written.

Each program works on a bank account of its own, in cycles: it enters
checks into a batch of its own (`enter`), posts the batch (`post`, with the
general ledger's lines), clears half of the checks one by one (`clear`) and
the other half through a bank statement (`statement import`). A command hit
by a fault must end with status 2 or 3 and a message (never a signal, never
a hang: each has --timeout seconds); the program then runs the same command
again until it is done: a check found already entered, a batch found
already posted, are the rerun's proof that the first run had committed.

First, one program's connection is ended while it waits for a lock
another session holds on the general ledger's accounts: it must fail (2),
not report the account missing (1). Afterwards, with no program running:
  - `bkreg verify` is clean;
  - the server holds no advisory (record) lock: the dead connections' ended;
  - every check is there exactly once, in history with its batch posted,
    cleared at its amount; no register key or general-ledger run/sequence
    is used twice; no general-ledger line of a posted batch waits;
  - each account's register and bank balances are what the entries and
    clearings give.
It prints programs, operations, reruns, restarts, connections killed and
statements timed out, and exits 0 when every check holds (77: no server).

  faults.py --bkreg PATH --dump PATH --server-dir DIR [--programs N]
            [--seconds S] [--every S] [--work DIR] [--seed N] [--keep]
"""

import argparse
import collections
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bkrun import Bkreg, cents, dump, money  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PG_SERVER = os.path.join(HERE, "..", "tests", "support", "pg_server.sh")
OPENING = 100000_00
DAY = "2026-01-05"
STATEMENT_DAY = "2026-12-31"
ENTRIES = 4  # checks per batch


class Stats:
    def __init__(self):
        self.lock = threading.Lock()
        self.counts = collections.Counter()
        self.problems = []

    def add(self, what, n=1):
        with self.lock:
            self.counts[what] += n

    def problem(self, text):
        with self.lock:
            self.problems.append(text)


class Program(threading.Thread):
    """One program's cycles on bank F<n>; what it did is kept for the checks."""

    def __init__(self, n, bk, stats, stop, args, rng):
        super().__init__(name="F%d" % n)
        self.n = n
        self.bank = "F%d" % n
        self.bk = bk.with_name(self.bank)
        self.stats = stats
        self.stop = stop
        self.args = args
        self.rng = rng
        self.checks = {}      # number -> cents (positive)
        self.batch_of = {}    # number -> batch
        self.posted = set()   # batches
        self.cleared = set()  # check numbers

    def until_done(self, op, args, already=None):
        """Runs the command until it is done; `already` matches the message
        of a rerun's refusal that proves an earlier run had done the work."""
        rerun = False
        deadline = time.monotonic() + self.args.seconds + 180
        while True:
            env = None
            if self.rng.random() < self.args.timeout_share:
                env = {"PGOPTIONS": "-c statement_timeout=%dms" % self.rng.choice([1, 2, 5])}
            try:
                r = self.bk.run(*args, env=env, timeout=self.args.timeout)
            except subprocess.TimeoutExpired:
                self.stats.problem("%s %s: no answer in %d s (a hang)" % (self.bank, " ".join(args),
                                                                          self.args.timeout))
                return False
            if r.rc == 0:
                self.stats.add("operations")
                self.stats.add(op)
                return True
            if r.rc == 1 and rerun and already and re.search(already, r.err):
                self.stats.add("operations")
                self.stats.add(op)
                self.stats.add("reruns found done")
                return True
            if r.rc in (2, 3) and r.message:
                self.stats.add("runs hit by a fault")
                if env:
                    self.stats.add("runs with a statement timeout that failed")
                rerun = True
                if time.monotonic() > deadline:
                    self.stats.problem("%s %s: still failing after the faults ended: %d %s" % (
                        self.bank, " ".join(args), r.rc, r.message))
                    return False
                self.stats.add("reruns")
                time.sleep(self.rng.uniform(0.05, 0.4))
                continue
            self.stats.problem("%s %s: exit %d (rerun %s): %s" % (self.bank, " ".join(args), r.rc, rerun,
                                                                  r.err.strip()[-600:]))
            return False

    def run(self):
        cycle = 0
        while not self.stop.is_set():
            cycle += 1
            batch = "F%dB%d" % (self.n, cycle)
            numbers = []
            for k in range(ENTRIES):
                number = cycle * 100 + k + 1
                amount = self.rng.randint(100, 50000)
                if not self.until_done("enter", ["enter", "check", "--bank", self.bank, "--amount", money(amount),
                                                 "--check", str(number), "--date", DAY, "--account", "6000",
                                                 "--desc", "%s check %d" % (self.bank, number), "--batch", batch],
                                       already=r"already|duplicate|used"):
                    return
                self.checks[number] = amount
                self.batch_of[number] = batch
                numbers.append(number)
            if not self.until_done("post", ["post", batch], already=r"no batch|posted|nothing"):
                return
            self.posted.add(batch)
            half = ENTRIES // 2
            for number in numbers[:half]:
                if not self.until_done("clear", ["clear", self.bank, "--check", str(number), "--date", DAY]):
                    return
                self.cleared.add(number)
            path = os.path.join(self.args.work, "%s-%d.csv" % (self.bank, cycle))
            with open(path, "w") as f:
                f.write("date,amount,check,memo\n")
                for number in numbers[half:]:
                    f.write("%s,-%s,%d,check %d\n" % (DAY, money(self.checks[number]), number, number))
            ending = OPENING - sum(self.checks[c] for c in list(self.cleared) + numbers[half:])
            mapping = "date=date;amount=amount;check=check;memo=memo;statement_date=%s;ending_balance=%s" % (
                STATEMENT_DAY, money(ending))
            if not self.until_done("statement import", ["statement", "import", self.bank, path, "--format", "csv",
                                                        "--mapping", mapping]):
                return
            self.cleared.update(numbers[half:])


def psql(base, sql):
    p = subprocess.run(["psql", "-XAtq", base + "/postgres", "-c", sql], capture_output=True, text=True)
    return p.stdout.strip() if p.returncode == 0 else None


def injector(args, base, database, stats, stop, rng):
    """Restarts the server and ends the programs' connections until `stop`."""
    while not stop.wait(rng.uniform(args.every * 0.5, args.every * 1.5)):
        fault = rng.choice(["fast", "immediate", "kill", "kill"])
        if fault == "kill":
            n = psql(base, "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                           "WHERE datname = '%s' AND application_name LIKE 'bkreg %%'" % database)
            stats.add("connections killed", int(n or 0))
            stats.add("kill rounds")
        else:
            p = subprocess.run(["sh", PG_SERVER, "restart", args.server_dir, fault], capture_output=True, text=True)
            if p.returncode != 0:
                stats.problem("the server did not restart (%s): %s" % (fault, p.stderr.strip()))
                return
            stats.add("restarts (%s)" % fault)


def ended_while_waiting(bk, base, database):
    """A program whose connection the server ends while it waits for a lock
    (another session holds the general ledger's accounts) fails with status
    2, never reports the account missing (status 1): a read that failed is
    not a refusal. Returns what went wrong, if anything."""
    holder = subprocess.Popen(["psql", "-XAtq", "%s/%s" % (base, database)], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    holder.stdin.write('BEGIN;\nLOCK TABLE "f_GLM_1_r1" IN ACCESS EXCLUSIVE MODE;\nSELECT 1;\n')
    holder.stdin.flush()
    holder.stdout.readline()  # the lock is held
    program = subprocess.Popen([bk.program, "--company", bk.company, "enter", "check", "--bank", "F1", "--amount",
                                "1.00", "--check", "99", "--date", DAY, "--account", "6000", "--batch", "WAIT"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=bk.env)
    ended = "0"
    deadline = time.monotonic() + 30
    while ended == "0" and time.monotonic() < deadline and program.poll() is None:
        ended = psql(base, "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE datname = '%s' "
                           "AND application_name LIKE 'bkreg %%' AND wait_event_type = 'Lock'" % database) or "0"
        time.sleep(0.05)
    out, err = program.communicate(timeout=120)
    holder.stdin.write("ROLLBACK;\n")
    holder.stdin.close()
    holder.wait(timeout=60)
    if ended == "0":
        return ["the waiting program was not found to end (exit %d: %s)" % (program.returncode, err.strip())]
    if program.returncode != 2:
        return ["a program whose connection ended while it waited: exit %d, not 2: %s" % (program.returncode,
                                                                                          err.strip())]
    return []


def check(args, bk, programs, base, database):
    bad = []
    r = bk.run("verify")
    if r.rc != 0:
        bad.append("verify: exit %d: %s%s" % (r.rc, r.out.strip()[-2000:], r.err.strip()))
    held = psql(base, "SELECT count(*) FROM pg_locks l JOIN pg_database d ON d.oid = l.database "
                      "WHERE l.locktype = 'advisory' AND d.datname = '%s'" % database)
    if held != "0":
        bad.append("the server holds %s advisory locks with no program running" % held)
    dumped = dump(args.dump, bk.company)
    trans = [d for d in dumped if d["kind"] == "tran"]
    for f in ("register", "history"):
        seen = collections.Counter((d["bank"], d["run"], d["seq"]) for d in trans if d["file"] == f)
        bad += ["%s: %s run %d sequence %d used %d times" % (f, k[0], k[1], k[2], n) for k, n in seen.items() if n > 1]
    for f in ("waiting", "posted"):
        seen = collections.Counter((d["run"], d["seq"]) for d in dumped if d["kind"] == "gl" and d["file"] == f)
        bad += ["general ledger %s: run %d sequence %d used %d times" % (f, k[0], k[1], n)
                for k, n in seen.items() if n > 1]
    bad += ["details of %s run %d sequence %d left without their transaction" % (d["bank"], d["run"], d["seq"])
            for d in dumped if d["kind"] == "orphan"]
    posted = set()
    for p in programs:
        posted |= p.posted
        rows = collections.defaultdict(list)
        for d in trans:
            if d["bank"] == p.bank:
                rows[int(d["check"] or 0)].append(d)
        for number, amount in p.checks.items():
            found = rows.pop(number, [])
            if len(found) != 1:
                bad.append("%s check %d is there %d times" % (p.bank, number, len(found)))
                continue
            d = found[0]
            if d["cents"] != -amount:
                bad.append("%s check %d: entered %s, found %d" % (p.bank, number, money(amount), d["cents"]))
            if p.batch_of[number] in p.posted and (d["file"] != "history" or not d["posted"]):
                bad.append("%s check %d: its batch was posted, it is in the %s" % (p.bank, number, d["file"]))
            if number in p.cleared and (d["state"] != 2 or d["cleared_cents"] != -amount):
                bad.append("%s check %d: cleared at %s, found state %d cleared %d" % (
                    p.bank, number, money(amount), d["state"], d["cleared_cents"]))
        bad += ["%s check %d: there, but never entered: %s" % (p.bank, n, r) for n, r in rows.items() if n]
        for kind, want in (("register", OPENING - sum(p.checks.values())),
                           ("bank", OPENING - sum(p.checks[c] for c in p.cleared))):
            r = bk.run("--format", "json", "balance", p.bank, "--kind", kind, "--as-of", "2099-12-31")
            got = None
            if r.rc == 0:
                row = r.json()[0]
                got = cents(next(v for k, v in row.items() if k.lower() in ("balance", "amount")))
            if got != want:
                bad.append("%s balance of %s: bkreg says %s, the entries give %s" % (kind, p.bank, got, money(want)))
    bad += ["batch %s was posted, but its general-ledger line %s waits" % (d["batch"], d)
            for d in dumped if d["kind"] == "gl" and d["file"] == "waiting" and d["batch"] in posted]
    return bad


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bkreg", required=True)
    ap.add_argument("--dump", required=True, help="bk_company_dump")
    ap.add_argument("--server-dir", required=True, help="folder of the driver's own server (made anew)")
    ap.add_argument("--programs", type=int, default=4)
    ap.add_argument("--seconds", type=float, default=30, help="how long faults go on")
    ap.add_argument("--every", type=float, default=2.0, help="mean seconds between faults")
    ap.add_argument("--timeout", type=int, default=120, help="seconds a command may take before it is a hang")
    ap.add_argument("--timeout-share", type=float, default=0.05,
                    help="share of the commands run with a statement timeout of a few milliseconds")
    ap.add_argument("--work")
    ap.add_argument("--seed", type=int, default=int(time.time()))
    ap.add_argument("--keep", action="store_true")
    args = ap.parse_args()
    args.bkreg = os.path.abspath(args.bkreg)
    args.dump = os.path.abspath(args.dump)
    temporary = not args.work
    args.work = args.work or tempfile.mkdtemp(prefix="bk-faults-")
    os.makedirs(args.work, exist_ok=True)
    rng = random.Random(args.seed)
    print("faults: seed %d, %d programs, %g s of faults, work in %s" % (args.seed, args.programs, args.seconds,
                                                                        args.work), flush=True)
    subprocess.run(["sh", PG_SERVER, "start", args.server_dir], check=True, stdout=subprocess.DEVNULL)
    try:
        with open(os.path.join(args.server_dir, "server.env")) as f:
            base = f.readline().strip()
        if not base.startswith("postgres"):
            print("skipped: %s" % base, flush=True)
            return 77
        database = "faults_%d" % os.getpid()
        os.environ["BKREG_LOCAL_DIR"] = os.path.join(args.work, "local")
        log = open(os.path.join(args.work, "faults.log"), "w")
        bk = Bkreg(args.bkreg, "%s/%s" % (base, database), wait=10, log=log)
        bk.must("init")
        for account in ["1000", "6000"]:
            bk.must("gl", "account", "add", account)
        bk.must("gl", "period", "add", "", "--year", "2026")
        bk.must("gl", "interface", "on")
        for n in range(1, args.programs + 1):
            bk.must("bank", "add", "F%d" % n, "--balance", money(OPENING), "--cash-account", "1000")
        stats = Stats()
        for problem in ended_while_waiting(bk, base, database):
            stats.problem(problem)
        stop = threading.Event()
        programs = [Program(n, bk, stats, stop, args, random.Random(rng.random()))
                    for n in range(1, args.programs + 1)]
        faults_done = threading.Event()
        inj = threading.Thread(target=injector, args=(args, base, database, stats, faults_done, rng))
        start = time.monotonic()
        for p in programs:
            p.start()
        inj.start()
        time.sleep(args.seconds)
        faults_done.set()
        inj.join()
        stop.set()  # programs finish the cycle they are in, without faults
        for p in programs:
            p.join()
        took = time.monotonic() - start
        bad = stats.problems + check(args, bk, programs, base, database)
        c = stats.counts
        print("programs %d, %.0f s; operations done %d (%s); runs hit by a fault %d, reruns %d (%d found the work "
              "done); restarts %d fast, %d immediate; connections killed %d in %d rounds; statement timeouts that "
              "failed a run %d; checks %d, batches posted %d" % (
                  args.programs, took, c["operations"],
                  ", ".join("%s %d" % (k, c[k]) for k in ("enter", "post", "clear", "statement import")),
                  c["runs hit by a fault"], c["reruns"], c["reruns found done"], c["restarts (fast)"],
                  c["restarts (immediate)"], c["connections killed"], c["kill rounds"],
                  c["runs with a statement timeout that failed"], sum(len(p.checks) for p in programs),
                  sum(len(p.posted) for p in programs)), flush=True)
        for b in bad:
            print("FAIL: " + b)
        print("lost or doubled or half-written: %d" % len(bad))
        log.close()
        return 1 if bad else 0
    finally:
        subprocess.run(["sh", PG_SERVER, "stop", args.server_dir], check=False)
        if temporary and not args.keep:
            shutil.rmtree(args.work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
