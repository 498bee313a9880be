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

#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "framework/batch/batch.h"
#include "framework/io/attachments.h"
#include "transactions/transactions_test_support.h"

namespace {

using bkdetailtest::Put;
using bktest::ChildProcess;

// A program's work, one unit each: enter, move to history, clear. What a
// transaction was entered with is written into its description: "<tag>
// <details as txtest::Details gives them> n<notes>".
class Worker {
 public:
  Worker(bkProgram& program, tsioDataFile& history, unsigned seed)
      : program_(program), bkt_(*program.File(BKTFileSpec)), history_(history), header_(history), rng_(seed) {}

  // Enters a transaction of a random kind with its details (deposit items,
  // withdrawal details, cash details) and notes.
  std::string Enter(const std::string& tag) {
    const int type = 1 + static_cast<int>(rng_() % 4);
    const int items = type == 2 ? 1 + Pick(3) : 0, wds = type == 3 ? 1 + Pick(3) : 0, cash = Pick(3);
    const int notes = Pick(3);
    std::map<std::string, int> details{{"DI", items}, {"WD", wds}, {"CD", cash}};
    std::erase_if(details, [](const auto& kind) { return kind.second == 0; });
    const std::string amount = (type == 4 && Pick(2) ? "-" : "") + std::to_string(1 + Pick(900)) + "." +
                               std::to_string(10 + Pick(90));
    tclRollbackStack unit;
    Transaction t(bkt_);
    const std::string shape = tag + " " + txtest::DetailText(details) + " n" + std::to_string(notes);
    txtest::Fill(t.m_Record, type, amount.c_str(), shape, 100 + Pick(100000));
    ccStatus<ccError::Level> st = txtest::Enter(program_, t, nullptr, unit);
    if (st.HasError()) return "enter: " + st.Errors()[0].Text();
    const std::string run = t.m_Record.GetRun().Format(), seq = t.m_Record.GetSequence().Format();
    auto of = [&](const std::string& p) { return p + "RUN=" + run + ";" + p + "SEQ=" + seq + ";"; };
    for (int i = 1; i <= items; ++i) Put<DepositItem>(bkt_, "DIBNKAC=B1;" + of("DI") + "DITEMNO=" + std::to_string(i));
    for (int i = 1; i <= wds; ++i) {
      Put<WithdrawalDetail>(bkt_, "WDBNKAC=B1;" + of("WD") + "WDGLACC=" + std::to_string(i));
    }
    for (int i = 1; i <= cash; ++i) Put<CashDetail>(bkt_, "CDBNKAC=B1;" + of("CDT") + "CDSEQ=" + std::to_string(i));
    tsioAttachments a(bkt_, TransactionData::kRecordType);
    a.Notes().assign(static_cast<size_t>(notes), "a note");
    if (notes > 0 && a.Write(*t.CursorPtr()) != tsioStatus::kSuccess) return "enter: notes";
    if (::testing::Test::HasFailure()) return "enter: a detail";
    return unit.Commit() == tsioStatus::kSuccess ? "" : "enter: commit";
  }

  // Moves a random transaction of the register to history.
  std::string MoveOne() {
    tclRollbackStack unit;
    if (unit.EnsureBegun(bkt_.Company()) != tsioStatus::kSuccess) return "move: begin";
    Transaction t(bkt_);
    t.AttachRollbackStack(&unit);
    if (const auto st = FetchAny(t, true); st != tsioStatus::kSuccess) return st == kNone ? "" : "move: fetch";
    ccStatus<ccBoolStatus> taken(kBoolSuccess);
    const tsDouble run = header_.ThisRun(taken);
    if (taken.Value() != kBoolSuccess) return "move: run";
    ccStatus<TransferStatus> st = t.TransferWithDetails(history_, run, header_.NextSequence());
    if (st.Value() != kTransferDone) return "move: " + st.Errors()[0].Text();
    return unit.Commit() == tsioStatus::kSuccess ? "" : "move: commit";
  }

  // Clears a random transaction of history (cleared or reconciled ones too),
  // with its own amount or a little more.
  std::string ClearOne() {
    tclRollbackStack unit;
    Transaction t(history_);
    BankAccount bank(*program_.File(BKMFileSpec));
    t.AttachRollbackStack(&unit);
    bank.AttachRollbackStack(&unit);
    if (const auto st = FetchAny(t, false); st != tsioStatus::kSuccess) {
      return st == kNone ? "" : "clear: fetch";
    }
    const tsCurrency amount = t.m_Record.GetAmount() + tsCurrency::FromText("0.0" + std::to_string(Pick(3)));
    ccStatus<ccError::Level> st = t.clearTransaction(amount, tsDate(2025, 3, 25), &bank, t.m_Record.GetRun(), nullptr);
    if (st.HasError()) return "clear: " + st.Errors()[0].Text();
    return unit.Commit() == tsioStatus::kSuccess ? "" : "clear: commit";
  }

  int Pick(unsigned n) { return static_cast<int>(rng_() % n); }

 private:
  static constexpr tsioStatus::Status kNone = tsioStatus::kEndOfFile;
  // Positions `t` on a random transaction of its file: kNone when there is none.
  tsioStatus::Status FetchAny(Transaction& t, bool lock) {
    const std::vector<TransactionData> all = txtest::Transactions(t.File());
    return all.empty() ? kNone : txtest::FetchByKey(t, all[rng_() % all.size()], lock);
  }

  bkProgram& program_;
  tsioDataFile& bkt_;
  tsioDataFile& history_;
  TransactionFileHeader header_;
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

TEST(TransactionCrash, KilledInTheMiddleOfMovesAndClearingsLeavesEveryUnitWholeOrAbsent) {
  txtest::TxCompany co;
  // A start: transactions entered, some moved, some cleared, two reconciled
  // (with neither details nor notes).
  Worker start(co.Program(), co.History(), 7);
  for (int i = 0; i < 24; ++i) ASSERT_EQ(start.Enter("S" + std::to_string(i)), "");
  for (int i = 0; i < 10; ++i) ASSERT_EQ(start.MoveOne(), "");
  for (int i = 0; i < 4; ++i) ASSERT_EQ(start.ClearOne(), "");
  for (const char* seq : {"1", "2"}) {
    Put<Transaction>(co.History(), std::string("TBNKACC=B1;TRUN=900;TRANTYP=1;TSUBTR=5.00;TPOSTED=1;TRECOND=3;"
                                               "TRECAMT=-5.00;TSEQ=") + seq + ";TDESC=P" + seq + "  n0");
  }
  txtest::StoreFromScratch(co.Bkm(), {&co.Bkt(), &co.History()});
  CheckCompany(co, 24);
  const char* env = std::getenv("BK_CRASH_RUNS");
  const int runs = env && std::atoi(env) > 0 ? std::atoi(env) : 12;
  std::mt19937 rng(20250310);
  std::map<std::string, int> interrupted;  // the operation each kill met
  int entered = 24;
  for (int run = 0; run < runs && !HasFailure(); ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const std::string folder = co.Folder();
    const unsigned seed = static_cast<unsigned>(rng());
    ChildProcess child = ChildProcess::Start([folder, seed, run] {
      bkProgram program(750);
      tsioDataFile* history = nullptr;
      if (program.OpenFiles() != kBoolSuccess ||
          program.FileManager().Open(BKTHistoryFileSpec, &history) != tsioStatus::kSuccess) {
        return 1;
      }
      zzBatch batch("AP", tsAlpha("CRASH"), 2);
      batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))
          ->SetFileNumber(program.File(BKTFileSpec)->FileNum());
      program.SetBatch(batch);
      Worker worker(program, *history, seed);
      ChildProcess::WriteLine("ready");
      for (int n = 0;; ++n) {
        const int what = worker.Pick(5);  // one in five enters, two move, two clear
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
      entered += line == "done" && last == "enter" ? 1 : 0;
      last = line == "done" ? "between operations" : line;
    }
    ++interrupted[last];
    CheckCompany(co, entered);
  }
  std::string summary;
  for (const auto& [what, n] : interrupted) summary += what + ": " + std::to_string(n) + "; ";
  std::cout << "kills met: " << summary << "\n";
  EXPECT_TRUE(runs < 100 || (interrupted["transfer"] >= runs / 10 && interrupted["clear"] >= runs / 10)) << summary;
}

}  // namespace
