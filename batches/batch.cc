// The batch's own operations (see batch.h).
#include "batches/batch.h"

#include "deposits/cash_detail.h"
#include "deposits/tax_gl_detail.h"
#include "framework/base/log.h"
#include "records/relations.h"
#include "transactions/transaction.h"

namespace {

bool NoMore(tsioStatus::Status st) { return st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound; }

}  // namespace

bool Batch::ClearAmountsIfPosted() {
  Transaction tran(File(), "TPOSTED", 1);
  const bkCursorBase& batch = *this;
  tsioStatus::Status st = tran.FetchFirstOf(batch, BatchTransactionsRel, false);
  for (; st == tsioStatus::kSuccess; st = tran.FetchNextOf(batch, BatchTransactionsRel, false)) {
    if (!tran.m_Record.GetPosted().Value()) return false;
  }
  if (!NoMore(st)) {
    x_log(1, "batch " + m_Record.GetBatch().str() + ": its transactions cannot be read (status " +
                 std::to_string(st) + "); totals kept");
    return false;
  }
  m_Record.ClearAmounts();
  return true;
}

tsioStatus::Status Batch::MembersStatus() const {
  const bkCursorBase& batch = *this;
  Transaction tran(File(), "TBNKACC", 1);
  tsioStatus::Status st = tran.FetchFirstOf(batch, BatchTransactionsRel, false);
  if (!NoMore(st)) return st;
  CashDetail cash(File(), "CDBNKAC", 7);
  st = cash.FetchFirstOf(batch, BatchCashDetailsRel, false);
  if (!NoMore(st)) return st;
  TaxGLDetail tax(File(), "TGBNKAC", 17);
  st = tax.FetchFirstOf(batch, BatchTaxGLDetailsRel, false);
  if (!NoMore(st)) return st;
  return tsioStatus::kEndOfFile;
}

void Batch::PrefetchMembers() const {
  const bkCursorBase& batch = *this;
  Transaction tran(File(), "TBNKACC", 1);
  tran.CursorPtr()->PrefetchFirstOf(batch, BatchTransactionsRel, false);
}

bool Batch::IsEmpty() const { return MembersStatus() == tsioStatus::kEndOfFile; }

tsioStatus::Status Batch::deleteIfEmpty() {
  const tsioStatus::Status members = MembersStatus();
  if (members == tsioStatus::kSuccess) return tsioStatus::kSuccess;
  if (members != tsioStatus::kEndOfFile) {
    x_log(1, "batch " + m_Record.GetBatch().str() + ": its members cannot be read (status " +
                 std::to_string(members) + "); not deleted");
    return members;
  }
  return Delete();
}
