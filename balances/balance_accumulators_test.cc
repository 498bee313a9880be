// Balances over one company holding random registers, against the model's
// sums: every as-of balance on every day, the running balance of every
// register line and cash detail at one fetch a line (fresh starts for an
// earlier line or another account, nothing built on a failure, copies that
// own what they hold), and a work-file copy with its keys numbered
// differently. A failed read at each fetch of every computation, and unknown
// accounts and lines, give the failure amount and one log line with every
// file position kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <tuple>

#include "accounts/bank_account.h"
#include "balances/balance_accumulators.h"
#include "balances/balance_as_of.h"
#include "balances/balance_test_support.h"
#include "deposits/cash_detail.h"
#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/io/dictionary.h"
#include "framework/io/rollback_stack.h"
#include "ledger/gl_cash_account_balance.h"
#include "transactions/transaction.h"

namespace {

using baltest::Cents;
using baltest::DateText;
using baltest::MoneyText;

// One transaction as the test knows it (amounts in cents, dates yyyymmdd).
struct Tx {
  std::string bank;
  long long run, seq;
  int type, date;
  long long check, sub, add;
  int recond, recdt;
  long long recamt;
  int stmtdt;
  long long Amount() const { return add - sub; }
  auto Key() const { return std::make_tuple(date, check, sub, run, seq); }  // register order
  std::string KeyText() const {
    return "TBNKACC=" + bank + ";TRUN=" + std::to_string(run) + ";TSEQ=" + std::to_string(seq);
  }
};

struct Cash {
  std::string bank, cash;
  long long trun, tseq, run, seq;
  int accdt;
  long long amount;
  long long Amount() const { return amount; }
  auto Key() const { return std::make_tuple(accdt, trun, tseq, run, seq); }
  std::string KeyText() const {
    return "CDBNKAC=" + bank + ";CDCSHAC=" + cash + ";CDTRUN=" + std::to_string(trun) + ";CDTSEQ=" +
           std::to_string(tseq) + ";CDRUN=" + std::to_string(run) + ";CDSEQ=" + std::to_string(seq);
  }
};

struct Bank {
  long long opening_register = 0, opening_bank = 0, opening_reconciled = 0;
  int last_reconciled = 0;  // BRECDT, 0 = empty
};

// A random register over `banks`, `per_bank` transactions each over `days`
// days from 2026-03-01 (so many on one day), with checks (repeated numbers
// too), deposits, withdrawals and adjustments, cleared and reconciled ones
// with statement dates, and (unless `cash_lines` is false) cash details on
// two cash accounts each. The last bank is reconciled without a date.
struct Register {
  std::map<std::string, Bank> banks;
  std::vector<Tx> txs;
  std::vector<Cash> cash;
  std::map<std::pair<std::string, std::string>, long long> cash_opening;
  int first = 20260301, last = 20260301;

  static int Day(int offset) { return (tsDate::FromYmd(20260301) + offset).Ymd(); }

  void Generate(std::mt19937& rng, const std::vector<std::string>& ids, int per_bank, int days,
                bool cash_lines = true) {
    auto below = [&rng](long long n) { return static_cast<long long>(rng() % static_cast<unsigned long>(n)); };
    for (const auto& id : ids) {
      banks[id] = {below(500000), below(500000), below(500000), id == ids.back() ? 0 : Day(days * 2 / 3)};
      for (const char* c : {"1000100", "1000200"}) cash_opening[{id, c}] = below(90000);
      for (int i = 0; i < per_bank; ++i) {
        Tx t{id, 1 + below(7), static_cast<long long>(txs.size()) + 1, 1 + static_cast<int>(below(4)),
             Day(static_cast<int>(below(days))), 0, 0, 0, 0, 0, 0, 0};
        t.check = t.type == 1 ? 100 + below(20) : 0;
        const long long amount = 1 + below(200000);
        t.add = t.type == 2 || (t.type == 4 && below(2)) ? amount : 0;
        t.sub = t.add ? 0 : amount;
        t.recond = 1 + static_cast<int>(below(3));
        t.recdt = t.recond == 1 ? 0 : (tsDate::FromYmd(t.date) + static_cast<int>(below(10))).Ymd();
        t.recamt = t.recond == 1 ? 0 : t.Amount();
        t.stmtdt = t.recond == 3 ? (tsDate::FromYmd(t.recdt) + static_cast<int>(below(5))).Ymd() : 0;
        txs.push_back(t);
        first = std::min(first, t.date);
        last = std::max({last, t.date, t.recdt, t.stmtdt});
        for (long long l = 1, lines = cash_lines ? below(3) : 0; l <= lines; ++l) {
          cash.push_back({id, below(2) ? "1000100" : "1000200", t.run, t.seq, 1, l, t.date, below(40000) - 20000});
        }
      }
    }
  }

  // Writes the register and the stored totals (which hold every row), each
  // record from its columns' text; given `from`, only the lines of the banks
  // from `from` on (a copy of theirs).
  void Write(const tsioDataFile& bkm, const tsioDataFile& bkt, const std::string& from = "") const {
    tclRollbackStack unit;
    auto put = [&unit](auto&& cursor, const std::string& text) {
      cursor.AttachRollbackStack(&unit);
      ASSERT_TRUE(bkdetailtest::Set(cursor.m_Record, text)) << text;
      ASSERT_EQ(cursor.Insert(), tsioStatus::kSuccess) << text;
    };
    auto n = [](long long v) { return std::to_string(v); };
    for (const Tx& x : txs) {
      if (x.bank < from) continue;
      put(Transaction(bkt, "", 0), x.KeyText() + ";TRANTYP=" + n(x.type) + ";TTRANDT=" + DateText(x.date) +
                                       ";TACTGDT=" + DateText(x.date) + ";TCHECK=" + n(x.check) +
                                       ";TSUBTR=" + MoneyText(x.sub) + ";TADD=" + MoneyText(x.add) +
                                       ";TRECOND=" + n(x.recond) + ";TRECDT=" + DateText(x.recdt) +
                                       ";TRECAMT=" + MoneyText(x.recamt) + ";TSTMTDT=" + DateText(x.stmtdt));
    }
    for (const Cash& x : cash) {
      if (x.bank < from) continue;
      put(CashDetail(bkt, "", 0), x.KeyText() + ";CDACCDT=" + DateText(x.accdt) + ";CDAMT=" + MoneyText(x.amount));
    }
    for (const auto& [id, bank] : from.empty() ? banks : std::map<std::string, Bank>()) {
      put(BankAccount(bkm, "", 0), "BANKACC=" + id + ";BRGBLNC=" + MoneyText(AsOf("register", id, "", 99991231)) +
                                       ";BNKBLNC=" + MoneyText(AsOf("bank", id, "", 99991231)) +
                                       ";BRECBAL=" + MoneyText(AsOf("reconciled", id, "", 99991231)) +
                                       ";BRECDT=" + DateText(bank.last_reconciled));
    }
    for (const auto& [key, opening] : from.empty() ? cash_opening : decltype(cash_opening)()) {
      put(GLCashAccountBalance(bkm, "", 0), "CABNKAC=" + key.first + ";CACSHAC=" + key.second +
                                                ";CAAMT=" + MoneyText(AsOf("cash", key.first, key.second, 99991231)));
    }
    ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
  }

  // The balance of `kind` (register, bank, reconciled or cash) of `bank` (and
  // cash account) at the end of `date`, summed forwards from the opening.
  long long AsOf(const std::string& kind, const std::string& bank, const std::string& cash_account, int date) const {
    const Bank& b = banks.at(bank);
    if (kind == "cash") {
      long long sum = cash_opening.at({bank, cash_account});
      for (const Cash& c : cash) sum += c.bank == bank && c.cash == cash_account && c.accdt <= date ? c.amount : 0;
      return sum;
    }
    const int limit = b.last_reconciled ? std::min(date, b.last_reconciled) : date;
    long long sum = kind == "register" ? b.opening_register : kind == "bank" ? b.opening_bank : b.opening_reconciled;
    for (const Tx& t : txs) {
      if (t.bank != bank) continue;
      if (kind == "register" && t.date <= date) sum += t.Amount();
      if (kind == "bank" && t.recdt != 0 && t.recdt <= date) sum += t.recamt;
      if (kind == "reconciled" && t.recond == 3 && t.stmtdt <= limit) sum += t.Amount();
    }
    return sum;
  }

  // The lines of `bank` (and of its cash account, for cash details) in order,
  // each with its running balance.
  template <typename Row>
  std::vector<std::pair<Row, long long>> Running(const std::string& bank, const std::string& cash_account = "") const {
    std::vector<Row> rows;
    if constexpr (std::is_same_v<Row, Tx>) {
      std::copy_if(txs.begin(), txs.end(), std::back_inserter(rows), [&](const Tx& t) { return t.bank == bank; });
    } else {
      std::copy_if(cash.begin(), cash.end(), std::back_inserter(rows),
                   [&](const Cash& c) { return c.bank == bank && c.cash == cash_account; });
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.Key() < b.Key(); });
    long long sum = cash_account.empty() ? banks.at(bank).opening_register : cash_opening.at({bank, cash_account});
    std::vector<std::pair<Row, long long>> out;
    for (const Row& r : rows) out.emplace_back(r, sum += r.Amount());
    return out;
  }
};

template <typename Row>
using Lines = std::vector<std::pair<Row, long long>>;

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
    TSGetApp()->SetCompanyFolder(co_->fm.Folder());
  }
  static void TearDownTestSuite() {
    TSGetApp()->SetCompanyFolder("");
    reg_.reset();
    co_.reset();
  }
  void SetUp() override { (void)NewFailures(); }

  // The balances' failure lines ("AFF FAIL ..." and "Helper function
  // failed") the company's log (bkreg.log) gained since the last call.
  static std::vector<std::string> NewFailures() {
    std::ifstream in(x_log_path());
    std::vector<std::string> out;
    size_t n = 0;
    for (std::string line; std::getline(in, line); ++n) {
      const size_t at = line.find("level=0 ");
      line = line.substr(at == std::string::npos ? 0 : at + 8);
      if (n >= seen_ && (line.rfind("AFF FAIL", 0) == 0 || line == "Helper function failed")) out.push_back(line);
    }
    seen_ = n;
    return out;
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
      const auto later = [&](const Tx& t) { return t.bank == bank && t.date > d.Ymd(); };
      got += " " + std::to_string(acc.TransactionReads()) + "\n";
      want += " " + std::to_string(2 + std::count_if(reg_->txs.begin(), reg_->txs.end(), later)) + "\n";
    }
    EXPECT_EQ(got, want) << bank;
  }

  // The caller stands on line `from` of `lines` (a register line or a cash
  // detail), and on each line up to `to` (excluded) in turn when given, and
  // asks `acc`: "<i>: <balance>" a line, then " (<fetches>)" of the
  // company's files and the accumulator's own handle when `counted`; with
  // its `nth` fetch failing `times` times when `nth` is given. `Model`
  // answers the same from the model (with `fetches` a line, when given).
  template <typename Acc, typename Row>
  static std::string Ask(Acc& acc, const Lines<Row>& lines, size_t from, size_t to = 0, bool counted = false,
                         int nth = 0, int times = 1) {
    constexpr bool kTx = std::is_same_v<Row, Tx>;
    std::string out;
    for (size_t i = from; i < std::max(to, from + 1); ++i) {
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
      out += std::to_string(i) + ": " + said + (counted ? " (" + std::to_string(fetches() - before) + ")" : "") +
             "\n";
    }
    return out;
  }
  template <typename Row>
  static std::string Model(const Lines<Row>& lines, size_t from, size_t to = 0, int fetches = -1) {
    std::string out;
    for (size_t i = from; i < std::max(to, from + 1); ++i) {
      out += std::to_string(i) + ": " + std::to_string(lines[i].second) +
             (fetches >= 0 ? " (" + std::to_string(fetches) + ")" : "") + "\n";
    }
    return out;
  }

  static inline std::unique_ptr<bktest::BankCompany> co_;
  static inline std::unique_ptr<Register> reg_;
  static inline size_t seen_ = 0;
};

// Every computation of the balances of `bank` (and its cash account `cash`)
// on `d`, by name: the running ones of the lines where the caller stands and
// of register line `l` and cash detail `cl` by their keys, and the four
// as-of ones.
using Computations = std::vector<std::pair<std::string, std::function<tsCurrency()>>>;
Computations AllOf(const tsioDataFile& m, const tsioDataFile& t, const std::string& bank, const std::string& cash,
                   const tsDate& d, const Tx& l, const Cash& cl) {
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
  const tsioDataFile& m = *co_->bkm;
  const tsioDataFile& t = *co_->bkt;
  const tsDate d = tsDate::FromYmd(reg_->first) + 8;
  const auto after = [&](const auto& lines) {
    const auto later = [&](const auto& l) { return std::get<0>(l.first.Key()) > d.Ymd(); };
    return std::find_if(lines.begin(), lines.end(), later);
  };
  const Lines<Tx> lines = reg_->Running<Tx>("B2");
  const Lines<Cash> cash_lines = reg_->Running<Cash>("B2", "1000100");
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
  // Whether each record type of each file is positioned, and its key values,
  // as the handles' buffers hold them.
  const auto now = [&] {
    std::vector<std::pair<bool, std::vector<tsCell>>> out;
    for (const auto& [file, type] : {std::pair{&m, 1}, {&m, 3}, {&t, 1}, {&t, 5}}) {
      const tsioRecordState* s = file->State(short(type));
      out.emplace_back(s->positioned, std::vector<tsCell>());
      for (const auto& c : s->def->keys[0].columns) out.back().second.push_back(s->buffer[s->def->FieldIndex(c)]);
    }
    return out;
  };
  stand();
  const auto here = now();
  for (const char* bank : {"B2", "B3"}) ExpectAsOfDays(t, bank);
  // A cash account given formatted is looked up unformatted.
  EXPECT_EQ(Cents(AsOf("cash", "B2", "1000-200", d, m, t)), reg_->AsOf("cash", "B2", "1000200", d.Ymd()));
  EXPECT_TRUE(NewFailures().empty());
  EXPECT_TRUE(now() == here) << "a file position moved";
  const std::string io = ccIOStatusStr(tsioStatus::kIOError);
  for (const auto& [name, run] : AllOf(m, t, "B2", "1000100", d, line[1].first, cash_line[1].first)) {
    SCOPED_TRACE(name);
    const bool by_key = name.find("by key") != std::string::npos;
    const bool running = name.find("running") != std::string::npos, is_cash = name.find("cash") != std::string::npos;
    const long long expected = !running ? reg_->AsOf(name, "B2", "1000100", d.Ymd())
                               : is_cash ? cash_line[by_key].second
                                         : line[by_key].second;
    // Its n-th fetch failing, for n = 1, 2, ... until a run succeeds, first
    // once, then every fetch from the n-th on.
    int failed = 0;
    for (const int times : {1, 1000}) {
      for (int n = 1; n < 2000; ++n, ++failed) {
        SCOPED_TRACE("fetch " + std::to_string(n) + " failing " + std::to_string(times) + " times");
        tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError, n, times);
        const tsCurrency r = run();
        tsioFaults::Clear();
        const auto lines = NewFailures();
        EXPECT_TRUE(now() == here || (by_key && !bkIsBalanceFailure(r))) << "a file position moved";
        if (!bkIsBalanceFailure(r)) {
          EXPECT_EQ(Cents(r), expected);
          EXPECT_TRUE(lines.empty());
          stand();
          break;
        }
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(lines[0] == "AFF FAIL: Read Error " + io || lines[0] == "Helper function failed" ||
                    (lines[0].rfind("AFF FAIL: B2, ", 0) == 0 && lines[0].find(io) != std::string::npos))
            << lines[0];
      }
    }
    EXPECT_GE(failed, 6);
  }
  // Unknown accounts and lines: "<name>: <the failure amount> | <log line>"
  // each, the caller's files where they were.
  const Tx no_line{"NOPE", 99, 99, 1, 0, 0, 0, 0, 0, 0, 0, 0};
  const Cash no_cash{"NOPE", "99-99", 99, 99, 1, 1, 0, 0};
  Computations unknown = AllOf(m, t, "NOPE", "99-99", d, no_line, no_cash);
  unknown.erase(unknown.begin(), unknown.begin() + 2);  // the caller stands on known lines
  unknown.emplace_back("cash of B2", [&] { return AsOf("cash", "B2", "99-99", d, m, t); });
  std::string said;
  for (const auto& [name, run] : unknown) {
    said += name + ": " + run().Format();
    for (const auto& l : NewFailures()) said += " | " + l;
    said += now() == here ? "\n" : " (a file position moved)\n";
  }
  const std::string nf = ccIOStatusStr(tsioStatus::kNotFound), f = ": -9999999999999.99 | ";
  EXPECT_EQ(said, "running by key" + f + "Helper function failed\ncash running by key" + f +
                  "Helper function failed\nregister" + f + "AFF FAIL: NOPE, " + nf + "\nbank" + f + "AFF FAIL: NOPE, " +
                  nf + "\nreconciled" + f + "AFF FAIL: NOPE, " + nf + "\ncash" + f + "AFF FAIL: NOPE, 9999, " + nf +
                  "\ncash of B2" + f + "AFF FAIL: B2, 9999, " + nf + "\n");
}

// The whole of B1's register line by line, one fetch each (none for a line
// asked again); jumps back, to another account and on, each a fresh start;
// the by-key form standing both files on the line; a failed read never
// built on; copies and assignments that outlive their original. Every cash
// account of B2 and B3 likewise, one fetch a line after the first.
TEST_F(Balances, RunningFollowsTheModelLineByLineThroughJumpsFailuresAndCopies) {
  const Lines<Tx> b1 = reg_->Running<Tx>("B1");
  const Lines<Tx> b2 = reg_->Running<Tx>("B2");
  auto acc = std::make_unique<bkRunningBalanceAccumulator>(*co_->bkm, *co_->bkt);
  // The first line starts from the balance as of the day before it: its
  // walk reads the register once.
  std::string got = Ask(*acc, b1, 0, 0, true), want = Model(b1, 0);
  EXPECT_LE(std::stoull(got.substr(got.find('(') + 1)), b1.size() + 10) << got;
  got = got.substr(0, got.find(" (")) + "\n";
  // Every line after it at one fetch; a line asked again (4999), at none.
  got += Ask(*acc, b1, 1, 5000, true);
  got += Ask(*acc, b1, 4999, 0, true);
  got += Ask(*acc, b1, 5000, b1.size(), true);
  want += Model(b1, 1, 5000, 1) + Model(b1, 4999, 0, 0) + Model(b1, 5000, b1.size(), 1);
  EXPECT_EQ(got, want);
  got = want = "";
  for (auto [lines, i] : std::vector<std::pair<const Lines<Tx>*, size_t>>{
           {&b1, 300}, {&b1, 309}, {&b1, 12}, {&b1, 0}, {&b2, 25}, {&b1, 41}, {&b2, 0}, {&b1, 5000}}) {
    got += Ask(*acc, *lines, i);
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
  (void)Ask(*acc, b1, 90, 100);
  const std::string read_error = "AFF FAIL: Read Error " + ccIOStatusStr(tsioStatus::kIOError);
  for (const auto& [at, nth, times] : {std::tuple{size_t(100), 1, 1}, {size_t(150), 2, 1}, {size_t(200), 1, 1000}}) {
    got = Ask(*acc, b1, at, 0, false, nth, times);
    for (const auto& line : NewFailures()) got += line + "\n";
    const size_t from = times == 1 ? at + 1 : at;
    EXPECT_EQ(got + Ask(*acc, b1, from, at + 20),
              std::to_string(at) + ": failure\n" + read_error + "\n" + Model(b1, from, at + 20));
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
    got += Ask(copy, b1, i, 0, true) + Ask(assigned, b1, i);
    want += Model(b1, i, 0, 1) + Model(b1, i);
  }
  {
    bkRunningBalanceAccumulator inner(copy);
    inner.setTransactionFile(*co_->history);  // the history has no lines: nothing to find there
    got += Ask(copy, b1, 230);
    copy = inner;
  }
  // Assigned the history, the copy reads the history (not the file it read
  // before), which stands on no line: a read error.
  got += Ask(copy, b1, 231);
  for (const auto& line : NewFailures()) got += line + "\n";
  got += Ask(assigned, b1, 231);
  copy.setTransactionFile(*co_->bkt);
  got += Ask(copy, b1, 231);
  const std::string no_line = "AFF FAIL: Read Error " + ccIOStatusStr(tsioStatus::kNoCurrentRecord) + "\n";
  EXPECT_EQ(got, want + Model(b1, 230) + "231: failure\n" + no_line + Model(b1, 231) + Model(b1, 231));

  // Cash details of each cash account, ending on an earlier line by key (a
  // fresh start).
  bkCashRunningBalanceAccumulator cash_acc(*co_->bkm, *co_->bkt);
  for (const char* bank : {"B2", "B3"}) {
    for (const char* cash : {"1000100", "1000200"}) {
      const auto lines = reg_->Running<Cash>(bank, cash);
      ASSERT_GT(lines.size(), 3u);
      // The last line first (after another cash account's early line, a
      // fresh start), then every line, one fetch each after the first.
      got = Ask(cash_acc, lines, lines.size() - 1);
      got += Ask(cash_acc, lines, 0);
      got += Ask(cash_acc, lines, 1, lines.size(), true);
      want = Model(lines, lines.size() - 1) + Model(lines, 0) + Model(lines, 1, lines.size(), 1);
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
  std::erase_if(work.records, [](const tsioRecordDef& r) { return r.record_type != 1 && r.record_type != 5; });
  for (tsioRecordDef& r : work.records) {
    if (r.record_type == 1) {
      r.keys = {r.keys[0],
                {1, {"TBNKACC", "TRECDT"}, false},
                {2, {"TBNKACC"}, false},
                {3, {"TBNKACC", "TSTMTDT"}, false},
                {4, {"TBNKACC", "TTRANDT", "TCHECK", "TSUBTR"}, false},
                {5, {"TBNKACC", "TACTGDT"}, false}};
    } else {
      r.keys = {r.keys[0], {1, {"CDBNKAC", "CDACCDT"}, false}, {2, {"CDBNKAC", "CDCSHAC", "CDACCDT"}, false}};
    }
  }
  tsioDictionary::Register(work);
}

TEST_F(Balances, AWorkFileCopyWithKeysNumberedDifferentlyWalksInTheExpectedOrder) {
  RegisterWorkFile();
  const tsioFileSpec spec("WRK", 1, kWorkDictionaryId);
  ASSERT_EQ(co_->fm.Create(spec), tsioStatus::kSuccess);
  tsioDataFile* wrk = nullptr;
  ASSERT_EQ(co_->fm.Open(spec, &wrk), tsioStatus::kSuccess);
  reg_->Write(*co_->bkm, *wrk, "B2");
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
    for (const auto& [tx, balance] : reg_->Running<Tx>(bank)) want.emplace_back(tx.seq, balance);
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
