// DetailedTransactionData: a register transaction seen at the description
// levels of the general-ledger lines built from it, with its reversal and
// negative flags and the kind of its non-cash side.
//
// Levels (TranLevelEnum): 0 is the transaction's own description, 1 and 2
// finer levels (a deposit item, a detail line). -1 and -2/-3 are roll-up
// levels used when lines are accumulated; they hold no description.
#pragma once

#include <vector>

#include "framework/types/values.h"
#include "records/bk_export.h"

class TransactionData;

enum TranLevelEnum : int {
  kTranLevelNothing = -3,   // roll nothing out
  kTranLevelEverything = -2,  // roll everything out
  kTranLevelSummary = -1,   // lines summarised across transactions
  kTranLevelTransaction = 0,
  kTranLevelItem = 1,
  kTranLevelDetail = 2,
};

// The non-cash side of a transaction: 0 carries no tax, any other value does.
enum NonCashTypeEnum : int {
  kNonCashWithoutTax = 0,
  kNonCashWithTax = 1,
};

class BK_EXPORT DetailedTransactionData {
 public:
  static constexpr int kLevels = 3;

  DetailedTransactionData();
  // `description` is the level-0 description.
  DetailedTransactionData(TransactionData* transaction, const tsAlpha& description, NonCashTypeEnum non_cash_type,
                          bool is_reversal, bool is_negative);
  DetailedTransactionData(const DetailedTransactionData& other);
  DetailedTransactionData& operator=(const DetailedTransactionData& other);
  virtual ~DetailedTransactionData();

  // Copies the flags, the non-cash type, the record pointer and the
  // descriptions (a source holding other than three gives three blank ones).
  void SetData(const DetailedTransactionData& other);

  // Level -1: empty; 0 to 2: that level's description; anything else: level 0's.
  tsAlpha GetDescription(int level) const;
  // Level -1: empty. Otherwise, from the level (outside -1 to 2 taken as 2)
  // down to 1, the first non-empty description; if none, level 0's.
  tsAlpha GetHierarchyDescription(int level) const;
  // Sets a level's description; levels 3 and above (or not held) do nothing.
  void SetDescription(int level, const tsAlpha& text);
  // Blanks the descriptions from `level` (0 to 2) to the last.
  void ClearDescriptionsAtAndBelowLevel(int level);

  bool GetIsReversal() const { return m_IsReversal; }
  void SetIsReversal(bool value) { m_IsReversal = value; }
  bool GetIsNegative() const { return m_IsNegative; }
  void SetIsNegative(bool value) { m_IsNegative = value; }
  NonCashTypeEnum GetNonCashType() const { return m_NonCashType; }
  void SetNonCashType(NonCashTypeEnum value) { m_NonCashType = value; }
  TransactionData* GetTranData() const { return m_TranData; }
  void SetTranData(TransactionData* record) { m_TranData = record; }

 private:
  bool m_IsReversal = false;
  bool m_IsNegative = false;
  NonCashTypeEnum m_NonCashType = kNonCashWithoutTax;
  std::vector<tsAlpha> m_Descriptions;
  TransactionData* m_TranData = nullptr;
};
