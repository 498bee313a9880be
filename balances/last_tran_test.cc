// The last-transaction record: what each type records, a record another
// program holds (a real second process) answered with Retry or Cancel, by a
// script and unattended, and failed writes that leave the record as it was
// and never keep it locked.
#include <gtest/gtest.h>

#include "balances/balance_test_support.h"
#include "balances/last_tran.h"
#include "framework/base/scripted_responder.h"
#include "tests/support/status_text.h"

namespace {

using bktest::ChildProcess;

// The stored record of `bank`, read through a handle of its own: the
// deposit's, withdrawal's and adjustment's date and amount, the AP check and
// the payroll run ("none" without a record), after "held " when that handle
// cannot lock it now (so another one holds it).
std::string Stored(const tsioDataFile& bkm, const std::string& bank) {
  tsioDataFile other(bkm.FileName());
  LastTran c(other, "", 0);
  c.m_Record.SetBankAccount(tsAlpha(bank));
  tsioStatus::Status st = c.FetchEQ(true);
  const std::string held = st == tsioStatus::kLocked ? "held " : "";
  st = st == tsioStatus::kSuccess ? c.Unlock() : held.empty() ? st : c.FetchEQ(false);
  if (st != tsioStatus::kSuccess) return "none";
  return held + baltest::Text(c.m_Record, "LTDEPDT;LTDEPA;LTWTHDT;LTWTHA;LTADJDT;LTADJA;LTAPC;LTPRWDD");
}

// Records a transaction of `type` on `ymd`; the status as text.
std::string Update(LastTran& lt, const char* bank, int type, int ymd, const char* amount) {
  return bktest::Said(lt.UpdateLastTransaction("Save deposit", tsAlpha(bank), tsChoice(type), tsDate::FromYmd(ymd),
                                               tsDouble::FromText(amount, 3)),
                      false);
}

// Each kind in its own fields, in cents, half away from zero; the other
// kinds keep theirs; a check changes no field but is still written (an
// account without a record gets one with its id only). A record is never
// written with what an earlier record left in the cursor's buffer. A failed
// read, lock or write changes nothing and leaves the record unlocked.
TEST(LastTran, EachTypeRecordsItsOwnFieldsAndFailuresLeaveTheRecordAsItWasAndUnlocked) {
  bktest::BankCompany co;
  tsScriptedResponder script;
  LastTran lt(*co.bkm, "", 0);
  // Account A's record carries check and payment-run fields set by their callers.
  bkdetailtest::Put<LastTran>(*co.bkm, "LTBNKAC=A;LTAPC=4711;LTPRWDD=12;LTWTHA=5.00");
  const struct {
    const char* bank;
    int type, ymd;
    const char* amount;
    const char* stored;
  } steps[] = {
      {"A", 2, 20260101, "7", "2026-01-01 7.00 - 5.00 - 0.00 4711 12"},
      {"B", 2, 20260102, "8", "2026-01-02 8.00 - 0.00 - 0.00 0 0"},
      {"B1", 3, 20260210, "-75.00", "- 0.00 2026-02-10 75.00 - 0.00 0 0"},
      {"B1", 4, 20260212, "-10.00", "- 0.00 2026-02-10 75.00 2026-02-12 -10.00 0 0"},
      {"B1", 4, 20260212, "10.004", "- 0.00 2026-02-10 75.00 2026-02-12 10.00 0 0"},
      {"B1", 2, 20260213, "33.335", "2026-02-13 33.34 2026-02-10 75.00 2026-02-12 10.00 0 0"},
      {"B1", 1, 20260214, "99", "2026-02-13 33.34 2026-02-10 75.00 2026-02-12 10.00 0 0"},
      {"B9", 1, 20260315, "5", "- 0.00 - 0.00 - 0.00 0 0"},
  };
  std::string got, want;
  for (const auto& s : steps) {
    const std::string said = Update(lt, s.bank, s.type, s.ymd, s.amount);
    got += said + " " + s.bank + ": " + Stored(*co.bkm, s.bank) + "\n";
    want += std::string("0 ") + s.bank + ": " + s.stored + "\n";
  }
  EXPECT_EQ(got, want);

  // Failed reads and writes leave the record as it was and unlocked. A
  // duplicate key on insert is another program's record appearing between
  // the read and the insert: it is read again and updated instead (B3).
  const std::string kept = Stored(*co.bkm, "B1");
  const struct {
    tsioOp op;
    tsioStatus::Status status;
    const char* bank;  // B1 has a record (update), B2 and B3 have none (insert)
    const char* said;
  } cases[] = {
      {tsioOp::kUpdate, tsioStatus::kIOError, "B1", "3 | 1632/3"},
      {tsioOp::kInsert, tsioStatus::kDiskFull, "B2", "3 | 1632/3"},
      {tsioOp::kFetch, tsioStatus::kIOError, "B1", "3 | 1633/3"},
      {tsioOp::kLock, tsioStatus::kLockUnavailable, "B1", "3 | 1633/3"},
      {tsioOp::kInsert, tsioStatus::kDuplicateKey, "B3", "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ccIOStatusStr(c.status));
    tsioFaults::Arm(c.op, c.status);
    EXPECT_EQ(Update(lt, c.bank, 3, 20260303, "9"), c.said);
    tsioFaults::Clear();
    EXPECT_EQ(Stored(*co.bkm, "B1") + " / " + Stored(*co.bkm, "B2"), kept + " / none");
  }
  EXPECT_EQ(Stored(*co.bkm, "B3"), "- 0.00 2026-03-03 9.00 - 0.00 0 0");
  EXPECT_TRUE(script.Boxes().empty());
}

// A person who answers Retry, and after the second box has the other
// program let the record go.
struct RetryAfterRelease : tsResponder {
  explicit RetryAfterRelease(ChildProcess& holder) : holder(holder) {}
  void ShowMessage(std::string_view, int) override {}
  int MessageBox(std::string_view, std::string_view, unsigned) override {
    if (++boxes == 2) {
      holder.Send("release");
      EXPECT_EQ(holder.Wait(), 0);  // its locks are gone once it has ended
    }
    return IDRETRY;
  }
  ChildProcess& holder;
  int boxes = 0;
};

TEST(LastTran, RecordHeldByAnotherProgramRetryOrCancel) {
  bktest::BankCompany co;
  LastTran lt(*co.bkm, "", 0);
  bkdetailtest::Put<LastTran>(*co.bkm, "LTBNKAC=B1;LTDEPA=1.00");
  const std::string kept = Stored(*co.bkm, "B1");
  ChildProcess other = bkdetailtest::HoldLock<LastTran>(co.fm.Folder(), "LTBNKAC=B1", BKMFileSpec);
  // Cancel: level 3 with 1633, nothing written; unattended, with the
  // console responder, the safe answer (Cancel) at once.
  {
    tsScriptedResponder script;
    script.QueueAnswer(IDCANCEL);
    EXPECT_EQ(Update(lt, "B1", 2, 20260202, "50"), "3 | 1633/3");
    ASSERT_EQ(script.Boxes().size(), 1u);
    EXPECT_EQ(script.Boxes()[0].title + " | " + script.Boxes()[0].text + " | " +
                  std::to_string(script.Boxes()[0].style),
              "Save deposit | Could not save this transaction, because the Last Transaction record for bank "
              "account 'B1' is in use. | 21");
  }
  TSGetApp()->SetUnattended(true);
  EXPECT_EQ(Update(lt, "B1", 2, 20260202, "50"), "3 | 1633/3");
  TSGetApp()->SetUnattended(false);
  EXPECT_EQ(Stored(*co.bkm, "B1"), "held " + kept);
  // Retry while it is held, Retry again once the other program let it go.
  RetryAfterRelease person(other);
  {
    tsResponderScope scope(&person);
    EXPECT_EQ(Update(lt, "B1", 2, 20260202, "50"), "0");
  }
  EXPECT_EQ(person.boxes, 2);
  // Written, and neither program holds it afterwards.
  EXPECT_EQ(Stored(*co.bkm, "B1"), "2026-02-02 50.00 - 0.00 - 0.00 0 0");
}

}  // namespace
