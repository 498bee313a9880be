// The entry and posting totals: units of work, the report compared with
// golden journals (validation/testdata), and the general-ledger lines fed
// with the units.
#include "validation/tran_totals.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <sstream>

#include "ledger/gl_posting_test_support.h"
#include "ledger/gl_tran_creator.h"
#include "framework/base/application.h"
#include "tests/support/test_support.h"

namespace {

using posttest::GlPostingCompany;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TransactionData Tran(const char* bank, int type, const char* amount) {
  TransactionData t = posttest::MakeTransaction(type, amount, "T", "D", false);
  t.SetBankAccount(tsAlpha(bank));
  return t;
}

// The program's journal printed to a file, as text.
std::string Journal(GlPostingCompany& company) {
  bktest::TempDir dir;
  const std::string path = dir.Sub("journal.txt");
  EXPECT_EQ(company.Program().Journal().PrintToFile(path).Value(), kBoolSuccess);
  return ReadFile(path);
}

void ExpectGolden(GlPostingCompany& company, const char* name) {
  EXPECT_EQ(Journal(company), ReadFile(std::string(BK_TOTALS_GOLDEN_DIR) + "/" + name)) << name;
}

// A scenario's steps, in words: "+BANK TYPE AMOUNT" adds a transaction,
// "-BANK TYPE AMOUNT" subtracts one, "commit" and "rollback" end the unit.
void RunSteps(TranTotals& totals, const std::string& steps) {
  std::istringstream in(steps);
  for (std::string step; in >> step;) {
    if (step == "commit" || step == "rollback") {
      step == "commit" ? totals.Commit() : totals.RollBack();
      continue;
    }
    std::string type, amount;
    in >> type >> amount;
    const TransactionData t = Tran(step.substr(1).c_str(), std::stoi(type), amount.c_str());
    step[0] == '+' ? totals.AddTransaction(t) : totals.SubtractTransaction(t);
  }
}

const struct Scenario {
  const char* golden;
  TranTotals::TotalsType type;
  const char* steps;
  bool begin_unit = true;  // false: transactions added before the first unit still count
} kScenarios[] = {
    {"totals_empty.txt", TranTotals::kEntryTotals, ""},
    {"totals_one_bank.txt", TranTotals::kPostTotals, "+FIRST 2 100 +FIRST 1 20 commit +FIRST 2 50 commit"},
    {"totals_several_banks.txt", TranTotals::kTotals,
     "+SECOND 3 30 +FIRST 2 1234.5 +SECOND 1 20 +SECOND 4 10 commit"},
    {"totals_single_type.txt", TranTotals::kEntryTotals, "+FIRST 1 20 commit +FIRST 1 5.25 commit"},
    {"totals_single_type.txt", TranTotals::kEntryTotals, "+FIRST 1 20 +FIRST 1 5.25 commit", false},
    {"totals_rolled_back.txt", TranTotals::kPostTotals,
     "+FIRST 2 100 commit +FIRST 1 20 +FIRST 2 50 rollback +FIRST 3 30 -FIRST 3 30 commit"},
};

TEST(TranTotals, ReportsMatchTheGoldenJournals) {
  for (bool general_ledger : {false, true}) {
    for (const Scenario& s : kScenarios) {
      SCOPED_TRACE(std::string(s.golden) + (general_ledger ? " with GL lines" : ""));
      GlPostingCompany company;
      TranTotals totals(company.Program(), s.type, general_ledger);
      ASSERT_EQ(totals.InitJournalSection().Value(), kBoolSuccess);
      if (s.begin_unit) totals.InitUnitOfWork();
      RunSteps(totals, s.steps);
      totals.PrintToFile();
      ExpectGolden(company, s.golden);
      totals.PrintToFile(true);
      ExpectGolden(company, s.golden);  // printed again, not twice
    }
  }
}

TEST(TranTotals, TitlesAndEmptyLinesOfEveryType) {
  const struct {
    short type;
    std::string text;
  } cases[] = {{0, "TOTALS\n  No entries created.\n"},
               {1, "ENTRY TOTALS\n  No entries made.\n"},
               {2, "POST ENTRIES TOTALS\n  No entries posted.\n"},
               {3, "\n\n"}};
  for (const auto& c : cases) {
    GlPostingCompany company;
    TranTotals totals(company.Program(), static_cast<TranTotals::TotalsType>(c.type), false);
    ASSERT_EQ(totals.InitJournalSection().Value(), kBoolSuccess);
    totals.InitUnitOfWork();
    totals.AddTransaction(Tran("FIRST", 2, "1"));  // never committed
    totals.PrintToFile();
    EXPECT_EQ(Journal(company), c.text) << c.type;
  }
}

TEST(TranTotals, BlankTypeDescriptionAndAmounts) {
  GlPostingCompany company;
  tsString::SetCustomDescription("<8I>", "");
  TranTotals totals(company.Program(), TranTotals::kEntryTotals, false);
  ASSERT_EQ(totals.InitJournalSection().Value(), kBoolSuccess);
  totals.InitUnitOfWork();
  totals.AddTransaction(Tran("FIRST", 1, "1234567.8"));
  totals.Commit();
  totals.PrintToFile();
  tsString::ResetCustomDescriptions();
  const std::string text = Journal(company);
  EXPECT_NE(text.find("\n      (no charge type)" + std::string(15, ' ') + "1,234,567.80" + std::string(13, ' ') +
                      "0.00\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(FormatForPrint(tsCurrency::FromText("-20")), "-20.00");
  EXPECT_EQ(FormatForPrint(tsCurrency::FromText("0.005")), "0.01");
}

TEST(TranTotals, SectionsAndPrinting) {
  GlPostingCompany company;
  TranTotals totals(company.Program(), TranTotals::kPostTotals, false);
  EXPECT_FALSE(totals.ReportSectionID().IsSet());
  totals.PrintToFile();  // before the sections exist: nothing, no failure
  ASSERT_EQ(totals.InitJournalSection().Value(), kBoolSuccess);
  EXPECT_TRUE(totals.ReportSectionID().IsSet());
  EXPECT_TRUE(totals.GLSectionID().IsSet());
  totals.InitUnitOfWork();
  totals.AddTransaction(Tran("FIRST", 2, "5"));
  totals.Commit();
  totals.Print(xp::ReportPrinter);
  int jobs = 0;
  if (DIR* d = opendir((TSGetApp()->LocalFolder() + "/spool").c_str())) {
    while (dirent* e = readdir(d)) jobs += std::string(e->d_name).rfind("report-", 0) == 0;
    closedir(d);
  }
  EXPECT_EQ(jobs, 2) << "the report section, then the general ledger's section";

  // A journal that is full refuses the sections and says so.
  GlPostingCompany full;
  full.Program().Journal().SetSectionLimit(1);
  TranTotals refused(full.Program(), TranTotals::kPostTotals, false);
  ccStatus<ccBoolStatus> st = refused.InitJournalSection();
  EXPECT_EQ(st.Value(), kBoolFailure);
  EXPECT_TRUE(st.HasError());
}

// With the general-ledger flag the totals feed their creator per unit: a
// rolled-back unit takes its lines with it, a subtracted transaction
// cancels its lines, and committed summary lines survive.
TEST(TranTotals, GeneralLedgerLinesFollowTheUnits) {
  GlPostingCompany company;
  company.SetOptions(false, 1, 1);
  TranTotals totals(company.Program(), TranTotals::kPostTotals, true);
  ASSERT_EQ(totals.InitJournalSection().Value(), kBoolSuccess);
  totals.InitUnitOfWork();
  glwTranCreator* creator = totals.GetGLTranCreator();
  ASSERT_NE(creator, nullptr);
  EXPECT_EQ(+creator->UpdateBlock().write_transactions, 0);
  totals.AddTransaction(Tran("FIRST", 2, "100"));
  totals.Commit();
  totals.AddTransaction(Tran("FIRST", 2, "40"));
  totals.AddTransaction(Tran("FIRST", 1, "20"));
  totals.RollBack();
  totals.AddTransaction(Tran("FIRST", 2, "50"));
  totals.SubtractTransaction(Tran("FIRST", 2, "50"));
  totals.Commit();
  auto held = [&](BKGLTranTypeEnum type) {
    std::vector<std::string> out;
    for (const auto& [key, def] : creator->Accumulator(type).Lines()) {
      out.push_back(key.m_DebitAccount.str() + "/" + key.m_CreditAccount.str() + " " + glTranDefAmount(*def).Format());
    }
    return out;
  };
  EXPECT_EQ(held(kBKGLTranCash), std::vector<std::string>{"1000/ 100.00"});
  EXPECT_EQ(held(kBKGLTranNonCashWithoutTax), std::vector<std::string>{"/4000 100.00"});
  EXPECT_TRUE(posttest::ReadLines(company.Glt()).empty());
}

}  // namespace
