// Journal: column placement, sections and their ids, print blocks, printing
// to a file and to the spool folder (also from two processes at once).
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <set>
#include <iterator>
#include <thread>

#include "framework/base/application.h"
#include "framework/program/journal.h"
#include "tests/support/test_support.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> SpoolContents(const std::string& dir) {
  std::vector<std::string> v;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') v.push_back(ReadFile(dir + "/" + e->d_name));
    }
    closedir(d);
  }
  return v;
}

struct CompanyScope {
  explicit CompanyScope(const std::string& folder) { TSGetApp()->SetCompanyFolder(folder); }
  ~CompanyScope() { TSGetApp()->SetCompanyFolder(""); }
};

TEST(JournalStream, PlacesFieldsByColumnLengthAndAlignment) {
  const std::vector<std::pair<std::function<void(ccJournalStream&)>, std::string>> cases = {
      {[](ccJournalStream& s) { s.Column(3).PutField("No entries made."); }, "  No entries made."},
      // positions 5-16, 34-48 and 51-65, the last two right-aligned
      {[](ccJournalStream& s) {
         s.Column(5).PutField("Transactions");
         s.Column(34).Length(15).Right().PutField("Subtraction");
         s.Column(51).Length(15).Right().PutField("Addition");
       },
       "    Transactions" + std::string(21, ' ') + "Subtraction" + std::string(9, ' ') + "Addition"},
      {[](ccJournalStream& s) { s.Column(1).Length(6).PutField("ab").PutField("|"); }, "ab    |"},
      {[](ccJournalStream& s) { s.Column(4).Length(5).Right().PutField("x").PutField("y"); }, "       xy"},
      {[](ccJournalStream& s) { s.Column(1).Length(4).Right().PutField("123456.78"); }, "123456.78"},  // never cut
      {[](ccJournalStream& s) { s.Column(1).PutField("abcdef").Column(3).PutField("X"); }, "abcdef X"},  // no overwrite
  };
  for (const auto& [put, line] : cases) {
    ccJournalStream s;
    put(s);
    s.WriteLine().WriteLine();
    EXPECT_EQ(s.Lines(), (std::vector<std::string>{line, ""})) << line;
  }
}

TEST(JournalSections, IdsNameSectionsOfTheirOwnKindPrintBlocksReachTheirSectionAndTheLimitRefusesMore) {
  ccJournal j(7);
  ccBufferID report;
  ccOldCrapID second;
  ASSERT_EQ(j.AddSection(report, "Report").Value(), kBoolSuccess);
  ASSERT_EQ(j.AddSection(ccOldCrapSpec{"Recap", 80}, second).Value(), kBoolSuccess);
  EXPECT_EQ(j.Section(ccBufferID(1)), nullptr);  // names an old-style section
  EXPECT_EQ(j.Section(ccOldCrapID(0)), nullptr);
  EXPECT_EQ(j.Section(ccBufferID()), nullptr);
  zp_print_line(j.Section(second)->ZpPrintDef(), "recap line");
  zp_print_def none{};
  zp_print_line(&none, "lost");
  EXPECT_EQ(j.Section(second)->PrintLines(), std::vector<std::string>{"recap line"});
  j.SetSectionLimit(2);
  ccBufferID third;
  EXPECT_TRUE(j.AddSection(third).HasError());
  EXPECT_FALSE(third.IsSet());
}

TEST(JournalPrinting, FileDevicePipeAndPrinterReceiveTitlesAndLinesInSectionOrder) {
  TSGetApp()->SetCompanyFolder("");
  EXPECT_EQ(ccJournal().PrintToFile().Value(), kBoolFailure);  // no company folder
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
  ASSERT_EQ(j.Section(a)->Print(xp::DefaultPrinter).Value(), kBoolSuccess);
  ASSERT_EQ(j.PrintToPrinter(xp::NoPrinter).Value(), kBoolSuccess);  // prints nothing
  EXPECT_EQ(SpoolContents(dir.Sub("spool")), std::vector<std::string>{"ENTRY TOTALS\n  No entries made.\n"});

  // A journal written to a device or a pipe goes into it; the device or pipe
  // stays what it was (a file renamed over "/dev/null" would break every
  // program on the machine).
  const std::string fifo = dir.Sub("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string got;
  std::thread reader([&] { got = ReadFile(fifo); });
  EXPECT_EQ(j.PrintToFile(fifo).Value(), kBoolSuccess);
  reader.join();
  EXPECT_EQ(got, "ENTRY TOTALS\n  No entries made.\nrecap\n");
  struct stat st {};
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  EXPECT_EQ(j.PrintToFile(dir.path()).Value(), kBoolFailure);  // a folder
}

TEST(JournalPrinting, TwoProcessesPrintingAtOnceKeepEveryJob) {
  bktest::TempDir dir;
  CompanyScope company(dir.path());
  const int kJobs = 40;
  auto print = [&](const std::string& who) {
    int failures = 0;
    for (int i = 0; i < kJobs; ++i) {
      failures += xp::Spool(xp::ReportPrinter, who, {std::to_string(i)}).Value() != kBoolSuccess;
    }
    return failures;
  };
  auto child = bktest::ChildProcess::Start([&] { return print("child"); });
  EXPECT_EQ(print("parent"), 0);
  EXPECT_EQ(child.Wait(), 0);
  const auto jobs = SpoolContents(dir.Sub("spool"));
  const std::set<std::string> distinct(jobs.begin(), jobs.end());
  EXPECT_EQ(distinct.size(), 2u * kJobs);
  EXPECT_EQ(distinct.count("child\n39\n"), 1u);
}

}  // namespace
