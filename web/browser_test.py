#!/usr/bin/env python3
"""The web register in a real browser: headless Chromium driven through its
WebDriver (Debian chromium, chromium-driver, python3-selenium) against a real
`bkreg serve` on a fresh company.

What a bookkeeper does, in order: open the address with its token, add an
account, enter a check, see a validation message beside its field and
correct it, change the check, enter a deposit with two items, enter a
withdrawal whose two distribution lines do not add up (the module's message
beside the lines) and correct it, open a batch with control totals and see
it out of balance and then in balance, post it and see the journal, find the
posted lines in the register with their states, filter, and page through a
register of 5,000 lines. Afterwards `bkreg verify` is clean and `bkreg
register` and `bkreg balance` agree with what the pages showed.

Screenshots of every page go to --out. Exit 77 (skipped) when Chromium, its
driver or Selenium is missing.
"""
import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select, WebDriverWait
    from selenium.common.exceptions import StaleElementReferenceException, WebDriverException
except ImportError:
    print("skipped: python3-selenium is not installed (make deps)")
    sys.exit(77)

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
DRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"


class Failure(Exception):
    pass


def replaced(old):
    """A wait condition: true once the element `old` has left the document (the
    next page replaced the one it was on). While the browser swaps pages, the
    driver may answer about the old node with a stale-element error or with an
    inspector error saying the node does not belong to the document: both mean
    it is gone."""
    def gone(_driver):
        try:
            old.is_enabled()
            return False
        except StaleElementReferenceException:
            return True
        except WebDriverException as e:
            if "does not belong to the document" in str(e) or "No node with given id" in str(e):
                return True
            raise
    return gone


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("ok:", what)


def bk(bkreg, company, *args):
    p = subprocess.run([bkreg, "--company", company, *args], capture_output=True, text=True, stdin=subprocess.DEVNULL)
    return p.returncode, p.stdout + p.stderr


def must(bkreg, company, *args):
    rc, out = bk(bkreg, company, *args)
    if rc != 0:
        raise Failure("bkreg %s: %d %s" % (" ".join(args), rc, out))
    return out


def money(text):
    return float(text.replace(",", ""))


class Browser:
    def __init__(self, out):
        self.out = out
        self.profile = tempfile.mkdtemp(prefix="bk-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for arg in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                    "--disable-background-networking", "--disable-component-update", "--disable-sync",
                    "--disable-dev-shm-usage", "--window-size=1400,1000", "--user-data-dir=" + self.profile):
            options.add_argument(arg)
        self.driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        self.driver.set_page_load_timeout(120)

    def close(self):
        try:
            self.driver.quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)

    def get(self, url):
        self.driver.get(url)

    def find(self, css):
        return self.driver.find_element(By.CSS_SELECTOR, css)

    def finds(self, css):
        return self.driver.find_elements(By.CSS_SELECTOR, css)

    def text(self, css):
        found = self.finds(css)
        return found[0].text if found else ""

    def type(self, css, value):
        e = self.find(css)
        e.clear()
        e.send_keys(value)

    def select(self, css, value):
        Select(self.find(css)).select_by_value(value)

    def submit(self, css):
        self.click(self.find(css))

    def click(self, element):
        """Clicks and waits until the next page has replaced this one."""
        old = self.find("html")
        element.click()
        WebDriverWait(self.driver, 120).until(replaced(old))

    def shot(self, name):
        os.makedirs(self.out, exist_ok=True)
        # The whole page: the window made as tall as the document.
        height = self.driver.execute_script("return document.documentElement.scrollHeight")
        self.driver.set_window_size(1400, max(700, min(int(height) + 40, 4000)))
        self.driver.save_screenshot(os.path.join(self.out, name + ".png"))
        self.driver.set_window_size(1400, 1000)

    def register_rows(self):
        # One call for the whole table (a WebDriver call per cell takes long).
        return self.driver.execute_script(
            "return Array.from(document.querySelectorAll('#register tbody tr'))"
            ".map(tr => Array.from(tr.cells).map(td => td.innerText.trim()));")


def start_server(bkreg, company):
    p = subprocess.Popen([bkreg, "--company", company, "--wait", "2", "serve", "--listen", "127.0.0.1:0"],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, stdin=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    seen = ""
    while time.monotonic() < deadline:
        line = p.stdout.readline()
        if not line:
            break
        seen += line
        m = re.search(r"(http://127\.0\.0\.1:\d+)/login\?token=[0-9a-f]+", line)
        if m:
            return p, m.group(0), m.group(1)
    p.kill()
    raise Failure("the server printed no address: " + seen)


def run(bkreg, out):
    work = tempfile.mkdtemp(prefix="bk-web-")
    company = os.path.join(work, "company")
    server = None
    browser = None
    try:
        must(bkreg, company, "init")
        must(bkreg, company, "bank", "add", "BIG", "--desc", "Large account", "--balance", "100000.00")
        must(bkreg, company, "generate", "--bank", "BIG", "--count", "5000", "--from", "2026-01-01")
        # From here on entries go to the general ledger: accounts, periods
        # and distribution lines are checked.
        for account in ("1000", "4000", "6100", "6200", "6300"):
            must(bkreg, company, "gl", "account", "add", account)
        must(bkreg, company, "gl", "period", "add", "", "--year", "2026")
        must(bkreg, company, "gl", "interface", "on")
        server, login, base = start_server(bkreg, company)
        browser = Browser(out)

        # Signed in by the printed address; the accounts page.
        browser.get(login)
        check(browser.text("h1") == "Accounts", "the printed address opens the accounts page")
        browser.type("#acct-id", "ops")
        browser.type("#acct-desc", "Operating <account>")
        browser.type("#acct-balance", "5000.00")
        browser.type("#acct-cash", "1000")
        browser.submit("#acct-add")
        check("Added bank account OPS" in browser.text(".notice.ok"), "an account is added")
        check("Operating <account>" in browser.text("#accounts"), "its description shows as text")
        browser.shot("accounts")

        # A batch with control totals: three transactions, -20.00 net (a check
        # of 520.00, a deposit of 1,000.00 and a withdrawal of 500.00).
        browser.get(base + "/batches")
        browser.type("#batch-id", "WEEK1")
        browser.type("#batch-desc", "First week")
        browser.type("#batch-date", "03/02/2026")
        browser.type("#batch-count", "3")
        browser.type("#batch-amount", "-20.00")
        browser.submit("#batch-open")
        check("Opened batch WEEK1" in browser.text(".notice.ok"), "a batch is opened with control totals")

        # A check: a wrong amount first, shown beside its field.
        browser.get(base + "/enter?bank=OPS&type=check")
        browser.select("#in-type", "check")
        browser.type("#in-date", "2026-03-02")
        browser.type("#in-amount", "12.345")
        browser.type("#in-check", "101")
        browser.type("#in-payee", "Landlord")
        browser.type("#in-desc", "Rent")
        browser.type("#in-batch", "WEEK1")
        browser.type("#in-account", "6100")
        browser.submit("#save")
        check("more than two decimals" in browser.text("#err-amount") or browser.text("#err-amount") != "",
              "a wrong amount is refused beside the amount: " + browser.text("#err-amount"))
        check(browser.find("#in-amount").get_attribute("aria-invalid") == "true", "the field is marked")
        browser.shot("entry-error")
        browser.type("#in-amount", "500.00")
        browser.submit("#save")
        check("Entered check" in browser.text(".notice.ok"), "the corrected check is entered")

        # The same check number again: warned as bkreg enter refuses it.
        browser.get(base + "/enter?bank=OPS&type=check")
        browser.type("#in-date", "2026-03-02")
        browser.type("#in-amount", "1.00")
        browser.type("#in-check", "101")
        browser.type("#in-account", "6100")
        browser.submit("#save")
        check("101" in browser.text("#err-check") and browser.finds("#in-allow_duplicate"),
              "a duplicate check number is warned beside the number: " + browser.text("#err-check"))

        # Change the check: 500.00 becomes 520.00, same run and sequence.
        browser.get(base + "/register?bank=OPS")
        browser.click(browser.find("#register a.edit"))
        check(browser.text("h1").startswith("Change check OPS"), "the edit form opens")
        browser.shot("edit")
        browser.type("#in-amount", "520.00")
        browser.submit("#save")
        check("Changed" in browser.text(".notice.ok"), "the check is changed: " + browser.text(".notice.ok"))
        rows = browser.register_rows()
        check(any(r[1] == "101" and r[4] == "-520.00" for r in rows), "the register shows the changed amount")

        # A deposit with two items, in the batch.
        browser.get(base + "/enter?bank=OPS&type=deposit")
        browser.select("#in-type", "deposit")
        browser.type("#in-date", "2026-03-03")
        browser.type("#in-amount", "1000.00")
        browser.type("#in-deposit_id", "D-1")
        browser.type("#in-desc", "Takings")
        browser.type("#in-batch", "WEEK1")
        browser.type("#line-account-1", "4000")
        browser.type("#line-amount-1", "600.00")
        browser.type("#line-item-1", "1")
        browser.type("#line-payer-1", "Corner shop")
        browser.type("#line-account-2", "4000")
        browser.type("#line-amount-2", "400.00")
        browser.type("#line-item-2", "2")
        browser.type("#line-payer-2", "Market")
        browser.submit("#save")
        check("Entered deposit" in browser.text(".notice.ok"), "a deposit with two items is entered")

        browser.get(base + "/batches")
        row = [tr.text for tr in browser.finds("#batches tbody tr") if tr.text.startswith("WEEK1")]
        check(row and "out of balance" in row[0], "the batch is out of balance after two of three: %s" % row)
        browser.shot("batches-out-of-balance")

        # A withdrawal whose two lines do not add up: the module's message
        # beside the lines; then corrected.
        browser.get(base + "/enter?bank=OPS&type=withdrawal")
        browser.select("#in-type", "withdrawal")
        browser.type("#in-date", "2026-03-04")
        browser.type("#in-amount", "500.00")
        browser.type("#in-desc", "Card settlement")
        browser.type("#in-batch", "WEEK1")
        browser.type("#line-account-1", "6200")
        browser.type("#line-amount-1", "300.00")
        browser.type("#line-account-2", "6300")
        browser.type("#line-amount-2", "100.00")
        browser.submit("#save")
        check("do not add up" in browser.text("#err-lines"),
              "lines that do not add up are refused in the catalogue's words: " + browser.text("#err-lines"))
        browser.shot("entry")
        browser.type("#line-amount-2", "200.00")
        browser.submit("#save")
        check("Entered withdrawal" in browser.text(".notice.ok"), "the corrected withdrawal is entered")

        browser.get(base + "/batches")
        row = [tr.text for tr in browser.finds("#batches tbody tr") if tr.text.startswith("WEEK1")]
        check(row and "in balance" in row[0] and "out of balance" not in row[0],
              "the batch is in balance with all three: %s" % row)

        # Post it: the journal is shown.
        for form in browser.finds("button.post"):
            if form.get_attribute("data-batch") == "WEEK1":
                browser.click(form)
                break
        check("Posted batch WEEK1" in browser.text("#posted"), "the batch is posted: " + browser.text("#posted"))
        check(browser.text("#journal").strip() != "", "the posting journal is shown")
        browser.shot("batches")

        # The posted lines in the register, with their states.
        browser.get(base + "/register?bank=OPS")
        rows = browser.register_rows()
        posted = [r for r in rows if r[7] == "posted"]
        check(len(posted) == 3 and all(r[6] == "open" for r in posted),
              "the three posted lines show as posted and open: %s" % rows)
        browser.shot("register")

        # Filters: by text, by kind.
        browser.type("#f-q", "takings")
        browser.submit("#f-apply")
        rows = browser.register_rows()
        check(len(rows) == 1 and rows[0][3] == "Takings", "the text filter finds the deposit")
        browser.get(base + "/register?bank=OPS&kind=1")
        rows = browser.register_rows()
        check(len(rows) == 1 and rows[0][2] == "check", "the kind filter shows the check only")

        # Balances as of a date.
        browser.get(base + "/balances")
        browser.type("#as-of", "03/03/2026")
        browser.submit("#as-of-show")
        check("2026" in browser.text("#as-of-date"), "balances as of a date")
        balances = {tr.find_elements(By.TAG_NAME, "td")[0].text: [td.text for td in tr.find_elements(By.TAG_NAME, "td")]
                    for tr in browser.finds("#balances tbody tr")}
        check(money(balances["OPS"][2]) == 5000.00 - 520.00 + 1000.00, "the register balance as of the day")
        browser.shot("balances")

        # A register of 5,000 lines, page after page back to its first line.
        browser.get(base + "/register?bank=BIG&rows=500")
        newest = browser.register_rows()
        seen = len(newest)
        pages = 1
        while browser.finds("#earlier") and pages < 40:
            previous_first = browser.register_rows()[0]
            browser.click(browser.find("#earlier"))
            rows = browser.register_rows()
            if not rows:
                break
            # The page before ends where this one began: its balance less
            # the line's amount.
            check(abs(money(rows[-1][5]) - (money(previous_first[5]) - money(previous_first[4]))) < 0.005,
                  "page %d's balances follow on" % (pages + 1))
            seen += len(rows)
            pages += 1
        check(seen == 5000, "every one of the 5,000 lines is paged through (%d in %d pages)" % (seen, pages))

        # What the pages showed is what the commands say.
        rc, out_verify = bk(bkreg, company, "verify")
        check(rc == 0, "bkreg verify is clean after the browser's work: " + out_verify)
        listed = json.loads(must(bkreg, company, "--format", "json", "register", "OPS"))
        browser.get(base + "/register?bank=OPS")
        page = browser.register_rows()
        lines = [r for r in listed if r.get("Run") not in (None, "")]
        check([(str(r["Run"]) + "-" + str(r["Seq"]), "%.2f" % r["Balance"]) for r in lines] ==
              [(r[9], "%.2f" % money(r[5])) for r in page], "bkreg register agrees with the register page")
        balance = json.loads(must(bkreg, company, "--format", "json", "balance", "OPS"))[0]["Balance"]
        check(abs(balance - money(browser.text("#register-balance"))) < 0.005,
              "bkreg balance agrees with the page's register balance")
        return 0
    except Failure:
        if browser is not None:
            browser.shot("failure")
            print("the page at the failure:", browser.driver.current_url)
            print(browser.find("body").text[:3000])
        raise
    finally:
        if browser is not None:
            browser.close()
        if server is not None:
            server.send_signal(signal.SIGINT)
            try:
                rest, _ = server.communicate(timeout=60)
                if server.returncode != 0:
                    raise Failure("the server ended with %d: %s" % (server.returncode, rest))
                print("ok: Ctrl-C stops the server cleanly")
            except subprocess.TimeoutExpired:
                server.kill()
                raise Failure("the server did not stop on Ctrl-C")
        shutil.rmtree(work, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bkreg", required=True)
    ap.add_argument("--out", required=True, help="folder for the screenshots")
    args = ap.parse_args()
    for path, package in ((CHROMIUM, "chromium"), (DRIVER, "chromium-driver")):
        if not os.path.exists(path):
            print("skipped: %s is not installed (make deps)" % package)
            return 77
    try:
        return run(args.bkreg, args.out)
    except Failure as e:
        print("FAILED:", e)
        return 1


if __name__ == "__main__":
    sys.exit(main())
