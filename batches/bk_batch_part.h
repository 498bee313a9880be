// bkBatchPart: the bank register's part of a batch of the batch framework:
// the control totals of the batch (what the user expects) and what has been
// entered against it so far.
//
// One totals entry per TranType (there is one: all transactions):
//   NumberOfTrans        control count entered by the user (0 decimals)
//   AmountOfTrans        control amount entered by the user
//   NumberOfTransPosted  transactions entered against the batch so far
//   AmountOfTransPosted  their amount
// Copies (copy construction, assignment, CopyData, Clone) copy the framework
// part and the totals only.
#pragma once

#include <string>

#include "framework/batch/batch_part.h"
#include "framework/types/values.h"
#include "records/bk_export.h"

class BK_EXPORT bkBatchPart : public zzBatchPart {
 public:
  enum TranType : int { kAllTransactions = 0 };
  static constexpr short kBatchRecordType = 6;

  bkBatchPart();
  bkBatchPart(const bkBatchPart& other);
  bkBatchPart& operator=(const bkBatchPart& other);
  ~bkBatchPart() override;

  zzBatchPart* Clone() const override;
  // True when a control count is given and differs from the count entered,
  // or the control amount differs from the amount entered: false; else true.
  bool InBalance() override;
  // Control totals := totals entered.
  void Balance() override;
  // All four totals zero.
  void Init() override;
  short BatchRecType() const override { return kBatchRecordType; }

  // One more (fewer) transaction of `amount` entered against the batch.
  void AddTran(TranType type, const tsCurrency& amount);
  void RemoveTran(TranType type, const tsCurrency& amount);
  // An entered transaction's amount changed by `difference`.
  void ChangeTran(TranType type, const tsCurrency& difference);
  void CopyData(const bkBatchPart& other);

  tsDouble GetNumberOfTrans(TranType = kAllTransactions) const { return m_Totals.count; }
  void SetNumberOfTrans(const tsDouble& value, TranType type = kAllTransactions);
  tsDouble GetAmountOfTrans(TranType = kAllTransactions) const { return m_Totals.amount; }
  void SetAmountOfTrans(const tsDouble& value, TranType type = kAllTransactions);
  tsDouble GetNumberOfTransPosted(TranType = kAllTransactions) const { return m_Totals.posted_count; }
  void SetNumberOfTransPosted(const tsDouble& value, TranType type = kAllTransactions);
  tsDouble GetAmountOfTransPosted(TranType = kAllTransactions) const { return m_Totals.posted_amount; }
  void SetAmountOfTransPosted(const tsDouble& value, TranType type = kAllTransactions);

 private:
  struct Totals {
    tsDouble count{0, 0};
    tsDouble amount{0, 3};
    tsDouble posted_count{0, 0};
    tsDouble posted_amount{0, 2};
  };
  Totals m_Totals;
};

// Entry points of the batch framework (plain names).
extern "C" BK_EXPORT zzBatchPart* bk_new_batch_part();
extern "C" BK_EXPORT void bk_delete_batch_part(zzBatchPart* part);
