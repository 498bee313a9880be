// Programs killed (SIGKILL) at random points of their work: a second
// program enters transactions with their details and notes, moves them to
// history with everything that hangs under them and clears them, each in a
// unit of work, until it is killed. After every kill each transaction is
// wholly in the register or wholly in history (with every detail and note it
// was entered with, nothing left behind), the batch counts exactly the
// transactions entered in it, and the bank account's stored totals equal the
// computation from scratch.
//
// BK_CRASH_RUNS sets the number of kills (default 12; `make crash-tx
// RUNS=n` runs the long form).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "deposits/cash_detail.h"
#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "deposits/detail_transfer_test_support.h"
#include "deposits/withdrawal_detail.h"
#include "batches/bk_batch_part.h"
#include "framework/batch/batch.h"
#include "framework/io/attachments.h"
#include "transactions/transactions_test_support.h"

namespace {

using bkdetailtest::Put;
using bktest::ChildProcess;

constexpr unsigned short kCommand = 750;

// What a transaction was entered with, written into its description:
// "<tag> i<items> l<lines per item> w<withdrawal details> c<cash details>
// n<notes>".
struct Shape {
  std::string tag;
  int items = 0, lines = 0, withdrawals = 0, cash = 0, notes = 0;
  std::string Text() const {
    std::ostringstream s;
    s << tag << " i" << items << " l" << lines << " w" << withdrawals << " c" << cash << " n" << notes;
    return s.str();
  }
  static Shape Parse(const std::string& text) {
    Shape shape;
    std::istringstream s(text);
    char c;
    s >> shape.tag >> c >> shape.items >> c >> shape.lines >> c >> shape.withdrawals >> c >> shape.cash >> c >>
        shape.notes;
    return shape;
  }
};

std::string Where(const char* prefix, const TransactionData& t, const char* run, const char* seq) {
  return std::string(prefix) + "=B1;" + run + "=" + t.GetRun().Format() + ";" + seq + "=" + t.GetSequence().Format();
}

// A program's work, one unit each: enter, move to history, clear.
class Worker {
 public:
  Worker(bkProgram& program, tsioDataFile& history, unsigned seed)
      : program_(program), bkt_(*program.File(BKTFileSpec)), bkm_(*program.File(BKMFileSpec)),
        history_(history), history_header_(history), rng_(seed) {}

  // Enters a transaction of a random kind with its details and notes.
  std::string Enter(const std::string& tag) {
    const int type = 1 + static_cast<int>(rng_() % 4);
    Shape shape;
    shape.tag = tag;
    if (type == 2) {
      shape.items = 1 + static_cast<int>(rng_() % 3);
      shape.lines = 1 + static_cast<int>(rng_() % 3);
    }
    if (type == 3) shape.withdrawals = 1 + static_cast<int>(rng_() % 3);
    shape.cash = static_cast<int>(rng_() % 3);
    shape.notes = static_cast<int>(rng_() % 3);
    const std::string amount = std::string(type == 4 && rng_() % 2 ? "-" : "") + std::to_string(1 + rng_() % 900) +
                               "." + std::to_string(10 + rng_() % 90);
    tclRollbackStack unit;
    Transaction t(bkt_);
    txtest::Fill(t.m_Record, type, amount.c_str(), shape.Text(), 100 + static_cast<int>(rng_() % 100000));
    ccStatus<ccError::Level> st = txtest::Enter(program_, t, nullptr, unit);
    if (st.HasError()) return "enter: " + st.Errors()[0].Text();
    const TransactionData& r = t.m_Record;
    for (int i = 1; i <= shape.items; ++i) {
      Put<DepositItem>(bkt_, Where("DIBNKAC", r, "DIRUN", "DISEQ") + ";DITEMNO=" + std::to_string(i) + ";DIAMT=1.00");
      for (int l = 1; l <= shape.lines; ++l) {
        Put<DepositItemDetail>(bkt_, Where("DIGBNKA", r, "DIGRUN", "DIGSEQ") + ";DIGLINO=" + std::to_string(i) +
                                         ";DIGLACC=" + std::to_string(4000 + l) + ";DIGAMT=1.00");
      }
    }
    for (int w = 1; w <= shape.withdrawals; ++w) {
      Put<WithdrawalDetail>(bkt_, Where("WDBNKAC", r, "WDRUN", "WDSEQ") + ";WDGLACC=" + std::to_string(6000 + w) +
                                      ";WDAMT=1.00");
    }
    for (int c = 1; c <= shape.cash; ++c) {
      Put<CashDetail>(bkt_, Where("CDBNKAC", r, "CDTRUN", "CDTSEQ") + ";CDRUN=1;CDSEQ=" + std::to_string(c) +
                                ";CDCSHAC=1000;CDAMT=1.00");
    }
    if (shape.notes > 0) {
      tsioAttachments notes(bkt_, TransactionData::kRecordType);
      for (int n = 0; n < shape.notes; ++n) notes.Notes().push_back("note " + std::to_string(n));
      if (notes.Write(*t.CursorPtr()) != tsioStatus::kSuccess) return "enter: notes";
    }
    if (::testing::Test::HasFailure()) return "enter: a detail";
    return unit.Commit() == tsioStatus::kSuccess ? "" : "enter: commit";
  }

  // Moves a random transaction of the register to history.
  std::string MoveOne() {
    std::vector<TransactionData> all = txtest::Transactions(bkt_);
    if (all.empty()) return "";
    tclRollbackStack unit;
    if (unit.EnsureBegun(bkt_.Company()) != tsioStatus::kSuccess) return "move: begin";
    Transaction t(bkt_);
    t.AttachRollbackStack(&unit);
    if (txtest::FetchByKey(t, all[rng_() % all.size()], true) != tsioStatus::kSuccess) return "move: fetch";
    ccStatus<ccBoolStatus> taken(kBoolSuccess);
    const tsDouble run = history_header_.ThisRun(taken);
    if (taken.Value() != kBoolSuccess) return "move: run";
    ccStatus<TransferStatus> st = t.TransferWithDetails(history_, run, history_header_.NextSequence());
    if (st.Value() != kTransferDone) return "move: " + st.Errors()[0].Text();
    return unit.Commit() == tsioStatus::kSuccess ? "" : "move: commit";
  }

  // Clears a random transaction of history (cleared or reconciled ones too),
  // with its own amount or a little more.
  std::string ClearOne() {
    std::vector<TransactionData> all = txtest::Transactions(history_);
    if (all.empty()) return "";
    tclRollbackStack unit;
    Transaction t(history_);
    BankAccount bank(bkm_);
    t.AttachRollbackStack(&unit);
    bank.AttachRollbackStack(&unit);
    if (txtest::FetchByKey(t, all[rng_() % all.size()], false) != tsioStatus::kSuccess) return "clear: fetch";
    const tsCurrency amount = t.m_Record.GetAmount() + tsCurrency::FromText("0.0" + std::to_string(rng_() % 3));
    ccStatus<ccError::Level> st =
        t.clearTransaction(amount, tsDate(2025, 3, 25), &bank, t.m_Record.GetRun(), nullptr);
    if (st.HasError()) return "clear: " + st.Errors()[0].Text();
    return unit.Commit() == tsioStatus::kSuccess ? "" : "clear: commit";
  }

 private:
  bkProgram& program_;
  tsioDataFile& bkt_;
  tsioDataFile& bkm_;
  tsioDataFile& history_;
  TransactionFileHeader history_header_;
  std::mt19937 rng_;
};

// Checks one file: every transaction has the details and notes its shape
// says, no detail lacks its transaction; the tags seen are added to `tags`
// (each must be seen once over both files).
void CheckFile(const tsioDataFile& file, bool history, std::set<std::string>& tags) {
  std::map<std::string, Shape> found;
  std::map<std::string, int> item_lines;  // "run/seq/item" -> lines
  txtest::Walk<DepositItem>(file, "DIRUN", "DISEQ", [&](const std::string& k, const DepositItemData&) { ++found[k].items; });
  txtest::Walk<DepositItemDetail>(file, "DIGRUN", "DIGSEQ", [&](const std::string& k, const DepositItemDetailData& d) {
    ++item_lines[k + "/" + d.GetDepositItemNumber().Format()];
  });
  txtest::Walk<WithdrawalDetail>(file, "WDRUN", "WDSEQ",
                         [&](const std::string& k, const WithdrawalDetailData&) { ++found[k].withdrawals; });
  txtest::Walk<CashDetail>(file, "CDTRUN", "CDTSEQ", [&](const std::string& k, const CashDetailData&) { ++found[k].cash; });
  std::set<std::string> keys;
  for (const TransactionData& t : txtest::Transactions(file)) {
    const std::string key = t.GetRun().Format() + "/" + t.GetSequence().Format();
    keys.insert(key);
    const Shape want = Shape::Parse(t.GetDescription().str());
    SCOPED_TRACE(want.Text() + (history ? " in history" : " in the register"));
    EXPECT_TRUE(tags.insert(want.tag).second) << "in both files, or twice";
    EXPECT_EQ(static_cast<bool>(t.GetPosted()), history);
    const Shape& got = found[key];
    EXPECT_EQ(got.items, want.items);
    EXPECT_EQ(got.withdrawals, want.withdrawals);
    EXPECT_EQ(got.cash, want.cash);
    for (int i = 1; i <= want.items; ++i) EXPECT_EQ(item_lines[key + "/" + std::to_string(i)], want.lines);
    Transaction at(file);
    ASSERT_EQ(txtest::FetchByKey(at, t, false), tsioStatus::kSuccess);
    tsioAttachments notes(file, TransactionData::kRecordType);
    ASSERT_EQ(notes.Fetch(*at.CursorPtr()), tsioStatus::kSuccess);
    EXPECT_EQ(static_cast<int>(notes.Notes().size()), want.notes);
  }
  for (const auto& [key, shape] : found) EXPECT_TRUE(keys.count(key)) << "a detail left without its transaction: " << key;
  for (const auto& [key, n] : item_lines) {
    EXPECT_TRUE(keys.count(key.substr(0, key.rfind('/')))) << "a line left without its transaction: " << key;
  }
}

// The batch the killed programs enter into counts exactly the transactions
// entered in it that are there (in the register or, posted, in history).
void CheckBatch(txtest::TxCompany& co) {
  long long count = 0;
  tsCurrency amount;
  for (const tsioDataFile* file : {&co.Bkt(), &co.History()}) {
    for (const TransactionData& t : txtest::Transactions(*file)) {
      if (!(t.GetBatch() == "CRASH")) continue;
      ++count;
      amount += t.GetAmount();
    }
  }
  txtest::ExpectStoredBatch(co, "CRASH", count, amount);
}

void CheckCompany(txtest::TxCompany& co, int entered) {
  std::set<std::string> tags;
  CheckFile(co.Bkt(), false, tags);
  CheckFile(co.History(), true, tags);
  EXPECT_GE(static_cast<int>(tags.size()), entered) << "a committed transaction was lost";
  EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()}));
  CheckBatch(co);
}

int Runs() {
  const char* env = std::getenv("BK_CRASH_RUNS");
  const int n = env ? std::atoi(env) : 0;
  return n > 0 ? n : 12;
}

TEST(TransactionCrash, KilledInTheMiddleOfMovesAndClearingsLeavesEveryUnitWholeOrAbsent) {
  txtest::TxCompany co;
  // A start: transactions entered, some moved, some cleared, two reconciled.
  {
    Worker seed(co.Program(), co.History(), 7);
    for (int i = 0; i < 24; ++i) ASSERT_EQ(seed.Enter("S" + std::to_string(i)), "");
    for (int i = 0; i < 10; ++i) ASSERT_EQ(seed.MoveOne(), "");
    for (int i = 0; i < 4; ++i) ASSERT_EQ(seed.ClearOne(), "");
    int reconciled = 0;
    for (TransactionData t : txtest::Transactions(co.History())) {
      if (reconciled == 2) break;
      Transaction r(co.History());
      ASSERT_EQ(txtest::FetchByKey(r, t, true), tsioStatus::kSuccess);
      r.m_Record.SetReconciled(tsChoice(TransactionData::kStateReconciled));
      r.m_Record.SetClearedAmount(r.m_Record.GetAmount());
      ASSERT_EQ(r.Update(), tsioStatus::kSuccess);
      (void)r.Unlock();
      ++reconciled;
    }
    txtest::StoreFromScratch(co.Bkm(), {&co.Bkt(), &co.History()});
  }
  CheckCompany(co, 24);

  const int runs = Runs();
  std::mt19937 rng(20250310);
  std::map<std::string, int> interrupted;  // the operation each kill met
  int entered = 24;
  for (int run = 0; run < runs; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const std::string folder = co.Folder();
    const unsigned seed = static_cast<unsigned>(rng());
    ChildProcess child = ChildProcess::Start([folder, seed, run] {
      bkProgram program(kCommand);
      tsioDataFile* history = nullptr;
      if (program.OpenFiles() != kBoolSuccess ||
          program.FileManager().Open(BKTHistoryFileSpec, &history) != tsioStatus::kSuccess) {
        ChildProcess::WriteLine("error: open");
        return 1;
      }
      zzBatch batch("AP", tsAlpha("CRASH"), 2);
      batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))
          ->SetFileNumber(program.File(BKTFileSpec)->FileNum());
      program.SetBatch(batch);
      Worker worker(program, *history, seed);
      std::mt19937 pick(seed);
      ChildProcess::WriteLine("ready");
      for (int n = 0;; ++n) {
        const unsigned what = pick() % 5;
        std::string error;
        if (what == 0) {
          ChildProcess::WriteLine("enter");
          error = worker.Enter("R" + std::to_string(run) + "-" + std::to_string(n));
        } else if (what < 3) {
          ChildProcess::WriteLine("transfer");
          error = worker.MoveOne();
        } else {
          ChildProcess::WriteLine("clear");
          error = worker.ClearOne();
        }
        ChildProcess::WriteLine(error.empty() ? "done" : "error: " + error);
        if (!error.empty()) return 2;
      }
    });
    ASSERT_EQ(child.Receive(), "ready");
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 30000));
    child.Kill(SIGKILL);
    child.Wait();
    std::string last = "before the first operation";
    for (std::string line = child.Receive(200); !line.empty(); line = child.Receive(200)) {
      ASSERT_EQ(line.rfind("error", 0), std::string::npos) << line;
      if (line == "done") {
        if (last == "enter") ++entered;
        last = "between operations";
      } else {
        last = line;
      }
    }
    ++interrupted[last];
    CheckCompany(co, entered);
    if (HasFailure()) return;
  }
  std::string summary;
  for (const auto& [what, n] : interrupted) summary += what + ": " + std::to_string(n) + "; ";
  std::cout << "kills met: " << summary << "\n";
  if (runs >= 100) {
    EXPECT_GE(interrupted["transfer"], runs / 10) << summary;
    EXPECT_GE(interrupted["clear"], runs / 10) << summary;
  }
}

}  // namespace
