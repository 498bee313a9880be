// Programs killed (SIGKILL) at random points of their work. A second
// program enters transactions with their details and notes, moves them to
// history with everything that hangs under them and clears them, each in a
// unit of work, until it is killed. After every kill each transaction is
// wholly in the register or wholly in history (with every detail and note it
// was entered with, nothing left behind), the batch counts exactly the
// transactions entered in it, and the bank account's stored totals equal the
// computation from scratch: a unit that changed the current transactions,
// the history and the bank master is in all three or in none. (Rollbacks
// within one program are checked at every failing step in
// transaction_ops_test.cc.)
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
using bkdetailtest::Set;
using bktest::ChildProcess;

constexpr unsigned short kCommand = 750;

// What a transaction was entered with is written into its description:
// "<tag> <details as txtest::Details gives them> n<notes>".
// A program's work, one unit each: enter, move to history, clear.
class Worker {
 public:
  Worker(bkProgram& program, tsioDataFile& history, unsigned seed)
      : program_(program), bkt_(*program.File(BKTFileSpec)), bkm_(*program.File(BKMFileSpec)),
        history_(history), history_header_(history), rng_(seed) {}

  // Enters a transaction of a random kind with its details and notes.
  std::string Enter(const std::string& tag) {
    const int type = 1 + static_cast<int>(rng_() % 4);
    std::map<std::string, int> details;
    const int items = type == 2 ? 1 + static_cast<int>(rng_() % 3) : 0;
    const int lines = 1 + static_cast<int>(rng_() % 3);
    for (int i = 1; i <= items; ++i) details["DIG" + std::to_string(i)] = lines;
    if (items > 0) details["DI"] = items;
    if (type == 3) details["WD"] = 1 + static_cast<int>(rng_() % 3);
    if (const int cash = static_cast<int>(rng_() % 3)) details["CD"] = cash;
    const int notes = static_cast<int>(rng_() % 3);
    const std::string amount = std::string(type == 4 && rng_() % 2 ? "-" : "") + std::to_string(1 + rng_() % 900) +
                               "." + std::to_string(10 + rng_() % 90);
    const std::string shape = tag + " " + txtest::DetailText(details) + " n" + std::to_string(notes);
    tclRollbackStack unit;
    Transaction t(bkt_);
    txtest::Fill(t.m_Record, type, amount.c_str(), shape, 100 + static_cast<int>(rng_() % 100000));
    ccStatus<ccError::Level> st = txtest::Enter(program_, t, nullptr, unit);
    if (st.HasError()) return "enter: " + st.Errors()[0].Text();
    const std::string in = "RUN=" + t.m_Record.GetRun().Format(), of = "SEQ=" + t.m_Record.GetSequence().Format();
    for (int i = 1; i <= items; ++i) {
      Put<DepositItem>(bkt_, "DIBNKAC=B1;DIAMT=1.00;DI" + in + ";DI" + of + ";DITEMNO=" + std::to_string(i));
      for (int l = 1; l <= lines; ++l) {
        Put<DepositItemDetail>(bkt_, "DIGBNKA=B1;DIGAMT=1.00;DIG" + in + ";DIG" + of + ";DIGLINO=" + std::to_string(i) +
                                         ";DIGLACC=" + std::to_string(4000 + l));
      }
    }
    for (int w = 1; w <= details["WD"]; ++w) {
      Put<WithdrawalDetail>(bkt_, "WDBNKAC=B1;WDAMT=1.00;WD" + in + ";WD" + of +
                                      ";WDGLACC=" + std::to_string(6000 + w));
    }
    for (int c = 1; c <= details["CD"]; ++c) {
      Put<CashDetail>(bkt_, "CDBNKAC=B1;CDAMT=1.00;CDCSHAC=1000;CDRUN=1;CDT" + in + ";CDT" + of +
                                ";CDSEQ=" + std::to_string(c));
    }
    if (notes > 0) {
      tsioAttachments a(bkt_, TransactionData::kRecordType);
      for (int n = 0; n < notes; ++n) a.Notes().push_back("note " + std::to_string(n));
      if (a.Write(*t.CursorPtr()) != tsioStatus::kSuccess) return "enter: notes";
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

// Every transaction of both files has the details and notes its description
// says and is posted exactly in history, each tag is in one file once, no
// detail lacks its transaction; the batch the killed programs enter into
// counts exactly the transactions entered in it that are there; the stored
// totals equal the computation from scratch.
void CheckCompany(txtest::TxCompany& co, int entered) {
  std::set<std::string> tags;
  long long count = 0;
  tsCurrency amount;
  for (auto [file, history] : {std::pair{&co.Bkt(), false}, {&co.History(), true}}) {
    std::map<std::string, std::string> details = txtest::Details(*file);
    for (const TransactionData& t : txtest::Transactions(*file)) {
      const std::string key = t.GetRun().Format() + "/" + t.GetSequence().Format();
      const std::string want = t.GetDescription().str();
      const std::string tag = want.substr(0, want.find(' '));
      SCOPED_TRACE(want + (history ? " in history" : " in the register"));
      EXPECT_TRUE(tags.insert(tag).second) << "in both files, or twice";
      EXPECT_EQ(static_cast<bool>(t.GetPosted()), history);
      Transaction at(*file);
      ASSERT_EQ(txtest::FetchByKey(at, t, false), tsioStatus::kSuccess);
      tsioAttachments notes(*file, TransactionData::kRecordType);
      ASSERT_EQ(notes.Fetch(*at.CursorPtr()), tsioStatus::kSuccess);
      EXPECT_EQ(tag + " " + details[key] + " n" + std::to_string(notes.Notes().size()), want);
      details.erase(key);
      count += t.GetBatch() == "CRASH" ? 1 : 0;
      amount += t.GetBatch() == "CRASH" ? t.GetAmount() : tsCurrency();
    }
    EXPECT_EQ(details, (std::map<std::string, std::string>{})) << "details left without their transaction";
  }
  EXPECT_GE(static_cast<int>(tags.size()), entered) << "a committed transaction was lost";
  EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()}));
  EXPECT_EQ(txtest::StoredBatch(co, "CRASH"), std::to_string(count) + " " + amount.Format());
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
    const std::vector<TransactionData> posted = txtest::Transactions(co.History());
    for (size_t i = 0; i < 2; ++i) {
      Transaction r(co.History());
      ASSERT_EQ(txtest::FetchByKey(r, posted[i], true), tsioStatus::kSuccess);
      r.m_Record.SetReconciled(tsChoice(TransactionData::kStateReconciled));
      r.m_Record.SetClearedAmount(r.m_Record.GetAmount());
      ASSERT_EQ(r.Update(), tsioStatus::kSuccess);
      (void)r.Unlock();
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
        const unsigned what = pick() % 5;  // one in five enters, two move, two clear
        ChildProcess::WriteLine(what == 0 ? "enter" : what < 3 ? "transfer" : "clear");
        const std::string error = what == 0 ? worker.Enter("R" + std::to_string(run) + "-" + std::to_string(n))
                                  : what < 3 ? worker.MoveOne()
                                             : worker.ClearOne();
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
