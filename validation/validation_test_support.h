// For the validation tests: a company with the module's files and
// general-ledger master data, a program of the module with the current
// transaction file, the master file and (unless told otherwise) the GL
// master file open; records that pass every rule; deposits and withdrawals
// with their detail lines written to the transaction file; access to the
// protected rules of a validater.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "batches/bk_program.h"
#include "framework/control/interfaces.h"
#include "framework/dictionary/gl_files.h"
#include "ledger/gl_test_support.h"
#include "records/deposit_item.h"
#include "records/deposit_item_detail.h"
#include "records/files.h"
#include "records/transaction.h"
#include "records/withdrawal_detail.h"
#include "validation/transaction_validater.h"

namespace vtest {

inline constexpr unsigned short kCommand = 710;

// Accounts of the master data (unformatted, format 9 with prefixes:
// sections 2-2-0-4-3, the full prefix is the first four characters).
inline constexpr const char* kCash = "01011000100";       // company 01-01
inline constexpr const char* kSales = "01014000000";
inline constexpr const char* kFees = "01014100000";
inline constexpr const char* kRent = "01015000000";
inline constexpr const char* kOther = "02021000100";      // company 02-02, its own calendar
inline constexpr const char* kSister = "03031000100";     // 03-03, prefixes matched with 01-01
inline constexpr const char* kDueFrom = "01021500000";    // 01-02
inline constexpr const char* kDueTo = "02012500000";      // 02-01
inline constexpr const char* kUnknown = "09091000100";    // prefix 09-09 is not set up

// Accounting dates and what the company's calendar (2025, current year)
// says of them.
inline tsDate OpenDate() { return tsDate(2025, 3, 10); }
inline tsDate ClosedWarningDate() { return tsDate(2025, 1, 15); }  // status 3: 1605
inline tsDate ClosedErrorDate() { return tsDate(2025, 2, 10); }    // status 4: 1606 (a warning)
inline tsDate FutureDate() { return tsDate(2026, 6, 1); }          // after every period: 1629
inline tsDate UnknownDate() { return tsDate(2024, 6, 1); }         // before every period: 1624

// The company (a temporary folder, the application's company while the
// object lives) and a program of the module on it.
class Company {
 public:
  explicit Company(bool prefixed = true, bool open_glm = true) : ledger_(prefixed) {
    AddMasterData(prefixed);
    tsioFileManager& fm = program_.FileManager();
    EXPECT_EQ(fm.Create(BKTFileSpec), tsioStatus::kSuccess);
    EXPECT_EQ(fm.Create(BKMFileSpec), tsioStatus::kSuccess);
    EXPECT_EQ(program_.OpenFiles(), kBoolSuccess);
    if (open_glm) {
      EXPECT_EQ(fm.Open(GLMFileSpec), tsioStatus::kSuccess);
    }
  }

  bkProgram& Program() { return program_; }
  tsioDataFile& Bkt() { return *program_.File(BKTFileSpec); }
  const std::string& Folder() const { return ledger_.Folder(); }
  gltest::LedgerCompany& Ledger() { return ledger_; }

  // Records the "BK" to "GL" interface as active or not.
  void SetInterface(bool active) { EXPECT_EQ(zc_set_interface_active("BK", "GL", active), 1); }

 private:
  void AddMasterData(bool prefixed) {
    gltest::LedgerCompany& c = ledger_;
    c.SetHeader(2025, true);
    c.AddPeriod("", 2025, 1, tsDate(2025, 1, 1), tsDate(2025, 1, 31), kGLPeriodClosedWarning);
    c.AddPeriod("", 2025, 2, tsDate(2025, 2, 1), tsDate(2025, 2, 28), kGLPeriodClosedError);
    c.AddPeriod("", 2025, 3, tsDate(2025, 3, 1), tsDate(2025, 3, 31), kGLPeriodOpen);
    if (!prefixed) return;
    for (const char* p : {"0101", "0202", "0102", "0201", "0303"}) c.AddPrefix(p);
    c.AddPrefixMatch("0101", "0303");
    for (const char* a : {kCash, kSales, kFees, kRent, kOther, kSister, kDueFrom, kDueTo}) c.AddAccount(a);
    c.AddYear("0202", 2025);
  }

  gltest::LedgerCompany ledger_;
  bkProgram program_{kCommand};
};

// The kinds a validater is chosen for, plus the transfer validater.
enum class Kind { kCheck, kDeposit, kWithdrawal, kAdjustment, kTransfer };

inline const char* KindName(Kind k) {
  switch (k) {
    case Kind::kCheck: return "check";
    case Kind::kDeposit: return "deposit";
    case Kind::kWithdrawal: return "withdrawal";
    case Kind::kAdjustment: return "adjustment";
    case Kind::kTransfer: return "transfer";
  }
  return "?";
}

// A record of the kind that breaks no rule: bank "FIRST", run 1, sequence
// `seq`, both dates OpenDate(), entered by another application ("AP") in
// batch "B1" (source 1); a check 1001 of 125.50, a deposit of 300.00, a
// withdrawal of 75.00, a plus adjustment of 10.00, the paying side of a
// transfer of 50.00. No accounts.
inline void FillValid(TransactionData& r, Kind kind, int seq = 1) {
  r.SetBankAccount(tsAlpha("FIRST"));
  r.SetRun(tsDouble(1));
  r.SetSequence(tsDouble(seq));
  r.SetTransactionDate(OpenDate());
  r.SetAccountingDate(OpenDate());
  r.SetApplOfOrigin(tsAlpha("AP"));
  r.SetBatch(tsAlpha("B1"));
  r.SetBatchSource(BatchSourceEnum::kOtherApplication);
  switch (kind) {
    case Kind::kCheck:
      r.SetType(TransactionData::TranTypeEnum::kCheck);
      r.SetCheck(tsDouble(1001));
      r.SetSubtraction(tsCurrency::FromText("125.50"));
      break;
    case Kind::kDeposit:
      r.SetType(TransactionData::TranTypeEnum::kDeposit);
      r.SetDepositID(tsAlpha("D-1"));
      r.SetAddition(tsCurrency(300));
      break;
    case Kind::kWithdrawal:
      r.SetType(TransactionData::TranTypeEnum::kWithdrawal);
      r.SetSubtraction(tsCurrency(75));
      break;
    case Kind::kAdjustment:
      r.SetType(TransactionData::TranTypeEnum::kAdjustment);
      r.SetAddition(tsCurrency(10));
      break;
    case Kind::kTransfer:
      r.SetType(TransactionData::TranTypeEnum::kAdjustment);
      r.SetSubtraction(tsCurrency(50));
      break;
  }
}

// A message as the tests compare it.
struct Msg {
  unsigned short number;
  std::string text;
  bool operator==(const Msg&) const = default;
};

// How gtest shows a message.
inline void PrintTo(const Msg& m, std::ostream* os) { *os << m.number << " \"" << m.text << "\""; }

inline std::vector<Msg> Messages(const ccErrors& errors) {
  std::vector<Msg> out;
  for (const ccError& e : errors) out.push_back(Msg{e.Number(), e.Text()});
  return out;
}

inline std::string Describe(const ccErrors& errors) {
  std::string s;
  for (const ccError& e : errors) {
    s += "\n  " + std::to_string(e.Number()) + " L" + std::to_string(e.GetLevel()) + " " + e.Text();
  }
  return s.empty() ? " (none)" : s;
}

inline Msg Blank(const std::string& field, const std::string& what = "blank") {
  return Msg{1608, field + " cannot be " + what + "."};
}
inline Msg NonBlank(const std::string& field, const std::string& what) {
  return Msg{1610, field + " must be " + what + " for this type of transaction."};
}

// A validater of any class with its protected rules callable.
template <typename V>
struct Exposed : V {
  using V::V;
  using V::DoAccountValidations;
  using V::DoTypeIndependentValidations;
  using V::MatchingIntercompanyPrefixes;
  using V::ValidateAmounts;
  using V::ValidateBank;
  using V::ValidateBatchRunSeq;
  using V::ValidateCheck;
  using V::ValidateDates;
  using V::ValidateDepositID;
  using V::ValidateGLPeriods;
  using V::ValidateIntercompanyAccounts;
  using V::ValidateRegularAccounts;
  using V::ValidateTransactionType;
};

// Writes a transaction and its lines into the transaction file.
inline void Insert(tsioDataFile& bkt, const TransactionData& record) {
  Transaction t(bkt);
  t.m_Record = record;
  ASSERT_EQ(t.Insert(), tsioStatus::kSuccess);
}

inline void InsertItem(tsioDataFile& bkt, const TransactionData& owner, int item, const char* amount) {
  DepositItem c(bkt);
  c.m_Record.SetBankAccount(owner.GetBankAccount());
  c.m_Record.SetRun(owner.GetRun());
  c.m_Record.SetSequence(owner.GetSequence());
  c.m_Record.SetDepositItemNumber(tsDouble(item));
  c.m_Record.SetAmount(tsCurrency::FromText(amount));
  ASSERT_EQ(c.Insert(), tsioStatus::kSuccess);
}

inline void InsertItemDetail(tsioDataFile& bkt, const TransactionData& owner, int item, const char* credit,
                             const char* amount, const char* due_from = "", const char* due_to = "") {
  DepositItemDetail c(bkt);
  c.m_Record.SetBankAccount(owner.GetBankAccount());
  c.m_Record.SetRun(owner.GetRun());
  c.m_Record.SetSequence(owner.GetSequence());
  c.m_Record.SetDepositItemNumber(tsDouble(item));
  c.m_Record.SetCreditAccount(tsAlpha(credit));
  c.m_Record.SetAmount(tsCurrency::FromText(amount));
  c.m_Record.SetDueFromAccount(tsAlpha(due_from));
  c.m_Record.SetDueToAccount(tsAlpha(due_to));
  ASSERT_EQ(c.Insert(), tsioStatus::kSuccess);
}

inline void InsertWithdrawalDetail(tsioDataFile& bkt, const TransactionData& owner, const char* debit,
                                   const char* amount, const char* due_from = "", const char* due_to = "") {
  WithdrawalDetail c(bkt);
  c.m_Record.SetBankAccount(owner.GetBankAccount());
  c.m_Record.SetRun(owner.GetRun());
  c.m_Record.SetSequence(owner.GetSequence());
  c.m_Record.SetDebitAccount(tsAlpha(debit));
  c.m_Record.SetAmount(tsCurrency::FromText(amount));
  c.m_Record.SetDueFromAccount(tsAlpha(due_from));
  c.m_Record.SetDueToAccount(tsAlpha(due_to));
  ASSERT_EQ(c.Insert(), tsioStatus::kSuccess);
}

// A deposit entered in this module (application "BK", manual batch) of
// 300.00 into the cash account, and a withdrawal of 75.00 out of it.
inline TransactionData ModuleDeposit(int seq) {
  TransactionData r;
  FillValid(r, Kind::kDeposit, seq);
  r.SetApplOfOrigin(tsAlpha("BK"));
  r.SetBatchSource(BatchSourceEnum::kManualEntry);
  r.SetDebitAccount(tsAlpha(kCash));
  return r;
}

inline TransactionData ModuleWithdrawal(int seq) {
  TransactionData r;
  FillValid(r, Kind::kWithdrawal, seq);
  r.SetApplOfOrigin(tsAlpha("BK"));
  r.SetBatchSource(BatchSourceEnum::kManualEntry);
  r.SetCreditAccount(tsAlpha(kCash));
  return r;
}

// A cursor positioned on the stored transaction with `record`'s key.
inline void Fetch(Transaction& t, const TransactionData& record) {
  t.m_Record.SetBankAccount(record.GetBankAccount());
  t.m_Record.SetRun(record.GetRun());
  t.m_Record.SetSequence(record.GetSequence());
  ASSERT_EQ(t.FetchEQ(false), tsioStatus::kSuccess);
}

}  // namespace vtest
