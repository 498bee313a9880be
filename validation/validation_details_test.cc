// Deposits and withdrawals entered in this module, with their detail lines
// on a real transaction file and the general-ledger module loaded: no
// lines, lines that do not add up by one cent, a line whose deposit item is
// missing, account checks per line; lines that cannot be read (faults, a
// line another program holds) never let a transaction
// pass; validation writes nothing and holds no lock.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "framework/io/backend.h"
#include "framework/io/backup.h"
#include "framework/io/faults.h"
#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "deposits/withdrawal_detail.h"
#include "tests/support/status_text.h"
#include "validation/validation_test_support.h"

namespace {

using namespace vtest;
using bkdetailtest::Put;

const Msg kNoDepositLines{1611, "The Deposit has no deposit item detail; at least one is required."};
const Msg kNoItem{1611, "The Deposit item detail has no deposit item; at least one is required."};
const Msg kDepositSum{1612, "The deposit item detail amounts do not add up to the transaction amount."};
const Msg kNoWithdrawalLines{1611, "The Withdrawal has no withdrawal detail; at least one is required."};
const Msg kWithdrawalSum{1612, "The withdrawal detail amounts do not add up to the transaction amount."};

Msg ReadError(const char* what, const char* status) {
  return Msg{1614, std::string("Could not read the ") + what + " record: " + status + "."};
}

// A detail line: of deposit item `item`, or of a withdrawal (item 0).
struct Line {
  int item;
  const char* account;
  const char* amount;
  const char* due_from = "";
  const char* due_to = "";
};

class Details : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(gltest::LoadLedgerModule(), 0);
    company.SetInterface(true);
  }
  void TearDown() override { tsioFaults::Clear(); }

  // Stores a deposit or withdrawal with its items (item number, amount) and
  // lines, entered in this module (application "BK", manual batch); its own account
  // (the debit of a deposit of 300.00, the credit of a withdrawal of 75.00)
  // is the cash account unless told otherwise.
  TransactionData Store(Kind kind, int seq, const std::vector<std::pair<int, const char*>>& items,
                        const std::vector<Line>& lines, const tsDate& date = OpenDate(), const char* own = kCash) {
    TransactionData r;
    FillValid(r, kind, seq);
    r.SetApplOfOrigin(tsAlpha("BK"));
    r.SetBatchSource(BatchSourceEnum::kManualEntry);
    r.SetAccountingDate(date);
    if (kind == Kind::kDeposit) r.SetDebitAccount(tsAlpha(own));
    if (kind == Kind::kWithdrawal) r.SetCreditAccount(tsAlpha(own));
    Transaction t(bkt);
    t.m_Record = r;
    EXPECT_EQ(t.Insert(), tsioStatus::kSuccess);
    const std::string s = std::to_string(seq);
    for (const auto& [item, amount] : items) {
      Put<DepositItem>(bkt, "DIBNKAC=FIRST;DIRUN=1;DISEQ=" + s + ";DITEMNO=" + std::to_string(item) +
                                ";DIAMT=" + amount);
    }
    for (const Line& l : lines) {
      if (l.item > 0) {
        Put<DepositItemDetail>(bkt, "DIGBNKA=FIRST;DIGRUN=1;DIGSEQ=" + s + ";DIGLINO=" + std::to_string(l.item) +
                                        ";DIGLACC=" + l.account + ";DIGAMT=" + l.amount + ";DIGICRC=" + l.due_from +
                                        ";DIGICPY=" + l.due_to);
      } else {
        Put<WithdrawalDetail>(bkt, "WDBNKAC=FIRST;WDRUN=1;WDSEQ=" + s + ";WDGLACC=" + l.account + ";WDAMT=" +
                                       l.amount + ";WDICRC=" + l.due_from + ";WDICPY=" + l.due_to);
      }
    }
    return r;
  }
  // Validates the stored transaction `record` through its cursor.
  ccStatus<ccError::Level> Validate(const TransactionData& record) {
    Transaction t(bkt);
    Fetch(t, record);
    return t.Validate(company.Program());
  }

  ValidationCompany company;
  tsioDataFile& bkt = company.Bkt();
};

// The contents of every file of the company folder (the shared-memory
// index of the write-ahead log excepted: readers note themselves there); of
// a server company, its backup's.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  if (tsioIsServerAddress(folder)) {
    bktest::TempDir copy;
    EXPECT_EQ(tsioBackupCompany(folder, copy.Sub("company.db")), tsioStatus::kSuccess);
    return Snapshot(copy.path());
  }
  DIR* dir = opendir(folder.c_str());
  while (dirent* e = dir ? readdir(dir) : nullptr) {
    const std::string name = e->d_name;
    if (name == "." || name == ".." || name.ends_with("-shm")) continue;
    std::ifstream in(folder + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    files[name] = s.str();
  }
  if (dir) closedir(dir);
  return files;
}

const std::vector<std::pair<int, const char*>> kTwoItems = {{1, "200.00"}, {2, "100.00"}};
const std::vector<Line> kThreeLines = {{1, kSales, "150.00"}, {1, kFees, "50.00"}, {2, kSales, "100.00"}};

// Every case validated twice: the same messages, and no file of the company
// changed.
TEST_F(Details, DepositAndWithdrawalLinesAndValidationWritesNothing) {
  const Kind deposit = Kind::kDeposit, withdrawal = Kind::kWithdrawal;
  const std::vector<std::pair<int, const char*>> one_item = {{1, "300.00"}}, none;
  const tsDate warn = ClosedWarningDate();
  const Msg uses = UsesThisDate("Deposit transaction for Bank \"FIRST\"");
  const struct {
    const char* what;
    Kind kind;
    std::vector<std::pair<int, const char*>> items;
    std::vector<Line> lines;
    std::vector<Msg> expected;
    tsDate date = OpenDate();
  } cases[] = {
      {"lines add up", deposit, one_item, {{1, kSales, "299.99"}, {1, kFees, "0.01"}}, {}},
      {"two items, lines add up", deposit, kTwoItems, kThreeLines, {}},
      {"no lines", deposit, one_item, {}, {kNoDepositLines}},
      {"one cent short", deposit, one_item, {{1, kSales, "200.00"}, {1, kFees, "99.99"}}, {kDepositSum}},
      {"a line whose item is missing: no sum check after it", deposit, {{1, "100.00"}},
       {{1, kSales, "100.00"}, {2, kSales, "100.00"}}, {kNoItem}},
      {"a line crediting another company without intercompany accounts", deposit, one_item,
       {{1, kOther, "300.00"}}, {Blank("I/C Receivable Account"), Blank("I/C Payable Account")}},
      {"a line crediting another company with intercompany accounts", deposit, one_item,
       {{1, kOther, "300.00", kDueFrom, kDueTo}}, {}},
      {"intercompany accounts on a line of the same company", deposit, one_item,
       {{1, kSales, "300.00", "", kDueTo}}, {NonBlank("I/C Payable", "blank")}},
      {"an unknown prefix on a line", deposit, one_item, {{1, kUnknown, "300.00"}},
       {Msg{1627, "General Ledger could not build the intercompany account: The prefix of the second account is "
                  "not set up in General Ledger."}}},
      {"lines in a closed period: each checked, a warning", deposit, one_item,
       {{1, kSales, "200.00"}, {1, kFees, "100.00"}},
       {Period(1605, warn, "01-01"), uses, Period(1605, warn, "01-01"), uses}, warn},
      {"details add up to the subtraction", withdrawal, none, {{0, kRent, "50.00"}, {0, kFees, "25.00"}}, {}},
      {"no details", withdrawal, none, {}, {kNoWithdrawalLines}},
      {"one cent short", withdrawal, none, {{0, kRent, "50.00"}, {0, kFees, "24.99"}}, {kWithdrawalSum}},
      {"a detail of the wrong sign", withdrawal, none, {{0, kRent, "-75.00"}}, {kWithdrawalSum}},
      {"a detail debiting another company without intercompany accounts", withdrawal, none,
       {{0, kOther, "75.00"}}, {Blank("I/C Receivable Account"), Blank("I/C Payable Account")}},
  };
  std::vector<TransactionData> stored;
  for (const auto& c : cases) {
    stored.push_back(Store(c.kind, static_cast<int>(stored.size()) + 1, c.items, c.lines, c.date));
  }
  // A withdrawal with an addition is refused first; no detail is checked after that error.
  const TransactionData w = Store(withdrawal, static_cast<int>(stored.size()) + 1, {}, {{0, kOther, "1.00"}});
  Transaction with_addition(bkt);
  Fetch(with_addition, w);

  const auto before = Snapshot(company.Folder());
  ASSERT_TRUE(before.count("company.db"));
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < stored.size(); ++i) {
      SCOPED_TRACE(cases[i].what);
      auto st = Validate(stored[i]);
      const std::vector<Msg>& expected = cases[i].expected;
      EXPECT_EQ(Messages(st.Errors()), expected);
      const bool warned = !expected.empty() && expected.back().number == 0;
      EXPECT_EQ(st.Value(), expected.empty() ? ccError::kNone : warned ? ccError::kWarning : ccError::kError);
    }
    with_addition.m_Record.SetAddition(tsCurrency(5));
    EXPECT_EQ(Messages(with_addition.Validate(company.Program()).Errors()),
              (std::vector<Msg>{NonBlank("Addition", "zero")}));
  }
  EXPECT_TRUE(Snapshot(company.Folder()) == before) << "a file of the company changed";
}

// Details are read only by a validater that holds the transaction's
// cursor, for transactions entered in this module while the interface is
// active.
TEST_F(Details, WhenDetailsAreRead) {
  const TransactionData records[] = {Store(Kind::kDeposit, 1, {}, {}), Store(Kind::kWithdrawal, 2, {}, {})};
  for (const TransactionData& r : records) {
    Transaction t(bkt);
    Fetch(t, r);
    // Validated on its own, before its cursor: only the type-independent rules.
    EXPECT_TRUE(t.m_Record.Validate(company.Program(), nullptr).Errors().Empty());
    // Through the cursor, then through the record the cursor holds.
    EXPECT_EQ(t.Validate(company.Program()).Errors().Size(), 1u) << "the cursor's validater replaces it";
    EXPECT_EQ(bktest::Said(t.m_Record.Validate(company.Program(), nullptr), false), "3 | 1611/3");
    // Entered by another application: the transaction's own accounts, no details.
    t.m_Record.SetApplOfOrigin(tsAlpha("AR"));
    EXPECT_TRUE(t.Validate(company.Program()).Errors().Empty());
  }
  company.SetInterface(false);
  for (const TransactionData& r : records) EXPECT_TRUE(Validate(r).Errors().Empty());
}

// A line or item that cannot be read ends the check with an error, wherever
// the walk is. The GL master file is closed here, so no period check reads
// it and the only fetches are the walk's: deposit 1 first line, 2 its item,
// 3 next line, 4 its item, 5 end; withdrawal 1 first, 2 next, 3 end.
TEST_F(Details, UnreadableLinesNeverPass) {
  company.Program().FileManager().Close(GLMFileSpec);
  const TransactionData d =
      Store(Kind::kDeposit, 1, kTwoItems, {{1, "", "200.00"}, {2, "", "100.00"}}, OpenDate(), "");
  const TransactionData w =
      Store(Kind::kWithdrawal, 2, {}, {{0, "A", "50.00"}, {0, "B", "25.00"}}, OpenDate(), "");
  (void)zc_interface_active("BK", "GL");  // the interface setting is read before faults are armed

  const char* const damaged = "the data file is damaged (16)";
  const char* const busy = "the data is busy in another program (10)";
  const char* const line = "deposit item detail";
  const struct {
    const char* what;
    const TransactionData* record;
    int nth;
    tsioStatus::Status status;
    std::vector<Msg> expected;
    ccError::Level level;
  } cases[] = {
      {"deposit: nothing is armed", &d, 0, tsioStatus::kSuccess, {}, ccError::kNone},
      {"deposit: nothing is read after the end", &d, 6, tsioStatus::kDamaged, {}, ccError::kNone},
      {"deposit: first line damaged", &d, 1, tsioStatus::kDamaged, {ReadError(line, damaged)}, ccError::kFatal},
      {"deposit: first item damaged", &d, 2, tsioStatus::kDamaged, {ReadError("deposit item", damaged)},
       ccError::kFatal},
      {"deposit: first item not found", &d, 2, tsioStatus::kNotFound, {kNoItem}, ccError::kError},
      {"deposit: second line busy", &d, 3, tsioStatus::kBusy, {ReadError(line, busy)}, ccError::kError},
      {"deposit: the end of the lines damaged, after lines that add up", &d, 5, tsioStatus::kDamaged,
       {ReadError(line, damaged)}, ccError::kFatal},
      {"withdrawal: first detail damaged", &w, 1, tsioStatus::kDamaged, {ReadError("withdrawal detail", damaged)},
       ccError::kFatal},
      {"withdrawal: the end damaged, after details that add up", &w, 3, tsioStatus::kDamaged,
       {ReadError("withdrawal detail", damaged)}, ccError::kFatal},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Transaction t(bkt);
    Fetch(t, *c.record);
    if (c.nth > 0) tsioFaults::Arm(tsioOp::kFetch, c.status, c.nth);
    auto st = t.Validate(company.Program());
    tsioFaults::Clear();
    EXPECT_EQ(Messages(st.Errors()), c.expected);
    EXPECT_EQ(st.Value(), c.level);
    EXPECT_EQ(st.Errors().Empty() ? c.level : st.Errors()[0].GetLevel(), c.level);
  }
}

// Validation leaves no line locked: another program can lock one. A line
// another program holds locked (it is changing or moving it) is not taken
// as read: the deposit does not pass until that program lets go.
TEST_F(Details, ALineAnotherProgramHoldsDoesNotPass) {
  TransactionData d = Store(Kind::kDeposit, 1, kTwoItems, kThreeLines);
  EXPECT_TRUE(Validate(d).Errors().Empty());
  const std::string folder = company.Folder();
  auto holder = bktest::ChildProcess::Start([folder]() -> int {
    tsioFileManager fm(folder);
    tsioDataFile* f = nullptr;
    if (fm.Open(BKTFileSpec, &f) != tsioStatus::kSuccess) return 1;
    DepositItemDetail line(*f);
    line.m_Record = DepositItemDetailData(
        DepositItemDetailKeyData(tsAlpha("FIRST"), tsDouble(1), tsDouble(1), tsDouble(2), tsAlpha(kSales)), "");
    bktest::ChildProcess::WriteLine(std::to_string(line.FetchEQ(true)));
    (void)bktest::ChildProcess::ReadLine();  // hold until killed
    return 0;
  });
  ASSERT_EQ(holder.Receive(), "0");
  auto st = Validate(d);
  EXPECT_EQ(Messages(st.Errors()),
            (std::vector<Msg>{ReadError("deposit item detail", "record locked by another program (9)")}));
  EXPECT_EQ(st.Value(), ccError::kError);
  holder.Kill(SIGKILL);
  EXPECT_EQ(holder.Wait(), -SIGKILL);
  EXPECT_TRUE(Validate(d).Errors().Empty());
}

}  // namespace
