// Deposits and withdrawals entered in this module, with their detail lines
// on a real transaction file and the general-ledger module loaded: no
// lines, lines that do not add up by one cent, a line whose deposit item is
// missing, account checks per line; lines that cannot be read (faults, a
// line another program holds) never let a transaction pass; validation
// writes nothing and holds no lock.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "deposits/withdrawal_detail.h"
#include "framework/io/backend.h"
#include "framework/io/backup.h"
#include "framework/io/faults.h"
#include "validation/validation_test_support.h"

namespace {

using namespace vtest;
using bkdetailtest::Put;
using bktest::Said;

std::string ReadError(const char* what, int level, const char* status) {
  return Msg(1614, level, std::string("Could not read the ") + what + " record: " + status + ".");
}
const std::string kNoItem = Msg(1611, 3, "The Deposit item detail has no deposit item; at least one is required.");

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
  // Validates the stored transaction `record` through its cursor.
  std::string Validate(const TransactionData& record) {
    Transaction t(bkt);
    Fetch(t, record);
    return Said(t.Validate(company.Program()));
  }

  ValidationCompany company;
  tsioDataFile& bkt = company.Bkt();
  int stored_ = 0;
};

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
    if (e.path().string().ends_with("-shm")) continue;
    std::ifstream in(e.path(), std::ios::binary);
    files[e.path().filename()] = (std::stringstream() << in.rdbuf()).str();
  }
  return files;
}

// Every case validated twice: the same answer, and no file of the company
// changed. Details are read only by a validater that holds the
// transaction's cursor, for transactions entered in this module while the
// interface is active.
TEST_F(Details, DepositAndWithdrawalLinesAndValidationWritesNothing) {
  const tsDate warn = ClosedWarningDate();
  const std::string ic_required = Blank("I/C Receivable Account") + Blank("I/C Payable Account");
  const std::string sums = " detail amounts do not add up to the transaction amount.";
  const std::string deposit_sum = Msg(1612, 3, "The deposit item" + sums);
  const std::string withdrawal_sum = Msg(1612, 3, "The withdrawal" + sums);
  const std::string closed = Period(1605, warn, "01-01") + UsesThisDate("Deposit transaction for Bank \"FIRST\"");
  const struct {
    char kind;
    const char* items;
    const char* lines;
    std::string said;
    tsDate date = OpenDate();
    const char* change = "";
  } cases[] = {
      {'D', "1=300.00", "1 S 299.99, 1 F 0.01", "0"},
      {'D', kTwoItems, kThreeLines, "0"},
      {'D', "1=300.00", "", "3" + Msg(1611, 3, "The Deposit has no deposit item detail; at least one is required.")},
      {'D', "1=300.00", "1 S 200.00, 1 F 99.99", "3" + deposit_sum},  // one cent short
      {'D', "1=100.00", "1 S 100.00, 2 S 100.00", "3" + kNoItem},      // no sum check after a missing item
      // A line crediting another company needs intercompany accounts; one of the same company has none.
      {'D', "1=300.00", "1 O 300.00", "3" + ic_required},
      {'D', "1=300.00", "1 O 300.00 DF DT", "0"},
      {'D', "1=300.00", "1 S 300.00 - DT", "3" + NonBlank("I/C Payable", "blank")},
      {'D', "1=300.00", "1 U 300.00",
       "3" + Msg(1627, 3, "General Ledger could not build the intercompany account: The prefix of the second "
                          "account is not set up in General Ledger.")},
      {'D', "1=300.00", "1 S 200.00, 1 F 100.00", "2" + closed + closed, warn},  // each line checked, a warning
      {'W', "", "0 R 50.00, 0 F 25.00", "0"},
      {'W', "", "", "3" + Msg(1611, 3, "The Withdrawal has no withdrawal detail; at least one is required.")},
      {'W', "", "0 R 50.00, 0 F 24.99", "3" + withdrawal_sum},
      {'W', "", "0 R -75.00", "3" + withdrawal_sum},  // a detail of the wrong sign
      {'W', "", "0 O 75.00", "3" + ic_required},
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
  Fetch(t, stored[2]);
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
// 3 next line, 4 its item, 5 end; withdrawal 1 first, 2 next, 3 end.
TEST_F(Details, UnreadableLinesNeverPass) {
  company.Program().FileManager().Close(GLMFileSpec);
  const TransactionData d = Store('D', kTwoItems, "1 - 200.00, 2 - 100.00", OpenDate(), "TGLDBT=");
  const TransactionData w = Store('W', "", "0 A 50.00, 0 B 25.00", OpenDate(), "TGLCRDT=");
  (void)zc_interface_active("BK", "GL");  // the interface setting is read before faults are armed
  const char* const damaged = "the data file is damaged (16)";
  const std::string line = ReadError("deposit item detail", 4, damaged);
  const std::string detail = ReadError("withdrawal detail", 4, damaged);
  const struct {
    const TransactionData* record;
    int nth;  // the failing fetch (0: none)
    tsioStatus::Status status;
    std::string said;
  } cases[] = {
      {&d, 0, tsioStatus::kSuccess, "0"},
      {&d, 6, tsioStatus::kDamaged, "0"},  // nothing is read after the end
      {&d, 1, tsioStatus::kDamaged, "4" + line},
      {&d, 2, tsioStatus::kDamaged, "4" + ReadError("deposit item", 4, damaged)},
      {&d, 2, tsioStatus::kNotFound, "3" + kNoItem},
      {&d, 3, tsioStatus::kBusy, "3" + ReadError("deposit item detail", 3, "the data is busy in another program (10)")},
      {&d, 5, tsioStatus::kDamaged, "4" + line},  // the end, after lines that add up
      {&w, 1, tsioStatus::kDamaged, "4" + detail},
      {&w, 3, tsioStatus::kDamaged, "4" + detail},  // the end, after details that add up
  };
  for (const auto& c : cases) {
    Transaction t(bkt);
    Fetch(t, *c.record);
    if (c.nth > 0) tsioFaults::Arm(tsioOp::kFetch, c.status, c.nth);
    EXPECT_EQ(Said(t.Validate(company.Program())), c.said) << "fetch " << c.nth << (c.record == &d ? " (D)" : " (W)");
    tsioFaults::Clear();
  }
}

// Validation leaves no line locked: another program can lock one. A line
// another program holds locked (it is changing or moving it) is not taken
// as read: the deposit does not pass until that program lets go.
TEST_F(Details, ALineAnotherProgramHoldsDoesNotPass) {
  const TransactionData d = Store('D', kTwoItems, kThreeLines);
  EXPECT_EQ(Validate(d), "0");
  auto holder = bkdetailtest::HoldLock<DepositItemDetail>(
      company.Folder(), std::string("DIGBNKA=FIRST;DIGRUN=1;DIGSEQ=1;DIGLINO=2;DIGLACC=") + kSales);
  EXPECT_EQ(Validate(d), "3" + ReadError("deposit item detail", 3, "record locked by another program (9)"));
  holder.Kill(SIGKILL);
  EXPECT_EQ(holder.Wait(), -SIGKILL);
  EXPECT_EQ(Validate(d), "0");
}

}  // namespace
