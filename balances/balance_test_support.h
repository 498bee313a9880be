// For the balance tests: random registers written to a company's files and
// kept beside them as plain rows, balances computed from scratch over those
// rows (the model), the log lines a computation wrote, the positions of the
// files, and one loop that fails every fetch of a computation in turn.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "accounts/bank_account.h"
#include "balances/balance_as_of.h"
#include "deposits/cash_detail.h"
#include "deposits/detail_transfer_test_support.h"
#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/io/faults.h"
#include "framework/io/rollback_stack.h"
#include "ledger/gl_cash_account_balance.h"
#include "records/record_test_support.h"
#include "transactions/transaction.h"

namespace baltest {

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

inline long long Cents(const tsCurrency& c) { return (tsDouble(c) * tsDouble(100)).ToLongLong(); }
// Cents as "-12.34"; a yyyymmdd date as its text ("" for 0).
inline std::string MoneyText(long long cents) {
  const long long a = cents < 0 ? -cents : cents;
  return (cents < 0 ? "-" : "") + std::to_string(a / 100) + (a % 100 < 10 ? ".0" : ".") + std::to_string(a % 100);
}
inline std::string DateText(int ymd) { return ymd ? tsDate::FromYmd(ymd).Format() : ""; }

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
  // record from its columns' text.
  void Write(const tsioDataFile& bkm, const tsioDataFile& bkt) const {
    tclRollbackStack unit;
    auto put = [&unit](auto&& cursor, const std::string& text) {
      cursor.AttachRollbackStack(&unit);
      ASSERT_TRUE(bkdetailtest::Set(cursor.m_Record, text)) << text;
      ASSERT_EQ(cursor.Insert(), tsioStatus::kSuccess) << text;
    };
    auto n = [](long long v) { return std::to_string(v); };
    for (const Tx& x : txs) {
      put(Transaction(bkt, "", 0), x.KeyText() + ";TRANTYP=" + n(x.type) + ";TTRANDT=" + DateText(x.date) +
                                       ";TACTGDT=" + DateText(x.date) + ";TCHECK=" + n(x.check) +
                                       ";TSUBTR=" + MoneyText(x.sub) + ";TADD=" + MoneyText(x.add) +
                                       ";TRECOND=" + n(x.recond) + ";TRECDT=" + DateText(x.recdt) +
                                       ";TRECAMT=" + MoneyText(x.recamt) + ";TSTMTDT=" + DateText(x.stmtdt));
    }
    for (const Cash& x : cash) {
      put(CashDetail(bkt, "", 0), x.KeyText() + ";CDACCDT=" + DateText(x.accdt) + ";CDAMT=" + MoneyText(x.amount));
    }
    for (const auto& [id, bank] : banks) {
      put(BankAccount(bkm, "", 0), "BANKACC=" + id + ";BRGBLNC=" + MoneyText(AsOf("register", id, "", 99991231)) +
                                       ";BNKBLNC=" + MoneyText(AsOf("bank", id, "", 99991231)) +
                                       ";BRECBAL=" + MoneyText(AsOf("reconciled", id, "", 99991231)) +
                                       ";BRECDT=" + DateText(bank.last_reconciled));
    }
    for (const auto& [key, opening] : cash_opening) {
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

// The values of `columns` ("A;B;...") of `record` as people read them,
// separated by spaces ("-" for an empty one).
inline std::string Text(ccRecData& record, const std::string& columns) {
  std::string out;
  std::istringstream in(columns);
  for (std::string name; std::getline(in, name, ';');) {
    const std::string value = record.Find(name)->Format();
    out += (out.empty() ? "" : " ") + (value.empty() ? "-" : value);
  }
  return out;
}

// The balances' failure lines ("AFF FAIL ..." and "Helper function failed")
// the company's log (bkreg.log) gained since the last call.
class LogReader {
 public:
  explicit LogReader(const std::string& company_folder) {
    TSGetApp()->SetCompanyFolder(company_folder);
    (void)NewFailures();
  }
  ~LogReader() { TSGetApp()->SetCompanyFolder(""); }
  std::vector<std::string> NewFailures() {
    std::vector<std::string> out;
    std::ifstream in(x_log_path());
    std::string line;
    size_t n = 0;
    for (; std::getline(in, line); ++n) {
      const size_t at = line.find("level=0 ");
      line = line.substr(at == std::string::npos ? 0 : at + 8);
      if (n >= seen_ && (line.rfind("AFF FAIL", 0) == 0 || line == "Helper function failed")) out.push_back(line);
    }
    seen_ = n;
    return out;
  }

 private:
  size_t seen_ = 0;
};

// Whether each record type of each file is positioned, and its key values,
// as the handles' buffers hold them.
using Positions = std::vector<std::pair<bool, std::vector<tsCell>>>;
inline Positions PositionsOf(const std::vector<std::pair<const tsioDataFile*, short>>& record_types) {
  Positions out;
  for (const auto& [file, type] : record_types) {
    const tsioRecordState* s = file->State(type);
    out.emplace_back(s->positioned, std::vector<tsCell>());
    for (const auto& c : s->def->keys[0].columns) out.back().second.push_back(s->buffer[size_t(s->def->FieldIndex(c))]);
  }
  return out;
}

// Runs `run` with its n-th fetch failing, for n = 1, 2, ... until a run
// succeeds, first with one failure, then with every fetch from the n-th on
// failing; `check` is called after every run with its result. Returns the
// number of runs that failed.
inline int ForEveryFetchFault(const std::function<tsCurrency()>& run,
                              const std::function<void(const tsCurrency&, const std::string& step)>& check) {
  int failed = 0;
  for (const int times : {1, 1000}) {
    for (int n = 1; n < 2000; ++n) {
      tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError, n, times);
      const tsCurrency r = run();
      tsioFaults::Clear();
      check(r, "fetch " + std::to_string(n) + " failing " + std::to_string(times) + " times");
      if (!bkIsBalanceFailure(r)) break;
      ++failed;
    }
  }
  return failed;
}

}  // namespace baltest
