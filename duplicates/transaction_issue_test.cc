// Remapping transaction issues: the issue keeps its number and marker, and
// whatever step fails (an injected fault at each step, a key already taken,
// a second program holding the record) it is stored exactly once afterwards,
// under its old key or its new one, inside or outside the caller's unit of
// work. Checked against a model of the issue file kept in a std::map.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <tuple>

#include "deposits/detail_transfer_test_support.h"
#include "duplicates/transaction_issue.h"
#include "framework/io/faults.h"
#include "framework/io/file_manager.h"
#include "framework/io/rollback_stack.h"
#include "records/files.h"
#include "tests/support/test_support.h"

namespace {

using Key = std::tuple<std::string, long long, long long, long long>;  // bank, run, sequence, issue
using Model = std::map<Key, long long>;                               // -> ODBC marker

constexpr const char kKeyColumns[] = "TBNKACC;TRUN;TSEQ;ISSUE2";

class IssueFile : public ::testing::Test {
 protected:
  void SetUp() override {
    tsioFileManager creator(folder);
    ASSERT_EQ(creator.CreateCompany(), tsioStatus::kSuccess);
    ASSERT_EQ(creator.Create(BKZFileSpec), tsioStatus::kSuccess);
    ASSERT_EQ(fm.Open(BKZFileSpec, &bkz), tsioStatus::kSuccess);
  }
  void TearDown() override { tsioFaults::Clear(); }

  void Put(const Key& key, long long marker) {
    bkdetailtest::Put<TransactionIssue>(*bkz, Columns(key) + ";R2ODBC=" + std::to_string(marker));
    model[key] = marker;
  }
  static std::string Columns(const Key& key) {
    const auto& [bank, run, seq, issue] = key;
    return "TBNKACC=" + bank + ";TRUN=" + std::to_string(run) + ";TSEQ=" + std::to_string(seq) +
           ";ISSUE2=" + std::to_string(issue);
  }
  static void SetKey(TransactionIssue& c, const Key& key) { ASSERT_TRUE(bkdetailtest::Set(c.m_Record, Columns(key))); }
  // What the file holds, read through a cursor of its own.
  Model Stored() const {
    Model m;
    TransactionIssue c(*bkz);
    for (auto st = c.FetchFirst(false); st == tsioStatus::kSuccess; st = c.FetchNext(false)) {
      const TransactionIssueData& r = c.m_Record;
      m[{r.GetBankAccount().str(), r.GetRun().ToLongLong(), r.GetSequence().ToLongLong(),
         r.GetIssueNumber().ToLongLong()}] = r.GetTouchedByODBC().ToLongLong();
    }
    return m;
  }

  bktest::TempDir dir;
  std::string folder = dir.Sub("company");
  tsioFileManager fm{folder};
  tsioDataFile* bkz = nullptr;
  Model model;
};

// First a second program holds an issue's record lock: its remap changes
// nothing. Then random remaps through cursors over every column or the
// key's alone, many with a fault injected at one of their steps (reading the
// record, the delete, the insert, the commit), some onto taken keys, some
// inside the caller's units of work that are then committed or rolled back.
// After every step the file equals the model: a failed remap changed nothing
// (the cursor still on the old key), a successful one moved exactly one
// issue with its number and marker (the cursor on the new key, from where it
// may be moved on again).
TEST_F(IssueFile, RemapNeverLosesOrDoublesAnIssueWhateverStepFails) {
  for (long long i = 0; i < 24; ++i) Put({i % 2 ? "B1" : "B2", 1 + i % 3, 1 + i % 4, 100 + i % 5}, i % 2);
  auto holder = bkdetailtest::HoldLock<TransactionIssue>(folder, Columns({"B1", 2, 2, 101}), BKZFileSpec);
  {
    TransactionIssue c(*bkz);
    SetKey(c, {"B1", 2, 2, 101});
    ASSERT_EQ(c.FetchEQ(false), tsioStatus::kSuccess);
    EXPECT_EQ(c.RemapIssue(tsDouble(8, 0), tsDouble(1, 0)), tsioStatus::kLocked);
    EXPECT_EQ(Stored(), model);
    holder.Send("end");
    EXPECT_EQ(holder.Wait(), 0);
  }
  std::mt19937 rng(1234);
  const tsioOp kSteps[] = {tsioOp::kFetch, tsioOp::kDelete, tsioOp::kInsert, tsioOp::kCommit};
  const tsioStatus::Status kFailures[] = {tsioStatus::kIOError, tsioStatus::kLocked, tsioStatus::kDamaged,
                                          tsioStatus::kBusy};
  std::map<std::string, int> outcomes;
  for (int unit_no = 0; unit_no < 40; ++unit_no) {
    const bool in_unit = unit_no % 3 != 0;
    tclRollbackStack unit;
    const Model before_unit = model;
    for (int op = 0; op < 6; ++op) {
      auto it = std::next(model.begin(), static_cast<long>(rng() % model.size()));
      const auto [from, marker] = *it;
      const long long run = 1 + static_cast<long long>(rng() % 3), seq = 1 + static_cast<long long>(rng() % 4);
      TransactionIssue c(*bkz, rng() % 2 ? "" : kKeyColumns);
      if (in_unit) c.AttachRollbackStack(&unit);
      SetKey(c, from);
      ASSERT_EQ(c.FetchEQ(false), tsioStatus::kSuccess);
      const Key to{std::get<0>(from), run, seq, std::get<3>(from)};
      const bool target_taken = to != from && model.count(to) != 0;
      Key at = from;  // where the cursor is afterwards
      const tsioOp step = kSteps[rng() % 4];
      const tsioStatus::Status injected = rng() % 2 ? tsioStatus::kSuccess : kFailures[rng() % 4];
      if (injected != tsioStatus::kSuccess) tsioFaults::Arm(step, injected);
      // The commit comes after the insert, which fails first on a taken key.
      const bool fault = injected != tsioStatus::kSuccess && !(target_taken && step == tsioOp::kCommit);
      const tsioStatus::Status st = c.RemapIssue(tsDouble(run, 0), tsDouble(seq, 0));
      tsioFaults::Clear();
      if (fault || target_taken) {
        EXPECT_EQ(st, fault ? injected : tsioStatus::kDuplicateKey);
        ++outcomes[fault ? "failed" : "taken"];
      } else {
        ASSERT_EQ(st, tsioStatus::kSuccess);
        model.erase(from);
        model[at = to] = marker;
        ++outcomes["moved"];
        const Key further{std::get<0>(to), run + 3, seq, std::get<3>(to)};
        if (rng() % 3 == 0 && model.count(further) == 0) {
          ASSERT_EQ(c.RemapIssue(tsDouble(run + 3, 0), tsDouble(seq, 0)), tsioStatus::kSuccess);
          model.erase(to);
          model[at = further] = marker;
          ++outcomes["moved on"];
        }
      }
      EXPECT_EQ(Key(std::get<0>(at), c.m_Record.GetRun().ToLongLong(), c.m_Record.GetSequence().ToLongLong(),
                    std::get<3>(at)),
                at);
      ASSERT_EQ(Stored(), model) << "unit " << unit_no << " op " << op;
    }
    if (in_unit && unit_no % 2 == 0) {
      ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
      model = before_unit;
    } else {
      ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
    }
    ASSERT_EQ(Stored(), model) << "after unit " << unit_no;
  }
  // Enough of every outcome.
  EXPECT_TRUE(outcomes["failed"] > 40 && outcomes["taken"] > 5 && outcomes["moved"] > 40 && outcomes["moved on"] > 5)
      << outcomes["failed"] << " failed, " << outcomes["taken"] << " taken, " << outcomes["moved"] << " moved, "
      << outcomes["moved on"] << " moved on";
}

}  // namespace
