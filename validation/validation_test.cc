// The rules of the validaters. Type-independent rules with the "BK" to "GL"
// interface inactive: a record breaking every rule at once over the four
// transaction types and the transfer validater, alone the rules the kind or
// sign decides, invalid types. General-ledger rules, one row per rule, with
// the general-ledger module loaded and GL master data written into the
// company: regular accounts, intercompany prefixes (matching and not),
// intercompany accounts, closed and unknown periods (each distinct prefix
// once, the " uses this date." line when warnings are the worst finding),
// checks of batch source 2 and companies without prefixes.
//
// Deposits and withdrawals entered in this module, with their detail lines
// on a real transaction file and the general-ledger module loaded: no
// lines, a line whose deposit item is missing, account checks per line (none
// with the interface inactive); lines that cannot be read (faults, a
// line another program holds) never let a transaction pass; validation
// writes nothing and holds no lock.
//
// The entry and posting totals: units of work, the report compared with
// golden journals (validation/testdata), and the general-ledger lines fed
// with the units.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "deposits/withdrawal_detail.h"
#include "framework/base/application.h"
#include "framework/io/backend.h"
#include "framework/io/backup.h"
#include "framework/io/faults.h"
#include "ledger/gl_posting_test_support.h"
#include "ledger/gl_tran_creator.h"
#include "validation/deposit_validater.h"
#include "validation/tran_totals.h"
#include "validation/validation_test_support.h"

namespace {

using namespace vtest;
using bkdetailtest::Put;
using bktest::Said;

std::string ReadError(const char* what, int level, const char* status) {
  return Msg(1614, level, std::string("Could not read the ") + what + " record: " + status + ".");
}
const std::string kNoItem = Msg(1611, 3, "The Deposit item detail has no deposit item; at least one is required.");
const std::string kICRequired = Blank("I/C Receivable Account") + Blank("I/C Payable Account");

// The accounts of detail lines by short name ("-" is none; any other name
// is the account itself).
std::string Account(const std::string& name) {
  static const std::map<std::string, std::string> names = {
      {"S", kSales}, {"F", kFees}, {"R", kRent}, {"O", kOther}, {"U", kUnknown}, {"DF", kDueFrom}, {"DT", kDueTo},
      {"-", ""}};
  return names.contains(name) ? names.at(name) : name;
}
const char* const kTwoItems = "1=200.00 2=100.00";
const char* const kThreeLines = "1 S 150.00, 1 F 50.00, 2 S 100.00";

class Details : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(gltest::LoadLedgerModule(), 0);
    company.SetInterface(true);
  }
  void TearDown() override { tsioFaults::Clear(); }

  // Stores a deposit ('D') or withdrawal ('W') with its items ("ITEM=AMOUNT
  // ...") and lines ("ITEM ACCOUNT AMOUNT [DUE-FROM [DUE-TO]], ...", item 0
  // for a withdrawal's), entered in this module (application "BK", manual
  // batch) under the next sequence number; its own account (the debit of a
  // deposit of 300.00, the credit of a withdrawal of 75.00) is the cash
  // account unless `change` ("COLUMN=value;...") says otherwise.
  TransactionData Store(char kind, const std::string& items, const std::string& lines,
                        const tsDate& date = OpenDate(), const std::string& change = "") {
    const std::string s = std::to_string(++stored_);
    const TransactionData r = Valid(kind, std::string("TAPPL=BK;TSOURCE=2;") + On(date) +
                                              (kind == 'D' ? "TGLDBT=" : "TGLCRDT=") + kCash + ";" + change, stored_);
    Transaction t(bkt);
    t.m_Record = r;
    EXPECT_EQ(t.Insert(), tsioStatus::kSuccess);
    std::istringstream in(items);
    for (std::string item; in >> item;) {
      item.replace(item.find('='), 1, ";DIAMT=");
      Put<DepositItem>(bkt, "DIBNKAC=FIRST;DIRUN=1;DISEQ=" + s + ";DITEMNO=" + item);
    }
    for (const std::string& line : tsSplitNames(lines, ',')) {
      std::istringstream l(line);
      std::string item, account, amount, due_from = "-", due_to = "-";
      l >> item >> account >> amount >> due_from >> due_to;
      const std::string p = item == "0" ? ";WD" : ";DIG";
      const std::string rest =
          Account(account) + p + "AMT=" + amount + p + "ICRC=" + Account(due_from) + p + "ICPY=" + Account(due_to);
      if (item == "0") {
        Put<WithdrawalDetail>(bkt, "WDBNKAC=FIRST;WDRUN=1;WDSEQ=" + s + ";WDGLACC=" + rest);
      } else {
        Put<DepositItemDetail>(bkt, "DIGBNKA=FIRST;DIGRUN=1;DIGSEQ=" + s + ";DIGLINO=" + item + ";DIGLACC=" + rest);
      }
    }
    return r;
  }
  // Validates the stored transaction `record` through its cursor, the
  // `nth` fetch after positioning it failing with `fault` (0: none).
  std::string Validate(const TransactionData& record, int nth = 0,
                       tsioStatus::Status fault = tsioStatus::kSuccess) {
    Transaction t(bkt);
    Fetch(t, record);
    if (nth > 0) tsioFaults::Arm(tsioOp::kFetch, fault, nth);
    const std::string said = Said(t.Validate(company.Program()));
    tsioFaults::Clear();
    return said;
  }

  ValidationCompany company;
  tsioDataFile& bkt = company.Bkt();
  int stored_ = 0;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return (std::stringstream() << in.rdbuf()).str();
}

// The contents of every file of the company folder (the shared-memory
// index of the write-ahead log excepted: readers note themselves there); of
// a server company, its backup's.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  if (tsioIsServerAddress(folder)) {
    bktest::TempDir copy;
    EXPECT_EQ(tsioBackupCompany(folder, copy.Sub("company.db")), tsioStatus::kSuccess);
    return Snapshot(copy.path());
  }
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (!e.path().string().ends_with("-shm")) files[e.path().filename()] = ReadFile(e.path());
  }
  return files;
}

// Every case validated twice: the same answer, and no file of the company
// changed. Details are read only by a validater that holds the
// transaction's cursor, for transactions entered in this module while the
// interface is active.
TEST_F(Details, DepositAndWithdrawalLinesAndValidationWritesNothing) {
  const tsDate warn = ClosedWarningDate();
  const std::string closed = Period(1605, warn, "01-01") + UsesThisDate("Deposit transaction for Bank \"FIRST\"");
  const struct {
    char kind;
    const char* items;
    const char* lines;
    std::string said;
    tsDate date = OpenDate();
    const char* change = "";
  } cases[] = {
      {'D', kTwoItems, kThreeLines, "0"},
      {'D', "1=300.00", "", "3" + Msg(1611, 3, "The Deposit has no deposit item detail; at least one is required.")},
      {'D', "1=100.00", "1 S 100.00, 2 S 100.00", "3" + kNoItem},      // no sum check after a missing item
      // A line crediting another company needs intercompany accounts; one of the same company has none.
      {'D', "1=300.00", "1 O 300.00", "3" + kICRequired},
      {'D', "1=300.00", "1 O 300.00 DF DT", "0"},
      {'D', "1=300.00", "1 S 300.00 - DT", "3" + NonBlank("I/C Payable", "blank")},
      {'D', "1=300.00", "1 U 300.00",
       "3" + Msg(1627, 3, "General Ledger could not build the intercompany account: The prefix of the second "
                          "account is not set up in General Ledger.")},
      {'D', "1=300.00", "1 S 200.00, 1 F 100.00", "2" + closed + closed, warn},  // each line checked, a warning
      {'W', "", "0 R 50.00, 0 F 25.00", "0"},
      {'W', "", "", "3" + Msg(1611, 3, "The Withdrawal has no withdrawal detail; at least one is required.")},
      {'W', "", "0 O 75.00", "3" + kICRequired},
      // An addition is refused first; no detail is checked after that error.
      {'W', "", "0 O 1.00", "3" + NonBlank("Addition", "zero"), OpenDate(), "TADD=5"},
      // Entered by another application: the transaction's own accounts, no details.
      {'D', "", "", "0", OpenDate(), "TAPPL=AR"},
      {'W', "", "", "0", OpenDate(), "TAPPL=AR"},
  };
  std::vector<TransactionData> stored;
  for (const auto& c : cases) stored.push_back(Store(c.kind, c.items, c.lines, c.date, c.change));
  const auto before = Snapshot(company.Folder());
  ASSERT_TRUE(before.count("company.db"));
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < stored.size(); ++i) EXPECT_EQ(Validate(stored[i]), cases[i].said) << "case " << i;
  }
  EXPECT_TRUE(Snapshot(company.Folder()) == before) << "a file of the company changed";
  // Validated on its own, before its cursor, a record gets the
  // type-independent rules only; the cursor's validater then replaces the
  // record's own.
  Transaction t(bkt);
  Fetch(t, stored[1]);
  EXPECT_EQ(Said(t.m_Record.Validate(company.Program(), nullptr), false), "0");
  EXPECT_EQ(Said(t.Validate(company.Program()), false), "3 | 1611/3");
  EXPECT_EQ(Said(t.m_Record.Validate(company.Program(), nullptr), false), "3 | 1611/3");
  company.SetInterface(false);  // no general-ledger rule, no detail read
  for (size_t i = 0; i < stored.size(); ++i) {
    EXPECT_EQ(Validate(stored[i]), std::string(cases[i].change).starts_with("TADD") ? cases[i].said : "0") << i;
  }
}

// A line or item that cannot be read ends the check with an error, wherever
// the walk is. The GL master file is closed here, so no period check reads
// it and the only fetches are the walk's: deposit 1 first line, 2 its item,
// 3 next line, 4 its item, 5 end (a withdrawal's details go through the same walk).
// Validation leaves no line locked: another program can lock one. A line
// another program holds locked (it is changing or moving it) is not taken
// as read: the deposit does not pass until that program lets go.
TEST_F(Details, UnreadableOrHeldLinesNeverPass) {
  company.Program().FileManager().Close(GLMFileSpec);
  const TransactionData d = Store('D', kTwoItems, "1 - 200.00, 2 - 100.00", OpenDate(), "TGLDBT=");
  (void)zc_interface_active("BK", "GL");  // the interface setting is read before faults are armed
  const char* const damaged = "the data file is damaged (16)";
  const std::string line = ReadError("deposit item detail", 4, damaged);
  // The failing fetch (0: none) and how, what validation answers.
  const std::tuple<int, tsioStatus::Status, std::string> cases[] = {
      {0, tsioStatus::kSuccess, "0"},
      {6, tsioStatus::kDamaged, "0"},  // nothing is read after the end
      {1, tsioStatus::kDamaged, "4" + line},
      {2, tsioStatus::kDamaged, "4" + ReadError("deposit item", 4, damaged)},
      {2, tsioStatus::kNotFound, "3" + kNoItem},
      {3, tsioStatus::kBusy, "3" + ReadError("deposit item detail", 3, "the data is busy in another program (10)")},
      {5, tsioStatus::kDamaged, "4" + line},  // the end, after lines that add up
  };
  for (const auto& [nth, status, said] : cases) {
    EXPECT_EQ(Validate(d, nth, status), said) << "fetch " << nth;
  }
  auto holder =
      bkdetailtest::HoldLock<DepositItemDetail>(company.Folder(), "DIGBNKA=FIRST;DIGRUN=1;DIGSEQ=1;DIGLINO=2");
  EXPECT_EQ(Validate(d), "3" + ReadError("deposit item detail", 3, "record locked by another program (9)"));
  holder.Kill(SIGKILL);
  EXPECT_EQ(holder.Wait(), -SIGKILL);
  EXPECT_EQ(Validate(d), "0");
}

// A record breaking every type-independent rule at once gets every message
// in one list, in order, at level 3 (a record that passes gets none). Alone,
// one change to a record that passes: the rules whose answer depends on more
// than the field itself (a bank of blanks, a check entered in this module, a
// deposit without an id, the sign of an adjustment's or transfer's net).
TEST(Rules, EveryRuleAtOnceAndAloneWhereTheKindOrSignDecides) {
  ValidationCompany company;
  const std::string no_add = NonBlank("Addition", "zero"), no_sub = NonBlank("Subtraction", "zero");
  const std::string no_check = NonBlank("Check number", "blank"), invalid = Msg(1607, 3, "Invalid transaction type.");
  const std::string negative_add = Blank("Addition", "negative"), negative_sub = Blank("Subtraction", "negative");
  // Every type-independent rule broken at once; the net amount -1 - -2 = +1
  // makes adjustments and transfers a plus side.
  const std::string all = "TBNKACC=;TTRANDT=;TACTGDT=;TAPPL=;TBATCH=;TSOURCE=0;TRUN=0;TSEQ=0;TADD=-1;TSUBTR=-2;";
  const std::string bank_and_dates = Blank("Bank") + Blank("Transaction Date") + Blank("Accounting Date");
  const std::string rest = Blank("Application of Origin") + Blank("Batch ID") + Blank("Batch Source") +
                           Blank("Run Number", "zero") + Blank("Sequence Number", "zero") + negative_add + negative_sub;
  ExpectEvery(company.Program(), {
      {"CDWAT", "", "0"},
      {"CDWAT", "TBNKACC=  ", "3" + Blank("Bank")},
      {"C", "TAPPL=BK", "3" + no_sub},  // a check entered in this module carries no subtraction
      {"C", "TAPPL=BK;TSUBTR=0", "0"},
      {"D", "TDEPID=;TADD=0", "0"},
      // Adjustments and transfers: the sign of the net amount decides.
      {"AT", "TADD=10;TSUBTR=10", "3" + no_add + no_sub},
      {"AT", "TADD=0;TSUBTR=0", "0"},
      {"AT", "TADD=10;TSUBTR=4", "3" + no_sub},
      {"AT", "TADD=4;TSUBTR=10", "3" + no_add},
      {"C", all + "TCHECK=0", "3" + bank_and_dates + Blank("Check number") + rest + no_add},
      {"W", all + "TCHECK=7", "3" + bank_and_dates + no_check + rest + no_add},
      {"DAT", all + "TCHECK=7", "3" + bank_and_dates + no_check + rest + no_sub},
      // An invalid type: the record's own choice reaches no other rule; the
      // transfer validater runs the type rule first, then every other rule.
      {"CDWA", all + "TRANTYP=5", "3" + invalid},
      {"T", all + "TCHECK=7;TRANTYP=0", "3" + invalid + bank_and_dates + no_check + rest + no_sub},
  });
  // The batch fields use the user's term for a batch.
  tsString::SetCustomDescription("<1I>", "Deposit slip");
  ExpectEvery(company.Program(), {{"C", "TBATCH=;TSOURCE=0", "3" + Blank("Deposit slip ID") +
                                                                  Blank("Deposit slip Source")}});
  tsString::ResetCustomDescriptions();

  // A validater built on nothing never dereferences it.
  bkProgram& program = company.Program();
  std::unique_ptr<TransactionValidater> empty[] = {
      std::make_unique<DepositValidater>(program, static_cast<Transaction*>(nullptr)),
      std::make_unique<TransferValidater>(program, static_cast<TransactionData*>(nullptr))};
  for (auto& none : empty) EXPECT_TRUE(bktest::Said(none->DoIt(program)).starts_with("3" + invalid));
}

class Ledger : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(gltest::LoadLedgerModule(), 0); }
  void TearDown() override { EXPECT_EQ(gltest::LiveObjects(), 0) << "a general-ledger object was left alive"; }
};

// Checks over the accounts and accounting date of each case, the interface
// active (dates closed and before every period); then a company without
// prefixes.
TEST_F(Ledger, AccountsPrefixesAndPeriods) {
  ValidationCompany company;
  company.SetInterface(true);
  const tsDate warn = ClosedWarningDate(), unknown(2024, 6, 1);
  const std::string uses = UsesThisDate("Check transaction for Bank \"FIRST\"");
  const std::string no_prefix = Msg(1627, 3, "General Ledger could not build the intercompany account: The prefix "
                                             "of the first account is not set up in General Ledger.");
  const std::string closed = Period(1605, warn, "01-01");
  ExpectEvery(company.Program(), {
      {"C", Accounts(kCash, kSales), "0"},
      {"C", Accounts(kCash, kSales, kDueFrom), "3" + NonBlank("I/C Receivable Account", "blank")},
      {"C", Accounts(kCash, kOther), "3" + kICRequired},
      {"C", Accounts(kCash, kOther, kDueFrom, kDueTo), "0"},
      {"C", Accounts(kCash, kSister), "0"},  // matched prefixes need no intercompany accounts
      // An unknown prefix: no intercompany or period rule after it.
      {"C", Accounts(kUnknown, kCash) + On(warn), "3" + no_prefix},
      // The regular-account and prefix rules run whatever the type-independent
      // rules found; the intercompany and period rules only while no error is.
      {"C", "TBNKACC=;" + Accounts(kUnknown, kOther) + On(warn), "3" + Blank("Bank") + no_prefix},
      {"C", "TBNKACC=;" + Accounts(kCash, kOther) + On(warn), "3" + Blank("Bank")},
      // Periods: each prefix checked once; no known period is an error,
      // without the closing line.
      {"C", Accounts(kCash, kSales) + On(warn), "2" + closed + uses},
      {"C", Accounts(kCash, kSales) + On(unknown), "3" + Period(1624, unknown, "01-01")},
      {"C", Accounts(kCash, kSister) + On(warn), "2" + closed + Period(1605, warn, "03-03") + uses},
      // 02-02 keeps a calendar of its own (open); the others use the company's,
      // in account order.
      {"C", Accounts(kCash, kOther, kDueFrom, kDueTo) + On(warn),
       "2" + closed + Period(1605, warn, "01-02") + Period(1605, warn, "02-01") + uses},
      {"C", Accounts("", kSales, kDueFrom) + On(warn), "2" + closed + Period(1605, warn, "01-02") + uses},
      // Checks of batch source 2 skip the account, intercompany and period rules.
      {"C", "TSOURCE=2;" + Accounts(kCash, kOther) + On(warn), "0"},
  });
  // A company whose accounts carry no prefix has one calendar; it is checked
  // once for the transaction's accounts.
  ValidationCompany unprefixed(/*prefixed=*/false);
  unprefixed.SetInterface(true);
  const std::string accounts = Accounts("1000100", "4000000");
  ExpectEvery(unprefixed.Program(),
              {{"A", accounts + On(warn), "2" + Period(1605, warn, nullptr) +
                                              UsesThisDate("Adjustment transaction for Bank \"FIRST\"")},
               {"A", accounts, "0"}});
}

using posttest::GlPostingCompany;

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
  for (std::string step, type, amount; in >> step;) {
    if (step == "commit" || step == "rollback") {
      step == "commit" ? totals.Commit() : totals.RollBack();
    } else if (in >> type >> amount) {
      TransactionData t = posttest::MakeTransaction(std::stoi(type), amount.c_str(), "T", "D", false);
      t.SetBankAccount(tsAlpha(step.substr(1)));
      step[0] == '+' ? totals.AddTransaction(t) : totals.SubtractTransaction(t);
    }
  }
}

// The journal of totals of `type` after `steps`, printed once; printing
// again prints nothing more.
std::string Report(TranTotals::TotalsType type, bool general_ledger, const std::string& steps, bool begin_unit = true) {
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
  const char* check_term = nullptr;  // the user's term for a check, if any
} kScenarios[] = {
    {"totals_empty.txt", TranTotals::kEntryTotals, ""},
    {"totals_one_bank.txt", TranTotals::kPostTotals, "+FIRST 2 100 +FIRST 1 20 commit +FIRST 2 50 commit"},
    {"totals_several_banks.txt", TranTotals::kTotals,
     "+SECOND 3 30 +FIRST 2 1234.5 +SECOND 1 20 +SECOND 4 10 commit"},
    {"totals_single_type.txt", TranTotals::kEntryTotals, "+FIRST 1 20 commit +FIRST 1 5.25 commit"},
    {"totals_single_type.txt", TranTotals::kEntryTotals, "+FIRST 1 20 +FIRST 1 5.25 commit", false},
    // A type whose user's term is blank is named as such; amounts carry their thousands separators.
    {"totals_blank_type.txt", TranTotals::kEntryTotals, "+FIRST 1 1234567.8 commit", true, ""},
    {"totals_rolled_back.txt", TranTotals::kPostTotals,
     "+FIRST 2 100 commit +FIRST 1 20 +FIRST 2 50 rollback +FIRST 3 30 -FIRST 3 30 commit"},
    // The title and empty line of the other types (the entry totals' are the first
    // row's); a unit never committed counts nothing.
    {"TOTALS\n  No entries created.\n", TranTotals::kTotals, "+FIRST 2 1"},
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
      if (s.check_term) tsString::SetCustomDescription("<8I>", s.check_term);
      EXPECT_EQ(Report(s.type, general_ledger, s.steps, s.begin_unit), expected);
      tsString::ResetCustomDescriptions();
    }
  }
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
  company.Program().Journal().SetSectionLimit(3);  // room for the report's section, not the ledger's
  TranTotals refused(company.Program(), TranTotals::kPostTotals, false);
  ccStatus<ccBoolStatus> st = refused.InitJournalSection();
  EXPECT_TRUE(st.Value() == kBoolFailure && st.HasError());
}

}  // namespace
