// The totals of a reconciliation in progress: random marking, unmarking and
// amount changes checked against totals summed from scratch over the marks,
// from a stale total.
#include <gtest/gtest.h>

#include <random>

#include "balances/balance_test_support.h"
#include "balances/reconcile_in_progress.h"

namespace {

using baltest::MoneyText;

tsDouble Amount(long long cents) { return tsDouble(cents, 0) / tsDouble(100); }
const char kTotals[] = "RIPCHK;RIPDEP;RIPWDL;RIPADJS;RIPADJA;RIPALL";

// Random marks, unmarks and amount changes of transactions of every type
// (9: one the totals do not know, counted nowhere): after each change the
// totals equal the sums over the marked transactions. A total out of step
// with its kinds is left alone when nothing counts and recomputed by any
// counted change. The record is never written (the caller updates it when
// it chooses).
TEST(ReconcileInProgress, RandomChangesKeepTheTotalsEqualToTheMarks) {
  bktest::BankCompany co;
  ReconcileInProgress rip(*co.bkm, "", 0);
  rip.AdjustRIPTotals(tsChoice(2), Amount(7000), Amount(0), tsChoice(3), tsChoice(1), false);
  rip.m_Record.SetReconciledTotal(tsCurrency(1));
  rip.AdjustRIPTotals(tsChoice(2), Amount(100), Amount(100), tsChoice(1), tsChoice(1), false);
  EXPECT_EQ(baltest::Text(rip.m_Record, kTotals), "0.00 70.00 0.00 0.00 0.00 1.00");
  rip.AdjustRIPTotals(tsChoice(7), Amount(100), Amount(100), tsChoice(3), tsChoice(1), false);
  struct Tran {
    int type;
    long long cents;
    int status;  // 1 open, 2 cleared, 3 marked
    bool addition;
  };
  std::mt19937 rng(15);
  auto magnitude = [&rng] { return 1 + static_cast<long long>(rng() % 100000); };
  std::vector<Tran> trans(40);
  for (Tran& t : trans) {
    t.type = std::vector{1, 2, 3, 4, 9}[rng() % 5];
    t.addition = t.type == 2 || (t.type == 4 && rng() % 2 == 0);
    t.cents = t.addition ? magnitude() : -magnitude();
    t.status = 1 + static_cast<int>(rng() % 2);
  }
  trans[0] = {2, 7000, 3, true};  // the marked deposit above
  for (int step = 0; step < 2000; ++step) {
    Tran& t = trans[rng() % trans.size()];
    Tran next = t;
    switch (rng() % 3) {
      case 0: next.status = 3; break;                                // mark
      case 1: next.status = 1 + static_cast<int>(rng() % 2); break;  // unmark (or stay out)
      default: next.cents = t.addition ? magnitude() : -magnitude();  // keep the sign
    }
    rip.AdjustRIPTotals(tsChoice(t.type), Amount(next.cents), Amount(t.cents), tsChoice(next.status),
                        tsChoice(t.status), t.addition);
    t = next;
    long long sums[6] = {};  // as kTotals: checks, deposits, withdrawals, minus and plus adjustments, all
    for (const Tran& m : trans) {
      if (m.status != 3 || m.type == 9) continue;
      sums[m.type < 4 ? m.type - 1 : 3 + m.addition] += m.cents < 0 ? -m.cents : m.cents;
      sums[5] += m.cents;
    }
    std::string want;
    for (long long sum : sums) want += (want.empty() ? "" : " ") + MoneyText(sum);
    ASSERT_EQ(baltest::Text(rip.m_Record, kTotals), want) << "step " << step;
  }
  EXPECT_EQ(ReconcileInProgress(*co.bkm, "", 0).FetchFirst(false), tsioStatus::kEndOfFile);
}

}  // namespace
