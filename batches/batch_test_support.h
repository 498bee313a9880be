// For the batches tests: a company with the module's files, batch records
// and members (transactions, cash details, tax GL details) of a batch.
#pragma once

#include <gtest/gtest.h>

#include "batches/batch.h"
#include "deposits/cash_detail.h"
#include "deposits/tax_gl_detail.h"
#include "records/record_test_support.h"
#include "transactions/transaction.h"

namespace bktest {

// Every batch of these tests belongs to application "BK" with source 2 and
// no location.
inline constexpr int kSource = 2;

inline tclTSEnum<BatchSourceEnum> Source() {
  tclTSEnum<BatchSourceEnum> s;
  s.SetValue(kSource);
  return s;
}

inline void AddBatch(const tsioDataFile& bkt, const char* id, short count = 0, const char* amount = "0",
                     short posted_count = 0, const char* posted_amount = "0") {
  Batch b(bkt);
  b.m_Record.SetApplOfOrigin(tsAlpha("BK"));
  b.m_Record.SetBatch(tsAlpha(id));
  b.m_Record.SetSource(Source());
  b.m_Record.SetCount(count);
  b.m_Record.SetAmount(tsCurrency::FromText(amount));
  b.m_Record.SetCountPosted(posted_count);
  b.m_Record.SetAmountPosted(tsCurrency::FromText(posted_amount));
  ASSERT_EQ(b.Insert(), tsioStatus::kSuccess) << id;
}

// Positions `b` on batch `id`.
inline void FetchBatch(Batch& b, const char* id) {
  b.m_Record.SetApplOfOrigin(tsAlpha("BK"));
  b.m_Record.SetBatch(tsAlpha(id));
  b.m_Record.SetSource(Source());
  b.m_Record.SetDPLoc(tsAlpha(""));
  ASSERT_EQ(b.FetchEQ(false), tsioStatus::kSuccess) << id;
}

inline bool BatchExists(const tsioDataFile& bkt, const char* id) {
  Batch b(bkt);
  b.m_Record.SetApplOfOrigin(tsAlpha("BK"));
  b.m_Record.SetBatch(tsAlpha(id));
  b.m_Record.SetSource(Source());
  return b.FetchEQ(false) == tsioStatus::kSuccess;
}

inline void AddTransaction(const tsioDataFile& bkt, const char* batch, int seq, bool posted = false,
                           const char* amount = "10.00") {
  Transaction t(bkt);
  t.m_Record.SetBankAccount(tsAlpha("CHK"));
  t.m_Record.SetRun(tsDouble(1));
  t.m_Record.SetSequence(tsDouble(seq));
  t.m_Record.SetApplOfOrigin(tsAlpha("BK"));
  t.m_Record.SetBatch(tsAlpha(batch));
  t.m_Record.SetBatchSource(Source());
  t.m_Record.SetPosted(tsBool(posted));
  t.m_Record.SetAddition(tsCurrency::FromText(amount));
  ASSERT_EQ(t.Insert(), tsioStatus::kSuccess);
}

inline void AddCashDetail(const tsioDataFile& bkt, const char* batch, int seq) {
  CashDetail c(bkt);
  c.m_Record.SetBankAccount(tsAlpha("CHK"));
  c.m_Record.SetTranRun(tsDouble(1));
  c.m_Record.SetTranSequence(tsDouble(seq));
  c.m_Record.SetCashDetailRun(tsDouble(1));
  c.m_Record.SetCashDetailSequence(tsDouble(1));
  c.m_Record.SetApplOfOrigin(tsAlpha("BK"));
  c.m_Record.SetBatch(tsAlpha(batch));
  c.m_Record.SetBatchSource(Source());
  ASSERT_EQ(c.Insert(), tsioStatus::kSuccess);
}

inline void AddTaxGLDetail(const tsioDataFile& bkt, const char* batch, int seq) {
  TaxGLDetail g(bkt);
  g.m_Record.SetBankAccount(tsAlpha("CHK"));
  g.m_Record.SetTranRun(tsDouble(1));
  g.m_Record.SetTranSequence(tsDouble(seq));
  g.m_Record.SetTaxGLDetailRun(tsDouble(1));
  g.m_Record.SetTaxGLDetailSequence(tsDouble(1));
  g.m_Record.SetGLAppl(tsAlpha("BK"));
  g.m_Record.SetGLBatch(tsAlpha(batch));
  g.m_Record.SetGLSource(Source());
  ASSERT_EQ(g.Insert(), tsioStatus::kSuccess);
}

}  // namespace bktest
