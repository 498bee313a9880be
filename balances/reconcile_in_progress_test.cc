// The totals of a reconciliation in progress: the cases a reconciliation
// screen meets, then random marking, unmarking and amount changes checked
// against totals summed from scratch over the marks.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <random>

#include "balances/reconcile_in_progress.h"
#include "records/record_test_support.h"

namespace {

long long Cents(const tsCurrency& c) { return (tsDouble(c) * tsDouble(100)).ToLongLong(); }
tsDouble Amount(long long cents) { return tsDouble(cents, 0) / tsDouble(100); }

struct Totals {
  long long checks, deposits, withdrawals, minus, plus, total;
  bool operator==(const Totals&) const = default;
};
void PrintTo(const Totals& t, std::ostream* os) {
  *os << t.checks << "/" << t.deposits << "/" << t.withdrawals << "/" << t.minus << "/" << t.plus << " = " << t.total;
}

Totals Of(const ReconcileInProgressData& r) {
  return {Cents(r.GetReconciledChecks()),    Cents(r.GetReconciledDeposits()), Cents(r.GetReconciledWithdrawals()),
          Cents(r.GetReconciledAdjustsMinus()), Cents(r.GetReconciledAdjustsPlus()), Cents(r.GetReconciledTotal())};
}

// What the random changes below never meet: a type outside 1 to 4 counts
// nowhere; a total out of step with its kinds is left alone when nothing
// counts and recomputed by any counted change; the record is not written
// (the caller updates it when it chooses).
TEST(ReconcileInProgress, OtherTypesAStaleTotalAndNothingWritten) {
  bktest::BankCompany co;
  ReconcileInProgress rip(*co.bkm, "", 0);
  rip.AdjustRIPTotals(tsChoice(2), Amount(7000), Amount(0), tsChoice(3), tsChoice(1), false);
  rip.AdjustRIPTotals(tsChoice(9), Amount(12345), Amount(0), tsChoice(3), tsChoice(1), false);
  EXPECT_EQ(Of(rip.m_Record), (Totals{0, 7000, 0, 0, 0, 7000}));
  rip.m_Record.SetReconciledTotal(tsCurrency(1));
  rip.AdjustRIPTotals(tsChoice(2), Amount(100), Amount(100), tsChoice(1), tsChoice(1), false);
  EXPECT_EQ(Cents(rip.m_Record.GetReconciledTotal()), 100);
  rip.AdjustRIPTotals(tsChoice(7), Amount(100), Amount(100), tsChoice(3), tsChoice(1), false);
  EXPECT_EQ(Cents(rip.m_Record.GetReconciledTotal()), 7000);
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
    ASSERT_EQ(Of(rip.m_Record), want) << "step " << step;
  }
}

}  // namespace
