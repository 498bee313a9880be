// bkreg enter, generate, import: transactions entered through the library,
// counted in their batch.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "accounts/bank_account.h"
#include "batches/batch.h"
#include "batches/bk_batch_part.h"
#include "duplicates/bk_verify_duplicates.h"
#include "framework/base/errors.h"
#include "framework/batch/batch.h"
#include "framework/control/interfaces.h"
#include "framework/io/command_reads.h"
#include "framework/io/rollback_stack.h"
#include "programs/bk_program.h"
#include "records/files.h"
#include "settings/bk_settings.h"
#include "tools/bkreg/batch_ids.h"
#include "tools/bkreg/commands.h"
#include "tools/bkreg/csv_record.h"
#include "tools/bkreg/entry.h"
#include "tools/bkreg/import_lines.h"
#include "tools/bkreg/input.h"
#include "tools/bkreg/ledger_entry.h"
#include "tools/bkreg/module_work.h"
#include "transactions/transaction.h"
#include "transactions/transaction_file_header.h"

namespace bkreg {

int TypeCode(const std::string& name) {
  if (name == "check") return 1;
  if (name == "deposit") return 2;
  if (name == "withdrawal") return 3;
  if (name == "adjustment") return 4;
  return 0;
}

int TakeRun(Context& ctx, bkProgram& program, bool with_cash_run) {
  TransactionFileHeader* header = program.BKTHeader();
  const auto deadline = ctx.WaitDeadline();
  const std::string locked = ccIOStatusStr(tsioStatus::kLocked), busy = ccIOStatusStr(tsioStatus::kBusy);
  for (int round = 0;; ++round) {
    ccStatus<ccBoolStatus> got(kBoolSuccess);
    if (with_cash_run) {
      tsDouble run, cash_run;
      got = header->BothRuns(run, cash_run);
    } else {
      (void)header->ThisRun(got);
    }
    if (got.Value() == kBoolSuccess) return kDone;
    bool held = false;
    for (const auto& e : got.Errors()) {
      held = held || (e.Number() == 1616 && (e.Text().find(locked) != std::string::npos ||
                                             e.Text().find(busy) != std::string::npos));
    }
    if (!held || std::chrono::steady_clock::now() >= deadline) {
      ctx.PrintErrors(got.Errors());
      return held ? ctx.Busy("the transaction file's run header is in use by another program")
                  : ctx.Fail("no run could be taken for the entry");
    }
    Context::Pause(round);
  }
}

namespace {

constexpr int kDescriptionLimit = 60;
constexpr int kPayeeLimit = 60;
constexpr int kDepositIdLimit = 20;
constexpr int kBatchIdLimit = 10;

// The duplicate check of an entry (a check by its number, a deposit by its
// date and id): 0 when it may be entered, else the exit status, with the
// catalogue's words on the error stream. A duplicate in the register or in
// history may be entered anyway with --allow-duplicate; a deposit id a
// pending deposit holds may not, and a check that could not be made refuses
// the entry.
int CheckDuplicate(Context& ctx, bkVerifyDuplicates& verify, const Entry& e) {
  ccStatus<ccError::Level> found(ccError::kNone);
  if (e.type == 1) {
    found = verify.checkExists(tsAlpha(e.bank), tsDouble(e.check, 0));
  } else if (e.type == 2 && !e.deposit_id.empty()) {
    found = verify.depositExists(tsAlpha(e.bank), e.date, tsAlpha(e.deposit_id));
  }
  if (found.Value() == ccError::kNone) return kDone;
  ctx.PrintErrors(found.Errors());
  if (found.MaxLevel() >= ccError::kFatal) return ctx.Fail("duplicates could not be looked for; nothing was entered");
  if (verify.LastFoundIn() == bkVerifyDuplicates::FoundIn::kPendingDeposits) {
    return ctx.Refuse("not entered; a pending deposit holds that deposit id until it is entered itself");
  }
  if (e.allow_duplicate) {
    ctx.err << "bkreg: entering it anyway (--allow-duplicate)\n";
    return kDone;
  }
  return ctx.Refuse("not entered; to enter it anyway, repeat the command with --allow-duplicate");
}

// Fills `t`'s record with the new transaction `e` in the program's batch
// `e.batch`. With `counted`, the batch has its register part, so creating
// through the library counts the entry in the batch's record.
void FillEntry(Session& s, const Entry& e, Transaction& t, bool counted) {
  // The register's own checks carry no amount (the module's rule); a check
  // with an amount is one a check-writing application wrote, here payables.
  zzBatch batch;
  batch.SetHostAppl(e.type == 1 ? "AP" : "BK");
  batch.SetBatchID(tsAlpha(e.batch));
  // Payables' checks carry batch source 1 (not entered in this module):
  // their batch record carries it too, so the batch finds its checks.
  batch.SetSource(e.type == 1 ? 1 : 2);
  batch.SetDPLoc(tsAlpha(e.batch_location));
  // The batch's record, counting what is entered, is in the register file;
  // the part reads it first, so its control totals stay as they are (a new
  // batch's record is created).
  if (counted) {
    batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(s.Register().FileNum());
    (void)batch.OpenInfo("BK");
  }
  s.Program().SetBatch(batch);

  t.m_Record.InitializeNewRecord(s.Program(), s.Program().GetBatch());
  t.m_Record.SetBatchDPLoc(tsAlpha(e.batch_location));  // the batch's generation (batch_ids.h)
  tclTSEnum<TransactionData::TranTypeEnum> type;
  type.SetValue(e.type);
  t.m_Record.SetType(type);
  t.m_Record.SetBankAccount(tsAlpha(e.bank));
  t.m_Record.SetTransactionDate(e.date);
  t.m_Record.SetAccountingDate(e.date);
  t.m_Record.SetDescription(tsAlpha(e.description));
  const tsCurrency& amount = e.amount;
  if (e.type == 2 || (e.type == 4 && !(amount < tsCurrency()))) {
    t.m_Record.SetAddition(amount);
  } else {
    t.m_Record.SetSubtraction(e.type == 4 ? tsCurrency(-amount) : amount);
  }
  if (e.type == 1) {
    t.m_Record.SetCheck(tsDouble(e.check, 0));
    t.m_Record.SetPayee(tsAlpha(e.payee));
  }
  if (e.type == 2) {
    t.m_Record.SetDepositDate(e.date);
    t.m_Record.SetDepositID(tsAlpha(e.deposit_id));
  }
  // Money in: the bank's cash account is debited, the offset credited;
  // money out the other way round.
  const bool in = e.type == 2 || (e.type == 4 && !(amount < tsCurrency()));
  const tsAlpha offset(e.account), cash(e.cash_account);
  t.m_Record.SetDebitAccount(in ? cash : offset);
  t.m_Record.SetCreditAccount(in ? offset : cash);
}

// A validation that could not read what it checks (level 4) is a failure
// to be run again, never a refusal of the entry.
std::string NotChecked(const Transaction& t) {
  return "the " + t.m_Record.MessageText() + " could not be checked; nothing was entered";
}

// Makes `t`'s record the new transaction `e` (batch uncounted), with its run
// and sequence, validated by the module's rules; the exit status, with the
// messages shown. The bulk path: the caller inserts and counts it.
int BuildEntry(Context& ctx, Session& s, const Entry& e, Transaction& t) {
  FillEntry(s, e, t, false);
  auto run = t.m_Record.SetRunAndSequence(*s.Program().BKTHeader());
  if (run.Value() != kBoolSuccess) {
    ctx.PrintErrors(run.Errors());
    return kFailed;
  }
  // The module's rules decide whether it may be written at all.
  auto valid = t.Validate(s.Program());
  if (!valid.Errors().Empty()) ctx.PrintErrors(valid.Errors());
  if (valid.MaxLevel() >= ccError::kFatal) return ctx.Fail(NotChecked(t));
  if (valid.MaxLevel() >= ccError::kError) return ctx.Refuse("the " + t.m_Record.MessageText() + " was not entered");
  return kDone;
}

// Counts the transaction in `t` into the bank account's register balance
// and totals (in the account's record; the caller writes it).
void CountIntoBank(BankAccount& bank, const Transaction& t, int type) {
  const tsCurrency net = t.m_Record.GetAmount();
  const bkTranType kind = static_cast<bkTranType>(type);
  (void)bank.ChangeOpenTotals(net, kind, 1, 0);
  (void)bank.ChangeUnreconciledTotals(net, kind, 1, 3);
  bank.UpdateRegisterBalance(net, t.m_Record.GetRun());
}

int TakeRun(Context& ctx, Session& s) { return TakeRun(ctx, s.Program()); }

// The batch records a bulk entry counts into, as Transaction::Create counts
// one entry: a batch id has a record for the register's own entries (BK,
// source 2) and one for checks (payables', AP, source 1), each created when
// its first entry comes (or an open one reused: its counts grow, its control
// totals stay). Rules:
//   - a batch that was posted (its record counts entries and none of them is
//     left in the register) is not entered into again: the entry is refused,
//     so a posted batch never silently grows;
//   - a record counts at most kMaxCount entries (its 16-bit count): when one
//     is full the entries go on in the next batch id, "<id>-2", "<id>-3",
//     ... (the id shortened to keep 10 characters), under the same rules;
//   - what is counted is written (Save) inside the caller's unit of work,
//     so the counts commit or roll back with the entries; a record another
//     program holds (posting it, entering into it) is waited for.
class EntryBatches {
 public:
  static constexpr long kMaxCount = 32767;

  EntryBatches(Context& ctx, Session& s, std::string base, std::string description)
      : ctx_(ctx), s_(s), base_(std::move(base)), description_(std::move(description)) {}

  // Makes room for one more entry of `type` (rolling to the next id when its
  // record is full); kDone with `*id` the batch id it goes in, else the exit
  // status after a message.
  int Next(int type, std::string* id) {
    if (id_.empty()) {
      if (const int rc = Begin(base_); rc != kDone) return rc;
    }
    const int k = Kind(type);
    if (!records_[k].batch) {
      if (const int rc = OpenRecord(k); rc != kDone) return rc;
    }
    while (records_[k].count >= kMaxCount) {
      if (const int rc = Save(); rc != kDone) return rc;
      if (++number_ > 99) return ctx_.Refuse("batch '" + base_ + "' and its continuations are full");
      if (const int rc = Begin(Continuation(base_, number_)); rc != kDone) return rc;
      if (const int rc = OpenRecord(k); rc != kDone) return rc;
    }
    *id = id_;
    return kDone;
  }

  // Counts the entry of `type` made after Next, of net amount `net`.
  void Count(int type, const tsCurrency& net) {
    Record& r = records_[Kind(type)];
    Part(r).AddTran(bkBatchPart::kAllTransactions, net);
    ++r.count;
    ++r.unsaved;
  }

  // Writes what was counted since the last Save into the records, inside
  // the unit of work open; kDone or the exit status after a message.
  int Save() {
    for (Record& r : records_) {
      if (!r.batch || r.unsaved == 0) continue;
      const auto deadline = ctx_.WaitDeadline();
      for (int round = 0; !r.batch->UpdateInfo("BK"); ++round) {
        if (std::chrono::steady_clock::now() >= deadline) {
          return ctx_.Busy("the counts of batch '" + id_ +
                           "' could not be saved: another program holds it (posting it or entering into it)");
        }
        Context::Pause(round);
      }
      r.unsaved = 0;
    }
    return kDone;
  }

  // The batch ids entered into, in order.
  const std::vector<std::string>& Used() const { return used_; }
  // The location of the generation entered into (batch_ids.h).
  const std::string& Location() const { return location_; }

 private:
  struct Record {
    std::unique_ptr<zzBatch> batch;
    long count = 0;    // entries the record holds, ours included
    long unsaved = 0;  // ours not yet written
  };

  static int Kind(int type) { return type == 1 ? 1 : 0; }
  static bkBatchPart& Part(Record& r) { return *dynamic_cast<bkBatchPart*>(r.batch->ApplPart("BK")); }

  // `base` shortened (by characters) to leave room for "-<number>".
  static std::string Continuation(const std::string& base, int number) {
    const std::string suffix = "-" + std::to_string(number);
    const size_t room = static_cast<size_t>(kBatchIdLimit) - suffix.size();
    size_t end = 0, chars = 0;
    while (end < base.size() && chars < room) {
      ++end;
      while (end < base.size() && (static_cast<unsigned char>(base[end]) & 0xC0) == 0x80) ++end;
      ++chars;
    }
    return base.substr(0, end) + suffix;
  }

  // Starts entering into batch `id` (its records opened as entries come),
  // unless it was posted.
  int Begin(const std::string& id) {
    int status = kDone;
    const tsioDataFile* history = s_.History(ctx_, &status);
    if (history == nullptr) return status;
    BatchGeneration g;
    if (const int rc = EntryGeneration(ctx_, s_.Register(), *history, id, &g); rc != kDone) return rc;
    for (Record& r : records_) {
      if (r.batch) retired_.push_back(std::move(r.batch));
      r = Record();
    }
    id_ = id;
    location_ = g.location;
    used_.push_back(id);
    return kDone;
  }

  // Opens (creates or reads) the current id's record of kind `k`.
  int OpenRecord(int k) {
    Record& r = records_[k];
    r.batch = std::make_unique<zzBatch>(k == 1 ? "AP" : "BK", tsAlpha(id_), k == 1 ? 1 : 2);
    r.batch->SetDPLoc(tsAlpha(location_));
    r.batch->AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(s_.Register().FileNum());
    r.batch->SetDesc(description_);
    r.batch->SetDate(tsDate::Today());
    r.batch->SyncParts();
    const tsioStatus::Status st = ctx_.Waiting([&] { return r.batch->OpenInfo("BK"); });
    if (st != tsioStatus::kSuccess) return ctx_.IoFailure("batch '" + id_ + "' could not be opened", st);
    r.count = Part(r).GetNumberOfTransPosted().ToLongLong();
    return kDone;
  }

  Context& ctx_;
  Session& s_;
  const std::string base_, description_;
  std::string id_, location_;
  int number_ = 1;
  Record records_[2];  // the register's own entries, checks
  // Records of ids left behind: their writes belong to the unit still open.
  std::vector<std::unique_ptr<zzBatch>> retired_;
  std::vector<std::string> used_;
};

const std::vector<std::string> kCreatedHeadings = {"Bank", "Type", "Run", "Sequence", "Date", "Number", "Amount"};
const std::vector<bool> kCreatedNumeric = {false, false, true, true, false, false, true};

}  // namespace

struct DuplicateCheck::Parts {
  explicit Parts(Session& s, const tsioDataFile& history)
      : settings(s.Master()),
        register_checks(s.Register(), bkVerifyDuplicates::CheckCursorFields, bkVerifyDuplicates::kCheckIndex),
        register_deposits(s.Register(), bkVerifyDuplicates::DepositCursorFields, bkVerifyDuplicates::kDepositIndex),
        history_checks(history, bkVerifyDuplicates::CheckCursorFields, bkVerifyDuplicates::kCheckIndex),
        history_deposits(history, bkVerifyDuplicates::DepositCursorFields, bkVerifyDuplicates::kDepositIndex) {}
  bkSettings settings;
  Transaction register_checks, register_deposits, history_checks, history_deposits;
  bkVerifyDuplicates verify;  // borrows the members above: made after them, gone before them
};

DuplicateCheck::DuplicateCheck() = default;
DuplicateCheck::~DuplicateCheck() = default;

bkVerifyDuplicates& DuplicateCheck::Verifier() { return parts_->verify; }

int DuplicateCheck::Open(Context& ctx, Session& s) {
  int status = kDone;
  const tsioDataFile* history = s.History(ctx, &status);
  if (history == nullptr) return status;
  parts_ = std::make_unique<Parts>(s, *history);
  Parts& p = *parts_;
  const tsioStatus::Status read = p.settings.Get(false);
  if (read != tsioStatus::kSuccess && read != tsioStatus::kNotFound) {
    return ctx.IoFailure("cannot read the module's settings", read);
  }
  // Posted transactions count as much as unposted ones.
  p.settings.SetVerifyDupCheckInHistory(tsBool(true));
  p.settings.SetVerifyDupDepositInHistory(tsBool(true));
  p.verify.Init(s.Program().Task());
  p.verify.MacroData().SetSearchHistory(1);
  const auto ready = p.verify.initialize(&p.settings, &p.register_checks, &p.register_deposits, &p.history_checks,
                                         &p.history_deposits);
  if (ready.HasError()) {
    ctx.PrintErrors(ready.Errors());
    return ctx.Fail("duplicates cannot be looked for; nothing was entered");
  }
  return kDone;
}

// Validates the entry `t` holds by the module's rules before a run is taken
// for it, so a refusal numbers nothing: the record under a provisional key
// and its distribution lines are written in a unit of work that is always
// rolled back, and validated as Create would validate them. kDone, or
// kRefused with the messages shown.
int ValidateBeforeNumbering(Context& ctx, Session& s, const Entry& e, Transaction& t) {
  // A key no transaction takes: runs count up from 1 and stop well below.
  const tsDouble provisional_run(999999999, 0), provisional_sequence(1, 0);
  const tsDouble run = t.m_Record.GetRun(), sequence = t.m_Record.GetSequence();
  t.m_Record.SetRun(provisional_run);
  t.m_Record.SetSequence(provisional_sequence);
  tclRollbackStack trial;
  tsioStatus::Status st = tsioStatus::kSuccess;
  ccStatus<ccError::Level> valid(ccError::kNone);
  {
    // The trial is always rolled back, and any failure in it is the
    // check's: its lines need not wait for their answers one by one. A
    // write that failed fails the validation's first read; the answers,
    // asked after the validation, say so, and the entry then fails as a
    // write that failed at once would have failed it.
    tsioAllOrNothing all_or_nothing(s.Register().Company());
    if (!e.lines.empty()) {
      st = trial.EnsureBegun(s.Register().Company());
      if (st == tsioStatus::kSuccess) st = WriteDetails(t, provisional_run, provisional_sequence, e.lines, trial);
    }
    if (st == tsioStatus::kSuccess) valid = t.Validate(s.Program());
    if (st == tsioStatus::kSuccess && trial.Active()) st = s.Register().Company().Db().AnswersNow();
  }
  (void)trial.Rollback();
  t.m_Record.SetRun(run);
  t.m_Record.SetSequence(sequence);
  if (st != tsioStatus::kSuccess) {
    return ctx.IoFailure("the lines of the " + t.m_Record.MessageText() + " could not be checked", st);
  }
  if (!valid.HasError()) return kDone;
  ctx.PrintErrors(valid.Errors());
  if (valid.MaxLevel() >= ccError::kFatal) return ctx.Fail(NotChecked(t));
  return ctx.Refuse("the " + t.m_Record.MessageText() + " was not entered");
}

int EnterOne(Context& ctx, Session& s, const Entry& e, bool quiet, bkVerifyDuplicates* verify) {
  // The general ledger's records the checks below read again and again are
  // read once for the entry (see KeepLedgerReads).
  tsioCommandReads reads(s.Master());
  BankAccount bank(s.Master(), "", 0);
  bank.m_Record.SetBankAccount(tsAlpha(e.bank));
  Transaction t(s.Register(), "", 0);
  tclRollbackStack unit;
  t.AttachRollbackStack(&unit);
  bank.AttachRollbackStack(&unit);
  const bool to_ledger = LedgerInterfaceOn() && !e.payables;
  // What the entry reads once it holds the account, for the ledger side
  // `cash`: a check's duplicate lookups, the ledger's records its checks
  // read, the batch's records and members. Queued before the lock (the
  // account's cash account known beforehand), they go in the lock's own
  // request, asked after the lock and kept only when it is taken; queued
  // again after it, what was answered is not asked twice.
  auto queue_reads = [&](const std::string& cash) {
    reads.Keep(s.Register(), TransactionData::kRecordType);
    if (to_ledger) {
      if (verify != nullptr && e.type == 1) {
        int status = kDone;
        if (const tsioDataFile* history = s.History(ctx, &status)) {
          reads.Keep(*history, TransactionData::kRecordType);
          verify->PrefetchCheckExists(tsAlpha(e.bank), tsDouble(e.check, 0));
        }
      }
      KeepLedgerReads(reads, s.Program(), LedgerSides{e.type, e.date, cash, e.account, e.lines, false});
    }
    reads.Keep(s.Register(), BatchData::kRecordType);
    PrefetchEntryGeneration(s.Register(), e.batch);
  };
  const std::string hint = !e.cash_account.empty() ? e.cash_account : e.cash_account_hint;
  const bool queued = !hint.empty() || !to_ledger;
  if (queued) queue_reads(hint);
  // The account is read once, locked: its totals are counted into at the
  // end, and no other program changes it meanwhile.
  tsioStatus::Status st = ctx.Waiting([&] { return bank.FetchEQ(true); });
  if (st == tsioStatus::kNotFound) return ctx.Refuse("no bank account '" + e.bank + "'");
  if (st == tsioStatus::kLocked || st == tsioStatus::kBusy) {
    return ctx.IoFailure("bank account '" + e.bank + "' is in use", st);
  }
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot read bank account '" + e.bank + "'", st);
  // Every way out below gives the account back.
  auto refused = [&](int rc) {
    (void)bank.Unlock();
    return rc;
  };
  Entry filled = e;
  if (filled.cash_account.empty()) filled.cash_account = bank.m_Record.GetMiscCashAccount().str();
  // Entered while the register's entries go to the general ledger (a
  // payables' check excepted): its accounts and period are the ledger's to
  // accept, and it gets the cash detail that sends it there when posted.
  const LedgerSides sides{e.type, e.date, filled.cash_account, e.account, e.lines, false};
  // Not queued with the lock (or for another cash account than the locked
  // read names): asked now, after the lock, in one request.
  if (!queued || (to_ledger && filled.cash_account != hint)) queue_reads(filled.cash_account);
  {
    int status = kDone;
    const tsioDataFile* history = s.History(ctx, &status);
    if (history == nullptr) return refused(status);
    // The batch's record (kept for the command by queue_reads), read to
    // find its generation and then to fill the entry, is asked once: its
    // counts are read again, locked, in the unit that counts the entry in
    // (a kept answer only fills the entry).
    BatchGeneration g;
    if (const int rc = EntryGeneration(ctx, s.Register(), *history, e.batch, &g); rc != kDone) return refused(rc);
    filled.batch_location = g.location;
  }
  reads.Send();
  FillEntry(s, filled, t, true);
  if (to_ledger) {
    if (const int rc = CheckLedgerEntry(ctx, s.Program(), sides); rc != kDone) return refused(rc);
  }
  // Everything that can refuse the entry is asked before a run is taken.
  if (verify != nullptr) {
    if (const int rc = CheckDuplicate(ctx, *verify, e); rc != kDone) return refused(rc);
  }
  if (const int rc = ValidateBeforeNumbering(ctx, s, e, t); rc != kDone) return refused(rc);
  // From here any failure in the unit fails it whole (it is rolled back
  // and the entry refused or retried): its writes need not wait for their
  // answers one by one, nor the run's counter written before it (a failed
  // write of it fails the unit, which never commits a run not counted).
  tsioAllOrNothing all_or_nothing(s.Register().Company());
  if (const int run = TakeRun(ctx, s.Program(), to_ledger); run != kDone) return refused(run);
  // A batch record another program holds (its entry's unit still open, or
  // a posting) refuses the count (1618): the unit is taken back and tried
  // again until the wait runs out, as for the account.
  const auto deadline = ctx.WaitDeadline();
  for (int round = 0;; ++round) {
    // Distribution lines go in first, under the run and sequence Create
    // gives, so that the module's rules check them with the transaction.
    if (!e.lines.empty()) {
      ccStatus<ccBoolStatus> taken(kBoolSuccess);
      st = unit.EnsureBegun(s.Register().Company());
      const tsDouble run = st == tsioStatus::kSuccess ? s.Program().BKTHeader()->ThisRun(taken) : tsDouble();
      if (st == tsioStatus::kSuccess && taken.Value() == kBoolSuccess) {
        st = WriteDetails(t, run, s.Program().BKTHeader()->ThisSequence() + tsDouble(1), e.lines, unit);
      }
      if (st != tsioStatus::kSuccess || taken.Value() != kBoolSuccess) {
        ctx.PrintErrors(taken.Errors());
        (void)unit.Rollback();
        return refused(ctx.IoFailure("the lines of the " + t.m_Record.MessageText() + " could not be saved", st));
      }
      (void)t.Validate(s.Program());  // keeps the validater that reads the lines
    }
    // The unit's checks read the ledger's calendar and header again (another
    // program may have closed a period meanwhile), and the count reads the
    // batch's record before it locks it: asked together, with the lock and
    // read of the cash balance the entry counts into.
    if (unit.EnsureBegun(s.Register().Company()) == tsioStatus::kSuccess) {
      if (to_ledger) QueueLedgerUnitReads(s.Program());
      s.Program().GetBatch().PrefetchInfo("BK");
      if (to_ledger) QueueCashBalanceLock(s.Master(), e.bank, filled.cash_account);
    }
    // Created through the library: stamped with the program's run and next
    // sequence, counted in the batch, and written only when the module's
    // rules let it.
    const ccStatus<ccError::Level> created = t.Create(s.Program(), nullptr, true);
    if (!created.HasError()) {
      if (!created.Errors().Empty()) ctx.PrintErrors(created.Errors());
      break;
    }
    (void)unit.Rollback();
    const bool batch_held = std::any_of(created.Errors().begin(), created.Errors().end(),
                                        [](const ccError& m) { return m.Number() == 1618; });
    if (batch_held && std::chrono::steady_clock::now() < deadline) {
      Context::Pause(round);
      FillEntry(s, filled, t, true);  // the batch's counts read again
      continue;
    }
    ctx.PrintErrors(created.Errors());
    if (batch_held) {
      return refused(ctx.Busy("batch '" + e.batch + "' is in use by another program; the entry was not made"));
    }
    return refused(ctx.Refuse("the " + t.m_Record.MessageText() + " was not entered"));
  }
  if (to_ledger) {
    st = RecordCashSide(s.Program(), s.Register(), s.Master(), t.m_Record, filled.cash_account, unit);
    if (st != tsioStatus::kSuccess) {
      (void)unit.Rollback();
      return refused(ctx.IoFailure("the cash side of the " + t.m_Record.MessageText() + " could not be saved", st));
    }
  }
  CountIntoBank(bank, t, e.type);
  st = bank.SetBuffer();
  if (st == tsioStatus::kSuccess) st = bank.Update();
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  (void)bank.Unlock();
  if (st != tsioStatus::kSuccess) {
    (void)unit.Rollback();
    return ctx.IoFailure("the " + t.m_Record.MessageText() + " could not be saved", st);
  }
  if (quiet) return kDone;
  const TransactionData& r = t.m_Record;
  if (ctx.format == Format::kText) {
    ctx.out << "Entered " << r.MessageText() << " in run " << r.GetRun().Format() << ", sequence "
            << r.GetSequence().Format() << ": " << r.GetAmount().Format() << "\n";
  } else {
    Table{kCreatedHeadings,
          kCreatedNumeric,
          {{e.bank, r.TranTypeFullDescription(), r.GetRun().Format(), r.GetSequence().Format(),
            r.GetTransactionDate().Format(), e.type == 1 ? r.GetCheck().Format() : r.GetDepositID().str(),
            r.GetAmount().Format()}}}
        .Print(ctx.out, ctx.format);
  }
  return kDone;
}

int EnterMany(Context& ctx, Session& s, const std::string& id, const std::string& batch, long chunk, long total,
              const EntrySource& next, long* entered, std::vector<std::string>* batches,
              const EntryWritten& written) {
  *entered = 0;
  batches->clear();
  BankAccount bank(s.Master(), "", 0);
  bank.m_Record.SetBankAccount(tsAlpha(id));
  tsioStatus::Status st = bank.FetchEQ(false);
  if (st == tsioStatus::kNotFound) return ctx.Refuse("no bank account '" + id + "'");
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot read bank account '" + id + "'", st);
  Transaction t(s.Register(), "", 0);
  tclRollbackStack unit;
  t.AttachRollbackStack(&unit);
  bank.AttachRollbackStack(&unit);
  st = ctx.Waiting([&] { return bank.FetchEQ(true); });
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("bank account '" + id + "' is in use", st);
  if (const int run = TakeRun(ctx, s); run != kDone) {
    (void)bank.Unlock();
    return run;
  }
  EntryBatches counted(ctx, s, batch, "Bulk entry: " + id);
  // Ends the unit of work: the account's totals counted so far, the
  // batches' counts, then the commit; kDone or the exit status.
  auto commit = [&](const std::string& what) -> int {
    // Validation may have moved the master file's current record: make
    // the account current again (with the totals counted so far).
    tsioStatus::Status io = bank.SetBuffer();
    if (io == tsioStatus::kSuccess) io = bank.Update();
    if (io != tsioStatus::kSuccess) return ctx.IoFailure(what, io);
    if (const int rc = counted.Save(); rc != kDone) return rc;
    io = unit.Commit();
    return io == tsioStatus::kSuccess ? kDone : ctx.IoFailure(what, io);
  };
  const bool progress = ctx.Interactive();
  int rc = kDone;
  long done = 0, read = 0;
  Entry e;
  for (;;) {
    e = Entry();
    const int got = next(e);
    if (got == 0) break;
    if (got < 0) {
      rc = -got;
      break;
    }
    e.bank = id;
    rc = counted.Next(e.type, &e.batch);
    if (rc != kDone) break;
    e.batch_location = counted.Location();
    rc = BuildEntry(ctx, s, e, t);
    if (rc != kDone) break;
    CountIntoBank(bank, t, e.type);
    counted.Count(e.type, t.m_Record.GetAmount());
    st = t.Insert();
    if (st == tsioStatus::kSuccess && written) st = written(e, t.m_Record, unit);
    ++read;
    if (st != tsioStatus::kSuccess) {
      rc = ctx.IoFailure("the " + t.m_Record.MessageText() + " could not be saved", st);
      break;
    }
    if (read % chunk == 0) {
      rc = commit("the " + t.m_Record.MessageText() + " could not be saved");
      if (rc != kDone) break;
      done = read;
    }
    if (progress && read % 1000 == 0) {
      ctx.err << "\rentering: " << read;
      if (total > 0) ctx.err << "/" << total;
      ctx.err << std::flush;
    }
  }
  if (rc == kDone && read > done) {
    rc = commit("the last transactions could not be saved");
    if (rc == kDone) done = read;
  }
  if (progress) ctx.err << "\rentering: " << read << (total > 0 ? "/" + std::to_string(total) : "") << "\n";
  if (rc != kDone) (void)unit.Rollback();
  (void)bank.Unlock();
  *entered = done;
  *batches = counted.Used();
  return rc;
}

namespace {

struct EnterOptions {
  std::string type, bank, amount, date, desc, payee, deposit_id, batch = "BKREG";
  long long check = 0;
  bool allow_duplicate = false, payables = false;
  std::string account, cash_account, lines_file;
  std::vector<std::string> lines;
  std::vector<std::string> given;  // the options given on the command line
};

// Options that belong to some kinds of entry only, and the kinds (type
// codes): given with another kind they are refused, never ignored.
struct KindOption {
  const char* name;
  std::vector<int> types;
  const char* kinds;
};
const KindOption kKindOptions[] = {
    {"--check", {1}, "checks"},
    {"--payee", {1}, "checks"},
    {"--payables", {1}, "checks"},
    {"--deposit-id", {2}, "deposits"},
    {"--line", {2, 3}, "deposits and withdrawals"},
    {"--lines", {2, 3}, "deposits and withdrawals"},
};

// "" when every option given belongs to the entry's kind, else the refusal.
std::string OptionsOfKind(const EnterOptions& o, int type) {
  for (const KindOption& k : kKindOptions) {
    if (std::find(o.given.begin(), o.given.end(), k.name) == o.given.end()) continue;
    if (std::find(k.types.begin(), k.types.end(), type) != k.types.end()) continue;
    return std::string(k.name) + " goes with " + k.kinds + " only, not with a " + o.type;
  }
  return "";
}

// The entry the options describe, after the input rules; "" or the message.
std::string EntryFromOptions(const EnterOptions& o, Entry* e) {
  e->type = TypeCode(o.type);
  if (o.bank.empty()) return "which bank account? (BANK, or --bank)";
  std::string problem = ParseBankId("the bank account id", o.bank, &e->bank);
  if (problem.empty()) problem = ParseAmount("--amount", o.amount, &e->amount);
  if (problem.empty() && e->type != 4 && e->amount < tsCurrency()) {
    problem = "--amount of a " + o.type + " is not negative (an adjustment may be)";
  }
  if (problem.empty() && e->amount == tsCurrency()) problem = "--amount of a " + o.type + " cannot be 0.00";
  if (problem.empty()) problem = OptionsOfKind(o, e->type);
  if (problem.empty()) {
    if (o.date.empty() && std::find(o.given.begin(), o.given.end(), "--date") != o.given.end()) {
      problem = "--date is empty (leave it out for today)";
    } else if (o.date.empty()) {
      e->date = tsDate::Today();
    } else {
      problem = ParseDate("--date", o.date, &e->date);
    }
  }
  if (problem.empty()) problem = CheckText("--desc", o.desc, kDescriptionLimit, &e->description);
  if (problem.empty()) problem = CheckText("--payee", o.payee, kPayeeLimit, &e->payee);
  if (problem.empty()) problem = CheckText("--deposit-id", o.deposit_id, kDepositIdLimit, &e->deposit_id);
  if (problem.empty()) problem = CheckText("--batch", o.batch, kBatchIdLimit, &e->batch);
  if (problem.empty() && e->batch.empty()) problem = "--batch is empty";
  e->check = o.check;
  e->allow_duplicate = o.allow_duplicate;
  e->payables = o.payables;
  if (problem.empty()) problem = CheckText("--account", o.account, 45, &e->account);
  if (problem.empty()) problem = CheckText("--cash-account", o.cash_account, 45, &e->cash_account);
  for (const std::string& text : o.lines) {
    DetailLine l;
    if (problem.empty()) problem = ParseDetailLine(text, &l);
    e->lines.push_back(l);
  }
  if (problem.empty() && !o.lines_file.empty()) problem = ReadDetailCsv(o.lines_file, &e->lines);
  // A deposit or a withdrawal offset by one account is distributed to it
  // whole: the module's rules want a deposit's or a withdrawal's lines.
  if (problem.empty() && (e->type == 2 || e->type == 3) && e->lines.empty() && !e->account.empty()) {
    DetailLine whole;
    whole.account = e->account;
    whole.amount = e->amount;
    e->lines.push_back(whole);
  }
  if (problem.empty()) problem = CheckDetailLines(e->type, e->lines);
  return problem;
}

int Enter(Context& ctx, const EnterOptions& o) {
  Entry e;
  const std::string problem = EntryFromOptions(o, &e);
  if (!problem.empty()) return ctx.Refuse(problem);
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  // What the entry reads before it takes the account, asked in one request
  // on a server: the ledger interface's switch and the account formats, the
  // settings, the batch's records.
  tsioCommandReads reads(s->Master());
  zc_prefetch_control_reads("BK", "GL");
  const bkSettings settings(s->Master());
  reads.KeepHeader(s->Master(), bkSettings::kHeaderNumber);
  reads.Prefetch(settings);
  PrefetchBatchRecords(reads, s->Register(), e.batch);
  // The account's record, unlocked: its cash account names what the entry
  // reads of the ledger once the account is taken (EnterOne).
  PrefetchBankAccount(reads, s->Master(), e.bank);
  reads.Send();
  e.cash_account_hint = CashAccountOf(s->Master(), e.bank);
  if (!EnterPrepareLedger(s->Program(), ctx.err)) return kFailed;
  DuplicateCheck duplicates;
  if (const int rc = duplicates.Open(ctx, *s); rc != kDone) return rc;
  return EnterOne(ctx, *s, e, false, &duplicates.Verifier());
}

// Batch ids for messages: "A", "A, A-2"; `asked` when none was entered into.
std::string Joined(const std::vector<std::string>& ids, const std::string& asked) {
  std::string text;
  for (const std::string& id : ids) text += (text.empty() ? "" : ", ") + id;
  return text.empty() ? asked : text;
}

struct GenerateOptions {
  std::string bank, from, batch = "GENERATED";
  long count = 1000, unit = 10000;
};

// Sample transactions, the same for the same count and first date: the
// i-th (from 0) is of type 1 + i % 4 (check, deposit, withdrawal,
// adjustment), dated `from` + i % 61 days, for c = 1000 + i * 7919 % 90000
// cents (deposits 4 * c), adjustments alternately adding and taking away
// (i % 8 == 3 adds), checks numbered 1000 + i, described "Generated <i + 1>",
// all in batch --batch (see EnterMany).
int Generate(Context& ctx, const GenerateOptions& o) {
  std::string bank;
  if (o.bank.empty()) return ctx.Refuse("which bank account? (BANK, or --bank)");
  std::string problem = ParseBankId("the bank account id", o.bank, &bank);
  tsDate from = tsDate::Today() - 60;  // to today
  if (problem.empty() && !o.from.empty()) problem = ParseDate("--from", o.from, &from);
  std::string batch;
  if (problem.empty()) problem = CheckText("--batch", o.batch, kBatchIdLimit, &batch);
  if (problem.empty() && batch.empty()) problem = "--batch is empty";
  if (!problem.empty()) return ctx.Refuse(problem);
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  long entered = 0, i = 0;
  std::vector<std::string> batches;
  status = EnterMany(
      ctx, *s, bank, batch, o.unit, o.count,
      [&](Entry& e) {
        if (i >= o.count) return 0;
        e.type = 1 + static_cast<int>(i % 4);
        const long cents = (1000 + (i * 7919) % 90000) * (e.type == 2 ? 4 : 1);
        e.amount = tsCurrency(tsDouble(cents, 0) / tsDouble(100));
        if (e.type == 4 && i % 8 != 3) e.amount = tsCurrency(-e.amount);
        e.date = from + static_cast<int>(i % 61);
        e.check = e.type == 1 ? 1000 + i : 0;
        e.description = "Generated " + std::to_string(i + 1);
        ++i;
        return 1;
      },
      &entered, &batches);
  PrintDone(ctx.out, ctx.format,
            "Entered " + std::to_string(entered) + " transactions for " + bank + " in batch " + Joined(batches, batch),
            Table{{"Bank", "Entered", "Batch"}, {false, true, false}, {{bank, std::to_string(entered), Joined(batches, batch)}}});
  return status;
}

struct ImportOptions {
  std::string bank, file, batch = "IMPORT";
  long unit = 10000;
  bool allow_duplicate = false;
};

// The duplicate check of an imported line, as `enter` makes it: a check
// number, or a deposit's date and id, used before for the account (by a
// transaction unposted or posted, or by an earlier line of the file) is
// refused, naming the line, unless --allow-duplicate; a deposit id a
// pending deposit holds is refused always. With --allow-duplicate the
// duplicates are counted in `*allowed`, not listed. 0, or the exit status.
int CheckImportDuplicate(Context& ctx, bkVerifyDuplicates& verify, const Entry& e, const std::string& where,
                         long* allowed) {
  if (e.type != 1 && !(e.type == 2 && !e.deposit_id.empty())) return kDone;
  ccStatus<ccError::Level> found(ccError::kNone);
  if (e.type == 1) {
    found = verify.checkExists(tsAlpha(e.bank), tsDouble(e.check, 0));
  } else {
    found = verify.depositExists(tsAlpha(e.bank), e.date, tsAlpha(e.deposit_id));
  }
  if (found.Value() == ccError::kNone) return kDone;
  if (found.MaxLevel() >= ccError::kFatal) {
    ctx.PrintErrors(found.Errors());
    return ctx.Fail(where + "duplicates could not be looked for");
  }
  if (verify.LastFoundIn() == bkVerifyDuplicates::FoundIn::kPendingDeposits) {
    ctx.PrintErrors(found.Errors());
    return ctx.Refuse(where + "a pending deposit holds deposit id '" + e.deposit_id + "' until it is entered itself");
  }
  if (e.allow_duplicate) {
    ++*allowed;
    return kDone;
  }
  ctx.PrintErrors(found.Errors());
  return ctx.Refuse(where + (e.type == 1 ? "check " + std::to_string(e.check) + " was entered before"
                                         : "deposit '" + e.deposit_id + "' of " + e.date.Format() +
                                               " was entered before") +
                    " for " + e.bank + "; to import it anyway, repeat the command with --allow-duplicate");
}

// Loads FILE.csv (date,type,number,amount,description; a first line naming
// the columns is skipped) into the register of BANK, validated and checked
// for duplicates as `enter` checks them, in batch --batch (see EnterMany),
// in units of work with the account's totals, the batch's counts and the
// lines remembered (import_lines.h): a line imported before, by this file
// or another, is skipped, so a file imported again, or again after the
// program was stopped, enters each line once. A line that breaks a rule
// stops the load: the units before it stay, and the message says how many
// transactions were imported and which line stopped it; the same command
// run again after the line is mended takes up from there.
int Import(Context& ctx, const ImportOptions& o) {
  std::string bank, batch;
  std::string problem = ParseBankId("the bank account id", o.bank, &bank);
  if (problem.empty()) problem = CheckText("--batch", o.batch, kBatchIdLimit, &batch);
  if (problem.empty() && batch.empty()) problem = "--batch is empty";
  if (!problem.empty()) return ctx.Refuse(problem);
  std::ifstream in(o.file, std::ios::binary);
  if (!in) return ctx.Refuse("cannot read " + o.file + ": " + std::strerror(errno));
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  ImportedLines imported;
  if (const int rc = imported.Open(ctx, s->Program(), bank); rc != kDone) return rc;
  DuplicateCheck duplicates;
  if (const int rc = duplicates.Open(ctx, *s); rc != kDone) return rc;
  long lines = 0, line_of_entry = 0, entered = 0, skipped = 0, allowed = 0;
  std::vector<std::string> cells;
  std::vector<std::string> batches;
  status = EnterMany(
      ctx, *s, bank, batch, o.unit, 0,
      [&](Entry& e) {
        for (;;) {
          if (!ReadCsvRecord(in, &cells, &lines)) return 0;
          if (cells.size() == 1 && cells[0].empty()) continue;  // a blank line
          if (lines == 1 && !cells.empty() && cells[0] == "date") continue;
          line_of_entry = lines;
          const std::string where = o.file + ", line " + std::to_string(lines) + ": ";
          if (cells.size() != 5) {
            ctx.err << "bkreg: " << where << cells.size() << " cells; a line has 5: date,type,number,amount,description\n";
            return -kRefused;
          }
          e = Entry();
          e.bank = bank;
          e.allow_duplicate = o.allow_duplicate;
          e.type = TypeCode(cells[1]);
          std::string bad;
          if (e.type == 0) bad = "type '" + TextCell(cells[1]) + "' is not check, deposit, withdrawal or adjustment";
          if (bad.empty()) bad = ParseDate("the date", cells[0], &e.date);
          if (bad.empty()) bad = ParseAmount("the amount", cells[3], &e.amount);
          if (bad.empty() && e.type != 4 && e.amount < tsCurrency()) {
            bad = "the amount of a " + cells[1] + " is not negative (an adjustment may be)";
          }
          if (bad.empty() && e.amount == tsCurrency()) bad = "the amount of a " + cells[1] + " cannot be 0.00";
          if (bad.empty()) bad = CheckText("the description", cells[4], kDescriptionLimit, &e.description);
          if (bad.empty() && e.type == 1) {
            char* end = nullptr;
            errno = 0;
            const long long n = std::strtoll(cells[2].c_str(), &end, 10);
            if (cells[2].empty() || *end != '\0' || errno != 0 || n < 1 || n > 999999999999LL) {
              bad = "the check number '" + TextCell(cells[2]) + "' is not a whole number from 1 to 999999999999";
            }
            e.check = n;
          } else if (bad.empty() && e.type == 2) {
            bad = CheckText("the deposit id", cells[2], kDepositIdLimit, &e.deposit_id);
          }
          if (!bad.empty()) {
            ctx.err << "bkreg: " << where << bad << "\n";
            return -kRefused;
          }
          const tsioStatus::Status known = imported.Next(e);
          if (known == tsioStatus::kSuccess) {
            ++skipped;  // imported before
            continue;
          }
          if (known != tsioStatus::kNotFound) return -ctx.IoFailure(where + "the lines imported before cannot be read", known);
          if (const int rc = CheckImportDuplicate(ctx, duplicates.Verifier(), e, where, &allowed); rc != kDone) {
            return -rc;
          }
          return 1;
        }
      },
      &entered, &batches,
      [&](const Entry& e, const TransactionData& t, tclRollbackStack& unit) { return imported.Remember(e, t, unit); });
  // Committed units hold the first `entered` new lines of the file.
  if (status != kDone) {
    ctx.err << "bkreg: stopped at line " << line_of_entry << " of " << o.file << ": " << entered
            << " transactions were imported (those before the last unit of work); the rest were not. The same "
               "import run again skips the lines imported and takes up from there\n";
  }
  if (allowed > 0) {
    ctx.err << "bkreg: " << allowed << " lines with a check number or deposit entered before were imported anyway "
            << "(--allow-duplicate)\n";
  }
  if (ctx.format == Format::kText) {
    ctx.out << "Imported " << entered << " transactions into " << bank << " in batch " << Joined(batches, batch);
    if (skipped > 0) ctx.out << "; " << skipped << " lines imported before were skipped";
    ctx.out << "\n";
  } else {
    Table{{"Bank", "Imported", "Skipped", "Batch"},
          {false, true, true, false},
          {{bank, std::to_string(entered), std::to_string(skipped), Joined(batches, batch)}}}
        .Print(ctx.out, ctx.format);
  }
  return status;
}

}  // namespace

int EnterDemoData(Context& ctx) {
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  struct Bank {
    const char* id;
    const char* desc;
    int type;
    const char* balance;
  } banks[] = {{"OPERATING", "Operating account", 1, "25000.00"}, {"PAYROLL", "Payroll account", 1, "8000.00"}};
  for (const auto& b : banks) {
    BankAccount bank(s->Master(), "", 0);
    bank.m_Record.SetBankAccount(tsAlpha(b.id));
    bank.m_Record.SetDescription(tsAlpha(b.desc));
    tclTSEnum<BankAccountData::BankAccountTypeEnum> type;
    type.SetValue(b.type);
    bank.m_Record.SetAccountType(type);
    SetOpeningBalance(bank.m_Record, tsCurrency::FromText(b.balance));
    const tsioStatus::Status st = bank.Insert();
    if (st != tsioStatus::kSuccess) return ctx.IoFailure(std::string("cannot add bank account ") + b.id, st);
  }
  const tsDate today = tsDate::Today();
  struct Line {
    const char* bank;
    int type;
    const char* amount;
    int days_ago;
    long long check;
    const char* desc;
  } lines[] = {
      {"OPERATING", 2, "12500.00", 20, 0, "Customer receipts"}, {"OPERATING", 1, "1830.45", 18, 1001, "Office rent"},
      {"OPERATING", 1, "212.10", 15, 1002, "Supplies"},         {"OPERATING", 3, "95.00", 12, 0, "Bank fee"},
      {"OPERATING", 4, "14.27", 10, 0, "Monthly interest"},     {"OPERATING", 2, "3300.00", 5, 0, "Customer receipts"},
      {"PAYROLL", 3, "4120.33", 14, 0, "Payroll run"},          {"PAYROLL", 2, "4200.00", 15, 0, "Transfer in"},
  };
  for (const auto& l : lines) {
    Entry e;
    e.bank = l.bank;
    e.type = l.type;
    e.amount = tsCurrency::FromText(l.amount);
    e.date = today - l.days_ago;
    e.check = l.check;
    e.description = l.desc;
    if ((status = EnterOne(ctx, *s, e, true)) != kDone) return status;
  }
  ctx.out << "Created the demo company with two bank accounts and " << std::size(lines) << " transactions.\n\n";
  return kDone;
}

void AddEntryCommands(CLI::App& app, Context& ctx) {
  auto o = std::make_shared<EnterOptions>();
  CLI::App* enter = app.add_subcommand(
      "enter",
      "validates and enters a check, deposit, withdrawal or adjustment through the library's transaction "
      "creation, in one unit of work with the account's totals; a check number or deposit (date and id) "
      "already used for the bank is refused unless --allow-duplicate");
  enter->add_option("TYPE", o->type, "check, deposit, withdrawal or adjustment")
      ->required()
      ->check(CLI::IsMember({"check", "deposit", "withdrawal", "adjustment"}));
  // The account positional (enter deposit OPS ...) or by --bank (the old form).
  enter->add_option("BANK", o->bank, "bank account id");
  enter->add_option("--bank", o->bank, "bank account id (instead of BANK)");
  enter->add_option("--amount", o->amount, "amount (adjustments may be negative)")->required();
  enter->add_option("--date", o->date, "transaction date (default today)");
  enter->add_option("--check", o->check, "check number (checks)")->check(CLI::Range(0LL, 999999999999LL));
  enter->add_option("--desc", o->desc, "description, at most 60 characters");
  enter->add_option("--payee", o->payee, "payee (checks), at most 60 characters");
  enter->add_option("--deposit-id", o->deposit_id, "deposit id (deposits), at most 20 characters");
  enter->add_option("--batch", o->batch, "batch id (default BKREG), at most 10 characters");
  enter->add_flag("--allow-duplicate", o->allow_duplicate, "enter a duplicate check number or deposit anyway");
  enter->add_flag("--payables", o->payables,
                  "a check payables wrote: it stays out of the general ledger's entries from the register "
                  "(payables sends its own)");
  enter->add_option("--account", o->account, "the offset general-ledger account (income, expense, ...)");
  enter->add_option("--cash-account", o->cash_account, "the bank's side (default: the bank account's cash account)");
  enter->add_option("--line", o->lines,
                    "a distribution line ACCOUNT=AMOUNT[@ITEM] of a deposit (its item, default 1) or a "
                    "withdrawal; repeatable");
  enter->add_option("--lines", o->lines_file, "a CSV file of distribution lines: account,amount[,item][,payer]");
  enter->callback([&ctx, o, enter] {
    o->given.clear();
    for (const CLI::Option* opt : enter->get_options()) {
      if (opt->count() > 0 && !opt->get_lnames().empty()) o->given.push_back("--" + opt->get_lnames()[0]);
    }
    ctx.status = Enter(ctx, *o);
  });

  auto g = std::make_shared<GenerateOptions>();
  CLI::App* generate = app.add_subcommand(
      "generate", "enters N sample transactions (the same for the same count and first date), validated");
  generate->add_option("BANK", g->bank, "bank account id");
  generate->add_option("--bank", g->bank, "bank account id (instead of BANK)");
  generate->add_option("--count", g->count, "how many (default 1000)")->check(CLI::Range(0L, 100000000L));
  generate->add_option("--from", g->from, "date of the first (default 60 days ago)");
  generate->add_option("--batch", g->batch,
                       "batch id, at most 10 characters (default GENERATED): an open batch is added to, a posted "
                       "one refused; a full one (32,767 of a kind) goes on in ID-2, ID-3, ...");
  generate->add_option("--unit", g->unit, "transactions per unit of work (default 10,000)")
      ->check(CLI::Range(1L, 100000000L));
  generate->callback([&ctx, g] { ctx.status = Generate(ctx, *g); });

  auto i = std::make_shared<ImportOptions>();
  CLI::App* import = app.add_subcommand(
      "import", "loads a CSV file (date,type,number,amount,description) into a bank account's register, validated");
  import->add_option("BANK", i->bank, "bank account id")->required();
  import->add_option("FILE", i->file, "the CSV file")->required();
  import->add_option("--batch", i->batch,
                     "batch id, at most 10 characters (default IMPORT): an open batch is added to, a posted one "
                     "refused; a full one (32,767 of a kind) goes on in ID-2, ID-3, ...");
  import->add_option("--unit", i->unit, "transactions per unit of work (default 10,000)")
      ->check(CLI::Range(1L, 100000000L));
  import->add_flag("--allow-duplicate", i->allow_duplicate,
                   "import lines whose check number or deposit (date and id) was entered before anyway");
  import->callback([&ctx, i] { ctx.status = Import(ctx, *i); });
}

}  // namespace bkreg
