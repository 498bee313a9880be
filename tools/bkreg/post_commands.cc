// bkreg post BATCH: moves every transaction of a batch to history, with its
// details, notes and attachments, writes its general-ledger lines and has
// the general ledger post them; the posting totals go to the program's
// journal, printed or written to a file.
//
// Rules:
//   - every batch record of that id (the register's "BK" and payables'
//     "AP" checks alike) is posted; a batch with control totals must be in
//     balance (the entered count and amount equal the control ones);
//   - the batch records are held locked while the batch is posted, so a
//     second posting, or an entry into the batch, waits its turn (exit 3);
//     programs posting other batches at once take the general ledger's
//     run one after another, each waiting (--wait) while another holds it;
//     the bank accounts concerned must not be edited by another program;
//   - a posted transaction keeps its bank, run and sequence in history:
//     the number entering printed names it from entry to reconciliation
//     (a key that a posting of an older version took in history already
//     gets a new run of the register's, and the output says so);
//   - general-ledger lines: a transaction with both a debit and a credit
//     account gives a line pair; a deposit's item lines and a withdrawal's
//     details give one pair each (the bank's side being the transaction's
//     own account); a transaction without accounts is posted without lines;
//     the general ledger's own rules decide what it keeps (checks written
//     by payables are payables' to send, not the register's);
//   - the work goes in units of work of --unit transactions (default
//     1,000): the history records and their lines commit together, so a stop loses at most the unit in progress; the general
//     ledger posts the batch's lines inside the last unit, so a batch of one
//     unit is posted whole (history, lines posted) or not at all. After a
//     stop, posting the batch again posts what is left and the lines that
//     wait. Progress shows on a terminal; a stop says how many transactions
//     were posted.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <optional>
#include <CLI/CLI.hpp>


#include "accounts/bank_account.h"
#include "batches/batch.h"
#include "batches/bk_batch_part.h"
#include "deposits/cash_detail.h"
#include "deposits/deposit_item_detail.h"
#include "deposits/withdrawal_detail.h"
#include "framework/base/private_file.h"
#include "framework/batch/batch.h"
#include "framework/io/backend.h"
#include "framework/batch/batch_list.h"
#include "framework/control/interfaces.h"
#include "framework/io/command_reads.h"
#include "framework/io/company.h"
#include "framework/io/header.h"
#include "framework/io/rollback_stack.h"
#include "ledger/gl_post_launcher.h"
#include "ledger/gl_tran_creator.h"
#include "ledger/gl_transaction_values.h"
#include "records/files.h"
#include "records/relations.h"
#include "tools/bkreg/batch_ids.h"
#include "tools/bkreg/ledger_entry.h"
#include "tools/bkreg/module_commands.h"
#include "tools/bkreg/module_work.h"
#include "transactions/detailed_transaction_data.h"
#include "transactions/transaction.h"
#include "transactions/transaction_file_header.h"
#include "validation/tran_totals.h"

namespace bkreg {

namespace {

struct Key {
  tsAlpha bank;
  tsDouble run, sequence;
};

// Feeds one line pair (debit, credit, amount as the record's addition and
// subtraction) of `record` to the creator.
ccStatus<tsioStatus::Status> Accumulate(bkProgram& program, glwTranCreator& creator, TransactionData& record,
                                        TranLevelEnum level) {
  // A check the register entered carries the payables' stamp the module's
  // rules ask of a check with an amount; its lines are the register's own.
  if (record.GetApplOfOrigin() != "BK") {
    record.SetApplOfOrigin(tsAlpha("BK"));
    tclTSEnum<BatchSourceEnum> source;
    source.SetValue(2);
    record.SetBatchSource(source);
  }
  DetailedTransactionData detailed(&record, record.GetDescription(), kNonCashWithoutTax, false, false);
  bkGLTransactionValues values(program, true, &detailed);
  creator.SetTranValuesObject(&values);
  ccStatus<tsioStatus::Status> st = creator.AccumulateTrans(kBKIncludeAll);
  if (st.Value() == tsioStatus::kSuccess) st = creator.RollTrans(level, kBKIncludeAll);
  creator.SetTranValuesObject(nullptr);
  return st;
}

// The general-ledger lines of the transaction `t` holds; the number of
// pairs in `pairs`.
ccStatus<tsioStatus::Status> Lines(bkProgram& program, glwTranCreator& creator, Transaction& t, int* pairs) {
  ccStatus<tsioStatus::Status> st(tsioStatus::kSuccess);
  const TransactionData& r = t.m_Record;
  *pairs = 0;
  if (r.GetType().Value() == 2) {  // a deposit's item lines: the bank's debit, the line's credit
    DepositItemDetail line(t.File());
    tsioStatus::Status io = line.FetchFirstOf(*t.CursorPtr(), TransactionDepositItemDetailsRel, false);
    for (; io == tsioStatus::kSuccess && st.Value() == tsioStatus::kSuccess;
         io = line.FetchNextOf(*t.CursorPtr(), TransactionDepositItemDetailsRel, false)) {
      TransactionData part(r);
      part.SetCreditAccount(line.m_Record.GetCreditAccount());
      part.SetAddition(line.m_Record.GetAmount());
      part.SetSubtraction(tsCurrency());
      st = Accumulate(program, creator, part, kTranLevelItem);
      ++*pairs;
    }
    if (io != tsioStatus::kEndOfFile && io != tsioStatus::kNotFound && io != tsioStatus::kSuccess) {
      return ccStatus<tsioStatus::Status>(io);
    }
    if (*pairs > 0 || st.Value() != tsioStatus::kSuccess) return st;
  }
  if (r.GetType().Value() == 3) {  // a withdrawal's details: the detail's debit, the bank's credit
    WithdrawalDetail detail(t.File());
    tsioStatus::Status io = detail.FetchFirstOf(*t.CursorPtr(), TransactionWithdrawalDetailsRel, false);
    for (; io == tsioStatus::kSuccess && st.Value() == tsioStatus::kSuccess;
         io = detail.FetchNextOf(*t.CursorPtr(), TransactionWithdrawalDetailsRel, false)) {
      TransactionData part(r);
      part.SetDebitAccount(detail.m_Record.GetDebitAccount());
      part.SetSubtraction(detail.m_Record.GetAmount());
      part.SetAddition(tsCurrency());
      st = Accumulate(program, creator, part, kTranLevelItem);
      ++*pairs;
    }
    if (io != tsioStatus::kEndOfFile && io != tsioStatus::kNotFound && io != tsioStatus::kSuccess) {
      return ccStatus<tsioStatus::Status>(io);
    }
    if (*pairs > 0 || st.Value() != tsioStatus::kSuccess) return st;
  }
  if (r.GetDebitAccount().str().empty() || r.GetCreditAccount().str().empty()) return st;
  TransactionData whole(r);
  *pairs = 1;
  return Accumulate(program, creator, whole, kTranLevelTransaction);
}

// Before postings kept a transaction's run and sequence, each posting took
// a run of the history's own header: a company posted that way holds
// history runs the register's header may not have reached yet. Raising the
// register's run counter past the history's (a write of its own, at most
// once per company) keeps the key of every transaction entered from then on
// free in the history.
tsioStatus::Status RaiseRunCounterPastHistory(const tsioDataFile& current, const tsioDataFile& history) {
  tsDouble posted_last, last;
  tsioHeader old_runs(history, TransactionFileHeader::kHeaderNumber);
  if (old_runs.AttachColumn(TransactionFileHeader::kLastRunColumn, posted_last) != tsioStatus::kSuccess) {
    return tsioStatus::kSuccess;
  }
  tsioStatus::Status st = old_runs.Get(false);
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) return tsioStatus::kSuccess;
  if (st != tsioStatus::kSuccess) return st;
  tsioHeader runs(current, TransactionFileHeader::kHeaderNumber);
  if ((st = runs.AttachColumn(TransactionFileHeader::kLastRunColumn, last)) != tsioStatus::kSuccess) return st;
  if ((st = runs.Get(false)) != tsioStatus::kSuccess) return st;
  if (!(last < posted_last)) return tsioStatus::kSuccess;
  if ((st = runs.Get(true)) != tsioStatus::kSuccess) return st;
  if (last < posted_last) {
    last = posted_last;
    return runs.Update();
  }
  runs.Unlock();
  return tsioStatus::kSuccess;
}

// True when the history holds a transaction with `key` already (posted in
// the old way, under a run of the history's header).
bool TakenInHistory(const tsioDataFile& history, const Key& key, tsioStatus::Status* st) {
  Transaction probe(history, "TBNKACC;TRUN;TSEQ", 0);
  probe.m_Record.SetBankAccount(key.bank);
  probe.m_Record.SetRun(key.run);
  probe.m_Record.SetSequence(key.sequence);
  *st = probe.FetchEQ(false);
  const bool taken = *st == tsioStatus::kSuccess;
  if (*st == tsioStatus::kNotFound || *st == tsioStatus::kEndOfFile || taken) *st = tsioStatus::kSuccess;
  return taken;
}

}  // namespace

namespace {

// "" when the posting journal may be written to `path`, else what stands
// in the way: an existing file (without `force`), a folder, a folder that
// is missing or cannot be written, a disk without room (a probe of 64 KiB
// is set aside in the folder and taken back). A device or pipe that exists
// is written into.
std::string JournalTargetProblem(const std::string& path, bool force) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return path + " is a folder";
    if (!S_ISREG(st.st_mode)) return access(path.c_str(), W_OK) == 0 ? "" : path + " cannot be written";
    if (!force) return path + " exists (--force replaces it)";
  }
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat fs {};
  if (stat(folder.c_str(), &fs) != 0) return "folder " + folder + " does not exist";
  if (!S_ISDIR(fs.st_mode)) return folder + " is not a folder";
  const std::string probe = path + ".probe." + std::to_string(getpid());
  const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return path + " cannot be written (" + std::strerror(errno) + ")";
  const int room = posix_fallocate(fd, 0, 64 * 1024);
  close(fd);
  unlink(probe.c_str());
  if (room != 0) return path + " cannot be written (" + std::strerror(room) + ")";
  return "";
}

// Writes the program's journal to <company folder>/journal/post-<batch>-
// <time>.txt; its path, or "" when it could not be written there (a server
// company has no folder).
std::string KeepJournalCopy(bkProgram& program, const std::string& company, const std::string& batch) {
  if (tsioIsServerAddress(company)) return "";
  const std::string folder = company + "/journal";
  if (!tsMakePrivateFolder(folder)) return "";
  std::string safe;
  for (const char ch : batch) safe += std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' ? ch : '_';
  const std::string path = folder + "/post-" + safe + "-" + std::to_string(time(nullptr)) + "-" +
                           std::to_string(getpid()) + ".txt";
  return program.Journal().PrintToFile(path).Value() == kBoolSuccess ? path : "";
}

}  // namespace

namespace {

// Transactions locked and read together when posting on a server.
constexpr size_t kPostGroup = 16;

// Queues, in the posting unit, the lock and read of transaction `k` and the
// reads its move makes first (tied to that lock: tsioCursor::PrefetchLockedEQ).
void QueueMoveReads(ModuleWork& w, const Key& k) {
  Transaction t(w.Register());
  Transaction owner(w.Register(), "TBNKACC;TRUN;TSEQ", 0);
  Transaction in_history(w.History(), "TBNKACC;TRUN;TSEQ", 0);
  for (Transaction* x : {&t, &owner, &in_history}) {
    x->m_Record.SetBankAccount(k.bank);
    x->m_Record.SetRun(k.run);
    x->m_Record.SetSequence(k.sequence);
  }
  t.CursorPtr()->PrefetchLockedEQ();
  CashDetail(w.Register(), "CDBNKAC;CDTRUN;CDTSEQ;CDRUN;CDSEQ", 0)
      .CursorPtr()
      ->PrefetchFirstOf(*owner.CursorPtr(), TransactionCashDetailsRel, false);
  in_history.CursorPtr()->PrefetchEQ();
  t.PrefetchTransferReads();
}

}  // namespace

int PostBatch(const Common& c, const PostOptions& o, std::ostream& out, std::ostream& err) {
  if (o.unit < 1) {
    err << "bkreg: --unit: at least 1 transaction\n";
    return kRefused;
  }
  if (!o.journal.empty()) {
    if (const std::string problem = JournalTargetProblem(o.journal, o.force); !problem.empty()) {
      err << "bkreg: --journal " << problem << "; nothing was posted\n";
      return kRefused;
    }
  }
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  if (!ModuleWork::LoadLedger(err) || !w.OpenLedgerFiles(err)) {
    err << "bkreg: nothing was posted\n";
    return kFailed;
  }
  bkProgram& program = w.Program();

  // What posting reads before it takes the batch, asked in one request on
  // a server: the ledger interface's switch and the batch's records.
  tsioCommandReads reads(w.Master());
  zc_prefetch_control_reads("BK", "GL");
  PrefetchBatchRecords(reads, w.Register(), o.batch);
  reads.Send();
  // The batch records of that id, held for the posting.
  std::vector<std::unique_ptr<Batch>> batches;
  {
    std::vector<BatchData> records;
    if (const tsioStatus::Status st = BatchRecords(w.Register(), o.batch, &records); st != tsioStatus::kSuccess) {
      err << "bkreg: cannot read the batches (" << ccIOStatusStr(st) << ")\n";
      return kFailed;
    }
    // Each record's transactions are read once it is held (no entry is
    // counted into it then): the first read goes in its lock's request.
    reads.Keep(w.Register(), TransactionData::kRecordType);
    for (const BatchData& r : records) {
      auto b = std::make_unique<Batch>(w.Register());
      b->m_Record = r;
      Transaction(w.Register(), "TBNKACC;TRUN;TSEQ;TAPPL;TBATCH;TSOURCE;TDPLOC", 0)
          .CursorPtr()
          ->PrefetchFirstOf(*b->CursorPtr(), BatchTransactionsRel, false);
      const tsioStatus::Status held = c.ctx->Waiting([&] { return b->FetchEQ(true); });
      if (held == tsioStatus::kLocked || held == tsioStatus::kBusy) {
        err << "bkreg: batch '" << o.batch << "' is in use by another program (being posted or entered into)\n";
        return kBusy;
      }
      if (held != tsioStatus::kSuccess) {
        err << "bkreg: cannot read batch '" << o.batch << "' (" << ccIOStatusStr(held) << ")\n";
        return kFailed;
      }
      batches.push_back(std::move(b));
    }
  }
  if (batches.empty()) {
    err << "bkreg: no batch '" << o.batch << "'\n";
    return kRefused;
  }
  // The batch's control totals cover all its records (batch_ids.h).
  BatchTotals totals_of_batch;
  for (auto& b : batches) totals_of_batch.Add(b->m_Record);
  if (!totals_of_batch.InBalance()) {
    for (auto& b : batches) (void)b->Unlock();
    err << "bkreg: batch '" << o.batch << "' is not in balance: " << totals_of_batch.entered_count
        << " transactions of " << totals_of_batch.entered_amount.Format() << " entered, "
        << totals_of_batch.control_count << " of " << totals_of_batch.control_amount.Format()
        << " expected (batch edit " << o.batch << " corrects the control totals)\n";
    return kRefused;
  }
  std::vector<Key> keys;
  std::vector<std::string> banks;
  for (auto& b : batches) {
    Transaction t(w.Register(), "TBNKACC;TRUN;TSEQ;TAPPL;TBATCH;TSOURCE;TDPLOC", 0);
    tsioStatus::Status st = t.FetchFirstOf(*b->CursorPtr(), BatchTransactionsRel, false);
    for (; st == tsioStatus::kSuccess; st = t.FetchNextOf(*b->CursorPtr(), BatchTransactionsRel, false)) {
      keys.push_back({t.m_Record.GetBankAccount(), t.m_Record.GetRun(), t.m_Record.GetSequence()});
      if (std::find(banks.begin(), banks.end(), t.m_Record.GetBankAccount().str()) == banks.end()) {
        banks.push_back(t.m_Record.GetBankAccount().str());
      }
    }
    if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
      err << "bkreg: cannot read the transactions of batch '" << o.batch << "' (" << ccIOStatusStr(st) << ")\n";
      return kFailed;
    }
  }
  for (const std::string& bank : banks) {
    if (int rc = w.CheckBankFree(bank, err); rc != kDone) return rc;
  }
  // Entries made for the general ledger are posted to it: while the
  // interface is off no lines are written, so such a batch waits.
  if (!LedgerInterfaceOn()) {
    for (const Key& k : keys) {
      TransactionData probe;
      probe.SetBankAccount(k.bank);
      probe.SetRun(k.run);
      probe.SetSequence(k.sequence);
      tsioStatus::Status io = tsioStatus::kSuccess;
      const bool to_ledger = HasCashSide(w.Register(), probe, &io);
      if (io != tsioStatus::kSuccess) return c.ctx->IoFailure("cannot read the cash details of the batch", io);
      if (to_ledger) {
        err << "bkreg: batch '" << o.batch << "' holds entries made for the general ledger, and its interface is "
            << "off: nothing was posted (gl interface on, then post again)\n";
        return kRefused;
      }
    }
  }

  if (const tsioStatus::Status raised = c.ctx->Waiting([&] { return RaiseRunCounterPastHistory(w.Register(), w.History()); });
      raised != tsioStatus::kSuccess) {
    return c.ctx->IoFailure("the register's run counter could not be read", raised);
  }
  TranTotals totals(program, TranTotals::kPostTotals, false);
  if (totals.InitJournalSection().Value() != kBoolSuccess) {
    err << "bkreg: the posting journal could not be set up\n";
    return kFailed;
  }
  totals.InitUnitOfWork();
  const bool progress = isatty(2);
  size_t posted = 0;
  long lines_posted = 0;
  int rc = kDone;
  std::string why;
  std::vector<std::string> renumbered;  // transactions whose key the history held already
  // Has the general ledger post the batch's lines: kDone, or kFailed with
  // `why` set.
  bool lines_done = false;
  auto post_lines = [&]() -> int {
    glwPostLauncher launcher(program);
    ccBoolStatus opened = launcher.OpenFiles(program);
    ccStatus<ccBoolStatus> done(kBoolSuccess);
    if (opened == kBoolSuccess) {
      // The register's lines carry its own application (a check's too,
      // whatever record counted it), so its node is always on the list.
      bool register_node = false;
      for (auto& b : batches) {
        launcher.AddToBatchList(new zzBatchListNode(b->m_Record.GetApplOfOrigin().str(), b->m_Record.GetBatch(),
                                                    b->m_Record.GetSource().Value()));
        register_node = register_node || b->m_Record.GetApplOfOrigin() == "BK";
      }
      if (!register_node) launcher.AddToBatchList(new zzBatchListNode("BK", tsAlpha(o.batch), 2));
      done = launcher.Post(0);
      if (done.Value() == kBoolSuccess && launcher.ApplBlock() != nullptr) {
        lines_posted = launcher.ApplBlock()->lines_posted;
      }
      launcher.CloseFiles();
    }
    lines_done = true;
    if (opened != kBoolSuccess || done.Value() != kBoolSuccess) {
      PrintMessages(done.Errors(), err);
      why = "the general ledger did not post the batch's lines";
      return kFailed;
    }
    return kDone;
  };
  for (size_t first = 0; first < keys.size() && rc == kDone; first += static_cast<size_t>(o.unit)) {
    const size_t last = std::min(keys.size(), first + static_cast<size_t>(o.unit));
    // The general ledger's run is taken before the unit, in a write of its
    // own (as entering takes its run), so programs posting other batches
    // queue for each other only for that moment; a unit that fails leaves
    // its run unused, never given twice. (The creator ends before the
    // general ledger posts the lines.) Any failure in the unit fails it
    // whole (rolled back below): its writes need not wait for their answers
    // one by one, nor the run's counter written before it (a failed write
    // of it fails the unit).
    tsioAllOrNothing all_or_nothing(w.Register().Company());
    std::optional<glwTranCreator> gl_run;
    gl_run.emplace(program, true, nullptr);
    if (c.ctx->Waiting([&] {
          return gl_run->SetRunNumber(program).Value() == kBoolSuccess ? tsioStatus::kSuccess : tsioStatus::kLocked;
        }) != tsioStatus::kSuccess) {
      why = "the general ledger's run could not be taken";
      rc = kFailed;
      break;
    }
    tclRollbackStack unit;
    tsioStatus::Status io = unit.EnsureBegun(w.Register().Company());
    if (io != tsioStatus::kSuccess) {
      why = "the unit of work could not be begun (" + std::string(ccIOStatusStr(io)) + ")";
      rc = io == tsioStatus::kLocked || io == tsioStatus::kBusy ? kBusy : kFailed;
      break;
    }
    {
      glwTranCreator& creator = *gl_run;
      for (size_t i = first; i < last && rc == kDone; ++i) {
        Transaction t(w.Register());
        t.AttachRollbackStack(&unit);
        t.m_Record.SetBankAccount(keys[i].bank);
        t.m_Record.SetRun(keys[i].run);
        t.m_Record.SetSequence(keys[i].sequence);
        // On a server, the transactions are locked and read kPostGroup at a
        // time, in one request, each with the reads that guard its move (its
        // cash-side probe, its key in history, the first reads of its move),
        // asked after its lock and kept while it is held.
        if (!w.Register().Company().Db().ReadsPagesItself() && (i - first) % kPostGroup == 0) {
          for (size_t j = i; j < std::min(last, i + kPostGroup); ++j) QueueMoveReads(w, keys[j]);
          tsioCommandReads::Send(w.Register());
        }
        io = t.FetchEQ(true);
        if (io != tsioStatus::kSuccess) {
          why = "a transaction could not be read (" + std::string(ccIOStatusStr(io)) + ")";
          rc = io == tsioStatus::kLocked ? kBusy : kFailed;
          break;
        }
        // Only a transaction entered for the general ledger (its cash
        // detail says so) gets lines.
        int pairs = 0;
        ccStatus<tsioStatus::Status> lines(tsioStatus::kSuccess);
        const bool to_ledger = HasCashSide(w.Register(), t.m_Record, &io);
        if (io != tsioStatus::kSuccess) {
          why = "the cash detail of the " + t.m_Record.MessageText() + " could not be read";
          rc = io == tsioStatus::kLocked || io == tsioStatus::kBusy ? kBusy : kFailed;
          break;
        }
        if (to_ledger) lines = Lines(program, creator, t, &pairs);
        if (lines.Value() != tsioStatus::kSuccess) {
          PrintMessages(lines.Errors(), err);
          why = "the general-ledger lines of the " + t.m_Record.MessageText() + " could not be made";
          rc = kFailed;
          break;
        }
        totals.AddTransaction(t.m_Record);
        // A posted transaction keeps its key: the number entering gave it
        // names it in history too. Only a key an old-style posting took in
        // history already gets a new run and sequence of the register's.
        tsDouble run = keys[i].run, sequence = keys[i].sequence;
        if (TakenInHistory(w.History(), keys[i], &io)) {
          ccStatus<ccBoolStatus> taken(kBoolSuccess);
          run = program.BKTHeader()->ThisRun(taken);
          if (taken.Value() != kBoolSuccess) {
            PrintMessages(taken.Errors(), err);
            why = "a new run for the " + t.m_Record.MessageText() + " could not be taken";
            rc = kFailed;
            break;
          }
          sequence = program.BKTHeader()->NextSequence();
          renumbered.push_back(t.m_Record.MessageText() + " (run " + keys[i].run.Format() + ", sequence " +
                               keys[i].sequence.Format() + ") is run " + run.Format() + ", sequence " +
                               sequence.Format() + " in history");
        }
        if (io != tsioStatus::kSuccess) {
          why = "the history could not be read (" + std::string(ccIOStatusStr(io)) + ")";
          rc = io == tsioStatus::kLocked || io == tsioStatus::kBusy ? kBusy : kFailed;
          break;
        }
        ccStatus<TransferStatus> moved = t.TransferWithDetails(w.History(), run, sequence);
        if (moved.Value() != kTransferDone) {
          PrintMessages(moved.Errors(), err);
          why = "the " + t.m_Record.MessageText() + " could not be moved to history";
          rc = kFailed;
          break;
        }
        if (progress && (i % 100 == 99 || i + 1 == keys.size())) {
          err << "\rposting: " << (i + 1) << "/" << keys.size() << std::flush;
        }
      }
      if (rc == kDone) {
        ccStatus<tsioStatus::Status> done = creator.ResetTranCreator(true);
        if (done.Value() != tsioStatus::kSuccess) {
          PrintMessages(done.Errors(), err);
          why = "the general ledger refused the batch's lines";
          rc = kFailed;
        }
      }
      if (rc == kDone) creator.Commit();
    }
    gl_run.reset();
    // The last unit also holds the general ledger's posting of the batch's
    // lines, so a batch of one unit is posted whole or not at all: a stop
    // between the move to history and the general ledger's posting would
    // leave the lines waiting.
    if (rc == kDone && last == keys.size()) rc = post_lines();
    if (rc == kDone && (io = unit.Commit()) != tsioStatus::kSuccess) {
      why = "the unit of work could not be saved (" + std::string(ccIOStatusStr(io)) + ")";
      rc = io == tsioStatus::kBusy || io == tsioStatus::kLocked ? kBusy : kFailed;
    }
    if (rc != kDone) {
      (void)unit.Rollback();
      totals.RollBack();
      break;
    }
    totals.Commit();
    posted = last;
  }
  if (progress && !keys.empty()) err << "\n";
  if (rc == kDone && !lines_done) {
    rc = post_lines();
    if (rc != kDone) why += " (they wait in the general ledger)";
  }
  for (auto& b : batches) (void)b->Unlock();
  totals.PrintToFile();

  // The journal: printed, or written to the file asked for. In JSON and CSV
  // the output is the table of what was posted: the journal is written to
  // --journal, or kept in the company folder, and its place is in the table.
  std::string journal_at = o.journal;
  bool journal_failed = false;
  if (o.journal.empty() && c.format == Format::kText) {
    for (const std::string& line : program.Journal().Lines()) out << line << "\n";
  } else if (o.journal.empty()) {
    journal_at = KeepJournalCopy(program, c.ctx->company, o.batch);
    if (journal_at.empty()) {
      err << "bkreg: the posting journal follows on standard error\n";
      for (const std::string& line : program.Journal().Lines()) err << line << "\n";
    }
  } else {
    ccStatus<ccBoolStatus> written = program.Journal().PrintToFile(o.journal);
    if (written.Value() != kBoolSuccess) {
      // Posted (whole or in part) and the journal not written where asked:
      // said so, and the journal kept where it can be had again.
      journal_failed = true;
      PrintMessages(written.Errors(), err);
      err << "bkreg: " << posted << " of " << keys.size() << " transactions of batch '" << o.batch
          << "' were posted, but the posting journal could not be written to " << o.journal << "\n";
      journal_at = KeepJournalCopy(program, c.ctx->company, o.batch);
      if (!journal_at.empty()) {
        err << "bkreg: the posting journal is kept in " << journal_at << "\n";
      } else {
        err << "bkreg: the posting journal follows on standard error\n";
        for (const std::string& line : program.Journal().Lines()) err << line << "\n";
      }
    }
  }
  if (rc != kDone) {
    err << "bkreg: posting of batch '" << o.batch << "' stopped: " << why << "; " << posted << " of " << keys.size()
        << " transactions were posted\n";
    return rc;
  }
  if (c.format == Format::kText) {
    out << "Posted batch " << o.batch << ": " << posted << " transactions to history, " << lines_posted
        << " general-ledger lines posted\n";
    for (const std::string& moved : renumbered) out << "Note: " << moved << "\n";
  } else {
    for (const std::string& moved : renumbered) err << "bkreg: note: " << moved << "\n";
    Table{{"Batch", "Posted", "Ledger lines", "Journal"},
          {false, true, true, false},
          {{o.batch, std::to_string(posted), std::to_string(lines_posted), journal_at}}}
        .Print(out, c.format);
  }
  // The posting is done; the journal not written where it was asked for is
  // a failure of the output (exit 2), said above with where the journal is.
  return journal_failed ? kFailed : kDone;
}

void AddPostCommands(CLI::App& app, Context& ctx) {
  auto o = std::make_shared<PostOptions>();
  CLI::App* post = app.add_subcommand(
      "post", "posts a batch: its transactions to history with their general-ledger lines, posted by the "
              "general ledger; the posting journal printed or written to --journal");
  post->add_option("BATCH", o->batch, "batch id")->required();
  post->add_option("--journal", o->journal,
                   "file the posting journal is written to (default: printed); checked before posting");
  post->add_flag("--force", o->force, "replace the --journal file when it exists");
  post->add_option("--unit", o->unit, "transactions per unit of work (default 1,000)")->check(CLI::Range(1L, 1000000L));
  post->callback([&ctx, o] { ctx.status = PostBatch(Common{&ctx, ctx.format}, *o, ctx.out, ctx.err); });
}

}  // namespace bkreg
