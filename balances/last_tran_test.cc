// The last-transaction record: what each type records, a record another
// program holds (a real second process) answered with Retry or Cancel, by a
// script and unattended, and failed writes that leave the record as it was
// and never keep it locked.
#include <gtest/gtest.h>

#include "balances/last_tran.h"
#include "framework/base/application.h"
#include "framework/base/scripted_responder.h"
#include "framework/io/faults.h"
#include "records/record_test_support.h"
#include "tests/support/status_text.h"

namespace {

using bktest::BankCompany;
using bktest::ChildProcess;

// The stored record of `bank`, read through a handle of its own, as text:
// "dep|wd|adj <date> <amount>" for each kind ("-" for an empty date), then
// the AP check and payroll run numbers; "none" without a record.
std::string Stored(const tsioDataFile& bkm, const std::string& bank) {
  LastTran c(bkm, "", 0);
  c.m_Record.SetBankAccount(tsAlpha(bank));
  if (c.FetchEQ(false) != tsioStatus::kSuccess) return "none";
  const LastTranData& r = c.m_Record;
  auto kind = [](const char* name, const tsDate& d, const tsCurrency& a) {
    return std::string(name) + " " + (d.IsEmpty() ? "-" : d.Format()) + " " + a.Format() + ", ";
  };
  return kind("dep", r.GetLastDepositDate(), r.GetLastDepositAmount()) +
         kind("wd", r.GetLastWithdrawalDate(), r.GetLastWithdrawalAmount()) +
         kind("adj", r.GetLastAdjustmentDate(), r.GetLastAdjustmentAmount()) + "ap " +
         std::to_string(r.GetLastAPCheckPrinted().ToLongLong()) + " pr " +
         std::to_string(r.GetLastPayrollDirectDepositRun().ToLongLong());
}

// Whether another handle can lock the record of `bank` now (so nobody holds it).
bool Free(const tsioDataFile& bkm, const std::string& bank) {
  tsioDataFile other(bkm.FileName());
  LastTran c(other, "", 0);
  c.m_Record.SetBankAccount(tsAlpha(bank));
  const tsioStatus::Status st = c.FetchEQ(true);
  if (st == tsioStatus::kSuccess) (void)c.Unlock();
  return st == tsioStatus::kSuccess;
}

// Records a transaction of `type` on `ymd`; the status as text.
std::string Update(LastTran& lt, const char* bank, int type, int ymd, const char* amount,
                   const char* title = "Save deposit") {
  return bktest::Said(lt.UpdateLastTransaction(title, tsAlpha(bank), tsChoice(type), tsDate::FromYmd(ymd),
                                               tsDouble::FromText(amount, 3)),
                      false);
}

TEST(LastTran, EachTypeRecordsItsOwnFieldsAndNothingElse) {
  BankCompany co;
  tsScriptedResponder script;
  LastTran lt(*co.bkm, "", 0);
  // First deposit: a new record with the id, the deposit, and nothing else.
  EXPECT_EQ(Update(lt, "B1", 2, 20260105, "120.50"), "0");
  EXPECT_EQ(Stored(*co.bkm, "B1"), "dep 2026-01-05 120.50, wd - 0.00, adj - 0.00, ap 0 pr 0");
  // Each kind in its own fields, in cents, half away from zero; the other
  // kinds keep theirs; a check changes no field but is still written.
  const struct {
    int type;
    const char* amount;
    const char* stored;
  } cases[] = {
      {3, "-75.00", "dep 2026-01-05 120.50, wd 2026-02-10 75.00, adj - 0.00, ap 0 pr 0"},
      {3, "75.00", "dep 2026-01-05 120.50, wd 2026-02-10 75.00, adj - 0.00, ap 0 pr 0"},
      {4, "-10.00", "dep 2026-01-05 120.50, wd 2026-02-10 75.00, adj 2026-02-10 -10.00, ap 0 pr 0"},
      {4, "10.004", "dep 2026-01-05 120.50, wd 2026-02-10 75.00, adj 2026-02-10 10.00, ap 0 pr 0"},
      {2, "33.335", "dep 2026-02-10 33.34, wd 2026-02-10 75.00, adj 2026-02-10 10.00, ap 0 pr 0"},
      {1, "99", "dep 2026-02-10 33.34, wd 2026-02-10 75.00, adj 2026-02-10 10.00, ap 0 pr 0"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Update(lt, "B1", c.type, 20260210, c.amount), "0");
    EXPECT_EQ(Stored(*co.bkm, "B1"), c.stored) << c.type << " " << c.amount;
  }
  // A check on an account without a record inserts one with the id only.
  EXPECT_EQ(Update(lt, "B9", 1, 20260315, "5"), "0");
  EXPECT_EQ(Stored(*co.bkm, "B9"), "dep - 0.00, wd - 0.00, adj - 0.00, ap 0 pr 0");
  EXPECT_TRUE(script.Boxes().empty());
  EXPECT_TRUE(Free(*co.bkm, "B1"));
}

TEST(LastTran, NeverWritesWhatAnEarlierRecordLeftInTheBuffer) {
  BankCompany co;
  tsScriptedResponder script;
  LastTran lt(*co.bkm, "", 0);
  // Account A's record carries check and payment-run fields set by their callers.
  lt.m_Record.SetBankAccount(tsAlpha("A"));
  lt.m_Record.SetLastAPCheckPrinted(tsDouble(4711));
  lt.m_Record.SetLastPayrollDirectDepositRun(tsDouble(12));
  lt.m_Record.SetLastWithdrawalAmount(tsCurrency::FromText("5.00"));
  ASSERT_EQ(lt.Insert(), tsioStatus::kSuccess);
  ASSERT_EQ(Update(lt, "A", 2, 20260101, "7"), "0");
  // The same cursor, now for account B that has no record yet.
  ASSERT_EQ(Update(lt, "B", 2, 20260102, "8"), "0");
  EXPECT_EQ(Stored(*co.bkm, "B"), "dep 2026-01-02 8.00, wd - 0.00, adj - 0.00, ap 0 pr 0");
  EXPECT_EQ(Stored(*co.bkm, "A"), "dep 2026-01-01 7.00, wd - 5.00, adj - 0.00, ap 4711 pr 12");
}

// A second program that holds the last-transaction record of a bank account
// locked ("hold B") until told to let it go ("release").
ChildProcess StartHolder(const std::string& folder) {
  return ChildProcess::Start([folder] {
    tsioFileManager fm(folder);
    tsioDataFile* bkm = nullptr;
    if (fm.Open(BKMFileSpec, &bkm) != tsioStatus::kSuccess) return 1;
    LastTran c(*bkm, "", 0);
    for (;;) {
      const std::string cmd = ChildProcess::ReadLine();
      if (cmd.empty()) return 0;
      if (cmd.rfind("hold ", 0) == 0) {
        c.m_Record.SetBankAccount(tsAlpha(cmd.substr(5)));
        ChildProcess::WriteLine(std::to_string(c.FetchEQ(true)));
      } else if (cmd == "release") {
        (void)c.Unlock();
        // On a server a lock goes back without waiting for the answer; the
        // read after it waits for the server, which has then let it go, so
        // the test is told only once the record is free to others.
        (void)c.FetchEQ(false);
        ChildProcess::WriteLine("0");
      }
    }
  });
}

// A person who answers Retry after the other program let the record go.
class RetryAfterRelease : public tsResponder {
 public:
  explicit RetryAfterRelease(ChildProcess& holder) : holder_(holder) {}
  void ShowMessage(std::string_view, int) override {}
  int MessageBox(std::string_view, std::string_view, unsigned) override {
    ++boxes_;
    if (boxes_ == 2) {  // waits once more, then the other program is done
      holder_.Send("release");
      EXPECT_EQ(holder_.Receive(), "0");
    }
    return IDRETRY;
  }
  int boxes_ = 0;

 private:
  ChildProcess& holder_;
};

TEST(LastTran, RecordHeldByAnotherProgramRetryOrCancel) {
  BankCompany co;
  LastTran lt(*co.bkm, "", 0);
  {
    tsScriptedResponder script;
    ASSERT_EQ(Update(lt, "B1", 2, 20260101, "1"), "0");
  }
  const std::string kept = Stored(*co.bkm, "B1");
  ChildProcess other = StartHolder(co.fm.Folder());
  other.Send("hold B1");
  ASSERT_EQ(other.Receive(), "0");

  // Cancel: level 3 with 1633, nothing written.
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
  // Unattended, with the console responder: the safe answer (Cancel), at once.
  TSGetApp()->SetUnattended(true);
  EXPECT_EQ(Update(lt, "B1", 2, 20260202, "50"), "3 | 1633/3");
  TSGetApp()->SetUnattended(false);
  EXPECT_EQ(Stored(*co.bkm, "B1"), kept);

  // Retry while it is held, Retry again once the other program let it go.
  RetryAfterRelease person(other);
  {
    tsResponderScope scope(&person);
    EXPECT_EQ(Update(lt, "B1", 2, 20260202, "50"), "0");
  }
  EXPECT_EQ(person.boxes_, 2);
  EXPECT_EQ(Stored(*co.bkm, "B1"), "dep 2026-02-02 50.00, wd - 0.00, adj - 0.00, ap 0 pr 0");
  // And this program holds nothing afterwards: the other one locks it at once.
  other.Send("hold B1");
  EXPECT_EQ(other.Receive(), "0");
  other.Send("release");
  EXPECT_EQ(other.Receive(), "0");
}

TEST(LastTran, FailedReadsAndWritesLeaveTheRecordAsItWasAndUnlocked) {
  BankCompany co;
  tsScriptedResponder script;
  LastTran lt(*co.bkm, "", 0);
  ASSERT_EQ(Update(lt, "B1", 3, 20260101, "-4"), "0");
  const std::string kept = Stored(*co.bkm, "B1");
  struct Case {
    const char* what;
    tsioOp op;
    tsioStatus::Status status;
    const char* bank;  // B1 has a record (update), B2 has none (insert)
    const char* said;
  } cases[] = {
      {"update fails", tsioOp::kUpdate, tsioStatus::kIOError, "B1", "3 | 1632/3"},
      {"update refused", tsioOp::kUpdate, tsioStatus::kValueDoesNotFit, "B1", "3 | 1632/3"},
      {"insert fails", tsioOp::kInsert, tsioStatus::kDiskFull, "B2", "3 | 1632/3"},
      {"read fails", tsioOp::kFetch, tsioStatus::kIOError, "B1", "3 | 1633/3"},
      {"lock fails", tsioOp::kLock, tsioStatus::kLockUnavailable, "B1", "3 | 1633/3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tsioFaults::Arm(c.op, c.status);
    EXPECT_EQ(Update(lt, c.bank, 3, 20260303, "9"), c.said);
    tsioFaults::Clear();
    EXPECT_EQ(Stored(*co.bkm, "B1") + " / " + Stored(*co.bkm, "B2"), kept + " / none");
    EXPECT_TRUE(Free(*co.bkm, "B1"));
  }
  // Another program's record appears between the read and the insert: it
  // is read again and updated instead.
  tsioFaults::Arm(tsioOp::kInsert, tsioStatus::kDuplicateKey);
  EXPECT_EQ(Update(lt, "B3", 3, 20260303, "9"), "0");
  tsioFaults::Clear();
  EXPECT_EQ(Stored(*co.bkm, "B3"), "dep - 0.00, wd 2026-03-03 9.00, adj - 0.00, ap 0 pr 0");
  EXPECT_TRUE(script.Boxes().empty());
}

}  // namespace
