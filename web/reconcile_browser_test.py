#!/usr/bin/env python3
"""Reconciliation in the web register, in a real browser: headless Chromium
through its WebDriver against a real `bkreg serve` on a fresh company.

What a bookkeeper does: upload the bank's OFX statement (exact matches
cleared, an ambiguous line proposed, a fee unknown), accept the proposal,
enter the fee as an adjustment, post it and apply it; tick and untick an
item and watch the difference move without the page loading again; finish
at 0.00, see the history, undo, finish again. A CSV statement with its
column mapping (remembered for the account); the same CSV again, refused
line by line; a CSV with a line of another account and a truncated OFX,
refused whole with the reason shown. A second program (`bkreg clear`)
clearing in the same account while the page ticks: the figures stay exact;
and while another program holds the account's edit-register lock a tick is
refused with the reason shown. Afterwards `bkreg verify` is clean and
`bkreg reconcile status` and `bkreg balance --kind reconciled` agree with
what the page showed.

Screenshots go to --out. Exit 77 (skipped) when Chromium, its driver or
Selenium is missing.
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import threading
import shutil
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
try:
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support import expected_conditions
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("skipped: python3-selenium is not installed (make deps)")
    sys.exit(77)
from browser_test import CHROMIUM, DRIVER, Browser, Failure, bk, check, must, replaced, start_server  # noqa: E402

OFX = """OFXHEADER:100
DATA:OFXSGML
VERSION:102
SECURITY:NONE
ENCODING:USASCII
CHARSET:1252
COMPRESSION:NONE
OLDFILEUID:NONE
NEWFILEUID:NONE

<OFX>
<BANKMSGSRSV1><STMTTRNRS><TRNUID>1<STATUS><CODE>0<SEVERITY>INFO</STATUS>
<STMTRS><CURDEF>USD<BANKACCTFROM><BANKID>111<ACCTID>12345<ACCTTYPE>CHECKING</BANKACCTFROM>
<BANKTRANLIST><DTSTART>20260401<DTEND>20260430
<STMTTRN><TRNTYPE>CHECK<DTPOSTED>20260404<TRNAMT>-100.00<FITID>A1<CHECKNUM>101<NAME>Check 101</STMTTRN>
<STMTTRN><TRNTYPE>DEP<DTPOSTED>20260405<TRNAMT>250.00<FITID>A2<NAME>Deposit</STMTTRN>
<STMTTRN><TRNTYPE>DEBIT<DTPOSTED>20260411<TRNAMT>-40.00<FITID>A3<NAME>Card &lt;b&gt;</STMTTRN>
<STMTTRN><TRNTYPE>FEE<DTPOSTED>20260430<TRNAMT>-5.00<FITID>A4<NAME>Service fee</STMTTRN>
<STMTTRN><TRNTYPE>INT<DTPOSTED>20260430<TRNAMT>2.00<FITID>A5<NAME>Interest</STMTTRN>
</BANKTRANLIST>
<LEDGERBAL><BALAMT>1107.00<DTASOF>20260430</LEDGERBAL>
</STMTRS></STMTTRNRS></BANKMSGSRSV1></OFX>
"""

CSV = """Date,Amount,Id,Account,Memo
2026-05-02,500.00,S1,777-1,Payroll in
2026-05-06,-120.00,S2,777-1,Utilities
"""
CSV_OTHER = """Date,Amount,Id,Account,Memo
2026-05-02,500.00,S1,777-1,Payroll in
2026-05-07,-9.99,S9,888-2,Someone else's fee
"""
MAPPING = "date=Date;amount=Amount;id=Id;account=Account;memo=Memo;statement_date=2026-05-31;ending_balance=1380.00"


def write(folder, name, text):
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write(text)
    return path


def status_of(bkreg, company, bank):
    rc, out = bk(bkreg, company, "--format", "json", "reconcile", "status", bank)
    if rc != 0:
        raise Failure("reconcile status %s: %s" % (bank, out))
    return json.loads(out)[0]


def page_figures(browser):
    return {k: browser.text("#fig-" + k) for k in ("opening", "deposits", "payments", "cleared", "ending",
                                                     "difference", "count")}


def upload(browser, path, mapping=None, fmt=""):
    browser.find("#up-file").send_keys(path)
    if mapping is not None:
        browser.type("#up-mapping", mapping)
    if fmt:
        browser.select("#up-format", fmt)
    browser.submit("#up-send")


def line_outcome(browser, line_id):
    return browser.driver.execute_script(
        "var r = document.querySelector('tr.line[data-line=\"' + arguments[0] + '\"] .outcome');"
        "return r ? r.textContent : '';", line_id)


def tick(browser, key, expect_ok=True):
    """Ticks or unticks through the page's script; waits for the answer."""
    button = browser.find("#tick-" + key.replace("/", "-"))
    before = button.get_attribute("aria-pressed")
    button.click()
    WebDriverWait(browser.driver, 120).until(
        lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-ticking") is None and
        (button.get_attribute("aria-pressed") != before or not expect_ok))


def run(bkreg, out):
    work = tempfile.mkdtemp(prefix="bk-recon-")
    company = os.path.join(work, "company")
    server = browser = None
    try:
        must(bkreg, company, "init")
        must(bkreg, company, "bank", "add", "OPS", "--desc", "Operating", "--balance", "1000.00")
        must(bkreg, company, "bank", "edit", "OPS", "--account-number", "12-345")
        must(bkreg, company, "bank", "add", "SAV", "--desc", "Savings", "--balance", "1000.00")
        must(bkreg, company, "bank", "edit", "SAV", "--account-number", "7771")
        must(bkreg, company, "bank", "add", "TWO", "--desc", "Shared", "--balance", "0.00")
        for args in (("check", "--bank", "OPS", "--amount", "100.00", "--check", "101", "--date", "2026-04-03"),
                     ("deposit", "--bank", "OPS", "--amount", "250.00", "--date", "2026-04-05"),
                     ("withdrawal", "--bank", "OPS", "--amount", "40.00", "--date", "2026-04-10"),
                     ("withdrawal", "--bank", "OPS", "--amount", "40.00", "--date", "2026-04-11"),
                     ("check", "--bank", "OPS", "--amount", "60.00", "--check", "102", "--date", "2026-04-12"),
                     ("deposit", "--bank", "OPS", "--amount", "33.00", "--date", "2026-04-20"),
                     ("deposit", "--bank", "SAV", "--amount", "500.00", "--date", "2026-05-02"),
                     ("withdrawal", "--bank", "SAV", "--amount", "120.00", "--date", "2026-05-06")):
            must(bkreg, company, "enter", *args)
        # TWO: twenty deposits of 1.01 to 20.20, ten for the page to tick and
        # ten for another program to clear at the same time.
        for i in range(1, 21):
            must(bkreg, company, "enter", "deposit", "--bank", "TWO", "--amount", "%.2f" % (i * 1.01),
                 "--date", "2026-06-%02d" % i)
        must(bkreg, company, "post", "BKREG")
        # One more, not posted: the page says it cannot be ticked.
        must(bkreg, company, "enter", "check", "--bank", "OPS", "--amount", "7.00", "--check", "103",
             "--date", "2026-04-21", "--batch", "LATER")
        must(bkreg, company, "reconcile", "start", "TWO", "--date", "2026-06-30", "--ending-balance", "212.10")

        ofx = write(work, "april.ofx", OFX)
        csv = write(work, "may.csv", CSV)
        csv_other = write(work, "other.csv", CSV_OTHER)
        truncated = write(work, "cut.ofx", OFX[:len(OFX) // 2])

        server, login, base = start_server(bkreg, company)
        browser = Browser(out)
        browser.get(login)
        check(browser.finds("a.recon[href='/reconcile?bank=OPS']"), "the accounts page links to reconciling OPS")
        browser.get(base + "/reconcile?bank=OPS")
        check("No reconciliation of OPS is in progress" in browser.text("#none"), "nothing in progress at first")

        # The OFX statement: two exact matches, one proposal, one unknown.
        upload(browser, ofx)
        check("matched: 5 lines" in browser.text("#done"), "the OFX statement is uploaded and matched")
        check(line_outcome(browser, "A1") == "cleared" and line_outcome(browser, "A2") == "cleared",
              "exact matches are cleared")
        check(line_outcome(browser, "A3") == "choose" and len(browser.finds("tr[data-line=A3] .proposal")) == 2,
              "the ambiguous line proposes both withdrawals of 40.00")
        check("Card <b>" in browser.text("tr[data-line=A3]"), "the bank's memo shows as text")
        check(line_outcome(browser, "A4") == "unknown" and line_outcome(browser, "A5") == "unknown",
              "the fee and the interest are unknown to the register")
        check(page_figures(browser)["difference"] == "-43.00", "the difference counts the cleared lines")
        check("not posted" in browser.text("#items"), "an unposted item cannot be ticked")
        browser.shot("reconcile-matched")

        # Accept the proposal of 4/1 (the card payment of the 11th).
        proposal = [p for p in browser.finds("tr[data-line=A3] .proposal") if p.text.startswith("4/1 ")][0]
        browser.click(proposal.find_element(By.CSS_SELECTOR, "button"))
        check(line_outcome(browser, "A3") == "cleared", "the accepted proposal is cleared")
        check(page_figures(browser)["difference"] == "-3.00", "the difference follows")
        # Enter the fee, post it, apply it.
        browser.click(browser.find("tr[data-line=A4] button"))
        check(line_outcome(browser, "A4") == "entered", "the fee is entered as an adjustment")
        # The interest as a deposit of its own (matched once posted).
        browser.click(browser.find("tr[data-line=A5] button.enter-as"))
        check("Entered Deposit" in browser.text("#done"), "the interest is entered as a deposit")
        browser.click(browser.find("button.post"))
        check("Posted batch BKSTMT" in browser.text("#done"), "the statement's batch is posted from the page")
        browser.click(browser.find("button.again"))
        check(line_outcome(browser, "A4") == "cleared" and line_outcome(browser, "A5") == "cleared",
              "the posted fee and interest are cleared into the reconciliation")
        check(page_figures(browser)["difference"] == "0.00", "the difference is 0.00")

        # Tick and untick without loading the page again.
        browser.driver.execute_script("window.bkSamePage = 1;")
        tick(browser, "6/1")
        check(page_figures(browser)["difference"] == "-33.00" and page_figures(browser)["deposits"] == "285.00",
              "a tick moves the difference at once")
        check(browser.driver.execute_script("return window.bkSamePage") == 1, "without loading the page again")
        check(status_of(bkreg, company, "OPS")["Difference"] == -33.0, "the command line sees the tick")
        tick(browser, "6/1")
        check(page_figures(browser)["difference"] == "0.00", "the untick brings the difference back to 0.00")
        check(browser.driver.execute_script("return window.bkSamePage") == 1, "still the same page")
        st = status_of(bkreg, company, "OPS")
        check(st["Difference"] == 0.0 and st["Cleared count"] == int(page_figures(browser)["count"]),
              "reconcile status agrees with the page")
        browser.shot("reconcile-zero")

        # Finish, history, undo, finish again.
        browser.click(browser.find("button.finish"))
        check("Reconciled OPS to the statement of 2026-04-30" in browser.text("#done"), "finished at 0.00")
        history = browser.text("#history")
        check("2026-04-30" in history and "1107.00" in history, "the history shows the statement and its balance")
        browser.shot("reconcile-history")
        # Undo asks first (the page's script): confirmed.
        old = browser.find("html")
        browser.find("button.undo").click()
        WebDriverWait(browser.driver, 30).until(expected_conditions.alert_is_present())
        browser.driver.switch_to.alert.accept()
        WebDriverWait(browser.driver, 120).until(replaced(old))
        check("Undid the reconciliation" in browser.text("#done"), "the last reconciliation is undone")
        check(page_figures(browser)["difference"] == "0.00" and not browser.finds("#history tbody tr"),
              "back in progress at 0.00, the history empty")
        browser.click(browser.find("button.finish"))
        check("Reconciled OPS" in browser.text("#done"), "finished again")
        rc, text = bk(bkreg, company, "--format", "json", "balance", "OPS", "--kind", "reconciled")
        check(rc == 0 and json.loads(text)[0]["Balance"] == 1107.0 and "1107.00" in browser.text("#history"),
              "balance --kind reconciled agrees with the history")

        # A truncated file is refused whole, with the reason.
        upload(browser, truncated)
        check("cut short or damaged" in browser.text("#refused") and "cut.ofx" in browser.text("#refused"),
              "a truncated OFX is refused with the reason")
        browser.shot("reconcile-refused")

        # CSV with its mapping; remembered; the same again refused line by line.
        browser.get(base + "/reconcile?bank=SAV")
        upload(browser, csv, MAPPING)
        check(line_outcome(browser, "S1") == "cleared" and line_outcome(browser, "S2") == "cleared",
              "the CSV statement clears both lines")
        check(page_figures(browser)["difference"] == "0.00", "and reaches 0.00")
        check(browser.find("#up-mapping").get_attribute("value") == MAPPING, "the mapping is remembered")
        upload(browser, csv)
        check(line_outcome(browser, "S1").startswith("refused") and line_outcome(browser, "S2").startswith("refused"),
              "the same statement again is refused line by line")
        upload(browser, csv_other)
        check("nothing was changed" in browser.text("#refused") and "account" in browser.text("#refused"),
              "a statement with a line of another account is refused with the reason")
        st = status_of(bkreg, company, "SAV")
        figures = page_figures(browser)
        check(st["Difference"] == 0.0 and figures["difference"] == "0.00" and figures["ending"] == "1380.00",
              "nothing changed; reconcile status agrees with the page")
        # The bank corrects its ending balance by 0.25: the page offers an
        # adjustment of the difference, entered, posted and ticked at once.
        browser.type("#st-ending", "1380.25")
        browser.submit("#st-send")
        check(page_figures(browser)["difference"] == "0.25" and browser.text("#adjust-amount") == "0.25",
              "a corrected ending balance leaves 0.25, and the page offers it as an adjustment")
        check(browser.find("#finish").get_attribute("disabled") is not None, "finish waits for 0.00")
        browser.submit("#adjust-send")
        check("ticked the adjustment" in browser.text("#done") and page_figures(browser)["difference"] == "0.00",
              "the adjustment brings the difference to 0.00")
        check(status_of(bkreg, company, "SAV")["Difference"] == 0.0, "reconcile status agrees")

        # Two programs at once in TWO: the page ticks the odd deposits while
        # bkreg clears the even ones.
        browser.get(base + "/reconcile?bank=TWO")
        keys = browser.driver.execute_script(
            "return Array.from(document.querySelectorAll('#items tr.item')).map(tr => tr.dataset.key);")
        check(len(keys) == 20, "TWO's twenty deposits are outstanding")
        errors = []

        def clear_evens():
            for key in keys[1::2]:
                run, seq = key.split("/")
                rc, text = bk(bkreg, company, "--wait", "30", "clear", "TWO", run, seq, "--date", "2026-06-30")
                if rc != 0:
                    errors.append(text)

        other = threading.Thread(target=clear_evens)
        other.start()
        for key in keys[0::2]:
            tick(browser, key)
        other.join()
        check(not errors, "bkreg clear worked beside the page: %s" % errors)
        browser.get(base + "/reconcile?bank=TWO")
        figures = page_figures(browser)
        st = status_of(bkreg, company, "TWO")
        check(figures["difference"] == "0.00" and figures["count"] == "20" and st["Difference"] == 0.0 and
              st["Cleared count"] == 20 and figures["deposits"] == "212.10",
              "every tick and every clearing counted once: 212.10 in 20 items, difference 0.00")
        # Untick one; then another program holds the account: refused, shown.
        first = keys[0]
        tick(browser, first)
        check(page_figures(browser)["difference"] == "1.01", "an untick counts at once")
        holder = subprocess.Popen([bkreg, "--company", company, "lock", "TWO"], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, text=True)
        check("Holding" in holder.stdout.readline(), "another program holds the edit-register lock of TWO")
        try:
            tick(browser, first, expect_ok=False)
            check("being edited by another program" in browser.text("#tick-refused"),
                  "a tick while another program holds the account is refused with the reason")
            check(page_figures(browser)["difference"] == "1.01", "and nothing changed")
            browser.get(base + "/reconcile?bank=TWO")
            check("Another program is editing the register of TWO" in browser.text("#held"),
                  "the page says who holds the account")
            browser.shot("reconcile-held")
        finally:
            holder.stdin.write("\n")
            holder.stdin.flush()
            holder.wait(timeout=60)
        tick(browser, first)
        check(page_figures(browser)["difference"] == "0.00", "once let go the tick goes through")

        rc, text = bk(bkreg, company, "verify")
        check(rc == 0 and "no problems found" in text, "bkreg verify is clean: " + text.strip().splitlines()[-1])
        print("passed")
        return 0
    finally:
        if browser is not None:
            browser.close()
        if server is not None:
            server.terminate()
            try:
                server.wait(timeout=30)
            except subprocess.TimeoutExpired:
                server.kill()
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bkreg", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    if not os.path.exists(CHROMIUM) or not os.path.exists(DRIVER):
        print("skipped: chromium or chromedriver is missing (make deps)")
        return 77
    try:
        return run(args.bkreg, args.out)
    except Failure as e:
        print("FAILED:", e)
        return 1


if __name__ == "__main__":
    sys.exit(main())
