#!/usr/bin/env python3
"""Side-by-side benchmark: bkreg against plain-text ledgers and plain SQLite.

usage: compare.py --bkreg PATH [--n N] [--rounds R] [--work DIR] [--fresh] [--skip-missing]

Builds one register of N transactions of bank account BENCH twice: as a
company (bkreg init, bank add with an opening balance of 1,000.00, then
bkreg generate of N/2 transactions in batch POSTED, posted to history, and
of the other N/2 in batch OPEN from the same first day, unposted: the
register interleaves posted and unposted lines day by day) and as a
plain-text journal holding the same transactions in
register order (this script writes it from the rule bkreg generate documents:
the i-th transaction, from 0, is of type 1 + i % 4 - check, deposit,
withdrawal, adjustment - dated 2024-01-01 + i % 61 days, for
c = 1000 + i * 7919 % 90000 cents (deposits 4 * c), adjustments adding when
i % 8 == 3 and taking away otherwise, checks numbered 1000 + i, described
"Generated <i + 1>"; each half follows the rule from i = 0).
Both are kept under --work (default /tmp/bk-bench-compare/nN) and reused by
later runs unless --fresh.

Then, in one run, it times R rounds of every command below, alternating
(each round runs them all, starting at a different one), output to
/dev/null: bkreg register (text, csv, json); ledger register and hledger
register of the account; one plain SQLite query (sqlite3 command-line tool)
that streams the same rows in the same order with the same running balance;
bkreg bank list against ledger balance; the register balance at the end of
2024-01-31 by bkreg balance --as-of, ledger and hledger balance --end and a
SQLite query. Peak memory is the maximum resident size /usr/bin/time
reports. It checks that the final balances and the balances as of that day
agree to the cent (bkreg, SQLite, ledger, hledger) and prints a table of
medians, ratios and peak memory. Exit status 1 when they disagree.
"""
from __future__ import annotations

import argparse
import datetime
import decimal
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

BANK = "BENCH"
OPENING_CENTS = 100000
FIRST_DATE = datetime.date(2024, 1, 1)
AS_OF = FIRST_DATE + datetime.timedelta(days=30)  # the as-of balance: at the end of this day
END = AS_OF + datetime.timedelta(days=1)  # the plain-text ledgers' end dates are exclusive
ACCOUNT = f"Assets:Bank:{BANK}"


# ------------------------------------------------------------------ data

def transaction(i: int):
    """The i-th generated transaction: (date, type, check, signed cents, sequence)."""
    kind = 1 + i % 4
    cents = (1000 + (i * 7919) % 90000) * (4 if kind == 2 else 1)
    if kind in (1, 3) or (kind == 4 and i % 8 != 3):
        cents = -cents
    date = FIRST_DATE + datetime.timedelta(days=i % 61)
    check = 1000 + i if kind == 1 else 0
    return date, kind, check, cents, i + 1


def money(cents: int) -> str:
    sign = "-" if cents < 0 else ""
    return f"{sign}{abs(cents) // 100}.{abs(cents) % 100:02d}"


OTHER_SIDE = {1: "Expenses:Checks", 2: "Income:Deposits", 3: "Expenses:Withdrawals", 4: "Equity:Adjustments"}


def halves(n: int):
    """The generated transactions: the posted half, then the unposted half."""
    return [transaction(i) for i in range(n // 2)] + [transaction(i) for i in range(n - n // 2)]


def write_journal(path: Path, n: int) -> None:
    """Writes the journal in register order."""
    rows = halves(n)
    # Register order: date, check number, subtraction (the amount taken away), run, sequence.
    rows.sort(key=lambda r: (r[0], r[2], -r[3] if r[3] < 0 else 0, r[4]))
    with path.open("w") as f:
        f.write(f"{FIRST_DATE.isoformat()} Opening balance\n    {ACCOUNT}    {money(OPENING_CENTS)}\n"
                f"    Equity:Opening\n\n")
        for date, kind, check, cents, seq in rows:
            code = f" ({check})" if check else ""
            f.write(f"{date.isoformat()}{code} Generated {seq}\n    {ACCOUNT}    {money(cents)}\n"
                    f"    {OTHER_SIDE[kind]}\n\n")


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, text=True, capture_output=True, **kw).stdout


def build(work: Path, bkreg: str, n: int, fresh: bool) -> dict:
    """Builds (or finds) the company and the journal; how long building took, and bkreg generate's peak memory."""
    company, journal, stamp = work / "company", work / "register.journal", work / "built.json"
    if stamp.exists() and not fresh:
        return json.loads(stamp.read_text())
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    co = ["--company", str(company)]
    run([bkreg, *co, "init"])
    run([bkreg, *co, "bank", "add", BANK, "--desc", "Benchmark account", "--balance", money(OPENING_CENTS)])
    first = FIRST_DATE.isoformat()
    seconds, _, mb = timed([bkreg, *co, "generate", "--bank", BANK, "--count", str(n // 2), "--from", first,
                            "--batch", "POSTED"])
    run([bkreg, *co, "post", "POSTED", "--journal", os.devnull, "--unit", "10000"])
    more, _, mb2 = timed([bkreg, *co, "generate", "--bank", BANK, "--count", str(n - n // 2), "--from", first,
                          "--batch", "OPEN"])
    seconds, mb = seconds + more, max(mb, mb2)
    t0 = time.perf_counter()
    write_journal(journal, n)
    built = {"n": n, "generate_seconds": seconds, "generate_mb": mb, "journal_seconds": time.perf_counter() - t0}
    stamp.write_text(json.dumps(built))
    return built


# ------------------------------------------------------------------ commands

def sqlite_query() -> str:
    """The register's rows as bkreg shows them, in register order, with the running balance."""
    order = "TTRANDT,TCHECK,TSUBTR,TRUN,TSEQ"
    return (
        "SELECT printf('%04d-%02d-%02d',TTRANDT/10000,TTRANDT/100%100,TTRANDT%100),"
        "CASE TRANTYP WHEN 1 THEN 'Check' WHEN 2 THEN 'Deposit' WHEN 3 THEN 'Withdrawal' WHEN 4 THEN 'Adjustment' "
        "ELSE 'ERROR' END,"
        "CASE WHEN TRANTYP=1 THEN TCHECK ELSE TDEPID END,TDESC,printf('%.2f',(TADD-TSUBTR)/100.0),"
        "CASE TRECOND WHEN 1 THEN 'O' WHEN 2 THEN 'C' WHEN 3 THEN 'R' ELSE '' END,"
        f"printf('%.2f',((SELECT BRGBLNC FROM f_BKM_1_r1 WHERE BANKACC='{BANK}')"
        f"-(SELECT SUM(TADD-TSUBTR) FROM (SELECT TADD,TSUBTR FROM f_BKT_1_r1 WHERE TBNKACC='{BANK}' "
        f"UNION ALL SELECT TADD,TSUBTR FROM f_BKT_2_r1 WHERE TBNKACC='{BANK}'))"
        f"+SUM(TADD-TSUBTR) OVER (ORDER BY {order} ROWS UNBOUNDED PRECEDING))/100.0) "
        f"FROM (SELECT * FROM f_BKT_1_r1 WHERE TBNKACC='{BANK}' UNION ALL "
        f"SELECT * FROM f_BKT_2_r1 WHERE TBNKACC='{BANK}') ORDER BY {order};")


def sqlite_as_of_query() -> str:
    """The register balance at the end of AS_OF: the balance less what was dated after it."""
    ymd = AS_OF.strftime("%Y%m%d")
    return (f"SELECT printf('%.2f',((SELECT BRGBLNC FROM f_BKM_1_r1 WHERE BANKACC='{BANK}')"
            f"-(SELECT TOTAL(TADD-TSUBTR) FROM f_BKT_1_r1 WHERE TBNKACC='{BANK}' AND TTRANDT>{ymd})"
            f"-(SELECT TOTAL(TADD-TSUBTR) FROM f_BKT_2_r1 WHERE TBNKACC='{BANK}' AND TTRANDT>{ymd}))/100.0);")


def commands(bkreg: str, company: Path, journal: Path):
    co = ["--company", str(company)]
    db = str(company / "company.db")
    return {
        "bkreg register (text)": [bkreg, *co, "register", "--bank", BANK],
        "bkreg register (csv)": [bkreg, *co, "--format", "csv", "register", "--bank", BANK],
        "bkreg register (json)": [bkreg, *co, "--format", "json", "register", "--bank", BANK],
        "ledger register": ["ledger", "-f", str(journal), "register", ACCOUNT],
        "hledger register": ["hledger", "-f", str(journal), "register", ACCOUNT],
        "sqlite3 streaming query": ["sqlite3", "-readonly", db, sqlite_query()],
        "bkreg bank list": [bkreg, *co, "bank", "list"],
        "ledger balance": ["ledger", "-f", str(journal), "balance"],
        "bkreg balance --as-of": [bkreg, *co, "balance", BANK, "--as-of", AS_OF.isoformat()],
        "ledger balance --end": ["ledger", "-f", str(journal), "balance", ACCOUNT, "--end", END.isoformat()],
        "hledger balance --end": ["hledger", "-f", str(journal), "balance", ACCOUNT, "--end", END.isoformat()],
        "sqlite3 as-of query": ["sqlite3", "-readonly", db, sqlite_as_of_query()],
        "bkreg export (csv)": [bkreg, *co, "export", BANK],
        "bkreg export (journal)": [bkreg, *co, "export", BANK, "--format", "journal"],
        "bkreg verify": [bkreg, *co, "verify"],
    }


def plain_sqlite_insert(company: Path, csv_path: Path, target: Path) -> float:
    """Seconds to insert the rows of the import file, in one transaction, into a new database holding the
    register table's schema and indexes (copied from the company): what a plain SQLite bulk load costs."""
    import csv as csvmod
    import sqlite3
    target.unlink(missing_ok=True)
    src = sqlite3.connect(str(company / "company.db"))
    ddl = [r[0] for r in src.execute("SELECT sql FROM sqlite_master WHERE tbl_name='f_BKT_1_r1' AND sql IS NOT NULL")]
    src.close()
    types = {"check": 1, "deposit": 2, "withdrawal": 3, "adjustment": 4}
    rows = []
    with open(csv_path, newline="") as f:
        for i, (date, kind, number, amount, desc) in enumerate(csvmod.reader(f)):
            if i == 0:
                continue
            t = types[kind]
            cents = round(float(amount) * 100)
            sub, add = (cents, 0) if t in (1, 3) else ((-cents, 0) if cents < 0 else (0, cents))
            rows.append((BANK, i, 1, t, desc, int(date.replace("-", "")), sub, add, int(number) if t == 1 else 0,
                         number if t == 2 else "", 1))
    db = sqlite3.connect(str(target))
    db.execute("PRAGMA journal_mode=WAL")
    db.execute("PRAGMA synchronous=FULL")
    for stmt in ddl:
        db.execute(stmt)
    db.commit()
    t0 = time.perf_counter()
    db.executemany("INSERT INTO f_BKT_1_r1(TBNKACC,TRUN,TSEQ,TRANTYP,TDESC,TTRANDT,TSUBTR,TADD,TCHECK,TDEPID,TRECOND)"
                   " VALUES(?,?,?,?,?,?,?,?,?,?,?)", rows)
    db.commit()
    seconds = time.perf_counter() - t0
    db.close()
    return seconds


def import_figures(bkreg: str, work: Path) -> dict:
    """bkreg import of the register's own export into a fresh company, beside a plain SQLite bulk insert."""
    company, csv_path = work / "company", work / "register.csv"
    co = ["--company", str(company)]
    with open(csv_path, "w") as f:
        subprocess.run([bkreg, *co, "export", BANK], check=True, stdout=f)
    fresh = work / "imported"
    shutil.rmtree(fresh, ignore_errors=True)
    fco = ["--company", str(fresh)]
    run([bkreg, *fco, "init"])
    run([bkreg, *fco, "bank", "add", BANK, "--balance", money(OPENING_CENTS)])
    # The export holds each check number twice (the register is half posted, half not, by the same rule):
    # imports refuse a check number used before unless told to take it.
    seconds, processor, mb = timed([bkreg, *fco, "import", BANK, str(csv_path), "--allow-duplicate"])
    plain = plain_sqlite_insert(company, csv_path, work / "plain.db")
    shutil.rmtree(fresh, ignore_errors=True)
    return {"import_seconds": seconds, "import_processor": processor, "import_mb": mb, "plain_seconds": plain}


def timed(cmd):
    """Wall time (s), processor time (user + system, s) and peak resident size (MB) of one run, output discarded."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as t:
        t0 = time.perf_counter()
        p = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", "-o", t.name, *cmd], stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, text=True)
        elapsed = time.perf_counter() - t0
        if p.returncode != 0:
            raise SystemExit(f"failed ({p.returncode}): {' '.join(cmd[:4])} ...\n{p.stderr}")
        kb, user, system = t.read().split()[-3:]
    return elapsed, float(user) + float(system), int(kb) / 1024


# ------------------------------------------------------------------ balances

def cents_of(text: str) -> int:
    """Cents of an amount as the tools print it ("-1,234.5", "1234.50", "1234")."""
    try:
        v = decimal.Decimal(text.strip().replace(",", "")) * 100
    except decimal.InvalidOperation:
        raise ValueError(f"not an amount: {text!r}") from None
    if v != v.to_integral_value():
        raise ValueError(f"not a whole number of cents: {text!r}")
    return int(v)


def as_of_balances(bkreg: str, company: Path, journal: Path, expected: int):
    co = ["--company", str(company)]
    got = {"generator's rule": expected}
    out = run([bkreg, *co, "--format", "csv", "balance", BANK, "--as-of", AS_OF.isoformat()])
    got["bkreg balance"] = cents_of(out.rstrip("\r\n").split("\r\n")[-1].rsplit(",", 1)[1])
    got["sqlite3 query"] = cents_of(run(["sqlite3", "-readonly", str(company / "company.db"), sqlite_as_of_query()]))
    out = run(["ledger", "-f", str(journal), "balance", ACCOUNT, "--end", END.isoformat(),
               "--format", "%(display_total)\n"])
    got["ledger balance"] = cents_of(out.strip().splitlines()[-1])
    out = run(["hledger", "-f", str(journal), "balance", ACCOUNT, "--end", END.isoformat(), "-N", "--layout=bare"])
    got["hledger balance"] = cents_of(out.split()[0])
    return got


def balances(bkreg: str, company: Path, journal: Path, expected: int):
    co = ["--company", str(company)]
    got = {"generator's rule": expected}
    csv_out = run([bkreg, *co, "--format", "csv", "register", "--bank", BANK]).rstrip("\r\n").split("\r\n")
    got["bkreg register"] = cents_of(csv_out[-1].rsplit(",", 1)[1])
    banks = json.loads(run([bkreg, *co, "--format", "json", "bank", "list"]), parse_float=str)
    got["bkreg bank list"] = cents_of(str(next(b for b in banks if b["Bank"] == BANK)["Register"]))
    last = run(["sqlite3", "-readonly", str(company / "company.db"), sqlite_query()]).rstrip("\n")
    got["sqlite3 query"] = cents_of(last.rsplit("\n", 1)[-1].rsplit("|", 1)[1])
    out = run(["ledger", "-f", str(journal), "balance", ACCOUNT, "--format", "%(display_total)\n"])
    got["ledger balance"] = cents_of(out.strip().splitlines()[-1])
    out = run(["ledger", "-f", str(journal), "register", ACCOUNT, "--format", "%(display_total)\n"])
    got["ledger register"] = cents_of(out.strip().splitlines()[-1])
    out = run(["hledger", "-f", str(journal), "balance", ACCOUNT, "-N", "--layout=bare"])
    got["hledger balance"] = cents_of(out.split()[0])
    return got


# ------------------------------------------------------------------ main

def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--bkreg", required=True)
    ap.add_argument("--n", type=int, default=100000)
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--work", default=None)
    ap.add_argument("--fresh", action="store_true")
    ap.add_argument("--skip-missing", action="store_true",
                    help="exit 77 (skipped) instead of failing when a tool is missing")
    ap.add_argument("--only", default="",
                    help="time only the commands whose names hold one of these comma-separated texts (e.g. 'register' or "
                         "'bkreg register,ledger register'); no import figures")
    args = ap.parse_args(argv)
    for tool in ("ledger", "hledger", "sqlite3", "/usr/bin/time"):
        if not shutil.which(tool):
            print(f"{tool} is missing (make bench-compare installs it)", file=sys.stderr)
            return 77 if args.skip_missing else 2
    bkreg = os.path.abspath(args.bkreg)
    work = Path(args.work or f"/tmp/bk-bench-compare/n{args.n}")
    built = build(work, bkreg, args.n, args.fresh)
    company, journal = work / "company", work / "register.journal"
    expected = OPENING_CENTS + sum(t[3] for t in halves(args.n))

    agree = True
    expected_as_of = OPENING_CENTS + sum(t[3] for t in halves(args.n) if t[0] <= AS_OF)
    for title, got in (("final balances", balances(bkreg, company, journal, expected)),
                       (f"balances at the end of {AS_OF.isoformat()}",
                        as_of_balances(bkreg, company, journal, expected_as_of))):
        same = len(set(got.values())) == 1
        agree = agree and same
        print(f"{title} ({'agree' if same else 'DISAGREE'}):")
        for k, v in got.items():
            print(f"  {k:18} {money(v)}")

    cmds = commands(bkreg, company, journal)
    names = [k for k in cmds if any(part in k for part in args.only.split(","))]
    wall = {k: [] for k in names}
    cpu = {k: [] for k in names}
    peak = {k: 0.0 for k in names}
    for r in range(args.rounds):
        for k in names[r % len(names):] + names[:r % len(names)]:
            t, c, mb = timed(cmds[k])
            wall[k].append(t)
            cpu[k].append(c)
            peak[k] = max(peak[k], mb)
        print(f"round {r + 1}/{args.rounds} done", file=sys.stderr)

    med = {k: statistics.median(v) for k, v in wall.items()}
    mcpu = {k: statistics.median(v) for k, v in cpu.items()}
    print(f"\n{args.n} transactions, {args.rounds} rounds, medians (machine: {os.cpu_count()} cores, "
          f"load {os.getloadavg()[0]:.2f} at the end)\n")
    print("| Command | Wall time | Processor time | Peak memory |")
    print("| --- | ---: | ---: | ---: |")
    for k in names:
        print(f"| {k} | {med[k]:.3f} s | {mcpu[k]:.3f} s | {peak[k]:.1f} MB |")
    print(f"\nbuilding: bkreg generate {built['generate_seconds']:.1f} s (peak {built['generate_mb']:.1f} MB, "
          f"one run), journal {built['journal_seconds']:.1f} s")

    def ratio(a, b):
        if a not in med or b not in med:
            return "not timed"
        processor = f"x{mcpu[a] / mcpu[b]:.2f}" if mcpu[b] > 0 else "too short to tell"
        return f"x{med[a] / med[b]:.2f} (processor {processor})"

    print("\nratios of wall times (of processor times):")
    for fmt in ("text", "csv", "json"):
        b = f"bkreg register ({fmt})"
        print(f"  ledger register / {b}: {ratio('ledger register', b)}")
        print(f"  hledger register / {b}: {ratio('hledger register', b)}")
        print(f"  {b} / sqlite3 streaming query: {ratio(b, 'sqlite3 streaming query')}")
    print(f"  ledger balance / bkreg bank list: {ratio('ledger balance', 'bkreg bank list')}")
    for other in ("ledger balance --end", "hledger balance --end"):
        print(f"  {other} / bkreg balance --as-of: {ratio(other, 'bkreg balance --as-of')}")
    print(f"  bkreg balance --as-of / sqlite3 as-of query: {ratio('bkreg balance --as-of', 'sqlite3 as-of query')}")
    if args.only:
        return 0 if agree else 1

    imp = import_figures(bkreg, work)
    print(f"\nbkreg import of {args.n} transactions: {imp['import_seconds']:.2f} s (processor "
          f"{imp['import_processor']:.2f} s, peak {imp['import_mb']:.1f} MB); plain SQLite bulk insert of the same "
          f"rows: {imp['plain_seconds']:.2f} s; ratio x{imp['import_seconds'] / max(imp['plain_seconds'], 1e-6):.2f}")
    worst = max(list(peak.items()) + [("bkreg import", imp["import_mb"])], key=lambda kv: kv[1] if kv[0].startswith("bkreg") else 0)
    print(f"largest bkreg peak memory: {worst[0]} {worst[1]:.1f} MB")
    return 0 if agree else 1


if __name__ == "__main__":
    sys.exit(main())
