#!/usr/bin/env python3
"""bkreg on a PostgreSQL server against plain SQL doing the same work on the
same server, with 1, 4 and 16 programs at once; PostgreSQL's own pgbench
(its built-in TPC-B-like script) on the same server as the reference of how
far this machine lets anything grow with programs.

usage: backends_plain.py --bkreg PATH [--programs 1,4,16] [--count N]
                         [--rounds R] [--work DIR] [--pg-base URL]
                         [--delay-ms D] [--only bkreg,plain,pgbench]

Per number P of programs, every round, on a fresh database:
  bkreg   P programs each enter N transactions into an account of their
          own, a commit each (`bkreg generate --unit 1 --batch P<i>`), then
          each posts its batch (`bkreg post P<i>`): as bench/backends.py.
  plain   P processes each do what one entry does as plain SQL over libpq
          (one prepared statement per request, one round trip each, nothing
          sent together): take the register's run (its own short
          transaction), then in one transaction lock the account, look for
          a duplicate check, insert the transaction and its cash detail,
          update the account's and the batch's totals; then post the batch
          as posting does: take the general ledger's run (a short
          transaction), then in units of 1,000 read each transaction, copy
          it and its detail to history, delete them from the register,
          write its general-ledger line; update the ledger's accounts and
          the batch; commit.
  pgbench pgbench -c P -j P -T 10 on a scale-16 database (transactions/s).
Throughput: transactions entered or posted / wall time; medians of R rounds.

--delay-ms D puts D ms of round-trip delay between the programs and the
server: every connection goes through a proxy of this script's
(bench/delay_proxy.py) that holds each chunk D/2 ms each way.

A shared machine makes noisy figures: the load average is printed with
them.
"""
from __future__ import annotations

import argparse
import ctypes
import ctypes.util
import multiprocessing
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
POSTED = re.compile(r"^Posted batch \S+: (\d+) transactions to history", re.M)

SCHEMA = """
CREATE TABLE hdr (id INT PRIMARY KEY, run BIGINT NOT NULL);
INSERT INTO hdr VALUES (1, 0);
CREATE TABLE gl_hdr (id INT PRIMARY KEY, run BIGINT NOT NULL);
INSERT INTO gl_hdr VALUES (1, 0);
CREATE TABLE bank (id TEXT COLLATE "C" PRIMARY KEY, balance BIGINT NOT NULL, count BIGINT NOT NULL,
                   amount BIGINT NOT NULL);
CREATE TABLE batch (id TEXT COLLATE "C" PRIMARY KEY, count BIGINT NOT NULL, amount BIGINT NOT NULL,
                    posted BIGINT NOT NULL DEFAULT 0);
CREATE TABLE tran (bank TEXT COLLATE "C", run BIGINT, seq BIGINT, type INT NOT NULL, amount BIGINT NOT NULL,
                   day TEXT COLLATE "C" NOT NULL, chk BIGINT NOT NULL, descr TEXT COLLATE "C" NOT NULL,
                   batch TEXT COLLATE "C" NOT NULL, state INT NOT NULL DEFAULT 1, PRIMARY KEY (bank, run, seq));
CREATE INDEX tran_batch ON tran (batch, bank, run, seq);
CREATE INDEX tran_chk ON tran (bank, chk);
CREATE INDEX tran_day ON tran (bank, day);
CREATE TABLE tran_detail (bank TEXT COLLATE "C", run BIGINT, seq BIGINT, line INT, account TEXT COLLATE "C",
                          amount BIGINT NOT NULL, PRIMARY KEY (bank, run, seq, line));
CREATE TABLE hist (LIKE tran INCLUDING ALL);
CREATE TABLE hist_detail (LIKE tran_detail INCLUDING ALL);
CREATE TABLE gl_line (run BIGINT, seq BIGINT, account TEXT COLLATE "C" NOT NULL, amount BIGINT NOT NULL,
                      batch TEXT COLLATE "C" NOT NULL, PRIMARY KEY (run, seq));
CREATE TABLE gl_account (id TEXT COLLATE "C" PRIMARY KEY, debits BIGINT NOT NULL, credits BIGINT NOT NULL);
INSERT INTO gl_account VALUES ('1000', 0, 0), ('6000', 0, 0);
"""

# What one entry and one posting send, one request each.
STATEMENTS = {
    "run": "UPDATE hdr SET run = run + 1 WHERE id = 1 RETURNING run",
    "lock": "SELECT balance FROM bank WHERE id = $1 FOR UPDATE",
    "dup": "SELECT 1 FROM tran WHERE bank = $1 AND chk = $2 UNION ALL SELECT 1 FROM hist WHERE bank = $1 AND chk = $2",
    "insert": "INSERT INTO tran (bank, run, seq, type, amount, day, chk, descr, batch) "
              "VALUES ($1, $2, 1, 1, $3, '2024-01-01', $4, 'plain entry', $5)",
    "detail": "INSERT INTO tran_detail VALUES ($1, $2, 1, 1, '6000', $3)",
    "bank": "UPDATE bank SET balance = balance - $2, count = count + 1, amount = amount + $2 WHERE id = $1",
    "batch": "INSERT INTO batch VALUES ($1, 1, $2) ON CONFLICT (id) DO UPDATE "
             "SET count = batch.count + 1, amount = batch.amount + $2",
    "gl_run": "UPDATE gl_hdr SET run = run + 1 WHERE id = 1 RETURNING run",
    "keys": "SELECT bank, run, seq FROM tran WHERE batch = $1 ORDER BY bank, run, seq",
    "read": "SELECT amount FROM tran WHERE bank = $1 AND run = $2 AND seq = $3 FOR UPDATE",
    "to_hist": "INSERT INTO hist SELECT * FROM tran WHERE bank = $1 AND run = $2 AND seq = $3",
    "to_hist_detail": "INSERT INTO hist_detail SELECT * FROM tran_detail WHERE bank = $1 AND run = $2 AND seq = $3",
    "del_detail": "DELETE FROM tran_detail WHERE bank = $1 AND run = $2 AND seq = $3",
    "del": "DELETE FROM tran WHERE bank = $1 AND run = $2 AND seq = $3",
    "line": "INSERT INTO gl_line VALUES ($1, $2, '6000', $3, $4)",
    "accounts": "UPDATE gl_account SET debits = debits + $1 WHERE id = '6000'",
    "accounts2": "UPDATE gl_account SET credits = credits + $1 WHERE id = '1000'",
    "posted": "UPDATE batch SET posted = posted + $2 WHERE id = $1",
}


class Pq:
    """Just enough of libpq, through ctypes."""

    def __init__(self, conninfo: str):
        lib = ctypes.CDLL(ctypes.util.find_library("pq") or "libpq.so.5")
        lib.PQconnectdb.restype = ctypes.c_void_p
        lib.PQconnectdb.argtypes = [ctypes.c_char_p]
        lib.PQstatus.argtypes = [ctypes.c_void_p]
        lib.PQerrorMessage.restype = ctypes.c_char_p
        lib.PQerrorMessage.argtypes = [ctypes.c_void_p]
        lib.PQprepare.restype = ctypes.c_void_p
        lib.PQprepare.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_void_p]
        lib.PQexec.restype = ctypes.c_void_p
        lib.PQexec.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
        lib.PQexecPrepared.restype = ctypes.c_void_p
        lib.PQexecPrepared.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int,
                                       ctypes.POINTER(ctypes.c_char_p), ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int]
        lib.PQresultStatus.argtypes = [ctypes.c_void_p]
        lib.PQresultErrorMessage.restype = ctypes.c_char_p
        lib.PQresultErrorMessage.argtypes = [ctypes.c_void_p]
        lib.PQntuples.argtypes = [ctypes.c_void_p]
        lib.PQnfields.argtypes = [ctypes.c_void_p]
        lib.PQgetvalue.restype = ctypes.c_char_p
        lib.PQgetvalue.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        lib.PQclear.argtypes = [ctypes.c_void_p]
        lib.PQfinish.argtypes = [ctypes.c_void_p]
        self.lib = lib
        self.conn = lib.PQconnectdb(conninfo.encode())
        if lib.PQstatus(self.conn) != 0:
            raise RuntimeError(lib.PQerrorMessage(self.conn).decode())

    def _result(self, r, what):
        st = self.lib.PQresultStatus(r)
        if st not in (1, 2):  # PGRES_COMMAND_OK, PGRES_TUPLES_OK
            msg = self.lib.PQresultErrorMessage(r).decode()
            self.lib.PQclear(r)
            raise RuntimeError("%s: %s" % (what, msg))
        cols = self.lib.PQnfields(r) if st == 2 else 0
        rows = [[self.lib.PQgetvalue(r, i, j).decode() for j in range(cols)]
                for i in range(self.lib.PQntuples(r))] if st == 2 else []
        self.lib.PQclear(r)
        return rows

    def exec(self, sql: str):
        return self._result(self.lib.PQexec(self.conn, sql.encode()), sql)

    def prepare(self, name: str, sql: str):
        return self._result(self.lib.PQprepare(self.conn, name.encode(), sql.encode(), 0, None), sql)

    def run(self, name: str, *params):
        values = (ctypes.c_char_p * max(1, len(params)))(*[str(p).encode() for p in params])
        return self._result(self.lib.PQexecPrepared(self.conn, name.encode(), len(params), values, None, None, 0),
                            name)

    def close(self):
        self.lib.PQfinish(self.conn)


def conninfo(url: str) -> str:
    return url


def plain_program(url: str, i: int, count: int, start, out) -> None:
    """One program of plain SQL: enters `count` transactions, then posts
    them; puts (seconds entering, seconds posting) on `out`."""
    db = Pq(url)
    for name, sql in STATEMENTS.items():
        db.prepare(name, sql)
    bank, batch = "B%d" % i, "P%d" % i
    start.wait()
    t0 = time.monotonic()
    for k in range(count):
        run = int(db.run("run")[0][0])
        db.exec("BEGIN")
        db.run("lock", bank)
        db.run("dup", bank, 1000 + k)
        amount = 100 + k
        db.run("insert", bank, run, amount, 1000 + k, batch)
        db.run("detail", bank, run, amount)
        db.run("bank", bank, amount)
        db.run("batch", batch, amount)
        db.exec("COMMIT")
    t1 = time.monotonic()
    start.wait()
    t2 = time.monotonic()
    keys = db.run("keys", batch)
    for first in range(0, len(keys), 1000):
        gl_run = int(db.run("gl_run")[0][0])
        db.exec("BEGIN")
        total = 0
        for n, (b, run, seq) in enumerate(keys[first:first + 1000]):
            amount = int(db.run("read", b, run, seq)[0][0])
            db.run("to_hist", b, run, seq)
            db.run("to_hist_detail", b, run, seq)
            db.run("del_detail", b, run, seq)
            db.run("del", b, run, seq)
            db.run("line", gl_run, n + 1, amount, batch)
            total += amount
        db.run("accounts", total)
        db.run("accounts2", total)
        db.run("posted", batch, len(keys[first:first + 1000]))
        db.exec("COMMIT")
    t3 = time.monotonic()
    db.close()
    out.put((t0, t1, t2, t3))


def plain_round(url: str, programs: int, count: int) -> tuple[float, float]:
    db = Pq(url)
    for statement in SCHEMA.split(";"):
        if statement.strip():
            db.exec(statement)
    for i in range(programs):
        db.exec("INSERT INTO bank VALUES ('B%d', 100000, 0, 0)" % (i + 1))
    db.close()
    ctx = multiprocessing.get_context("fork")
    start = ctx.Barrier(programs)
    out = ctx.Queue()
    procs = [ctx.Process(target=plain_program, args=(url, i + 1, count, start, out)) for i in range(programs)]
    for p in procs:
        p.start()
    times = [out.get(timeout=3600) for _ in procs]
    for p in procs:
        p.join()
        if p.exitcode != 0:
            raise RuntimeError("a plain-SQL program failed")
    enter = max(t[1] for t in times) - min(t[0] for t in times)
    post = max(t[3] for t in times) - min(t[2] for t in times)
    return programs * count / enter, programs * count / post


def concurrently(cmds: list[list[str]]) -> tuple[float, int, str]:
    start = time.monotonic()
    procs = [subprocess.Popen(c, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True) for c in cmds]
    text, failed = "", 0
    for p in procs:
        text += p.stdout.read()
        failed += p.wait() != 0
    return time.monotonic() - start, failed, text


def bkreg_round(bkreg: str, company: str, programs: int, count: int) -> tuple[float, float, int]:
    def run(*args):
        subprocess.run([bkreg, "--company", company, *args], check=True, stdout=subprocess.DEVNULL)
    run("init")
    for i in range(programs):
        run("bank", "add", "B%d" % (i + 1), "--balance", "1000.00")
    run("gl", "account", "list")
    enter, failed, _ = concurrently([[bkreg, "--company", company, "generate", "--bank", "B%d" % (i + 1), "--count",
                                      str(count), "--unit", "1", "--from", "2024-01-01", "--batch", "P%d" % (i + 1)]
                                     for i in range(programs)])
    post, post_failed, out = concurrently([[bkreg, "--company", company, "post", "P%d" % (i + 1)]
                                           for i in range(programs)])
    posted = sum(int(n) for n in POSTED.findall(out))
    return programs * count / enter, posted / post, failed + post_failed


def psql(base: str, sql: str) -> None:
    subprocess.run(["psql", "-Xq", base + "/postgres", "-c", sql], check=False, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def pgbench_round(base: str, programs: int, seconds: int) -> float:
    out = subprocess.run(["pgbench", "-n", "-c", str(programs), "-j", str(programs), "-T", str(seconds),
                          base + "/pgbench_ref"], capture_output=True, text=True)
    m = re.search(r"tps = ([\d.]+)", out.stdout)
    if not m:
        raise RuntimeError("pgbench: " + out.stderr)
    return float(m.group(1))


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--bkreg", required=True)
    ap.add_argument("--programs", default="1,4,16")
    ap.add_argument("--count", type=int, default=500)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--work", default="")
    ap.add_argument("--pg-base", default="")
    ap.add_argument("--delay-ms", type=float, default=0)
    ap.add_argument("--only", default="bkreg,plain,pgbench")
    a = ap.parse_args()
    bkreg = os.path.abspath(a.bkreg)
    work = a.work or tempfile.mkdtemp(prefix="bk-bench-plain-")
    os.makedirs(work, exist_ok=True)
    os.chmod(work, 0o755)
    os.environ["BKREG_LOCAL_DIR"] = os.path.join(work, "local")
    os.environ["BKREG_WAIT"] = "120"
    server_dir = ""
    base = a.pg_base
    if not base:
        server_dir = os.path.join(work, "pgserver")
        os.environ["PG_FSYNC"] = "on"
        subprocess.run(["sh", os.path.join(HERE, "..", "tests", "support", "pg_server.sh"), "start", server_dir],
                       check=True)
        with open(os.path.join(server_dir, "server.env")) as f:
            base = f.read().strip()
        if not base.startswith("postgres"):
            print("skipped: %s" % base)
            return 77
    proxy = None
    direct = base
    if a.delay_ms:
        port = urllib.parse.urlparse(base).port
        proxy = subprocess.Popen([sys.executable, os.path.join(HERE, "delay_proxy.py"), "--to", str(port),
                                  "--delay-ms", str(a.delay_ms)], stdout=subprocess.PIPE, text=True)
        listen = int(proxy.stdout.readline().split()[-1])
        base = base.replace(":%d" % port, ":%d" % listen)
    only = a.only.split(",")
    try:
        if "pgbench" in only:
            psql(direct, "DROP DATABASE IF EXISTS pgbench_ref")
            psql(direct, "CREATE DATABASE pgbench_ref")
            subprocess.run(["pgbench", "-i", "-q", "-s", "16", direct + "/pgbench_ref"], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print("%-8s %8s %12s %12s   (%d rounds, %d transactions per program, medians; load %s; delay %g ms)" % (
            "what", "programs", "enter tx/s", "post tx/s", a.rounds, a.count,
            " ".join("%.1f" % x for x in os.getloadavg()), a.delay_ms), flush=True)
        for p in [int(x) for x in a.programs.split(",")]:
            for what in ["bkreg", "plain", "pgbench"]:
                if what not in only:
                    continue
                enters, posts, failed = [], [], 0
                for r in range(a.rounds):
                    if what == "pgbench":
                        enters.append(pgbench_round(base, p, 10))
                        continue
                    name = "plain_%d_%d_%d" % (p, r, os.getpid()) if what == "plain" else \
                        "bkreg_%d_%d_%d" % (p, r, os.getpid())
                    psql(direct, 'DROP DATABASE IF EXISTS "%s"' % name)
                    if what == "plain":
                        psql(direct, "CREATE DATABASE \"%s\" TEMPLATE template0 ENCODING 'SQL_ASCII' "
                                     "LC_COLLATE 'C' LC_CTYPE 'C'" % name)
                        e, po = plain_round("%s/%s" % (base, name), p, a.count)
                    else:
                        e, po, f = bkreg_round(bkreg, "%s/%s" % (base, name), p, a.count)
                        failed += f
                    enters.append(e)
                    posts.append(po)
                    psql(direct, 'DROP DATABASE IF EXISTS "%s" WITH (FORCE)' % name)
                note = "   (%d programs failed)" % failed if failed else ""
                post = "%12.0f" % statistics.median(posts) if posts else "%12s" % "-"
                print("%-8s %8d %12.0f %s%s" % (what, p, statistics.median(enters), post, note), flush=True)
    finally:
        if proxy:
            proxy.terminate()
            proxy.wait()
        if server_dir:
            subprocess.run(["sh", os.path.join(HERE, "..", "tests", "support", "pg_server.sh"), "stop", server_dir],
                           check=False)
        if not a.work:
            shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
