// For the balance tests: random registers written to a company's files and
// kept beside them as plain rows, balances computed from scratch over those
// rows, the log lines a computation wrote, and the positions of the files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "accounts/bank_account.h"
#include "deposits/cash_detail.h"
#include "deposits/detail_transfer_test_support.h"
#include "framework/base/application.h"
#include "framework/base/log.h"
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
  auto RegisterKey() const { return std::make_tuple(date, check, sub, run, seq); }
};

struct Cash {
  std::string bank, cash;
  long long trun, tseq, run, seq;
  int accdt;
  long long amount;
  auto Key() const { return std::make_tuple(accdt, trun, tseq, run, seq); }
};

struct Bank {
  long long opening_register = 0, opening_bank = 0, opening_reconciled = 0;
  int last_reconciled = 0;  // BRECDT, 0 = empty
};

inline tsCurrency Money(long long cents) { return tsCurrency(tsDouble(cents, 0) / tsDouble(100)); }
inline long long Cents(const tsCurrency& c) { return (tsDouble(c) * tsDouble(100)).ToLongLong(); }

// A random register over `banks`, `per_bank` transactions each over
// `days` days from 2026-03-01 (so many on one day), with checks, deposits,
// withdrawals and adjustments, cleared and reconciled ones with statement
// dates, and (unless `cash_lines` is false) cash details on two cash
// accounts each.
struct Register {
  std::map<std::string, Bank> banks;
  std::vector<Tx> txs;
  std::vector<Cash> cash;
  std::map<std::pair<std::string, std::string>, long long> cash_opening;
  int first = 20260301, last = 20260301;

  static int Day(int offset) { return (tsDate::FromYmd(20260301) + offset).Ymd(); }

  void Generate(std::mt19937& rng, const std::vector<std::string>& ids, int per_bank, int days,
                bool cash_lines = true) {
    long long seq = 0;
    for (const auto& id : ids) {
      Bank& b = banks[id];
      b.opening_register = static_cast<long long>(rng() % 500000);
      b.opening_bank = static_cast<long long>(rng() % 500000);
      b.opening_reconciled = static_cast<long long>(rng() % 500000);
      // One account reconciled without a date, the others up to two thirds in.
      b.last_reconciled = id == ids.back() ? 0 : Day(days * 2 / 3);
      for (const char* c : {"1000100", "1000200"}) cash_opening[{id, c}] = static_cast<long long>(rng() % 90000);
      for (int i = 0; i < per_bank; ++i) {
        Tx t;
        t.bank = id;
        t.run = 1 + static_cast<long long>(rng() % 7);
        t.seq = ++seq;
        t.type = 1 + static_cast<int>(rng() % 4);
        t.date = Day(static_cast<int>(rng() % static_cast<unsigned>(days)));
        t.check = t.type == 1 ? static_cast<long long>(100 + rng() % 20) : 0;  // repeated numbers too
        const long long amount = 1 + static_cast<long long>(rng() % 200000);
        t.add = t.type == 2 || (t.type == 4 && rng() % 2) ? amount : 0;
        t.sub = t.add ? 0 : amount;
        t.recond = 1 + static_cast<int>(rng() % 3);
        t.recdt = t.recond == 1 ? 0 : (tsDate::FromYmd(t.date) + static_cast<int>(rng() % 10)).Ymd();
        t.recamt = t.recond == 1 ? 0 : t.Amount();
        t.stmtdt = t.recond == 3 ? (tsDate::FromYmd(t.recdt) + static_cast<int>(rng() % 5)).Ymd() : 0;
        txs.push_back(t);
        first = std::min(first, t.date);
        last = std::max({last, t.date, t.recdt, t.stmtdt});
        // Cash lines of the transaction on its accounting date.
        const int lines = cash_lines ? static_cast<int>(rng() % 3) : 0;
        for (int l = 0; l < lines; ++l) {
          Cash c;
          c.bank = id;
          c.cash = rng() % 2 ? "1000100" : "1000200";
          c.trun = t.run;
          c.tseq = t.seq;
          c.run = 1;
          c.seq = l + 1;
          c.accdt = t.date;
          c.amount = static_cast<long long>(rng() % 40000) - 20000;
          cash.push_back(c);
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
      put(Transaction(bkt, "", 0),
          "TBNKACC=" + x.bank + ";TRUN=" + n(x.run) + ";TSEQ=" + n(x.seq) + ";TRANTYP=" + n(x.type) +
              ";TTRANDT=" + DateText(x.date) + ";TACTGDT=" + DateText(x.date) + ";TCHECK=" + n(x.check) +
              ";TSUBTR=" + MoneyText(x.sub) + ";TADD=" + MoneyText(x.add) + ";TRECOND=" + n(x.recond) +
              ";TRECDT=" + DateText(x.recdt) + ";TRECAMT=" + MoneyText(x.recamt) + ";TSTMTDT=" + DateText(x.stmtdt));
    }
    for (const Cash& x : cash) {
      put(CashDetail(bkt, "", 0), "CDBNKAC=" + x.bank + ";CDTRUN=" + n(x.trun) + ";CDTSEQ=" + n(x.tseq) +
                                      ";CDRUN=" + n(x.run) + ";CDSEQ=" + n(x.seq) + ";CDACCDT=" + DateText(x.accdt) +
                                      ";CDCSHAC=" + x.cash + ";CDAMT=" + MoneyText(x.amount));
    }
    for (const auto& [id, bank] : banks) {
      put(BankAccount(bkm, "", 0), "BANKACC=" + id + ";BRGBLNC=" + MoneyText(RegisterAsOf(id, 99991231)) +
                                       ";BNKBLNC=" + MoneyText(BankAsOf(id, 99991231)) +
                                       ";BRECBAL=" + MoneyText(ReconciledAsOf(id, 99991231)) +
                                       ";BRECDT=" + DateText(bank.last_reconciled));
    }
    for (const auto& [key, opening] : cash_opening) {
      put(GLCashAccountBalance(bkm, "", 0), "CABNKAC=" + key.first + ";CACSHAC=" + key.second +
                                                ";CAAMT=" + MoneyText(CashAsOf(key.first, key.second, 99991231)));
    }
    ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
  }
  // Cents as "-12.34"; a yyyymmdd date as its text ("" for 0).
  static std::string MoneyText(long long cents) {
    const long long a = cents < 0 ? -cents : cents;
    return (cents < 0 ? "-" : "") + std::to_string(a / 100) + (a % 100 < 10 ? ".0" : ".") + std::to_string(a % 100);
  }
  static std::string DateText(int ymd) { return ymd ? tsDate::FromYmd(ymd).Format() : ""; }

  // From scratch, forwards from the opening balances.
  long long RegisterAsOf(const std::string& bank, int date) const {
    long long sum = banks.at(bank).opening_register;
    for (const Tx& t : txs) {
      if (t.bank == bank && t.date <= date) sum += t.Amount();
    }
    return sum;
  }
  long long BankAsOf(const std::string& bank, int date) const {
    long long sum = banks.at(bank).opening_bank;
    for (const Tx& t : txs) {
      if (t.bank == bank && t.recdt != 0 && t.recdt <= date) sum += t.recamt;
    }
    return sum;
  }
  long long ReconciledAsOf(const std::string& bank, int date) const {
    const Bank& b = banks.at(bank);
    const int limit = b.last_reconciled ? std::min(date, b.last_reconciled) : date;
    long long sum = b.opening_reconciled;
    for (const Tx& t : txs) {
      if (t.bank == bank && t.recond == 3 && t.stmtdt <= limit) sum += t.Amount();
    }
    return sum;
  }
  long long CashAsOf(const std::string& bank, const std::string& cash_account, int date) const {
    long long sum = cash_opening.at({bank, cash_account});
    for (const Cash& c : cash) {
      if (c.bank == bank && c.cash == cash_account && c.accdt <= date) sum += c.amount;
    }
    return sum;
  }
  int RowsAfter(const std::string& bank, int date) const {
    return static_cast<int>(std::count_if(txs.begin(), txs.end(),
                                          [&](const Tx& t) { return t.bank == bank && t.date > date; }));
  }
  // The bank's transactions in register order, each with its running balance.
  std::vector<std::pair<Tx, long long>> RunningBalances(const std::string& bank) const {
    std::vector<Tx> lines;
    for (const Tx& t : txs) {
      if (t.bank == bank) lines.push_back(t);
    }
    std::sort(lines.begin(), lines.end(), [](const Tx& a, const Tx& b) { return a.RegisterKey() < b.RegisterKey(); });
    std::vector<std::pair<Tx, long long>> out;
    long long sum = banks.at(bank).opening_register;
    for (const Tx& t : lines) out.emplace_back(t, sum += t.Amount());
    return out;
  }
  std::vector<std::pair<Cash, long long>> CashRunningBalances(const std::string& bank,
                                                             const std::string& cash_account) const {
    std::vector<Cash> lines;
    for (const Cash& c : cash) {
      if (c.bank == bank && c.cash == cash_account) lines.push_back(c);
    }
    std::sort(lines.begin(), lines.end(), [](const Cash& a, const Cash& b) { return a.Key() < b.Key(); });
    std::vector<std::pair<Cash, long long>> out;
    long long sum = cash_opening.at({bank, cash_account});
    for (const Cash& c : lines) out.emplace_back(c, sum += c.amount);
    return out;
  }
};

// The lines of the company's log (bkreg.log) from a point on.
class LogReader {
 public:
  explicit LogReader(const std::string& company_folder) {
    TSGetApp()->SetCompanyFolder(company_folder);
    Skip();
  }
  ~LogReader() { TSGetApp()->SetCompanyFolder(""); }
  // Lines written since the last call.
  std::vector<std::string> New() {
    std::vector<std::string> out;
    std::ifstream in(x_log_path());
    std::string line;
    size_t n = 0;
    while (std::getline(in, line)) {
      if (n++ >= seen_) out.push_back(line.substr(line.find("level=0 ") == std::string::npos ? 0 : line.find("level=0 ") + 8));
    }
    seen_ = n;
    return out;
  }
  void Skip() { (void)New(); }
  // Of the new lines, the balances' own (failure lines).
  std::vector<std::string> NewFailures() {
    std::vector<std::string> out;
    for (auto& l : New()) {
      if (l.rfind("AFF FAIL", 0) == 0 || l == "Helper function failed") out.push_back(l);
    }
    return out;
  }

 private:
  size_t seen_ = 0;
};

// What a handle's record type stands on: whether it is positioned and its
// key values, as the handle's buffer holds them.
struct Position {
  bool positioned;
  std::vector<tsCell> key;
  bool operator==(const Position&) const = default;
};

inline Position PositionOf(const tsioDataFile& file, short record_type) {
  const tsioRecordState* s = file.State(record_type);
  Position p{s->positioned, {}};
  for (const auto& c : s->def->keys[0].columns) p.key.push_back(s->buffer[static_cast<size_t>(s->def->FieldIndex(c))]);
  return p;
}

}  // namespace baltest
