#!/usr/bin/env python3
"""Random months of a bookkeeper's work, every figure checked against a model.

One program at a time (bkreg run as a user runs it) does a month's work on a
fresh company whose entries go to the general ledger: bank accounts with
opening balances and cash accounts; batches opened with control totals
(sometimes wrong, then corrected with `batch edit`); checks, deposits with
distribution lines, withdrawals with details, adjustments, payables'
checks, transfers; removals (a transfer as a pair); posting, closing and
reusing batch ids; the interface to the general ledger switched off and on;
clearing (and returning to open), reconciliation started (sometimes with a
mistyped ending balance, corrected or cancelled), finished and undone.
Refusals are tried too (a duplicate check, an unknown account, a batch out
of balance, a posted batch entered into, a reconciled transaction cleared
again) and must change nothing.

After every step, every figure the program prints is compared with the
model kept here, which knows nothing of the program's code: each account's
register (every line in register order with its run, sequence, state,
posted mark and running balance), its balances and open totals (bank
list), register, bank and cash balances as of dates, the batches' totals,
the general ledger's trial balance; every few steps `verify` must be clean.
At the end of each month the exported journal of each account is read by
ledger and hledger, whose balances and cleared balances must be the
model's.

  month.py --bkreg PATH [--seeds N] [--steps N] [--months N] [--seed S]

Exit 0 when every check held; otherwise the first difference, the seed and
the log of commands.
"""

import argparse
import datetime
import os
import random
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bkrun import Bkreg, cents, money  # noqa: E402

CASH = {"OPS": "1000", "SAV": "1010", "PAY": "1020"}
OPENING = {"OPS": 500000, "SAV": 120000, "PAY": 0}
INCOME = ["4000", "4100"]
EXPENSE = ["6000", "6100", "6200"]
TYPES = {"check": 1, "deposit": 2, "withdrawal": 3, "adjustment": 4}
TYPE_NAMES = {1: "Check", 2: "Deposit", 3: "Withdrawal", 4: "Adjustment"}


class Mismatch(Exception):
    pass


class Tx:
    def __init__(self, bank, run, seq, kind, day, net, **kw):
        self.bank, self.run, self.seq, self.kind, self.day, self.net = bank, run, seq, kind, day, net
        self.check = kw.get("check", 0)
        self.deposit_id = kw.get("deposit_id", "")
        self.desc = kw.get("desc", "")
        self.batch = kw.get("batch", "BKREG")
        self.gl = kw.get("gl", False)        # entered for the general ledger
        self.ledger = kw.get("ledger", {})   # account -> cents its posting puts there (debits +)
        self.pair = kw.get("pair")           # the other side's key of a transfer
        self.posted = False
        self.state = 1                       # 1 open, 2 cleared, 3 reconciled
        self.cleared = 0
        self.cleared_day = None
        self.statement = None

    @property
    def key(self):
        return (self.bank, self.run, self.seq)

    def subtraction(self):
        return -self.net if self.net < 0 else 0


class Model:
    def __init__(self):
        self.tx = {}            # key -> Tx
        self.batches = {}       # id -> dict(control_count, control_amount, count, amount)
        self.reconciled = dict(OPENING)   # bank -> last reconciled balance
        self.reconciled_day = {b: None for b in OPENING}
        self.finished = {b: [] for b in OPENING}  # bank -> [(day, previous balance, previous day, keys, ending)]
        self.in_progress = {}   # bank -> (day, ending)
        self.interface = True

    def of(self, bank):
        return [t for t in self.tx.values() if t.bank == bank]

    def register_order(self, bank):
        return sorted(self.of(bank), key=lambda t: (t.day, t.check, t.subtraction(), t.run, t.seq))

    def register_balance(self, bank, through=None):
        return OPENING[bank] + sum(t.net for t in self.of(bank) if through is None or t.day <= through)

    def bank_balance(self, bank, through=None):
        return OPENING[bank] + sum(t.cleared for t in self.of(bank)
                                   if t.state in (2, 3) and (through is None or t.cleared_day <= through))

    def cash_balance(self, bank, through=None):
        return sum(t.net for t in self.of(bank) if t.gl and (through is None or t.day <= through))

    def open_totals(self, bank):
        tot = {"checks": 0, "deposits": 0, "withdrawals": 0, "plus": 0, "minus": 0}
        for t in self.of(bank):
            if t.state != 1:
                continue
            k = TYPES[t.kind]
            if k == 1:
                tot["checks"] -= t.net
            elif k == 2:
                tot["deposits"] += t.net
            elif k == 3:
                tot["withdrawals"] -= t.net
            elif t.net < 0:
                tot["minus"] -= t.net
            else:
                tot["plus"] += t.net
        tot["net"] = tot["deposits"] + tot["plus"] - tot["checks"] - tot["withdrawals"] - tot["minus"]
        return tot

    def ledger(self):
        acc = {}
        for t in self.tx.values():
            if t.posted and t.gl:
                for a, c in t.ledger.items():
                    acc[a] = acc.get(a, 0) + c
        return {a: c for a, c in acc.items()}

    def batch_posted(self, bid):
        members = [t for t in self.tx.values() if t.batch == bid]
        b = self.batches.get(bid)
        return bool(b) and b["count"] > 0 and members and all(t.posted for t in members)

    def cleared_up_to(self, bank, day):
        return sum(t.cleared for t in self.of(bank) if t.state == 2 and t.cleared_day <= day)


class Month:
    def __init__(self, bk, rng, log):
        self.bk, self.rng, self.log = bk, rng, log
        self.m = Model()
        self.run = 0            # runs bkreg handed out so far (one per entering program)
        self.checks = {b: 100 for b in OPENING}
        self.deposits = 0
        self.steps = 0

    # -- running bkreg -----------------------------------------------------

    def ok(self, *args):
        r = self.bk.run(*args)
        if r.rc != 0:
            raise Mismatch("bkreg %s: exit %d: %s%s" % (" ".join(map(str, args)), r.rc, r.err.strip(), r.out))
        return r

    def refused(self, *args):
        r = self.bk.run(*args)
        if r.rc != 1:
            raise Mismatch("bkreg %s should be refused (1), exit %d: %s%s" % (
                " ".join(map(str, args)), r.rc, r.err.strip(), r.out))
        return r

    def csv(self, *args):
        import csv
        import io
        return list(csv.DictReader(io.StringIO(self.ok("--format", "csv", *args).out)))

    # -- the company -------------------------------------------------------

    def setup(self):
        self.ok("init")
        for a in sorted(set(CASH.values())) + INCOME + EXPENSE:
            self.ok("gl", "account", "add", a)
        for y in (2026, 2027):
            self.ok("gl", "period", "add", "", "--year", y)
        for b in OPENING:
            self.ok("bank", "add", b, "--balance", money(OPENING[b]), "--cash-account", CASH[b])
        self.ok("gl", "interface", "on")

    # -- work --------------------------------------------------------------

    def day(self, month_start):
        return month_start + datetime.timedelta(days=self.rng.randrange(28))

    def batch(self):
        """A batch to enter into: an open one, or BKREG; never a posted one."""
        open_ids = [b for b in self.m.batches if not self.m.batch_posted(b)]
        if open_ids and self.rng.random() < 0.7:
            return self.rng.choice(open_ids)
        return "BKREG" if not self.m.batch_posted("BKREG") else None

    def entered(self, bid, net):
        b = self.m.batches.setdefault(bid, dict(control_count=0, control_amount=0, count=0, amount=0))
        b["count"] += 1
        b["amount"] += net

    def enter(self, month_start):
        rng = self.rng
        bid = self.batch()
        if bid is None:
            return
        bank = rng.choice(list(OPENING))
        kind = rng.choice(["check", "check", "deposit", "deposit", "withdrawal", "adjustment", "payables"])
        amount = rng.randrange(100, 300000)
        day = self.day(month_start)
        gl = self.m.interface and kind != "payables"
        args = ["--format", "csv", "enter", "check" if kind == "payables" else kind, "--bank", bank,
                "--amount", money(amount if kind != "adjustment" or rng.random() < 0.5 else -amount),
                "--date", day.isoformat(), "--batch", bid, "--desc", "step %d" % self.steps]
        net = -cents(args[7]) if kind in ("check", "payables", "withdrawal") else cents(args[7])
        kw = dict(batch=bid, gl=gl, desc="step %d" % self.steps)
        ledger = {}
        if kind in ("check", "payables"):
            self.checks[bank] += 1
            kw["check"] = self.checks[bank]
            account = rng.choice(EXPENSE)
            args += ["--check", kw["check"], "--account", account]
            if kind == "payables":
                args.append("--payables")
            ledger = {account: -net, CASH[bank]: net}
        elif kind == "deposit":
            self.deposits += 1
            kw["deposit_id"] = "D%d" % self.deposits
            args += ["--deposit-id", kw["deposit_id"]]
            first = rng.randrange(0, amount + 1)
            parts = [(INCOME[0], first), (INCOME[1], amount - first)]
            parts = [(a, c) for a, c in parts if c > 0]
            for a, c in parts:
                args += ["--line", "%s=%s" % (a, money(c))]
                ledger[a] = ledger.get(a, 0) - c
            ledger[CASH[bank]] = net
        elif kind == "withdrawal":
            accounts = rng.sample(EXPENSE, 2)
            first = rng.randrange(1, amount) if amount > 1 else amount
            for a, c in ((accounts[0], first), (accounts[1], amount - first)):
                if c > 0:
                    args += ["--line", "%s=%s" % (a, money(c))]
                    ledger[a] = ledger.get(a, 0) + c
            ledger[CASH[bank]] = net
        else:
            account = rng.choice(INCOME)
            args += ["--account", account]
            ledger = {account: -net, CASH[bank]: net}
        r = self.ok(*args)
        row = self.csvrows(r.out)[0]
        self.run += 1
        run, seq = int(row["Run"]), int(row["Sequence"])
        if run != self.run or seq != 1:
            raise Mismatch("enter printed run %d sequence %d, the model expects run %d sequence 1" % (run, seq, self.run))
        kind = "check" if kind == "payables" else kind
        t = Tx(bank, run, seq, kind, day, net, ledger=ledger if gl else {}, **kw)
        self.m.tx[t.key] = t
        self.entered(bid, net)
        # The same check number again is a duplicate, unposted or posted.
        if t.check and rng.random() < 0.2:
            self.refused("enter", "check", "--bank", bank, "--amount", "1.00", "--check", t.check, "--date",
                         day.isoformat(), "--account", EXPENSE[0], "--batch", bid)

    def transfer(self, month_start):
        bid = self.batch()
        if bid is None:
            return
        a, b = self.rng.sample(list(OPENING), 2)
        amount = self.rng.randrange(100, 100000)
        day = self.day(month_start)
        rows = self.csvrows(self.ok("--format", "csv", "transfer", a, b, "--amount", money(amount), "--date",
                                    day.isoformat(), "--batch", bid).out)
        self.run += 1
        gl = self.m.interface
        out = Tx(a, self.run, int(rows[0]["Sequence"]), "withdrawal", day, -amount, batch=bid, gl=gl,
                 ledger={CASH[a]: -amount, CASH[b]: amount} if gl else {})
        into = Tx(b, self.run, int(rows[1]["Sequence"]), "deposit", day, amount, batch=bid, gl=gl)
        out.pair, into.pair = into.key, out.key
        for t in (out, into):
            self.m.tx[t.key] = t
            self.entered(bid, t.net)

    def remove(self):
        unposted = [t for t in self.m.tx.values() if not t.posted]
        if not unposted:
            return
        t = self.rng.choice(unposted)
        self.ok("remove", t.bank, t.run, t.seq)
        for k in [t.key] + ([t.pair] if t.pair else []):
            gone = self.m.tx.pop(k)
            b = self.m.batches[gone.batch]
            b["count"] -= 1
            b["amount"] -= gone.net

    def open_batch(self, month_start):
        bid = "B%d" % self.rng.randrange(1000)
        if bid in self.m.batches:
            return
        count = self.rng.randrange(1, 5)
        amount = self.rng.randrange(-50000, 200000)
        self.ok("batch", "open", bid, "--count", count, "--amount", money(amount), "--date",
                month_start.isoformat())
        self.m.batches[bid] = dict(control_count=count, control_amount=amount, count=0, amount=0)

    def post(self):
        candidates = [b for b in self.m.batches if not self.m.batch_posted(b)
                      and any(t.batch == b and not t.posted for t in self.m.tx.values())]
        if candidates:
            self.post_batch(self.rng.choice(candidates))

    def post_batch(self, bid):
        b = self.m.batches[bid]
        controlled = b["control_count"] or b["control_amount"]
        members = [t for t in self.m.tx.values() if t.batch == bid and not t.posted]
        if controlled and (b["control_count"] != b["count"] or b["control_amount"] != b["amount"]):
            self.refused("post", bid)
            # Corrected, as a bookkeeper would after counting again.
            self.ok("batch", "edit", bid, "--count", b["count"], "--amount", money(b["amount"]))
            b["control_count"], b["control_amount"] = b["count"], b["amount"]
        if not self.m.interface and any(t.gl for t in members):
            self.refused("post", bid)
            return
        self.ok("post", bid)
        for t in members:
            t.posted = True
        # A posted batch takes nothing more.
        self.refused("enter", "adjustment", "--bank", "OPS", "--amount", "1.00", "--date", "2026-11-01",
                     "--account", INCOME[0], "--batch", bid)

    def close(self):
        posted = [b for b in self.m.batches if self.m.batch_posted(b)]
        if not posted:
            return
        bid = self.rng.choice(posted)
        self.ok("batch", "close", bid)
        del self.m.batches[bid]
        # Its transactions keep their batch id in history; a new batch of
        # that id starts clean.
        for t in self.m.tx.values():
            if t.batch == bid:
                t.batch = (bid, "closed")

    def clear(self):
        open_posted = [t for t in self.m.tx.values() if t.posted and t.state == 1]
        reconciled = [t for t in self.m.tx.values() if t.state == 3]
        if reconciled and self.rng.random() < 0.15:
            t = self.rng.choice(reconciled)
            self.refused("clear", t.bank, t.run, t.seq, "--date", "2026-12-01")
            return
        cleared = [t for t in self.m.tx.values() if t.state == 2]
        if cleared and self.rng.random() < 0.2:
            t = self.rng.choice(cleared)
            self.ok("clear", t.bank, t.run, t.seq, "--undo")
            t.state, t.cleared, t.cleared_day = 1, 0, None
            return
        if not open_posted:
            return
        t = self.rng.choice(open_posted)
        day = t.day + datetime.timedelta(days=self.rng.randrange(0, 5))
        self.ok("clear", t.bank, t.run, t.seq, "--date", day.isoformat())
        t.state, t.cleared, t.cleared_day = 2, t.net, day

    def reconcile(self, month_start):
        bank = self.rng.choice(list(OPENING))
        m = self.m
        if bank in m.in_progress:
            day, ending = m.in_progress[bank]
            want = m.reconciled[bank] + m.cleared_up_to(bank, day)
            choice = self.rng.random()
            if choice < 0.2:
                self.ok("reconcile", "cancel", bank)
                del m.in_progress[bank]
            elif ending != want:
                self.refused("reconcile", "finish", bank)
                self.ok("reconcile", "start", bank, "--date", day.isoformat(), "--ending-balance", money(want))
                m.in_progress[bank] = (day, want)
            else:
                self.finish(bank, day)
            return
        if m.finished[bank] and self.rng.random() < 0.2:
            self.ok("reconcile", "undo", bank)
            day, previous, previous_day, keys, ending = m.finished[bank].pop()
            for k in keys:
                t = m.tx[k]
                t.state, t.statement = 2, None
            m.reconciled[bank], m.reconciled_day[bank] = previous, previous_day
            # The reconciliation in progress is back as it stood.
            m.in_progress[bank] = (day, ending)
            return
        last = m.reconciled_day[bank]
        day = month_start + datetime.timedelta(days=27)
        if last is not None and day <= last:
            return
        want = m.reconciled[bank] + m.cleared_up_to(bank, day)
        ending = want if self.rng.random() < 0.7 else want + self.rng.randrange(1, 1000)
        self.ok("reconcile", "start", bank, "--date", day.isoformat(), "--ending-balance", money(ending))
        m.in_progress[bank] = (day, ending)

    def finish(self, bank, day):
        m = self.m
        keys = [t.key for t in m.of(bank) if t.state == 2 and t.cleared_day <= day]
        self.ok("reconcile", "finish", bank)
        previous, previous_day = m.reconciled[bank], m.reconciled_day[bank]
        for k in keys:
            m.tx[k].state, m.tx[k].statement = 3, day
        m.reconciled[bank] = previous + sum(m.tx[k].cleared for k in keys)
        m.reconciled_day[bank] = day
        m.finished[bank].append((day, previous, previous_day, keys, m.in_progress[bank][1]))
        del m.in_progress[bank]

    def toggle(self):
        self.m.interface = not self.m.interface
        self.ok("gl", "interface", "on" if self.m.interface else "off")

    def wrong_account(self, month_start):
        bid = self.batch()
        if not self.m.interface or bid is None:
            return
        r = self.refused("enter", "check", "--bank", "OPS", "--amount", "5.00", "--check", 99999, "--date",
                         self.day(month_start).isoformat(), "--account", "8888", "--batch", bid)
        if "8888" not in r.err:
            raise Mismatch("an unknown account refused for another reason: " + r.err)

    # -- checks ------------------------------------------------------------

    @staticmethod
    def csvrows(text):
        import csv
        import io
        return list(csv.DictReader(io.StringIO(text)))

    def expect(self, what, got, want):
        if got != want:
            raise Mismatch("%s: the program says %r, the model %r" % (what, got, want))

    def check_all(self, month_start, verify):
        m = self.m
        banks = {r["Bank"]: r for r in self.csv("bank", "list")}
        for b in OPENING:
            row = banks[b]
            tot = m.open_totals(b)
            self.expect(b + " register balance", cents(row["Register"]), m.register_balance(b))
            self.expect(b + " bank balance", cents(row["Bank balance"]), m.bank_balance(b))
            for col, k in (("Open checks", "checks"), ("Open deposits", "deposits"),
                           ("Open withdrawals", "withdrawals"), ("Open adjustments +", "plus"),
                           ("Open adjustments -", "minus"), ("Open net", "net")):
                self.expect(b + " " + col, cents(row[col]), tot[k])
            shown = {r["Bank"]: r for r in self.csv("bank", "show", b)}[b]
            self.expect(b + " reconciled balance", cents(shown["Reconciled balance"]), m.reconciled[b])
            # The register, line by line.
            rows = self.csv("register", b)
            self.expect(b + " opening line", cents(rows[0]["Balance"]), OPENING[b])
            want = m.register_order(b)
            self.expect(b + " register lines", len(rows) - 1, len(want))
            running = OPENING[b]
            for r, t in zip(rows[1:], want):
                running += t.net
                got = (r["Date"], int(r["Run"]), int(r["Seq"]), r["Type"], cents(r["Amount"]), r["State"],
                       r["Posted"], cents(r["Balance"]))
                self.expect(b + " register line", got, (t.day.isoformat(), t.run, t.seq, TYPE_NAMES[TYPES[t.kind]],
                                                        t.net, "OCR"[t.state - 1], "yes" if t.posted else "no",
                                                        running))
            # Balances as of a day of the month and today.
            d = self.day(month_start)
            for kind, fn in (("register", m.register_balance), ("bank", m.bank_balance)):
                got = cents(self.csv("balance", b, "--as-of", d.isoformat(), "--kind", kind)[0]["Balance"])
                self.expect("%s %s balance as of %s" % (b, kind, d), got, fn(b, d))
            for d in (self.day(month_start), datetime.date(2099, 12, 31)):
                got = cents(self.csv("balance", b, "--kind", "cash", "--cash-account", CASH[b], "--as-of",
                                     d.isoformat())[0]["Balance"])
                self.expect("%s cash balance as of %s" % (b, d), got, m.cash_balance(b, d))
            if b in m.in_progress:
                day, ending = m.in_progress[b]
                st = self.csv("reconcile", "status", b)[0]
                self.expect(b + " reconciliation difference", cents(st["Difference"]),
                            ending - m.reconciled[b] - m.cleared_up_to(b, day))
        # Batches.
        listed = {r["Batch"]: r for r in self.csv("batch", "list")}
        for bid, b in m.batches.items():
            if bid not in listed:
                if b["count"] == 0 and not b["control_count"] and not b["control_amount"]:
                    continue
                raise Mismatch("batch %s is not listed" % bid)
            r = listed[bid]
            self.expect("batch %s entered" % bid, (int(r["Entered count"]), cents(r["Entered amount"])),
                        (b["count"], b["amount"]))
            self.expect("batch %s control" % bid, (int(r["Control count"]), cents(r["Control amount"])),
                        (b["control_count"], b["control_amount"]))
            self.expect("batch %s state" % bid, r["State"], "posted" if m.batch_posted(bid) else "open")
        # The general ledger's trial balance.
        trial = {r["Account"]: cents(r["Balance"]) for r in self.csv("gl", "trial") if r["Account"] != "Total"}
        want = {a: c for a, c in m.ledger().items()}
        for a in set(trial) | set(want):
            self.expect("GL account %s" % a, trial.get(a, 0), want.get(a, 0))
        if verify:
            r = self.bk.run("verify")
            if r.rc != 0:
                raise Mismatch("verify: exit %d\n%s%s" % (r.rc, r.out, r.err))

    def check_journals(self, work):
        """The exported journals read by ledger and hledger."""
        for b in OPENING:
            path = os.path.join(work, "%s.journal" % b)
            with open(path, "w") as f:
                f.write(self.ok("export", b, "--format", "journal").out)
            account = "Assets:Bank:%s" % b
            for tool in ("ledger", "hledger"):
                if shutil.which(tool) is None:
                    continue
                for cleared, want in ((False, self.m.register_balance(b)), (True, self.m.bank_balance(b))):
                    argv = [tool, "-f", path, "bal", account]
                    if cleared:
                        argv.insert(3, "--cleared" if tool == "ledger" else "-C")
                    if tool == "hledger":
                        argv.append("-N")
                    out = subprocess.run(argv, capture_output=True, text=True).stdout
                    got = self.ledger_total(out)
                    self.expect("%s %s %sbalance of %s" % (tool, path, "cleared " if cleared else "", b), got, want)

    @staticmethod
    def ledger_total(out):
        """The amount on the account's balance line of ledger's or hledger's
        output (0 when none is shown)."""
        for line in out.splitlines():
            words = line.split()
            if words and any(w.startswith("Assets") for w in words):
                return cents(words[0].lstrip("$"))
        return 0

    # -- a month -----------------------------------------------------------

    def month(self, month_start, steps, verify_every):
        rng = self.rng
        work = [(self.enter, 30), (self.transfer, 6), (self.remove, 5), (self.open_batch, 5), (self.post, 10),
                (self.close, 3), (self.clear, 14), (self.reconcile, 8), (self.toggle, 2), (self.wrong_account, 2)]
        total = sum(w for _, w in work)
        for i in range(steps):
            self.steps += 1
            pick = rng.randrange(total)
            for fn, w in work:
                if pick < w:
                    break
                pick -= w
            if fn.__code__.co_argcount > 1:
                fn(month_start)
            else:
                fn()
            self.check_all(month_start, verify=(i % verify_every == verify_every - 1))
        # The month ends: the ledger on, everything posted, the banks' statements finished.
        if not self.m.interface:
            self.toggle()
        for bid in list(self.m.batches):
            if any(t.batch == bid and not t.posted for t in self.m.tx.values()):
                self.post_batch(bid)
        self.check_all(month_start, verify=True)


def run_seed(args, seed):
    rng = random.Random(seed)
    work = tempfile.mkdtemp(prefix="bk-month-")
    log_path = os.path.join(work, "commands.log")
    with open(log_path, "w") as log:
        bk = Bkreg(args.bkreg, os.path.join(work, "company"), wait=10, log=log, name="month")
        m = Month(bk, rng, log)
        try:
            m.setup()
            start = datetime.date(2026, 11, 1)
            for i in range(args.months):
                month_start = (start.replace(day=1) + datetime.timedelta(days=31 * i)).replace(day=1)
                m.month(month_start, args.steps, args.verify_every)
                m.check_journals(work)
        except Mismatch as e:
            print("month: seed %d, step %d: %s\n(log: %s)" % (seed, m.steps, e, log_path), flush=True)
            return False
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return True


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bkreg", required=True)
    ap.add_argument("--seeds", type=int, default=3, help="months are run from this many seeds")
    ap.add_argument("--seed", type=int, help="the first seed (default: from the clock)")
    ap.add_argument("--steps", type=int, default=40, help="steps of work per month")
    ap.add_argument("--months", type=int, default=2)
    ap.add_argument("--verify-every", type=int, default=5)
    ap.add_argument("--keep", action="store_true", help="keep each seed's company and log")
    args = ap.parse_args()
    first = args.seed if args.seed is not None else int(datetime.datetime.now().timestamp())
    failed = [s for s in range(first, first + args.seeds) if not run_seed(args, s)]
    print("month: %d seeds from %d, %d months of %d steps each: %s" % (
        args.seeds, first, args.months, args.steps, "all checks held" if not failed else "FAILED %s" % failed),
        flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
