// The register's opening balances, which aligned text and the other formats
// reach by different walks (text adds the amounts up over the table while
// measuring its columns; CSV, JSON and export add them up over an index of
// the amounts alone): for every format and period start they agree with each
// other and with the running balances, and neighbouring bank accounts, before
// and after in key order, never leak into the sum. Posted and unposted
// lines interleave, and each day's running balance is its as-of balance.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/bkreg/bkreg_test_support.h"

namespace {

using bkregtest::Bk;
using bkregtest::Result;

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> v(1);
  for (char c : text) {
    if (c == sep) {
      v.emplace_back();
    } else if (c != '\r') {
      v.back() += c;
    }
  }
  return v;
}

long long Cents(const std::string& money) {
  const bool negative = !money.empty() && money[0] == '-';
  long long v = 0;
  for (char c : money) {
    if (c >= '0' && c <= '9') v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

// One register as rows of (date, amount, balance) in cents, whatever the
// format, with the opening balance apart.
struct Register {
  long long opening = 0;
  std::vector<std::vector<std::string>> rows;  // date, amount, balance
};

Register Parse(const std::string& format, const std::string& out) {
  Register r;
  if (format == "json") {
    const auto rows = nlohmann::json::parse(out);
    for (size_t i = 0; i < rows.size(); ++i) {
      const auto& row = rows[i];
      auto text = [](const nlohmann::json& v) {  // numbers back to two decimals
        if (v.is_string()) return v.get<std::string>();
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.2f", v.get<double>());
        return std::string(buf);
      };
      if (i == 0) {
        r.opening = Cents(text(row["Balance"]));
      } else {
        r.rows.push_back({text(row["Date"]), text(row["Amount"]), text(row["Balance"])});
      }
    }
    return r;
  }
  const auto lines = Split(out, '\n');
  const size_t first = format == "text" ? 2 : 1;  // headings (and the rule under them)
  for (size_t i = first; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    std::vector<std::string> cells;
    for (const auto& w : Split(lines[i], format == "csv" ? ',' : ' ')) {
      if (!w.empty() || format == "csv") cells.push_back(w);
    }
    if (i == first) {
      r.opening = Cents(cells.back());
    } else {
      r.rows.push_back({cells.front(), cells[cells.size() - 4], cells.back()});
    }
  }
  return r;
}

TEST(RegisterSum, OpeningBalancesAgreeInEveryFormatAndPeriod) {
  bktest::TempDir dir;
  const std::string co = dir.Sub("company");
  // Posted and unposted lines interleave by date: the first batch is posted,
  // a second one over the same days is not.
  ASSERT_TRUE(bkregtest::Prepare(
      co, {"init", "bank add K0 --balance 5.00", "bank add K1 --balance 1000.00", "bank add K2 --balance -20.00",
           "generate --bank K0 --count 7 --from 2026-03-01 --unit 64",
           "generate --bank K1 --count 300 --from 2026-03-01 --unit 64",
           "generate --bank K2 --count 11 --from 2026-03-01 --unit 64", "post GENERATED",
           "generate --bank K1 --count 40 --from 2026-03-01 --batch LATER"}));
  // The whole register in CSV gives the dates and the register balance.
  const Register all = Parse("csv", Bk(co, "--format csv register K1").out);
  ASSERT_EQ(all.rows.size(), 340u);
  ASSERT_EQ(all.opening, 100000);
  // The running balance at a day's last line is the balance as of that day.
  for (size_t i : {size_t{0}, size_t{57}, size_t{170}, all.rows.size() - 1}) {
    while (i + 1 < all.rows.size() && all.rows[i + 1][0] == all.rows[i][0]) ++i;
    const Result as_of = Bk(co, "--format csv balance K1 --as-of " + all.rows[i][0]);
    ASSERT_EQ(as_of.status, 0) << as_of.out;
    EXPECT_EQ(Cents(Split(Split(as_of.out, '\n')[1], ',').back()), Cents(all.rows[i][2])) << all.rows[i][0];
  }
  const std::string last = all.rows.back()[0];
  const std::vector<std::string> starts = {"", "2026-03-01", all.rows[1][0], all.rows[150][0], last, "2099-01-01"};
  for (const std::string& from : starts) {
    // What the register held before the period: an independent sum of the
    // whole register's rows dated before it.
    long long want = all.opening;
    for (const auto& row : all.rows) {
      if (!from.empty() && row[0] < from) want += Cents(row[1]);
    }
    for (const std::string format : {"text", "csv", "json"}) {
      SCOPED_TRACE(format + " from '" + from + "'");
      const Result out = Bk(co, "--format " + format + " register K1" + (from.empty() ? "" : " --from " + from));
      ASSERT_EQ(out.status, 0) << out.out;
      const Register r = Parse(format, out.out);
      EXPECT_EQ(r.opening, want);
      long long running = r.opening;
      for (const auto& row : r.rows) {
        running += Cents(row[1]);
        ASSERT_EQ(Cents(row[2]), running) << row[0];
      }
      if (r.rows.empty()) continue;
      EXPECT_EQ(Cents(r.rows.back()[2]), Cents(all.rows.back()[2])) << "ends at the register balance";
    }
  }
  // The journal export opens with the same balance.
  const auto lines = Split(Bk(co, "export K1 --format journal").out, '\n');
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(Cents(Split(lines[1], ' ').back()), all.opening) << lines[1];
}

}  // namespace
