// The totals of a reconciliation in progress: the cases a reconciliation
// screen meets, then random marking, unmarking and amount changes checked
// against totals summed from scratch over the marks.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "balances/reconcile_in_progress.h"
#include "records/record_test_support.h"

namespace {

long long Cents(const tsCurrency& c) { return (tsDouble(c) * tsDouble(100)).ToLongLong(); }
tsDouble Amount(long long cents) { return tsDouble(cents, 0) / tsDouble(100); }

struct Totals {
  long long checks, deposits, withdrawals, minus, plus, total;
};

Totals Of(const ReconcileInProgressData& r) {
  return {Cents(r.GetReconciledChecks()),    Cents(r.GetReconciledDeposits()), Cents(r.GetReconciledWithdrawals()),
          Cents(r.GetReconciledAdjustsMinus()), Cents(r.GetReconciledAdjustsPlus()), Cents(r.GetReconciledTotal())};
}

TEST(ReconcileInProgress, TheCasesOfAReconciliationScreen) {
  bktest::BankCompany co;
  struct Step {
    const char* what;
    int type;
    long long new_cents, old_cents;
    int new_status, old_status;
    bool addition;
    Totals after;
  } steps[] = {
      {"mark a check of -100.00", 1, -10000, 0, 3, 1, false, {10000, 0, 0, 0, 0, -10000}},
      {"unmark it", 1, 0, -10000, 1, 3, false, {0, 0, 0, 0, 0, 0}},
      {"mark a deposit of 50.00", 2, 5000, 0, 3, 2, false, {0, 5000, 0, 0, 0, 5000}},
      {"its amount becomes 70.00", 2, 7000, 5000, 3, 3, false, {0, 7000, 0, 0, 0, 7000}},
      {"neither state counts", 2, 9900, 1200, 1, 2, false, {0, 7000, 0, 0, 0, 7000}},
      {"mark a withdrawal of -30.00", 3, -3000, 0, 3, 1, false, {0, 7000, 3000, 0, 0, 4000}},
      {"mark an adjustment of +25.00", 4, 2500, 0, 3, 1, true, {0, 7000, 3000, 0, 2500, 6500}},
      {"mark an adjustment of -25.00", 4, -2500, 0, 3, 1, false, {0, 7000, 3000, 2500, 2500, 4000}},
      {"a type outside 1 to 4", 9, 12345, 0, 3, 1, false, {0, 7000, 3000, 2500, 2500, 4000}},
  };
  ReconcileInProgress rip(*co.bkm, "", 0);
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    rip.AdjustRIPTotals(tsChoice(s.type), Amount(s.new_cents), Amount(s.old_cents), tsChoice(s.new_status),
                        tsChoice(s.old_status), s.addition);
    const Totals t = Of(rip.m_Record);
    EXPECT_EQ(t.checks, s.after.checks);
    EXPECT_EQ(t.deposits, s.after.deposits);
    EXPECT_EQ(t.withdrawals, s.after.withdrawals);
    EXPECT_EQ(t.minus, s.after.minus);
    EXPECT_EQ(t.plus, s.after.plus);
    EXPECT_EQ(t.total, s.after.total);
  }
  // A total out of step with its kinds is recomputed by any counted change,
  // left alone when nothing counts.
  rip.m_Record.SetReconciledTotal(tsCurrency(1));
  rip.AdjustRIPTotals(tsChoice(2), Amount(100), Amount(100), tsChoice(1), tsChoice(1), false);
  EXPECT_EQ(Cents(rip.m_Record.GetReconciledTotal()), 100);
  rip.AdjustRIPTotals(tsChoice(7), Amount(100), Amount(100), tsChoice(3), tsChoice(1), false);
  EXPECT_EQ(Cents(rip.m_Record.GetReconciledTotal()), 4000);
  // The record is not written: the caller updates it when it chooses.
  ReconcileInProgress other(*co.bkm, "", 0);
  EXPECT_EQ(other.FetchFirst(false), tsioStatus::kEndOfFile);
}

// Random marks, unmarks and amount changes of a set of transactions: after
// each change the totals equal the sums over the marked transactions.
TEST(ReconcileInProgress, RandomChangesKeepTheTotalsEqualToTheMarks) {
  bktest::BankCompany co;
  ReconcileInProgress rip(*co.bkm, "", 0);
  struct Tran {
    int type;
    long long cents;
    int status;
    bool addition;
  };
  std::mt19937 rng(15);
  std::vector<Tran> trans;
  for (int i = 0; i < 40; ++i) {
    Tran t;
    t.type = 1 + static_cast<int>(rng() % 4);
    long long magnitude = 1 + static_cast<long long>(rng() % 100000);
    t.addition = t.type == 2 || (t.type == 4 && rng() % 2 == 0);
    t.cents = t.addition ? magnitude : -magnitude;
    t.status = 1 + static_cast<int>(rng() % 2);  // open or cleared, none marked yet
    trans.push_back(t);
  }
  for (int step = 0; step < 2000; ++step) {
    Tran& t = trans[rng() % trans.size()];
    Tran next = t;
    switch (rng() % 3) {
      case 0: next.status = 3; break;                                  // mark
      case 1: next.status = 1 + static_cast<int>(rng() % 2); break;    // unmark (or stay out)
      default: {                                                       // change the amount, keep the sign
        long long magnitude = 1 + static_cast<long long>(rng() % 100000);
        next.cents = t.addition ? magnitude : -magnitude;
      }
    }
    rip.AdjustRIPTotals(tsChoice(t.type), Amount(next.cents), Amount(t.cents), tsChoice(next.status),
                        tsChoice(t.status), t.addition);
    t = next;
    Totals want{0, 0, 0, 0, 0, 0};
    for (const Tran& m : trans) {
      if (m.status != 3) continue;
      switch (m.type) {
        case 1: want.checks -= m.cents; break;
        case 2: want.deposits += m.cents; break;
        case 3: want.withdrawals -= m.cents; break;
        default: (m.addition ? want.plus : want.minus) += m.addition ? m.cents : -m.cents;
      }
      want.total += m.cents;
    }
    const Totals got = Of(rip.m_Record);
    SCOPED_TRACE("step " + std::to_string(step));
    ASSERT_EQ(got.checks, want.checks);
    ASSERT_EQ(got.deposits, want.deposits);
    ASSERT_EQ(got.withdrawals, want.withdrawals);
    ASSERT_EQ(got.minus, want.minus);
    ASSERT_EQ(got.plus, want.plus);
    ASSERT_EQ(got.total, want.total);
  }
}

}  // namespace
