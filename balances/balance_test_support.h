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

  // Writes the register and the stored totals (which hold every row).
  void Write(const tsioDataFile& bkm, const tsioDataFile& bkt) const {
    tclRollbackStack unit;
    Transaction t(bkt, "", 0);
    t.AttachRollbackStack(&unit);
    for (const Tx& x : txs) {
      t.m_Record = TransactionData();
      t.m_Record.SetBankAccount(tsAlpha(x.bank));
      t.m_Record.SetRun(tsDouble(x.run));
      t.m_Record.SetSequence(tsDouble(x.seq));
      tclTSEnum<TransactionData::TranTypeEnum> type;
      type.SetValue(x.type);
      t.m_Record.SetType(type);
      t.m_Record.SetTransactionDate(tsDate::FromYmd(x.date));
      t.m_Record.SetAccountingDate(tsDate::FromYmd(x.date));
      t.m_Record.SetCheck(tsDouble(x.check));
      t.m_Record.SetSubtraction(Money(x.sub));
      t.m_Record.SetAddition(Money(x.add));
      t.m_Record.SetReconciled(tsChoice(x.recond));
      t.m_Record.SetClearedDate(x.recdt ? tsDate::FromYmd(x.recdt) : tsDate());
      t.m_Record.SetClearedAmount(Money(x.recamt));
      t.m_Record.SetStatementDate(x.stmtdt ? tsDate::FromYmd(x.stmtdt) : tsDate());
      ASSERT_EQ(t.Insert(), tsioStatus::kSuccess);
    }
    CashDetail c(bkt, "", 0);
    c.AttachRollbackStack(&unit);
    for (const Cash& x : cash) {
      c.m_Record = CashDetailData();
      c.m_Record.SetBankAccount(tsAlpha(x.bank));
      c.m_Record.SetTranRun(tsDouble(x.trun));
      c.m_Record.SetTranSequence(tsDouble(x.tseq));
      c.m_Record.SetCashDetailRun(tsDouble(x.run));
      c.m_Record.SetCashDetailSequence(tsDouble(x.seq));
      c.m_Record.SetAccountingDate(tsDate::FromYmd(x.accdt));
      c.m_Record.SetCashAccount(tsAlpha(x.cash));
      c.m_Record.SetAmount(Money(x.amount));
      ASSERT_EQ(c.Insert(), tsioStatus::kSuccess);
    }
    BankAccount b(bkm, "", 0);
    b.AttachRollbackStack(&unit);
    for (const auto& [id, bank] : banks) {
      b.m_Record = BankAccountData();
      b.m_Record.SetBankAccount(tsAlpha(id));
      b.m_Record.SetRegisterBalance(Money(RegisterAsOf(id, 99991231)));
      b.m_Record.SetBankBalance(Money(BankAsOf(id, 99991231)));
      b.m_Record.SetLastReconciledBalance(Money(ReconciledAsOf(id, 99991231)));
      b.m_Record.SetLastReconciledDate(bank.last_reconciled ? tsDate::FromYmd(bank.last_reconciled) : tsDate());
      ASSERT_EQ(b.Insert(), tsioStatus::kSuccess);
    }
    GLCashAccountBalance g(bkm, "", 0);
    g.AttachRollbackStack(&unit);
    for (const auto& [key, opening] : cash_opening) {
      g.m_Record = GLCashAccountBalanceData();
      g.m_Record.SetBankAccount(tsAlpha(key.first));
      g.m_Record.SetGLCashAccount(tsAlpha(key.second));
      g.m_Record.SetAmount(Money(CashAsOf(key.first, key.second, 99991231)));
      ASSERT_EQ(g.Insert(), tsioStatus::kSuccess);
    }
    ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
  }

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
