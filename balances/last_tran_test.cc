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

namespace {

using bktest::BankCompany;
using bktest::ChildProcess;

tsCurrency Money(const char* text) { return tsCurrency::FromText(text); }

// The stored record of `bank` (all columns), read through a handle of its own.
bool Stored(const tsioDataFile& bkm, const std::string& bank, LastTranData* out) {
  LastTran c(bkm, "", 0);
  c.m_Record.SetBankAccount(tsAlpha(bank));
  if (c.FetchEQ(false) != tsioStatus::kSuccess) return false;
  *out = c.m_Record;
  return true;
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

TEST(LastTran, EachTypeRecordsItsOwnFieldsAndNothingElse) {
  BankCompany co;
  tsScriptedResponder script;
  LastTran lt(*co.bkm, "", 0);
  const tsDate d1 = tsDate::FromYmd(20260105), d2 = tsDate::FromYmd(20260210), d3 = tsDate::FromYmd(20260315);

  // First deposit: a new record with the id, the deposit, and nothing else.
  auto st = lt.UpdateLastTransaction("Deposit", tsAlpha("B1"), tsChoice(2), d1, tsDouble::FromText("120.50", 2));
  EXPECT_EQ(st.MaxLevel(), ccError::kNone);
  LastTranData r;
  ASSERT_TRUE(Stored(*co.bkm, "B1", &r));
  EXPECT_EQ(r.GetLastDepositDate(), d1);
  EXPECT_EQ(r.GetLastDepositAmount(), Money("120.50"));
  EXPECT_TRUE(r.GetLastWithdrawalDate().IsEmpty());
  EXPECT_EQ(r.GetLastWithdrawalAmount(), Money("0"));
  EXPECT_TRUE(r.GetLastAdjustmentDate().IsEmpty());
  EXPECT_EQ(r.GetLastAPCheckPrinted(), tsDouble(0));

  struct Case {
    int type;
    const char* amount;
    const char* stored;  // in the field of its type
  } cases[] = {
      {3, "-75.00", "75.00"}, {3, "75.00", "75.00"}, {4, "-10.00", "-10.00"}, {4, "10.004", "10.00"},
      {2, "33.335", "33.34"},  // stored in cents, half away from zero
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + c.amount);
    st = lt.UpdateLastTransaction("T", tsAlpha("B1"), tsChoice(c.type), d2, tsDouble::FromText(c.amount, 3));
    ASSERT_EQ(st.MaxLevel(), ccError::kNone);
    ASSERT_TRUE(Stored(*co.bkm, "B1", &r));
    const tsCurrency& got = c.type == 2   ? r.GetLastDepositAmount()
                            : c.type == 3 ? r.GetLastWithdrawalAmount()
                                          : r.GetLastAdjustmentAmount();
    EXPECT_EQ(got, Money(c.stored));
  }
  // The other kinds kept theirs; a check changes no field but is still written.
  ASSERT_TRUE(Stored(*co.bkm, "B1", &r));
  EXPECT_EQ(r.GetLastWithdrawalAmount(), Money("75.00"));
  EXPECT_EQ(r.GetLastAdjustmentAmount(), Money("10.00"));
  const LastTranData before = r;
  EXPECT_EQ(lt.UpdateLastTransaction("Check", tsAlpha("B1"), tsChoice(1), d3, tsDouble(99)).MaxLevel(),
            ccError::kNone);
  ASSERT_TRUE(Stored(*co.bkm, "B1", &r));
  EXPECT_EQ(r.GetLastDepositDate(), before.GetLastDepositDate());
  EXPECT_EQ(r.GetLastWithdrawalDate(), before.GetLastWithdrawalDate());
  EXPECT_EQ(r.GetLastAdjustmentAmount(), before.GetLastAdjustmentAmount());
  // A check on an account without a record inserts one with the id only.
  EXPECT_EQ(lt.UpdateLastTransaction("Check", tsAlpha("B9"), tsChoice(1), d3, tsDouble(5)).MaxLevel(),
            ccError::kNone);
  ASSERT_TRUE(Stored(*co.bkm, "B9", &r));
  EXPECT_TRUE(r.GetLastDepositDate().IsEmpty());
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
  lt.m_Record.SetLastWithdrawalAmount(Money("5.00"));
  ASSERT_EQ(lt.Insert(), tsioStatus::kSuccess);
  ASSERT_EQ(lt.UpdateLastTransaction("D", tsAlpha("A"), tsChoice(2), tsDate::FromYmd(20260101), tsDouble(7))
                .MaxLevel(),
            ccError::kNone);
  // The same cursor, now for account B that has no record yet.
  ASSERT_EQ(lt.UpdateLastTransaction("D", tsAlpha("B"), tsChoice(2), tsDate::FromYmd(20260102), tsDouble(8))
                .MaxLevel(),
            ccError::kNone);
  LastTranData b, a;
  ASSERT_TRUE(Stored(*co.bkm, "B", &b));
  EXPECT_EQ(b.GetLastAPCheckPrinted(), tsDouble(0));
  EXPECT_EQ(b.GetLastPayrollDirectDepositRun(), tsDouble(0));
  EXPECT_EQ(b.GetLastWithdrawalAmount(), Money("0"));
  EXPECT_EQ(b.GetLastDepositAmount(), Money("8.00"));
  ASSERT_TRUE(Stored(*co.bkm, "A", &a));
  EXPECT_EQ(a.GetLastAPCheckPrinted(), tsDouble(4711));
  EXPECT_EQ(a.GetLastDepositAmount(), Money("7.00"));
  EXPECT_EQ(a.GetLastWithdrawalAmount(), Money("5.00"));
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
    ASSERT_EQ(lt.UpdateLastTransaction("D", tsAlpha("B1"), tsChoice(2), tsDate::FromYmd(20260101), tsDouble(1))
                  .MaxLevel(),
              ccError::kNone);
  }
  ChildProcess other = StartHolder(co.fm.Folder());
  other.Send("hold B1");
  ASSERT_EQ(other.Receive(), "0");
  const std::string text =
      "Could not save this transaction, because the Last Transaction record for bank account 'B1' is in use.";

  // Cancel: level 3 with 1633, nothing written.
  {
    tsScriptedResponder script;
    script.QueueAnswer(IDCANCEL);
    auto st = lt.UpdateLastTransaction("Save deposit", tsAlpha("B1"), tsChoice(2), tsDate::FromYmd(20260202),
                                       tsDouble(50));
    EXPECT_EQ(st.MaxLevel(), ccError::kError);
    ASSERT_EQ(st.Errors().Size(), 1u);
    EXPECT_EQ(st.Errors()[0].Number(), 1633);
    ASSERT_EQ(script.Boxes().size(), 1u);
    EXPECT_EQ(script.Boxes()[0].title, "Save deposit");
    EXPECT_EQ(script.Boxes()[0].text, text);
    EXPECT_EQ(script.Boxes()[0].style, 21u);
  }
  // Unattended, with the console responder: the safe answer (Cancel), at once.
  {
    TSGetApp()->SetUnattended(true);
    auto st = lt.UpdateLastTransaction("Save", tsAlpha("B1"), tsChoice(2), tsDate::FromYmd(20260202), tsDouble(50));
    TSGetApp()->SetUnattended(false);
    EXPECT_EQ(st.MaxLevel(), ccError::kError);
    ASSERT_EQ(st.Errors().Size(), 1u);
    EXPECT_EQ(st.Errors()[0].Number(), 1633);
  }
  LastTranData r;
  ASSERT_TRUE(Stored(*co.bkm, "B1", &r));
  EXPECT_EQ(r.GetLastDepositAmount(), Money("1.00"));

  // Retry while it is held, Retry again once the other program let it go.
  RetryAfterRelease person(other);
  {
    tsResponderScope scope(&person);
    auto st = lt.UpdateLastTransaction("Save deposit", tsAlpha("B1"), tsChoice(2), tsDate::FromYmd(20260202),
                                       tsDouble(50));
    EXPECT_EQ(st.MaxLevel(), ccError::kNone);
  }
  EXPECT_EQ(person.boxes_, 2);
  ASSERT_TRUE(Stored(*co.bkm, "B1", &r));
  EXPECT_EQ(r.GetLastDepositAmount(), Money("50.00"));
  EXPECT_EQ(r.GetLastDepositDate(), tsDate::FromYmd(20260202));
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
  ASSERT_EQ(lt.UpdateLastTransaction("D", tsAlpha("B1"), tsChoice(3), tsDate::FromYmd(20260101), tsDouble(-4))
                .MaxLevel(),
            ccError::kNone);
  struct Case {
    const char* what;
    tsioOp op;
    tsioStatus::Status status;
    const char* bank;  // B1 has a record (update), B2 has none (insert)
    int message;
  } cases[] = {
      {"update fails", tsioOp::kUpdate, tsioStatus::kIOError, "B1", 1632},
      {"update refused", tsioOp::kUpdate, tsioStatus::kValueDoesNotFit, "B1", 1632},
      {"insert fails", tsioOp::kInsert, tsioStatus::kDiskFull, "B2", 1632},
      {"read fails", tsioOp::kFetch, tsioStatus::kIOError, "B1", 1633},
      {"lock fails", tsioOp::kLock, tsioStatus::kLockUnavailable, "B1", 1633},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tsioFaults::Arm(c.op, c.status);
    auto st = lt.UpdateLastTransaction("W", tsAlpha(c.bank), tsChoice(3), tsDate::FromYmd(20260303), tsDouble(9));
    tsioFaults::Clear();
    EXPECT_EQ(st.MaxLevel(), ccError::kError);
    ASSERT_EQ(st.Errors().Size(), 1u);
    EXPECT_EQ(st.Errors()[0].Number(), c.message);
    LastTranData r;
    ASSERT_TRUE(Stored(*co.bkm, "B1", &r));
    EXPECT_EQ(r.GetLastWithdrawalAmount(), Money("4.00"));
    EXPECT_EQ(r.GetLastWithdrawalDate(), tsDate::FromYmd(20260101));
    EXPECT_FALSE(Stored(*co.bkm, "B2", &r));
    EXPECT_TRUE(Free(*co.bkm, "B1"));
  }
  // Another program's record appears between the read and the insert: it
  // is read again and updated instead.
  tsioFaults::Arm(tsioOp::kInsert, tsioStatus::kDuplicateKey);
  auto st = lt.UpdateLastTransaction("W", tsAlpha("B3"), tsChoice(3), tsDate::FromYmd(20260303), tsDouble(9));
  tsioFaults::Clear();
  EXPECT_EQ(st.MaxLevel(), ccError::kNone);
  LastTranData r;
  ASSERT_TRUE(Stored(*co.bkm, "B3", &r));
  EXPECT_EQ(r.GetLastWithdrawalAmount(), Money("9.00"));
  EXPECT_TRUE(script.Boxes().empty());
}

}  // namespace
