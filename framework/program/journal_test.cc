// Journal: column placement, sections and their ids, print blocks, printing
// to a file and to the spool folder (also from two processes at once).
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "framework/base/application.h"
#include "framework/program/journal.h"
#include "framework/program/printer.h"
#include "tests/support/test_support.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> v;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") v.push_back(n);
    }
    closedir(d);
  }
  return v;
}

// Sets the company folder for one test and clears it afterwards.
struct CompanyScope {
  explicit CompanyScope(const std::string& folder) { TSGetApp()->SetCompanyFolder(folder); }
  ~CompanyScope() { TSGetApp()->SetCompanyFolder(""); }
};

struct PlacementCase {
  const char* name;
  std::function<void(ccJournalStream&)> write;
  std::string expected;
};

TEST(JournalStream, PlacesFieldsByColumnLengthAndAlignment) {
  const std::vector<PlacementCase> cases = {
      {"text at column 3", [](ccJournalStream& s) { s.Column(3).PutField("No entries made."); },
       "  No entries made."},
      {"right-aligned field of 15 fills 15 positions",
       [](ccJournalStream& s) { s.Column(34).Length(15).Right().PutField("Subtraction"); },
       std::string(33, ' ') + "    Subtraction"},
      {"left-aligned field is padded after",
       [](ccJournalStream& s) { s.Column(1).Length(6).PutField("ab").PutField("|"); }, "ab    |"},
      {"headings line",
       [](ccJournalStream& s) {
         s.Column(5).PutField("Transactions");
         s.Column(34).Length(15).Right().PutField("Subtraction");
         s.Column(51).Length(15).Right().PutField("Addition");
       },
       // positions 5-16, 34-48 (right-aligned), 51-65 (right-aligned)
       "    Transactions" + std::string(17, ' ') + "    Subtraction" + std::string(2, ' ') + "       Addition"},
      {"settings apply to one field only",
       [](ccJournalStream& s) { s.Column(4).Length(5).Right().PutField("x").PutField("y"); }, "       xy"},
      {"a longer text is never cut",
       [](ccJournalStream& s) { s.Column(1).Length(4).Right().PutField("123456.78"); }, "123456.78"},
      {"a field never overwrites the line",
       [](ccJournalStream& s) { s.Column(1).PutField("abcdef").Column(3).PutField("X"); }, "abcdef X"},
      {"column below 1 counts as 1", [](ccJournalStream& s) { s.Column(-5).PutField("z"); }, "z"},
  };
  for (const auto& c : cases) {
    ccJournalStream s;
    c.write(s);
    s.WriteLine();
    ASSERT_EQ(s.Lines().size(), 1u) << c.name;
    EXPECT_EQ(s.Lines()[0], c.expected) << c.name;
  }
}

TEST(JournalStream, WriteLineEndsLinesAndEmptyLinesCount) {
  ccJournalStream s;
  s.Column(1).PutField("TOTALS").WriteLine().WriteLine();
  s.PutField("open");
  EXPECT_EQ(s.Lines(), (std::vector<std::string>{"TOTALS", ""}));
  EXPECT_EQ(s.CurrentLine(), "open");
}

TEST(JournalSections, IdsNameSectionsOfTheirOwnKindAndTheLimitRefusesMore) {
  ccJournal j(7);
  ccBufferID report;
  ccOldCrapID second;
  EXPECT_FALSE(report.IsSet());
  EXPECT_EQ(report.Value(), 65535);
  ASSERT_EQ(j.AddSection(report, "Report").Value(), kBoolSuccess);
  ASSERT_EQ(j.AddSection(ccOldCrapSpec{"Recap", 80}, second).Value(), kBoolSuccess);
  EXPECT_EQ(report.Value(), 0);
  EXPECT_EQ(second.Value(), 1);
  ASSERT_NE(j.Section(report), nullptr);
  ASSERT_NE(j.Section(second), nullptr);
  EXPECT_EQ(j.Section(ccBufferID(1)), nullptr);   // names an old-style section
  EXPECT_EQ(j.Section(ccOldCrapID(0)), nullptr);  // names a buffer section
  EXPECT_EQ(j.Section(ccBufferID()), nullptr);

  j.SetSectionLimit(2);
  ccBufferID third;
  auto st = j.AddSection(third);
  EXPECT_EQ(st.Value(), kBoolFailure);
  EXPECT_TRUE(st.HasError());
  EXPECT_FALSE(third.IsSet());
  EXPECT_EQ(j.SectionCount(), 2u);
}

TEST(JournalSections, PrintBlockAppendsToItsOldStyleSection) {
  ccJournal j;
  ccOldCrapID id;
  ASSERT_EQ(j.AddSection(ccOldCrapSpec{"Recap", 132}, id).Value(), kBoolSuccess);
  ccOldCrapSection* s = j.Section(id);
  zp_print_line(s->ZpPrintDef(), "line one");
  zp_print_line(s->ZpPrintDef(), "line two");
  zp_print_def other{};  // names no section: ignored
  zp_print_line(&other, "lost");
  zp_print_line(nullptr, "lost");
  EXPECT_EQ(s->PrintLines(), (std::vector<std::string>{"line one", "line two"}));
  EXPECT_EQ(s->ZpPrintDef()->bytes[0], 1);
}

TEST(JournalPrinting, FileAndPrinterReceiveTitlesAndLinesInSectionOrder) {
  bktest::TempDir dir;
  CompanyScope company(dir.path());
  ccJournal j(42);
  ccBufferID a;
  ccOldCrapID b;
  ASSERT_EQ(j.AddSection(a, "ENTRY TOTALS").Value(), kBoolSuccess);
  ASSERT_EQ(j.AddSection(ccOldCrapSpec{"", 132}, b).Value(), kBoolSuccess);
  j.Section(a)->Stream().Column(3).PutField("No entries made.").WriteLine();
  j.Section(b)->AddLine("recap");

  ASSERT_EQ(j.PrintToFile().Value(), kBoolSuccess);
  EXPECT_EQ(ReadFile(dir.Sub("journal/42.txt")), "ENTRY TOTALS\n  No entries made.\nrecap\n");

  std::string job;
  ASSERT_EQ(xp::Spool(xp::ReportPrinter, "t", {"x"}, &job).Value(), kBoolSuccess);
  EXPECT_EQ(ReadFile(job), "t\nx\n");
  ASSERT_EQ(j.Section(a)->Print(xp::DefaultPrinter).Value(), kBoolSuccess);
  ASSERT_EQ(j.PrintToPrinter(xp::NoPrinter).Value(), kBoolSuccess);  // prints nothing
  auto jobs = FilesIn(dir.Sub("spool"));
  EXPECT_EQ(jobs.size(), 2u);
  bool found = false;
  for (const auto& f : jobs) {
    if (f.rfind("default-", 0) == 0) {
      found = true;
      EXPECT_EQ(ReadFile(dir.Sub("spool/" + f)), "ENTRY TOTALS\n  No entries made.\n");
    }
  }
  EXPECT_TRUE(found);
}

TEST(JournalPrinting, WithoutACompanyFolderPrintingFailsWithAMessage) {
  TSGetApp()->SetCompanyFolder("");
  ccJournal j;
  auto st = j.PrintToFile();
  EXPECT_EQ(st.Value(), kBoolFailure);
  EXPECT_TRUE(st.HasError());
  EXPECT_EQ(j.PrintToPrinter(xp::DefaultPrinter).Value(), kBoolFailure);
}

TEST(JournalPrinting, TwoProcessesPrintingAtOnceKeepEveryJob) {
  bktest::TempDir dir;
  CompanyScope company(dir.path());
  const int kJobs = 40;
  auto print = [&](const std::string& who) {
    int failures = 0;
    for (int i = 0; i < kJobs; ++i) {
      if (xp::Spool(xp::DefaultPrinter, who, {who + " " + std::to_string(i)}).Value() != kBoolSuccess) ++failures;
    }
    return failures;
  };
  auto child = bktest::ChildProcess::Start([&] { return print("child"); });
  EXPECT_EQ(print("parent"), 0);
  EXPECT_EQ(child.Wait(), 0);
  std::set<std::string> contents;
  for (const auto& f : FilesIn(dir.Sub("spool"))) contents.insert(ReadFile(dir.Sub("spool/" + f)));
  EXPECT_EQ(contents.size(), 2u * kJobs);
  EXPECT_EQ(contents.count("child\nchild 39\n"), 1u);
  EXPECT_EQ(contents.count("parent\nparent 0\n"), 1u);
}

}  // namespace
