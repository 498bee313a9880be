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

class StatementCompany : public txtest::TxCompany {
 public:
  StatementCompany() {
    // Reconciled up to February: 900.00, the bank's balance.
    BankAccount bank(Bkm());
    bank.m_Record.SetBankAccount(tsAlpha(kBank));
    EXPECT_EQ(bank.FetchEQ(true), tsioStatus::kSuccess);
    bank.m_Record.SetLastReconciledBalance(tsCurrency::FromText("900.00"));
    bank.m_Record.SetLastReconciledDate(tsDate(2025, 2, 28));
    // The bank's number of the account, which its OFX statements carry.
    bank.m_Record.SetAccountNumber(tsAlpha(sttest::kAccountNumber));
    EXPECT_EQ(bank.Update(), tsioStatus::kSuccess);
    (void)bank.Unlock();
    EXPECT_EQ(Program().FileManager().Create(BKSFileSpec), tsioStatus::kSuccess);
    EXPECT_EQ(Program().FileManager().Open(BKSFileSpec, &statements_), tsioStatus::kSuccess);
  }
  tsioDataFile& Statements() { return *statements_; }

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

  // The register of the sample statement: what the bank will show, and a
  // check and a deposit it will not (outstanding).
  void EnterSampleRegister() {
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
  Entered W1() const { return w1_; }
  Entered W2() const { return w2_; }

  int State(long long run, long long sequence) {
    Transaction t(History());
    t.m_Record.SetBankAccount(tsAlpha(kBank));
    t.m_Record.SetRun(tsDouble(run, 0));
    t.m_Record.SetSequence(tsDouble(sequence, 0));
    EXPECT_EQ(t.FetchEQ(false), tsioStatus::kSuccess);
    return t.m_Record.GetReconciled().Value();
  }

 private:
  tsioDataFile* statements_ = nullptr;
  Entered w1_{}, w2_{};
};

// "N cleared, N already applied, N to choose, N unknown, N entered, N waiting".
std::string Summary(const std::string& out) {
  const size_t end = out.rfind("; statement of");
  const size_t begin = out.rfind('\n', end);
  return out.substr(begin == std::string::npos ? 0 : begin + 1, end - (begin == std::string::npos ? 0 : begin + 1));
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
  int Import(StatementCompany& co, const bkreg::StatementImportOptions& o, std::string* out) {
    std::ostringstream o_out, o_err;
    const int rc = bkreg::StatementImport(co.Program(), o, o_out, o_err);
    *out = o_out.str() + o_err.str();
    return rc;
  }
  int Finish(StatementCompany& co, std::string* text) { return Reconcile(bkreg::ReconcileFinish, co, text); }
  int Undo(StatementCompany& co, std::string* text) { return Reconcile(bkreg::ReconcileUndo, co, text); }
  template <typename Command>
  static int Reconcile(Command command, StatementCompany& co, std::string* text) {
    std::ostringstream out, err;
    const int rc = command(co.Program(), {kBank, "", ""}, out, err);
    *text = out.str() + err.str();
    return rc;
  }
  TempDir dir_;
};

TEST_P(StatementFlow, MatchedClearedReconciledUndoneAndRedone) {
  StatementCompany co;
  co.EnterSampleRegister();
  const auto lines = sttest::SampleLines();
  bkreg::StatementImportOptions o = Write(lines, "958.73");
  const std::vector<std::string> ids = Ids(o);
  std::string out;

  // Checks by number, the deposit by its id, the deposit and its reversal
  // by amount and date; the two withdrawals of one day are proposed; the
  // fee and the interest are unknown.
  ASSERT_EQ(Import(co, o, &out), 0) << out;
  EXPECT_EQ(Summary(out), "5 cleared, 0 already applied, 0 already cleared, 2 to choose, 2 unknown, 0 entered, 0 waiting for posting, 0 failed")
      << out;
  EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()}));

  // Not yet: the cleared balance does not reach the statement's.
  std::string before = txtest::DumpDatabase(co.Folder());
  ASSERT_EQ(Finish(co, &out), 1) << out;
  EXPECT_NE(out.find("differs from the statement's ending balance 958.73"), std::string::npos) << out;
  EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);

  // The user chooses the withdrawals and has the unknown lines entered;
  // the lines already cleared are refused one by one.
  o.enter_unknown = true;
  o.choices = {ids[5] + "=" + std::to_string(co.W2().run) + "/" + std::to_string(co.W2().sequence),
               ids[6] + "=" + std::to_string(co.W1().run) + "/" + std::to_string(co.W1().sequence)};
  ASSERT_EQ(Import(co, o, &out), 0) << out;
  EXPECT_EQ(Summary(out), "2 cleared, 5 already applied, 0 already cleared, 0 to choose, 0 unknown, 2 entered, 0 waiting for posting, 0 failed")
      << out;
  EXPECT_EQ(co.State(co.W1().run, co.W1().sequence), TransactionData::kStateCleared);

  // Entered adjustments clear once posted.
  co.Post();
  o.enter_unknown = false;
  o.choices.clear();
  ASSERT_EQ(Import(co, o, &out), 0) << out;
  EXPECT_EQ(Summary(out), "2 cleared, 7 already applied, 0 already cleared, 0 to choose, 0 unknown, 0 entered, 0 waiting for posting, 0 failed")
      << out;
  EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()}));

  before = txtest::DumpDatabase(co.Folder());
  ASSERT_EQ(Finish(co, &out), 0) << out;
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
  EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()}));
  {
    ReconcileInProgress rip(co.Bkm());
    rip.m_Record.SetBankAccount(tsAlpha(kBank));
    EXPECT_EQ(rip.FetchEQ(false), tsioStatus::kNotFound);
  }

  // Undo puts back exactly what finishing changed; finishing again gives
  // the same files.
  ASSERT_EQ(Undo(co, &out), 0) << out;
  EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
  ASSERT_EQ(Finish(co, &out), 0) << out;
  EXPECT_EQ(txtest::DumpDatabase(co.Folder()), finished);

  // The same statement again: refused as a whole, nothing changes.
  ASSERT_EQ(Import(co, o, &out), 1) << out;
  EXPECT_NE(out.find("is not after the last reconciliation"), std::string::npos) << out;
  EXPECT_EQ(txtest::DumpDatabase(co.Folder()), finished);

  // Undo twice: the February reconciliation has no record to undo from.
  ASSERT_EQ(Undo(co, &out), 0) << out;
  EXPECT_EQ(Undo(co, &out), 1) << out;
}

INSTANTIATE_TEST_SUITE_P(Formats, StatementFlow, ::testing::Values("ofx", "csv"));

TEST(StatementImport, DamagedOrCutOfxChangesNothing) {
  StatementCompany co;
  co.EnterSampleRegister();
  TempDir dir;
  const std::string good = sttest::OfxText(sttest::SampleLines(), tsDate(2025, 3, 1), tsDate(2025, 3, 31), "958.73");
  const std::string before = txtest::DumpDatabase(co.Folder());
  for (size_t cut : {good.size() / 3, good.size() - 20, good.rfind("</OFX>")}) {
    SCOPED_TRACE(cut);
    bkreg::StatementImportOptions o;
    o.bank = kBank;
    o.file = dir.path() + "/cut.ofx";
    sttest::WriteFile(o.file, good.substr(0, cut));
    std::ostringstream out, err;
    EXPECT_EQ(bkreg::StatementImport(co.Program(), o, out, err), 1);
    EXPECT_NE(err.str().find("nothing was changed"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("cut short or damaged"), std::string::npos) << err.str();
    EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
  }
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

TEST(StatementImport, RefusalsOfTheWholeStatement) {
  StatementCompany co;
  co.EnterSampleRegister();
  TempDir dir;
  struct Case {
    const char* name;
    const char* bank;
    tsDate end;
    const char* error;
  } cases[] = {
      {"unknown bank", "NOPE", tsDate(2025, 3, 31), "no bank account"},
      {"not after the last reconciliation", kBank, tsDate(2025, 2, 28), "not after the last reconciliation"},
  };
  const std::string before = txtest::DumpDatabase(co.Folder());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto o = OfxStatement(dir, "s.ofx", sttest::SampleLines(), tsDate(2025, 2, 1), c.end, "1.00", c.bank);
    std::ostringstream out, err;
    EXPECT_EQ(bkreg::StatementImport(co.Program(), o, out, err), 1);
    EXPECT_NE(err.str().find(c.error), std::string::npos) << err.str();
    EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
  }
  // A second statement while the first is in progress.
  auto o = OfxStatement(dir, "march.ofx", {sttest::SampleLines()[0]}, tsDate(2025, 3, 1), tsDate(2025, 3, 31), "800.00");
  std::ostringstream out, err;
  ASSERT_EQ(bkreg::StatementImport(co.Program(), o, out, err), 0) << err.str();
  o = OfxStatement(dir, "april.ofx", {}, tsDate(2025, 4, 1), tsDate(2025, 4, 30), "800.00");
  EXPECT_EQ(bkreg::StatementImport(co.Program(), o, out, err), 1);
  EXPECT_NE(err.str().find("is in progress; finish it first"), std::string::npos) << err.str();
}

// Each fetch, insert, update and commit of an import failing in turn: the
// import fails (2); a unit is rolled back whole and its other lines applied
// again, so no transaction is cleared without its line being remembered or
// the reverse, and the account's totals agree with its transactions; the
// next import takes up what is left and the end is the same as without the
// failure.
TEST(StatementImport, AFailedUnitLosesNothingAndIsTakenUpAgain) {
  auto check = [](StatementCompany& co, int want_cleared) {
    EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()}));
    int cleared = 0, remembered = 0;
    for (const auto& t : txtest::Transactions(co.History())) {
      cleared += t.GetReconciled().Value() == TransactionData::kStateCleared;
    }
    StatementLine lines(co.Statements());
    for (auto st = lines.FetchFirst(false); st == tsioStatus::kSuccess; st = lines.FetchNext(false)) ++remembered;
    EXPECT_EQ(cleared, remembered);
    if (want_cleared >= 0) {
      EXPECT_EQ(cleared, want_cleared);
    }
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
      co.EnterSampleRegister();
      TempDir dir;
      auto o = OfxStatement(dir, "s.ofx", sttest::SampleLines(), tsDate(2025, 3, 1), tsDate(2025, 3, 31), "958.73");
      o.unit_lines = 2;
      std::ostringstream out, err;
      tsioFaults::Arm(k.op, tsioStatus::kIOError, nth);
      const int rc = bkreg::StatementImport(co.Program(), o, out, err);
      tsioFaults::Clear();
      EXPECT_EQ(rc, 2) << out.str() << err.str();
      check(co, -1);
      std::ostringstream out2, err2;
      EXPECT_EQ(bkreg::StatementImport(co.Program(), o, out2, err2), 0) << err2.str();
      check(co, 5);
    }
  }
}

// Another program holding the bank account: the import and the finish
// answer 3 and change nothing; once it lets go they go through.
TEST(StatementImport, ABankAccountHeldByAnotherProgramAnswersLocked) {
  StatementCompany co;
  co.EnterSampleRegister();
  TempDir dir;
  // Only the lines the register knows exactly: the statement reconciles.
  auto lines = sttest::SampleLines();
  lines.resize(5);
  const auto o = OfxStatement(dir, "s.ofx", lines, tsDate(2025, 3, 1), tsDate(2025, 3, 31), "1050.00");
  auto hold = [&] {
    const std::string folder = co.Folder();
    auto child = bktest::ChildProcess::Start([folder] {
      tsioFileManager fm(folder);
      tsioDataFile* file = nullptr;
      if (fm.Open(BKMFileSpec, &file) != tsioStatus::kSuccess) return 1;
      BankAccount bank(*file);
      bank.m_Record.SetBankAccount(tsAlpha(kBank));
      bktest::ChildProcess::WriteLine(std::to_string(bank.FetchEQ(true)));
      (void)bktest::ChildProcess::ReadLine();
      return 0;
    });
    EXPECT_EQ(child.Receive(), "0");
    return child;
  };
  std::ostringstream out, err;
  const std::function<int()> import = [&] { return bkreg::StatementImport(co.Program(), o, out, err); };
  const std::function<int()> finish = [&] { return bkreg::ReconcileFinish(co.Program(), {kBank, "", ""}, out, err); };
  for (const auto& command : {import, finish}) {
    const std::string before = txtest::DumpDatabase(co.Folder());
    auto child = hold();
    EXPECT_EQ(command(), 3) << err.str();
    EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
    child.Send("done");
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(command(), 0) << err.str();
  }
}

// Matching costs the line's candidates plus the fetches that end its
// searches, whatever the size of the register: the same statement against
// registers of 200 and of 4,000 other transactions (same amounts' other
// dates, other amounts on the same dates) costs the same fetches.
TEST(StatementMatcher, FetchesPerLineDoNotGrowWithTheRegister) {
  auto cost = [](int filler, uint64_t* queries) {
    StatementCompany co;
    co.EnterSampleRegister();
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
