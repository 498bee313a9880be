// As-of-date balances against sums computed from scratch over random
// registers; failures (unknown accounts, a failed read at each fetch, a
// damaged file) give the failure amount and one log line with every file
// position restored; a work-file copy with its keys numbered differently.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "balances/balance_accumulators.h"
#include "balances/balance_as_of.h"
#include "balances/balance_test_support.h"
#include "framework/io/dictionary.h"
#include "framework/io/bookmark.h"
#include "framework/io/faults.h"
#include "tests/support/damage.h"

namespace {

using baltest::Cents;
using baltest::LogReader;
using baltest::Position;
using baltest::PositionOf;
using baltest::Register;
using baltest::Tx;

TEST(BalanceFailureAmount, IsTheAgreedAmountAndDouble) {
  const tsCurrency f = bkBalanceFailureAmount();
  EXPECT_EQ(f.Format(), "-9999999999999.99");
  const double d = f.ToDouble();
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  EXPECT_EQ(bits, 0xC2A2309CE53FFFFBull);
  EXPECT_TRUE(bkIsBalanceFailure(f));
  EXPECT_FALSE(bkIsBalanceFailure(tsCurrency(0)));
}

// The callers' positions the accumulators must give back: a bank account,
// a GL cash account balance, a transaction (register order) and a cash detail.
struct CallerPositions {
  std::unique_ptr<BankAccount> bank;
  std::unique_ptr<GLCashAccountBalance> cash_balance;
  std::unique_ptr<Transaction> tran;
  std::unique_ptr<CashDetail> cash;
  std::vector<Position> saved;
  const tsioDataFile* bkm;
  const tsioDataFile* bkt;

  CallerPositions(const tsioDataFile& m, const tsioDataFile& t) : bkm(&m), bkt(&t) {
    bank = std::make_unique<BankAccount>(m, "", 0);
    cash_balance = std::make_unique<GLCashAccountBalance>(m, "", 0);
    tran = std::make_unique<Transaction>(t, "", 5);
    cash = std::make_unique<CashDetail>(t, "", 15);
  }
  void Take() {
    EXPECT_EQ(bank->FetchFirst(false), tsioStatus::kSuccess);
    EXPECT_EQ(bank->FetchNext(false), tsioStatus::kSuccess);
    EXPECT_EQ(cash_balance->FetchLast(false), tsioStatus::kSuccess);
    EXPECT_EQ(tran->FetchFirst(false), tsioStatus::kSuccess);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(tran->FetchNext(false), tsioStatus::kSuccess);
    EXPECT_EQ(cash->FetchFirst(false), tsioStatus::kSuccess);
    EXPECT_EQ(cash->FetchNext(false), tsioStatus::kSuccess);
    saved = Now();
  }
  std::vector<Position> Now() const {
    return {PositionOf(*bkm, 1), PositionOf(*bkm, 3), PositionOf(*bkt, 1), PositionOf(*bkt, 5)};
  }
  void ExpectRestored() const { EXPECT_TRUE(Now() == saved) << "a file position moved"; }
};

struct BalanceCompany {
  bktest::BankCompany co;
  Register reg;
  explicit BalanceCompany(int per_bank = 60, int days = 12, unsigned seed = 15) {
    std::mt19937 rng(seed);
    reg.Generate(rng, {"B1", "B2", "B3"}, per_bank, days);
    reg.Write(*co.bkm, *co.bkt);
  }
};

// The four as-of balances of `bank` on `d` (the cash account's given as
// `cash`), by name, computed over `m` and `t`.
const char* const kAsOfKinds[] = {"register", "bank", "reconciled", "cash"};
tsCurrency AsOf(const std::string& kind, const std::string& bank, const char* cash, const tsDate& d,
                const tsioDataFile& m, const tsioDataFile& t) {
  const tsAlpha b(bank);
  if (kind == "register") return bkRegisterBalanceAsOfDateAccumulator(b, d, m, t).accumulate();
  if (kind == "bank") return bkBankBalanceAsOfDateAccumulator(b, d, m, t).accumulate();
  if (kind == "reconciled") return bkLastReconciledBalanceAsOfDateAccumulator(b, d, m, t).accumulate();
  return bkCashAccountBalanceAsOfDateAccumulator(b, tsAlpha(cash), d, m, t).accumulate();
}

// Every as-of balance of `bank` on `d`, read over `bkt` (the register or a
// copy of it), equals the sum from scratch.
void ExpectAsOf(const BalanceCompany& c, const tsioDataFile& bkt, const std::string& bank, const tsDate& d) {
  const tsioDataFile& m = *c.co.bkm;
  const int ymd = d.Ymd();
  EXPECT_EQ(Cents(AsOf("register", bank, "", d, m, bkt)), c.reg.RegisterAsOf(bank, ymd));
  EXPECT_EQ(Cents(AsOf("bank", bank, "", d, m, bkt)), c.reg.BankAsOf(bank, ymd));
  EXPECT_EQ(Cents(AsOf("reconciled", bank, "", d, m, bkt)), c.reg.ReconciledAsOf(bank, ymd));
  for (const char* cash : {"1000100", "1000200"}) {
    EXPECT_EQ(Cents(AsOf("cash", bank, cash, d, m, bkt)), c.reg.CashAsOf(bank, cash, ymd));
  }
}

// Every as-of balance of every bank, dates before the first transaction,
// on each day between and after the last, to the cent.
TEST(AsOfBalances, EveryAccumulatorEqualsAFromScratchSum) {
  BalanceCompany c(80, 10);
  LogReader log(c.co.fm.Folder());
  CallerPositions pos(*c.co.bkm, *c.co.bkt);
  pos.Take();
  for (const auto& [bank, info] : c.reg.banks) {
    for (tsDate d = tsDate::FromYmd(c.reg.first) - 3; d <= tsDate::FromYmd(c.reg.last) + 3; d += 1) {
      SCOPED_TRACE(bank + " as of " + d.Format());
      ExpectAsOf(c, *c.co.bkt, bank, d);
      // Only the transactions after the date are read (plus the fetch that
      // finds where they end and the one that puts the file back).
      bkRegisterBalanceAsOfDateAccumulator reg(tsAlpha(bank), d, *c.co.bkm, *c.co.bkt);
      (void)reg.accumulate();
      EXPECT_EQ(reg.TransactionReads(), c.reg.RowsAfter(bank, d.Ymd()) + 2);
      pos.ExpectRestored();
    }
  }
  // A cash account given formatted is looked up unformatted.
  const tsDate mid = tsDate::FromYmd(c.reg.first) + 5;
  EXPECT_EQ(Cents(AsOf("cash", "B2", "1000-200", mid, *c.co.bkm, *c.co.bkt)),
            c.reg.CashAsOf("B2", "1000200", mid.Ymd()));
  EXPECT_TRUE(log.NewFailures().empty());
}

// The computations of the four as-of classes and the two running ones
// (fresh), each answering its balance or the failure amount. `prepare`
// positions what the caller positions, `finish` puts the caller's files back
// (the by-key forms leave them on the line by design); neither is part of
// the computation.
struct Computation {
  const char* name;
  std::function<tsCurrency()> run;
  long long expected;
  std::function<void()> prepare = [] {};
  std::function<void()> finish = [] {};
};

std::vector<Computation> Computations(BalanceCompany& c, const tsAlpha& bank, const tsDate& d) {
  const tsioDataFile* m = c.co.bkm;
  const tsioDataFile* t = c.co.bkt;
  const std::string id = bank.str();
  // The running balances of the first line of the bank's register dated
  // after `d`, and of its first cash detail on 1000100 likewise.
  auto lines = c.reg.RunningBalances(id);
  auto line = *std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.first.date > d.Ymd(); });
  auto cash_lines = c.reg.CashRunningBalances(id, "1000100");
  auto cash_line =
      *std::find_if(cash_lines.begin(), cash_lines.end(), [&](const auto& l) { return l.first.accdt > d.Ymd(); });
  // The caller's cursors and the bookmarks that put its files back.
  struct Caller {
    std::unique_ptr<BankAccount> bank;
    std::unique_ptr<Transaction> tran;
    std::unique_ptr<CashDetail> cash;
    std::vector<tsioBookmark> marks;
  };
  auto caller = std::make_shared<Caller>();
  caller->bank = std::make_unique<BankAccount>(*m, "", 0);
  caller->tran = std::make_unique<Transaction>(*t, "", 0);
  caller->cash = std::make_unique<CashDetail>(*t, "", 0);
  auto save = [caller] {
    caller->marks = {tsioBookmark(*caller->bank->CursorPtr()), tsioBookmark(*caller->tran->CursorPtr()),
                     tsioBookmark(*caller->cash->CursorPtr())};
  };
  auto restore = [caller] {
    for (auto& mark : caller->marks) (void)mark.GoTo();
  };
  const Tx& l = line.first;
  const baltest::Cash& cl = cash_line.first;
  const long long as_of[] = {c.reg.RegisterAsOf(id, d.Ymd()), c.reg.BankAsOf(id, d.Ymd()),
                             c.reg.ReconciledAsOf(id, d.Ymd()), c.reg.CashAsOf(id, "1000100", d.Ymd())};
  std::vector<Computation> out;
  for (int k = 0; k < 4; ++k) {
    const std::string kind = kAsOfKinds[k];
    out.push_back({kAsOfKinds[k], [=] { return AsOf(kind, id, "1000100", d, *m, *t); }, as_of[k]});
  }
  std::vector<Computation> running = {
      {"running", [=] { return bkRunningBalanceAccumulator(*m, *t).accumulate(); }, line.second,
       [=] {
         save();
         caller->tran->m_Record.SetBankAccount(bank);
         caller->tran->m_Record.SetRun(tsDouble(l.run));
         caller->tran->m_Record.SetSequence(tsDouble(l.seq));
         ASSERT_EQ(caller->tran->FetchEQ(false), tsioStatus::kSuccess);
       },
       restore},
      {"cash running",
       [=] { return bkCashRunningBalanceAccumulator(*m, *t).accumulate(); }, cash_line.second,
       [=] {
         save();
         caller->cash->m_Record.SetBankAccount(bank);
         caller->cash->m_Record.SetTranRun(tsDouble(cl.trun));
         caller->cash->m_Record.SetTranSequence(tsDouble(cl.tseq));
         caller->cash->m_Record.SetCashDetailRun(tsDouble(cl.run));
         caller->cash->m_Record.SetCashDetailSequence(tsDouble(cl.seq));
         ASSERT_EQ(caller->cash->FetchEQ(false), tsioStatus::kSuccess);
       },
       restore},
      {"running by key",
       [=] { return bkRunningBalanceAccumulator(*m, *t).accumulate(bank, tsDouble(l.run), tsDouble(l.seq)); },
       line.second, save, restore},
      {"cash running by key",
       [=] {
         return bkCashRunningBalanceAccumulator(*m, *t).accumulate(bank, tsDouble(cl.trun), tsDouble(cl.tseq),
                                                                   tsDouble(cl.run), tsDouble(cl.seq));
       },
       cash_line.second, save, restore},
  };
  out.insert(out.end(), running.begin(), running.end());
  return out;
}

// A failed read at each fetch, in turn, of every computation: the failure
// amount and exactly one log line, and the files where they were. A fault
// armed past a computation's last fetch leaves it right and silent.
TEST(AsOfBalances, AFailedReadAtEachFetchGivesTheFailureAmountAndOneLine) {
  BalanceCompany c(30, 6);
  LogReader log(c.co.fm.Folder());
  CallerPositions pos(*c.co.bkm, *c.co.bkt);
  pos.Take();
  const tsDate d = tsDate::FromYmd(c.reg.first) + 2;
  for (auto& comp : Computations(c, tsAlpha("B2"), d)) {
    SCOPED_TRACE(comp.name);
    comp.prepare();
    ASSERT_EQ(Cents(comp.run()), comp.expected);
    comp.finish();
    pos.ExpectRestored();
    for (const int times : {1, 1000}) {  // one failure, or every read failing from then on
      int failed = 0;
      for (int n = 1;; ++n) {
        SCOPED_TRACE("fetch " + std::to_string(n) + " failing " + std::to_string(times) + " times");
        ASSERT_LT(n, 2000);
        log.Skip();
        comp.prepare();
        const auto here = pos.Now();
        tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError, n, times);
        const tsCurrency r = comp.run();
        tsioFaults::Clear();
        const auto lines = log.NewFailures();
        // The caller's files are where they were (the by-key forms move
        // them to the line, but only when they succeed).
        if (bkIsBalanceFailure(r) || std::string(comp.name).find("by key") == std::string::npos) {
          EXPECT_TRUE(pos.Now() == here) << "a file position moved";
        }
        comp.finish();
        pos.ExpectRestored();
        if (!bkIsBalanceFailure(r)) {
          // The fault came after the computation's last fetch.
          EXPECT_EQ(Cents(r), comp.expected);
          EXPECT_TRUE(lines.empty());
          break;
        }
        ++failed;
        ASSERT_EQ(lines.size(), 1u);
        const bool read_error = lines[0] == "AFF FAIL: Read Error " + ccIOStatusStr(tsioStatus::kIOError);
        const bool record_error = lines[0].rfind("AFF FAIL: B2, ", 0) == 0 &&
                                  lines[0].find(ccIOStatusStr(tsioStatus::kIOError)) != std::string::npos;
        const bool helper = lines[0] == "Helper function failed";
        EXPECT_TRUE(read_error || record_error || helper) << lines[0];
      }
      EXPECT_GE(failed, 3);
    }
  }
}

TEST(AsOfBalances, UnknownAccountsGiveTheFailureAmountAndOneLine) {
  BalanceCompany c(10, 3);
  LogReader log(c.co.fm.Folder());
  CallerPositions pos(*c.co.bkm, *c.co.bkt);
  pos.Take();
  const tsDate d = tsDate::FromYmd(20260302);
  const tsioDataFile& m = *c.co.bkm;
  const tsioDataFile& t = *c.co.bkt;
  const std::string nf = ccIOStatusStr(tsioStatus::kNotFound);
  // Each as-of balance of an unknown bank (a cash account unknown to a
  // known bank), and the by-key running balances of unknown lines.
  for (const std::string kind : {"register", "bank", "reconciled", "cash", "running", "cash running"}) {
    SCOPED_TRACE(kind);
    const bool cash = kind == "cash";
    const tsCurrency got =
        kind == "running" ? bkRunningBalanceAccumulator(m, t).accumulate(tsAlpha("NOPE"), tsDouble(1), tsDouble(1))
        : kind == "cash running" ? bkCashRunningBalanceAccumulator(m, t).accumulate(
                                       tsAlpha("B1"), tsDouble(99), tsDouble(99), tsDouble(1), tsDouble(1))
                                 : AsOf(kind, cash ? "B1" : "NOPE", "99-99", d, m, t);
    EXPECT_TRUE(bkIsBalanceFailure(got));
    const bool running = kind.find("running") != std::string::npos;
    const std::string line =
        running ? "Helper function failed" : (cash ? "AFF FAIL: B1, 9999, " : "AFF FAIL: NOPE, ") + nf;
    EXPECT_EQ(log.NewFailures(), std::vector<std::string>{line});
    pos.ExpectRestored();
  }
}

TEST(AsOfBalances, ADamagedFileGivesTheFailureAmountAndOneLine) {
  bktest::TempDir dir;
  const std::string folder = dir.Sub("company");
  Register reg;
  {
    tsioFileManager fm(folder);
    ASSERT_EQ(fm.CreateCompany(), tsioStatus::kSuccess);
    tsioDataFile *bkm = nullptr, *bkt = nullptr;
    ASSERT_EQ(fm.Create(BKMFileSpec), tsioStatus::kSuccess);
    ASSERT_EQ(fm.Create(BKTFileSpec), tsioStatus::kSuccess);
    ASSERT_EQ(fm.Open(BKMFileSpec, &bkm), tsioStatus::kSuccess);
    ASSERT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
    std::mt19937 rng(3);
    reg.Generate(rng, {"B1", "B2"}, 40, 5);
    reg.Write(*bkm, *bkt);
  }  // the last connection closes: everything is in the database file
  ASSERT_GE(bktest::DamageTables(folder + "/company.db", {"f_BKT_1_r1", "f_BKT_1_r5"}), 4u);
  tsioFileManager fm(folder);
  tsioDataFile *bkm = nullptr, *bkt = nullptr;
  ASSERT_EQ(fm.Open(BKMFileSpec, &bkm), tsioStatus::kSuccess);
  ASSERT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
  LogReader log(folder);
  // The caller stands on a bank account, and on a transaction and a cash
  // detail whose keys it holds (they cannot be read).
  BankAccount bank(*bkm, "", 0);
  bank.m_Record.SetBankAccount(tsAlpha("B2"));
  ASSERT_EQ(bank.FetchEQ(false), tsioStatus::kSuccess);
  Transaction tran(*bkt, "", 5);
  tran.m_Record.SetBankAccount(tsAlpha("B1"));
  tran.m_Record.SetRun(tsDouble(reg.txs[0].run));
  tran.m_Record.SetSequence(tsDouble(reg.txs[0].seq));
  ASSERT_EQ(tran.SetBuffer(), tsioStatus::kSuccess);
  CashDetail cash(*bkt, "", 15);
  cash.m_Record.SetBankAccount(tsAlpha("B1"));
  ASSERT_EQ(cash.SetBuffer(), tsioStatus::kSuccess);
  const std::vector<Position> before = {PositionOf(*bkm, 1), PositionOf(*bkt, 1), PositionOf(*bkt, 5)};
  const tsDate d = tsDate::FromYmd(20260302);
  const std::string damaged = "AFF FAIL: Read Error " + ccIOStatusStr(tsioStatus::kDamaged);
  for (const std::string kind : {"register", "bank", "reconciled", "cash", "running"}) {
    SCOPED_TRACE(kind);
    EXPECT_TRUE(bkIsBalanceFailure(kind == "running" ? bkRunningBalanceAccumulator(*bkm, *bkt).accumulate()
                                                     : AsOf(kind, "B1", "1000100", d, *bkm, *bkt)));
    EXPECT_EQ(log.NewFailures(), std::vector<std::string>{damaged});
    EXPECT_TRUE((std::vector<Position>{PositionOf(*bkm, 1), PositionOf(*bkt, 1), PositionOf(*bkt, 5)}) == before);
  }
}

// A work file holding a copy of the register whose keys are numbered 1 to n
// in an order of their own, with a key that has only the bank account
// (it does not order a bank's transactions as any balance needs).
constexpr short kWorkDictionaryId = 9221;

void RegisterWorkFile() {
  tsioFileDef work = *tsioDictionary::Find(BKTFileSpec.DictionaryID());
  work.code = "WRK";
  work.dictionary_id = kWorkDictionaryId;
  work.work_file = true;
  work.headers.clear();
  std::vector<tsioRecordDef> records;
  work.carried.clear();  // the copy numbers its keys its own way
  for (tsioRecordDef r : work.records) {
    if (r.record_type == 1) {
      r.keys = {r.keys[0],
                {1, {"TBNKACC", "TRECDT"}, false},
                {2, {"TBNKACC"}, false},
                {3, {"TBNKACC", "TSTMTDT"}, false},
                {4, {"TBNKACC", "TTRANDT", "TCHECK", "TSUBTR"}, false},
                {5, {"TBNKACC", "TACTGDT"}, false}};
      records.push_back(r);
    } else if (r.record_type == 5) {
      r.keys = {r.keys[0], {1, {"CDBNKAC", "CDACCDT"}, false}, {2, {"CDBNKAC", "CDCSHAC", "CDACCDT"}, false}};
      records.push_back(r);
    }
  }
  work.records = records;
  tsioDictionary::Register(work);
}

TEST(WorkFiles, ACopyWithKeysNumberedDifferentlyWalksInTheExpectedOrder) {
  BalanceCompany c(50, 8);
  RegisterWorkFile();
  const tsioFileSpec spec("WRK", 1, kWorkDictionaryId);
  ASSERT_EQ(c.co.fm.Create(spec), tsioStatus::kSuccess);
  tsioDataFile* wrk = nullptr;
  ASSERT_EQ(c.co.fm.Open(spec, &wrk), tsioStatus::kSuccess);
  ASSERT_GE(wrk->FileNum(), 401);
  ASSERT_LE(wrk->FileNum(), 600);
  {
    tclRollbackStack unit;
    Transaction t(*c.co.bkt, "", 0);
    t.AttachRollbackStack(&unit);
    for (auto st = t.FetchFirst(false); st == tsioStatus::kSuccess; st = t.FetchNext(false)) {
      ASSERT_EQ(t.CopyRecord(*wrk), tsioStatus::kSuccess);
    }
    CashDetail d(*c.co.bkt, "", 0);
    d.AttachRollbackStack(&unit);
    for (auto st = d.FetchFirst(false); st == tsioStatus::kSuccess; st = d.FetchNext(false)) {
      ASSERT_EQ(d.CopyRecord(*wrk), tsioStatus::kSuccess);
    }
    ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
  }
  // The indexes the balances ask for, on the work file and on the real one.
  struct Index {
    short record_type, requested, work, real;
  } indexes[] = {{1, 5, 4, 5}, {1, 12, 1, 12}, {1, 2, 3, 2}, {1, 13, 5, 13}, {5, 15, 2, 15}, {1, 7, 0, 7}};
  for (const auto& i : indexes) {
    EXPECT_EQ(bkBalanceIndex(*wrk, i.record_type, i.requested), i.work) << i.requested;
    EXPECT_EQ(bkBalanceIndex(*c.co.bkt, i.record_type, i.requested), i.real) << i.requested;
  }
  // The translated register order walks every bank's register in order.
  for (const auto& [bank, info] : c.reg.banks) {
    SCOPED_TRACE(bank);
    const auto lines = c.reg.RunningBalances(bank);
    Transaction w(*wrk, bkRunningBalanceAccumulator::m_sTransactionColumns, bkBalanceIndex(*wrk, 1, 5));
    w.m_Record.SetBankAccount(tsAlpha(bank));
    size_t i = 0;
    bkRunningBalanceAccumulator running(*c.co.bkm, *wrk);
    for (auto st = w.FetchGE(false); st == tsioStatus::kSuccess && w.m_Record.GetBankAccount() == bank;
         st = w.FetchNext(false), ++i) {
      ASSERT_LT(i, lines.size());
      ASSERT_EQ(w.m_Record.GetSequence(), tsDouble(lines[i].first.seq));
      ASSERT_EQ(Cents(running.accumulate()), lines[i].second);
    }
    EXPECT_EQ(i, lines.size());
    // And every as-of balance on the copy is the one on the file.
    for (tsDate d = tsDate::FromYmd(c.reg.first) - 1; d <= tsDate::FromYmd(c.reg.last) + 1; d += 3) {
      SCOPED_TRACE(d.Format());
      ExpectAsOf(c, *wrk, bank, d);
    }
  }
}

}  // namespace
