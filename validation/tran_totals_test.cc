// The entry and posting totals: units of work, the report compared with
// golden journals (validation/testdata), and the general-ledger lines fed
// with the units.
#include "validation/tran_totals.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "framework/base/application.h"
#include "ledger/gl_posting_test_support.h"
#include "ledger/gl_tran_creator.h"
#include "tests/support/test_support.h"

namespace {

using posttest::GlPostingCompany;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return (std::stringstream() << in.rdbuf()).str();
}

// The program's journal printed to a file, as text.
std::string Journal(GlPostingCompany& company) {
  bktest::TempDir dir;
  EXPECT_EQ(company.Program().Journal().PrintToFile(dir.Sub("journal.txt")).Value(), kBoolSuccess);
  return ReadFile(dir.Sub("journal.txt"));
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
    TransactionData t = posttest::MakeTransaction(std::stoi(type), amount.c_str(), "T", "D", false);
    t.SetBankAccount(tsAlpha(step.substr(1)));
    step[0] == '+' ? totals.AddTransaction(t) : totals.SubtractTransaction(t);
  }
}

// The journal of totals of `type` after `steps`, printed once; printing
// again prints nothing more.
std::string Report(TranTotals::TotalsType type, bool general_ledger, const std::string& steps,
                   bool begin_unit = true) {
  GlPostingCompany company;
  TranTotals totals(company.Program(), type, general_ledger);
  EXPECT_EQ(totals.InitJournalSection().Value(), kBoolSuccess);
  if (begin_unit) totals.InitUnitOfWork();
  RunSteps(totals, steps);
  totals.PrintToFile();
  const std::string text = Journal(company);
  totals.PrintToFile(true);
  EXPECT_EQ(Journal(company), text) << "printed again, not twice";
  return text;
}

// The journal expected: a golden file (".txt") or the text itself.
const struct Scenario {
  const char* expected;
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
    // The title and empty line of every type; a unit never committed counts nothing.
    {"TOTALS\n  No entries created.\n", TranTotals::kTotals, "+FIRST 2 1"},
    {"ENTRY TOTALS\n  No entries made.\n", TranTotals::kEntryTotals, "+FIRST 2 1"},
    {"POST ENTRIES TOTALS\n  No entries posted.\n", TranTotals::kPostTotals, "+FIRST 2 1"},
    {"\n\n", static_cast<TranTotals::TotalsType>(3), "+FIRST 2 1"},
};

TEST(TranTotals, ReportsMatchTheGoldenJournals) {
  for (bool general_ledger : {false, true}) {
    for (const Scenario& s : kScenarios) {
      SCOPED_TRACE(std::string(s.expected) + (general_ledger ? " with GL lines" : ""));
      const std::string expected = std::string(s.expected).ends_with(".txt")
                                       ? ReadFile(std::string(BK_TOTALS_GOLDEN_DIR) + "/" + s.expected)
                                       : s.expected;
      EXPECT_EQ(Report(s.type, general_ledger, s.steps, s.begin_unit), expected);
    }
  }
}

TEST(TranTotals, BlankTypeDescriptionAndAmounts) {
  tsString::SetCustomDescription("<8I>", "");
  const std::string text = Report(TranTotals::kEntryTotals, false, "+FIRST 1 1234567.8 commit");
  tsString::ResetCustomDescriptions();
  EXPECT_NE(text.find("\n      (no charge type)" + std::string(15, ' ') + "1,234,567.80" + std::string(13, ' ') +
                      "0.00\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(FormatForPrint(tsCurrency::FromText("-20")) + " " + FormatForPrint(tsCurrency::FromText("0.005")),
            "-20.00 0.01");
}

// With the general-ledger flag the totals feed their creator per unit: a
// rolled-back unit takes its lines with it, a subtracted transaction
// cancels its lines, and committed summary lines survive. Printed, the
// report's section and then the general ledger's are each a job (nothing
// before the sections exist); a journal that is full refuses the sections.
TEST(TranTotals, GeneralLedgerLinesFollowTheUnitsAndBothSectionsPrint) {
  GlPostingCompany company;
  company.SetOptions(false, 1, 1);
  TranTotals totals(company.Program(), TranTotals::kPostTotals, true);
  totals.PrintToFile();  // before the sections exist: nothing, no failure
  ASSERT_EQ(totals.InitJournalSection().Value(), kBoolSuccess);
  EXPECT_TRUE(totals.ReportSectionID().IsSet() && totals.GLSectionID().IsSet());
  totals.InitUnitOfWork();
  glwTranCreator* creator = totals.GetGLTranCreator();
  ASSERT_NE(creator, nullptr);
  EXPECT_EQ(+creator->UpdateBlock().write_transactions, 0);
  RunSteps(totals, "+FIRST 2 100 commit +FIRST 2 40 +FIRST 1 20 rollback +FIRST 2 50 -FIRST 2 50 commit");
  std::string held;
  for (BKGLTranTypeEnum type : {kBKGLTranCash, kBKGLTranNonCashWithoutTax}) {
    for (const auto& [key, def] : creator->Accumulator(type).Lines()) {
      held += key.m_DebitAccount.str() + "/" + key.m_CreditAccount.str() + " " + glTranDefAmount(*def).Format() + "\n";
    }
  }
  EXPECT_EQ(held, "1000/ 100.00\n/4000 100.00\n");
  EXPECT_TRUE(posttest::ReadLines(company.Glt()).empty());

  totals.Print(xp::ReportPrinter);
  int jobs = 0;
  for (const auto& e : std::filesystem::directory_iterator(TSGetApp()->LocalFolder() + "/spool")) {
    jobs += e.path().filename().string().starts_with("report-");
  }
  EXPECT_EQ(jobs, 2);
  GlPostingCompany full;
  full.Program().Journal().SetSectionLimit(1);
  TranTotals refused(full.Program(), TranTotals::kPostTotals, false);
  ccStatus<ccBoolStatus> st = refused.InitJournalSection();
  EXPECT_TRUE(st.Value() == kBoolFailure && st.HasError());
}

}  // namespace
