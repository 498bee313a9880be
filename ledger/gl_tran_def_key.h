// bkGLTranDefKey: the fields that keep general-ledger lines apart. Lines of
// one line type whose keys are equal are merged into one general-ledger
// transaction definition (bkGLTranDefAccumulator).
//
// Fields, in declaration order:
//   1 credit account  2 debit account  3 summarize credit  4 summarize debit
//   5 accounting date  6 journal  7 intercompany receivable account
//   8 intercompany payable account  9 application of origin  10 batch
//   11 batch source (1 by default)  12 a text field (left empty by the bank
//   register)  13 run number  14 employee ID, job ID, AR customer ID, AR
//   invoice ID  15 service work-order invoice ID.
// Equality and order use fields 1 to 8, 10, 11 and 13, in that order,
// lexicographically; fields 9, 12, 14 and 15 take no part, so two lines that
// differ only there merge (the first line's values stay).
#pragma once

#include <compare>

#include "framework/module/gl_blocks.h"
#include "framework/types/values.h"
#include "records/bk_export.h"

class BK_EXPORT bkGLTranDefKey {
 public:
  bkGLTranDefKey() = default;
  bkGLTranDefKey(const bkGLTranDefKey& other) = default;
  bkGLTranDefKey& operator=(const bkGLTranDefKey& other) = default;
  virtual ~bkGLTranDefKey();

  void SetData(const bkGLTranDefKey& other) { *this = other; }

  // Writes every field into the definition's fields of the same meaning.
  void CopyKeyToGLTranDef(gl_tran_def& def) const;

  // Three-way comparison over the fields that take part (see above).
  int Compare(const bkGLTranDefKey& other) const;
  friend bool operator==(const bkGLTranDefKey& a, const bkGLTranDefKey& b) { return a.Compare(b) == 0; }
  friend bool operator!=(const bkGLTranDefKey& a, const bkGLTranDefKey& b) { return a.Compare(b) != 0; }
  friend bool operator<(const bkGLTranDefKey& a, const bkGLTranDefKey& b) { return a.Compare(b) < 0; }
  friend bool operator<=(const bkGLTranDefKey& a, const bkGLTranDefKey& b) { return a.Compare(b) <= 0; }
  friend bool operator>(const bkGLTranDefKey& a, const bkGLTranDefKey& b) { return a.Compare(b) > 0; }
  friend bool operator>=(const bkGLTranDefKey& a, const bkGLTranDefKey& b) { return a.Compare(b) >= 0; }

  tsAlpha m_CreditAccount;
  tsAlpha m_DebitAccount;
  tsBool m_SummarizeCredit;
  tsBool m_SummarizeDebit;
  tsDate m_AccountingDate;
  tsNum<short> m_Journal;
  tsAlpha m_ICReceivableAccount;
  tsAlpha m_ICPayableAccount;
  tsAlpha m_ApplOfOrigin;
  tsAlpha m_Batch;
  tsChoice m_BatchSource{1};
  tsAlpha m_Text;
  tsDouble m_RunNumber;
  tsAlpha m_EmployeeID;
  tsAlpha m_JobID;
  tsAlpha m_ARCustomerID;
  tsAlpha m_ARInvoiceID;
  tsNum<long> m_SMWorkOrderInvoiceID;
};
