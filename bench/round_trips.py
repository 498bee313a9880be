#!/usr/bin/env python3
"""Round trips to the server per bkreg operation on a PostgreSQL company.

usage: round_trips.py --bkreg PATH (--server-settings FILE | --company URL)
                      [--docs docs/postgresql.md] [--write] [--work DIR]

Each operation runs as one bkreg process with BKREG_ROUND_TRIPS=1 on a fresh
company set up the same way every time (a general ledger with its interface
on, accounts with opening balances, posted work to clear and to match), so
its count is the same from run to run: a changed count is a changed program.

The counts are compared with the table between the markers
"<!-- round-trips -->" and "<!-- /round-trips -->" in the docs file: exit 1
when an operation takes more round trips or connections than the table says
(a regression: the table printed below says what to write there when the
change is meant), 0 otherwise; fewer are reported, to be written in. --write puts the measured table in the docs file instead.
Exit 77 (skipped) when the settings file names no server.
"""

import argparse
import datetime
import os
import re
import sys
import subprocess
import tempfile
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "soak"))
from bkrun import Bkreg, server_company  # noqa: E402

TRIPS = re.compile(r"^round trips: (\d+) \(connections: (\d+)\)$", re.M)
# Round trips a slow moment of the machine added (an answer read ahead or
# kept aged past 100 ms before it was used): not the program's, left out.
AGED = re.compile(r"^round trips asked again for answers aged past 100 ms: (\d+)$", re.M)
MARK_BEGIN = "<!-- round-trips -->"
MARK_END = "<!-- /round-trips -->"
DAY = datetime.date(2026, 3, 2)


# With --count-from-log: the server's log of every request (the server runs
# with log_min_duration_statement=0), for a bkreg without the counter: each
# simple query, each parse and each execute was one round trip there.
SERVER_LOG = None
SECONDS = {}  # wall time of each measured operation
LOGGED = re.compile(r"duration: [\d.]+ ms  (statement|parse s\d+|execute s\d+|execute <unnamed>)")
CONNECTED = re.compile(r"connection authorized")


def measured(bk, *args):
    """Runs one command with the counter on: (round trips, connections, result)."""
    before = os.path.getsize(SERVER_LOG) if SERVER_LOG else 0
    r = bk.run(*args, env={"BKREG_ROUND_TRIPS": "1"})
    if r.rc != 0:
        raise RuntimeError("bkreg %s: exit %d: %s" % (" ".join(map(str, args)), r.rc, r.err.strip()))
    if SERVER_LOG:
        time.sleep(0.5)
        with open(SERVER_LOG, errors="replace") as f:
            f.seek(before)
            text = f.read()
        return len(LOGGED.findall(text)), len(CONNECTED.findall(text)), r
    m = TRIPS.search(r.err)
    if not m:
        raise RuntimeError("bkreg %s printed no round-trip count: %r" % (" ".join(map(str, args)), r.err))
    aged = AGED.search(r.err)
    if aged:
        print("note: %s: %s round trips asked again for aged answers, left out" % (" ".join(map(str, args)),
                                                                                  aged.group(1)))
    return int(m.group(1)) - (int(aged.group(1)) if aged else 0), int(m.group(2)), r


RUN_SEQ = re.compile(r"run (\d+), sequence (\d+)", re.I)


def operations(bk, work):
    """Sets the company up and measures each operation: [(name, trips, connections)]."""
    bk.must("init")
    for account in ["1000", "1010", "1020", "4000", "4100", "6000", "6100", "6200"]:
        bk.must("gl", "account", "add", account)
    bk.must("gl", "period", "add", "", "--year", "2026")
    bk.must("gl", "interface", "on")
    bk.must("bank", "add", "OPS", "--balance", "100000.00", "--cash-account", "1000")
    bk.must("bank", "add", "PAY", "--balance", "5000.00", "--cash-account", "1010")
    bk.must("bank", "add", "PAGE", "--balance", "100.00", "--cash-account", "1020")
    d = DAY.isoformat()
    # A first entry makes what entering makes once (the batch's record).
    bk.must("enter", "check", "--bank", "OPS", "--amount", "1.00", "--check", "100", "--date", d, "--account",
            "6000", "--batch", "DAY")
    out = []

    def op(name, *args):
        trips, conns, r = measured(bk, *args)
        out.append((name, trips, conns))
        SECONDS[name] = r.seconds
        return r

    r = op("enter a check", "enter", "check", "--bank", "OPS", "--amount", "12.50", "--check", "101", "--date", d,
           "--account", "6000", "--payee", "Harbor", "--desc", "Rent", "--batch", "DAY")
    op("enter a deposit with 3 items", "enter", "deposit", "--bank", "OPS", "--amount", "175.00", "--deposit-id",
       "D-1", "--date", d, "--line", "4000=100.00@1", "--line", "4000=50.00@2", "--line", "4100=25.00@3",
       "--batch", "DAY")
    op("enter a withdrawal with 3 details", "enter", "withdrawal", "--bank", "OPS", "--amount", "60.00", "--date", d,
       "--line", "6000=20.00", "--line", "6100=30.00", "--line", "6200=10.00", "--batch", "DAY")
    op("transfer", "transfer", "OPS", "PAY", "--amount", "5.00", "--date", d, "--batch", "DAY")
    r = bk.must("enter", "check", "--bank", "OPS", "--amount", "3.00", "--check", "102", "--date", d, "--account",
                "6000", "--batch", "DAY")
    m = RUN_SEQ.search(r.out)
    if not m:
        raise RuntimeError("enter printed no run and sequence: %r" % r.out)
    op("remove", "remove", "OPS", m.group(1), m.group(2))
    bk.must("enter", "check", "--bank", "OPS", "--amount", "7.00", "--check", "103", "--date", d, "--account",
            "6000", "--batch", "ONE")
    op("post one transaction", "post", "ONE")
    op("clear", "clear", "OPS", "--check", "103", "--date", d)
    # Sample transactions (generate) are entered with the interface off:
    # they carry no general-ledger lines.
    bk.must("gl", "interface", "off")
    bk.must("generate", "--bank", "OPS", "--count", "1000", "--from", "2026-03-01", "--batch", "G1000")
    bk.must("generate", "--bank", "PAGE", "--count", "49", "--from", "2026-03-01", "--batch", "PAGE")
    bk.must("bank", "add", "STMT", "--balance", "10000.00", "--cash-account", "1000")
    bk.must("generate", "--bank", "STMT", "--count", "100", "--from", "2026-03-01", "--batch", "STMT")
    bk.must("gl", "interface", "on")
    op("post a batch of 1,000", "post", "G1000")
    op("register page of 50 lines", "--format", "csv", "register", "PAGE")
    op("as-of balance", "balance", "OPS", "--as-of", "2026-03-15")
    # A statement of 100 lines, each matching one posted transaction of its
    # own account by amount and date.
    bk.must("post", "STMT")
    rows = bk.must("export", "STMT", "--format", "csv").out.splitlines()
    lines = []
    for row in rows:
        cols = row.split(",")
        if len(cols) < 4 or not re.match(r"\d{4}-\d\d-\d\d$", cols[0]):
            continue
        if cols[1] == "opening":
            continue
        lines.append((cols[0], cols[3]))
    total = 0
    for _, amount in lines:
        total += round(float(amount) * 100)
    path = os.path.join(work, "statement.csv")
    with open(path, "w") as f:
        f.write("date,amount,memo\n")
        for i, (day, amount) in enumerate(lines):
            f.write("%s,%s,line %d\n" % (day, amount, i + 1))
    ending = 1000000 + total
    mapping = "date=date;amount=amount;memo=memo;statement_date=2026-06-30;ending_balance=%d.%02d" % (
        ending // 100, ending % 100)
    op("statement import of %d lines" % len(lines), "statement", "import", "STMT", path, "--format", "csv",
       "--mapping", mapping)
    return out


def table(rows):
    text = ["| Operation | Round trips | Connections |", "| --- | ---: | ---: |"]
    for name, trips, conns in rows:
        text.append("| %s | %d | %d |" % (name, trips, conns))
    return "\n".join(text)


def documented(docs):
    with open(docs) as f:
        text = f.read()
    if MARK_BEGIN not in text or MARK_END not in text:
        return None, text
    body = text.split(MARK_BEGIN, 1)[1].split(MARK_END, 1)[0]
    rows = {}
    for line in body.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) >= 3 and cells[1].isdigit():
            rows[cells[0]] = (int(cells[1]), int(cells[2]))
    return rows, text


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bkreg", required=True)
    ap.add_argument("--server-settings")
    ap.add_argument("--company")
    ap.add_argument("--docs", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs",
                                                   "postgresql.md"))
    ap.add_argument("--write", action="store_true", help="write the measured table into the docs file")
    ap.add_argument("--work")
    ap.add_argument("--count-from-log", help="count from this server log instead (see SERVER_LOG)")
    ap.add_argument("--delay-ms", type=float, default=0,
                    help="reach the server through bench/delay_proxy.py adding this round-trip delay")
    ap.add_argument("--times", action="store_true", help="print each operation's wall time too")
    a = ap.parse_args()
    global SERVER_LOG
    SERVER_LOG = a.count_from_log
    work = a.work or tempfile.mkdtemp(prefix="bk-round-trips-")
    os.makedirs(work, exist_ok=True)
    if a.company:
        company = a.company
        os.environ.setdefault("BKREG_LOCAL_DIR", os.path.join(work, "local"))
    elif a.server_settings:
        company = server_company(a.server_settings, "round_trips", work)
    else:
        ap.error("--server-settings or --company")
    proxy = None
    if a.delay_ms:
        port = urllib.parse.urlparse(company).port
        proxy = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                               "delay_proxy.py"), "--to", str(port),
                                  "--delay-ms", str(a.delay_ms)], stdout=subprocess.PIPE, text=True)
        company = company.replace(":%d/" % port, ":%s/" % proxy.stdout.readline().split()[-1])
    try:
        with open(os.path.join(work, "round_trips.log"), "w") as log:
            bk = Bkreg(os.path.abspath(a.bkreg), company, log=log)
            rows = operations(bk, work)
    finally:
        if proxy:
            proxy.terminate()
            proxy.wait()
    print(table(rows))
    if a.times:
        print("\nseconds per operation (%g ms added round-trip delay):" % a.delay_ms)
        for name, trips, _ in rows:
            print("  %-36s %8.3f s  (%d round trips x %g ms = %.3f s)" % (name, SECONDS[name], trips, a.delay_ms,
                                                                     trips * a.delay_ms / 1000))
    expected, text = documented(a.docs)
    if a.write:
        new = table(rows)
        if expected is None:
            text += "\n%s\n%s\n%s\n" % (MARK_BEGIN, new, MARK_END)
        else:
            head, rest = text.split(MARK_BEGIN, 1)
            text = head + MARK_BEGIN + "\n" + new + "\n" + MARK_END + rest.split(MARK_END, 1)[1]
        with open(a.docs, "w") as f:
            f.write(text)
        print("written to %s" % a.docs)
        return 0
    if expected is None:
        print("FAIL: %s has no round-trip table (run with --write)" % a.docs)
        return 1
    def worse(n, t, c):
        was = expected.get(n)
        return was is None or t > was[0] or c > was[1]
    for n, t, c in rows:
        if not worse(n, t, c) and expected.get(n) != (t, c):
            print("note: %s: %d round trips, %d connections, fewer than the table's %d, %d (write them in with --write)"
                  % ((n, t, c) + expected[n]))
    changed = [(n, t, c, expected.get(n)) for n, t, c in rows if worse(n, t, c)]
    for name, trips, conns, was in changed:
        print("FAIL: %s: %d round trips, %d connections; the table says %s" % (
            name, trips, conns, "%d, %d" % was if was else "nothing"))
    if changed:
        print("(more round trips is a changed program: if the change is meant, update the table with --write)")
        return 1
    print("%d passed, 0 failed" % len(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main())
