// Verifying a company: a small company whose stored totals, batch counts,
// reconciliation and general-ledger lines agree verifies clean; each row of
// the damage table changes one stored record of a fresh copy and expects the
// check to report exactly what that change puts out of step (the program's
// own tests, tools/bkreg/month_test.cc, damage a company made by bkreg: a
// reconciled transaction or a posted GL line deleted, the last reconciled
// balance changed). A damaged database and a read that fails are never
// reported clean.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "accounts/bank_account.h"
#include "batches/batch.h"
#include "deposits/cash_detail.h"
#include "deposits/detail_transfer_test_support.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/company.h"
#include "framework/io/faults.h"
#include "ledger/gl_cash_account_balance.h"
#include "statements/statement_cursors.h"
#include "tests/support/damage.h"
#include "transactions/transaction.h"
#include "verify/bk_verify.h"

namespace {

using bkdetailtest::Put;

// Bank B1 opened with 1,000.00. History: check 9/1 of 100.00 reconciled on
// the statement of 2026-11-30 (previous balance 1,000.00, ending 900.00),
// deposit 9/2 of 40.00 cleared, both in batch BK/NOV/2 with GL lines posted
// (run 3: 6000 against 1000, 1000 against 4000). Register: check 10/1 of
// 25.00 and adjustment 10/2 of +5.00, open, in batch BK/DEC/2. Each has a
// cash detail on 1000; GL cash account balance B1/1000 -80.00.
// Register 920.00, bank 940.00; open: checks 25.00, adjustments + 5.00, net
// -20.00; unreconciled: those and deposits 40.00, net 20.00.
class Company {
 public:
  Company() {
    tsRegisterLedgerFiles();
    EXPECT_EQ(fm->CreateCompany(), tsioStatus::kSuccess);
    for (auto [spec, file] : {std::pair{&BKMFileSpec, &bkm}, {&BKTFileSpec, &bkt}, {&BKTHistoryFileSpec, &history},
                              {&BKSFileSpec, &bks}}) {
      EXPECT_EQ(fm->Create(*spec), tsioStatus::kSuccess);
      EXPECT_EQ(fm->Open(*spec, file), tsioStatus::kSuccess);
    }
    const tsioFileSpec gl[] = {tsGLTFileSpec(), tsGLTFileSpec2()};
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(fm->Create(gl[i]), tsioStatus::kSuccess);
      EXPECT_EQ(fm->Open(gl[i], i == 0 ? &waiting : &posted), tsioStatus::kSuccess);
    }
    Put<BankAccount>(*bkm, "BANKACC=B1;BRGBLNC=920.00;BNKBLNC=940.00;BOPNCHK=25.00;BOPNAJP=5.00;BOPNALL=-20.00;"
                           "BURCHK=25.00;BURDEP=40.00;BURADJP=5.00;BURALL=20.00;BRECBAL=900.00;BRECDT=2026-11-30");
    Put<Transaction>(*history, "TBNKACC=B1;TRUN=9;TSEQ=1;TRANTYP=1;TSUBTR=100.00;TRECOND=3;TRECAMT=-100.00;"
                               "TSTMTDT=2026-11-30;TPOSTED=1;TAPPL=BK;TBATCH=NOV;TSOURCE=2");
    Put<Transaction>(*history, "TBNKACC=B1;TRUN=9;TSEQ=2;TRANTYP=2;TADD=40.00;TRECOND=2;TRECAMT=40.00;"
                               "TPOSTED=1;TAPPL=BK;TBATCH=NOV;TSOURCE=2");
    Put<Transaction>(*bkt, "TBNKACC=B1;TRUN=10;TSEQ=1;TRANTYP=1;TSUBTR=25.00;TAPPL=BK;TBATCH=DEC;TSOURCE=2");
    Put<Transaction>(*bkt, "TBNKACC=B1;TRUN=10;TSEQ=2;TRANTYP=4;TADD=5.00;TAPPL=BK;TBATCH=DEC;TSOURCE=2");
    Put<Batch>(*bkt, "BAPPL=BK;BATCH=NOV;BSOURCE=2;BCNTP=2;BAMTP=-60.00");
    Put<Batch>(*bkt, "BAPPL=BK;BATCH=DEC;BSOURCE=2;BCNTP=2;BAMTP=-20.00");
    Put<CashDetail>(*history, "CDBNKAC=B1;CDTRUN=9;CDTSEQ=1;CDRUN=4;CDSEQ=1;CDCSHAC=1000;CDAMT=-100.00");
    Put<CashDetail>(*history, "CDBNKAC=B1;CDTRUN=9;CDTSEQ=2;CDRUN=4;CDSEQ=2;CDCSHAC=1000;CDAMT=40.00");
    Put<CashDetail>(*bkt, "CDBNKAC=B1;CDTRUN=10;CDTSEQ=1;CDRUN=5;CDSEQ=1;CDCSHAC=1000;CDAMT=-25.00");
    Put<CashDetail>(*bkt, "CDBNKAC=B1;CDTRUN=10;CDTSEQ=2;CDRUN=5;CDSEQ=2;CDCSHAC=1000;CDAMT=5.00");
    Put<GLCashAccountBalance>(*bkm, "CABNKAC=B1;CACSHAC=1000;CAAMT=-80.00");
    Put<Reconciliation>(*bks, "RCBNKAC=B1;RCSTMDT=2026-11-30;RCPRVBL=1000.00;RCCOUNT=1;RCALL=-100.00;RCENDB=900.00");
    for (const char* line : {"GTSEQ=1;GTACCT=6000;GTDC=1;GTAMT=100.00", "GTSEQ=2;GTACCT=1000;GTDC=2;GTAMT=100.00",
                             "GTSEQ=3;GTACCT=1000;GTDC=1;GTAMT=40.00", "GTSEQ=4;GTACCT=4000;GTDC=2;GTAMT=40.00"}) {
      GLLine(*posted, std::string("GTRUN=3;") + line);
    }
  }

  static void GLLine(tsioDataFile& file, const std::string& text) {
    tsGLTransactionRec line;
    tsioCursor cursor(line, file, line.TableID(), 0);
    ASSERT_TRUE(bkdetailtest::Set(line, text)) << text;
    ASSERT_EQ(cursor.Insert(), tsioStatus::kSuccess) << text;
  }

  // Changes the columns `text` of the record `key` through a cursor of class C.
  template <typename C>
  static void Change(tsioDataFile& file, const std::string& key, const std::string& text) {
    C cursor(file);
    ASSERT_TRUE(bkdetailtest::Set(cursor.m_Record, key)) << key;
    ASSERT_EQ(cursor.FetchEQ(true), tsioStatus::kSuccess) << key;
    ASSERT_TRUE(bkdetailtest::Set(cursor.m_Record, text)) << text;
    ASSERT_EQ(cursor.Update(), tsioStatus::kSuccess) << text;
  }

  bkVerifyResult Verify() const {
    bkVerifyFiles f;
    f.master = bkm;
    f.register_file = bkt;
    f.history = history;
    f.statements = bks;
    f.gl_waiting = waiting;
    f.gl_posted = posted;
    return bkVerifyCompany(f);
  }

  bktest::TestCompany dir{"company"};
  std::unique_ptr<tsioFileManager> fm = std::make_unique<tsioFileManager>(dir.path());
  tsioDataFile *bkm = nullptr, *bkt = nullptr, *history = nullptr, *bks = nullptr, *waiting = nullptr,
               *posted = nullptr;
};

// "subject: field" of every difference found.
std::set<std::string> Found(const bkVerifyResult& r) {
  std::set<std::string> out;
  for (const bkVerifyDrift& d : r.drift) out.insert(d.subject + ": " + d.field);
  return out;
}

TEST(Verify, ACompanyInStepVerifiesCleanAndCountsWhatItRead) {
  Company co;
  const bkVerifyResult r = co.Verify();
  EXPECT_TRUE(r.Clean()) << ::testing::PrintToString(Found(r));
  EXPECT_EQ(r.bank_accounts, 1);
  EXPECT_EQ(r.batches, 2);
  EXPECT_EQ(r.transactions, 4);
  EXPECT_EQ(r.reconciliations, 1);
  EXPECT_EQ(r.gl_lines, 4);
}

TEST(Verify, FindsEachDamageToStoredTotalsBatchesReconciliationsAndTheLedger) {
  const std::string bank = "bank account B1: ", batch = "batch BK/DEC/2: ", rec = "reconciliation B1 2026-11-30: ";
  struct Damage {
    const char* what;
    std::function<void(Company&)> apply;
    std::set<std::string> found;
  } damages[] = {
      {"open checks changed", [](Company& co) { Company::Change<BankAccount>(*co.bkm, "BANKACC=B1", "BOPNCHK=26.00"); },
       {bank + "open checks"}},
      {"open net changed", [](Company& co) { Company::Change<BankAccount>(*co.bkm, "BANKACC=B1", "BOPNALL=0.00"); },
       {bank + "open net"}},
      {"unreconciled adjustments + changed",
       [](Company& co) { Company::Change<BankAccount>(*co.bkm, "BANKACC=B1", "BURADJP=0.00"); },
       {bank + "unreconciled adjustments +"}},
      {"an open adjustment counted among the minus ones",
       [](Company& co) { Company::Change<BankAccount>(*co.bkm, "BANKACC=B1", "BOPNAJP=0.00;BOPNAJM=5.00"); },
       {bank + "open adjustments +", bank + "open adjustments -"}},
      {"bank balance changed", [](Company& co) { Company::Change<BankAccount>(*co.bkm, "BANKACC=B1", "BNKBLNC=941.00"); },
       {bank + "register - bank balance"}},
      {"a cleared amount changed",
       [](Company& co) { Company::Change<Transaction>(*co.history, "TBNKACC=B1;TRUN=9;TSEQ=2", "TRECAMT=39.00"); },
       {bank + "register - bank balance"}},
      {"an open check marked cleared, totals not moved",
       [](Company& co) {
         Company::Change<Transaction>(*co.bkt, "TBNKACC=B1;TRUN=10;TSEQ=1", "TRECOND=2;TRECAMT=-25.00");
       },
       {bank + "open checks", bank + "open net", bank + "register - bank balance"}},
      {"the last reconciled date changed",
       [](Company& co) { Company::Change<BankAccount>(*co.bkm, "BANKACC=B1", "BRECDT=2026-11-29"); },
       {bank + "last reconciled date"}},
      {"a transaction of an account that does not exist",
       [](Company& co) { Put<Transaction>(*co.bkt, "TBNKACC=GONE;TRUN=10;TSEQ=3;TRANTYP=2;TADD=1.00"); },
       {"bank account GONE: transactions of an account that does not exist"}},
      {"a batch's entered count changed",
       [](Company& co) { Company::Change<Batch>(*co.bkt, "BAPPL=BK;BATCH=DEC;BSOURCE=2", "BCNTP=3"); },
       {batch + "entered count"}},
      {"a batch's entered amount changed",
       [](Company& co) { Company::Change<Batch>(*co.bkt, "BAPPL=BK;BATCH=DEC;BSOURCE=2", "BAMTP=-20.01"); },
       {batch + "entered amount"}},
      {"a transaction moved to another batch",
       [](Company& co) { Company::Change<Transaction>(*co.bkt, "TBNKACC=B1;TRUN=10;TSEQ=2", "TBATCH=NOV"); },
       {batch + "entered count", batch + "entered amount", "batch BK/NOV/2: entered count",
        "batch BK/NOV/2: entered amount"}},
      {"a reconciled transaction on no statement",
       [](Company& co) {
         Put<Transaction>(*co.history, "TBNKACC=B1;TRUN=9;TSEQ=3;TRANTYP=4;TRECOND=3;TPOSTED=1");
       },
       {bank + "reconciled transactions on no statement"}},
      {"a reconciled transaction on a statement never finished",
       [](Company& co) {
         Put<Transaction>(*co.history, "TBNKACC=B1;TRUN=9;TSEQ=3;TRANTYP=4;TRECOND=3;TSTMTDT=2026-10-31;TPOSTED=1");
       },
       {bank + "reconciled transactions of a statement never finished (2026-10-31)"}},
      {"a reconciled transaction more on the statement",
       [](Company& co) {
         Put<Transaction>(*co.history, "TBNKACC=B1;TRUN=9;TSEQ=3;TRANTYP=4;TRECOND=3;TSTMTDT=2026-11-30;TPOSTED=1");
       },
       {rec + "reconciled count"}},
      {"a reconciliation's previous balance changed",
       [](Company& co) {
         Company::Change<Reconciliation>(*co.bks, "RCBNKAC=B1;RCSTMDT=2026-11-30", "RCPRVBL=999.00");
       },
       {rec + "previous balance", rec + "ending balance"}},
      {"a reconciliation's total changed",
       [](Company& co) {
         Company::Change<Reconciliation>(*co.bks, "RCBNKAC=B1;RCSTMDT=2026-11-30", "RCALL=-99.00");
       },
       {rec + "reconciled total"}},
      {"a second statement not starting where the first ended",
       [](Company& co) {
         Put<Reconciliation>(*co.bks, "RCBNKAC=B1;RCSTMDT=2026-12-31;RCPRVBL=901.00;RCENDB=901.00");
         Company::Change<BankAccount>(*co.bkm, "BANKACC=B1", "BRECBAL=901.00;BRECDT=2026-12-31");
       },
       {"reconciliation B1 2026-12-31: previous balance"}},
      {"a GL line moved to another account",
       [](Company& co) {
         tsGLTransactionRec line;
         tsioCursor cursor(line, *co.posted, line.TableID(), 0);
         ASSERT_TRUE(bkdetailtest::Set(line, "GTRUN=3;GTSEQ=2;GTLEDG=0"));
         ASSERT_EQ(cursor.FetchEQ(true), tsioStatus::kSuccess);
         line.account = tsAlpha("1010");
         ASSERT_EQ(cursor.Update(), tsioStatus::kSuccess);
       },
       {"GL cash account 1000: general-ledger lines against the register's posted cash"}},
      {"a waiting GL run out of balance",
       [](Company& co) { Company::GLLine(*co.waiting, "GTRUN=7;GTSEQ=1;GTACCT=6000;GTDC=1;GTAMT=12.00"); },
       {"general ledger waiting run 7 ledger 0: debits less credits"}},
      {"the GL cash account balance changed",
       [](Company& co) {
         Company::Change<GLCashAccountBalance>(*co.bkm, "CABNKAC=B1;CACSHAC=1000", "CAAMT=-79.00");
       },
       {bank + "GL cash account balance of 1000"}},
      {"a posted cash detail deleted",
       [](Company& co) {
         CashDetail d(*co.history);
         ASSERT_TRUE(bkdetailtest::Set(d.m_Record, "CDBNKAC=B1;CDTRUN=9;CDTSEQ=2;CDRUN=4;CDSEQ=2"));
         ASSERT_EQ(d.FetchEQ(true), tsioStatus::kSuccess);
         ASSERT_EQ(d.Delete(), tsioStatus::kSuccess);
       },
       {bank + "GL cash account balance of 1000",
        "GL cash account 1000: general-ledger lines against the register's posted cash"}},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    Company co;
    d.apply(co);
    const bkVerifyResult r = co.Verify();
    EXPECT_EQ(r.status, tsioStatus::kSuccess);
    EXPECT_TRUE(r.integrity.empty());
    EXPECT_EQ(Found(r), d.found);
  }
}

// A database damaged on disk: the integrity check says so and nothing is
// recomputed from what cannot be trusted.
TEST(Verify, ADamagedDatabaseIsReportedByItsIntegrityCheck) {
  Company co;
  const std::string db = co.dir.path() + "/company.db";
  const std::string table = tsioCompany::TableName("BKT", BKTHistoryFileSpec.Instance(), 1);
  co.fm.reset();
  ASSERT_GE(bktest::DamageTables(db, {table}), 1u);
  tsioFileManager fm(co.dir.path());
  tsioDataFile *bkm = nullptr, *bkt = nullptr, *history = nullptr;
  ASSERT_EQ(fm.Open(BKMFileSpec, &bkm), tsioStatus::kSuccess);
  ASSERT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
  ASSERT_EQ(fm.Open(BKTHistoryFileSpec, &history), tsioStatus::kSuccess);
  const bkVerifyResult r = bkVerifyCompany(*bkm, *bkt, history);
  EXPECT_FALSE(r.Clean());
  EXPECT_FALSE(r.integrity.empty());
  EXPECT_TRUE(r.drift.empty());
}

// Every read the check makes, failing in turn: the check ends with that
// read's status, never as clean.
TEST(Verify, EveryReadThatFailsEndsTheCheckWithItsStatus) {
  Company co;
  int failed = 0;
  for (int nth = 1; nth < 200; ++nth) {
    SCOPED_TRACE("fetch #" + std::to_string(nth));
    tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError, nth);
    const bkVerifyResult r = co.Verify();
    // A fault still armed fires within nth more calls: it was never met.
    bool met = true;
    tsioStatus::Status ignored;
    for (int i = 0; i < nth && met; ++i) met = !tsioFaults::Hit(tsioOp::kFetch, &ignored);
    tsioFaults::Clear();
    if (!met) {
      EXPECT_TRUE(r.Clean());
      break;
    }
    ++failed;
    EXPECT_EQ(r.status, tsioStatus::kIOError);
    EXPECT_FALSE(r.Clean());
  }
  EXPECT_GT(failed, 8);
}

}  // namespace
