// Statements applied to a real company: a register entered and posted
// through the library, statements written by the tests as OFX and as CSV,
// imported, chosen, entered, reconciled, undone and redone; damaged files;
// failures injected into the units; what matching costs in fetches.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "tests/support/test_support.h"

#include "balances/balance_accumulators.h"
#include "balances/reconcile_in_progress.h"
#include "framework/io/counters.h"
#include "framework/io/faults.h"
#include "statements/reconciliation.h"
#include "statements/statement_cursors.h"
#include "statements/statement_import.h"
#include "statements/statement_reader.h"
#include "statements/statements_test_support.h"
#include "tools/bkreg/statement_commands.h"
#include "transactions/transactions_test_support.h"

namespace {

using sttest::TempDir;
using txtest::kBank;

struct Entered {
  long long run, sequence;
};

// Fetches bank account kBank into `bank`.
tsioStatus::Status FetchBank(BankAccount& bank, bool lock) {
  bank.m_Record.SetBankAccount(tsAlpha(kBank));
  return bank.FetchEQ(lock);
}

// A company whose register holds what the sample statement shows, posted,
// and a check and a deposit it will not show (outstanding); reconciled up to
// February at 900.00, the bank's balance.
class StatementCompany : public txtest::TxCompany {
 public:
  StatementCompany() {
    BankAccount bank(Bkm());
    EXPECT_EQ(FetchBank(bank, true), tsioStatus::kSuccess);
    bank.m_Record.SetLastReconciledBalance(tsCurrency::FromText("900.00"));
    bank.m_Record.SetLastReconciledDate(tsDate(2025, 2, 28));
    // The bank's number of the account, which its OFX statements carry.
    bank.m_Record.SetAccountNumber(tsAlpha(sttest::kAccountNumber));
    EXPECT_EQ(bank.Update(), tsioStatus::kSuccess);
    (void)bank.Unlock();
    EXPECT_EQ(Program().FileManager().Create(BKSFileSpec), tsioStatus::kSuccess);
    EXPECT_EQ(Program().FileManager().Open(BKSFileSpec, &statements_), tsioStatus::kSuccess);
    Enter(1, "100.00", 3, 101);
    Enter(1, "250.00", 4, 102);
    Enter(2, "500.00", 6, 0, "D-7");
    Enter(2, "75.00", 10, 0, "D-9");
    Enter(4, "-75.00", 12);  // the deposit returned by the bank
    w1_ = Enter(3, "40.00", 15);
    w2_ = Enter(3, "40.00", 15);
    Enter(1, "60.00", 20, 103);
    Enter(2, "30.00", 28, 0, "D-12");
    Post();
  }
  tsioDataFile& Statements() { return *statements_; }
  Entered W1() const { return w1_; }
  Entered W2() const { return w2_; }

  // Enters a transaction as the entry program does (kind, signed amount,
  // date, check number or deposit id).
  Entered Enter(int type, const char* amount, int day, int check = 0, const char* deposit_id = "") {
    Transaction t(Bkt());
    txtest::Fill(t.m_Record, type, amount, "entered", check);
    t.m_Record.SetTransactionDate(tsDate(2025, 3, day));
    t.m_Record.SetAccountingDate(tsDate(2025, 3, day));
    if (type == 2) {
      t.m_Record.SetDepositDate(tsDate(2025, 3, day));
      t.m_Record.SetDepositID(tsAlpha(deposit_id));
    }
    tclRollbackStack unit;
    const auto st = txtest::Enter(Program(), t, nullptr, unit);
    EXPECT_FALSE(st.HasError()) << st.Errors().MaxLevel();
    EXPECT_EQ(unit.Commit(), tsioStatus::kSuccess);
    return {t.m_Record.GetRun().ToLongLong(), t.m_Record.GetSequence().ToLongLong()};
  }

  // Posts every current transaction: moved to the history with its key.
  void Post() {
    Transaction t(Bkt());
    tclRollbackStack unit;
    t.AttachRollbackStack(&unit);
    while (t.FetchFirst(true) == tsioStatus::kSuccess) {
      const auto moved = t.TransferWithDetails(History(), t.m_Record.GetRun(), t.m_Record.GetSequence());
      ASSERT_EQ(moved.Value(), kTransferDone);
    }
    ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
  }

  // The reconciliation state of posted transaction `e`.
  int State(Entered e) {
    Transaction t(History());
    EXPECT_EQ(FetchPosted(t, e), tsioStatus::kSuccess);
    return t.m_Record.GetReconciled().Value();
  }
  tsioStatus::Status FetchPosted(Transaction& t, Entered e) {
    t.m_Record.SetBankAccount(tsAlpha(kBank));
    t.m_Record.SetRun(tsDouble(e.run, 0));
    t.m_Record.SetSequence(tsDouble(e.sequence, 0));
    return t.FetchEQ(false);
  }
  // Clears posted transaction `e` by hand, as the bank's statement will show it.
  void ClearByHand(Entered e) {
    Transaction h(History());
    ASSERT_EQ(FetchPosted(h, e), tsioStatus::kSuccess);
    BankAccount bank(Bkm());
    ASSERT_EQ(FetchBank(bank, false), tsioStatus::kSuccess);
    const TransactionData& r = h.m_Record;
    const auto cleared = h.clearTransaction(r.GetAmount(), r.GetTransactionDate(), &bank, r.GetRun(), nullptr);
    ASSERT_FALSE(cleared.HasError());
  }
  // The stored totals agree with the transactions.
  bool TotalsAgree() { return txtest::Stored(Bkm()) == txtest::FromScratch({&Bkt(), &History()}); }

 private:
  tsioDataFile* statements_ = nullptr;
  Entered w1_{}, w2_{};
};

// "N cleared, N already applied, ... N failed" of what an import printed,
// the counts that are 0 left out.
std::string Summary(const std::string& out) {
  const size_t end = out.rfind("; statement of");
  const size_t begin = out.rfind('\n', end);
  std::istringstream counts(out.substr(begin == std::string::npos ? 0 : begin + 1,
                                       end - (begin == std::string::npos ? 0 : begin + 1)));
  std::string summary;
  for (std::string count; std::getline(counts, count, ',');) {
    if (!count.empty() && count[0] == ' ') count.erase(0, 1);
    if (count.rfind("0 ", 0) != 0) summary += (summary.empty() ? "" : ", ") + count;
  }
  return summary;
}

// Runs `statement import` with `o`: the exit status, what it printed (out
// then err).
int ImportText(StatementCompany& co, const bkreg::StatementImportOptions& o, std::string* text) {
  std::ostringstream out, err;
  const int rc = bkreg::StatementImport(co.Program(), o, out, err);
  *text = out.str() + err.str();
  return rc;
}

// Runs `reconcile finish` or `reconcile undo` of kBank, as ImportText does.
template <typename Command>
int Reconcile(Command command, StatementCompany& co, std::string* text) {
  std::ostringstream out, err;
  const int rc = command(co.Program(), {kBank, "", ""}, out, err);
  *text = out.str() + err.str();
  return rc;
}

// Options that import an OFX statement of `lines` (from `start` to `end`,
// ending at `ending`) written as `name` in `dir`.
bkreg::StatementImportOptions OfxStatement(const TempDir& dir, const char* name,
                                           const std::vector<bkStatementLine>& lines, const tsDate& start,
                                           const tsDate& end, const char* ending, const char* bank = kBank) {
  bkreg::StatementImportOptions o;
  o.bank = bank;
  o.file = dir.path() + "/" + name;
  sttest::WriteFile(o.file, sttest::OfxText(lines, start, end, ending));
  return o;
}

// The March statement of `lines` as OFX.
bkreg::StatementImportOptions March(const TempDir& dir, const std::vector<bkStatementLine>& lines,
                                    const char* ending) {
  return OfxStatement(dir, "s.ofx", lines, tsDate(2025, 3, 1), tsDate(2025, 3, 31), ending);
}

// The first five sample lines: those the register knows exactly (the
// statement reconciles at 1050.00).
std::vector<bkStatementLine> KnownLines() {
  auto lines = sttest::SampleLines();
  lines.resize(5);
  return lines;
}

class StatementFlow : public ::testing::TestWithParam<const char*> {
 protected:
  // Writes the sample statement in the test's format; the options that import it.
  bkreg::StatementImportOptions Write(const std::vector<bkStatementLine>& lines, const char* ending) {
    bkreg::StatementImportOptions o;
    o.bank = kBank;
    if (std::string(GetParam()) == "ofx") {
      o.file = dir_.path() + "/march.qfx";
      sttest::WriteFile(o.file, sttest::OfxText(lines, tsDate(2025, 3, 1), tsDate(2025, 3, 31), ending));
    } else {
      o.file = dir_.path() + "/march.csv";
      sttest::WriteFile(o.file, sttest::CsvText(lines));
      o.mapping = sttest::CsvMapping(ending);
    }
    return o;
  }
  // The ids the statement's lines get (the bank's, or made by the reader).
  std::vector<std::string> Ids(const bkreg::StatementImportOptions& o) {
    bkStatement s;
    std::string error;
    bkCsvMapping m;
    const bool ok = std::string(GetParam()) == "ofx"
                        ? bkReadOfxStatement(o.file, &s, &error)
                        : m.ParseText(o.mapping, &error) && bkReadCsvStatement(o.file, m, &s, &error);
    EXPECT_TRUE(ok) << error;
    std::vector<std::string> ids;
    for (const auto& l : s.lines) ids.push_back(l.id);
    return ids;
  }
  TempDir dir_;
};

TEST_P(StatementFlow, MatchedClearedReconciledUndoneAndRedone) {
  StatementCompany co;
  bkreg::StatementImportOptions o = Write(sttest::SampleLines(), "958.73");
  const std::vector<std::string> ids = Ids(o);
  std::string out;

  // Checks by number, the deposit by its id, the deposit and its reversal
  // by amount and date; the two withdrawals of one day are proposed; the
  // fee and the interest are unknown.
  ASSERT_EQ(ImportText(co, o, &out), 0) << out;
  EXPECT_EQ(Summary(out), "5 cleared, 2 to choose, 2 unknown") << out;
  EXPECT_TRUE(co.TotalsAgree());

  // Not yet: the cleared balance does not reach the statement's.
  std::string before = txtest::DumpDatabase(co.Folder());
  ASSERT_EQ(Reconcile(bkreg::ReconcileFinish, co, &out), 1) << out;
  EXPECT_NE(out.find("differs from the statement's ending balance 958.73"), std::string::npos) << out;
  EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);

  // The user chooses the withdrawals and has the unknown lines entered;
  // the lines already cleared are refused one by one.
  o.enter_unknown = true;
  o.choices = {ids[5] + "=" + std::to_string(co.W2().run) + "/" + std::to_string(co.W2().sequence),
               ids[6] + "=" + std::to_string(co.W1().run) + "/" + std::to_string(co.W1().sequence)};
  ASSERT_EQ(ImportText(co, o, &out), 0) << out;
  EXPECT_EQ(Summary(out), "2 cleared, 5 already applied, 2 entered") << out;
  EXPECT_EQ(co.State(co.W1()), TransactionData::kStateCleared);

  // Entered adjustments clear once posted.
  co.Post();
  o.enter_unknown = false;
  o.choices.clear();
  ASSERT_EQ(ImportText(co, o, &out), 0) << out;
  EXPECT_EQ(Summary(out), "2 cleared, 7 already applied") << out;
  EXPECT_TRUE(co.TotalsAgree());

  before = txtest::DumpDatabase(co.Folder());
  ASSERT_EQ(Reconcile(bkreg::ReconcileFinish, co, &out), 0) << out;
  const std::string finished = txtest::DumpDatabase(co.Folder());

  // The reconciled balance as of the statement date is the statement's
  // ending balance; as of the day before the statement period it is the
  // last one's.
  bkLastReconciledBalanceAsOfDateAccumulator at_end(tsAlpha(kBank), tsDate(2025, 3, 31), co.Bkm(), co.History());
  EXPECT_EQ(at_end.accumulate(), tsCurrency::FromText("958.73"));
  bkLastReconciledBalanceAsOfDateAccumulator before_period(tsAlpha(kBank), tsDate(2025, 2, 28), co.Bkm(), co.History());
  EXPECT_EQ(before_period.accumulate(), tsCurrency::FromText("900.00"));
  // The bank's own independent sum: reconciled transactions add up to the
  // difference; the outstanding check and deposit stay open.
  tsCurrency reconciled;
  int open = 0;
  for (const auto& t : txtest::Transactions(co.History())) {
    if (t.GetReconciled().Value() == TransactionData::kStateReconciled) reconciled += t.GetAmount();
    open += t.GetReconciled().Value() == TransactionData::kStateOpen;
  }
  EXPECT_EQ(reconciled, tsCurrency::FromText("58.73"));
  EXPECT_EQ(open, 2);
  EXPECT_TRUE(co.TotalsAgree());
  {
    ReconcileInProgress rip(co.Bkm());
    rip.m_Record.SetBankAccount(tsAlpha(kBank));
    EXPECT_EQ(rip.FetchEQ(false), tsioStatus::kNotFound);
  }

  // Undo puts back exactly what finishing changed; finishing again gives
  // the same files.
  ASSERT_EQ(Reconcile(bkreg::ReconcileUndo, co, &out), 0) << out;
  EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
  ASSERT_EQ(Reconcile(bkreg::ReconcileFinish, co, &out), 0) << out;
  EXPECT_EQ(txtest::DumpDatabase(co.Folder()), finished);

  // The same statement again: refused as a whole, nothing changes.
  ASSERT_EQ(ImportText(co, o, &out), 1) << out;
  EXPECT_NE(out.find("is not after the last reconciliation"), std::string::npos) << out;
  EXPECT_EQ(txtest::DumpDatabase(co.Folder()), finished);

  // Undo twice: the February reconciliation has no record to undo from.
  ASSERT_EQ(Reconcile(bkreg::ReconcileUndo, co, &out), 0) << out;
  EXPECT_EQ(Reconcile(bkreg::ReconcileUndo, co, &out), 1) << out;
}

INSTANTIATE_TEST_SUITE_P(Formats, StatementFlow, ::testing::Values("ofx", "csv"));

// A statement of no bank account, and a second statement while the first
// is in progress, are refused whole.
TEST(StatementImport, RefusalsOfTheWholeStatement) {
  StatementCompany co;
  TempDir dir;
  const std::string before = txtest::DumpDatabase(co.Folder());
  auto o = March(dir, {sttest::SampleLines()[0]}, "800.00");
  o.bank = "NOPE";
  std::string text;
  EXPECT_EQ(ImportText(co, o, &text), 1);
  EXPECT_NE(text.find("no bank account"), std::string::npos) << text;
  EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
  o.bank = kBank;
  ASSERT_EQ(ImportText(co, o, &text), 0) << text;
  o = OfxStatement(dir, "april.ofx", {}, tsDate(2025, 4, 1), tsDate(2025, 4, 30), "800.00");
  EXPECT_EQ(ImportText(co, o, &text), 1);
  EXPECT_NE(text.find("is in progress; finish it first"), std::string::npos) << text;
}

// Each fetch, insert, update and commit of an import failing in turn: the
// import fails (2); a unit is rolled back whole and its other lines applied
// again, so no transaction is cleared without its line being remembered or
// the reverse, and the account's totals agree with its transactions; the
// next import takes up what is left and the end is the same as without the
// failure.
TEST(StatementImport, AFailedUnitLosesNothingAndIsTakenUpAgain) {
  // The transactions cleared, when as many as the statement lines remembered.
  auto cleared_count = [](StatementCompany& co) {
    EXPECT_TRUE(co.TotalsAgree());
    int cleared = 0, remembered = 0;
    for (const auto& t : txtest::Transactions(co.History())) {
      cleared += t.GetReconciled().Value() == TransactionData::kStateCleared;
    }
    StatementLine lines(co.Statements());
    for (auto st = lines.FetchFirst(false); st == tsioStatus::kSuccess; st = lines.FetchNext(false)) ++remembered;
    return cleared == remembered ? cleared : -1;
  };
  // The import inserts and commits the reconciliation in progress and then
  // units of two lines: three units for the five lines cleared.
  const struct {
    tsioOp op;
    const char* name;
    std::vector<int> nths;
  } kinds[] = {{tsioOp::kFetch, "fetch", {1, 4, 9, 13}},
               {tsioOp::kUpdate, "update", {1, 4, 9, 13}},
               {tsioOp::kInsert, "insert", {1, 3, 6}},
               {tsioOp::kCommit, "commit", {1, 2, 3, 4}}};
  for (const auto& k : kinds) {
    for (int nth : k.nths) {
      SCOPED_TRACE(std::string(k.name) + " #" + std::to_string(nth));
      StatementCompany co;
      TempDir dir;
      auto o = March(dir, sttest::SampleLines(), "958.73");
      o.unit_lines = 2;
      std::string text;
      tsioFaults::Arm(k.op, tsioStatus::kIOError, nth);
      const int rc = ImportText(co, o, &text);
      tsioFaults::Clear();
      EXPECT_EQ(rc, 2) << text;
      EXPECT_GE(cleared_count(co), 0);
      EXPECT_EQ(ImportText(co, o, &text), 0) << text;
      EXPECT_EQ(cleared_count(co), 5);
    }
  }
}

// Another program holding the bank account's record, or its edit-register
// lock: import, finish (and undo) answer 3 and change nothing, as clearing
// does; once it lets go they go through.
TEST(StatementImport, ABankAccountOrItsRegisterHeldByAnotherProgramAnswersLocked) {
  TempDir dir;
  const auto o = March(dir, KnownLines(), "1050.00");
  for (const bool edit_lock : {false, true}) {
    SCOPED_TRACE(edit_lock ? "the edit-register lock" : "the record");
    StatementCompany co;
    std::string text;
    const std::function<int()> import = [&] { return ImportText(co, o, &text); };
    const std::function<int()> finish = [&] { return Reconcile(bkreg::ReconcileFinish, co, &text); };
    const std::function<int()> undo = [&] { return Reconcile(bkreg::ReconcileUndo, co, &text); };
    std::vector<std::function<int()>> commands = {import, finish};
    if (edit_lock) commands.push_back(undo);
    for (const auto& command : commands) {
      const std::string folder = co.Folder();
      auto child = bktest::ChildProcess::Start([folder, edit_lock] {
        tsioFileManager fm(folder);
        tsioDataFile* file = nullptr;
        if (fm.Open(BKMFileSpec, &file) != tsioStatus::kSuccess) return 1;
        BankAccount bank(*file);
        int answer = FetchBank(bank, !edit_lock);
        if (edit_lock && answer == 0) answer = static_cast<int>(bank.EditRegisterLock().MaxLevel());
        bktest::ChildProcess::WriteLine(std::to_string(answer));
        (void)bktest::ChildProcess::ReadLine();
        if (edit_lock) (void)bank.EditRegisterUnlock();
        return 0;
      });
      ASSERT_EQ(child.Receive(), "0");
      const std::string before = txtest::DumpDatabase(co.Folder());
      EXPECT_EQ(command(), 3) << text;
      if (edit_lock) {
        EXPECT_NE(text.find("is being edited by another program"), std::string::npos) << text;
      }
      EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
      child.Send("done");
      EXPECT_EQ(child.Wait(), 0);
      EXPECT_EQ(command(), 0) << text;
    }
  }
}

// `text` with each (from, to) replaced in turn (every occurrence).
std::string Edited(std::string text, std::initializer_list<std::pair<std::string, std::string>> edits) {
  for (const auto& [from, to] : edits) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

// Hostile statement files, each refused whole with its reason (nothing in
// the company changes) or imported right.
TEST(StatementImport, HostileStatementFilesAreRefusedWholeOrImportedRight) {
  const std::string ofx = sttest::OfxText(sttest::SampleLines(), tsDate(2025, 3, 1), tsDate(2025, 3, 31), "958.73");
  const std::string csv = sttest::CsvText(sttest::SampleLines());
  const std::string mapping = sttest::CsvMapping("958.73");
  std::string many = "Posted,Description,Debit,Credit,Check,Reference\n";
  for (int i = 0; i < 200000; ++i) many += "3/17/2025,Fee " + std::to_string(i) + ",0." + std::to_string(10 + i % 90) + ",,,\n";
  const std::string kAsUsual =
      "5 cleared, 0 already applied, 0 already cleared, 2 to choose, 2 unknown, 0 entered, 0 waiting for posting, 0 failed";
  const struct Case {
    const char* name;
    const char* format;
    std::string text;
    std::string mapping;  // CSV
    bool enter_unknown;
    int rc;
    std::string want;  // in what it printed: the reason, or the summary
  } cases[] = {
      {"truncated", "ofx", ofx.substr(0, ofx.size() * 2 / 3), "", false, 1, "cut short or damaged"},
      {"garbage", "ofx", std::string("\x89PNG\r\n\x1a\n\0\0<OFX", 12) + "\xff\xfe", "", false, 1, "not an OFX statement"},
      {"two statements", "ofx", ofx + ofx.substr(ofx.find("<OFX>")), "", false, 1, "text follows </OFX>"},
      {"unclosed quotes", "csv", csv + "3/31/2025,\"Fee,1.00,,,\n", mapping, false, 1, "a quoted field is not closed"},
      {"wrong account", "ofx", Edited(ofx, {{"<ACCTID>456", "<ACCTID>999999"}}), "", true, 1,
       "the statement is of account '999999', not of bank account 'B1'"},
      {"duplicated ids", "ofx", Edited(ofx, {{"<FITID>FW2", "<FITID>FW1"}}), "", true, 1, "have the same id 'FW1'"},
      {"decimal commas", "csv", Edited(csv, {{".", ","}}), mapping, true, 1, "the mapping does not declare"},
      {"decimal commas declared", "csv", Edited(csv, {{".", ","}}), mapping + ";decimal=,;ending_balance=958,73", false,
       0, kAsUsual},
      {"time zones", "ofx",
       Edited(ofx, {{"<DTPOSTED>20250305", "<DTPOSTED>20250305200000[-5:EST]"},
                    {"<DTPOSTED>20250331", "<DTPOSTED>20250331233000.000[-8:PST]"}}),
       "", false, 0, "cleared  F101  2025-03-05"},
      {"Latin-1", "ofx", Edited(ofx, {{"Service fee", "Caf\xe9 cr\xe8me"}}), "", true, 0, "Caf\xc3\xa9 cr\xc3\xa8me"},
      {"escapes", "ofx", Edited(ofx, {{"Service fee", "\x1b]0;owned\x07\x1b[2J"}}), "", true, 1, "control character"},
      {"escapes in CSV", "csv", Edited(csv, {{"\"ATM\"", "\"\x1b[31mATM\""}}), mapping, true, 1, "control character"},
      {"a byte-order mark", "csv", "\xEF\xBB\xBF" + csv, mapping, false, 0, kAsUsual},
      {"200,000 lines", "csv", many, mapping, false, 0,
       "0 cleared, 0 already applied, 0 already cleared, 0 to choose, 200000 unknown, 0 entered"},
      {"/dev/zero", "csv", "", mapping, false, 1, "not a regular file"},
      {"a column number too large", "csv", csv, mapping + ";check=99999999999", false, 1,
       "column number '99999999999' of check is not from 1 to 1000"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StatementCompany co;
    bkreg::StatementImportOptions o;
    o.bank = kBank;
    o.format = c.format;
    o.file = std::string(c.name) == "/dev/zero" ? "/dev/zero" : dir.path() + "/statement";
    if (o.file != "/dev/zero") sttest::WriteFile(o.file, c.text);
    o.mapping = c.mapping;
    o.enter_unknown = c.enter_unknown;
    const std::string before = txtest::DumpDatabase(co.Folder());
    std::string text;
    EXPECT_EQ(ImportText(co, o, &text), c.rc) << text.substr(0, 2000);
    EXPECT_NE(text.find(c.want), std::string::npos) << text.substr(0, 2000);
    if (c.rc != 0) {
      EXPECT_NE(text.find("nothing was changed"), std::string::npos) << text.substr(0, 2000);
      EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
    } else {
      EXPECT_TRUE(co.TotalsAgree());
    }
  }
}

// The fee entered from a Latin-1 statement: its description is UTF-8, cut
// to 60 characters (never inside a character).
TEST(StatementImport, EnteredTextIsUtf8CutByCharacters) {
  StatementCompany co;
  TempDir dir;
  std::string memo = "a";
  for (int i = 0; i < 70; ++i) memo += "\xe9";
  auto o = March(dir, {sttest::Line("FFEE", 31, "-12.50", 0, "", memo.c_str())}, "887.50");
  o.enter_unknown = true;
  std::string text;
  ASSERT_EQ(ImportText(co, o, &text), 0) << text;
  std::string want = "a";
  for (int i = 0; i < 59; ++i) want += "\xc3\xa9";
  const auto entered = txtest::Transactions(co.Bkt());
  ASSERT_EQ(entered.size(), 1u);
  EXPECT_EQ(entered[0].GetDescription().str(), want);
}

// A line the register holds cleared already (cleared by hand) is reported
// and never entered: with --enter-unknown it used to be entered a second
// time, and the reconciliation finished while register and bank parted.
TEST(StatementImport, ALineTheRegisterHoldsClearedIsNeverEnteredAgain) {
  StatementCompany co;
  // Check 101 and the deposit D-7 cleared by hand before the statement.
  for (const auto& t : txtest::Transactions(co.History())) {
    if (t.GetCheck().ToLongLong() == 101 || t.GetDepositID().str() == "D-7") {
      co.ClearByHand({t.GetRun().ToLongLong(), t.GetSequence().ToLongLong()});
    }
  }
  TempDir dir;
  auto o = March(dir, KnownLines(), "1050.00");
  o.enter_unknown = true;
  std::string text;
  ASSERT_EQ(ImportText(co, o, &text), 0) << text;
  EXPECT_EQ(Summary(text), "3 cleared, 2 already cleared") << text;
  EXPECT_NE(text.find("already  F101"), std::string::npos) << text;
  EXPECT_TRUE(txtest::Transactions(co.Bkt()).empty()) << "nothing entered";
  // Again: the lines are remembered as applied.
  ASSERT_EQ(ImportText(co, o, &text), 0) << text;
  EXPECT_EQ(Summary(text), "5 already applied") << text;
  // The reconciliation finishes with the bank's balance the statement's.
  ASSERT_EQ(Reconcile(bkreg::ReconcileFinish, co, &text), 0) << text;
  BankAccount bank(co.Bkm());
  ASSERT_EQ(FetchBank(bank, false), tsioStatus::kSuccess);
  EXPECT_EQ(bank.m_Record.GetLastReconciledBalance(), tsCurrency::FromText("1050.00"));
  EXPECT_TRUE(co.TotalsAgree());
}

// Two withdrawals of one day cleared by hand; the statement shows three:
// two are the register's, the third is new and is entered.
TEST(StatementImport, EachClearedTransactionAccountsForOneLine) {
  StatementCompany co;
  co.ClearByHand(co.W1());
  co.ClearByHand(co.W2());
  TempDir dir;
  auto o = March(dir,
                 {sttest::Line("FW1", 15, "-40.00"), sttest::Line("FW2", 15, "-40.00"),
                  sttest::Line("FW3", 15, "-40.00")},
                 "780.00");
  o.enter_unknown = true;
  std::string text;
  ASSERT_EQ(ImportText(co, o, &text), 0) << text;
  EXPECT_EQ(Summary(text), "2 already cleared, 1 entered") << text;
}

// The same statement exported again under other ids (a CSV without ids
// whose memos changed): what the first import cleared is "already cleared",
// never entered as an adjustment.
TEST(StatementImport, AStatementExportedAgainEntersNothingTwice) {
  StatementCompany co;
  TempDir dir;
  auto lines = KnownLines();
  bkreg::StatementImportOptions o;
  o.bank = kBank;
  o.file = dir.path() + "/march.csv";
  o.mapping = sttest::CsvMapping("1050.00");
  o.enter_unknown = true;
  sttest::WriteFile(o.file, sttest::CsvText(lines));
  std::string text;
  ASSERT_EQ(ImportText(co, o, &text), 0) << text;
  EXPECT_EQ(Summary(text), "5 cleared") << text;
  for (auto& l : lines) l.memo += " (again)";
  sttest::WriteFile(o.file, sttest::CsvText(lines));
  ASSERT_EQ(ImportText(co, o, &text), 0) << text;
  EXPECT_EQ(Summary(text), "5 already cleared") << text;
  EXPECT_TRUE(txtest::Transactions(co.Bkt()).empty()) << "nothing entered";
  EXPECT_EQ(Reconcile(bkreg::ReconcileFinish, co, &text), 0) << text;
}

// An adjustment a statement line entered, removed since: a later import
// enters it again (it used to wait for a posting that could never come).
TEST(StatementImport, ARemovedAdjustmentIsEnteredAgain) {
  StatementCompany co;
  TempDir dir;
  auto o = March(dir, {sttest::Line("FFEE", 31, "-12.50", 0, "", "Service fee")}, "887.50");
  o.enter_unknown = true;
  std::string text;
  ASSERT_EQ(ImportText(co, o, &text), 0) << text;
  ASSERT_EQ(txtest::Transactions(co.Bkt()).size(), 1u);
  // Again before posting: it waits.
  ASSERT_EQ(ImportText(co, o, &text), 0) << text;
  EXPECT_EQ(Summary(text), "1 waiting for posting") << text;
  {
    Transaction t(co.Bkt());
    ASSERT_EQ(txtest::FetchByKey(t, txtest::Transactions(co.Bkt())[0], false), tsioStatus::kSuccess);
    tclRollbackStack unit;
    t.AttachRollbackStack(&unit);
    ASSERT_FALSE(t.Remove(co.Program(), nullptr).HasError());
    ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
    txtest::StoreFromScratch(co.Bkm(), {&co.Bkt(), &co.History()});
  }
  o.enter_unknown = false;
  ASSERT_EQ(ImportText(co, o, &text), 0) << text;
  EXPECT_NE(text.find("was removed; it may be entered again"), std::string::npos) << text;
  o.enter_unknown = true;
  ASSERT_EQ(ImportText(co, o, &text), 0) << text;
  EXPECT_EQ(Summary(text), "1 entered") << text;
  EXPECT_EQ(txtest::Transactions(co.Bkt()).size(), 1u);
  // Posted, it clears.
  co.Post();
  ASSERT_EQ(ImportText(co, o, &text), 0) << text;
  EXPECT_EQ(Summary(text), "1 cleared") << text;
}

// The statement's account against the bank account's number.
TEST(StatementImport, TheStatementMustBeOfTheAccount) {
  TempDir dir;
  const auto o = March(dir, {sttest::SampleLines()[0]}, "800.00");
  const struct {
    const char* number;
    int rc;
    const char* says;
  } cases[] = {
      {"456", 0, "1 cleared"},
      {" 4-56 ", 0, "1 cleared"},  // blanks and dashes aside
      {"457", 1, "the statement is of account '456', not of bank account 'B1' (account number '457')"},
      {"", 1, "record the bank's account number with: bkreg bank edit B1 --account-number 456"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    StatementCompany co;
    BankAccount bank(co.Bkm());
    ASSERT_EQ(FetchBank(bank, true), tsioStatus::kSuccess);
    bank.m_Record.SetAccountNumber(tsAlpha(c.number));
    ASSERT_EQ(bank.Update(), tsioStatus::kSuccess);
    (void)bank.Unlock();
    const std::string before = txtest::DumpDatabase(co.Folder());
    std::string text;
    EXPECT_EQ(ImportText(co, o, &text), c.rc) << text;
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
    if (c.rc != 0) {
      EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
    }
  }
  // A CSV file that does not say which account it is of is the account's
  // the user names; one that says so is checked.
  StatementCompany co;
  bkreg::StatementImportOptions csv;
  csv.bank = kBank;
  csv.file = dir.path() + "/s.csv";
  sttest::WriteFile(csv.file, "Date,Amount,Account\n2025-03-05,-100.00,999\n");
  csv.mapping = "date=Date;amount=Amount;account=Account;statement_date=2025-03-31;ending_balance=800";
  std::string text;
  EXPECT_EQ(ImportText(co, csv, &text), 1) << text;
  EXPECT_NE(text.find("is of account '999'"), std::string::npos) << text;
  csv.mapping = "date=Date;amount=Amount;statement_date=2025-03-31;ending_balance=800";
  EXPECT_EQ(ImportText(co, csv, &text), 0) << text;
}

// Matching costs the line's candidates plus the fetches that end its
// searches, whatever the size of the register: the same statement against
// registers of 200 and of 4,000 other transactions (same amounts' other
// dates, other amounts on the same dates) costs the same fetches.
TEST(StatementMatcher, FetchesPerLineDoNotGrowWithTheRegister) {
  auto cost = [](int filler, uint64_t* queries) {
    StatementCompany co;
    Transaction t(co.History());
    tclRollbackStack unit;
    t.AttachRollbackStack(&unit);
    for (int i = 0; i < filler; ++i) {
      txtest::Fill(t.m_Record, 3, "1.00", "filler", 0);
      t.m_Record.SetRun(tsDouble(100000 + i, 0));
      t.m_Record.SetSequence(tsDouble(1, 0));
      t.m_Record.SetSubtraction(tsCurrency(1000 + i % 500));
      t.m_Record.SetTransactionDate(tsDate(2025, 1, 1) + i % 120);
      t.m_Record.SetPosted(tsBool(true));
      EXPECT_EQ(t.Insert(), tsioStatus::kSuccess);
    }
    EXPECT_EQ(unit.Commit(), tsioStatus::kSuccess);
    bkStatementMatcher matcher({&co.History(), &co.Bkt()}, tsAlpha(kBank), 3);
    tsioCounters::Reset();
    int exact = 0;
    for (const auto& line : sttest::SampleLines()) {
      bkLineMatch m;
      EXPECT_EQ(matcher.Match(line, &m), tsioStatus::kSuccess);
      exact += m.kind == bkMatchKind::kExact;
    }
    EXPECT_EQ(exact, 5);
    *queries = tsioCounters::FetchQueries();
    return matcher.Fetches();
  };
  uint64_t small_queries = 0, large_queries = 0;
  const uint64_t small = cost(200, &small_queries);
  const uint64_t large = cost(4000, &large_queries);
  EXPECT_EQ(small, large);
  EXPECT_EQ(small_queries, large_queries);
  // Nine lines, two files, at most two searches each: candidates + ends.
  EXPECT_LE(small, 9u * 2 * 2 + 9);
}

}  // namespace
