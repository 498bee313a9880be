#!/usr/bin/env python3
"""The web register's reconciliation page on a large account.

usage: reconcile_bench.py --bkreg PATH [--n 1000000] [--lines 2000] [--open 3000]
                          [--rounds 3] [--ticks 200] [--work DIR] [--fresh]

Builds once (kept under --work, default /tmp/bk-bench-recon/nN) a company
whose bank account BIG holds N posted transactions: all but the last --open
reconciled month by month on earlier statements (as years of use leave
them), the last --open in June 2026, open. The rows are written straight
into the company's database by SQL (a million entries through the commands
would take the better part of an hour); the account's last reconciliation
is set to May 2026 so a June statement can be imported.

The statement: --lines OFX lines of June, each the amount of one of the
open transactions a day after its date (an exact match each).

Each round starts from a fresh copy of the built company, runs `bkreg
serve`, signs in, and times:
  - upload to matched page: the statement posted to /reconcile/upload (the
    file read, every line matched and cleared), then the page it leads to
    (figures, statement lines with their results, outstanding items);
  - ticks: --ticks ticks and unticks of open items not on the statement,
    each a POST of /reconcile/tick asking for JSON, timed by the client
    (the round trip over loopback) and by the server (its Server-Timing).

Prints the medians and 95th percentiles and exits 1 when an answer was not
what it should be.
"""
from __future__ import annotations

import argparse
import json
import os
import re
import shutil
import sqlite3
import statistics
import subprocess
import sys
import time
import urllib.parse
import http.client
import uuid
from pathlib import Path

BANK = "BIG"


def run(cmd):
    p = subprocess.run([str(c) for c in cmd], capture_output=True, text=True)
    if p.returncode != 0:
        raise SystemExit("failed: %s\n%s%s" % (" ".join(map(str, cmd)), p.stdout, p.stderr))
    return p.stdout


def ymd(days_from_2000: int) -> int:
    t = time.gmtime(946684800 + days_from_2000 * 86400)
    return t.tm_year * 10000 + t.tm_mon * 100 + t.tm_mday


def build(bkreg: str, work: Path, n: int, open_n: int, lines: int, fresh: bool) -> tuple[Path, Path]:
    company, statement = work / "company", work / "june.ofx"
    if fresh and work.exists():
        shutil.rmtree(work)
    if (work / "done").exists():
        return company, statement
    work.mkdir(parents=True, exist_ok=True)
    if company.exists():
        shutil.rmtree(company)
    t0 = time.monotonic()
    run([bkreg, "--company", company, "init"])
    run([bkreg, "--company", company, "bank", "add", BANK, "--balance", "0.00"])
    run([bkreg, "--company", company, "bank", "edit", BANK, "--account-number", "4711"])
    db = sqlite3.connect(company / "company.db")
    db.execute("PRAGMA synchronous=OFF")
    old = n - open_n
    # Reconciled rows: dates spread over 2000-01-01 .. 2026-05-31 in order;
    # each on the statement of its month's end. Deposits and withdrawals
    # alternate; amounts 0.01 .. 5,000.00.
    span = 9647  # days from 2000-01-01 to 2026-05-31
    rows = []
    reconciled = 0
    for i in range(n):
        run_no, seq = 1 + i // 1000, 1 + i % 1000
        if i < old:
            d = ymd(i * span // max(old, 1))
            stmt = (d // 100) * 100 + 28
        else:
            d = 20260601 + (i - old) * 29 // max(open_n, 1)
            stmt = 0
        cents = 1 + (i * 7919) % 500000
        deposit = i % 2 == 0
        sub, add = (0, cents) if deposit else (cents, 0)
        net = add - sub
        if i < old:
            reconciled += net
            rows.append((BANK, run_no, seq, 2 if deposit else 3, d, d, sub, add, 1, 3, net, d, 3, stmt))
        else:
            rows.append((BANK, run_no, seq, 2 if deposit else 3, d, d, sub, add, 1, 1, 0, 0, 1, 0))
        if len(rows) == 50000:
            db.executemany('INSERT INTO "f_BKT_2_r1"(TBNKACC,TRUN,TSEQ,TRANTYP,TTRANDT,TACTGDT,TSUBTR,TADD,TPOSTED,'
                           'TRECOND,TRECAMT,TRECDT,TCURREC,TSTMTDT) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)', rows)
            rows = []
    if rows:
        db.executemany('INSERT INTO "f_BKT_2_r1"(TBNKACC,TRUN,TSEQ,TRANTYP,TTRANDT,TACTGDT,TSUBTR,TADD,TPOSTED,'
                       'TRECOND,TRECAMT,TRECDT,TCURREC,TSTMTDT) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)', rows)
    db.execute('UPDATE "f_BKM_1_r1" SET BRECBAL=?, BRECDT=20260531 WHERE BANKACC=?', (reconciled, BANK))
    db.commit()
    db.execute("ANALYZE")
    db.close()
    # The statement: exact matches of the first `lines` open rows.
    total = reconciled
    items = []
    for k in range(lines):
        i = old + k
        d = 20260601 + k * 29 // max(open_n, 1)
        cents = 1 + (i * 7919) % 500000
        net = cents if i % 2 == 0 else -cents
        total += net
        items.append("<STMTTRN><TRNTYPE>%s<DTPOSTED>%d<TRNAMT>%s<FITID>J%d<NAME>Line %d</STMTTRN>" %
                     ("CREDIT" if net > 0 else "DEBIT", d + 1, cents_text(net), k, k))
    with open(statement, "w") as f:
        f.write("OFXHEADER:100\nDATA:OFXSGML\nVERSION:102\nSECURITY:NONE\nENCODING:USASCII\nCHARSET:1252\n"
                "COMPRESSION:NONE\nOLDFILEUID:NONE\nNEWFILEUID:NONE\n\n<OFX><BANKMSGSRSV1><STMTTRNRS><TRNUID>1"
                "<STATUS><CODE>0<SEVERITY>INFO</STATUS><STMTRS><CURDEF>USD<BANKACCTFROM><BANKID>1<ACCTID>4711"
                "<ACCTTYPE>CHECKING</BANKACCTFROM><BANKTRANLIST><DTSTART>20260601<DTEND>20260630\n")
        f.write("\n".join(items))
        f.write("\n</BANKTRANLIST><LEDGERBAL><BALAMT>%s<DTASOF>20260630</LEDGERBAL></STMTRS></STMTTRNRS>"
                "</BANKMSGSRSV1></OFX>\n" % cents_text(total))
    (work / "done").write_text("")
    print(f"built {n} transactions ({open_n} open) in {time.monotonic() - t0:.1f} s", file=sys.stderr)
    return company, statement


def cents_text(c: int) -> str:
    sign = "-" if c < 0 else ""
    c = abs(c)
    return "%s%d.%02d" % (sign, c // 100, c % 100)


class Client:
    def __init__(self, base: str):
        u = urllib.parse.urlparse(base)
        self.host, self.port = u.hostname, u.port
        self.cookie = ""
        self.csrf = ""

    def request(self, method, path, body=None, headers=None):
        c = http.client.HTTPConnection(self.host, self.port, timeout=600)
        h = {"Cookie": self.cookie} if self.cookie else {}
        h.update(headers or {})
        c.request(method, path, body=body, headers=h)
        r = c.getresponse()
        data = r.read()
        c.close()
        return r, data

    def login(self, login_path):
        r, _ = self.request("GET", login_path)
        self.cookie = r.getheader("Set-Cookie").split(";")[0]
        r, page = self.request("GET", "/reconcile?bank=" + BANK)
        self.csrf = re.search(rb'name="csrf" value="([0-9a-f]+)"', page).group(1).decode()


def one_round(bkreg: str, built: Path, statement: Path, work: Path, ticks: int) -> dict:
    company = work / "round"
    if company.exists():
        shutil.rmtree(company)
    shutil.copytree(built, company)
    p = subprocess.Popen([bkreg, "--company", str(company), "serve", "--listen", "127.0.0.1:0"],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, stdin=subprocess.DEVNULL)
    try:
        line = p.stdout.readline() + p.stdout.readline()
        m = re.search(r"http://127\.0\.0\.1:(\d+)(/login\?token=[0-9a-f]+)", line)
        if not m:
            raise SystemExit("the server printed no address: " + line)
        client = Client("http://127.0.0.1:" + m.group(1))
        client.login(m.group(2))
        boundary = uuid.uuid4().hex
        content = statement.read_bytes()
        parts = []
        for name, value in (("csrf", client.csrf), ("bank", BANK)):
            parts.append(("--%s\r\nContent-Disposition: form-data; name=\"%s\"\r\n\r\n%s\r\n" %
                          (boundary, name, value)).encode())
        parts.append(("--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"june.ofx\"\r\n"
                      "Content-Type: application/octet-stream\r\n\r\n" % boundary).encode() + content + b"\r\n")
        parts.append(("--%s--\r\n" % boundary).encode())
        body = b"".join(parts)
        t = time.perf_counter()
        r, _ = client.request("POST", "/reconcile/upload", body,
                              {"Content-Type": "multipart/form-data; boundary=" + boundary})
        if r.status != 303:
            raise SystemExit("upload answered %d" % r.status)
        r, page = client.request("GET", r.getheader("Location"))
        upload_s = time.perf_counter() - t
        cleared = page.count(b'class="line done"')
        if r.status != 200 or cleared != int(re.search(rb"matched: (\d+) lines", page).group(1)):
            raise SystemExit("the matched page is not as expected (%d cleared)" % cleared)
        # Items not on the statement: the open rows after the statement's.
        keys = re.findall(rb'data-key="(\d+)/(\d+)"><td><form', page)
        free = []
        for run_no, seq in keys:
            if ('id="tick-%s-%s">&#x2610;' % (run_no.decode(), seq.decode())).encode() in page:
                free.append((run_no.decode(), seq.decode()))
        free = free[:max(1, ticks // 2)]
        if not free:
            raise SystemExit("no open item to tick")
        client_ms, server_ms = [], []
        for i in range(ticks):
            run_no, seq = free[(i // 2) % len(free)]
            on = "1" if i % 2 == 0 else "0"
            form = urllib.parse.urlencode({"csrf": client.csrf, "bank": BANK, "run": run_no, "seq": seq, "on": on})
            t = time.perf_counter()
            r, data = client.request("POST", "/reconcile/tick", form,
                                     {"Content-Type": "application/x-www-form-urlencoded",
                                      "Accept": "application/json"})
            client_ms.append((time.perf_counter() - t) * 1000)
            answer = json.loads(data)
            if r.status != 200 or not answer["ok"]:
                raise SystemExit("tick answered %d: %s" % (r.status, answer))
            server_ms.append(float(re.search(r"dur=([0-9.]+)", r.getheader("Server-Timing")).group(1)))
        return {"upload_s": upload_s, "lines": cleared, "tick_client_ms": client_ms, "tick_server_ms": server_ms}
    finally:
        p.terminate()
        p.wait(timeout=60)
        shutil.rmtree(company, ignore_errors=True)


def pct(values, q):
    v = sorted(values)
    return v[min(len(v) - 1, int(q * len(v)))]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bkreg", required=True)
    ap.add_argument("--n", type=int, default=1000000)
    ap.add_argument("--lines", type=int, default=2000)
    ap.add_argument("--open", type=int, default=3000)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--ticks", type=int, default=200)
    ap.add_argument("--work", default="/tmp/bk-bench-recon")
    ap.add_argument("--fresh", action="store_true")
    a = ap.parse_args()
    work = Path(a.work) / ("n%d" % a.n)
    built, statement = build(a.bkreg, work, a.n, a.open, a.lines, a.fresh)
    uploads, client_ms, server_ms = [], [], []
    for _ in range(a.rounds):
        r = one_round(a.bkreg, built, statement, work, a.ticks)
        uploads.append(r["upload_s"])
        client_ms += r["tick_client_ms"]
        server_ms += r["tick_server_ms"]
    print(f"account of {a.n} transactions ({a.open} open), statement of {a.lines} lines, {a.rounds} rounds")
    print(f"upload to matched page: median {statistics.median(uploads):.2f} s, max {max(uploads):.2f} s (goal < 2 s)")
    print(f"tick round trip, server: median {statistics.median(server_ms):.1f} ms, p95 {pct(server_ms, .95):.1f} ms, "
          f"max {max(server_ms):.1f} ms (goal < 50 ms)")
    print(f"tick round trip, client over loopback: median {statistics.median(client_ms):.1f} ms, "
          f"p95 {pct(client_ms, .95):.1f} ms")
    ok = max(uploads) < 2.0 and pct(server_ms, .95) < 50.0
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
