// Description levels of a transaction.
#include "transactions/detailed_transaction_data.h"

DetailedTransactionData::DetailedTransactionData() : m_Descriptions(kLevels) {}

DetailedTransactionData::DetailedTransactionData(TransactionData* transaction, const tsAlpha& description,
                                                 NonCashTypeEnum non_cash_type, bool is_reversal, bool is_negative)
    : m_IsReversal(is_reversal),
      m_IsNegative(is_negative),
      m_NonCashType(non_cash_type),
      m_Descriptions(kLevels),
      m_TranData(transaction) {
  m_Descriptions[0] = description;
}

DetailedTransactionData::DetailedTransactionData(const DetailedTransactionData& other) { SetData(other); }

DetailedTransactionData& DetailedTransactionData::operator=(const DetailedTransactionData& other) {
  if (this != &other) SetData(other);
  return *this;
}

DetailedTransactionData::~DetailedTransactionData() = default;

void DetailedTransactionData::SetData(const DetailedTransactionData& other) {
  m_IsReversal = other.m_IsReversal;
  m_IsNegative = other.m_IsNegative;
  m_NonCashType = other.m_NonCashType;
  m_TranData = other.m_TranData;
  m_Descriptions = other.m_Descriptions.size() == kLevels ? other.m_Descriptions : std::vector<tsAlpha>(kLevels);
}

tsAlpha DetailedTransactionData::GetDescription(int level) const {
  if (level == -1) return tsAlpha();
  if (level >= 0 && level < static_cast<int>(m_Descriptions.size())) return m_Descriptions[static_cast<size_t>(level)];
  return m_Descriptions.empty() ? tsAlpha() : m_Descriptions[0];
}

tsAlpha DetailedTransactionData::GetHierarchyDescription(int level) const {
  if (level == -1) return tsAlpha();
  int last = static_cast<int>(m_Descriptions.size()) - 1;
  if (level < -1 || level > 2 || level > last) level = std::min(2, last);
  for (int l = level; l >= 1; --l) {
    if (!m_Descriptions[static_cast<size_t>(l)].IsBlank()) return m_Descriptions[static_cast<size_t>(l)];
  }
  return m_Descriptions.empty() ? tsAlpha() : m_Descriptions[0];
}

void DetailedTransactionData::SetDescription(int level, const tsAlpha& text) {
  if (level >= 0 && level < 3 && level < static_cast<int>(m_Descriptions.size())) {
    m_Descriptions[static_cast<size_t>(level)] = text;
  }
}

void DetailedTransactionData::ClearDescriptionsAtAndBelowLevel(int level) {
  if (level < 0 || level > 2) return;
  for (size_t l = static_cast<size_t>(level); l < m_Descriptions.size(); ++l) {
    if (!m_Descriptions[l].IsBlank()) m_Descriptions[l] = tsAlpha();
  }
}
