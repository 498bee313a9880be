// The bank register's batch part.
#include "batches/bk_batch_part.h"

bkBatchPart::bkBatchPart() : zzBatchPart("BK") {}
bkBatchPart::bkBatchPart(const bkBatchPart& other) : zzBatchPart(other), m_Totals(other.m_Totals) {}
bkBatchPart& bkBatchPart::operator=(const bkBatchPart& other) {
  if (this != &other) CopyData(other);
  return *this;
}
bkBatchPart::~bkBatchPart() = default;

zzBatchPart* bkBatchPart::Clone() const { return new bkBatchPart(*this); }

void bkBatchPart::CopyData(const bkBatchPart& other) {
  zzBatchPart::operator=(other);
  m_Totals = other.m_Totals;
}

bool bkBatchPart::InBalance() {
  if (!!m_Totals.count && m_Totals.count != m_Totals.posted_count) return false;
  return m_Totals.amount == m_Totals.posted_amount;
}

void bkBatchPart::Balance() {
  m_Totals.count = m_Totals.posted_count;
  m_Totals.amount = m_Totals.posted_amount;
}

void bkBatchPart::Init() { m_Totals = Totals(); }

void bkBatchPart::AddTran(TranType, const tsCurrency& amount) {
  m_Totals.posted_count += tsDouble(1, 0);
  m_Totals.posted_amount += amount;
}

void bkBatchPart::RemoveTran(TranType, const tsCurrency& amount) {
  m_Totals.posted_count -= tsDouble(1, 0);
  m_Totals.posted_amount -= amount;
}

void bkBatchPart::ChangeTran(TranType, const tsCurrency& difference) { m_Totals.posted_amount += difference; }

void bkBatchPart::SetNumberOfTrans(const tsDouble& value, TranType) { m_Totals.count = value; }
void bkBatchPart::SetAmountOfTrans(const tsDouble& value, TranType) { m_Totals.amount = value; }
void bkBatchPart::SetNumberOfTransPosted(const tsDouble& value, TranType) { m_Totals.posted_count = value; }
void bkBatchPart::SetAmountOfTransPosted(const tsDouble& value, TranType) { m_Totals.posted_amount = value; }

zzBatchPart* bk_new_batch_part() { return new bkBatchPart(); }

void bk_delete_batch_part(zzBatchPart* part) {
  if (auto* mine = dynamic_cast<bkBatchPart*>(part)) delete mine;
}
