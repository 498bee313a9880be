// Creating general-ledger transactions from register transactions and
// posting them, with the general-ledger module loaded: the lines written
// for every transaction type and option setting, processing that fails at
// every call, exact amounts, the account recap, the post launcher.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "framework/base/application.h"
#include "framework/control/account_format.h"
#include "framework/io/faults.h"
#include "framework/io/rollback_stack.h"
#include "framework/module/module_registry.h"
#include "ledger/gl_binding.h"
#include "ledger/gl_post_launcher.h"
#include "ledger/gl_posting_test_support.h"
#include "ledger/gl_tran_creator.h"

namespace {

using posttest::Accumulate;
using posttest::Expect;
using posttest::GlPostingCompany;
using posttest::MakeTransaction;
using posttest::ReadLines;
using posttest::Snapshot;
using bktest::Said;
using gltest::CallCount;
using gltest::FailCall;

class GLPosting : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_NE(gltest::LoadLedgerModule(), 0); }
  void TearDown() override {
    FailCall(nullptr, 0, 0, 0);
    gltest::RefuseInterfaces(false);
  }
  GlPostingCompany company;
};

// ---- one run of register transactions -------------------------------------

// Two transactions of two items each ("items" are the finest level the
// program walks: deposit items, withdrawal details). The creator is asked
// as a posting program asks it: accumulate each item, roll at the end of
// each item (level 1) and of each transaction (level 0), processing after
// each roll, and roll everything out at the end of the run.
struct Item {
  const char* amount;
  const char* description;
};
struct Tran {
  const char* description;
  const char* deposit_id;
  Item items[2];
};
const Tran kRun[2] = {{"First", "D-1", {{"60", "Item A1"}, {"40", "Item B1"}}},
                      {"Second", "D-2", {{"30", "Item A2"}, {"20", "Item B2"}}}};

struct Source {
  TransactionData record;
  DetailedTransactionData detailed;
  bkGLTransactionValues values;
  Source(bkProgram& program, int type, const std::string& amount, const Tran& t, const Item& item, bool ic)
      : record(MakeTransaction(type, amount.c_str(), t.description, t.deposit_id, ic)),
        detailed(&record, record.GetDescription(), kNonCashWithoutTax, false, false),
        values(program, true, &detailed) {
    detailed.SetDescription(1, tsAlpha(item.description));
  }
};

// `sign` -1 makes adjustments decreasing. The run is one unit of work of
// the program, committed at the end (the creator's units nest in it).
void RunScenario(bkProgram& program, glwTranCreator& creator, int type, int sign, bool ic, bool process = true) {
  tclRollbackStack run_unit;
  ASSERT_EQ(run_unit.EnsureBegun(program.File(BKTFileSpec)->Company()), tsioStatus::kSuccess);
  std::vector<std::unique_ptr<Source>> sources;
  for (const Tran& t : kRun) {
    for (const Item& item : t.items) {
      sources.push_back(std::make_unique<Source>(program, type, (sign < 0 ? "-" : "") + std::string(item.amount),
                                                 t, item, ic));
      creator.SetTranValuesObject(&sources.back()->values);
      Expect(creator.AccumulateTrans(kBKIncludeAll));
      Expect(creator.RollTrans(kTranLevelItem, kBKIncludeAll));
      if (process) Expect(creator.ProcessTrans());
    }
    Expect(creator.RollTrans(kTranLevelTransaction, kBKIncludeAll));
    if (process) Expect(creator.ProcessTrans());
  }
  Expect(creator.RollTrans(kTranLevelEverything, kBKIncludeAll));
  if (process) Expect(creator.ProcessTrans());
  creator.SetTranValuesObject(nullptr);
  EXPECT_EQ(run_unit.Commit(), tsioStatus::kSuccess);
}

// A line as the tables below write it:
//   <account> <D|C> <amount> <S summarized | -> [<description>] <ref 1>/<ref 2>
//   bank=<bank ID> ic=<receivable>/<payable>
std::string Text(const tsGLTransactionRec& r) {
  return r.account.str() + (r.debit_credit.Value() == 1 ? " D " : " C ") + r.amount.Format() +
         (r.summarized.Value() ? " S [" : " - [") + r.description.str() + "] " + r.reference1.str() + "/" +
         r.reference2.str() + " bank=" + r.bank.str() + " ic=" + r.ic_receivable.str() + "/" + r.ic_payable.str();
}
// The lines of a run, in the order written, from its sides: words
// "<level> <account> <D|C> <IC receivable>/<IC payable>". For each
// transaction in turn, the sides of level I for each item (with the item's
// description) or i (with the transaction's), then those of level T for the
// whole transaction; after both transactions, the summary lines of level S
// (no description, references or bank). Lines of a transaction or an item
// carry its references "bank account" / "deposit ID" (the options "CGLREF1"
// 2 and "CGLREF2" 3) and the bank.
std::vector<std::string> Lines(const char* sides) {
  struct Side {
    std::string level, account, dc, ic;
  };
  std::vector<Side> all;
  std::istringstream in(sides);
  for (Side s; in >> s.level >> s.account >> s.dc >> s.ic;) all.push_back(s);
  std::vector<std::string> out;
  auto add = [&](const std::string& levels, const tsCurrency& amount, const char* description, const char* item,
                 const char* deposit) {
    for (const Side& s : all) {
      if (levels.find(s.level) == std::string::npos) continue;
      const std::string head = s.account + " " + s.dc + " " + amount.Format();
      out.push_back(s.level == "S" ? head + " S [] / bank= ic=" + s.ic
                                   : head + " - [" + (s.level == "I" ? item : description) + "] BANK1/" + deposit +
                                         " bank=BANK1 ic=" + s.ic);
    }
  };
  for (const Tran& t : kRun) {
    tsCurrency total;
    for (const Item& item : t.items) {
      total += tsCurrency::FromText(item.amount);
      add("Ii", tsCurrency::FromText(item.amount), t.description, item.description, t.deposit_id);
    }
    add("T", total, t.description, "", t.deposit_id);
  }
  add("S", tsCurrency(150), "", "", "");
  return out;
}

struct Setting {
  bool detailed;
  short cash, non_cash;
};
const Setting kNotDetailed{false, 1, 1};
const Setting kD11{true, 1, 1}, kD12{true, 1, 2}, kD21{true, 2, 1}, kD22{true, 2, 2};
const std::vector<Setting> kNotDetailedAny = {kNotDetailed, {false, 2, 2}};  // levels unused when not detailed
const std::vector<Setting> kDetailedAny = {kD11, kD12, kD21, kD22};

// Written from the accumulation and description matrices, the accounts of
// each side and the intercompany blanking rules. Accounts: TGLDBT 1000,
// TGLCRDT 4000, TGLICRC 1500, TGLICPY 2500.
const struct Case {
  const char* name;
  int type, sign;
  bool ic;
  std::vector<Setting> settings;
  const char* sides;  // as Lines reads them
} kCases[] = {
    {"check, summarized", 1, 1, true, kNotDetailedAny,
     "S 4000 C 1500/ S 1000 D 1500/2500 S 1500 D 1500/ S 2500 C 1500/2500"},
    {"deposit, summarized", 2, 1, true, kNotDetailedAny,
     "S 1000 D /2500 S 4000 C 1500/2500 S 1500 D 1500/2500 S 2500 C /2500"},
    {"deposit, summarized, no intercompany", 2, 1, false, {kNotDetailed}, "S 1000 D / S 4000 C /"},
    {"withdrawal, summarized", 3, 1, true, kNotDetailedAny,
     "i 1000 D 1500/2500 i 1500 D 1500/2500 S 4000 C 1500/ S 2500 C 1500/2500"},
    {"plus adjustment, summarized", 4, 1, true, kNotDetailedAny,
     "T 4000 C 1500/2500 T 2500 C 1500/2500 S 1000 D /2500 S 1500 D 1500/2500"},
    {"minus adjustment, summarized", 4, -1, true, kNotDetailedAny,
     "T 1000 D 1500/2500 T 1500 D 1500/2500 S 4000 C 1500/ S 2500 C 1500/2500"},
    {"check, detailed", 1, 1, true, kDetailedAny,
     "T 4000 C 1500/2500 T 1000 D 1500/2500 T 1500 D 1500/2500 T 2500 C 1500/2500"},
    {"withdrawal, detailed", 3, 1, true, kDetailedAny,
     "i 1000 D 1500/2500 T 4000 C 1500/ T 1500 D 1500/ T 2500 C 1500/2500"},
    {"plus adjustment, detailed", 4, 1, true, kDetailedAny,
     "T 1000 D 1500/2500 T 4000 C 1500/2500 T 1500 D 1500/2500 T 2500 C 1500/2500"},
    {"minus adjustment, detailed", 4, -1, true, kDetailedAny,
     "T 4000 C 1500/2500 T 1000 D 1500/2500 T 1500 D 1500/2500 T 2500 C 1500/2500"},
    {"deposit, detailed by deposit", 2, 1, true, {kD11},
     "T 1000 D /2500 T 4000 C 1500/2500 T 1500 D 1500/2500 T 2500 C /2500"},
    {"deposit, detailed, no intercompany", 2, 1, false, {kD11}, "T 1000 D / T 4000 C /"},
    {"deposit, cash by item", 2, 1, true, {kD21},
     "I 1000 D /2500 T 4000 C 1500/2500 T 1500 D 1500/2500 T 2500 C /2500"},
    {"deposit, non-cash by detail", 2, 1, true, {kD12},
     "I 4000 C 1500/2500 T 1000 D /2500 T 1500 D 1500/2500 T 2500 C /2500"},
    {"deposit, both sides by item", 2, 1, true, {kD22},
     "I 1000 D /2500 I 4000 C 1500/2500 T 1500 D 1500/2500 T 2500 C /2500"},
};

TEST_F(GLPosting, EveryTransactionTypeAndOptionSettingGivesBalancedLinesAsTheMatricesSay) {
  // Every type (check, deposit, withdrawal, plus and minus adjustment) is
  // covered with every setting of the options.
  std::set<std::pair<int, int>> types_seen;
  company.SetAccountingMethod(3);  // both ledgers
  for (const Case& c : kCases) {
    const std::vector<std::string> want = Lines(c.sides);
    for (const Setting& s : c.settings) {
      SCOPED_TRACE(std::string(c.name) + " detailed=" + std::to_string(s.detailed) + " cash=" +
                   std::to_string(s.cash) + " non-cash=" + std::to_string(s.non_cash));
      types_seen.insert({c.type, c.sign});
      posttest::ClearLines(company.Glt());
      company.SetOptions(s.detailed, s.cash, s.non_cash);
      glwTranCreator creator(company.Program(), true, nullptr);
      EXPECT_EQ(creator.GetSendingDetailedGLTs(), s.detailed);
      ASSERT_EQ(creator.SetRunNumber(company.Program()).Value(), kBoolSuccess);
      const long long run = static_cast<long long>(creator.UpdateBlock().run_number);
      ASSERT_GT(run, 0);
      RunScenario(company.Program(), creator, c.type, c.sign, c.ic);

      std::vector<std::string> by_ledger[3];
      tsCurrency debits[3], credits[3];
      for (const auto& r : ReadLines(company.Glt())) {
        const int ledger = r.ledger.Value();
        ASSERT_TRUE(ledger == 1 || ledger == 2);
        by_ledger[ledger].push_back(Text(r));
        (r.debit_credit.Value() == 1 ? debits : credits)[ledger] += r.amount;
        EXPECT_EQ(std::to_string(r.run.ToLongLong() - run) + " " + r.date.Format() + " " + r.journal.Format() + " " +
                      r.appl_of_origin.str() + " " + r.batch.str() + " " + r.batch_source.Format() + " " +
                      std::to_string(r.check_number.ToLongLong()),
                  std::string("0 2025-03-05 7 BK B1 2 ") + (c.type == 1 ? "1234" : "0"));
      }
      EXPECT_EQ(by_ledger[1], want);
      EXPECT_EQ(by_ledger[2], want);
      for (int ledger : {1, 2}) {
        EXPECT_EQ(debits[ledger], credits[ledger]) << "ledger " << ledger << " balances";
        EXPECT_EQ(debits[ledger], tsCurrency(c.ic ? 300 : 150));
      }
      EXPECT_TRUE(ReadLines(company.Glt(2)).empty());
      const gl_batch_appl_def* appl = creator.ApplBlock();
      ASSERT_NE(appl, nullptr);
      EXPECT_EQ(+appl->lines_written, static_cast<int32_t>(2 * want.size()));
      EXPECT_EQ(+appl->debit_cents, +appl->credit_cents);
    }
  }
  EXPECT_EQ(types_seen.size(), 5u);
}

TEST_F(GLPosting, UpdateAndBatchBlocks) {
  zzBatch batch("BK", tsAlpha("B7"), 2);
  struct GLPart : zzBatchPart {
    GLPart() : zzBatchPart("GL") {}
    zzBatchPart* Clone() const override { return new GLPart(*this); }
    void ReceiveApplBlock(const void* block, std::size_t size) override {
      ASSERT_EQ(size, sizeof(gl_batch_appl_def));
      std::memcpy(&received, block, size);
      ++calls;
    }
    gl_batch_appl_def received{};
    int calls = 0;
  };
  batch.AddPart(std::make_unique<GLPart>());
  company.Program().SetBatch(batch);  // the program keeps a copy (clones the parts)
  auto* part = dynamic_cast<GLPart*>(company.Program().GetBatch().ApplPart("GL"));
  ASSERT_NE(part, nullptr);

  glwTranCreator creator(company.Program(), true, nullptr);
  EXPECT_EQ(+creator.UpdateBlock().glt_file, company.Glt().FileNum());
  const char* batch_def = static_cast<const char*>(creator.UpdateBlock().batch_def);
  ASSERT_NE(batch_def, nullptr);
  ASSERT_EQ(creator.SetRunNumber(company.Program()).Value(), kBoolSuccess);
  const double run = creator.UpdateBlock().run_number;
  EXPECT_GT(run, 0);

  RunScenario(company.Program(), creator, 2, 1, false);
  EXPECT_EQ(std::string(batch_def) + "/" + std::string(batch_def + 5), "BK/B7") << "filled from the program's batch";
  EXPECT_GT(part->calls, 0);
  EXPECT_EQ((std::tuple{+part->received.lines_written, +part->received.debit_cents, +part->received.credit_cents}),
            (std::tuple{2, 15000LL, 15000LL}));

  // A second creator takes the next run.
  glwTranCreator second(company.Program(), true, nullptr);
  ASSERT_EQ(second.SetRunNumber(company.Program()).Value(), kBoolSuccess);
  EXPECT_EQ(+second.UpdateBlock().run_number, run + 1);
  // A creator that only keeps the recap takes no run and allocates no blocks.
  glwTranCreator recap_only(company.Program(), false, nullptr);
  EXPECT_EQ(recap_only.SetRunNumber(company.Program()).Value(), kBoolSuccess);
  const auto& none = recap_only.UpdateBlock();
  EXPECT_TRUE(none.run_number == 0 && none.batch_def == nullptr && none.glt_file == 0);
  // A run counter that cannot be written: no run number, 1603.
  glwTranCreator no_run(company.Program(), true, nullptr);
  tsioFaults::Arm(tsioOp::kInsert, tsioStatus::kLocked, 1, 1);
  tsioFaults::Arm(tsioOp::kUpdate, tsioStatus::kLocked, 1, 1);
  ccStatus<ccBoolStatus> st = no_run.SetRunNumber(company.Program());
  tsioFaults::Clear();
  EXPECT_EQ(Said(st, false), "1 | 1603/3");
}

// The module fails at each of its calls in turn, once and then for good
// (so the removals that undo the earlier definitions fail too): the
// transaction files end exactly as they were, the stack is empty and the
// account recap holds nothing.
TEST_F(GLPosting, TheModuleFailingAtEachCallLeavesTheFilesAsTheyWere) {
  company.SetOptions(true, 2, 2);
  company.SetAccountingMethod(3);
  {
    glwTranCreator earlier(company.Program(), true, nullptr);
    ASSERT_EQ(earlier.SetRunNumber(company.Program()).Value(), kBoolSuccess);
    RunScenario(company.Program(), earlier, 3, 1, true);
  }
  const std::vector<std::string> before = Snapshot(company.Glt());
  ASSERT_FALSE(before.empty());

  // How many calls one processing of the whole run makes.
  int calls = 0;
  {
    glwTranCreator probe(company.Program(), true, nullptr);
    RunScenario(company.Program(), probe, 2, 1, true, false);
    ASSERT_EQ(probe.StackSize(), 12u);
    const int start = CallCount(nullptr);
    Expect(probe.ProcessTrans());
    calls = CallCount(nullptr) - start;
    ASSERT_EQ(calls, 24) << "12 definitions, two ledgers";
  }
  const std::vector<std::string> with_probe = Snapshot(company.Glt());
  ASSERT_EQ(with_probe.size(), before.size() + 24);

  for (int times : {1, 1000}) {
    for (int n = 1; n <= calls; ++n) {
      SCOPED_TRACE("call " + std::to_string(n) + " fails " + std::to_string(times) + " time(s)");
      glwTranCreator creator(company.Program(), true, nullptr);
      ASSERT_EQ(creator.SetRunNumber(company.Program()).Value(), kBoolSuccess);
      RunScenario(company.Program(), creator, 2, 1, true, false);
      FailCall(nullptr, n, tsioStatus::kLocked, times);
      ccStatus<tsioStatus::Status> st = creator.ProcessTrans();
      FailCall(nullptr, 0, 0, 0);
      EXPECT_EQ(Said(st, false), std::to_string(tsioStatus::kLocked) + " | 1604/3");
      EXPECT_EQ(creator.StackSize(), 0u);
      EXPECT_EQ(Snapshot(company.Glt()), with_probe);
      ccOldCrapID id;
      ASSERT_EQ(company.Program().Journal().AddSection(ccOldCrapSpec{}, id).Value(), kBoolSuccess);
      creator.PrintRecap(static_cast<short>(id.Value()));
      const auto lines = company.Program().Journal().Section(id)->PrintLines();
      ASSERT_EQ(lines.size(), 3u);
      EXPECT_EQ(lines[2], "No General Ledger transactions.");
    }
  }
}

// Processing inside the program's unit of work: the program's rollback
// takes the lines back, and the creator's rollback keeps the summary
// lines that committed units merged. (A unit rolled back before any
// processing is the totals' and the accumulator model's case.)
TEST_F(GLPosting, UnitsOfWorkOfTheProgram) {
  company.SetOptions(false, 1, 1);
  glwTranCreator creator(company.Program(), true, nullptr);
  ASSERT_EQ(creator.SetRunNumber(company.Program()).Value(), kBoolSuccess);
  auto deposit = [&](const char* amount) {
    Accumulate(creator, company.Program(), MakeTransaction(2, amount, "Dep", "D", false));
  };
  deposit("100");
  creator.Commit();
  const auto& cash = creator.Accumulator(kBKGLTranCash).Lines();

  // A unit that rolls out and processes the summary, then is rolled back
  // by the program: the files and the summary are as they were.
  {
    tclRollbackStack unit;
    tsGLTransactionRec marker;  // the program's own change opens its unit
    marker.run = tsDouble(999);
    marker.sequence = tsDouble(1);
    marker.ledger = tsNum<short>(1);
    tsioCursor cur(marker, company.Glt(), kGLTLine, 0);
    ASSERT_EQ(unit.EnsureBegun(company.Glt().Company()), tsioStatus::kSuccess);
    ASSERT_EQ(cur.Insert(), tsioStatus::kSuccess);
    deposit("25");
    Expect(creator.RollTrans(kTranLevelEverything, kBKIncludeAll));
    Expect(creator.ProcessTrans());
    EXPECT_EQ(ReadLines(company.Glt()).size(), 3u) << "the marker and two lines of 125.00";
    ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
    creator.Rollback();
  }
  EXPECT_TRUE(ReadLines(company.Glt()).empty());
  ASSERT_EQ(cash.size(), 1u);
  EXPECT_EQ(glTranDefAmount(*cash.begin()->second), tsCurrency(100));
  Expect(creator.ResetTranCreator(true));
  const auto lines = ReadLines(company.Glt());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].amount, tsCurrency(100));
  EXPECT_TRUE(creator.Accumulator(kBKGLTranCash).IsEmpty());
}

// Lines rolled out for transactions of this module are processed even when
// the value source has moved on to a transaction of another application
// (which itself gives no line).
TEST_F(GLPosting, LinesRolledOutEarlierAreProcessedAfterAnotherApplicationsTransaction) {
  company.SetOptions(true, 1, 1);
  glwTranCreator creator(company.Program(), true, nullptr);
  ASSERT_EQ(creator.SetRunNumber(company.Program()).Value(), kBoolSuccess);
  TransactionData ours = MakeTransaction(1, "20", "Ours", "", false);
  TransactionData theirs = MakeTransaction(1, "30", "Theirs", "", false);
  theirs.SetApplOfOrigin(tsAlpha("AP"));
  DetailedTransactionData d1(&ours, ours.GetDescription(), kNonCashWithoutTax, false, false);
  DetailedTransactionData d2(&theirs, theirs.GetDescription(), kNonCashWithoutTax, false, false);
  bkGLTransactionValues v1(company.Program(), true, &d1), v2(company.Program(), true, &d2);
  creator.SetTranValuesObject(&v1);
  Expect(creator.AccumulateTrans(kBKIncludeAll));
  Expect(creator.RollTrans(kTranLevelTransaction, kBKIncludeAll));
  creator.SetTranValuesObject(&v2);
  Expect(creator.AccumulateTrans(kBKIncludeAll));
  for (int i = 0; i < kBKGLTranTypeCount; ++i) {
    EXPECT_TRUE(creator.Accumulator(static_cast<BKGLTranTypeEnum>(i)).IsEmpty()) << "nothing from AP";
  }
  Expect(creator.ProcessTrans());
  const auto lines = ReadLines(company.Glt());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].description, "Ours");
  EXPECT_EQ(lines[1].amount, tsCurrency(20));
}

// Random amounts, the largest a money column holds among them, pass
// through the definitions and the general ledger to the lines exactly;
// amounts that cannot be written are refused and write nothing.
TEST_F(GLPosting, AmountsReachTheLinesExactly) {
  company.SetOptions(true, 1, 1);
  glwTranCreator creator(company.Program(), true, nullptr);
  ASSERT_EQ(creator.SetRunNumber(company.Program()).Value(), kBoolSuccess);
  std::mt19937_64 rng(42);
  const int64_t kLargest = 999999999999999;
  std::vector<int64_t> cents = {1, kLargest, kLargest - 1, 10, 100000000000001};
  std::uniform_int_distribution<int64_t> any(1, kLargest);
  while (cents.size() < 300) cents.push_back(any(rng));
  std::vector<tsCurrency> amounts;
  for (int64_t c : cents) {
    amounts.emplace_back(tsDouble::FromScaled(c, 2, 2));
    Accumulate(creator, company.Program(), MakeTransaction(2, amounts.back().Format().c_str(), "Exact", "", false),
               true);
  }
  Expect(creator.ProcessTrans());
  const auto lines = ReadLines(company.Glt());
  ASSERT_EQ(lines.size(), 2 * amounts.size());
  for (size_t i = 0; i < amounts.size(); ++i) {
    EXPECT_EQ(lines[2 * i].amount, amounts[i]) << cents[i];
    EXPECT_EQ(lines[2 * i + 1].amount, amounts[i]) << cents[i];
  }
  // Two of the largest merged no longer fit the column: refused, nothing
  // written.
  company.SetOptions(false, 1, 1);
  glwTranCreator summary(company.Program(), true, nullptr);
  const auto before = Snapshot(company.Glt());
  for (int i = 0; i < 2; ++i) {
    Accumulate(summary, company.Program(), MakeTransaction(2, "9999999999999.99", "Big", "", false));
  }
  EXPECT_EQ(summary.ResetTranCreator(true).Value(), tsioStatus::kValueDoesNotFit);
  EXPECT_EQ(Snapshot(company.Glt()), before);
  // An adjustment with both amounts is neither a debit nor a credit: refused.
  company.SetOptions(true, 1, 1);
  glwTranCreator both(company.Program(), true, nullptr);
  TransactionData t = MakeTransaction(4, "20", "Both", "", false);
  t.SetSubtraction(tsCurrency(5));
  Accumulate(both, company.Program(), t);
  EXPECT_EQ(both.ResetTranCreator(true).Value(), tsioStatus::kInvalidOperation);
  EXPECT_EQ(Snapshot(company.Glt()), before);
}

// The recap of a creator that does not write GL transactions: the lines
// go to the recap only, by the creator's units.
TEST_F(GLPosting, AccountRecapPrintsIntoTheJournal) {
  company.SetOptions(false, 1, 1);
  company.SetAccountingMethod(3);
  glwTranCreator creator(company.Program(), false, nullptr);
  RunScenario(company.Program(), creator, 2, 1, true);
  EXPECT_TRUE(ReadLines(company.Glt()).empty()) << "recap only";
  creator.Commit();
  // A later unit that is rolled back leaves the recap as committed.
  RunScenario(company.Program(), creator, 1, 1, true);
  creator.Rollback();

  ccOldCrapID id;
  ASSERT_EQ(company.Program().Journal().AddSection(ccOldCrapSpec{"Recap", 132}, id).Value(), kBoolSuccess);
  creator.PrintRecap(*company.Program().Journal().Section(id));
  auto f = [](const char* a) { return xk_format_alpha(9, 0, tsAlpha(a)).str(); };
  auto row = [&](const char* account, const char* debits, const char* credits) {
    std::string s = "  " + f(account);
    s.resize(32, ' ');
    return s + std::string(15 - std::strlen(debits), ' ') + debits + " " + std::string(15 - std::strlen(credits), ' ') +
           credits;
  };
  const std::string rule = std::string(32, ' ') + std::string(15, '-') + " " + std::string(15, '-');
  std::vector<std::string> want = {"General Ledger Account Recap", ""};
  for (const char* ledger : {"Accrual ledger", "Cash ledger"}) {
    want.push_back(ledger);
    want.push_back("  Account" + std::string(23, ' ') + "         Debits" + " " + "        Credits");
    want.push_back(row("1000", "150.00", "0.00"));
    want.push_back(row("1500", "150.00", "0.00"));
    want.push_back(row("2500", "0.00", "150.00"));
    want.push_back(row("4000", "0.00", "150.00"));
    want.push_back(rule);
    want.push_back(std::string(32, ' ') + "         300.00 " + "         300.00");
    want.push_back("");
  }
  EXPECT_EQ(company.Program().Journal().Section(id)->PrintLines(), want);
}

// ---- the post launcher ------------------------------------------------------

TEST_F(GLPosting, PostLauncherPostsTheListedBatches) {
  company.SetOptions(true, 1, 1);
  company.SetAccountingMethod(3);
  auto process = [&](const char* batch) {
    glwTranCreator creator(company.Program(), true, nullptr);
    ASSERT_EQ(creator.SetRunNumber(company.Program()).Value(), kBoolSuccess);
    TransactionData t = MakeTransaction(2, "10", "Dep", "D", false);
    t.SetBatch(tsAlpha(batch));
    Accumulate(creator, company.Program(), t);
    Expect(creator.ResetTranCreator(true));
  };
  {
    glwPostLauncher launcher(company.Program());
    EXPECT_EQ(launcher.OpenFiles(company.Program()), kBoolSuccess) << "nothing waiting (2) is success";
    launcher.CloseFiles();
  }
  process("B1");
  process("B2");
  process("B1");
  ASSERT_EQ(ReadLines(company.Glt()).size(), 12u);

  glwPostLauncher launcher(company.Program());
  ASSERT_EQ(launcher.OpenFiles(company.Program()), kBoolSuccess);
  const auto& block = launcher.UpdateBlock();
  EXPECT_EQ((std::tuple{+block.glt_file, +block.glt_posted_file, +block.glm_file}),
            (std::tuple{company.Glt(1).FileNum(), company.Glt(2).FileNum(),
                        company.Program().File(GLMFileSpec)->FileNum()}));
  launcher.AddToBatchList(new zzBatchListNode("BK", tsAlpha("B1"), 2));
  EXPECT_EQ(launcher.BatchList().Node(0).Choice().Value(), 1) << "a batch of another application than GL";
  // Accrual ledger only, then the rest.
  ccStatus<ccBoolStatus> st = launcher.Post(kGLPostAccrualOnly);
  ASSERT_EQ(st.Value(), kBoolSuccess);
  EXPECT_EQ(+launcher.ApplBlock()->lines_posted, 4);
  EXPECT_EQ(+launcher.ApplBlock()->glt_file, company.Glt(1).FileNum());
  for (const auto& r : ReadLines(company.Glt(2))) EXPECT_EQ(r.ledger.Value(), 1);
  ASSERT_EQ(launcher.Post(kGLPostAllLedgers).Value(), kBoolSuccess);
  EXPECT_EQ(+launcher.ApplBlock()->lines_posted, 4) << "the block is zeroed for each post";
  launcher.CloseFiles();
  auto batches = [](tsioDataFile& glt) {
    std::string out;
    for (const auto& r : ReadLines(glt)) out += r.batch.str() + " ";
    return out;
  };
  EXPECT_EQ(batches(company.Glt(1)), "B2 B2 B2 B2 ");
  EXPECT_EQ(batches(company.Glt(2)), "B1 B1 B1 B1 B1 B1 B1 B1 ");

  // The general ledger refusing: nothing moves, the launcher says so.
  glwPostLauncher again(company.Program());
  FailCall("GL_INIT_UPDATE", 1, 0, 1);
  EXPECT_EQ(again.OpenFiles(company.Program()), kBoolFailure);
  again.AddToBatchList(new zzBatchListNode("BK", tsAlpha("B2"), 2));
  FailCall("GL_UPDATE", 1, tsioStatus::kLocked, 1);
  st = again.Post(0);
  EXPECT_EQ(st.Value(), kBoolFailure);
  EXPECT_TRUE(st.HasError());
  EXPECT_EQ(ReadLines(company.Glt(1)).size(), 4u);
  ASSERT_EQ(again.Post(0).Value(), kBoolSuccess);
  EXPECT_TRUE(ReadLines(company.Glt(1)).empty());
}

TEST_F(GLPosting, BatchListChoiceDependsOnTheRunningApplication) {
  glwPostLauncher launcher(company.Program());
  TSGetApp()->SetApplicationID("GL");
  launcher.AddToBatchList(new zzBatchListNode("GL", tsAlpha("G1"), 1));
  TSGetApp()->SetApplicationID("GLX");
  launcher.AddToBatchList(new zzBatchListNode("GL", tsAlpha("G2"), 1));
  TSGetApp()->SetApplicationID("BK");
  EXPECT_EQ(launcher.BatchList().Node(0).Choice().Value(), 0);
  EXPECT_EQ(launcher.BatchList().Node(1).Choice().Value(), 1);
}

// While the "BK" to "GL" interface is active, a general ledger that refuses
// its objects cannot post: the creator and the launcher say so and write
// nothing.
TEST_F(GLPosting, RefusedInterfacesWhileTheInterfaceIsActiveAreNeverSuccess) {
  company.SetInterface(true);
  company.SetOptions(true, 1, 1);
  glwTranCreator creator(company.Program(), true, nullptr);
  ASSERT_EQ(creator.SetRunNumber(company.Program()).Value(), kBoolSuccess);
  RunScenario(company.Program(), creator, 2, 1, false, false);
  gltest::RefuseInterfaces(true);
  posttest::ExpectPostingRefused(company, creator, creator.ProcessTrans());
  glwPostLauncher launcher(company.Program());
  gltest::RefuseInterfaces(false);
  EXPECT_EQ(launcher.OpenFiles(company.Program()), kBoolSuccess);
  EXPECT_EQ(gltest::LiveObjects(), 0);
}

}  // namespace

namespace {

// Lines of a run written after some of its lines were posted take numbers
// past the posted ones, even once the run's numbers were forgotten (taking a
// definition back forgets them), so posting them never collides with a
// posted line.
// An update block writing one 12.34 debit/credit pair of run 41, batch B9.
void FillBlock(gl_update_def& block) {
  std::memset(&block, 0, sizeof block);
  block.write_transactions = 1;
  block.run_number = 41;
  gl_tran_def& d = block.tran;
  d.ledger = kGLLedgerAccrual;
  d.date_year = 2026;
  d.date_month = 3;
  d.date_day = 2;
  glSetTranDefAmount(d, tsDouble::FromText("12.34", 2));
  glPutText(d.debit_account, "1000100");
  glPutText(d.credit_account, "2000100");
  glPutText(d.appl_of_origin, "BK");
  glPutText(d.batch, "B9");
  d.batch_source = 2;
  d.run_number = 41;
}

TEST_F(GLPosting, LinesWrittenAfterAPostingOfTheirRunTakeNumbersPastThePostedOnes) {
  gl_update_def block;
  FillBlock(block);
  zb_batch_entry entry;
  std::memset(&entry, 0, sizeof entry);
  std::memcpy(entry.host_appl, "BK", 2);
  std::memcpy(entry.batch_id, "B9", 2);
  entry.source = 2;
  entry.choice = 1;
  zb_batch_list_def list;
  list.count = 1;
  list.entries = &entry;
  block.old_batch_list = &list;

  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(glw::GL_PROCESS_TRANSACTION(&block), 0) << round;
    if (round == 1) {
      ASSERT_EQ(glw::GL_PROCESS_TRANSACTION(&block), 0);
      ASSERT_EQ(glw::GL_REMOVE_TRANSACTION(&block), 0);
    }
    ASSERT_EQ(glw::GL_UPDATE(&block), kGLUpdateDone) << "posting round " << round;
  }
  EXPECT_TRUE(ReadLines(company.Glt(1)).empty());
  std::set<long long> sequences;
  for (const auto& r : ReadLines(company.Glt(2))) sequences.insert(r.sequence.ToLongLong());
  EXPECT_EQ(sequences.size(), 6u);
  glw::GL_FREE_RECAP_INFO(&block);
}

// A run or check number that is not whole (NaN, infinities, fractions, past
// 64 bits) is refused and writes nothing, rather than rounded to whatever the
// conversion gives.
TEST_F(GLPosting, RunAndCheckNumbersThatAreNotWholeAreRefused) {
  for (bool check : {false, true}) {
    for (double v : {std::nan(""), HUGE_VAL, -HUGE_VAL, 41.5, 1e19}) {
      gl_update_def block;
      FillBlock(block);
      (check ? block.tran.check_number : block.tran.run_number) = v;
      EXPECT_NE(glw::GL_PROCESS_TRANSACTION(&block), 0) << (check ? "check " : "run ") << v;
    }
  }
  EXPECT_TRUE(ReadLines(company.Glt(1)).empty());
  gl_update_def block;
  FillBlock(block);
  block.tran.check_number = 1001;
  ASSERT_EQ(glw::GL_PROCESS_TRANSACTION(&block), 0);
  EXPECT_EQ(ReadLines(company.Glt(1)).size(), 2u);
  glw::GL_FREE_RECAP_INFO(&block);
}

}  // namespace
