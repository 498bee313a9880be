#!/usr/bin/env python3
"""The web register against hledger-web on the same register.

usage: web_compare.py --bkreg PATH [--sizes 100000,1000000] [--rounds R] [--work DIR] [--fresh]
                      [--skip-hledger] [--hledger-sizes N,...] [--load-seconds S]

For each size N it builds (once, kept under --work, default
/tmp/bk-bench-web/nN) a company whose bank account BENCH holds N generated
transactions (bkreg init, bank add with 1,000.00, bkreg generate) and the
same register as a journal (bkreg export BENCH --format journal). Then:

  - bkreg serve on a free loopback port, signed in with its token; R rounds
    of: the first register page (/register?bank=BENCH: the newest 50 lines)
    and the page before it (its "Earlier" link), each timed to the first
    byte of the answer and to its last byte, on a fresh connection;
  - hledger-web serving the journal (--serve), timed the same way on its
    register of the same account (/register?q=inacct:Assets:Bank:BENCH),
    after it has loaded the journal (its load time is reported apart);
  - the server's peak memory (VmHWM of /proc/PID/status) after all of it;
  - load: 4 clients asking for register pages (the first, and pages further
    back through the links) at 50 requests per second together for
    --load-seconds (default 10) seconds; every answer must be a 200 with
    the register in it.

Prints a table of medians and ratios (hledger-web / bkreg) and exits 1 when
a load request failed.
"""
from __future__ import annotations

import argparse
import http.client
import os
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

BANK = "BENCH"


def run(cmd, **kw):
    p = subprocess.run(cmd, capture_output=True, text=True, **kw)
    if p.returncode != 0:
        raise SystemExit("failed: %s\n%s%s" % (" ".join(map(str, cmd)), p.stdout, p.stderr))
    return p.stdout


def build(bkreg: str, work: Path, n: int, fresh: bool) -> tuple[Path, Path]:
    company, journal = work / "company", work / "register.journal"
    if fresh and work.exists():
        shutil.rmtree(work)
    if (work / "done").exists():
        return company, journal
    work.mkdir(parents=True, exist_ok=True)
    if company.exists():
        shutil.rmtree(company)
    t = time.monotonic()
    run([bkreg, "--company", company, "init"])
    run([bkreg, "--company", company, "bank", "add", BANK, "--balance", "1000.00"])
    run([bkreg, "--company", company, "generate", "--bank", BANK, "--count", str(n), "--from", "2024-01-01",
         "--unit", "100000"])
    with open(journal, "w") as f:
        subprocess.run([bkreg, "--company", company, "export", BANK, "--format", "journal"], stdout=f, check=True)
    (work / "done").write_text("")
    print(f"built {n} transactions in {time.monotonic() - t:.1f} s", file=sys.stderr)
    return company, journal


def free_port() -> int:
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def timed_get(port: int, path: str, cookie: str = "") -> tuple[float, float, int, bytes]:
    """Seconds to the first byte and to the last, the status and the body (fresh connection)."""
    start = time.perf_counter()
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=600)
    headers = {"Cookie": cookie} if cookie else {}
    c.request("GET", path, headers=headers)
    r = c.getresponse()
    first = time.perf_counter() - start
    body = r.read()
    total = time.perf_counter() - start
    c.close()
    return first, total, r.status, body


class BkServer:
    def __init__(self, bkreg: str, company: Path):
        self.p = subprocess.Popen([bkreg, "--company", str(company), "serve", "--listen", "127.0.0.1:0"],
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        line = ""
        while "login?token=" not in line:
            line = self.p.stdout.readline()
            if not line:
                raise SystemExit("bkreg serve printed no address")
        m = re.search(r"http://127\.0\.0\.1:(\d+)(/login\?token=[0-9a-f]+)", line)
        self.port = int(m.group(1))
        c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        c.request("GET", m.group(2))
        r = c.getresponse()
        r.read()
        self.cookie = r.getheader("Set-Cookie").split(";")[0]
        c.close()

    def peak_kib(self) -> int:
        for line in Path(f"/proc/{self.p.pid}/status").read_text().splitlines():
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
        return 0

    def stop(self):
        self.p.send_signal(signal.SIGINT)
        self.p.wait(timeout=60)


def earlier_link(body: bytes) -> str:
    m = re.search(rb'id="earlier" href="([^"]+)"', body)
    return m.group(1).decode().replace("&amp;", "&") if m else ""


def load(server: BkServer, seconds: float, rate: float = 50.0, clients: int = 4) -> dict:
    """`clients` threads, `rate` requests per second together, for `seconds`."""
    results = []
    lock = threading.Lock()
    interval = clients / rate
    start = time.monotonic()

    def client(k: int):
        path = f"/register?bank={BANK}"
        i = 0
        while True:
            due = start + k * interval / clients + i * interval
            if due - start >= seconds:
                return
            pause = due - time.monotonic()
            if pause > 0:
                time.sleep(pause)
            try:
                first, total, status, body = timed_get(server.port, path, server.cookie)
                ok = status == 200 and b'id="register"' in body
            except OSError:
                first, total, ok, body = 0.0, 0.0, False, b""
            with lock:
                results.append((ok, total))
            # Every fourth request starts again from the newest page; the
            # others go one page further back.
            link = earlier_link(body) if ok else ""
            path = link if link and i % 4 != 3 else f"/register?bank={BANK}"
            i += 1

    threads = [threading.Thread(target=client, args=(k,)) for k in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.monotonic() - start
    totals = sorted(t for ok, t in results if ok)
    return {
        "requests": len(results),
        "errors": sum(1 for ok, _ in results if not ok),
        "rate": len(results) / elapsed,
        "p50": statistics.median(totals) if totals else 0,
        "p99": totals[int(len(totals) * 0.99) - 1] if totals else 0,
    }


def median_times(fn, rounds: int) -> tuple[float, float]:
    firsts, totals = [], []
    for _ in range(rounds):
        first, total = fn()
        firsts.append(first)
        totals.append(total)
    return statistics.median(firsts), statistics.median(totals)


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--bkreg", required=True)
    ap.add_argument("--sizes", default="100000,1000000")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--work", default="/tmp/bk-bench-web")
    ap.add_argument("--fresh", action="store_true")
    ap.add_argument("--skip-hledger", action="store_true")
    ap.add_argument("--hledger-sizes", default="", help="sizes to run hledger-web at (default: every size)")
    ap.add_argument("--load-seconds", type=float, default=10.0)
    a = ap.parse_args()
    hledger_web = shutil.which("hledger-web")
    failed = False
    rows = []
    for n in [int(s) for s in a.sizes.split(",")]:
        company, journal = build(a.bkreg, Path(a.work) / f"n{n}", n, a.fresh)
        bk = BkServer(a.bkreg, company)
        path = f"/register?bank={BANK}"
        _, _, status, body = timed_get(bk.port, path, bk.cookie)
        assert status == 200, status
        earlier = earlier_link(body)

        def first_page():
            f, t, s, _ = timed_get(bk.port, path, bk.cookie)
            assert s == 200
            return f, t

        def next_page():
            f, t, s, _ = timed_get(bk.port, earlier, bk.cookie)
            assert s == 200
            return f, t

        bk_first = median_times(first_page, a.rounds)
        bk_next = median_times(next_page, a.rounds)
        loaded = load(bk, a.load_seconds)
        peak = bk.peak_kib()
        bk.stop()
        failed = failed or loaded["errors"] > 0
        hl_first = hl_load = None
        hl_sizes = [int(x) for x in a.hledger_sizes.split(",") if x]
        if hledger_web and not a.skip_hledger and (not hl_sizes or n in hl_sizes):
            port = free_port()
            t = time.monotonic()
            hl = subprocess.Popen([hledger_web, "-f", str(journal), "--serve", "--host", "127.0.0.1", "--port",
                                   str(port)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            hl_path = f"/register?q=inacct:Assets:Bank:{BANK}"
            while True:
                try:
                    # A page that matches nothing: ready once the journal is read.
                    _, _, s, _ = timed_get(port, "/journal?q=desc:zz-no-such-description")
                    if s == 200:
                        break
                except OSError:
                    pass
                if hl.poll() is not None:
                    raise SystemExit("hledger-web ended")
                time.sleep(0.5)
            hl_load = time.monotonic() - t

            def hl_page():
                f, tt, s, _ = timed_get(port, hl_path)
                assert s == 200, s
                return f, tt

            try:
                hl_first = median_times(hl_page, 1 if n >= 1000000 else max(1, min(a.rounds, 3)))
            except TimeoutError:
                print(f"n={n}: hledger-web gave no register page within 600 s", file=sys.stderr, flush=True)
            finally:
                hl.send_signal(signal.SIGINT)
                try:
                    hl.wait(timeout=30)
                except subprocess.TimeoutExpired:
                    hl.kill()
        rows.append((n, bk_first, bk_next, hl_first, hl_load, peak, loaded))
        print(f"n={n}: bkreg first {bk_first}, earlier {bk_next}, hledger-web {hl_first} (loaded in {hl_load}), "
              f"peak {peak} KiB, load {loaded}", file=sys.stderr, flush=True)

    print(f"{'N':>9} {'page':<14} {'bkreg TTFB':>11} {'bkreg whole':>12} {'hledger TTFB':>13} {'hledger whole':>14}"
          f" {'x TTFB':>8} {'x whole':>8}")
    for n, bk_first, bk_next, hl_first, hl_load, peak, loaded in rows:
        for name, times in (("first", bk_first), ("earlier", bk_next)):
            hl = hl_first if name == "first" else None
            line = f"{n:>9} {name:<14} {times[0] * 1000:>9.2f}ms {times[1] * 1000:>10.2f}ms"
            if hl:
                line += (f" {hl[0] * 1000:>11.0f}ms {hl[1] * 1000:>12.0f}ms {hl[0] / times[0]:>7.0f}x"
                         f" {hl[1] / times[1]:>7.0f}x")
            print(line)
        if hl_load is not None:
            print(f"{n:>9} hledger-web loaded the journal in {hl_load:.1f} s")
        print(f"{n:>9} bkreg serve peak memory {peak / 1024:.1f} MiB; load: {loaded['requests']} requests "
              f"at {loaded['rate']:.1f}/s from 4 clients, {loaded['errors']} errors, median "
              f"{loaded['p50'] * 1000:.1f} ms, p99 {loaded['p99'] * 1000:.1f} ms")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
