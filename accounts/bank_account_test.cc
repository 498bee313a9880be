// Bank-account totals, interest and balances, checked against simple
// independent computations.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <random>

#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/io/faults.h"
#include "locking/register_bank_locker.h"
#include "locking/register_transaction_run_lock.h"
#include "accounts/bank_account.h"
#include "records/record_test_support.h"
#include "transactions/transaction.h"

namespace {

// From-scratch totals: what one transaction contributes to a family of totals.
struct Expected {
  long long checks = 0, deposits = 0, withdrawals = 0, minus = 0, plus = 0;
  void Add(int kind, long long cents, int status, bool open, int sign) {
    bool counted = open ? status == 1 : status != 3;
    if (!counted) return;
    switch (kind) {
      case 1: checks += sign * -cents; break;
      case 2: deposits += sign * cents; break;
      case 3: withdrawals += sign * -cents; break;
      case 4:
        if (cents >= 0) plus += sign * cents;
        else minus += sign * -cents;
        break;
    }
  }
  long long Net() const { return deposits + plus - (checks + withdrawals + minus); }
  // In the order of BankAccountTotalsTranType, after an unused 0.
  std::array<long long, 6> Family() const { return {0, checks, deposits, withdrawals, plus, minus}; }
};

long long Cents(const tsCurrency& c) { return (tsDouble(c) * tsDouble(100)).ToLongLong(); }

// The stored open (or unreconciled) totals of an account, as Expected::Family.
std::array<long long, 6> Family(const BankAccountData& r, bool open) {
  if (open) {
    return {0, Cents(r.GetOpenChecks()), Cents(r.GetOpenDeposits()), Cents(r.GetOpenWithdrawals()),
            Cents(r.GetOpenAdjustmentsPlus()), Cents(r.GetOpenAdjustmentsMinus())};
  }
  return {0, Cents(r.GetUnreconciledChecks()), Cents(r.GetUnreconciledDeposits()),
          Cents(r.GetUnreconciledWithdrawals()), Cents(r.GetUnreconciledAdjustsPlus()),
          Cents(r.GetUnreconciledAdjustsMinus())};
}
tsDouble Amount(long long cents) { return tsDouble(cents, 0) / tsDouble(100); }

// Random edits of one transaction (status, amount, sign, zero) of every kind:
// after each edit the bank account's totals equal the from-scratch totals of
// the transaction's current state (plus what the account started with).
TEST(BankAccountTotals, RandomEditsMatchAFromScratchComputation) {
  bktest::BankCompany co;
  BankAccount bank(*co.bkm, "", 0);
  std::mt19937 rng(7);
  const long long amounts[] = {-5000, -3000, -1, 0, 1, 2000, 2500};
  for (int round = 0; round < 400; ++round) {
    const int kind = 1 + static_cast<int>(rng() % 4);
    bank.m_Record = BankAccountData();
    bank.m_Record.SetOpenChecks(tsCurrency::FromText("100.00"));  // some history of other transactions
    bank.m_Record.SetOpenTransactions(tsCurrency::FromText("-100.00"));
    bank.m_Record.SetUnreconciledDeposits(tsCurrency::FromText("50.00"));
    bank.m_Record.SetUnreconciledTransactions(tsCurrency::FromText("50.00"));
    long long cents = amounts[rng() % 7];
    int status = 1 + static_cast<int>(rng() % 3);
    // The transaction enters the totals as a new one: not counted before.
    tsDouble a = Amount(cents);
    (void)bank.ChangeOpenTotals(a, static_cast<bkTranType>(kind), static_cast<unsigned short>(status), 0, nullptr,
                                nullptr);
    (void)bank.ChangeUnreconciledTotals(a, static_cast<bkTranType>(kind), static_cast<unsigned short>(status), 3,
                                        nullptr, nullptr);
    for (int edit = 0; edit < 12; ++edit) {
      long long new_cents = rng() % 3 == 0 ? cents : amounts[rng() % 7];
      int new_status = rng() % 2 == 0 ? status : 1 + static_cast<int>(rng() % 3);
      tsDouble old_amount = Amount(cents);
      tsDouble new_amount = Amount(new_cents);
      // The result is the change made to the total `which` names; a call
      // that touches no total answers 0 and leaves `which` alone.
      const int expect_which = kind < 4 ? kind : (new_cents > 0 || (new_cents == 0 && cents >= 0) ? 4 : 5);
      for (bool open_family : {true, false}) {
        const BankAccountData before = bank.m_Record;
        auto which = static_cast<BankAccountTotalsTranType>(-1);
        tsDouble result =
            open_family
                ? bank.ChangeOpenTotals(new_amount, static_cast<bkTranType>(kind),
                                        static_cast<unsigned short>(new_status), static_cast<unsigned short>(status),
                                        &which, &old_amount)
                : bank.ChangeUnreconciledTotals(new_amount, static_cast<bkTranType>(kind),
                                                static_cast<unsigned short>(new_status),
                                                static_cast<unsigned short>(status), &which, &old_amount);
        const std::array<long long, 6> after = Family(bank.m_Record, open_family), was = Family(before, open_family);
        SCOPED_TRACE(std::string(open_family ? "open" : "unreconciled") + " kind " + std::to_string(kind) +
                     " cents " + std::to_string(cents) + "->" + std::to_string(new_cents) + " status " +
                     std::to_string(status) + "->" + std::to_string(new_status));
        if (static_cast<int>(which) == -1) {
          ASSERT_EQ(Cents(tsCurrency(result)), 0);
          ASSERT_EQ(after, was);
        } else {
          ASSERT_EQ(static_cast<int>(which), expect_which);
          ASSERT_EQ(Cents(tsCurrency(result)), after[which] - was[which]);
        }
      }
      cents = new_cents;
      status = new_status;
      Expected open, unrec;
      open.checks = 10000;
      unrec.deposits = 5000;
      open.Add(kind, cents, status, true, 1);
      unrec.Add(kind, cents, status, false, 1);
      const BankAccountData& r = bank.m_Record;
      SCOPED_TRACE("kind " + std::to_string(kind) + " round " + std::to_string(round) + " edit " +
                   std::to_string(edit) + " cents " + std::to_string(cents) + " status " + std::to_string(status));
      ASSERT_EQ(Family(r, true), open.Family());
      ASSERT_EQ(Family(r, false), unrec.Family());
      ASSERT_EQ(Cents(r.GetOpenTransactions()), open.Net());
      ASSERT_EQ(Cents(r.GetUnreconciledTransactions()), unrec.Net());
    }
  }
}

TEST(BankAccountInterest, YearBoundariesOverMonthEndsAndLeapYears) {
  bktest::BankCompany co;
  BankAccount bank(*co.bkm, "", 0);
  using Y = BankAccountData::InterestYearEnum;
  struct Case {
    int reference, date;
    Y year;
  } cases[] = {
      // Fiscal year ending 2026-12-31.
      {20261231, 20241231, Y::kNoYear},   {20261231, 20250101, Y::kLastYear}, {20261231, 20251231, Y::kLastYear},
      {20261231, 20260101, Y::kThisYear}, {20261231, 20261231, Y::kThisYear},
      {20261231, 20270101, Y::kNextYear}, {20261231, 20271231, Y::kNextYear}, {20261231, 20280101, Y::kNoYear},
      // Fiscal year ending on the last day of February, across leap years.
      {20280229, 20270228, Y::kLastYear}, {20280229, 20270301, Y::kThisYear}, {20280229, 20280229, Y::kThisYear},
      {20280229, 20280301, Y::kNextYear}, {20280229, 20290228, Y::kNextYear}, {20280229, 20260301, Y::kLastYear},
      {20280229, 20260228, Y::kNoYear},   {20270228, 20270228, Y::kThisYear}, {20270228, 20270301, Y::kNextYear},
      // A year ending on the 30th of a 30-day month.
      {20260630, 20260630, Y::kThisYear}, {20260630, 20250701, Y::kThisYear}, {20260630, 20250630, Y::kLastYear},
  };
  for (const auto& c : cases) {
    bank.m_Record = BankAccountData();
    Y which = Y::kNextYear;
    bank.ChangeInterestTotals(Amount(1234), tsDate::FromYmd(c.date), tsDate::FromYmd(c.reference), &which);
    SCOPED_TRACE(std::to_string(c.reference) + " " + std::to_string(c.date));
    EXPECT_EQ(which, c.year);
    const tsCurrency zero, amount = tsCurrency::FromText("12.34");
    EXPECT_EQ(bank.m_Record.GetLastYearsInterest(), c.year == Y::kLastYear ? amount : zero);
    EXPECT_EQ(bank.m_Record.GetYearToDateInterest(), c.year == Y::kThisYear ? amount : zero);
    EXPECT_EQ(bank.m_Record.GetNextYearsInterest(), c.year == Y::kNextYear ? amount : zero);
  }
}

Transaction& Add(Transaction& t, const char* bank, long long run, long long seq, long long cents, int state) {
  t.m_Record = TransactionData();
  t.m_Record.SetBankAccount(tsAlpha(bank));
  t.m_Record.SetRun(tsDouble(run, 0));
  t.m_Record.SetSequence(tsDouble(seq, 0));
  if (cents >= 0) t.m_Record.SetAddition(tsCurrency(Amount(cents)));
  else t.m_Record.SetSubtraction(tsCurrency(Amount(-cents)));
  tsChoice s;
  s.SetValue(state);
  t.m_Record.SetReconciled(s);
  EXPECT_EQ(t.Insert(), tsioStatus::kSuccess);
  return t;
}

// Balances always move; a view balance moves with them without a run lock,
// and with one only while another program edits the register and the run is
// excluded from its view (it has no marker of its own). Asking never drops
// the account's own edit lock; a lock record that cannot be read leaves the
// view alone and one log line.
TEST(BankAccountBalances, ViewBalancesFollowAnotherEditorsExcludedRunsOnly) {
  enum Editor { kNobody, kAnother, kItself };
  const struct Case {
    const char* what;
    bool run_lock;
    Editor editor;
    int run;  // run 5 has a marker of its own
    bool unreadable;
    bool view_moves;
  } cases[] = {
      {"no run lock", false, kAnother, 4, false, true},
      {"nobody edits", true, kNobody, 4, false, false},
      {"another program edits, the run has its marker", true, kAnother, 5, false, false},
      {"another program edits, the run is excluded", true, kAnother, 4, false, true},
      {"the account's own editor", true, kItself, 4, false, false},
      {"the lock record cannot be read", true, kAnother, 4, true, false},
  };
  const auto log_lines = [] {
    std::ifstream in(x_log_path());
    std::string line;
    int n = 0;
    while (std::getline(in, line)) ++n;
    return n;
  };
  const tsCurrency ten = tsCurrency::FromText("10.00");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bktest::BankCompany co;
    TSGetApp()->SetCompanyFolder(co.fm.Folder());
    BankAccount bank(*co.bkm, "", 0);
    bank.m_Record.SetBankAccount(tsAlpha("B1"));
    bkRegisterTransactionRunLock runs(*co.bkt);
    ASSERT_EQ(runs.CreateTransactionRunLocks(tsAlpha("B1"), {tsDouble(5, 0)}).MaxLevel(), ccError::kNone);
    tsioDataFile editor_file(co.bkm->FileName());
    RegisterBankLocker editor(editor_file);
    if (c.editor == kAnother) {
      ASSERT_EQ(editor.lockBank("B1").MaxLevel(), ccError::kNone);
    } else if (c.editor == kItself) {
      ASSERT_EQ(bank.EditRegisterLock().MaxLevel(), ccError::kNone);
    }
    const int logged = log_lines();
    for (bool bank_side : {true, false}) {
      if (c.unreadable) tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError);
      if (bank_side) {
        bank.UpdateBankBalance(ten, tsDouble(c.run, 0), c.run_lock ? &runs : nullptr);
      } else {
        bank.UpdateRegisterBalance(ten, tsDouble(c.run, 0), c.run_lock ? &runs : nullptr);
      }
      tsioFaults::Clear();
    }
    EXPECT_EQ(bank.m_Record.GetBankBalance(), ten);
    EXPECT_EQ(bank.m_Record.GetRegisterBalance(), ten);
    EXPECT_EQ(bank.m_Record.GetBankViewBalance(), c.view_moves ? ten : tsCurrency());
    EXPECT_EQ(bank.m_Record.GetRegisterViewBalance(), c.view_moves ? ten : tsCurrency());
    EXPECT_EQ(log_lines(), logged + (c.unreadable ? 2 : 0));
    if (c.editor == kItself) {
      tsioDataFile other_file(co.bkm->FileName());
      BankAccount other(other_file, "", 0);
      other.m_Record.SetBankAccount(tsAlpha("B1"));
      EXPECT_EQ(other.EditRegisterLock().Errors()[0].Number(), 2305) << "still held by its editor";
    }
    TSGetApp()->SetCompanyFolder("");
  }
}

// ChangeBankBalance moves the bank balance by the difference and answers
// whether there was none; the balances of excluded runs come from the
// transactions of those runs, whatever the index position.
TEST(BankAccountBalances, ChangesAndExcludedRunsBalances) {
  bktest::BankCompany co;
  BankAccount bank(*co.bkm, "", 0);
  bank.m_Record.SetBankAccount(tsAlpha("B1"));
  bkRegisterTransactionRunLock runs(*co.bkt);
  EXPECT_TRUE(bank.ChangeBankBalance(Amount(700), Amount(700), tsChoice(), tsDouble(4, 0), &runs));
  EXPECT_FALSE(bank.ChangeBankBalance(Amount(700), Amount(200), tsChoice(), tsDouble(4, 0), &runs));
  EXPECT_EQ(bank.m_Record.GetBankBalance(), tsCurrency::FromText("5.00"));
  Transaction t(*co.bkt, "", 0);
  Add(t, "B1", 4, 1, -1000, 1);
  Add(t, "B1", 4, 2, 2500, 2);
  Add(t, "B1", 4, 3, -300, 3);
  Add(t, "B1", 5, 1, 999, 2);
  Add(t, "B2", 4, 1, 100000, 2);
  Add(t, "B0", 4, 9, 100000, 2);
  tsCurrency reg, bal;
  ASSERT_EQ(runs.ExcludedRunsBalances(tsAlpha("B1"), {tsDouble(4, 0), tsDouble(5, 0), tsDouble(6, 0)}, reg, bal)
                .MaxLevel(),
            ccError::kNone);
  EXPECT_EQ(reg, tsCurrency::FromText("21.99"));  // -10 + 25 - 3 + 9.99
  EXPECT_EQ(bal, tsCurrency::FromText("31.99"));  // 25 - 3 + 9.99
}

}  // namespace
