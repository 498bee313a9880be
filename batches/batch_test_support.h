// For the batches tests: a company with the module's files, batch records
// and members (transactions, cash details, tax GL details) of a batch, and
// the totals of the bank register's batch part as one text.
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

inline std::string BatchKey(const char* id) { return std::string("BAPPL=BK;BSOURCE=2;BDPLOC=;BATCH=") + id; }

inline void AddBatch(tsioDataFile& bkt, const char* id, short count = 0, const char* amount = "0",
                     short posted_count = 0, const char* posted_amount = "0") {
  bkdetailtest::Put<Batch>(bkt, BatchKey(id) + ";BCNT=" + std::to_string(count) + ";BAMT=" + amount +
                                    ";BCNTP=" + std::to_string(posted_count) + ";BAMTP=" + posted_amount);
}

// Positions `b` on batch `id`.
inline void FetchBatch(Batch& b, const char* id) {
  ASSERT_TRUE(bkdetailtest::Set(b.m_Record, BatchKey(id)));
  ASSERT_EQ(b.FetchEQ(false), tsioStatus::kSuccess) << id;
}

// Members of batch `batch` of bank account CHK, transaction run 1, sequence
// `seq`.
inline void AddTransaction(tsioDataFile& bkt, const char* batch, int seq, bool posted = false) {
  bkdetailtest::Put<Transaction>(bkt, "TBNKACC=CHK;TRUN=1;TADD=10.00;TAPPL=BK;TSOURCE=2;TSEQ=" + std::to_string(seq) +
                                          ";TBATCH=" + batch + ";TPOSTED=" + (posted ? "1" : "0"));
}

inline void AddCashDetail(tsioDataFile& bkt, const char* batch, int seq) {
  bkdetailtest::Put<CashDetail>(bkt, "CDBNKAC=CHK;CDTRUN=1;CDRUN=1;CDSEQ=1;CDAPP=BK;CDSORCE=2;CDTSEQ=" +
                                         std::to_string(seq) + ";CDBATCH=" + batch);
}

inline void AddTaxGLDetail(tsioDataFile& bkt, const char* batch, int seq) {
  bkdetailtest::Put<TaxGLDetail>(bkt, "TGBNKAC=CHK;TGRUN=1;TGTXRUN=1;TGTXSEQ=1;TGAPPL=BK;TGSRC=2;TGSEQ=" +
                                          std::to_string(seq) + ";TGBATCH=" + batch);
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
