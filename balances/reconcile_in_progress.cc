// The totals of a reconciliation in progress.
#include "balances/reconcile_in_progress.h"

namespace {

constexpr int kMarked = 3;

}  // namespace

void ReconcileInProgress::AdjustRIPTotals(const tsChoice& type, const tsDouble& new_amount,
                                          const tsDouble& old_amount, const tsChoice& new_status,
                                          const tsChoice& old_status, bool is_addition) {
  const bool now = new_status.Value() == kMarked;
  const bool before = old_status.Value() == kMarked;
  tsDouble d(0, 2);
  if (now && before) {
    d = new_amount - old_amount;
  } else if (now) {
    d = new_amount;
  } else if (before) {
    d = tsDouble(-1) * old_amount;
  } else {
    return;
  }
  d.Round(2);
  ReconcileInProgressData& r = m_Record;
  switch (type.Value()) {
    case 1: r.SetReconciledChecks(tsCurrency(r.GetReconciledChecks() - d)); break;
    case 2: r.SetReconciledDeposits(tsCurrency(r.GetReconciledDeposits() + d)); break;
    case 3: r.SetReconciledWithdrawals(tsCurrency(r.GetReconciledWithdrawals() - d)); break;
    case 4:
      if (is_addition) {
        r.SetReconciledAdjustsPlus(tsCurrency(r.GetReconciledAdjustsPlus() + d));
      } else {
        r.SetReconciledAdjustsMinus(tsCurrency(r.GetReconciledAdjustsMinus() - d));
      }
      break;
    default: break;
  }
  r.SetReconciledTotal(tsCurrency((r.GetReconciledDeposits() + r.GetReconciledAdjustsPlus()) -
                                  (r.GetReconciledChecks() + r.GetReconciledWithdrawals() +
                                   r.GetReconciledAdjustsMinus())));
}
