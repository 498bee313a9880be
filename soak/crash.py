#!/usr/bin/env python3
"""Crash: `bkreg post BATCH`, `bkreg reconcile finish` and `bkreg clear`
killed with SIGKILL at many points, on one company.

Most runs stop the program at its N-th storage write through the test hook
BK_TEST_HOOK_KILL_AT_WRITE (framework/io/faults.h; N random, kept near the
number of writes the operation makes, so kills fall early, late and on the
last commit); every fourth run kills it after a random delay instead (a kill
inside the engine's own commit). After each kill:
  - `bkreg verify` is clean;
  - the interrupted unit is wholly there or wholly absent: the batch's
    transactions all in history with their details and their general-ledger
    lines posted, or all still in the register with no line written; the
    reconciliation recorded (every cleared transaction reconciled, the
    account's reconciled balance the statement's) or nothing changed; the
    clearing made or not;
  - nothing blocks the next program: `bkreg locks` shows nothing held, and
    the same command run again (no hook) does the work;
then the work is finished and the balances (register, bank, reconciled)
equal a computation from the driver's own records.

  crash.py --bkreg PATH --dump PATH [--company DIR] [--kills N] [--work DIR] [--seed N]
"""

import argparse
import collections
import datetime
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bkrun import Bkreg, cents, dump, money, server_company  # noqa: E402

OPENING = 50000_00
ENTRY_DAY = datetime.date(2026, 3, 2)
FIRST_STATEMENT = datetime.date(2026, 4, 1)


class Fault(Exception):
    pass


class Crash:
    def __init__(self, args, bk, banks, rng):
        self.args = args
        self.bk = bk
        self.banks = banks
        self.rng = rng
        self.entries = {}              # tag -> dict(bank, kind, net, batch, check, deposit_id, items, lines, details)
        self.posted_batches = set()
        self.cleared = {}              # tag -> cents cleared at
        self.reconciled = set()        # tags
        self.last = {b: OPENING for b in banks}  # last reconciled balance (the opening one)
        self.day = {b: 0 for b in banks}
        self.count = 0
        self.batch_no = 0
        # Kill points are drawn from 1..hi[op]; hi shrinks below a point the
        # operation completed before, and grows after each kill, so it stays
        # near the number of writes the operation makes.
        self.hi = collections.defaultdict(lambda: 40, post=300)
        self.kills = collections.Counter()     # op -> kills
        self.outcomes = collections.Counter()  # "op whole" / "op absent" / "op completed"
        self.tag = "%03X" % rng.randrange(0x1000)

    # -- work done normally ------------------------------------------------

    def enter(self, bank, batch):
        self.count += 1
        kind = self.rng.choice(["check", "deposit", "withdrawal"])
        tag = "C%s-%d" % (self.tag, self.count)
        amount = self.rng.randrange(100, 90000)
        day = ENTRY_DAY + datetime.timedelta(days=self.rng.randrange(20))
        args = ["enter", kind, "--bank", bank, "--amount", money(amount), "--date", day.isoformat(), "--batch", batch,
                "--desc", tag]
        e = dict(bank=bank, kind=kind, net=-amount, batch=batch, items=0, lines=0, details=0, check=None,
                 deposit_id=None)
        if kind == "check":
            e["check"] = 500000 + self.count
            args += ["--check", e["check"], "--account", "6000"]
        elif kind == "deposit":
            e["net"] = amount
            e["deposit_id"] = "C%s-%d" % (self.tag, self.count)
            half = amount // 2
            args += ["--deposit-id", e["deposit_id"], "--line", "4000=%s@1" % money(half),
                     "--line", "4100=%s@2" % money(amount - half)]
            e["items"], e["lines"] = 2, 2
        else:
            args += ["--line", "6000=%s" % money(amount)]
            e["details"] = 1
        self.bk.must(*args)
        self.entries[tag] = e
        return tag

    def new_batch(self):
        self.batch_no += 1
        bid = "K%s%04d" % (self.tag, self.batch_no)
        self.bk.must("batch", "open", bid, "--date", ENTRY_DAY.isoformat())
        for _ in range(self.rng.randrange(2, 7)):
            self.enter(self.rng.choice(self.banks), bid)
        return bid

    def clearable(self, bank):
        return [t for t, e in self.entries.items()
                if e["bank"] == bank and e["batch"] in self.posted_batches and e["kind"] in ("check", "deposit")
                and t not in self.reconciled and self.cleared.get(t) != e["net"]]

    def clear_args(self, tag, amount=None):
        e = self.entries[tag]
        by = ["--check", e["check"]] if e["kind"] == "check" else ["--deposit-id", e["deposit_id"]]
        date = (FIRST_STATEMENT + datetime.timedelta(days=self.day[e["bank"]])).isoformat()
        extra = ["--amount=" + money(amount)] if amount is not None else []
        return ["clear", e["bank"], *by, "--date", date, *extra]

    # -- the killed run ----------------------------------------------------

    def killed_run(self, op, args):
        """Runs bkreg with a kill point (or a timed kill); "killed" or
        "completed"."""
        self.bk.log.write("# %s: %s\n" % (op, " ".join(map(str, args))))
        timed = self.rng.random() < 0.25
        if not timed:
            n = self.rng.randint(1, self.hi[op])
            r = self.bk.run(*args, env={"BK_TEST_HOOK_KILL_AT_WRITE": str(n)})
            if r.rc == -signal.SIGKILL:
                self.hi[op] += max(2, self.hi[op] // 10)
                if "BK_TEST_HOOK_KILL_AT_WRITE" not in r.err:
                    raise Fault("%s: killed, but not by the test hook: %s" % (op, r.err))
                return "killed"
            if r.rc != 0:
                raise Fault("%s at kill point %d: exit %d: %s" % (op, n, r.rc, r.err.strip()))
            self.hi[op] = max(2, n - 1)  # the operation makes fewer than n writes
            return "completed"
        argv = [self.bk.program, "--company", self.bk.company] + [str(a) for a in args]
        p = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=self.bk.env)
        time.sleep(self.rng.uniform(0.0, 0.25 if not self.args.asan_like else 1.0))
        p.send_signal(signal.SIGKILL)
        _, err = p.communicate()
        if p.returncode == -signal.SIGKILL:
            return "killed"
        if p.returncode != 0:
            raise Fault("%s: exit %d: %s" % (op, p.returncode, err.decode(errors="replace").strip()))
        return "completed"

    def post(self):
        bid = self.new_batch()
        how = self.killed_run("post", ["post", bid, "--journal", os.devnull])
        state = self.batch_state(bid)
        self.outcomes["post %s: %s" % (how, state)] += 1
        if how == "completed" and state != "posted":
            raise Fault("post %s completed, but the batch is %s" % (bid, state))
        self.check_unblocked()
        if state != "posted":
            self.bk.must("post", bid, "--journal", os.devnull)
            if self.batch_state(bid) != "posted":
                raise Fault("post %s run again: the batch is %s" % (bid, self.batch_state(bid)))
        self.posted_batches.add(bid)
        self.bk.must("batch", "close", bid)

    def batch_state(self, bid):
        """"posted" or "absent" (nothing of the posting there); a Fault for
        anything in between."""
        d = dump(self.args.dump, self.bk.company)
        tags = {t for t, e in self.entries.items() if e["batch"] == bid}
        rows = {r["desc"]: r for r in d if r["kind"] == "tran" and r["desc"] in tags}
        where = {r["file"] for r in rows.values()}
        gl = [r for r in d if r["kind"] == "gl" and r["batch"] == bid]
        problems = []
        if set(rows) != tags:
            problems.append("missing %s" % sorted(tags - set(rows)))
        for t, r in rows.items():
            e = self.entries[t]
            if (r["items"], r["item_lines"], r["withdrawal_details"], r["cents"]) != (
                    e["items"], e["lines"], e["details"], e["net"]):
                problems.append("%s: found %s" % (t, r))
            if r["file"] == "history" and not r["posted"]:
                problems.append("%s in history, not marked posted" % t)
        problems += ["orphan details %s" % r for r in d if r["kind"] == "orphan"]
        if where == {"register"} and not gl and not problems:
            return "absent"
        # Entered while entries go to the general ledger, every kind has lines.
        lines = bool(tags)
        if where == {"history"} and bool(gl) == lines and all(r["file"] == "posted" for r in gl) and not problems:
            return "posted"
        raise Fault("batch %s half posted: transactions in %s, general-ledger lines %s; %s" % (
            bid, sorted(where), collections.Counter(r["file"] for r in gl), "; ".join(problems)))

    def clear(self):
        bank = self.rng.choice(self.banks)
        candidates = self.clearable(bank)
        if not candidates:
            return self.post()
        tag = self.rng.choice(candidates)
        e = self.entries[tag]
        amount = e["net"] + self.rng.choice([0, 0, 1, -1])
        how = self.killed_run("clear", self.clear_args(tag, amount))
        row = self.row(tag)
        before = self.cleared.get(tag)
        now = row["cleared_cents"] if row["state"] in (2, 3) else None
        if now not in (before, amount) or (how == "completed" and now != amount):
            raise Fault("clear %s at %d (%s): cleared at %s before, now %s" % (tag, amount, how, before, now))
        self.outcomes["clear %s: %s" % (how, "made" if now == amount and before != amount else "absent")] += 1
        self.check_unblocked()
        self.bk.must(*self.clear_args(tag))
        self.cleared[tag] = e["net"]

    def reconcile(self):
        bank = self.rng.choice(self.banks)
        for tag in self.rng.sample(self.clearable(bank), min(3, len(self.clearable(bank)))):
            self.bk.must(*self.clear_args(tag))
            self.cleared[tag] = self.entries[tag]["net"]
        items = [t for t in self.cleared if self.entries[t]["bank"] == bank and t not in self.reconciled]
        if not items:
            return self.post()
        ending = self.last[bank] + sum(self.entries[t]["net"] for t in items)
        date = (FIRST_STATEMENT + datetime.timedelta(days=self.day[bank])).isoformat()
        if self.rng.random() < 0.4:
            self.bk.must("reconcile", "start", bank, "--date", date, "--ending-balance=" + money(ending))
            args = ["reconcile", "finish", bank]
        else:
            args = ["reconcile", "finish", bank, "--date", date, "--ending=" + money(ending)]
        how = self.killed_run("reconcile", args)
        d = dump(self.args.dump, self.bk.company)
        states = {r["desc"]: r["state"] for r in d if r["kind"] == "tran" and r["desc"] in items}
        reconciled = self.balance(bank, "reconciled")
        if set(states.values()) == {3} and reconciled == ending:
            state = "recorded"
        elif set(states.values()) == {2} and reconciled == self.last[bank]:
            state = "absent"
        else:
            raise Fault("reconciliation of %s half recorded: states %s, reconciled balance %s (was %s, statement %s)" % (
                bank, states, money(reconciled), money(self.last[bank]), money(ending)))
        self.outcomes["reconcile %s: %s" % (how, state)] += 1
        if how == "completed" and state != "recorded":
            raise Fault("reconcile finish of %s completed, but nothing was recorded" % bank)
        self.check_unblocked()
        if state == "absent":
            self.bk.must(*args)
        self.reconciled.update(items)
        self.last[bank] = ending
        self.day[bank] += 1

    # -- checks ------------------------------------------------------------

    def row(self, tag):
        rows = [r for r in dump(self.args.dump, self.bk.company) if r["kind"] == "tran" and r["desc"] == tag]
        if len(rows) != 1:
            raise Fault("%s is there %d times" % (tag, len(rows)))
        return rows[0]

    def balance(self, bank, kind):
        r = self.bk.must("--format", "json", "balance", bank, "--kind", kind, "--as-of", "2099-12-31")
        row = r.json()[0]
        return cents(next(v for k, v in row.items() if k.lower() in ("balance", "amount")))

    def check_unblocked(self):
        r = self.bk.must("verify")
        r = self.bk.must("--format", "json", "locks")
        held = [row for row in (r.json() or []) if "held" in str(row.get("State", row.get("state", "")))]
        if held:
            raise Fault("left held after the kill: %s" % held)

    def check_balances(self):
        for b in self.banks:
            reg = bank = OPENING
            rec = OPENING
            for t, e in self.entries.items():
                if e["bank"] != b:
                    continue
                reg += e["net"]
                bank += self.cleared.get(t, 0)
                rec += e["net"] if t in self.reconciled else 0
            for kind, want in (("register", reg), ("bank", bank), ("reconciled", rec)):
                got = self.balance(b, kind)
                if got != want:
                    raise Fault("%s balance of %s: bkreg %s, computed %s" % (kind, b, money(got), money(want)))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bkreg", required=True)
    ap.add_argument("--dump", required=True, help="bk_company_dump")
    ap.add_argument("--company", help="company address (default: a new folder under --work)")
    ap.add_argument("--server-settings", help="a test server's settings file: the company is a new database on it")
    ap.add_argument("--kills", type=int, default=30)
    ap.add_argument("--work")
    ap.add_argument("--seed", type=int, default=int(time.time()))
    ap.add_argument("--keep", action="store_true")
    args = ap.parse_args()
    args.asan_like = "asan" in os.path.abspath(args.bkreg)

    work = args.work or tempfile.mkdtemp(prefix="bk-crash-")
    os.makedirs(work, exist_ok=True)
    company = args.company or (server_company(args.server_settings, "bkcrash", work) if args.server_settings
                               else os.path.join(work, "company"))
    log_path = os.path.join(work, "crash.log")
    log = open(log_path, "w")
    rng = random.Random(args.seed)
    bk = Bkreg(args.bkreg, company, log=log, name="crash")
    print("crash: seed %d, company %s, log %s" % (args.seed, company, log_path), flush=True)
    t0 = time.monotonic()
    bk.must("init")
    for a in ("1000", "4000", "4100", "6000"):
        bk.run("gl", "account", "add", a)
    bk.run("gl", "period", "add", "", "--year", "2026")
    bk.must("gl", "interface", "on")
    tag = "%03X" % rng.randrange(0x1000)
    banks = ["CR%sA" % tag, "CR%sB" % tag]
    for b in banks:
        bk.must("bank", "add", b, "--balance", money(OPENING), "--cash-account", "1000")
    c = Crash(args, bk, banks, rng)
    c.tag = tag
    try:
        for _ in range(3):
            c.post()
        while sum(v for k, v in c.outcomes.items() if " killed:" in k) < args.kills:
            op = rng.choice([c.post, c.post, c.clear, c.reconcile, c.reconcile])
            op()
        c.check_balances()
    except Fault as f:
        print("FAULT: %s (log: %s)" % (f, log_path))
        print("outcomes so far: %s" % dict(c.outcomes))
        return 1
    print("crash: %d kills in %.1f s" % (sum(v for k, v in c.outcomes.items() if " killed:" in k),
                                          time.monotonic() - t0))
    for k, v in sorted(c.outcomes.items()):
        print("  %-32s %d" % (k, v))
    print("crash: clean")
    if not args.keep and not args.work:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
