// As-of-date and running balances against the model's sums over random
// registers; failures (a failed read at each fetch, unknown accounts, a
// damaged file) give the failure amount and one log line with every file
// position kept; a work-file copy with its keys numbered differently.
#include <gtest/gtest.h>

#include <cstring>

#include "balances/balance_accumulators.h"
#include "balances/balance_test_support.h"
#include "framework/io/dictionary.h"
#include "tests/support/damage.h"

namespace {

using baltest::Cents;
using baltest::Register;

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

// A company holding a random register of three banks, and the caller's
// cursors standing on bank B2, its GL cash balance on 1000100, its first
// register line after `d` and its first cash detail on 1000100 after `d`
// (the lines the running balances are asked for); the by-key forms are
// asked for the lines after those.
struct BalanceCompany {
  bktest::BankCompany co;
  Register reg;
  tsDate d;
  std::pair<baltest::Tx, long long> line, key_line;
  std::pair<baltest::Cash, long long> cash_line, key_cash_line;
  BankAccount bank{*co.bkm, "", 0};
  GLCashAccountBalance cash_balance{*co.bkm, "", 0};
  Transaction tran{*co.bkt, "", 0};
  CashDetail cash{*co.bkt, "", 0};

  BalanceCompany(int per_bank, int days, int d_offset) {
    std::mt19937 rng(15);
    reg.Generate(rng, {"B1", "B2", "B3"}, per_bank, days);
    reg.Write(*co.bkm, *co.bkt);
    d = tsDate::FromYmd(reg.first) + d_offset;
    auto lines = reg.Running<baltest::Tx>("B2");
    auto at = std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.first.date > d.Ymd(); });
    line = at[0];
    key_line = at[1];
    auto cash_lines = reg.Running<baltest::Cash>("B2", "1000100");
    auto cash_at =
        std::find_if(cash_lines.begin(), cash_lines.end(), [&](const auto& l) { return l.first.accdt > d.Ymd(); });
    cash_line = cash_at[0];
    key_cash_line = cash_at[1];
    Stand();
  }
  void Stand() {
    EXPECT_TRUE(bkdetailtest::Set(bank.m_Record, "BANKACC=B2"));
    EXPECT_TRUE(bkdetailtest::Set(cash_balance.m_Record, "CABNKAC=B2;CACSHAC=1000100"));
    EXPECT_TRUE(bkdetailtest::Set(tran.m_Record, line.first.KeyText()));
    EXPECT_TRUE(bkdetailtest::Set(cash.m_Record, cash_line.first.KeyText()));
    for (auto st : {bank.FetchEQ(false), cash_balance.FetchEQ(false), tran.FetchEQ(false), cash.FetchEQ(false)}) {
      EXPECT_EQ(st, tsioStatus::kSuccess);
    }
  }
  // Where the caller stands on each file.
  baltest::Positions Now() const { return baltest::PositionsOf({{co.bkm, 1}, {co.bkm, 3}, {co.bkt, 1}, {co.bkt, 5}}); }
};

tsCurrency AsOf(const std::string& kind, const std::string& bank, const std::string& cash, const tsDate& d,
                const tsioDataFile& m, const tsioDataFile& t) {
  const tsAlpha b(bank);
  if (kind == "register") return bkRegisterBalanceAsOfDateAccumulator(b, d, m, t).accumulate();
  if (kind == "bank") return bkBankBalanceAsOfDateAccumulator(b, d, m, t).accumulate();
  if (kind == "reconciled") return bkLastReconciledBalanceAsOfDateAccumulator(b, d, m, t).accumulate();
  return bkCashAccountBalanceAsOfDateAccumulator(b, tsAlpha(cash), d, m, t).accumulate();
}

// A bank's as-of balances, a line a day from three days before the
// register's first date to three after its last (every `step` days):
// "<date> <register> <bank> <reconciled> <cash 1000100> <cash 1000200>
// <register reads>", each from `balance(kind, cash account, date)`.
std::string AsOfDays(const Register& reg, int step,
                     const std::function<long long(const std::string&, const std::string&, const tsDate&)>& balance) {
  std::string out;
  for (tsDate d = tsDate::FromYmd(reg.first) - 3; d <= tsDate::FromYmd(reg.last) + 3; d += step) {
    out += d.Format();
    for (const char* kind : {"register", "bank", "reconciled"}) out += " " + std::to_string(balance(kind, "", d));
    for (const char* cash : {"1000100", "1000200"}) out += " " + std::to_string(balance("cash", cash, d));
    out += " " + std::to_string(balance("reads", "", d)) + "\n";
  }
  return out;
}

// The model's table; only the transactions after the date are read (plus
// the fetch that finds where they end and the one that puts the file back).
std::string ModelAsOfDays(const Register& reg, const std::string& bank, int step) {
  return AsOfDays(reg, step, [&](const std::string& kind, const std::string& cash, const tsDate& d) {
    if (kind != "reads") return reg.AsOf(kind, bank, cash, d.Ymd());
    return 2LL + std::count_if(reg.txs.begin(), reg.txs.end(),
                             [&](const baltest::Tx& t) { return t.bank == bank && t.date > d.Ymd(); });
  });
}

// The accumulators' table over `bkt` (the register or a copy of it).
std::string FileAsOfDays(const BalanceCompany& c, const tsioDataFile& bkt, const std::string& bank, int step) {
  return AsOfDays(c.reg, step, [&](const std::string& kind, const std::string& cash, const tsDate& d) -> long long {
    if (kind != "reads") return Cents(AsOf(kind, bank, cash, d, *c.co.bkm, bkt));
    bkRegisterBalanceAsOfDateAccumulator acc(tsAlpha(bank), d, *c.co.bkm, bkt);
    (void)acc.accumulate();
    return acc.TransactionReads();
  });
}

// Every computation of the balances of `bank` (and its cash account `cash`)
// on `d`, by name: the four as-of ones, and the running ones of register
// line `l` and cash detail `cl` by their keys, and of the lines where the
// caller stands.
using Computations = std::vector<std::pair<std::string, std::function<tsCurrency()>>>;
Computations AllOf(const tsioDataFile& m, const tsioDataFile& t, const std::string& bank, const std::string& cash,
                   const tsDate& d, const baltest::Tx& l, const baltest::Cash& cl) {
  Computations out = {
      {"running", [&] { return bkRunningBalanceAccumulator(m, t).accumulate(); }},
      {"cash running", [&] { return bkCashRunningBalanceAccumulator(m, t).accumulate(); }},
      {"running by key",
       [&, bank, l] { return bkRunningBalanceAccumulator(m, t).accumulate(tsAlpha(bank), l.run, l.seq); }},
      {"cash running by key",
       [&, bank, cl] {
         return bkCashRunningBalanceAccumulator(m, t).accumulate(tsAlpha(bank), cl.trun, cl.tseq, cl.run, cl.seq);
       }},
  };
  for (const std::string kind : {"register", "bank", "reconciled", "cash"}) {
    out.emplace_back(kind, [&, kind, bank, cash, d] { return AsOf(kind, bank, cash, d, m, t); });
  }
  return out;
}

// Each computation in turn: "<name>: <balance or failure>", then the log
// lines it wrote, and whether a file position moved.
std::string RunEach(const Computations& computations, baltest::LogReader& log,
                    const std::function<baltest::Positions()>& positions) {
  std::string out;
  for (const auto& [name, run] : computations) {
    const baltest::Positions here = positions();
    const tsCurrency got = run();
    out += name + ": " + (bkIsBalanceFailure(got) ? "failure" : std::to_string(Cents(got)));
    for (const auto& line : log.NewFailures()) out += " | " + line;
    out += positions() == here ? "\n" : " (a file position moved)\n";
  }
  return out;
}

// Every as-of balance of every bank, dates before the first transaction,
// on each day between and after the last, to the cent. A failed read at
// each fetch, in turn, of every computation of B2: the failure amount and
// exactly one log line; a fault armed past a
// computation's last fetch leaves it right and silent; the caller's files
// stay where they were (unless a by-key form succeeds: it stands them on
// its line). Unknown banks, cash accounts and lines likewise.
TEST(Balances, EqualTheModelAndEveryFailureGivesTheFailureAmountAndOneLineLeavingTheFilesAlone) {
  BalanceCompany c(80, 10, 2);
  baltest::LogReader log(c.co.fm.Folder());
  const tsioDataFile& m = *c.co.bkm;
  const tsioDataFile& t = *c.co.bkt;
  const baltest::Positions here = c.Now();
  for (const auto& [bank, info] : c.reg.banks) {
    EXPECT_EQ(FileAsOfDays(c, t, bank, 1), ModelAsOfDays(c.reg, bank, 1)) << bank;
  }
  // A cash account given formatted is looked up unformatted.
  EXPECT_EQ(Cents(AsOf("cash", "B2", "1000-200", c.d, m, t)), c.reg.AsOf("cash", "B2", "1000200", c.d.Ymd()));
  EXPECT_TRUE(log.NewFailures().empty());
  EXPECT_TRUE(c.Now() == here) << "a file position moved";
  const std::string io = ccIOStatusStr(tsioStatus::kIOError);
  for (const auto& [name, run] : AllOf(m, t, "B2", "1000100", c.d, c.key_line.first, c.key_cash_line.first)) {
    SCOPED_TRACE(name);
    const bool by_key = name.find("by key") != std::string::npos;
    const bool running = name.find("running") != std::string::npos, cash = name.find("cash") != std::string::npos;
    const long long expected = !running ? c.reg.AsOf(name, "B2", "1000100", c.d.Ymd())
                               : cash   ? (by_key ? c.key_cash_line : c.cash_line).second
                                        : (by_key ? c.key_line : c.line).second;
    const int failed = baltest::ForEveryFetchFault(run, [&](const tsCurrency& r, const std::string& step) {
      SCOPED_TRACE(step);
      const auto lines = log.NewFailures();
      EXPECT_TRUE(c.Now() == here || (by_key && !bkIsBalanceFailure(r))) << "a file position moved";
      if (!bkIsBalanceFailure(r)) {
        EXPECT_EQ(Cents(r), expected);
        EXPECT_TRUE(lines.empty());
        c.Stand();
        return;
      }
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_TRUE(lines[0] == "AFF FAIL: Read Error " + io || lines[0] == "Helper function failed" ||
                  (lines[0].rfind("AFF FAIL: B2, ", 0) == 0 && lines[0].find(io) != std::string::npos))
          << lines[0];
    });
    EXPECT_GE(failed, 6);
  }
  const baltest::Tx no_line{"NOPE", 99, 99, 1, 0, 0, 0, 0, 0, 0, 0, 0};
  const baltest::Cash no_cash{"NOPE", "99-99", 99, 99, 1, 1, 0, 0};
  Computations unknown = AllOf(m, t, "NOPE", "99-99", c.d, no_line, no_cash);
  unknown.erase(unknown.begin(), unknown.begin() + 2);  // the caller stands on known lines
  unknown.emplace_back("cash of B2", [&] { return AsOf("cash", "B2", "99-99", c.d, m, t); });
  const std::string nf = ccIOStatusStr(tsioStatus::kNotFound);
  EXPECT_EQ(RunEach(unknown, log, [&] { return c.Now(); }),
            "running by key: failure | Helper function failed\n"
            "cash running by key: failure | Helper function failed\n"
            "register: failure | AFF FAIL: NOPE, " + nf + "\nbank: failure | AFF FAIL: NOPE, " + nf +
            "\nreconciled: failure | AFF FAIL: NOPE, " + nf + "\ncash: failure | AFF FAIL: NOPE, 9999, " + nf +
            "\ncash of B2: failure | AFF FAIL: B2, 9999, " + nf + "\n");
}

// A company whose register tables are damaged on disk: every computation
// (the caller holding the keys of lines it cannot read) gives the failure
// amount and one line (the by-key forms: that the line was not found).
TEST(Balances, ADamagedRegisterGivesTheFailureAmountAndOneLine) {
  bktest::TempDir dir;
  const std::string folder = dir.Sub("company");
  Register reg;
  {
    tsioFileManager fm(folder);
    tsioDataFile *bkm = nullptr, *bkt = nullptr;
    ASSERT_EQ(fm.CreateCompany(), tsioStatus::kSuccess);
    for (auto [spec, file] : {std::pair{&BKMFileSpec, &bkm}, {&BKTFileSpec, &bkt}}) {
      ASSERT_EQ(fm.Create(*spec), tsioStatus::kSuccess);
      ASSERT_EQ(fm.Open(*spec, file), tsioStatus::kSuccess);
    }
    std::mt19937 rng(3);
    reg.Generate(rng, {"B1", "B2"}, 40, 5);
    reg.Write(*bkm, *bkt);
  }  // the last connection closes: everything is in the database file
  ASSERT_GE(bktest::DamageTables(folder + "/company.db", {"f_BKT_1_r1", "f_BKT_1_r5"}), 4u);
  tsioFileManager fm(folder);
  tsioDataFile *bkm = nullptr, *bkt = nullptr;
  ASSERT_EQ(fm.Open(BKMFileSpec, &bkm), tsioStatus::kSuccess);
  ASSERT_EQ(fm.Open(BKTFileSpec, &bkt), tsioStatus::kSuccess);
  baltest::LogReader log(folder);
  const baltest::Tx& l = reg.txs[0];
  const baltest::Cash& cl = reg.cash[0];
  Transaction tran(*bkt, "", 0);
  ASSERT_TRUE(bkdetailtest::Set(tran.m_Record, l.KeyText()));
  ASSERT_EQ(tran.SetBuffer(), tsioStatus::kSuccess);
  CashDetail cash(*bkt, "", 0);
  ASSERT_TRUE(bkdetailtest::Set(cash.m_Record, cl.KeyText()));
  ASSERT_EQ(cash.SetBuffer(), tsioStatus::kSuccess);
  const std::string damaged = ": failure | AFF FAIL: Read Error " + ccIOStatusStr(tsioStatus::kDamaged) + "\n";
  EXPECT_EQ(RunEach(AllOf(*bkm, *bkt, "B1", "1000100", tsDate::FromYmd(20260302), l, cl), log,
                    [&] { return baltest::PositionsOf({{bkm, 1}, {bkt, 1}, {bkt, 5}}); }),
            "running" + damaged + "cash running" + damaged +
                "running by key: failure | Helper function failed\n"
                "cash running by key: failure | Helper function failed\nregister" + damaged + "bank" + damaged +
                "reconciled" + damaged + "cash" + damaged);
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
  work.carried.clear();  // the copy numbers its keys its own way
  std::vector<tsioRecordDef> records;
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
  BalanceCompany c(50, 8, 0);
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
    CashDetail d(*c.co.bkt, "", 0);
    auto copy = [&](auto& cursor) {
      cursor.AttachRollbackStack(&unit);
      for (auto st = cursor.FetchFirst(false); st == tsioStatus::kSuccess; st = cursor.FetchNext(false)) {
        ASSERT_EQ(cursor.CopyRecord(*wrk), tsioStatus::kSuccess);
      }
    };
    copy(t);
    copy(d);
    ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
  }
  // The indexes the balances ask for (record type, asked), on the work file
  // and on the real one.
  std::string indexes;
  for (auto [type, asked] : {std::pair{1, 5}, {1, 12}, {1, 2}, {1, 13}, {5, 15}, {1, 7}}) {
    indexes += std::to_string(bkBalanceIndex(*wrk, short(type), short(asked))) + "/" +
               std::to_string(bkBalanceIndex(*c.co.bkt, short(type), short(asked))) + " ";
  }
  EXPECT_EQ(indexes, "4/5 1/12 3/2 5/13 2/15 0/7 ");
  // The translated register order walks every bank's register in order,
  // and every as-of balance on the copy is the one on the file.
  for (const auto& [bank, info] : c.reg.banks) {
    std::vector<std::pair<long long, long long>> want, got;
    for (const auto& [tx, balance] : c.reg.Running<baltest::Tx>(bank)) want.emplace_back(tx.seq, balance);
    Transaction w(*wrk, bkRunningBalanceAccumulator::m_sTransactionColumns, bkBalanceIndex(*wrk, 1, 5));
    w.m_Record.SetBankAccount(tsAlpha(bank));
    bkRunningBalanceAccumulator running(*c.co.bkm, *wrk);
    for (auto st = w.FetchGE(false); st == tsioStatus::kSuccess && w.m_Record.GetBankAccount() == bank;
         st = w.FetchNext(false)) {
      got.emplace_back(w.m_Record.GetSequence().ToLongLong(), Cents(running.accumulate()));
    }
    EXPECT_EQ(got, want) << bank;
    EXPECT_EQ(FileAsOfDays(c, *wrk, bank, 3), ModelAsOfDays(c.reg, bank, 3)) << bank;
  }
}

}  // namespace
