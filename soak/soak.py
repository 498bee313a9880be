#!/usr/bin/env python3
"""Soak: several programs work on one company at once for a bounded time,
each a series of real bkreg processes, while another takes backups.

Programs:
  enter-N    opens a batch of its own, enters checks, deposits (items with
             their lines), withdrawals (their details) and adjustments into
             it, transfers between two accounts, removes some of its own
             unposted entries, then hands the batch over and opens the next;
  post       posts the batches handed over, then closes them;
  reconcile  clears posted checks and deposits (sometimes at a wrong amount
             first, then corrected) and reconciles each account against a
             statement it computes itself (reconcile finish, or start,
             status and finish);
  backup     takes a `bkreg backup` copy every --backup-every seconds.

Every invocation is logged with its exit status and message. Afterwards:
  - `bkreg verify` is clean on the live company and on every backup;
  - every invocation did its work (0) or said why (1 or 3 with a message):
    never 2, never a signal;
  - no bank/run/sequence is used twice in the register or in history, nor a
    run/sequence in the general ledger's lines;
  - every entry reported done is there exactly once (twice for a transfer's
    two sides) with the amount, details and lines it was entered with,
    unless its program removed it; nothing reported refused is there; no
    detail is left without its transaction;
  - a batch reported posted has nothing left in the register, and its
    general-ledger lines are posted, none waiting;
  - clearing and reconciliation states, cleared amounts, and the register,
    bank and reconciled balances equal what the programs' own records give.
It prints operations per second per program and the refusal rate by exit
status. Exit 0 when every check holds.

  soak.py --bkreg PATH --dump PATH [--company DIR] [--programs N]
          [--seconds S] [--wait W] [--work DIR] [--seed N]
"""

import argparse
import collections
import datetime
import os
import queue
import random
import shutil
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bkrun import Bkreg, cents, dump, money, server_company  # noqa: E402

OPENING = 1000000_00  # each account's opening balance, in cents
ENTRY_DAY = datetime.date(2026, 1, 5)
FIRST_STATEMENT = datetime.date(2026, 2, 1)
GL_ACCOUNTS = ["1000", "4000", "4100", "6000", "6100", "6200"]
TYPES = {"check": 1, "deposit": 2, "withdrawal": 3, "adjustment": 4}


class Model:
    """What the programs reported, shared between them."""

    def __init__(self):
        self.lock = threading.Lock()
        self.entries = {}          # tag -> Entry
        self.batches = {}          # id -> "open" | "handed" | "posted" | "closed"
        self.handed = queue.Queue()
        self.problems = []         # broken promises seen while running

    def add(self, e):
        with self.lock:
            self.entries[e.tag] = e

    def problem(self, text):
        with self.lock:
            self.problems.append(text)


class Entry:
    def __init__(self, tag, kind, bank, net, batch, **kw):
        self.tag = tag
        self.kind = kind           # check, deposit, withdrawal, adjustment, transfer
        self.bank = bank           # the paying bank of a transfer
        self.to = kw.get("to")     # the receiving bank of a transfer
        self.net = net             # cents as the register shows it
        self.batch = batch
        self.items = kw.get("items", 0)
        self.lines = kw.get("lines", 0)
        self.details = kw.get("details", 0)
        self.check = kw.get("check")
        self.deposit_id = kw.get("deposit_id")
        self.state = None          # "done", "refused", "removed"
        self.run = self.seq = None
        self.posted = False
        self.cleared = None        # cents cleared at (the bank's view)
        self.reconciled = False


class Program(threading.Thread):
    def __init__(self, name, bk, model, stop, rng):
        super().__init__(name=name, daemon=True)
        self.bk = bk
        self.model = model
        self.stop = stop
        self.rng = rng
        self.calls = collections.Counter()      # by exit status
        self.by_command = collections.Counter()  # "command rc"
        self.failure = None
        self.busy_seconds = 0.0

    def call(self, *args):
        r = self.bk.run(*args)
        self.calls[r.rc] += 1
        self.busy_seconds += r.seconds
        words = [a for a in args if not str(a).startswith("-")][:2]
        self.by_command["%s %d" % (" ".join(map(str, words)), r.rc)] += 1
        if r.rc not in (0, 1, 3):
            self.model.problem("%s: bkreg %s ended with %s: %s" % (
                self.name, " ".join(map(str, args)),
                "signal %d" % -r.rc if r.rc < 0 else "exit %d" % r.rc, r.err.strip()))
        elif r.rc != 0 and not r.message:
            self.model.problem("%s: bkreg %s exit %d without a message" % (self.name, " ".join(map(str, args)), r.rc))
        return r

    def run(self):
        try:
            self.work()
        except Exception as e:  # a driver fault is a failed soak, not a hang
            self.failure = "%s: %r" % (self.name, e)
            self.model.problem(self.failure)


class Enterer(Program):
    def __init__(self, n, banks, tag, check_base, **kw):
        super().__init__("enter-%d" % n, **kw)
        self.n = n
        self.banks = banks
        self.tag = tag
        self.check_next = check_base
        self.count = 0
        self.mine = []  # entries of the current batch, done and not removed

    def open_batch(self, k):
        bid = "%s%d%03d" % (self.tag, self.n, k)
        while not self.stop.is_set():
            r = self.call("batch", "open", bid, "--desc", "soak %s" % bid, "--date", ENTRY_DAY.isoformat())
            if r.rc == 0:
                with self.model.lock:
                    self.model.batches[bid] = "open"
                return bid
            if r.rc == 1:
                raise RuntimeError("batch open %s refused: %s" % (bid, r.message))
        return None

    def hand_over(self, bid):
        with self.model.lock:
            self.model.batches[bid] = "handed"
        self.model.handed.put(bid)
        self.mine = []

    def enter(self, bid):
        rng = self.rng
        self.count += 1
        kind = rng.choice(["check", "check", "deposit", "deposit", "withdrawal", "adjustment"])
        bank = rng.choice(self.banks)
        tag = "%s %d-%d" % (self.tag, self.n, self.count)
        day = ENTRY_DAY + datetime.timedelta(days=rng.randrange(20))
        amount = rng.randrange(100, 500000)
        args = ["--format", "json", "enter", kind, "--bank", bank, "--date", day.isoformat(), "--batch", bid]
        kw = {}
        if kind == "check":
            kw["check"] = self.check_next
            self.check_next += 1
            args += ["--check", kw["check"], "--account", "6000", "--payee", "Payee %d" % self.n]
            net = -amount
        elif kind == "deposit":
            kw["deposit_id"] = "%s-%d-%d" % (self.tag, self.n, self.count)
            items = rng.randrange(1, 4)
            per_item = [rng.randrange(1, 3) for _ in range(items)]
            parts = self.split(amount, sum(per_item))
            args += ["--deposit-id", kw["deposit_id"]]
            p = 0
            for item, lines in enumerate(per_item, 1):
                for _ in range(lines):
                    args += ["--line", "%s=%s@%d" % (["4000", "4100"][p % 2] if lines > 1 else rng.choice(["4000", "4100"]),
                                                     money(parts[p]), item)]
                    p += 1
            kw["items"], kw["lines"] = items, sum(per_item)
            net = amount
        elif kind == "withdrawal":
            details = rng.randrange(1, 4)
            for account, part in zip(rng.sample(["6000", "6100", "6200"], details), self.split(amount, details)):
                args += ["--line", "%s=%s" % (account, money(part))]
            kw["details"] = details
            net = -amount
        else:
            net = amount if rng.random() < 0.5 else -amount
            args += ["--account", "4100"]
        args += ["--amount=" + money(net if kind == "adjustment" else amount), "--desc", tag]
        e = Entry(tag, kind, bank, net, bid, **kw)
        r = self.call(*args)
        if r.rc == 0:
            row = (r.json() or [{}])[0]
            e.run, e.seq = int(row.get("run", row.get("Run", 0))), int(row.get("sequence", row.get("Sequence", 0)))
            e.state = "done"
            self.mine.append(e)
        else:
            e.state = "refused"
        self.model.add(e)

    @staticmethod
    def split(total, n):
        """`total` cents in `n` parts of at least 1 cent each."""
        if n == 1 or total < n:
            return [total] + [0] * (n - 1) if total < n else [total]
        cuts = sorted(random.sample(range(1, total), n - 1))
        return [b - a for a, b in zip([0] + cuts, cuts + [total])]

    def transfer(self, bid):
        self.count += 1
        a, b = self.rng.sample(self.banks, 2)
        amount = self.rng.randrange(100, 100000)
        tag = "%s %d-%d" % (self.tag, self.n, self.count)
        day = ENTRY_DAY + datetime.timedelta(days=self.rng.randrange(20))
        e = Entry(tag, "transfer", a, amount, bid, to=b)
        r = self.call("transfer", a, b, "--amount", money(amount), "--date", day.isoformat(), "--desc", tag,
                      "--batch", bid)
        e.state = "done" if r.rc == 0 else "refused"
        self.model.add(e)

    def remove(self):
        e = self.rng.choice(self.mine)
        r = self.call("remove", e.bank, e.run, e.seq)
        if r.rc == 0:
            e.state = "removed"
            self.mine.remove(e)

    def work(self):
        k = 0
        bid = self.open_batch(k)
        ops = 0
        while not self.stop.is_set() and bid:
            x = self.rng.random()
            if x < 0.12:
                self.transfer(bid)
            elif x < 0.24 and self.mine:
                self.remove()
            else:
                self.enter(bid)
            ops += 1
            if ops % 8 == 0:
                self.hand_over(bid)
                k += 1
                bid = self.open_batch(k)
        if bid:
            self.hand_over(bid)


class Poster(Program):
    def work(self):
        pending = []
        while True:
            try:
                while True:
                    pending.append(self.model.handed.get_nowait())
            except queue.Empty:
                pass
            if not pending:
                if self.stop.is_set():
                    return
                time.sleep(0.1)
                continue
            bid = pending.pop(0)
            r = self.call("post", bid, "--journal", os.devnull)
            if r.rc == 3:
                pending.append(bid)
                continue
            if r.rc != 0:
                continue  # told why; the batch stays as it is
            with self.model.lock:
                self.model.batches[bid] = "posted"
                for e in self.model.entries.values():
                    if e.batch == bid and e.state == "done":
                        e.posted = True
            r = self.call("batch", "close", bid)
            if r.rc == 0:
                with self.model.lock:
                    self.model.batches[bid] = "closed"
            if self.stop.is_set() and self.rng.random() < 0.5:
                return


class Reconciler(Program):
    def __init__(self, banks, **kw):
        super().__init__("reconcile", **kw)
        self.banks = banks
        self.last = {b: OPENING for b in banks}    # last reconciled balance (the opening one)
        self.day = {b: 0 for b in banks}           # statements so far
        self.in_progress = {b: False for b in banks}

    def statement_date(self, bank):
        return FIRST_STATEMENT + datetime.timedelta(days=self.day[bank])

    def work(self):
        i = 0
        while not self.stop.is_set():
            bank = self.banks[i % len(self.banks)]
            i += 1
            if not self.in_progress[bank]:
                self.clear_some(bank)
            self.reconcile(bank)
            time.sleep(0.05)

    def clear_some(self, bank):
        with self.model.lock:
            open_ = [e for e in self.model.entries.values()
                     if e.bank == bank and e.posted and e.state == "done" and not e.reconciled
                     and e.kind in ("check", "deposit") and e.cleared != e.net]
        date = self.statement_date(bank).isoformat()
        for e in self.rng.sample(open_, min(3, len(open_))):
            by = ["--check", e.check] if e.kind == "check" else ["--deposit-id", e.deposit_id]
            if self.rng.random() < 0.25:
                wrong = e.net + (1 if e.net > 0 else -1)
                if self.call("clear", bank, *by, "--amount=" + money(wrong), "--date", date).rc == 0:
                    e.cleared = wrong
            if self.call("clear", bank, *by, "--date", date).rc == 0:
                e.cleared = e.net

    def reconcile(self, bank):
        with self.model.lock:
            cleared = [e for e in self.model.entries.values()
                       if e.bank == bank and e.cleared is not None and not e.reconciled]
        if not cleared or any(e.cleared != e.net for e in cleared):
            return
        ending = self.last[bank] + sum(e.net for e in cleared)
        date = self.statement_date(bank).isoformat()
        if self.in_progress[bank]:
            r = self.call("reconcile", "finish", bank)
        elif self.day[bank] % 3 == 2:
            r = self.call("reconcile", "start", bank, "--date", date, "--ending-balance=" + money(ending))
            if r.rc != 0:
                return
            self.in_progress[bank] = True
            self.call("reconcile", "status", bank)
            r = self.call("reconcile", "finish", bank)
        else:
            r = self.call("reconcile", "finish", bank, "--date", date, "--ending=" + money(ending))
        if r.rc == 0:
            with self.model.lock:
                for e in cleared:
                    e.reconciled = True
            self.last[bank] = ending
            self.day[bank] += 1
            self.in_progress[bank] = False
        elif r.rc == 1:
            self.model.problem("reconcile: %s refused against the programs' own records: %s" % (bank, r.message))


class Backup(Program):
    def __init__(self, folder, every, **kw):
        super().__init__("backup", **kw)
        self.folder = folder
        self.every = every
        self.taken = []

    def work(self):
        n = 0
        while not self.stop.wait(self.every):
            d = os.path.join(self.folder, "b%03d" % n)
            n += 1
            os.makedirs(d, mode=0o700)
            if self.call("backup", os.path.join(d, "company.db")).rc == 0:
                self.taken.append(d)


def set_up(bk, banks):
    bk.must("init")
    for a in GL_ACCOUNTS:
        bk.run("gl", "account", "add", a)  # present already in a reused company
    bk.run("gl", "period", "add", "", "--year", "2026")
    bk.must("gl", "interface", "on")
    for b in banks:
        bk.must("bank", "add", b, "--balance", money(OPENING), "--cash-account", "1000")


def check(args, bk, model, banks, backups, dumped):
    """Every promise of the module docstring; the list of what broke."""
    bad = list(model.problems)
    trans = [d for d in dumped if d["kind"] == "tran" and d["bank"] in banks]
    # No key used twice.
    for f in ("register", "history"):
        seen = collections.Counter((d["bank"], d["run"], d["seq"]) for d in trans if d["file"] == f)
        bad += ["%s: %s run %d sequence %d used %d times" % (f, k[0], k[1], k[2], n) for k, n in seen.items() if n > 1]
    for f in ("waiting", "posted"):
        seen = collections.Counter((d["run"], d["seq"]) for d in dumped if d["kind"] == "gl" and d["file"] == f)
        bad += ["general ledger %s: run %d sequence %d used %d times" % (f, k[0], k[1], n)
                for k, n in seen.items() if n > 1]
    bad += ["%s: details of %s run %d sequence %d left without their transaction" % (d["file"], d["bank"], d["run"],
                                                                                    d["seq"])
            for d in dumped if d["kind"] == "orphan"]
    by_tag = collections.defaultdict(list)
    for d in trans:
        by_tag[d["desc"]].append(d)
    for e in model.entries.values():
        rows = by_tag.pop(e.tag, [])
        want = {"done": 2 if e.kind == "transfer" else 1}.get(e.state, 0)
        if len(rows) != want:
            bad.append("%s (%s %s, reported %s) is there %d times" % (e.tag, e.kind, e.bank, e.state, len(rows)))
            continue
        if not rows:
            continue
        if e.kind == "transfer":
            sides = sorted(rows, key=lambda d: d["direction"])
            if [d["bank"] for d in sides] != [e.bank, e.to] or [d["cents"] for d in sides] != [-e.net, e.net] \
                    or len({(d["run"], d["transfer"]) for d in sides}) != 1:
                bad.append("transfer %s: sides %s" % (e.tag, sides))
            continue
        d = rows[0]
        where = "history" if e.posted else None
        if d["type"] != TYPES[e.kind] or d["cents"] != e.net or d["bank"] != e.bank or d["batch"] != e.batch:
            bad.append("%s: entered %s %s %d in %s, found %s" % (e.tag, e.kind, e.bank, e.net, e.batch, d))
        if (d["items"], d["item_lines"], d["withdrawal_details"]) != (e.items, e.lines, e.details):
            bad.append("%s: entered with %d items, %d lines, %d details; found %s" % (
                e.tag, e.items, e.lines, e.details, d))
        if where and (d["file"] != where or not d["posted"]):
            bad.append("%s: reported posted, found in the %s" % (e.tag, d["file"]))
        want_state = 3 if e.reconciled else 2 if e.cleared is not None else 1
        if d["state"] != want_state or (e.cleared is not None and d["cleared_cents"] != e.cleared):
            bad.append("%s: state %d cleared %d, the programs' records say %d cleared %s" % (
                e.tag, d["state"], d["cleared_cents"], want_state, e.cleared))
    bad += ["%s: there, but no program reported entering it: %s" % (tag, rows) for tag, rows in by_tag.items()]
    # Posted batches: nothing left in the register; lines posted, none waiting.
    posted = {b for b, s in model.batches.items() if s in ("posted", "closed")}
    for d in trans:
        if d["file"] == "register" and d["batch"] in posted:
            bad.append("batch %s reported posted, but %s is in the register" % (d["batch"], d["desc"]))
    gl = [d for d in dumped if d["kind"] == "gl" and d["batch"] in posted]
    bad += ["batch %s reported posted, but its general-ledger line %s waits" % (d["batch"], d)
            for d in gl if d["file"] == "waiting"]
    for b in posted:
        if any(e.batch == b and e.state == "done" and e.kind in ("deposit", "withdrawal", "adjustment")
               for e in model.entries.values()) \
                and not any(d["batch"] == b and d["file"] == "posted" for d in gl):
            bad.append("batch %s reported posted, but none of its general-ledger lines is posted" % b)
    # Balances against the programs' own records.
    for b in banks:
        reg = OPENING
        bank = OPENING
        rec = OPENING
        for e in model.entries.values():
            if e.state != "done":
                continue
            if e.kind == "transfer":
                reg += -e.net if e.bank == b else e.net if e.to == b else 0
                continue
            if e.bank != b:
                continue
            reg += e.net
            bank += e.cleared or 0
            rec += e.net if e.reconciled else 0
        for kind, want in (("register", reg), ("bank", bank), ("reconciled", rec)):
            r = bk.run("--format", "json", "balance", b, "--kind", kind, "--as-of", "2099-12-31")
            got = None
            if r.rc == 0:
                row = r.json()[0]
                got = cents(next(v for k, v in row.items() if k.lower() in ("balance", "amount")))
            if got != want:
                bad.append("%s balance of %s: bkreg says %s, the programs' records %s (%s)" % (
                    kind, b, got, money(want), r.message))
    # verify on the live company and every backup.
    for company in [bk.company] + backups:
        r = Bkreg(bk.program, company, log=bk.log, name="check").run("verify")
        if r.rc != 0:
            bad.append("verify of %s: exit %d: %s%s" % (company, r.rc, r.out.strip()[-2000:], r.err.strip()))
    return bad


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bkreg", required=True)
    ap.add_argument("--dump", required=True, help="bk_company_dump")
    ap.add_argument("--company", help="company address (default: a new folder under --work)")
    ap.add_argument("--server-settings", help="a test server's settings file: the company is a new database on it")
    ap.add_argument("--programs", type=int, default=4, help="programs besides the backup (at least 3)")
    ap.add_argument("--seconds", type=float, default=20)
    ap.add_argument("--wait", type=float, default=10, help="bkreg --wait for accounts and run headers")
    ap.add_argument("--backup-every", type=float, default=2)
    ap.add_argument("--work", help="folder for the log and backups (default: a new temporary folder)")
    ap.add_argument("--seed", type=int, default=int(time.time()))
    ap.add_argument("--keep", action="store_true", help="keep the work folder")
    ap.add_argument("--without", default="", help="programs left out, comma-separated: post, reconcile, backup "
                    "(to narrow a fault down)")
    args = ap.parse_args()

    work = args.work or tempfile.mkdtemp(prefix="bk-soak-")
    os.makedirs(work, exist_ok=True)
    company = args.company or (server_company(args.server_settings, "bksoak", work) if args.server_settings
                               else os.path.join(work, "company"))
    backups = os.path.join(work, "backups")
    os.makedirs(backups, exist_ok=True)
    log_path = os.path.join(work, "soak.log")
    log = open(log_path, "w")
    rng = random.Random(args.seed)
    tag = "%04X" % rng.randrange(0x10000)
    banks = ["SK%sA" % tag, "SK%sB" % tag, "SK%sC" % tag]
    bk = Bkreg(args.bkreg, company, wait=args.wait, log=log)
    print("soak: seed %d, company %s, log %s" % (args.seed, company, log_path), flush=True)
    set_up(bk, banks)

    model = Model()
    stop = threading.Event()
    enterers = max(1, args.programs - 2)
    programs = []
    for n in range(enterers):
        programs.append(Enterer(n, banks, tag, 100000 * (n + 1) + rng.randrange(1000) * 100000000,
                                bk=bk.with_name("enter-%d" % n), model=model, stop=stop,
                                rng=random.Random(rng.random())))
    without = set(filter(None, args.without.split(",")))
    programs.append(Poster("post", bk=bk.with_name("post"), model=model, stop=stop, rng=random.Random(rng.random())))
    programs.append(Reconciler(banks, bk=bk.with_name("reconcile"), model=model, stop=stop,
                               rng=random.Random(rng.random())))
    backup = Backup(backups, args.backup_every, bk=bk.with_name("backup"), model=model, stop=stop,
                    rng=random.Random(rng.random()))
    programs.append(backup)
    programs = [p for p in programs if p.name not in without]
    t0 = time.monotonic()
    for p in programs:
        p.start()
    time.sleep(args.seconds)
    stop.set()
    for p in programs:
        p.join()
    elapsed = time.monotonic() - t0

    print("%-10s %6s %8s %7s %7s %7s  %s" % ("program", "calls", "calls/s", "exit 0", "exit 1", "exit 3", "other"))
    total = collections.Counter()
    for p in programs:
        n = sum(p.calls.values())
        total.update(p.calls)
        other = {k: v for k, v in p.calls.items() if k not in (0, 1, 3)}
        print("%-10s %6d %8.2f %7d %7d %7d  %s" % (p.name, n, n / elapsed, p.calls[0], p.calls[1], p.calls[3],
                                                  other or ""))
    n = sum(total.values())
    print("all        %6d %8.2f  refused (1): %.2f%%  busy (3): %.2f%%  in %.1f s" % (
        n, n / elapsed, 100.0 * total[1] / max(n, 1), 100.0 * total[3] / max(n, 1), elapsed))
    refusals = collections.Counter()
    for p in programs:
        for k, v in p.by_command.items():
            if not k.endswith(" 0"):
                refusals[k] += v
    if refusals:
        print("refusals by command and exit status: " + ", ".join("%s: %d" % kv for kv in sorted(refusals.items())))
    done = sum(1 for e in model.entries.values() if e.state == "done")
    print("entries: %d done, %d refused, %d removed; batches posted %d; reconciled %d; backups %d" % (
        done, sum(1 for e in model.entries.values() if e.state == "refused"),
        sum(1 for e in model.entries.values() if e.state == "removed"),
        sum(1 for s in model.batches.values() if s in ("posted", "closed")),
        sum(1 for e in model.entries.values() if e.reconciled), len(backup.taken)), flush=True)

    bad = check(args, bk, model, banks, backup.taken, dump(args.dump, company))
    if n == 0 or done == 0:
        bad.append("no work was done")
    for b in bad[:50]:
        print("FAULT: " + b)
    if bad:
        print("soak: %d faults (log: %s)" % (len(bad), log_path))
        return 1
    print("soak: clean")
    if not args.keep and not args.work:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
