"""What the soak and crash drivers share: running bkreg as a user would (one
process per command, its exit status, output and messages kept), a log of
every invocation, and reading a company whole through bk_company_dump.

Exit statuses of bkreg: 0 done, 1 refused, 2 failed, 3 locked or busy; a
negative status is the signal that ended the process.
"""

import json
import os
import subprocess
import threading
import time


class Result:
    def __init__(self, args, rc, out, err, seconds):
        self.args = args
        self.rc = rc
        self.out = out
        self.err = err
        self.seconds = seconds

    @property
    def message(self):
        """The first line of what bkreg said on its error stream."""
        for line in self.err.splitlines():
            if line.strip():
                return line.strip()
        return ""

    def json(self):
        return json.loads(self.out) if self.out.strip() else None


class Bkreg:
    """Runs bkreg on one company; every invocation goes to the log (when
    given) as one line: seconds since start, program, exit status, command,
    first line of the message."""

    def __init__(self, program, company, wait=None, env=None, log=None, name="driver"):
        self.program = program
        self.company = company
        self.wait = wait
        self.env = dict(os.environ)
        self.env.pop("BK_TEST_HOOK_KILL_AT_WRITE", None)
        if env:
            self.env.update(env)
        self.log = log
        self.name = name
        self.start = time.monotonic()
        self._lock = threading.Lock()

    def with_name(self, name, log=None, env=None):
        b = Bkreg(self.program, self.company, self.wait, None, log or self.log, name)
        b.env = dict(self.env)
        if env:
            b.env.update(env)
        b.start = self.start
        return b

    def run(self, *args, env=None, timeout=600):
        argv = [self.program, "--company", self.company]
        if self.wait is not None:
            argv += ["--wait", str(self.wait)]
        argv += [str(a) for a in args]
        e = self.env
        if env:
            e = dict(self.env)
            e.update(env)
        t0 = time.monotonic()
        p = subprocess.run(argv, capture_output=True, text=True, env=e, timeout=timeout,
                           stdin=subprocess.DEVNULL, errors="replace")
        r = Result(list(args), p.returncode, p.stdout, p.stderr, time.monotonic() - t0)
        if self.log is not None:
            with self._lock:
                self.log.write("%8.3f %-10s rc=%-3d %s%s\n" % (
                    t0 - self.start, self.name, r.rc, " ".join(str(a) for a in args),
                    ("  | " + r.message) if r.rc != 0 else ""))
                self.log.flush()
        return r

    def must(self, *args, **kw):
        r = self.run(*args, **kw)
        if r.rc != 0:
            raise RuntimeError("bkreg %s: exit %d: %s" % (" ".join(map(str, args)), r.rc, r.err.strip()))
        return r


def server_company(settings_file, prefix, work):
    """A new company database on the test server whose address the settings
    file holds (its first line), its local files under `work`; exits 77
    (skipped) when the file says there is no server."""
    with open(settings_file) as f:
        address = f.readline().strip()
    if not address.startswith("postgres"):
        print("PostgreSQL form skipped: %s" % (address or "no server settings"), flush=True)
        raise SystemExit(77)
    os.environ["BKREG_LOCAL_DIR"] = os.path.join(work, "local")
    os.makedirs(os.environ["BKREG_LOCAL_DIR"], exist_ok=True)
    return "%s/%s_%d_%d" % (address, prefix, os.getpid(), int(time.time()))


def dump(dump_program, company):
    """Every transaction, detail count and general-ledger line of the company
    (bk_company_dump's JSON lines), as a list of dicts."""
    p = subprocess.run([dump_program, "--company", company], capture_output=True, text=True)
    if p.returncode != 0:
        raise RuntimeError("bk_company_dump: exit %d: %s" % (p.returncode, p.stderr.strip()))
    return [json.loads(line) for line in p.stdout.splitlines() if line.strip()]


def cents(text):
    """Whole cents of an amount's text ("-1,234.50" -> -123450)."""
    text = str(text).replace(",", "").strip()
    neg = text.startswith("-")
    text = text.lstrip("+-")
    whole, _, frac = text.partition(".")
    v = int(whole or "0") * 100 + int((frac + "00")[:2])
    return -v if neg else v


def money(c):
    """The text of an amount of `c` cents."""
    sign = "-" if c < 0 else ""
    c = abs(c)
    return "%s%d.%02d" % (sign, c // 100, c % 100)
