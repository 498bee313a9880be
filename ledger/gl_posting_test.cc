// General-ledger transactions from register transactions, with the
// general-ledger module loaded: the value source of their lines, the key
// that merges lines, the accumulator and the layout of the transaction
// definition; the lines written for every transaction type and option
// setting, processing that fails at every call, exact amounts, the account
// recap, the post launcher.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "framework/base/application.h"
#include "framework/io/faults.h"
#include "framework/io/rollback_stack.h"
#include "framework/module/gl_blocks.h"
#include "ledger/gl_binding.h"
#include "ledger/gl_post_launcher.h"
#include "ledger/gl_posting_test_support.h"
#include "ledger/gl_tran_creator.h"
#include "ledger/gl_tran_def_accumulator.h"
#include "ledger/gl_transaction_values.h"

namespace {

using posttest::Accumulate;
using posttest::Expect;
using posttest::GlPostingCompany;
using posttest::Lines;
using posttest::MakeTransaction;
using bktest::Said;
using gltest::FailCall;

// ---- values -----------------------------------------------------------------

// The bank's side of a zero adjustment (increasing) and the GL transaction
// types each include type omits for it (cash, non-cash, due from, due to,
// and any other value, which omits every type). The other transaction types'
// sides and omitted types are checked through the lines the matrices write.
TEST(GLTransactionValues, AZeroAdjustmentIsIncreasingAndAnyOtherIncludeTypeOmitsEveryType) {
  posttest::GlPostingCompany company;
  posttest::Source s(company.Program(), MakeTransaction(4, "0"));
  std::string said = std::to_string(s.values.GetBKTranType());
  for (auto include : {kBKIncludeCash, kBKIncludeNonCashWithTax, kBKIncludeDueFrom, kBKIncludeDueTo,
                       BKIncludeGLTranTypeEnum(3)}) {
    said += " " + std::to_string(s.values.GetOmittedGLTTranTypeBitfield(include).Value());
  }
  EXPECT_EQ(said, "4 14 13 11 7 15");
}

// Amount and descriptions by level as one text, as the record and its
// detail change: a reversal negates the amount and marks the descriptions
// (cut to 30 characters); a negative detail takes the subtraction when
// there is no addition; otherwise the net amount is made positive. (The
// references, as the options "CGLREF1" and "CGLREF2" say, and the ledgers
// of the accounting method are in every line of the matrices.)
TEST(GLTransactionValues, AmountAndDescriptionsFollowTheRecordAndItsDetail) {
  posttest::GlPostingCompany company;
  TransactionData t = MakeTransaction(2, "100", "Weekly takings from the shop counter", "DEP-9");
  DetailedTransactionData d(&t, t.GetDescription(), kNonCashWithTax, false, false);
  d.SetDescription(1, tsAlpha("Item one"));
  bkGLTransactionValues v(company.Program(), false, &d);
  std::string said;
  auto say = [&](const std::function<void()>& change) {
    change();
    said += v.Amount().Format() + " [" + v.Description(kTranLevelTransaction).str() + "] [" +
            v.Description(kTranLevelSummary).str() + "] [" + v.Description(kTranLevelDetail).str() + "]\n";
  };
  say([] {});
  say([&] { d.SetIsReversal(true); });
  say([&] {
    d.SetIsReversal(false);
    d.SetIsNegative(true);
    t.SetAddition(tsCurrency(0));
    t.SetSubtraction(tsCurrency(30));
  });
  say([&] { t.SetAddition(tsCurrency(-12)); });
  say([&] { d.SetIsNegative(false); });
  EXPECT_EQ(said,
            "100.00 [Weekly takings from the shop counter] [BK Deposit] [Item one]\n"
            "-100.00 [(REV) Weekly takings from the ] [(REV) BK Deposit] [(REV) Item one]\n"
            "30.00 [Weekly takings from the shop counter] [BK Deposit] [Item one]\n"
            "-12.00 [Weekly takings from the shop counter] [BK Deposit] [Item one]\n"
            "42.00 [Weekly takings from the shop counter] [BK Deposit] [Item one]\n");
}

// ---- key and layout -------------------------------------------------------------

// Which fields keep lines apart, in which order (a later field decides only
// when the earlier ones are equal; the others take no part); the key's
// texts are cut to their fields' widths and stay terminated, and the fields
// no posting test carries through land where they belong.
TEST(GLTranDefKey, OrdersByTheFieldsThatKeepLinesApartAndCopiesTextsCut) {
  bkGLTranDefKey base;
  base.m_CreditAccount = tsAlpha("C23456789012345678901234567890");  // longer than 25: cut
  base.m_Batch = tsAlpha("BATCH12345X");                              // 11 characters: cut to 10
  // Fields that take no part: lines still merge.
  bkGLTranDefKey same(base);
  same.m_ApplOfOrigin = tsAlpha("BKXXY");  // 5 characters: cut to 4
  same.m_Text = tsAlpha("x");
  same.m_EmployeeID = tsAlpha("EMP");
  same.m_JobID = tsAlpha("JOB");
  same.m_ARCustomerID = tsAlpha("CUST");
  same.m_ARInvoiceID = tsAlpha("INV");
  same.m_SMWorkOrderInvoiceID = tsNum<long>(99);
  EXPECT_TRUE(same == base && !(same < base) && !(base < same));
  gl_tran_def d;
  std::memset(&d, 'x', sizeof d);  // every byte dirty: the copy must terminate its texts
  same.CopyKeyToGLTranDef(d);
  auto text = [](const auto& field) { return std::string(field, strnlen(field, sizeof field)) + "|"; };
  EXPECT_EQ(text(d.credit_account) + text(d.appl_of_origin) + text(d.batch) + text(d.employee_id) + text(d.job_id) +
                text(d.ar_customer_id) + text(d.ar_invoice_id) + std::to_string(d.sm_work_order_invoice_id),
            "C234567890123456789012345|BKXX|BATCH12345|EMP|JOB|CUST|INV|99");
  // The fields that do, in their order, each made greater on a copy of the
  // base: every copy sorts after the base, and before the copy of the field
  // ahead of it.
  std::vector<bkGLTranDefKey> keys(11, base);
  keys[0].m_CreditAccount = tsAlpha("D");
  keys[1].m_DebitAccount = tsAlpha("1");
  keys[2].m_SummarizeCredit = tsBool(true);
  keys[3].m_SummarizeDebit = tsBool(true);
  keys[4].m_AccountingDate = tsDate(2025, 1, 1);
  keys[5].m_Journal = tsNum<short>(1);
  keys[6].m_ICReceivableAccount = tsAlpha("1");
  keys[7].m_ICPayableAccount = tsAlpha("1");
  keys[8].m_Batch = tsAlpha("C");
  keys[9].m_BatchSource = tsChoice(2);
  keys[10].m_RunNumber = tsDouble(1);
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_TRUE(keys[i] != base && base < keys[i] && keys[i] > base) << i;
    EXPECT_TRUE(i == 0 || keys[i] < keys[i - 1]) << i;
  }
}

// Amounts keep every cent through the definition: the exact form always,
// the double for every amount a money column holds (15 digits). (Exact sums
// are the accumulator model's; a sum that no longer fits, the lines'.)
TEST(GLTranDef, AmountsStayExactToTheCent) {
  std::mt19937_64 rng(20250305);
  const int64_t kLargest = 999999999999999;  // 9,999,999,999,999.99 in cents
  std::vector<int64_t> cents = {0, 1, -1, 10, 99, kLargest, -kLargest, kLargest - 1, 100000000000000};
  std::uniform_int_distribution<int64_t> any(-kLargest, kLargest);
  for (int i = 0; i < 20000; ++i) cents.push_back(any(rng));
  for (int64_t c : cents) {
    const tsCurrency amount(tsDouble::FromScaled(c, 2, 2));
    gl_tran_def d{};
    glSetTranDefAmount(d, amount);
    ASSERT_EQ(glTranDefAmount(d), amount) << c;
    gl_tran_def only_double{};
    only_double.amount = d.amount;
    ASSERT_EQ(glTranDefAmount(only_double), amount) << c << ": the double alone rounds back to the cent";
  }
}

// ---- accumulator ------------------------------------------------------------

// Units of work over random accumulations, rolls at every pair of levels,
// commits and rollbacks, against a model: the committed lines (key ->
// amount) and what the unit added. A roll moves out every line, in key
// order, when its ending level reaches the lines' level (-3 nothing, -2
// everything, -1 summary, 0 transaction, 1 item, 2 detail), and nothing
// otherwise; a rollback goes back to the committed lines, those rolled out
// in the unit included. (The creator's Commit and Rollback over its
// accumulators, with lines processed between, are followed by the totals'
// general-ledger test.)
TEST(GLTranDefAccumulator, RollsOutByLevelInKeyOrderAndRollbackReturnsToTheLastCommitModel) {
  // "<ending>:<line level>" of every pair that rolls out.
  const std::string rolls = " -2:-2 -2:-1 -2:0 -2:1 -2:2 -1:-1 -1:0 -1:1 -1:2 0:0 0:1 0:2 1:1 1:2 2:2 ";
  const auto cents = [](const glTranDefPtr& d) { return (glTranDefAmount(*d) * 100).ToLongLong(); };
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    bkGLTranDefAccumulator acc(kBKGLTranCash);
    std::map<std::string, long long> committed;  // cents held at the commit point
    std::map<std::string, long long> now;        // cents held now
    for (int step = 0; step < 60; ++step) {
      const int what = static_cast<int>(rng() % 11);
      if (what < 6) {
        const std::string account(1, static_cast<char>('A' + rng() % 4));
        const long long c = static_cast<long long>(rng() % 10000) - 2000;
        auto d = std::make_shared<gl_tran_def>();
        glSetTranDefAmount(*d, tsCurrency(tsDouble::FromScaled(c, 2, 2)));
        bkGLTranDefKey key;
        key.m_DebitAccount = tsAlpha(account);
        ASSERT_EQ(acc.AccumulateGLTranDef(key, d).Value(), now.count(account) ? 6 : 13);
        now[account] += c;
      } else if (what < 8) {
        const int ending = kTranLevelNothing + static_cast<int>(rng() % 6);
        const int level = kTranLevelNothing + static_cast<int>(rng() % 6);
        glTranDefList out;
        ASSERT_EQ(acc.RollTrans(out, TranLevelEnum(ending), TranLevelEnum(level)).Value(), tsioStatus::kSuccess);
        std::vector<long long> got, want;
        for (const glTranDefPtr& d : out) got.push_back(cents(d));
        if (rolls.find(" " + std::to_string(ending) + ":" + std::to_string(level) + " ") != std::string::npos) {
          for (const auto& [account, c] : now) want.push_back(c);
          now.clear();
        }
        ASSERT_EQ(got, want) << "a roll " << ending << ":" << level;
      } else if (what == 8) {
        acc.CommitUnit();
        committed = now;
      } else {
        acc.RollBackUnit();
        now = committed;
      }
      std::map<std::string, long long> held;
      for (const auto& [k, d] : acc.Lines()) held[k.m_DebitAccount.str()] = cents(d);
      ASSERT_EQ(held, now) << "round " << round << " step " << step;
    }
  }
}

// ---- creation and posting ---------------------------------------------------

class GLPosting : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_NE(gltest::LoadLedgerModule(), 0); }
  void TearDown() override {
    FailCall(nullptr, 0, 0, 0);
    gltest::Switch("gl_refuse_interfaces", false);
  }
  // A creator that writes GL transactions (or, when not `writes`, keeps the
  // account recap only), its run number taken.
  std::unique_ptr<glwTranCreator> Creator(bool writes = true) {
    auto creator = std::make_unique<glwTranCreator>(company.Program(), writes, nullptr);
    EXPECT_EQ(creator->SetRunNumber(company.Program()).Value(), kBoolSuccess);
    return creator;
  }
  // The creator's account recap, printed into a new section of the journal.
  std::string Recap(glwTranCreator& creator) {
    ccOldCrapID id;
    EXPECT_EQ(company.Program().Journal().AddSection(ccOldCrapSpec{"Recap", 132}, id).Value(), kBoolSuccess);
    creator.PrintRecap(static_cast<short>(id.Value()));
    std::string recap;
    for (const std::string& line : company.Program().Journal().Section(id)->PrintLines()) recap += line + "\n";
    return recap;
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

// `sign` -1 makes adjustments decreasing. The run is one unit of work of
// the program, committed at the end (the creator's units nest in it).
void RunScenario(bkProgram& program, glwTranCreator& creator, int type, int sign, bool ic, bool process = true) {
  tclRollbackStack run_unit;
  ASSERT_EQ(run_unit.EnsureBegun(program.File(BKTFileSpec)->Company()), tsioStatus::kSuccess);
  std::vector<std::unique_ptr<posttest::Source>> sources;
  for (const Tran& t : kRun) {
    for (const Item& item : t.items) {
      const std::string amount = (sign < 0 ? "-" : "") + std::string(item.amount);
      sources.push_back(std::make_unique<posttest::Source>(
          program, MakeTransaction(type, amount.c_str(), t.description, t.deposit_id, ic), item.description));
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

// The columns of a line the tables below give: ledger, account, debit (1) or
// credit (2), amount, description, references 1 and 2, summarized,
// intercompany receivable and payable, bank.
constexpr char kColumns[] = "GTLEDG GTACCT GTDC GTAMT GTDESC GTREF1 GTREF2 GTSUM GTICRC GTICPY GTBANK";

// The lines of a run, in the order written, from its sides: words
// "<level> <account> <D|C> <IC receivable>/<IC payable>". For each
// transaction in turn, the sides of level I for each item (with the item's
// description) or i (with the transaction's), then those of level T for the
// whole transaction; after both transactions, the summary lines of level S
// (no description, references or bank). Lines of a transaction or an item
// carry its references "bank account" / "deposit ID" (the options "CGLREF1"
// 2 and "CGLREF2" 3) and the bank. Each line is written to both ledgers.
std::vector<std::string> Want(const char* sides) {
  struct Side {
    std::string level, account, dc, ic;
  };
  std::vector<Side> all;
  std::istringstream in(sides);
  for (Side s; in >> s.level >> s.account >> s.dc >> s.ic;) all.push_back(s);
  std::vector<std::string> out;
  auto add = [&](const std::string& levels, const tsCurrency& amount, const std::string& description,
                 const std::string& item, const std::string& deposit) {
    for (const Side& s : all) {
      if (levels.find(s.level) == std::string::npos) continue;
      const bool summary = s.level == "S";
      const std::string ic = s.ic.substr(0, s.ic.find('/')) + " " + s.ic.substr(s.ic.find('/') + 1);
      const std::string line =
          s.account + (s.dc == "D" ? " 1 " : " 2 ") + amount.Format() + " " +
          (summary ? "   true " : (s.level == "I" ? item : description) + " BANK1 " + deposit + " false ") + ic +
          (summary ? " " : " BANK1");
      out.push_back("1 " + line);
      out.push_back("2 " + line);
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
  const char* sides;  // as Want reads them
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

// A batch part of the general ledger, which the creator sends its totals.
struct GLPart : zzBatchPart {
  GLPart() : zzBatchPart("GL") {}
  zzBatchPart* Clone() const override { return new GLPart(*this); }
  void ReceiveApplBlock(const void* block, std::size_t size) override {
    ASSERT_EQ(size, sizeof(gl_batch_appl_def));
    std::memcpy(&received, block, size);
  }
  gl_batch_appl_def received{};
};

// Besides the lines: each creator takes the next run, its blocks name the
// transaction file and the program's batch, and the batch part receives the
// totals of both ledgers, which balance.
TEST_F(GLPosting, EveryTransactionTypeAndOptionSettingGivesBalancedLinesAsTheMatricesSay) {
  zzBatch batch("BK", tsAlpha("B1"), 2);
  batch.AddPart(std::make_unique<GLPart>());
  company.Program().SetBatch(batch);  // the program keeps a copy (clones the parts)
  auto* part = dynamic_cast<GLPart*>(company.Program().GetBatch().ApplPart("GL"));
  ASSERT_NE(part, nullptr);
  company.SetAccountingMethod(3);  // both ledgers
  double last_run = 0;
  for (const Case& c : kCases) {
    const std::vector<std::string> want = Want(c.sides);
    for (const Setting& s : c.settings) {
      SCOPED_TRACE(std::string(c.name) + " detailed=" + std::to_string(s.detailed) + " cash=" +
                   std::to_string(s.cash) + " non-cash=" + std::to_string(s.non_cash));
      posttest::ClearLines(company.Glt());
      company.SetOptions(s.detailed, s.cash, s.non_cash);
      auto creator = Creator();
      const gl_update_def& block = creator->UpdateBlock();
      const double block_run = block.run_number;  // copied: the block is packed, the double unaligned
      EXPECT_EQ(std::pair(block_run, +block.glt_file),
                std::pair(last_run ? last_run + 1 : block_run, static_cast<int>(company.Glt().FileNum())));
      last_run = block_run;
      RunScenario(company.Program(), *creator, c.type, c.sign, c.ic);
      EXPECT_EQ(Lines(company.Glt(), kColumns), want);
      // What every line of the run shares.
      const std::string shared = std::to_string(static_cast<long long>(last_run)) + " 2025-03-05 7 BK B1 2 ";
      EXPECT_EQ(Lines(company.Glt(), "GTRUN GTDATE GTJRN GTAPPL GTBATCH GTBSRC GTCHECK"),
                std::vector(want.size(), shared + (c.type == 1 ? "1234" : "0")));
      EXPECT_TRUE(Lines(company.Glt(2)).empty());
      const char* batch_def = static_cast<const char*>(block.batch_def);
      EXPECT_EQ(std::string(batch_def) + "/" + std::string(batch_def + 5), "BK/B1");
      const long long cents = 2LL * (c.ic ? 30000 : 15000);
      const gl_batch_appl_def& totals = part->received;
      EXPECT_EQ((std::tuple{+totals.lines_written, +totals.debit_cents, +totals.credit_cents}),
                (std::tuple{static_cast<int32_t>(want.size()), cents, cents}));
    }
  }
}

// The module fails at each of its calls in turn, once and then for good
// (so the removals that undo the earlier definitions fail too): the
// transaction files end exactly as they were, the stack is empty, the
// account recap holds nothing and the message's level follows the status
// (the 1603 of a run counter that cannot be written, which gives no run,
// too).
TEST_F(GLPosting, TheModuleFailingAtEachCallLeavesTheFilesAsTheyWere) {
  company.SetOptions(true, 2, 2);
  company.SetAccountingMethod(3);
  RunScenario(company.Program(), *Creator(), 3, 1, true);  // lines already waiting
  // How many calls one processing of the whole run makes.
  auto probe = Creator();
  RunScenario(company.Program(), *probe, 2, 1, true, false);
  const int start = gltest::CallCount(nullptr);
  Expect(probe->ProcessTrans());
  const int calls = gltest::CallCount(nullptr) - start;
  ASSERT_EQ(calls, 24) << "12 definitions, two ledgers";
  probe.reset();
  const std::vector<std::string> after = Lines(company.Glt());

  // A run counter that cannot be written: no run number, 1603.
  glwTranCreator no_run(company.Program(), true, nullptr);
  tsioFaults::Arm(tsioOp::kInsert, tsioStatus::kLocked, 1, 1);
  tsioFaults::Arm(tsioOp::kUpdate, tsioStatus::kLocked, 1, 1);
  const ccStatus<ccBoolStatus> st = no_run.SetRunNumber(company.Program());
  tsioFaults::Clear();
  EXPECT_EQ(Said(st, false), "1 | 1603/3");

  // Once with a status that is an error, for good with one that is fatal:
  // message 1604 takes its level from the status and names it.
  for (auto [times, status, level] : {std::tuple{1, tsioStatus::kLocked, ccError::kError},
                                      {1000, tsioStatus::kDiskFull, ccError::kFatal}}) {
    for (int n = 1; n <= calls; ++n) {
      SCOPED_TRACE("call " + std::to_string(n) + " fails " + std::to_string(times) + " time(s)");
      auto creator = Creator();
      RunScenario(company.Program(), *creator, 2, 1, true, false);
      ASSERT_EQ(creator->StackSize(), 12u);
      FailCall(nullptr, n, status, times);
      ccStatus<tsioStatus::Status> st = creator->ProcessTrans();
      FailCall(nullptr, 0, 0, 0);
      EXPECT_EQ(Said(st, false), std::to_string(status) + " | 1604/" + std::to_string(level));
      EXPECT_NE(Said(st).find(ccIOStatusStr(status)), std::string::npos) << Said(st);
      EXPECT_EQ(creator->StackSize(), 0u);
      EXPECT_EQ(Lines(company.Glt()), after);
      EXPECT_EQ(Recap(*creator), "General Ledger Account Recap\n\nNo General Ledger transactions.\n");
    }
  }
}

// The largest amount a money column holds, and amounts of every length
// below it, pass through the definitions and the general ledger to the
// lines exactly, processed after the value source has moved on to a
// transaction of another application (which itself gives no line); amounts
// that cannot be written (two of the largest merged, an adjustment with
// both amounts: neither a debit nor a credit) are refused and write nothing.
TEST_F(GLPosting, AmountsReachTheLinesExactlyEvenProcessedOnAnotherApplicationsTransaction) {
  company.SetOptions(true, 1, 1);
  auto creator = Creator();
  std::vector<std::string> want;
  for (const char* amount : {"0.01", "0.10", "9999999999999.99", "9999999999999.98", "1000000000000.01",
                             "1234567890123.45", "987654321.09", "5.55", "0.29"}) {
    Accumulate(*creator, company.Program(), MakeTransaction(2, amount, "Exact", "", false), true);
    want.insert(want.end(), {amount, amount});
  }
  posttest::Source theirs(company.Program(), MakeTransaction(1, "30", "Theirs", "", false));
  theirs.record.SetApplOfOrigin(tsAlpha("AP"));
  creator->SetTranValuesObject(&theirs.values);
  Expect(creator->AccumulateTrans(kBKIncludeAll));
  Expect(creator->RollTrans(kTranLevelEverything, kBKIncludeAll));
  Expect(creator->ProcessTrans());
  creator->SetTranValuesObject(nullptr);
  EXPECT_EQ(Lines(company.Glt(), "GTAMT"), want);

  const auto before = Lines(company.Glt());
  company.SetOptions(false, 1, 1);
  glwTranCreator summary(company.Program(), true, nullptr);
  for (int i = 0; i < 2; ++i) {
    Accumulate(summary, company.Program(), MakeTransaction(2, "9999999999999.99", "Big", "", false));
  }
  EXPECT_EQ(summary.ResetTranCreator(true).Value(), tsioStatus::kValueDoesNotFit);
  company.SetOptions(true, 1, 1);
  glwTranCreator both(company.Program(), true, nullptr);
  TransactionData t = MakeTransaction(4, "20", "Both", "", false);
  t.SetSubtraction(tsCurrency(5));
  Accumulate(both, company.Program(), t);
  EXPECT_EQ(both.ResetTranCreator(true).Value(), tsioStatus::kInvalidOperation);
  EXPECT_EQ(Lines(company.Glt()), before);
}

// The recap of a creator that does not write GL transactions: the lines
// go to the recap only, by the creator's units (a later unit rolled back
// leaves the recap as committed).
TEST_F(GLPosting, AccountRecapPrintsIntoTheJournal) {
  company.SetOptions(false, 1, 1);
  company.SetAccountingMethod(3);
  auto creator = Creator(false);
  const gl_update_def& none = creator->UpdateBlock();
  EXPECT_TRUE(none.run_number == 0 && none.batch_def == nullptr && none.glt_file == 0) << "no run, no blocks";
  RunScenario(company.Program(), *creator, 2, 1, true);
  creator->Commit();
  RunScenario(company.Program(), *creator, 1, 1, true);
  creator->Rollback();
  EXPECT_TRUE(Lines(company.Glt()).empty()) << "recap only";
  const std::string ledger = R"(
  Account                                Debits         Credits
  1000                                   150.00            0.00
  1500                                   150.00            0.00
  2500                                     0.00          150.00
  4000                                     0.00          150.00
                                --------------- ---------------
                                         300.00          300.00

)";
  EXPECT_EQ(Recap(*creator), "General Ledger Account Recap\n\nAccrual ledger" + ledger + "Cash ledger" + ledger);
}

// ---- the post launcher ------------------------------------------------------

// Batches B1 and B2 processed, B1 posted (the accrual ledger, then the
// rest); a general ledger that refuses moves nothing and the launcher says
// so. A listed batch's choice is 0 when the running application is the
// batch's own ("GL" for a GL batch), 1 otherwise.
TEST_F(GLPosting, PostLauncherPostsTheListedBatches) {
  company.SetOptions(true, 1, 1);
  company.SetAccountingMethod(3);
  for (const char* batch : {"B1", "B2", "B1"}) {
    auto creator = Creator();
    TransactionData t = MakeTransaction(2, "10", "Dep", "D", false);
    t.SetBatch(tsAlpha(batch));
    Accumulate(*creator, company.Program(), t);
    Expect(creator->ResetTranCreator(true));
  }
  glwPostLauncher launcher(company.Program());
  ASSERT_EQ(launcher.OpenFiles(company.Program()), kBoolSuccess);
  launcher.AddToBatchList(new zzBatchListNode("BK", tsAlpha("B1"), 2));
  ASSERT_EQ(launcher.Post(kGLPostAccrualOnly).Value(), kBoolSuccess);
  EXPECT_EQ(std::pair(+launcher.ApplBlock()->lines_posted, +launcher.ApplBlock()->glt_file),
            std::pair(4, static_cast<int>(company.Glt(1).FileNum())));
  EXPECT_EQ(Lines(company.Glt(2), "GTLEDG GTBATCH"), std::vector<std::string>(4, "1 B1"));
  ASSERT_EQ(launcher.Post(kGLPostAllLedgers).Value(), kBoolSuccess);
  EXPECT_EQ(+launcher.ApplBlock()->lines_posted, 4) << "the block is zeroed for each post";
  launcher.CloseFiles();
  EXPECT_EQ(Lines(company.Glt(1), "GTBATCH"), std::vector<std::string>(4, "B2"));
  EXPECT_EQ(Lines(company.Glt(2), "GTBATCH"), std::vector<std::string>(8, "B1"));

  glwPostLauncher again(company.Program());
  FailCall("GL_INIT_UPDATE", 1, 0, 1);
  EXPECT_EQ(again.OpenFiles(company.Program()), kBoolFailure);
  again.AddToBatchList(new zzBatchListNode("BK", tsAlpha("B2"), 2));
  FailCall("GL_UPDATE", 1, tsioStatus::kLocked, 1);
  EXPECT_EQ(Said(again.Post(0), false), "1 | 0/3");  // failure, with its error
  EXPECT_EQ(Lines(company.Glt(1)).size(), 4u);
  ASSERT_EQ(again.Post(0).Value(), kBoolSuccess);
  EXPECT_TRUE(Lines(company.Glt(1)).empty());

  glwPostLauncher choices(company.Program());
  for (const char* application : {"GL", "GLX", "BK"}) {
    TSGetApp()->SetApplicationID(application);
    choices.AddToBatchList(new zzBatchListNode("GL", tsAlpha("G1"), 1));
  }
  const zzBatchList& list = choices.BatchList();
  EXPECT_EQ(std::tuple(list.Node(0).Choice().Value(), list.Node(1).Choice().Value(), list.Node(2).Choice().Value()),
            std::tuple(0, 1, 1));
}

// While the "BK" to "GL" interface is active, a general ledger that refuses
// its objects (or is absent) cannot post: processing answers error 1604 and
// the reinstall line, empties the stack and writes nothing; a launcher
// neither opens nor posts. Given its objects again, a launcher opens with
// nothing waiting.
TEST_F(GLPosting, RefusedInterfacesWhileTheInterfaceIsActiveAreNeverSuccess) {
  company.SetInterface(true);
  company.SetOptions(true, 1, 1);
  auto creator = Creator();
  RunScenario(company.Program(), *creator, 2, 1, false, false);
  gltest::Switch("gl_refuse_interfaces", true);
  const ccStatus<tsioStatus::Status> st = creator->ProcessTrans();
  ASSERT_EQ(Said(st, false), std::to_string(tsioStatus::kFileDoesNotExist) + " | 1604/3 | 0/0");
  EXPECT_EQ(st.Errors()[1].Text2(), "You may need to reinstall General Ledger.");
  EXPECT_EQ(creator->StackSize(), 0u);
  EXPECT_TRUE(Lines(company.Glt()).empty());
  glwPostLauncher refused(company.Program());
  EXPECT_EQ(refused.OpenFiles(company.Program()), kBoolFailure);
  refused.AddToBatchList(new zzBatchListNode("BK", tsAlpha("B1"), 2));
  EXPECT_EQ(Said(refused.Post(0), false), "1 | 0/3");
  refused.CloseFiles();
  gltest::Switch("gl_refuse_interfaces", false);
  glwPostLauncher launcher(company.Program());
  EXPECT_EQ(launcher.OpenFiles(company.Program()), kBoolSuccess);
  EXPECT_EQ(gltest::LiveObjects(), 0);
}

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

// Lines of a run written after some of its lines were posted take numbers
// past the posted ones, even once the run's numbers were forgotten (taking a
// definition back forgets them), so posting them never collides with a
// posted line. A run or check number that is not whole (NaN, infinities,
// fractions, past 64 bits) is refused and writes nothing, rather than
// rounded to whatever the conversion gives.
TEST_F(GLPosting, LinesWrittenAfterAPostingOfTheirRunTakeNumbersPastThePostedOnes) {
  gl_update_def block;
  for (bool check : {false, true}) {
    for (double v : {std::nan(""), HUGE_VAL, -HUGE_VAL, 41.5, 1e19}) {
      FillBlock(block);
      (check ? block.tran.check_number : block.tran.run_number) = v;
      EXPECT_NE(glw::GL_PROCESS_TRANSACTION(&block), 0) << (check ? "check " : "run ") << v;
    }
  }
  EXPECT_TRUE(Lines(company.Glt(1)).empty());
  FillBlock(block);
  block.tran.check_number = 1001;
  zzBatchList batches;
  auto* b9 = new zzBatchListNode("BK", tsAlpha("B9"), 2);
  b9->SetChoice(tsChoice(1));
  batches.AppendNode(b9);
  block.old_batch_list = batches.BuildOldBatchList();
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(glw::GL_PROCESS_TRANSACTION(&block), 0) << round;
    if (round == 1) {
      ASSERT_EQ(glw::GL_PROCESS_TRANSACTION(&block), 0);
      ASSERT_EQ(glw::GL_REMOVE_TRANSACTION(&block), 0);
    }
    ASSERT_EQ(glw::GL_UPDATE(&block), kGLUpdateDone) << "posting round " << round;
  }
  EXPECT_TRUE(Lines(company.Glt(1)).empty());
  EXPECT_EQ(Lines(company.Glt(2), "GTSEQ GTCHECK"),
            (std::vector<std::string>{"1 1001", "2 1001", "3 1001", "4 1001", "5 1001", "6 1001"}));
  glw::GL_FREE_RECAP_INFO(&block);
}

}  // namespace
