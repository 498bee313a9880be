// Bank-account totals, interest and balances, checked against simple
// independent computations.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <random>
#include <sstream>

#include "accounts/bank_account.h"
#include "deposits/detail_transfer_test_support.h"
#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/io/faults.h"
#include "locking/register_bank_locker.h"
#include "locking/register_transaction_run_lock.h"
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

// The stored values of `columns` of an account in cents, from index 1 on.
Family Stored(BankAccountData& r, const std::string& columns) {
  Family f{};
  size_t i = 1;
  for (const auto& column : tsSplitNames(columns, ' ')) {
    f[i++] = Cents(*dynamic_cast<tsCurrency*>(r.Find(column)));
  }
  return f;
}
// The columns of the unreconciled and of the open totals, in the same order.
const char* const kFamily[] = {"BURCHK BURDEP BURWDL BURADJP BURADJM BURALL",
                               "BOPNCHK BOPNDEP BOPNWDL BOPNAJP BOPNAJM BOPNALL"};

// Random edits of one transaction (status, amount, sign, zero) of every kind:
// after each edit the bank account's totals equal the from-scratch totals of
// the transaction's current state (plus what the account started with), and
// each call answers the change it made to the total it names (a call that
// touches no total answers 0 and leaves `which` alone).
TEST(BankAccountTotals, RandomEditsMatchAFromScratchComputation) {
  bktest::BankCompany co;
  BankAccount bank(*co.bkm, "", 0);
  std::mt19937 rng(7);
  const auto pick = [&rng](unsigned n) { return static_cast<unsigned short>(rng() % n); };
  const long long amounts[] = {-5000, -3000, -1, 0, 1, 2000, 2500};
  const Family start[] = {{0, 0, 5000, 0, 0, 0, 5000}, {0, 10000, 0, 0, 0, 0, -10000}};  // unreconciled, open
  for (int round = 0; round < 400; ++round) {
    const int kind = 1 + pick(4);
    const auto type = static_cast<bkTranType>(kind);
    const auto change = [&](bool open, long long to_cents, unsigned short to, unsigned short from,
                            auto... which_and_old) {
      return open ? bank.ChangeOpenTotals(Amount(to_cents), type, to, from, which_and_old...)
                  : bank.ChangeUnreconciledTotals(Amount(to_cents), type, to, from, which_and_old...);
    };
    // Some history of other transactions, then the transaction enters the totals as a new one.
    bank.m_Record = BankAccountData();
    ASSERT_TRUE(bkdetailtest::Set(bank.m_Record, "BOPNCHK=100.00;BOPNALL=-100.00;BURDEP=50.00;BURALL=50.00"));
    long long cents = amounts[pick(7)];
    unsigned short status = 1 + pick(3);
    (void)change(true, cents, status, 0);
    (void)change(false, cents, status, 3);
    for (int edit = 0; edit < 12; ++edit) {
      const long long new_cents = pick(3) == 0 ? cents : amounts[pick(7)];
      const unsigned short new_status = pick(2) == 0 ? status : 1 + pick(3);
      SCOPED_TRACE("round " + std::to_string(round) + " kind " + std::to_string(kind) + " cents " +
                   std::to_string(cents) + "->" + std::to_string(new_cents) + " status " + std::to_string(status) +
                   "->" + std::to_string(new_status));
      const tsDouble old_amount = Amount(cents);
      const int expect_which = kind < 4 ? kind : (new_cents > 0 || (new_cents == 0 && cents >= 0) ? 4 : 5);
      for (bool open : {true, false}) {
        const Family was = Stored(bank.m_Record, kFamily[open]);
        auto which = static_cast<BankAccountTotalsTranType>(-1);
        const long long answer = Cents(tsCurrency(change(open, new_cents, new_status, status, &which, &old_amount)));
        const Family after = Stored(bank.m_Record, kFamily[open]);
        const int at = static_cast<int>(which);
        ASSERT_EQ(std::tuple(answer, at, after),
                  std::tuple(at == -1 ? 0 : after[at] - was[at], at == -1 ? -1 : expect_which,
                             Expected(start[open], kind, new_cents, new_status, open)));
      }
      cents = new_cents;
      status = new_status;
    }
  }
}

// Per fiscal year end, each date and the year its interest went to: '-' none,
// L last year, T this year, N next year (both the answer and the total).
TEST(BankAccountInterest, YearBoundariesOverMonthEndsAndLeapYears) {
  bktest::BankCompany co;
  BankAccount bank(*co.bkm, "", 0);
  const std::string years[] = {
      "20261231: 20241231- 20250101L 20251231L 20260101T 20261231T 20270101N 20271231N 20280101-",
      // Years ending on the last day of February, across leap years.
      "20280229: 20270228L 20270301T 20280229T 20280301N 20290228N 20260301L 20260228-",
      "20270228: 20270228T 20270301N",
      // A year ending on the 30th of a 30-day month.
      "20260630: 20260630T 20250701T 20250630L",
  };
  for (const std::string& row : years) {
    std::istringstream in(row);
    std::string end, date, got;
    for (in >> end, got = end; in >> date;) {
      bank.m_Record = BankAccountData();
      auto which = BankAccountData::InterestYearEnum::kNextYear;
      const tsDate day = tsDate::FromYmd(std::stoi(date)), reference = tsDate::FromYmd(std::stoi(end));
      bank.ChangeInterestTotals(Amount(1234), day, reference, &which);
      // The totals the amount went to.
      const Family totals = Stored(bank.m_Record, "BLYINT BYTDINT BNYINT");
      const int to = (totals[1] == 1234) + 2 * (totals[2] == 1234) + 4 * (totals[3] == 1234);
      got += " " + date.substr(0, 8) + "-LTN"[static_cast<int>(which)];
      if ("-LT?N???"[to] != got.back()) got += "(totals " + std::to_string(to) + ")";
    }
    EXPECT_EQ(got, row);
  }
}

// Balances always move; a view balance moves with them without a run lock,
// and with one only while another program edits the register and the run is
// excluded from its view (it has no marker of its own). Asking never drops
// the account's own edit lock; a lock record that cannot be read leaves the
// view alone and one log line. ChangeBankBalance moves the bank balance by
// the difference and answers whether there was none; the balances of
// excluded runs come from the transactions of those runs, whatever the
// index position.
TEST(BankAccountBalances, ViewBalancesFollowAnotherEditorsExcludedRunsOnly) {
  bktest::BankCompany co;
  TSGetApp()->SetCompanyFolder(co.fm.Folder());
  const auto log_lines = [] {
    std::ifstream in(x_log_path());
    return std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
  };
  bkRegisterTransactionRunLock runs(*co.bkt);
  ASSERT_EQ(runs.CreateTransactionRunLocks(tsAlpha("B1"), {tsDouble(5, 0)}).MaxLevel(), ccError::kNone);
  tsioDataFile editor_file(co.bkm->FileName()), other_file(co.bkm->FileName());
  RegisterBankLocker editor(editor_file), other(other_file);
  // Each case: a run lock or none; who edits the register ('-' nobody, 'o'
  // another program, 's' the account's own editor); the run (5 has a marker
  // of its own); "!" when the lock record cannot be read. Then the view
  // balances and the lines logged: the balances always move, and an editor's
  // lock is still held after them.
  const std::pair<std::string, const char*> cases[] = {
      {"none o 4", "10.00 10.00, logged 0"}, {"lock - 4", "0.00 0.00, logged 0"},
      {"lock o 5", "0.00 0.00, logged 0"},   {"lock o 4", "10.00 10.00, logged 0"},
      {"lock s 4", "0.00 0.00, logged 0"},   {"lock o 4 !", "0.00 0.00, logged 2"}};
  for (const auto& [c, views] : cases) {
    const char who = c[5];
    const bool unreadable = c.back() == '!';
    BankAccount bank(*co.bkm, "", 0);
    bank.m_Record.SetBankAccount(tsAlpha("B1"));
    ASSERT_EQ(editor.unlockBank().MaxLevel(), ccError::kNone);
    const auto locked = who == 'o'   ? editor.lockBank("B1")
                        : who == 's' ? bank.EditRegisterLock()
                                     : editor.unlockBank();
    ASSERT_EQ(locked.MaxLevel(), ccError::kNone);
    const auto logged = log_lines();
    for (auto update : {&BankAccount::UpdateBankBalance, &BankAccount::UpdateRegisterBalance}) {
      if (unreadable) tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError);
      (bank.*update)(tsCurrency::FromText("10.00"), tsDouble(c[7] - '0', 0), c[0] == 'l' ? &runs : nullptr);
    }
    tsioFaults::Clear();
    const BankAccountData& r = bank.m_Record;
    EXPECT_EQ(r.GetBankBalance().Format() + " " + r.GetRegisterBalance().Format() + " views " +
                  r.GetBankViewBalance().Format() + " " + r.GetRegisterViewBalance().Format() + ", logged " +
                  std::to_string(log_lines() - logged) + ", held " +
                  std::to_string(other.isBankLocked("B1").Value()),
              std::string("10.00 10.00 views ") + views + ", held " + (who == '-' ? "0" : "2"))
        << c;
  }
  TSGetApp()->SetCompanyFolder("");

  BankAccount bank(*co.bkm, "", 0);
  bank.m_Record.SetBankAccount(tsAlpha("B1"));
  EXPECT_TRUE(bank.ChangeBankBalance(Amount(700), Amount(700), tsChoice(), tsDouble(4, 0), &runs));
  EXPECT_FALSE(bank.ChangeBankBalance(Amount(700), Amount(200), tsChoice(), tsDouble(4, 0), &runs));
  EXPECT_EQ(bank.m_Record.GetBankBalance(), tsCurrency::FromText("5.00"));
  for (const char* t : {"B1;TRUN=4;TSEQ=1;TSUBTR=10.00;TRECOND=1", "B1;TRUN=4;TSEQ=2;TADD=25.00;TRECOND=2",
                        "B1;TRUN=4;TSEQ=3;TSUBTR=3.00;TRECOND=3", "B1;TRUN=5;TSEQ=1;TADD=9.99;TRECOND=2",
                        "B2;TRUN=4;TSEQ=1;TADD=1000.00;TRECOND=2", "B0;TRUN=4;TSEQ=9;TADD=1000.00;TRECOND=2"}) {
    bkdetailtest::Put<Transaction>(*co.bkt, std::string("TBNKACC=") + t);
  }
  tsCurrency reg, bal;
  const bkRegisterTransactionRunLock::RunSet excluded = {tsDouble(4, 0), tsDouble(5, 0), tsDouble(6, 0)};
  ASSERT_EQ(runs.ExcludedRunsBalances(tsAlpha("B1"), excluded, reg, bal).MaxLevel(), ccError::kNone);
  EXPECT_EQ(reg.Format() + " " + bal.Format(), "21.99 31.99");  // -10 + 25 - 3 + 9.99; 25 - 3 + 9.99
}

}  // namespace
