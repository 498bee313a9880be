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
#include "deposits/detail_transfer_test_support.h"
#include "records/record_test_support.h"
#include "transactions/transaction.h"

namespace {

long long Cents(const tsCurrency& c) { return (tsDouble(c) * tsDouble(100)).ToLongLong(); }
tsDouble Amount(long long cents) { return tsDouble(cents, 0) / tsDouble(100); }

// A family of totals in the order of BankAccountTotalsTranType (after an
// unused 0: checks, deposits, withdrawals, plus, minus), then the net.
using Family = std::array<long long, 7>;

// From scratch: the family of an account that started with `start` and now
// holds one transaction of `kind`, `cents` (signed) and `status`, counted in
// the open family when its status is 1, in the unreconciled one unless 3.
Family Expected(Family start, int kind, long long cents, int status, bool open) {
  if (open ? status != 1 : status == 3) return start;
  const int at = kind < 4 ? kind : cents >= 0 ? 4 : 5;
  start[at] += kind == 2 || at == 4 ? cents : -cents;
  start[6] += cents;
  return start;
}

// The stored open (or unreconciled) totals of an account.
Family Stored(const BankAccountData& r, bool open) {
  if (open) {
    return {0, Cents(r.GetOpenChecks()), Cents(r.GetOpenDeposits()), Cents(r.GetOpenWithdrawals()),
            Cents(r.GetOpenAdjustmentsPlus()), Cents(r.GetOpenAdjustmentsMinus()), Cents(r.GetOpenTransactions())};
  }
  return {0, Cents(r.GetUnreconciledChecks()), Cents(r.GetUnreconciledDeposits()),
          Cents(r.GetUnreconciledWithdrawals()), Cents(r.GetUnreconciledAdjustsPlus()),
          Cents(r.GetUnreconciledAdjustsMinus()), Cents(r.GetUnreconciledTransactions())};
}

// Random edits of one transaction (status, amount, sign, zero) of every kind:
// after each edit the bank account's totals equal the from-scratch totals of
// the transaction's current state (plus what the account started with), and
// each call answers the change it made to the total it names.
TEST(BankAccountTotals, RandomEditsMatchAFromScratchComputation) {
  bktest::BankCompany co;
  BankAccount bank(*co.bkm, "", 0);
  std::mt19937 rng(7);
  const long long amounts[] = {-5000, -3000, -1, 0, 1, 2000, 2500};
  const Family open_start{0, 10000, 0, 0, 0, 0, -10000}, unrec_start{0, 0, 5000, 0, 0, 0, 5000};
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
    const auto type = static_cast<bkTranType>(kind);
    (void)bank.ChangeOpenTotals(Amount(cents), type, static_cast<unsigned short>(status), 0, nullptr, nullptr);
    (void)bank.ChangeUnreconciledTotals(Amount(cents), type, static_cast<unsigned short>(status), 3, nullptr, nullptr);
    for (int edit = 0; edit < 12; ++edit) {
      const long long new_cents = rng() % 3 == 0 ? cents : amounts[rng() % 7];
      const int new_status = rng() % 2 == 0 ? status : 1 + static_cast<int>(rng() % 3);
      SCOPED_TRACE("round " + std::to_string(round) + " kind " + std::to_string(kind) + " cents " +
                   std::to_string(cents) + "->" + std::to_string(new_cents) + " status " + std::to_string(status) +
                   "->" + std::to_string(new_status));
      tsDouble old_amount = Amount(cents);
      // A call that touches no total answers 0 and leaves `which` alone.
      const int expect_which = kind < 4 ? kind : (new_cents > 0 || (new_cents == 0 && cents >= 0) ? 4 : 5);
      for (bool open : {true, false}) {
        const Family was = Stored(bank.m_Record, open);
        auto which = static_cast<BankAccountTotalsTranType>(-1);
        const auto from = static_cast<unsigned short>(status), to = static_cast<unsigned short>(new_status);
        const tsDouble result =
            open ? bank.ChangeOpenTotals(Amount(new_cents), type, to, from, &which, &old_amount)
                 : bank.ChangeUnreconciledTotals(Amount(new_cents), type, to, from, &which, &old_amount);
        const Family after = Stored(bank.m_Record, open);
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
      ASSERT_EQ(Stored(bank.m_Record, true), Expected(open_start, kind, cents, status, true));
      ASSERT_EQ(Stored(bank.m_Record, false), Expected(unrec_start, kind, cents, status, false));
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
  for (const char* t : {"TBNKACC=B1;TRUN=4;TSEQ=1;TSUBTR=10.00;TRECOND=1", "TBNKACC=B1;TRUN=4;TSEQ=2;TADD=25.00;TRECOND=2",
                        "TBNKACC=B1;TRUN=4;TSEQ=3;TSUBTR=3.00;TRECOND=3", "TBNKACC=B1;TRUN=5;TSEQ=1;TADD=9.99;TRECOND=2",
                        "TBNKACC=B2;TRUN=4;TSEQ=1;TADD=1000.00;TRECOND=2", "TBNKACC=B0;TRUN=4;TSEQ=9;TADD=1000.00;TRECOND=2"}) {
    bkdetailtest::Put<Transaction>(*co.bkt, t);
  }
  tsCurrency reg, bal;
  ASSERT_EQ(runs.ExcludedRunsBalances(tsAlpha("B1"), {tsDouble(4, 0), tsDouble(5, 0), tsDouble(6, 0)}, reg, bal)
                .MaxLevel(),
            ccError::kNone);
  EXPECT_EQ(reg, tsCurrency::FromText("21.99"));  // -10 + 25 - 3 + 9.99
  EXPECT_EQ(bal, tsCurrency::FromText("31.99"));  // 25 - 3 + 9.99
}

}  // namespace
