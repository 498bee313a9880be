// Run numbers and sequences: taking runs from header 1 of the transaction
// file, inside units of work that commit or roll back, failures of the
// header read and write (injected), and a header without a column.
#include <gtest/gtest.h>

#include <memory>

#include "framework/io/dictionary.h"
#include "framework/io/faults.h"
#include "framework/io/rollback_stack.h"
#include "programs/program_test_support.h"
#include "records/transaction_data.h"
#include "tests/support/status_text.h"
#include "transactions/transaction_file_header.h"

namespace {

using bktest::Said;

// A program's handle on the current transaction file (or another file of its
// layout), made fresh, and its header object.
struct Handle {
  tsioFileManager fm;
  tsioDataFile* file = nullptr;
  std::unique_ptr<TransactionFileHeader> header;
  explicit Handle(const std::string& folder, const tsioFileSpec& spec = BKTFileSpec) : fm(folder) {
    EXPECT_EQ(fm.Open(spec, &file), tsioStatus::kSuccess);
    header = std::make_unique<TransactionFileHeader>(*file);
  }
  // Takes a run the way `how` names: "<run> <status and messages>".
  std::string Take(const std::string& how) {
    ccStatus<ccBoolStatus> status(kBoolSuccess);
    tsDouble run, cash;
    if (how == "ThisRun") run = header->ThisRun(status);
    if (how == "ThisCashDetailRun") run = header->ThisCashDetailRun(status);
    if (how == "ThisTaxDetailRun") run = header->ThisTaxDetailRun(status);
    if (how == "BothRuns") status = header->BothRuns(run, cash);
    EXPECT_TRUE(how != "BothRuns" || cash == header->CurrentCashDetailRun());
    return run.Format() + " " + Said(status, false);
  }
  // The runs the header holds.
  std::string Held() const {
    return header->CurrentTranRun().Format() + " " + header->CurrentCashDetailRun().Format() + " " +
           header->CurrentTaxDetailRun().Format();
  }
  // The counters in the file, then the runs held.
  std::string State(const bktest::ModuleCompany& company) const {
    return std::to_string(company.RunCounter("LASTRUN")) + " " + std::to_string(company.RunCounter("LSTCDRN")) + " " +
           std::to_string(company.RunCounter("LSTTXRN")) + " / " + Held();
  }
};

// The first take of a kind reads and writes the header, counting its own
// column; BothRuns takes only what is missing and writes the rest back as
// read. A run taken inside a unit is part of it: rolled back, the counter and
// the run held go back (a run taken before the unit stays); committed, they
// stay. Later takes reuse the run without touching the file. (The run and
// sequence a record takes: the transaction operations' table.)
TEST(RunNumbers, TakenOnceEachKeptByACommittedUnitFreedByARolledBackOne) {
  bktest::ModuleCompany company;
  company.RunCounter("LASTRUN", 41);
  company.RunCounter("LSTCDRN", 7);
  Handle h(company.folder);
  tclRollbackStack unit;
  ASSERT_EQ(unit.EnsureBegun(h.file->Company()), tsioStatus::kSuccess);
  EXPECT_EQ(h.Take("BothRuns"), "42 0");
  ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
  EXPECT_EQ(h.State(company), "41 7 0 / 0 0 0");
  EXPECT_EQ(h.Take("ThisRun"), "42 0");
  ASSERT_EQ(unit.EnsureBegun(h.file->Company()), tsioStatus::kSuccess);
  EXPECT_EQ(h.Take("ThisCashDetailRun"), "8 0");
  ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
  EXPECT_EQ(h.State(company), "42 7 0 / 42 0 0");
  company.RunCounter("LASTRUN", 50);  // another program took runs meanwhile
  ASSERT_EQ(unit.EnsureBegun(h.file->Company()), tsioStatus::kSuccess);
  EXPECT_EQ(h.Take("BothRuns"), "42 0");
  ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
  EXPECT_EQ(h.State(company), "50 8 0 / 42 8 0");
  EXPECT_EQ(Handle(company.folder).Take("ThisRun"), "51 0");
  company.RunCounter("LSTCDRN", 20);
  company.RunCounter("LSTTXRN", 99);
  EXPECT_EQ(h.Take("ThisTaxDetailRun"), "100 0");
  tsioFaults::Arm(tsioOp::kHeaderRead, tsioStatus::kIOError, 1, 100);  // a read would fail
  EXPECT_EQ(h.Take("ThisRun"), "42 0");
  EXPECT_EQ(h.Take("BothRuns"), "42 0");
  tsioFaults::Clear();
  EXPECT_EQ(h.State(company), "51 20 100 / 42 8 100");
}

// A failed header read (1616) or write (1617) takes nothing and keeps no run
// in memory: the file still says 41, another program takes 42 and the next
// call of this one reads again and takes 43. When no run can be taken a
// record is left alone.
TEST(RunFailures, AfterAFailedReadOrWriteNoTwoProgramsEverUseTheSameRun) {
  // (ThisCashDetailRun's failure: the header without its column, below.)
  const std::pair<std::string, const char*> hows[] = {
      {"ThisRun", "LASTRUN"}, {"ThisTaxDetailRun", "LSTTXRN"}, {"BothRuns", "LASTRUN"}};
  for (const auto& [how, column] : hows) {
    for (auto [op, number] : {std::pair{tsioOp::kHeaderRead, "1616"}, {tsioOp::kHeaderWrite, "1617"}}) {
      SCOPED_TRACE(how + " " + number);
      bktest::ModuleCompany company;
      company.RunCounter(column, 41);
      Handle mine(company.folder), other(company.folder);
      tsioFaults::Arm(op, tsioStatus::kDiskFull);
      EXPECT_EQ(mine.Take(how), std::string("0 1 | ") + number + "/3");
      EXPECT_EQ(mine.Held(), "0 0 0");
      tsioFaults::Arm(op, tsioStatus::kDiskFull);
      TransactionData record;
      EXPECT_EQ(Said(SetRunAndSequence(record, *mine.header), false), std::string("1 | ") + number + "/3");
      EXPECT_EQ(record.GetRun(), 0);
      tsioFaults::Clear();
      EXPECT_EQ(other.Take(how), "42 0");
      EXPECT_EQ(mine.Take(how), "43 0");
      EXPECT_EQ(company.RunCounter(column), 43);
    }
  }
}

TEST(RunFailures, AHeaderWithoutTheKindsColumnIsRefusedNotReadAsZero) {
  bktest::ModuleCompany company;
  // A transaction-like file whose header lacks the cash-detail counter.
  tsioFileDef def = *tsioDictionary::Find(BKTFileSpec.DictionaryID());
  def.dictionary_id = 9221;
  def.code = "BKX";
  for (auto& hd : def.headers) std::erase_if(hd.fields, [](const tsioFieldDef& f) { return f.name == "LSTCDRN"; });
  tsioDictionary::Register(def);
  const tsioFileSpec bkx("BKX", 1, 9221);
  ASSERT_EQ(tsioFileManager(company.folder).Create(bkx), tsioStatus::kSuccess);
  Handle h(company.folder, bkx);
  // Refused every time it is asked, not remembered as a run 0 taken.
  EXPECT_EQ(h.Take("ThisCashDetailRun"), "0 1 | 1616/3");
  EXPECT_EQ(h.Take("ThisCashDetailRun"), "0 1 | 1616/3");
  EXPECT_EQ(h.Take("ThisRun"), "1 0");
}

}  // namespace
