// For the batches tests: a company's batch records by id, and the totals of
// the bank register's batch part as one text.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "batches/batch.h"
#include "batches/bk_batch_part.h"
#include "deposits/detail_transfer_test_support.h"
#include "records/record_test_support.h"
#include "transactions/transaction.h"

namespace bktest {

// Every batch of these tests belongs to application "BK" with source 2 and
// no location.
inline constexpr int kSource = 2;

inline std::string BatchKey(const std::string& id) { return "BAPPL=BK;BSOURCE=2;BDPLOC=;BATCH=" + id; }

// Positions `b` on batch `id`, with its record lock when `lock` is set.
inline void FetchBatch(Batch& b, const char* id, bool lock = false) {
  ASSERT_TRUE(bkdetailtest::Set(b.m_Record, BatchKey(id)));
  ASSERT_EQ(b.FetchEQ(lock), tsioStatus::kSuccess) << id;
}

// A part's totals as "count amount posted-count posted-amount", each with
// its declared decimals.
inline std::string Totals(const bkBatchPart& p) {
  return p.GetNumberOfTrans().Format() + " " + p.GetAmountOfTrans().Format() + " " +
         p.GetNumberOfTransPosted().Format() + " " + p.GetAmountOfTransPosted().Format();
}
// Sets a part's totals from the same text.
inline void SetTotals(bkBatchPart& p, const std::string& text) {
  std::istringstream in(text);
  std::string count, amount, posted_count, posted_amount;
  in >> count >> amount >> posted_count >> posted_amount;
  p.SetNumberOfTrans(tsDouble::FromText(count));
  p.SetAmountOfTrans(tsDouble::FromText(amount));
  p.SetNumberOfTransPosted(tsDouble::FromText(posted_count));
  p.SetAmountOfTransPosted(tsDouble::FromText(posted_amount));
}

}  // namespace bktest
