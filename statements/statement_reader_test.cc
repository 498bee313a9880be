// Reading statements: CSV mappings and their refusals, OFX fields, the
// refusal of damaged or cut OFX files, line ids.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "statements/statement_reader.h"
#include "statements/statements_test_support.h"

namespace {

using sttest::TempDir;
using sttest::WriteFile;

struct CsvCase {
  const char* name;
  const char* mapping;
  const char* text;
  // "date amount check reference" of each line, or "" when refused with
  // `error` in the message.
  std::vector<std::string> lines;
  const char* error = "";
};

std::string Describe(const bkStatementLine& l) {
  return std::to_string(l.date.Ymd()) + " " + l.amount.Format() + " " + std::to_string(l.check) + " " + l.reference;
}

TEST(CsvStatement, MappingsAndRefusals) {
  const std::string kTail = ";statement_date=2025-03-31;ending_balance=1000.00";
  const CsvCase cases[] = {
      {"header names, quoted fields, thousands separated",
       "date=Date;amount=Amount;check=Check No;reference=Ref;memo=Description;thousands=,",
       "Date,Description,Amount,Check No,Ref\n"
       "2025-03-05,\"Check, paid\",-100.00,101,\n"
       "2025-03-07,\"Deposit \"\"D-7\"\"\",\"1,500.25\",,D-7\n",
       {"20250305 -100.00 101 ", "20250307 1500.25 0 D-7"}},
      {"numbered columns, debit and credit, parentheses",
       "date=1;debit=2;credit=3;separator=tab;date_format=dd/mm/yyyy",
       "31/03/2025\t12.50\t\n31/03/2025\t\t1.23\n01/03/2025\t(3.00)\t\n",
       {"20250331 -12.50 0 ", "20250331 1.23 0 ", "20250301 -3.00 0 "}},
      {"blank rows skipped, CRLF",
       "date=1;amount=2;date_format=yyyymmdd", "20250310,5\r\n\r\n,\r\n20250311,-5\r\n",
       {"20250310 5.00 0 ", "20250311 -5.00 0 "}},
      {"a bad date names its row", "date=1;amount=2", "2025-03-01,1\n2025-02-30,1\n", {}, "line 2"},
      {"more decimals than cents", "date=1;amount=2", "2025-03-01,1.005\n", {}, "more than two decimals"},
      {"an unknown column", "date=Date;amount=Total", "Date,Amount\n2025-03-01,1\n", {}, "no column 'Total'"},
      {"a quote left open", "date=1;amount=2", "2025-03-01,\"1\n", {}, "not closed"},
      {"no amount column", "date=1", "2025-03-01,1\n", {}, "no amount column"},
      {"a bad check number", "date=1;amount=2;check=3", "2025-03-01,-1,12a\n", {}, "not a check number"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bkCsvMapping mapping;
    std::string error;
    ASSERT_TRUE(mapping.ParseText(std::string(c.mapping) + kTail, &error)) << error;
    const std::string path = dir.path() + "/s.csv";
    WriteFile(path, c.text);
    bkStatement s;
    const bool ok = bkReadCsvStatement(path, mapping, &s, &error);
    if (c.lines.empty()) {
      EXPECT_FALSE(ok);
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      EXPECT_TRUE(s.lines.empty());
      continue;
    }
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(s.end, tsDate(2025, 3, 31));
    EXPECT_EQ(s.ending_balance, tsCurrency::FromText("1000"));
    std::vector<std::string> got;
    for (const auto& l : s.lines) got.push_back(Describe(l));
    EXPECT_EQ(got, c.lines);
  }
}

TEST(CsvStatement, MappingFileAndItsErrors) {
  TempDir dir;
  WriteFile(dir.path() + "/m.txt", "# the bank's export\ndate = 1\namount = 2\nstatement_date = 2025-03-31\n"
                                   "ending_balance = -2.50\n");
  bkCsvMapping mapping;
  std::string error;
  ASSERT_TRUE(mapping.ReadFile(dir.path() + "/m.txt", &error)) << error;
  WriteFile(dir.path() + "/s.csv", "2025-03-01,-2.50\n");
  bkStatement s;
  ASSERT_TRUE(bkReadCsvStatement(dir.path() + "/s.csv", mapping, &s, &error)) << error;
  EXPECT_EQ(s.ending_balance, tsCurrency::FromText("-2.50"));

  WriteFile(dir.path() + "/bad.txt", "date = 1\ncolour = red\n");
  EXPECT_FALSE(mapping.ReadFile(dir.path() + "/bad.txt", &error));
  EXPECT_NE(error.find("bad.txt:2"), std::string::npos) << error;
  EXPECT_FALSE(bkCsvMapping().ParseText("date=1;date_format=yy/mm", &error));
  // Without the statement's date and ending balance nothing is read.
  bkCsvMapping bare;
  ASSERT_TRUE(bare.ParseText("date=1;amount=2", &error));
  EXPECT_FALSE(bkReadCsvStatement(dir.path() + "/s.csv", bare, &s, &error));
}

TEST(StatementLineIds, StableAndDistinctForIdenticalLines) {
  bkStatement s;
  bkStatementLine fee;
  fee.date = tsDate(2025, 3, 31);
  fee.amount = tsCurrency::FromText("-40.00");
  s.lines = {fee, fee, fee};
  s.lines[2].id = "BANK-1";
  s.lines.push_back(fee);
  s.lines[3].id = std::string(kStatementLineIdWidth + 1, 'x');
  bkStatement again = s;
  bkAssignLineIds(s);
  bkAssignLineIds(again);
  EXPECT_NE(s.lines[0].id, s.lines[1].id);
  EXPECT_EQ(s.lines[2].id, "BANK-1");
  EXPECT_LE(s.lines[3].id.size(), kStatementLineIdWidth);
  for (size_t i = 0; i < s.lines.size(); ++i) EXPECT_EQ(s.lines[i].id, again.lines[i].id);
}

TEST(OfxStatement, ReadsLinesBalanceAndDates) {
  TempDir dir;
  const std::string path = dir.path() + "/s.ofx";
  WriteFile(path, sttest::OfxText(sttest::SampleLines(), tsDate(2025, 3, 1), tsDate(2025, 3, 31), "958.73"));
  bkStatement s;
  std::string error;
  ASSERT_TRUE(bkReadOfxStatement(path, &s, &error)) << error;
  EXPECT_EQ(s.start, tsDate(2025, 3, 1));
  EXPECT_EQ(s.end, tsDate(2025, 3, 31));
  EXPECT_EQ(s.ending_balance, tsCurrency::FromText("958.73"));
  const auto want = sttest::SampleLines();
  ASSERT_EQ(s.lines.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(s.lines[i].id, want[i].id);
    EXPECT_EQ(s.lines[i].date, want[i].date);
    EXPECT_EQ(s.lines[i].amount, want[i].amount);
    EXPECT_EQ(s.lines[i].check, want[i].check);
    EXPECT_EQ(s.lines[i].reference, want[i].reference);
  }
}

TEST(OfxStatement, DamagedOrCutFilesAreRefused) {
  TempDir dir;
  const std::string good = sttest::OfxText(sttest::SampleLines(), tsDate(2025, 3, 1), tsDate(2025, 3, 31), "958.73");
  const size_t list = good.find("<BANKTRANLIST>");
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"cut in the middle", good.substr(0, good.size() / 2)},
      {"cut before the closing tag", good.substr(0, good.rfind("</OFX>"))},
      {"cut inside a line", good.substr(0, list + 60)},
      {"no ledger balance", [&] {
         std::string t = good;
         const size_t b = t.find("<LEDGERBAL>"), e = t.find("</LEDGERBAL>");
         return t.erase(b, e + 12 - b);
       }()},
      {"not OFX at all", "Date,Amount\n2025-03-01,1\n"},
      {"empty", ""},
      {"garbage inside", [&] {
         std::string t = good;
         return t.replace(list, 14, "<BANKTRANLIST><<<>>>\x01\x02");
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.path() + "/bad.ofx";
    WriteFile(path, c.text);
    bkStatement s;
    std::string error;
    EXPECT_FALSE(bkReadOfxStatement(path, &s, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(s.lines.empty());
  }
  bkStatement s;
  std::string error;
  EXPECT_FALSE(bkReadOfxStatement(dir.path() + "/missing.ofx", &s, &error));
}

}  // namespace
