// What the tests of bkreg share: the program run as a person runs it (its
// exit status and its output and error together), and reading that output.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "framework/dictionary/gl_files.h"
#include "framework/io/cursor.h"
#include "framework/io/file_manager.h"
#include "tests/support/test_support.h"

namespace bkregtest {

struct Result {
  int status = -1;
  std::string out;  // standard output and error together
  bool Has(const std::string& text) const { return out.find(text) != std::string::npos; }
};

// The program under test: $BKREG, else the build's.
inline std::string Program() {
  const char* b = std::getenv("BKREG");
  return b && *b ? b : bktest::BinaryDir() + "/tools/bkreg/bkreg";
}

// Runs bkreg on `company` with `args` (shell words), no input; `program` may
// be another copy or carry an environment ("env NAME=VALUE path").
inline Result Bk(const std::string& company, const std::string& args, const std::string& program = Program()) {
  const std::string cmd = program + " --company '" + company + "' " + args + " 2>&1 </dev/null";
  Result r;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// Runs `args` until it answers `status` (another program taking a lock),
// for up to 180 s so that a loaded machine only makes it slower; the last
// answer.
inline Result Until(const std::string& company, const std::string& args, int status) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(180);
  for (;;) {
    Result r = Bk(company, args);
    if (r.status == status || std::chrono::steady_clock::now() > end) return r;
    usleep(20000);
  }
}

// Runs `args`; success when it exits with `status` and its output holds
// each of `says`.
inline ::testing::AssertionResult Says(const std::string& company, const std::string& args, int status,
                                       std::initializer_list<std::string> says = {}) {
  const Result r = Bk(company, args);
  bool ok = r.status == status;
  for (const std::string& text : says) ok = ok && r.Has(text);
  if (ok) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << args << ": status " << r.status << " (" << status << " wanted)\n" << r.out;
}

// Runs each of `commands` on `company` in turn; the first that fails, with
// its output.
inline ::testing::AssertionResult Prepare(const std::string& company, std::initializer_list<std::string> commands) {
  for (const std::string& args : commands) {
    const Result r = Bk(company, args);
    if (r.status != 0) return ::testing::AssertionFailure() << args << ": status " << r.status << "\n" << r.out;
  }
  return ::testing::AssertionSuccess();
}

// The cells of each line of CSV output (no quoted commas in what is read),
// the heading line first; "\r" dropped.
inline std::vector<std::vector<std::string>> Csv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> cells;
    std::string cell;
    for (std::istringstream in(line); std::getline(in, cell, ',');) cells.push_back(cell);
    if (line.back() == ',') cells.emplace_back();
    rows.push_back(cells);
  }
  return rows;
}

// An amount in cents ("-1,234.50" -> -123450).
inline long long Cents(std::string text) {
  std::string digits;
  for (char c : text) {
    if (c != ',' && c != '\r' && c != ' ') digits += c;
  }
  const bool negative = !digits.empty() && digits[0] == '-';
  if (negative) digits.erase(0, 1);
  const size_t dot = digits.find('.');
  const std::string whole = digits.substr(0, dot);
  const std::string frac = dot == std::string::npos ? "00" : (digits.substr(dot + 1) + "00").substr(0, 2);
  const long long cents = std::atoll(whole.c_str()) * 100 + std::atoll(frac.c_str());
  return negative ? -cents : cents;
}

// The last cell of the first data row of CSV output, in cents (a balance).
inline long long FirstRowLast(const Result& r) {
  const auto rows = Csv(r.out);
  return rows.size() < 2 ? 0 : Cents(rows[1].back());
}

// The net in cents of the first `count` transactions `bkreg generate`
// makes, by the rule it documents: transaction i is of type 1 + i % 4
// (check, deposit, withdrawal, adjustment) for 1000 + i * 7919 % 90000
// cents, four times that for a deposit; deposits and the adjustments with
// i % 8 == 3 add, the rest take away.
inline long long GeneratedCents(long long count) {
  long long total = 0;
  for (long long i = 0; i < count; ++i) {
    const int type = 1 + static_cast<int>(i % 4);
    const long long cents = (1000 + i * 7919 % 90000) * (type == 2 ? 4 : 1);
    total += type == 2 || (type == 4 && i % 8 == 3) ? cents : -cents;
  }
  return total;
}

// The sum by account of the general ledger's posted lines, in cents (debit +).
inline std::map<std::string, long long> PostedLedger(const std::string& company) {
  tsRegisterLedgerFiles();
  tsioFileManager fm(company);
  tsioDataFile* glt = nullptr;
  std::map<std::string, long long> by_account;
  if (fm.Open(tsGLTFileSpec2(), &glt) != tsioStatus::kSuccess) return by_account;
  tsGLTransactionRec r;
  tsioCursor cur(r, *glt, r.TableID(), 0);
  for (auto st = cur.FetchFirst(false); st == tsioStatus::kSuccess; st = cur.FetchNext(false)) {
    by_account[r.account.str()] += (r.debit_credit.Value() == 1 ? 1 : -1) * Cents(r.amount.Format());
  }
  return by_account;
}

}  // namespace bkregtest
