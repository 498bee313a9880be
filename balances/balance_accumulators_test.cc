// Balances over one company holding random registers, against the model's
// sums: every as-of balance on every day, the running balance of every
// register line and cash detail at one fetch a line (fresh starts for an
// earlier line or another account, nothing built on a failure, copies that
// own what they hold), and a work-file copy with its keys numbered
// differently. A failed read at each fetch of every computation, and unknown
// accounts and lines, give the failure amount and one log line with every
// file position kept.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "balances/balance_accumulators.h"
#include "balances/balance_test_support.h"
#include "framework/io/dictionary.h"

namespace {

using baltest::Cents;
using baltest::Register;
template <typename Row>
using Lines = std::vector<std::pair<Row, long long>>;

TEST(BalanceFailureAmount, IsTheAgreedAmountAndDouble) {
  const double d = bkBalanceFailureAmount().ToDouble();
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  EXPECT_EQ(bits, 0xC2A2309CE53FFFFBull);
  EXPECT_EQ(bkBalanceFailureAmount().Format(), "-9999999999999.99");
  EXPECT_FALSE(bkIsBalanceFailure(tsCurrency(0)));
}

tsCurrency AsOf(const std::string& kind, const std::string& bank, const std::string& cash, const tsDate& d,
                const tsioDataFile& m, const tsioDataFile& t) {
  const tsAlpha b(bank);
  if (kind == "register") return bkRegisterBalanceAsOfDateAccumulator(b, d, m, t).accumulate();
  if (kind == "bank") return bkBankBalanceAsOfDateAccumulator(b, d, m, t).accumulate();
  if (kind == "reconciled") return bkLastReconciledBalanceAsOfDateAccumulator(b, d, m, t).accumulate();
  return bkCashAccountBalanceAsOfDateAccumulator(b, tsAlpha(cash), d, m, t).accumulate();
}

// One company for every test: B1 a register of 10,000 lines over 60 days
// without cash details, B2 and B3 100 lines each over 12 days with them.
class Balances : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    co_ = std::make_unique<bktest::BankCompany>();
    reg_ = std::make_unique<Register>();
    std::mt19937 rng(77);
    reg_->Generate(rng, {"B1"}, 10000, 60, false);
    reg_->Generate(rng, {"B2", "B3"}, 100, 12);
    reg_->Write(*co_->bkm, *co_->bkt);
  }
  static void TearDownTestSuite() {
    reg_.reset();
    co_.reset();
  }

  // A bank's as-of balances over `bkt` (the register or a copy of it)
  // against the model's, a line a day from three days before the register's
  // first date to three after its last: "<date> <register> <bank>
  // <reconciled> <cash 1000100> <cash 1000200> <register reads>". Only the
  // transactions after the date are read (plus the fetch that finds where
  // they end and the one that puts the file back).
  static void ExpectAsOfDays(const tsioDataFile& bkt, const std::string& bank) {
    std::string got, want;
    for (tsDate d = tsDate::FromYmd(reg_->first) - 3; d <= tsDate::FromYmd(reg_->last) + 3; d += 1) {
      got += d.Format();
      want += d.Format();
      for (auto [kind, cash] : {std::pair{"register", ""}, {"bank", ""}, {"reconciled", ""}, {"cash", "1000100"},
                                {"cash", "1000200"}}) {
        got += " " + std::to_string(Cents(AsOf(kind, bank, cash, d, *co_->bkm, bkt)));
        want += " " + std::to_string(reg_->AsOf(kind, bank, cash, d.Ymd()));
      }
      bkRegisterBalanceAsOfDateAccumulator acc(tsAlpha(bank), d, *co_->bkm, bkt);
      (void)acc.accumulate();
      const auto later = [&](const baltest::Tx& t) { return t.bank == bank && t.date > d.Ymd(); };
      got += " " + std::to_string(acc.TransactionReads()) + "\n";
      want += " " + std::to_string(2 + std::count_if(reg_->txs.begin(), reg_->txs.end(), later)) + "\n";
    }
    EXPECT_EQ(got, want) << bank;
  }

  // The caller stands on line `i` of `lines` (a register line or a cash
  // detail) and asks `acc`: "<i>: <balance>", then " (<fetches>)" of the
  // company's files and the accumulator's own handle when `counted`; with
  // its `nth` fetch failing `times` times when `nth` is given. `Model`
  // answers the same from the model.
  template <typename Acc, typename Row>
  static std::string Ask(Acc& acc, const Lines<Row>& lines, size_t i, bool counted, int nth = 0, int times = 1) {
    constexpr bool kTx = std::is_same_v<Row, baltest::Tx>;
    std::conditional_t<kTx, Transaction, CashDetail> caller(*co_->bkt, "", 0);
    EXPECT_TRUE(bkdetailtest::Set(caller.m_Record, lines[i].first.KeyText()));
    EXPECT_EQ(caller.FetchEQ(false), tsioStatus::kSuccess);
    auto fetches = [&] {
      return co_->bkt->State(kTx ? 1 : 5)->fetches + co_->bkm->State(1)->fetches + acc.OwnFetches();
    };
    const uint64_t before = fetches();
    if (nth) tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError, nth, times);
    const tsCurrency balance = acc.accumulate();
    tsioFaults::Clear();
    const std::string said = bkIsBalanceFailure(balance) ? "failure" : std::to_string(Cents(balance));
    return std::to_string(i) + ": " + said + (counted ? " (" + std::to_string(fetches() - before) + ")" : "") + "\n";
  }
  template <typename Row>
  static std::string Model(const Lines<Row>& lines, size_t i, int fetches = -1) {
    return std::to_string(i) + ": " + std::to_string(lines[i].second) +
           (fetches >= 0 ? " (" + std::to_string(fetches) + ")" : "") + "\n";
  }

  static inline std::unique_ptr<bktest::BankCompany> co_;
  static inline std::unique_ptr<Register> reg_;
};

// Every computation of the balances of `bank` (and its cash account `cash`)
// on `d`, by name: the running ones of the lines where the caller stands and
// of register line `l` and cash detail `cl` by their keys, and the four
// as-of ones.
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

// Every as-of balance of B2 and B3 on every day, to the cent. A failed read
// at each fetch, in turn, of every computation of B2 on its ninth day: the
// failure amount and exactly one log line; a fault armed past a
// computation's last fetch leaves it right and silent; the caller's files
// (standing on B2, its GL cash balance on 1000100, its first register line
// and cash detail after the day) stay where they were, unless a by-key form
// succeeds (asked for the lines after those, it stands them on its line).
// Unknown banks, cash accounts and lines likewise.
TEST_F(Balances, EqualTheModelAndEveryFailureGivesTheFailureAmountAndOneLineLeavingTheFilesAlone) {
  baltest::LogReader log(co_->fm.Folder());
  const tsioDataFile& m = *co_->bkm;
  const tsioDataFile& t = *co_->bkt;
  for (const char* bank : {"B2", "B3"}) ExpectAsOfDays(t, bank);
  const tsDate d = tsDate::FromYmd(reg_->first) + 8;
  // A cash account given formatted is looked up unformatted.
  EXPECT_EQ(Cents(AsOf("cash", "B2", "1000-200", d, m, t)), reg_->AsOf("cash", "B2", "1000200", d.Ymd()));
  const auto after = [&](const auto& lines) {
    const auto later = [&](const auto& l) { return std::get<0>(l.first.Key()) > d.Ymd(); };
    return std::find_if(lines.begin(), lines.end(), later);
  };
  const Lines<baltest::Tx> lines = reg_->Running<baltest::Tx>("B2");
  const Lines<baltest::Cash> cash_lines = reg_->Running<baltest::Cash>("B2", "1000100");
  const auto line = after(lines);
  const auto cash_line = after(cash_lines);
  BankAccount bank(m, "", 0);
  GLCashAccountBalance cash_balance(m, "", 0);
  Transaction tran(t, "", 0);
  CashDetail cash(t, "", 0);
  const auto stand = [&] {
    EXPECT_TRUE(bkdetailtest::Set(bank.m_Record, "BANKACC=B2"));
    EXPECT_TRUE(bkdetailtest::Set(cash_balance.m_Record, "CABNKAC=B2;CACSHAC=1000100"));
    EXPECT_TRUE(bkdetailtest::Set(tran.m_Record, line->first.KeyText()));
    EXPECT_TRUE(bkdetailtest::Set(cash.m_Record, cash_line->first.KeyText()));
    for (auto st : {bank.FetchEQ(false), cash_balance.FetchEQ(false), tran.FetchEQ(false), cash.FetchEQ(false)}) {
      EXPECT_EQ(st, tsioStatus::kSuccess);
    }
  };
  const auto now = [&] { return baltest::PositionsOf({{&m, 1}, {&m, 3}, {&t, 1}, {&t, 5}}); };
  stand();
  const baltest::Positions here = now();
  EXPECT_TRUE(log.NewFailures().empty());
  EXPECT_TRUE(now() == here) << "a file position moved";
  const std::string io = ccIOStatusStr(tsioStatus::kIOError);
  for (const auto& [name, run] : AllOf(m, t, "B2", "1000100", d, line[1].first, cash_line[1].first)) {
    SCOPED_TRACE(name);
    const bool by_key = name.find("by key") != std::string::npos;
    const bool running = name.find("running") != std::string::npos, is_cash = name.find("cash") != std::string::npos;
    const long long expected = !running ? reg_->AsOf(name, "B2", "1000100", d.Ymd())
                               : is_cash ? cash_line[by_key].second
                                         : line[by_key].second;
    const int failed = baltest::ForEveryFetchFault(run, [&](const tsCurrency& r, const std::string& step) {
      SCOPED_TRACE(step);
      const auto lines = log.NewFailures();
      EXPECT_TRUE(now() == here || (by_key && !bkIsBalanceFailure(r))) << "a file position moved";
      if (!bkIsBalanceFailure(r)) {
        EXPECT_EQ(Cents(r), expected);
        EXPECT_TRUE(lines.empty());
        stand();
        return;
      }
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_TRUE(lines[0] == "AFF FAIL: Read Error " + io || lines[0] == "Helper function failed" ||
                  (lines[0].rfind("AFF FAIL: B2, ", 0) == 0 && lines[0].find(io) != std::string::npos))
          << lines[0];
    });
    EXPECT_GE(failed, 6);
  }
  // Unknown accounts and lines: "<name>: failure | <log line>" each, the
  // caller's files where they were.
  const baltest::Tx no_line{"NOPE", 99, 99, 1, 0, 0, 0, 0, 0, 0, 0, 0};
  const baltest::Cash no_cash{"NOPE", "99-99", 99, 99, 1, 1, 0, 0};
  Computations unknown = AllOf(m, t, "NOPE", "99-99", d, no_line, no_cash);
  unknown.erase(unknown.begin(), unknown.begin() + 2);  // the caller stands on known lines
  unknown.emplace_back("cash of B2", [&] { return AsOf("cash", "B2", "99-99", d, m, t); });
  std::string said;
  for (const auto& [name, run] : unknown) {
    said += name + ": " + (bkIsBalanceFailure(run()) ? "failure" : "a balance");
    for (const auto& l : log.NewFailures()) said += " | " + l;
    said += now() == here ? "\n" : " (a file position moved)\n";
  }
  const std::string nf = ccIOStatusStr(tsioStatus::kNotFound);
  EXPECT_EQ(said, "running by key: failure | Helper function failed\n"
                  "cash running by key: failure | Helper function failed\n"
                  "register: failure | AFF FAIL: NOPE, " + nf + "\nbank: failure | AFF FAIL: NOPE, " + nf +
                  "\nreconciled: failure | AFF FAIL: NOPE, " + nf + "\ncash: failure | AFF FAIL: NOPE, 9999, " + nf +
                  "\ncash of B2: failure | AFF FAIL: B2, 9999, " + nf + "\n");
}

// The whole of B1's register line by line, one fetch each (none for a line
// asked again); jumps back, to another account and on, each a fresh start;
// the by-key form standing both files on the line; a failed read never
// built on; copies and assignments that outlive their original. Every cash
// account of B2 and B3 likewise, one fetch a line after the first.
TEST_F(Balances, RunningFollowsTheModelLineByLineThroughJumpsFailuresAndCopies) {
  baltest::LogReader log(co_->fm.Folder());
  const Lines<baltest::Tx> b1 = reg_->Running<baltest::Tx>("B1");
  const Lines<baltest::Tx> b2 = reg_->Running<baltest::Tx>("B2");
  auto acc = std::make_unique<bkRunningBalanceAccumulator>(*co_->bkm, *co_->bkt);
  // The first line starts from the balance as of the day before it: its
  // walk reads the register once.
  std::string got = Ask(*acc, b1, 0, true), want = Model(b1, 0);
  EXPECT_LE(std::stoull(got.substr(got.find('(') + 1)), b1.size() + 10) << got;
  got = got.substr(0, got.find(" (")) + "\n";
  for (size_t i = 1; i < b1.size(); ++i) {
    got += Ask(*acc, b1, i, true);
    want += Model(b1, i, 1);
    if (i % 1000 == 7) {
      got += Ask(*acc, b1, i, true);
      want += Model(b1, i, 0);
    }
  }
  EXPECT_EQ(got, want);
  got = want = "";
  for (auto [lines, i] : std::vector<std::pair<const Lines<baltest::Tx>*, size_t>>{
           {&b1, 300}, {&b1, 309}, {&b1, 12}, {&b1, 0}, {&b2, 25}, {&b1, 41}, {&b2, 0}, {&b1, 5000}}) {
    got += Ask(*acc, *lines, i, false);
    want += Model(*lines, i);
  }
  EXPECT_EQ(got, want);
  const auto& l = b2[30].first;
  EXPECT_EQ(Cents(acc->accumulate(tsAlpha("B2"), tsDouble(l.run), tsDouble(l.seq))), b2[30].second);
  Transaction t(*co_->bkt, "", 0);
  BankAccount b(*co_->bkm, "", 0);
  ASSERT_EQ(t.Refresh(), tsioStatus::kSuccess);
  ASSERT_EQ(b.Refresh(), tsioStatus::kSuccess);
  EXPECT_EQ(b.m_Record.GetBankAccount().str() + " " + std::to_string(t.m_Record.GetSequence().ToLongLong()),
            "B2 " + std::to_string(l.seq));

  // The step to line 100 (its first fetch) fails, then the step to line 150
  // (its second), then every fetch for line 200; the lines after each, and
  // line 200 asked again, are right all the same.
  for (size_t i = 90; i < 100; ++i) (void)Ask(*acc, b1, i, false);
  const std::string read_error = "AFF FAIL: Read Error " + ccIOStatusStr(tsioStatus::kIOError);
  for (const auto& [at, nth, times] : {std::tuple{size_t(100), 1, 1}, {size_t(150), 2, 1}, {size_t(200), 1, 1000}}) {
    got = Ask(*acc, b1, at, false, nth, times);
    for (const auto& line : log.NewFailures()) got += line + "\n";
    want = std::to_string(at) + ": failure\n" + read_error + "\n";
    for (size_t i = times == 1 ? at + 1 : at; i < at + 20; ++i) {
      got += Ask(*acc, b1, i, false);
      want += Model(b1, i);
    }
    EXPECT_EQ(got, want);
  }

  // Copies and assignments each hold their own files and remembered line:
  // destroying one never leaves another with a dangling or shared reference
  // (run under the sanitizer build too). The copy builds on the remembered
  // line, from its own handle.
  bkRunningBalanceAccumulator copy(*acc);
  bkRunningBalanceAccumulator assigned(*co_->bkm, *co_->history);
  assigned = *acc;
  const bkRunningBalanceAccumulator& same = assigned;
  assigned = same;  // self-assignment on purpose (through a reference, which compilers do not flag)
  acc.reset();
  got = want = "";
  for (size_t i = 220; i < 230; ++i) {
    got += Ask(copy, b1, i, true) + Ask(assigned, b1, i, false);
    want += Model(b1, i, 1) + Model(b1, i);
  }
  {
    bkRunningBalanceAccumulator inner(copy);
    inner.setTransactionFile(*co_->history);  // the history has no lines: nothing to find there
    got += Ask(copy, b1, 230, false);
    copy = inner;
  }
  got += Ask(assigned, b1, 231, false);
  copy.setTransactionFile(*co_->bkt);
  got += Ask(copy, b1, 231, false);
  EXPECT_EQ(got, want + Model(b1, 230) + Model(b1, 231) + Model(b1, 231));

  // No line at all: the file stands on nothing.
  Transaction none(*co_->bkt, "", 0);
  none.Initialize();
  EXPECT_TRUE(bkIsBalanceFailure(copy.accumulate()));
  EXPECT_EQ(log.NewFailures(),
            std::vector<std::string>{"AFF FAIL: Read Error " + ccIOStatusStr(tsioStatus::kNoCurrentRecord)});

  // Cash details, ending on an earlier line by key (a fresh start).
  bkCashRunningBalanceAccumulator cash_acc(*co_->bkm, *co_->bkt);
  for (const char* bank : {"B2", "B3"}) {
    for (const char* cash : {"1000100", "1000200"}) {
      const auto lines = reg_->Running<baltest::Cash>(bank, cash);
      ASSERT_GT(lines.size(), 3u);
      got = Ask(cash_acc, lines, 0, false);
      want = Model(lines, 0);
      for (size_t i = 1; i < lines.size(); ++i) {
        got += Ask(cash_acc, lines, i, true);
        want += Model(lines, i, 1);
      }
      const auto& c = lines[1].first;
      got += std::to_string(Cents(cash_acc.accumulate(tsAlpha(bank), tsDouble(c.trun), tsDouble(c.tseq),
                                                      tsDouble(c.run), tsDouble(c.seq))));
      EXPECT_EQ(got, want + std::to_string(lines[1].second)) << bank << " " << cash;
    }
  }
}

// A work file holding a copy of B2's and B3's registers whose keys are
// numbered 1 to n in an order of their own, with a key that has only the
// bank account (it does not order a bank's transactions as any balance
// needs).
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

TEST_F(Balances, AWorkFileCopyWithKeysNumberedDifferentlyWalksInTheExpectedOrder) {
  RegisterWorkFile();
  const tsioFileSpec spec("WRK", 1, kWorkDictionaryId);
  ASSERT_EQ(co_->fm.Create(spec), tsioStatus::kSuccess);
  tsioDataFile* wrk = nullptr;
  ASSERT_EQ(co_->fm.Open(spec, &wrk), tsioStatus::kSuccess);
  ASSERT_GE(wrk->FileNum(), 401);
  ASSERT_LE(wrk->FileNum(), 600);
  {
    tclRollbackStack unit;
    Transaction t(*co_->bkt, "", 0);
    CashDetail d(*co_->bkt, "", 0);
    auto copy = [&](auto& cursor, const char* from) {
      cursor.AttachRollbackStack(&unit);
      ASSERT_TRUE(bkdetailtest::Set(cursor.m_Record, from));
      for (auto st = cursor.FetchGE(false); st == tsioStatus::kSuccess; st = cursor.FetchNext(false)) {
        ASSERT_EQ(cursor.CopyRecord(*wrk), tsioStatus::kSuccess);
      }
    };
    copy(t, "TBNKACC=B2");
    copy(d, "CDBNKAC=B2");
    ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
  }
  // The indexes the balances ask for (record type, asked), on the work file
  // and on the real one.
  std::string indexes;
  for (auto [type, asked] : {std::pair{1, 5}, {1, 12}, {1, 2}, {1, 13}, {5, 15}, {1, 7}}) {
    indexes += std::to_string(bkBalanceIndex(*wrk, short(type), short(asked))) + "/" +
               std::to_string(bkBalanceIndex(*co_->bkt, short(type), short(asked))) + " ";
  }
  EXPECT_EQ(indexes, "4/5 1/12 3/2 5/13 2/15 0/7 ");
  // The translated register order walks every bank's register in order,
  // and every as-of balance on the copy is the one on the file.
  for (const char* bank : {"B2", "B3"}) {
    std::vector<std::pair<long long, long long>> want, got;
    for (const auto& [tx, balance] : reg_->Running<baltest::Tx>(bank)) want.emplace_back(tx.seq, balance);
    Transaction w(*wrk, bkRunningBalanceAccumulator::m_sTransactionColumns, bkBalanceIndex(*wrk, 1, 5));
    w.m_Record.SetBankAccount(tsAlpha(bank));
    bkRunningBalanceAccumulator running(*co_->bkm, *wrk);
    for (auto st = w.FetchGE(false); st == tsioStatus::kSuccess && w.m_Record.GetBankAccount() == bank;
         st = w.FetchNext(false)) {
      got.emplace_back(w.m_Record.GetSequence().ToLongLong(), Cents(running.accumulate()));
    }
    EXPECT_EQ(got, want) << bank;
    ExpectAsOfDays(*wrk, bank);
  }
}

}  // namespace
