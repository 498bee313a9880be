// The key of general-ledger lines (see gl_tran_def_key.h).
#include "ledger/gl_tran_def_key.h"

namespace {
template <typename T>
int Cmp(const T& a, const T& b) {
  const auto c = a <=> b;
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}
int CmpBool(const tsBool& a, const tsBool& b) { return static_cast<int>(a.Value()) - static_cast<int>(b.Value()); }
}  // namespace

bkGLTranDefKey::~bkGLTranDefKey() = default;

int bkGLTranDefKey::Compare(const bkGLTranDefKey& o) const {
  if (int c = Cmp(m_CreditAccount, o.m_CreditAccount)) return c;
  if (int c = Cmp(m_DebitAccount, o.m_DebitAccount)) return c;
  if (int c = CmpBool(m_SummarizeCredit, o.m_SummarizeCredit)) return c;
  if (int c = CmpBool(m_SummarizeDebit, o.m_SummarizeDebit)) return c;
  if (int c = Cmp(m_AccountingDate, o.m_AccountingDate)) return c;
  if (int c = Cmp(m_Journal, o.m_Journal)) return c;
  if (int c = Cmp(m_ICReceivableAccount, o.m_ICReceivableAccount)) return c;
  if (int c = Cmp(m_ICPayableAccount, o.m_ICPayableAccount)) return c;
  if (int c = Cmp(m_Batch, o.m_Batch)) return c;
  if (int c = Cmp(m_BatchSource, o.m_BatchSource)) return c;
  return Cmp(m_RunNumber, o.m_RunNumber);
}

void bkGLTranDefKey::CopyKeyToGLTranDef(gl_tran_def& def) const {
  glPutText(def.credit_account, m_CreditAccount.view());
  glPutText(def.debit_account, m_DebitAccount.view());
  def.summarize_credit = m_SummarizeCredit.Value() ? 1 : 0;
  def.summarize_debit = m_SummarizeDebit.Value() ? 1 : 0;
  def.date_year = static_cast<int16_t>(m_AccountingDate.Year());
  def.date_month = static_cast<int16_t>(m_AccountingDate.Month());
  def.date_day = static_cast<int16_t>(m_AccountingDate.Day());
  def.journal = m_Journal.Value();
  glPutText(def.ic_receivable, m_ICReceivableAccount.view());
  glPutText(def.ic_payable, m_ICPayableAccount.view());
  glPutText(def.appl_of_origin, m_ApplOfOrigin.view());
  glPutText(def.batch, m_Batch.view());
  def.batch_source = static_cast<int16_t>(m_BatchSource.Value());
  glPutText(def.key_text, m_Text.view());
  def.run_number = m_RunNumber.ToDouble();
  glPutText(def.employee_id, m_EmployeeID.view());
  glPutText(def.job_id, m_JobID.view());
  glPutText(def.ar_customer_id, m_ARCustomerID.view());
  glPutText(def.ar_invoice_id, m_ARInvoiceID.view());
  def.sm_work_order_invoice_id = static_cast<int32_t>(m_SMWorkOrderInvoiceID.Value());
}
