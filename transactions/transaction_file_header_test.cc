// Run numbers and sequences: taking runs from header 1 of the transaction
// file, failures of the header read and write (injected), runs taken inside
// units of work that commit or roll back, and a header without a column.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "programs/program_test_support.h"
#include "framework/io/dictionary.h"
#include "framework/io/faults.h"
#include "framework/io/header.h"
#include "framework/io/rollback_stack.h"
#include "records/messages.h"
#include "records/transaction_data.h"
#include "transactions/transaction_file_header.h"

namespace {

// A program's handle on the current transaction file, made fresh.
struct Handle {
  tsioFileManager fm;
  tsioDataFile* file = nullptr;
  explicit Handle(const std::string& folder) : fm(folder) {
    EXPECT_EQ(fm.Open(BKTFileSpec, &file), tsioStatus::kSuccess);
  }
};

struct FaultGuard {
  ~FaultGuard() { tsioFaults::Clear(); }
};

// The first take reads and writes the header; later ones reuse the run
// without touching the file; each kind counts its own column. BothRuns takes
// only what is missing and writes the rest back as read. Records take the
// run and the next sequence.
TEST(RunNumbers, FirstTakeReadsAndWritesTheHeaderLaterOnesReuseTheRun) {
  bktest::ModuleCompany company;
  company.RunCounter("LASTRUN", 41);
  company.RunCounter("LSTCDRN", 7);
  Handle h(company.folder);
  TransactionFileHeader header(*h.file);
  ccStatus<ccBoolStatus> status(kBoolSuccess);
  EXPECT_EQ(header.ThisRun(status), 42);
  EXPECT_EQ(company.RunCounter("LASTRUN"), 42);
  {
    FaultGuard faults;  // a failing read would show
    tsioFaults::Arm(tsioOp::kHeaderRead, tsioStatus::kIOError, 1, 100);
    EXPECT_EQ(header.ThisRun(status), 42);
    EXPECT_TRUE(status.Errors().Empty());
  }
  company.RunCounter("LASTRUN", 50);  // another program took runs meanwhile
  company.RunCounter("LSTTXRN", 99);
  EXPECT_EQ(header.ThisTaxDetailRun(status), 100);
  tsDouble tran, cash;
  EXPECT_EQ(header.BothRuns(tran, cash).Value(), kBoolSuccess);
  EXPECT_EQ(tran, 42);
  EXPECT_EQ(cash, 8);
  EXPECT_EQ(company.RunCounter("LASTRUN"), 50);
  EXPECT_EQ(company.RunCounter("LSTCDRN"), 8);
  EXPECT_EQ(company.RunCounter("LSTTXRN"), 100);
  ASSERT_EQ(header.BothRuns(tran, cash).Value(), kBoolSuccess);  // both taken: nothing is read any more
  EXPECT_EQ(company.RunCounter("LSTCDRN"), 8);
  // A record is stamped with the run taken and the next sequence.
  TransactionData record;
  for (int seq = 1; seq <= 2; ++seq) {
    ASSERT_EQ(SetRunAndSequence(record, header).Value(), kBoolSuccess);
    EXPECT_EQ(record.GetRun(), 42);
    EXPECT_EQ(record.GetSequence(), seq);
  }
}

// One way of taking runs, for the failure tables: the run it took (0 when
// none) and its status.
struct Taker {
  const char* name;
  const char* column;
  std::function<tsDouble(TransactionFileHeader&, ccStatus<ccBoolStatus>&)> take;
};

std::vector<Taker> Takers() {
  return {
      {"ThisRun", "LASTRUN", [](TransactionFileHeader& h, ccStatus<ccBoolStatus>& s) { return h.ThisRun(s); }},
      {"ThisCashDetailRun", "LSTCDRN",
       [](TransactionFileHeader& h, ccStatus<ccBoolStatus>& s) { return h.ThisCashDetailRun(s); }},
      {"ThisTaxDetailRun", "LSTTXRN",
       [](TransactionFileHeader& h, ccStatus<ccBoolStatus>& s) { return h.ThisTaxDetailRun(s); }},
      {"BothRuns", "LASTRUN",
       [](TransactionFileHeader& h, ccStatus<ccBoolStatus>& s) {
         tsDouble tran, cash;
         s = h.BothRuns(tran, cash);
         EXPECT_EQ(tran, h.CurrentTranRun());
         EXPECT_EQ(cash, h.CurrentCashDetailRun());
         return tran;
       }},
  };
}

// A failed header read (1616) or write (1617) takes nothing and keeps no run
// in memory: the file still says 41, another program takes 42 and the next
// call of this one reads again and takes 43.
TEST(RunFailures, AfterAFailedReadOrWriteNoTwoProgramsEverUseTheSameRun) {
  for (const Taker& t : Takers()) {
    for (auto [op, number] : {std::pair{tsioOp::kHeaderRead, 1616}, {tsioOp::kHeaderWrite, 1617}}) {
      SCOPED_TRACE(std::string(t.name) + " " + std::to_string(number));
      bktest::ModuleCompany company;
      company.RunCounter(t.column, 41);
      Handle mine(company.folder);
      Handle other(company.folder);
      TransactionFileHeader first(*mine.file);
      TransactionFileHeader second(*other.file);
      {
        FaultGuard faults;
        tsioFaults::Arm(op, tsioStatus::kDiskFull);
        ccStatus<ccBoolStatus> status(kBoolSuccess);
        EXPECT_EQ(t.take(first, status), 0);
        EXPECT_EQ(status.Value(), kBoolFailure);
        ASSERT_EQ(status.Errors().Size(), 1u);
        EXPECT_EQ(status.Errors()[0].Number(), number);
        EXPECT_EQ(first.CurrentTranRun(), 0);
        EXPECT_EQ(first.CurrentCashDetailRun(), 0);
        EXPECT_EQ(first.CurrentTaxDetailRun(), 0);
        if (std::string(t.column) == "LASTRUN") {
          // No run can be taken: a record is left alone.
          tsioFaults::Arm(op, tsioStatus::kDiskFull);
          TransactionData record;
          EXPECT_EQ(SetRunAndSequence(record, first).Errors().Size(), 1u);
          EXPECT_EQ(record.GetRun(), 0);
        }
      }
      EXPECT_EQ(company.RunCounter(t.column), 41);
      ccStatus<ccBoolStatus> s2(kBoolSuccess), s1(kBoolSuccess);
      EXPECT_EQ(t.take(second, s2), 42);
      EXPECT_EQ(t.take(first, s1), 43);
      EXPECT_EQ(s1.Value(), kBoolSuccess);
      EXPECT_EQ(company.RunCounter(t.column), 43);
    }
  }
}

TEST(RunFailures, AHeaderWithoutTheKindsColumnIsRefusedNotReadAsZero) {
  bktest::ModuleCompany company;
  // A transaction-like file whose header 1 lacks the cash-detail counter.
  tsioFileDef def = *tsioDictionary::Find(BKTFileSpec.DictionaryID());
  def.dictionary_id = 9221;
  def.code = "BKX";
  for (auto& hd : def.headers) {
    if (hd.number == 1) std::erase_if(hd.fields, [](const tsioFieldDef& f) { return f.name == "LSTCDRN"; });
  }
  tsioDictionary::Register(def);
  const tsioFileSpec bkx("BKX", 1, 9221);
  tsioFileManager fm(company.folder);
  ASSERT_EQ(fm.Create(bkx), tsioStatus::kSuccess);
  tsioDataFile* f = nullptr;
  ASSERT_EQ(fm.Open(bkx, &f), tsioStatus::kSuccess);
  TransactionFileHeader header(*f);
  for (int i = 0; i < 2; ++i) {
    ccStatus<ccBoolStatus> status(kBoolSuccess);
    EXPECT_EQ(header.ThisCashDetailRun(status), 0);
    ASSERT_EQ(status.Errors().Size(), 1u);
    EXPECT_EQ(status.Errors()[0].Number(), 1616);
  }
  ccStatus<ccBoolStatus> status(kBoolSuccess);
  EXPECT_EQ(header.ThisRun(status), 1);
}

TEST(RunsInUnits, ARolledBackUnitFreesItsRunACommittedOneKeepsIt) {
  for (bool commit : {false, true}) {
    bktest::ModuleCompany company;
    company.RunCounter("LASTRUN", 41);
    company.RunCounter("LSTCDRN", 7);
    Handle h(company.folder);
    TransactionFileHeader header(*h.file);
    tclRollbackStack unit;
    ASSERT_EQ(unit.EnsureBegun(h.file->Company()), tsioStatus::kSuccess);
    tsDouble tran, cash;
    ASSERT_EQ(header.BothRuns(tran, cash).Value(), kBoolSuccess);
    EXPECT_EQ(tran, 42);
    EXPECT_EQ(cash, 8);
    ASSERT_EQ(commit ? unit.Commit() : unit.Rollback(), tsioStatus::kSuccess);

    if (commit) {
      EXPECT_EQ(header.CurrentTranRun(), 42);
      EXPECT_EQ(company.RunCounter("LASTRUN"), 42);
    } else {
      // The counters went back with the unit, and so did the runs.
      EXPECT_EQ(company.RunCounter("LASTRUN"), 41);
      EXPECT_EQ(company.RunCounter("LSTCDRN"), 7);
      EXPECT_EQ(header.CurrentTranRun(), 0);
      EXPECT_EQ(header.CurrentCashDetailRun(), 0);
      // The next take (outside any unit) is a new, lasting one.
      ASSERT_EQ(header.BothRuns(tran, cash).Value(), kBoolSuccess);
      EXPECT_EQ(tran, 42);
      EXPECT_EQ(company.RunCounter("LASTRUN"), 42);
    }
    // The header lock went with the unit: another program takes the next run.
    Handle other(company.folder);
    TransactionFileHeader next(*other.file);
    ccStatus<ccBoolStatus> status(kBoolSuccess);
    EXPECT_EQ(next.ThisRun(status), 43);
    EXPECT_EQ(status.Value(), kBoolSuccess);
  }
}

// A run taken before a unit survives the unit's rollback. A failed take
// inside a unit keeps the header locked until the unit ends.
TEST(RunsInUnits, ARunTakenBeforeAUnitSurvivesAndAFailedTakeKeepsTheHeaderLocked) {
  bktest::ModuleCompany company;
  Handle h(company.folder);
  Handle other(company.folder);
  // An unlocked header write answers 9 at once while another handle holds
  // the header lock.
  auto locked_by_another = [&] { return tsioHeader(*other.file, 1).Update() == tsioStatus::kLocked; };
  TransactionFileHeader header(*h.file);
  ccStatus<ccBoolStatus> status(kBoolSuccess);
  ASSERT_EQ(header.ThisRun(status), 1);
  {
    tclRollbackStack unit;
    ASSERT_EQ(unit.EnsureBegun(h.file->Company()), tsioStatus::kSuccess);
    EXPECT_EQ(header.ThisCashDetailRun(status), 1);
    ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
    EXPECT_EQ(header.CurrentTranRun(), 1);
    EXPECT_EQ(header.CurrentCashDetailRun(), 0);
    EXPECT_EQ(company.RunCounter("LSTCDRN"), 0);
  }
  tclRollbackStack unit;
  ASSERT_EQ(unit.EnsureBegun(h.file->Company()), tsioStatus::kSuccess);
  ASSERT_EQ(header.ThisTaxDetailRun(status), 1);
  for (tsioOp op : {tsioOp::kHeaderRead, tsioOp::kHeaderWrite}) {
    FaultGuard faults;
    tsioFaults::Arm(op, tsioStatus::kIOError);
    EXPECT_EQ(header.ThisCashDetailRun(status), 0);
    EXPECT_EQ(status.Value(), kBoolFailure);
    // Nobody may read LSTTXRN before the unit commits it.
    EXPECT_TRUE(locked_by_another()) << static_cast<int>(op);
  }
  ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
  EXPECT_FALSE(locked_by_another());
  EXPECT_EQ(company.RunCounter("LSTTXRN"), 1);
}

}  // namespace
