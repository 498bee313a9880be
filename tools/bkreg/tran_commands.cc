// bkreg remove, transfer, clear, reconcile start|status and locks: the work
// on single register transactions and on what programs hold.
//
// Rules:
//   - remove: an unposted transaction (in the register, not in history),
//     with its deposit items and lines or withdrawal details, uncounted from
//     its batch and from its bank account's balance and totals, in one unit
//     of work. One side of a transfer is refused (the pair stays whole).
//   - transfer FROM TO: two tied transactions in one unit of work, the same
//     run and transfer sequence, direction 1 (from) and 2 (to); the kinds
//     follow each bank account's transfer type (withdrawal and deposit, or
//     two adjustments), each side validated as a transfer.
//   - clear: a posted transaction (in history) marked cleared with an
//     amount (default its own) and date, moving the bank balance.
//   - reconcile start: the statement's date and ending balance for a bank
//     account, its opening balance being the balance the last reconciled
//     statement ended at (a new account's opening balance); one
//     reconciliation at a time per bank account.
//     reconcile status: the opening balance plus what is cleared (and not
//     yet reconciled) up to the statement date, against the ending balance:
//     the difference, to the cent, is what remains to be found.
//   - Every command that changes a bank account's register refuses (exit 3)
//     while another program holds its edit-register lock.
#include <iostream>
#include <CLI/CLI.hpp>


#include "accounts/bank_account.h"
#include "balances/balance_accumulators.h"
#include "balances/balance_as_of.h"
#include "balances/reconcile_in_progress.h"
#include "batches/bk_batch_part.h"
#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "deposits/withdrawal_detail.h"
#include "framework/batch/batch.h"
#include "framework/control/interfaces.h"
#include "framework/io/command_reads.h"
#include "framework/io/rollback_stack.h"
#include "locking/register_bank_lock.h"
#include "locking/transaction_run_lock.h"
#include "records/relations.h"
#include "tools/bkreg/batch_ids.h"
#include "tools/bkreg/entry_details.h"
#include "tools/bkreg/input.h"
#include "tools/bkreg/ledger_entry.h"
#include "tools/bkreg/module_commands.h"
#include "tools/bkreg/module_work.h"
#include "tools/bkreg/tran_access.h"
#include "transactions/transaction.h"
#include "validation/transfer_validater.h"

namespace bkreg {

namespace {

// The exit status of a read that failed: not there (refused), held by
// another program (busy), or a failure.
int ReadFailure(tsioStatus::Status st, const std::string& what, std::ostream& err) {
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) {
    err << "bkreg: no " << what << "\n";
    return kRefused;
  }
  if (st == tsioStatus::kLocked) {
    err << "bkreg: " << what << " is in use by another program; try again later\n";
    return kBusy;
  }
  err << "bkreg: cannot read " << what << " (" << ccIOStatusStr(st) << ")\n";
  return kFailed;
}

// A status's exit code: 3 when a message reports a record another program
// holds, else `otherwise`.
int ExitOf(const ccStatus<ccError::Level>& st, int otherwise) {
  for (const auto& e : st.Errors()) {
    if (e.Text().find("(9)") != std::string::npos || e.Text().find("locked") != std::string::npos) return kBusy;
  }
  return otherwise;
}

// The key of the one transaction of the bank with the check number or
// deposit id `o` names, history first: kDone, or kRefused when there is
// none or more than one.
int FindByNumber(ModuleWork& w, const ClearOptions& o, TranRef* ref, std::ostream& err) {
  const std::string what = o.check != 0 ? "check " + std::to_string(o.check) : "deposit " + o.deposit_id;
  int found = 0;
  for (const tsioDataFile* file : {&w.History(), &w.Register()}) {
    Transaction t(*file, "TBNKACC;TRUN;TSEQ;TRANTYP;TCHECK;TDEPID", 0);
    t.m_Record.SetBankAccount(tsAlpha(o.tran.bank));
    tsioStatus::Status st = t.FetchGE(false);
    for (; st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == o.tran.bank; st = t.FetchNext(false)) {
      const TransactionData& r = t.m_Record;
      const bool match = o.check != 0 ? r.GetType().Value() == 1 && r.GetCheck() == tsDouble(o.check, 0)
                                      : r.GetType().Value() == 2 && r.GetDepositID() == o.deposit_id;
      if (!match) continue;
      if (++found > 1) break;
      ref->run = std::atoll(r.GetRun().Format().c_str());
      ref->sequence = std::atoll(r.GetSequence().Format().c_str());
    }
    if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
      return ReadFailure(st, "the transactions of " + o.tran.bank, err);
    }
    if (found > 0) break;
  }
  if (found == 0) {
    err << "bkreg: no " << what << " in bank account " << o.tran.bank << "\n";
    return kRefused;
  }
  if (found > 1) {
    err << "bkreg: " << what << " is used more than once in " << o.tran.bank << "; name it by run and sequence\n";
    return kRefused;
  }
  return kDone;
}

// What is cleared and not yet reconciled up to `date` (by cleared date),
// in the register and in history: the sum of the cleared amounts and their
// number.
int ClearedUpTo(ModuleWork& w, const std::string& bank, const tsDate& date, tsCurrency* cleared, long* count,
                std::ostream& err) {
  for (const tsioDataFile* file : {&w.Register(), &w.History()}) {
    Transaction t(*file, "TBNKACC;TRECOND;TRECAMT;TRECDT", 0);
    // From the account's first transaction: the run and sequence this
    // cursor does not bind come from the handle's buffer unless reset.
    t.Initialize();
    t.m_Record.SetBankAccount(tsAlpha(bank));
    tsioStatus::Status st = t.FetchGE(false);
    for (; st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == bank; st = t.FetchNext(false)) {
      if (t.m_Record.GetReconciled().Value() != TransactionData::kStateCleared) continue;
      if (date < t.m_Record.GetClearedDate()) continue;
      *cleared += t.m_Record.GetClearedAmount();
      ++*count;
    }
    if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
      err << "bkreg: cannot read the transactions of " << bank << " (" << ccIOStatusStr(st) << ")\n";
      return kFailed;
    }
  }
  return kDone;
}

}  // namespace

namespace {

// The other side of the transfer `t` holds (its bank account, in the
// register): same run and transfer sequence, the other direction.
// kSuccess with `*other` keyed, kNotFound when there is none.
tsioStatus::Status FindOtherSide(const tsioDataFile& file, const TransactionData& t, TranRef* other) {
  Transaction walk(file, "TBNKACC;TRUN;TSEQ;TRTRSEQ;TRTRDIR", 0);
  walk.Initialize();
  tsioStatus::Status st = walk.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = walk.FetchNext(false)) {
    const TransactionData& r = walk.m_Record;
    if (r.GetRun() != t.GetRun() || r.GetTransferSequence() != t.GetTransferSequence()) continue;
    if (r.GetTransferDirection().Value() == t.GetTransferDirection().Value()) continue;
    other->bank = r.GetBankAccount().str();
    other->run = std::atoll(r.GetRun().Format().c_str());
    other->sequence = std::atoll(r.GetSequence().Format().c_str());
    return tsioStatus::kSuccess;
  }
  return st == tsioStatus::kEndOfFile ? tsioStatus::kNotFound : st;
}

// Removes the unposted transaction `r` (its details, cash side, batch count
// and its bank account's balance and totals) in `unit`; the bank account is
// held until the caller's commit. kDone, or the exit status after a message
// (what was written stays for the caller's rollback).
int RemoveInUnit(const Common& c, ModuleWork& w, const TranRef& r, tclRollbackStack& unit, BankAccount& bank,
                 std::string* text, std::ostream& err) {
  Transaction t(w.Register());
  t.AttachRollbackStack(&unit);
  SetTranKey(t, r);
  tsioStatus::Status st = t.FetchEQ(false);
  if (st != tsioStatus::kSuccess) return ReadFailure(st, "transaction " + TranName(r), err);
  UseBatchOf(w, t.m_Record);
  bank.AttachRollbackStack(&unit);
  bank.m_Record.SetBankAccount(tsAlpha(r.bank));
  if ((st = c.ctx->Waiting([&] { return bank.FetchEQ(true); })) != tsioStatus::kSuccess) {
    return ReadFailure(st, "bank account '" + r.bank + "'", err);
  }
  // Taken in the unit, so that the first reads of what hangs under it (the
  // walks below, each finding its first record) and of its batch's record
  // (the count reads it before it locks it) go in the request that locks
  // and reads it.
  if ((st = unit.EnsureBegun(w.Register().Company())) != tsioStatus::kSuccess) {
    return ReadFailure(st, "transaction " + TranName(r), err);
  }
  if (!w.Register().Company().Db().ReadsPagesItself()) {
    const bkCursorBase& self = *t.CursorPtr();
    DepositItemDetail(w.Register()).CursorPtr()->PrefetchFirstOf(self, TransactionDepositItemDetailsRel, true);
    DepositItem(w.Register()).CursorPtr()->PrefetchFirstOf(self, TransactionDepositItemsRel, true);
    WithdrawalDetail(w.Register()).CursorPtr()->PrefetchFirstOf(self, TransactionWithdrawalDetailsRel, true);
    Transaction owner(w.Register(), "TBNKACC;TRUN;TSEQ", 0);
    SetTranKey(owner, r);
    CashDetail(w.Register()).CursorPtr()->PrefetchFirstOf(*owner.CursorPtr(), TransactionCashDetailsRel, true);
    w.Program().GetBatch().PrefetchInfo("BK");
  }
  if ((st = t.FetchEQ(true)) != tsioStatus::kSuccess) return ReadFailure(st, "transaction " + TranName(r), err);
  const tsCurrency net = t.m_Record.GetAmount();
  const bkTranType kind = static_cast<bkTranType>(t.m_Record.GetType().Value());
  const unsigned short state = static_cast<unsigned short>(t.m_Record.GetReconciled().Value());
  const tsDouble run = t.m_Record.GetRun();
  *text = t.m_Record.MessageText();
  st = DeleteDetails<DepositItemDetail>(t, TransactionDepositItemDetailsRel, unit);
  if (st == tsioStatus::kSuccess) st = DeleteDetails<DepositItem>(t, TransactionDepositItemsRel, unit);
  if (st == tsioStatus::kSuccess) st = DeleteDetails<WithdrawalDetail>(t, TransactionWithdrawalDetailsRel, unit);
  if (st == tsioStatus::kSuccess) st = RemoveCashSide(w.Register(), w.Master(), t.m_Record, unit);
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: the details of " << *text << " could not be removed (" << ccIOStatusStr(st) << ")\n";
    return st == tsioStatus::kLocked || st == tsioStatus::kBusy ? kBusy : kFailed;
  }
  ccStatus<ccError::Level> removed = t.Remove(w.Program(), nullptr);
  PrintMessages(removed.Errors(), err);
  if (removed.HasError()) {
    w.Program().GetBatch().Rollback();
    err << "bkreg: " << *text << " was not removed\n";
    return ExitOf(removed, kFailed);
  }
  (void)bank.ChangeOpenTotals(net, kind, 0, state);
  (void)bank.ChangeUnreconciledTotals(net, kind, 3, state);
  bank.UpdateRegisterBalance(tsCurrency(-net), run);
  st = bank.SetBuffer();
  if (st == tsioStatus::kSuccess) st = bank.Update();
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: " << *text << " was not removed (" << ccIOStatusStr(st) << ")\n";
    return st == tsioStatus::kLocked || st == tsioStatus::kBusy ? kBusy : kFailed;
  }
  return kDone;
}

}  // namespace

// remove: an unposted transaction with everything that hangs under it; one
// side of an unposted transfer takes the other with it, in the same unit.
int RemoveTransaction(const Common& c, const TranRef& r, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  // The account and the transaction, read unlocked before anything is
  // taken: asked in one request on a server, each read once.
  tsioCommandReads reads(w.Master());
  PrefetchBankAccount(reads, w.Master(), r.bank);
  reads.Keep(w.Register(), TransactionData::kRecordType);
  {
    Transaction t(w.Register());
    SetTranKey(t, r);
    reads.PrefetchEQ(*t.CursorPtr());
    reads.Send();
  }
  if (int rc = w.CheckBankFree(r.bank, err); rc != kDone) return rc;
  std::vector<TranRef> sides = {r};
  {
    Transaction t(w.Register());
    SetTranKey(t, r);
    if (tsioStatus::Status st = t.FetchEQ(false); st != tsioStatus::kSuccess) {
      Transaction h(w.History());
      SetTranKey(h, r);
      if (st == tsioStatus::kNotFound && h.FetchEQ(false) == tsioStatus::kSuccess) {
        err << "bkreg: transaction " << TranName(r) << " is posted; a posted transaction cannot be removed\n";
        return kRefused;
      }
      return ReadFailure(st, "transaction " + TranName(r) + " in the register", err);
    }
    if (!t.m_Record.GetTransferSequence().IsNull()) {
      TranRef other;
      const tsioStatus::Status st = FindOtherSide(w.Register(), t.m_Record, &other);
      if (st == tsioStatus::kSuccess) {
        if (int rc = w.CheckBankFree(other.bank, err); rc != kDone) return rc;
        sides.push_back(other);
      } else if (st == tsioStatus::kNotFound) {
        err << "bkreg: transaction " << TranName(r) << " is one side of a transfer whose other side is posted; "
            << "a transfer is not removed by halves\n";
        return kRefused;
      } else {
        return ReadFailure(st, "the other side of transfer " + TranName(r), err);
      }
    }
  }
  tclRollbackStack unit;
  // Any failure in the unit fails it whole (rolled back below): its writes
  // need not wait for their answers one by one.
  tsioAllOrNothing all_or_nothing(w.Register().Company());
  std::unique_ptr<BankAccount> banks[2];
  std::string texts[2];
  int rc = kDone;
  for (size_t i = 0; i < sides.size() && rc == kDone; ++i) {
    banks[i] = std::make_unique<BankAccount>(w.Master());
    rc = RemoveInUnit(c, w, sides[i], unit, *banks[i], &texts[i], err);
  }
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (rc == kDone && (st = unit.Commit()) != tsioStatus::kSuccess) {
    err << "bkreg: " << texts[0] << " was not removed (" << ccIOStatusStr(st) << ")\n";
    rc = st == tsioStatus::kLocked || st == tsioStatus::kBusy ? kBusy : kFailed;
  }
  if (rc != kDone) (void)unit.Rollback();
  for (auto& b : banks) {
    if (b) (void)b->Unlock();
  }
  if (rc != kDone) return rc;
  if (c.format == Format::kText) {
    out << "Removed " << texts[0];
    if (sides.size() > 1) out << " and the other side of its transfer, " << texts[1];
    out << "\n";
  } else {
    Table t{{"Bank", "Run", "Sequence", "Removed"}, {false, true, true, false}, {}};
    for (size_t i = 0; i < sides.size(); ++i) {
      t.rows.push_back({sides[i].bank, std::to_string(sides[i].run), std::to_string(sides[i].sequence), texts[i]});
    }
    t.Print(out, c.format);
  }
  return kDone;
}

namespace {

// Fills side `i` (0 paying, 1 receiving) of a transfer of `amount` on
// `date` between `ids` into `d`, in the program's batch. While the
// register's entries go to the general ledger the paying side carries the
// pair of lines, the receiving account's cash account against the paying
// one's; the receiving side carries none (its cash detail still records
// its bank side).
void FillTransferSide(ModuleWork& w, TransactionData& d, int i, const BankAccount* const banks[2],
                      const std::string* const ids[2], const tsCurrency& amount, const tsDate& date,
                      const std::string& description, bool to_ledger) {
  d.InitializeNewRecord(w.Program(), w.Program().GetBatch());
  d.SetBatchDPLoc(w.Program().GetBatch().DPLoc());
  const bkTranType kind = i == 0 ? banks[0]->GetTransferSourceType() : banks[1]->GetTransferDestinationType();
  tclTSEnum<TransactionData::TranTypeEnum> type;
  type.SetValue(static_cast<short>(kind));
  d.SetType(type);
  d.SetBankAccount(tsAlpha(*ids[i]));
  d.SetTransactionDate(date);
  d.SetAccountingDate(date);
  d.SetDescription(tsAlpha(description.empty() ? (i == 0 ? "Transfer to " + *ids[1] : "Transfer from " + *ids[0])
                                               : description));
  if (i == 0) {
    d.SetSubtraction(amount);
  } else {
    d.SetAddition(amount);
    if (kind == bkTranType(2)) d.SetDepositDate(date);
  }
  tclTSEnum<TransferDirectionEnum> direction;
  direction.SetValue(i == 0 ? 1 : 2);
  d.SetTransferDirection(direction);
  if (to_ledger && i == 0) {
    d.SetDebitAccount(banks[1]->m_Record.GetMiscCashAccount());
    d.SetCreditAccount(banks[0]->m_Record.GetMiscCashAccount());
  }
}

}  // namespace

int TransferFunds(const Common& c, const TransferOptions& o, std::ostream& out, std::ostream& err) {
  tsCurrency amount;
  if (!ReadAmount(o.amount, &amount) || !(tsCurrency() < amount)) {
    err << "bkreg: --amount: an amount above 0 with at most two decimals\n";
    return kRefused;
  }
  tsDate date = tsDate::Today();
  if (!o.date.empty() && !ReadDate(o.date, &date)) {
    err << "bkreg: --date: not a date: '" << o.date << "' (YYYY-MM-DD)\n";
    return kRefused;
  }
  if (o.from == o.to) {
    err << "bkreg: a transfer needs two different bank accounts\n";
    return kRefused;
  }
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  const std::string* ids[2] = {&o.from, &o.to};
  // What the transfer reads before it takes the accounts, asked in one
  // request on a server: the ledger interface's switch and the account
  // formats, the batch's records, both accounts unlocked (their cash
  // accounts name the ledger's records read once they are taken).
  tsioCommandReads reads(w.Master());
  zc_prefetch_control_reads("BK", "GL");
  PrefetchBatchRecords(reads, w.Register(), o.batch);
  for (const std::string* id : ids) PrefetchBankAccount(reads, w.Master(), *id);
  reads.Send();
  const std::string hints[2] = {CashAccountOf(w.Master(), o.from), CashAccountOf(w.Master(), o.to)};
  for (const std::string* id : ids) {
    if (int rc = w.CheckBankFree(*id, err); rc != kDone) return rc;
  }
  const bool to_ledger = LedgerInterfaceOn();
  if (to_ledger && !EnterPrepareLedger(w.Program(), err)) return kFailed;
  // The ledger's sides of each half: the paying side offsets against the
  // receiving bank's cash account; the receiving side's pair is carried by
  // the paying side.
  auto sides_of = [&](int i, const std::string (&cash)[2]) {
    return LedgerSides{0, date, cash[i], i == 0 ? cash[1] : "", {}, i == 1};
  };
  // What the transfer reads once it holds the accounts (the ledger's
  // records its checks read, the batch's records and members), queued
  // before the first lock to go in that lock's request.
  auto queue_reads = [&](const std::string (&cash)[2]) {
    if (to_ledger) {
      for (int i = 0; i < 2; ++i) KeepLedgerReads(reads, w.Program(), sides_of(i, cash));
    }
    reads.Keep(w.Register(), TransactionData::kRecordType);
    reads.Keep(w.Register(), BatchData::kRecordType);
    PrefetchEntryGeneration(w.Register(), o.batch);
  };
  queue_reads(hints);

  tclRollbackStack unit;
  BankAccount from(w.Master()), to(w.Master());
  BankAccount* banks[2] = {&from, &to};
  for (int i = 0; i < 2; ++i) {
    banks[i]->AttachRollbackStack(&unit);
    banks[i]->m_Record.SetBankAccount(tsAlpha(*ids[i]));
    if (tsioStatus::Status st = c.ctx->Waiting([&] { return banks[i]->FetchEQ(true); }); st != tsioStatus::kSuccess) {
      if (i == 1) (void)from.Unlock();
      return ReadFailure(st, "bank account '" + *ids[i] + "'", err);
    }
  }
  const std::string cash[2] = {from.m_Record.GetMiscCashAccount().str(), to.m_Record.GetMiscCashAccount().str()};
  // Queued for other cash accounts than the locked reads name: asked again.
  if (to_ledger && (cash[0] != hints[0] || cash[1] != hints[1])) queue_reads(cash);
  auto give_up = [&](int rc) {
    (void)unit.Rollback();
    w.Program().GetBatch().Rollback();
    (void)from.Unlock();
    (void)to.Unlock();
    return rc;
  };
  BatchGeneration generation;
  if (int rc = EntryGeneration(*c.ctx, w.Register(), w.History(), o.batch, &generation); rc != kDone) {
    return give_up(rc);
  }
  reads.Send();
  zzBatch batch("BK", tsAlpha(o.batch), 2);
  batch.SetDPLoc(tsAlpha(generation.location));
  batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(w.Register().FileNum());
  (void)batch.OpenInfo("BK");
  w.Program().SetBatch(batch);
  // Everything that can refuse the transfer is asked before a run is taken:
  // the general ledger's rules, then the module's rules for each side under
  // a provisional key.
  if (to_ledger) {
    for (int i = 0; i < 2; ++i) {
      if (banks[i]->m_Record.GetMiscCashAccount().str().empty()) {
        err << "bkreg: bank account " << *ids[i] << " has no cash account, and while entries go to the general "
            << "ledger a transfer moves money between the two banks' cash accounts (bank edit " << *ids[i]
            << " --cash-account ACCOUNT)\n";
        return give_up(kRefused);
      }
    }
    for (int i = 0; i < 2; ++i) {
      LedgerSides sides;
      sides.type = i == 0 ? static_cast<int>(banks[0]->GetTransferSourceType())
                          : static_cast<int>(banks[1]->GetTransferDestinationType());
      sides.date = date;
      sides.cash = banks[i]->m_Record.GetMiscCashAccount().str();
      sides.offset = i == 0 ? banks[1]->m_Record.GetMiscCashAccount().str() : "";
      sides.offset_elsewhere = i == 1;
      if (int rc = CheckLedgerEntry(*c.ctx, w.Program(), sides); rc != kDone) return give_up(rc);
    }
  }
  for (int i = 0; i < 2; ++i) {
    TransactionData d;
    FillTransferSide(w, d, i, banks, ids, amount, date, o.description, to_ledger);
    d.SetTransferSequence(tsDouble(1, 0));
    d.SetRun(tsDouble(999999999, 0));
    d.SetSequence(tsDouble(1 + i, 0));
    TransferValidater rules(w.Program(), &d);
    ccStatus<ccError::Level> valid = rules.DoIt(w.Program());
    PrintMessages(valid.Errors(), err);
    if (valid.HasError()) {
      err << "bkreg: the transfer was not entered\n";
      return give_up(kRefused);
    }
  }
  // From here any failure in the unit fails it whole (rolled back, the
  // transfer not made): its writes need not wait for their answers one by
  // one, nor the run's counter written before it.
  tsioAllOrNothing all_or_nothing(w.Register().Company());
  if (const int taken_run = TakeRun(*c.ctx, w.Program(), to_ledger); taken_run != kDone) return give_up(taken_run);
  if (unit.EnsureBegun(w.Register().Company()) != tsioStatus::kSuccess) return give_up(kFailed);
  TransactionFileHeader& header = *w.Program().BKTHeader();
  ccStatus<ccBoolStatus> taken(kBoolSuccess);
  (void)header.ThisRun(taken);
  if (taken.Value() != kBoolSuccess) {
    PrintMessages(taken.Errors(), err);
    return give_up(kFailed);
  }
  const tsDouble pair = header.NextTransferSequence();
  std::string texts[2];
  TranRef keys[2];
  for (int i = 0; i < 2; ++i) {
    Transaction t(w.Register());
    t.AttachRollbackStack(&unit);
    TransactionData& d = t.m_Record;
    FillTransferSide(w, d, i, banks, ids, amount, date, o.description, to_ledger);
    d.SetTransferSequence(pair);
    // The unit's checks read the ledger's calendar and header again, and
    // the count reads the batch's record before it locks it: asked together.
    if (to_ledger) QueueLedgerUnitReads(w.Program());
    w.Program().GetBatch().PrefetchInfo("BK");
    if (to_ledger) QueueCashBalanceLock(w.Master(), *ids[i], banks[i]->m_Record.GetMiscCashAccount().str());
    ccStatus<ccError::Level> created = t.Create(w.Program(), nullptr, true);
    PrintMessages(created.Errors(), err);
    if (created.HasError()) {
      err << "bkreg: the transfer was not entered\n";
      return give_up(ExitOf(created, kRefused));
    }
    if (to_ledger) {
      const tsioStatus::Status st = RecordCashSide(w.Program(), w.Register(), w.Master(), d,
                                                   banks[i]->m_Record.GetMiscCashAccount().str(), unit);
      if (st != tsioStatus::kSuccess) {
        err << "bkreg: the cash side of the transfer could not be saved (" << ccIOStatusStr(st) << ")\n";
        return give_up(st == tsioStatus::kLocked || st == tsioStatus::kBusy ? kBusy : kFailed);
      }
    }
    const tsCurrency net = d.GetAmount();
    const bkTranType kind = static_cast<bkTranType>(d.GetType().Value());
    (void)banks[i]->ChangeOpenTotals(net, kind, 1, 0);
    (void)banks[i]->ChangeUnreconciledTotals(net, kind, 1, 3);
    banks[i]->UpdateRegisterBalance(net, d.GetRun());
    texts[i] = d.MessageText() + " (run " + d.GetRun().Format() + ", sequence " + d.GetSequence().Format() + ")";
    keys[i] = TranRef{*ids[i], std::atoll(d.GetRun().Format().c_str()), std::atoll(d.GetSequence().Format().c_str())};
  }
  // The two cursors share the master file's buffer: each account is made
  // current again (with its totals) before it is written.
  tsioStatus::Status st = tsioStatus::kSuccess;
  for (BankAccount* b : banks) {
    if (st == tsioStatus::kSuccess) st = b->SetBuffer();
    if (st == tsioStatus::kSuccess) st = b->Update();
  }
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: the transfer could not be saved (" << ccIOStatusStr(st) << ")\n";
    return give_up(st == tsioStatus::kLocked || st == tsioStatus::kBusy ? kBusy : kFailed);
  }
  (void)from.Unlock();
  (void)to.Unlock();
  if (c.format == Format::kText) {
    out << "Transferred " << amount.Format() << " from " << o.from << " to " << o.to << ": " << texts[0] << " and "
        << texts[1] << "\n";
  } else {
    Table t{{"Bank", "Run", "Sequence", "Date", "Amount"}, {false, true, true, false, true}, {}};
    for (int i = 0; i < 2; ++i) {
      t.rows.push_back({keys[i].bank, std::to_string(keys[i].run), std::to_string(keys[i].sequence), date.Format(),
                        tsCurrency(i == 0 ? -amount : amount).Format()});
    }
    t.Print(out, c.format);
  }
  return kDone;
}

namespace {

// Returns the cleared transaction `t` holds (read from its file) to open:
// out of the bank balance, back into the open totals, and out of the
// reconciliation in progress when a statement import marked it there, in
// one unit of work, the account held until it commits. A reconciled
// transaction is refused (its statement must be undone first), an open one
// too.
int Unclear(const Common& c, ModuleWork& w, Transaction& t, const TranRef& ref, std::ostream& out,
            std::ostream& err) {
  const int state = t.m_Record.GetReconciled().Value();
  if (state == TransactionData::kStateReconciled) {
    err << "bkreg: transaction " << TranName(ref) << " is reconciled on the statement of "
        << t.m_Record.GetStatementDate().Format() << "; undo that reconciliation first (reconcile undo " << ref.bank
        << ")\n";
    return kRefused;
  }
  if (state != TransactionData::kStateCleared) {
    err << "bkreg: transaction " << TranName(ref) << " is not cleared\n";
    return kRefused;
  }
  tclRollbackStack unit;
  t.AttachRollbackStack(&unit);
  BankAccount bank(w.Master());
  bank.AttachRollbackStack(&unit);
  bank.m_Record.SetBankAccount(tsAlpha(ref.bank));
  tsioStatus::Status st = c.ctx->Waiting([&] { return bank.FetchEQ(true); });
  if (st != tsioStatus::kSuccess) return ReadFailure(st, "bank account '" + ref.bank + "'", err);
  auto give_up = [&](tsioStatus::Status why) {
    (void)unit.Rollback();
    (void)bank.Unlock();
    err << "bkreg: transaction " << TranName(ref) << " was not returned to open (" << ccIOStatusStr(why) << ")\n";
    return why == tsioStatus::kLocked || why == tsioStatus::kBusy ? kBusy : kFailed;
  };
  if ((st = c.ctx->Waiting([&] { return t.FetchEQ(true); })) != tsioStatus::kSuccess) return give_up(st);
  if (t.m_Record.GetReconciled().Value() != TransactionData::kStateCleared) {
    (void)t.Unlock();
    (void)bank.Unlock();
    err << "bkreg: transaction " << TranName(ref) << " changed meanwhile; it is not cleared now\n";
    return kRefused;
  }
  const tsCurrency cleared = t.m_Record.GetClearedAmount();
  const tsCurrency net = t.m_Record.GetAmount();
  const bkTranType kind = static_cast<bkTranType>(t.m_Record.GetType().Value());
  const bool marked = t.m_Record.GetReconcileInProgress().Value() == 3;
  t.m_Record.SetReconciled(tsChoice(TransactionData::kStateOpen));
  t.m_Record.SetClearedAmount(tsCurrency());
  t.m_Record.SetClearedDate(tsDate());
  t.m_Record.SetReconcileInProgress(tsChoice(1));
  st = unit.EnsureBegun(w.Register().Company());
  if (st == tsioStatus::kSuccess) st = t.Update();
  if (st == tsioStatus::kSuccess) st = t.UnlockAtUnitEnd();
  if (st == tsioStatus::kSuccess && marked) {
    ReconcileInProgress rip(w.Master());
    rip.AttachRollbackStack(&unit);
    rip.m_Record.SetBankAccount(tsAlpha(ref.bank));
    st = rip.FetchEQ(true);
    if (st == tsioStatus::kSuccess) {
      rip.AdjustRIPTotals(t.m_Record.GetType(), tsDouble(0, 2), net, tsChoice(1), tsChoice(3),
                          !(net < tsCurrency()));
      st = rip.Update();
      if (st == tsioStatus::kSuccess) st = rip.UnlockAtUnitEnd();
    } else if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) {
      st = tsioStatus::kSuccess;  // the reconciliation it was marked in went away
    }
  }
  if (st == tsioStatus::kSuccess) {
    bank.UpdateBankBalance(tsCurrency(-cleared), t.m_Record.GetRun(), nullptr);
    (void)bank.ChangeOpenTotals(net, kind, TransactionData::kStateOpen, TransactionData::kStateCleared);
    (void)bank.ChangeUnreconciledTotals(net, kind, TransactionData::kStateOpen, TransactionData::kStateCleared);
    st = bank.SetBuffer();
    if (st == tsioStatus::kSuccess) st = bank.Update();
  }
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  if (st != tsioStatus::kSuccess) return give_up(st);
  (void)bank.Unlock();
  if (c.format == Format::kText) {
    out << "Returned " << t.m_Record.MessageText() << " to open: " << cleared.Format() << " out of the bank balance\n";
  } else {
    Table{{"Bank", "Run", "Sequence", "State", "Uncleared amount"},
          {false, true, true, false, true},
          {{ref.bank, std::to_string(ref.run), std::to_string(ref.sequence), "O", cleared.Format()}}}
        .Print(out, c.format);
  }
  return kDone;
}

}  // namespace

int ClearTransaction(const Common& c, const ClearOptions& o, std::ostream& out, std::ostream& err) {
  tsDate date = tsDate::Today();
  if (!o.date.empty() && !ReadDate(o.date, &date)) {
    err << "bkreg: --date: not a date: '" << o.date << "' (YYYY-MM-DD)\n";
    return kRefused;
  }
  tsCurrency amount;
  if (!o.amount.empty() && !ReadAmount(o.amount, &amount)) {
    err << "bkreg: --amount: not an amount: '" << o.amount << "' (digits, at most two decimals)\n";
    return kRefused;
  }
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  if (int rc = w.CheckBankFree(o.tran.bank, err); rc != kDone) return rc;
  TranRef ref = o.tran;
  if (o.check != 0 || !o.deposit_id.empty()) {
    if (int rc = FindByNumber(w, o, &ref, err); rc != kDone) return rc;
  }
  // Posted transactions are in history; one still in the register is
  // handed to the clearing all the same, which refuses it in its words.
  Transaction h(w.History());
  SetTranKey(h, ref);
  tsioStatus::Status st = h.FetchEQ(false);
  Transaction r(w.Register());
  Transaction* t = &h;
  if (st == tsioStatus::kNotFound) {
    SetTranKey(r, ref);
    st = r.FetchEQ(false);
    t = &r;
  }
  if (st != tsioStatus::kSuccess) return ReadFailure(st, "transaction " + TranName(ref), err);
  if (o.undo) return Unclear(c, w, *t, ref, out, err);
  // A reconciled transaction belongs to its finished statement: cleared
  // again it would leave that statement while the reconciled balance still
  // counts it.
  if (t->m_Record.GetReconciled().Value() == TransactionData::kStateReconciled) {
    err << "bkreg: transaction " << TranName(ref) << " is reconciled on the statement of "
        << t->m_Record.GetStatementDate().Format() << "; undo that reconciliation first (reconcile undo "
        << ref.bank << ")\n";
    return kRefused;
  }
  if (o.amount.empty()) amount = t->m_Record.GetAmount();
  tclRollbackStack unit;
  // Any failure in the unit fails it whole (rolled back below): its writes
  // need not wait for their answers one by one.
  tsioAllOrNothing all_or_nothing(w.Register().Company());
  t->AttachRollbackStack(&unit);
  BankAccount bank(w.Master());
  bank.AttachRollbackStack(&unit);
  // The bank account is held (waiting for another program's entry, up to
  // --wait) from before the clearing reads it until the unit is committed:
  // the clearing leaves a lock it did not take, so no other program reads
  // the account's totals between the clearing's write and the commit and
  // writes them back without it.
  bank.m_Record.SetBankAccount(t->m_Record.GetBankAccount());
  if ((st = c.ctx->Waiting([&] { return bank.FetchEQ(true); })) != tsioStatus::kSuccess) {
    return ReadFailure(st, "bank account '" + o.tran.bank + "'", err);
  }
  ccStatus<ccError::Level> cleared = t->clearTransaction(amount, date, &bank, t->m_Record.GetRun(), nullptr);
  PrintMessages(cleared.Errors(), err);
  if (cleared.HasError()) {
    (void)unit.Rollback();
    (void)bank.Unlock();
    bool not_posted = false;
    for (const auto& e : cleared.Errors()) not_posted = not_posted || e.Number() == 2004;
    err << "bkreg: transaction " << TranName(ref) << " was not cleared\n";
    return not_posted ? kRefused : ExitOf(cleared, kFailed);
  }
  if ((st = unit.Commit()) != tsioStatus::kSuccess) {
    (void)unit.Rollback();
    (void)bank.Unlock();
    err << "bkreg: the clearing could not be saved (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  (void)bank.Unlock();
  PrintDone(out, c.format,
            "Cleared " + t->m_Record.MessageText() + ": " + amount.Format() + " on " + date.Format(),
            Table{{"Bank", "Run", "Sequence", "State", "Cleared amount", "Cleared on"},
                  {false, true, true, false, true, false},
                  {{ref.bank, std::to_string(ref.run), std::to_string(ref.sequence), "C", amount.Format(),
                    date.Format()}}});
  return kDone;
}

int ReconcileStart(const Common& c, const ReconcileOptions& o, std::ostream& out, std::ostream& err) {
  tsDate date;
  if (!ReadDate(o.statement_date, &date)) {
    err << "bkreg: --date: the statement's date (YYYY-MM-DD) is needed\n";
    return kRefused;
  }
  tsCurrency ending;
  if (!ReadAmount(o.ending_balance, &ending)) {
    err << "bkreg: --ending-balance: the statement's ending balance (digits, at most two decimals) is needed\n";
    return kRefused;
  }
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  if (int rc = w.CheckBankFree(o.bank, err); rc != kDone) return rc;
  ReconcileInProgress rip(w.Master());
  rip.m_Record.SetBankAccount(tsAlpha(o.bank));
  tsioStatus::Status st = c.ctx->Waiting([&] { return rip.FetchEQ(true); });
  if (st == tsioStatus::kSuccess) {
    // The same statement again corrects its ending balance (a mistyped one);
    // another statement waits until this one is finished or cancelled.
    if (rip.m_Record.GetStatementDate() != date) {
      (void)rip.Unlock();
      err << "bkreg: a reconciliation of " << o.bank << " against the statement of "
          << rip.m_Record.GetStatementDate().Format() << " is in progress: correct its ending balance with the same "
          << "--date, finish it, or abandon it (reconcile cancel " << o.bank << ")\n";
      return kRefused;
    }
    const tsCurrency was = rip.m_Record.GetEndingBalance();
    rip.m_Record.SetEndingBalance(ending);
    st = rip.Update();
    (void)rip.Unlock();
    if (st != tsioStatus::kSuccess) {
      err << "bkreg: the reconciliation could not be corrected (" << ccIOStatusStr(st) << ")\n";
      return st == tsioStatus::kLocked || st == tsioStatus::kBusy ? kBusy : kFailed;
    }
    if (c.format == Format::kText) {
      out << "Corrected the statement of " << date.Format() << " of " << o.bank << ": ending " << ending.Format()
          << " (was " << was.Format() << ")\n";
    } else {
      Table{{"Bank", "Statement date", "Opening", "Ending", "Corrected from"},
            {false, false, true, true, true},
            {{o.bank, date.Format(), rip.m_Record.GetOpeningBalance().Format(), ending.Format(), was.Format()}}}
          .Print(out, c.format);
    }
    return kDone;
  }
  if (st == tsioStatus::kLocked) return ReadFailure(st, "the reconciliation of " + o.bank, err);
  if (st != tsioStatus::kNotFound && st != tsioStatus::kEndOfFile) return ReadFailure(st, "reconciliation", err);
  // The opening balance: where the last reconciled statement ended (a new
  // account's opening balance), as finishing the reconciliation and a
  // statement import take it.
  BankAccount bank(w.Master(), "BANKACC;BRECBAL", 0);
  bank.m_Record.SetBankAccount(tsAlpha(o.bank));
  st = bank.FetchEQ(false);
  if (st != tsioStatus::kSuccess) return ReadFailure(st, "bank account", err);
  const tsCurrency opening = bank.m_Record.GetLastReconciledBalance();
  rip.Initialize();
  rip.m_Record.SetBankAccount(tsAlpha(o.bank));
  rip.m_Record.SetStatementDate(date);
  rip.m_Record.SetOpeningBalance(opening);
  rip.m_Record.SetEndingBalance(ending);
  st = rip.Insert();
  if (st == tsioStatus::kDuplicateKey) {
    err << "bkreg: a reconciliation of " << o.bank << " is in progress already\n";
    return kRefused;
  }
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: the reconciliation could not be started (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  if (c.format == Format::kText) {
    out << "Reconciling " << o.bank << " against the statement of " << date.Format() << ": opening "
        << opening.Format() << ", ending " << ending.Format() << "\n";
  } else {
    Table{{"Bank", "Statement date", "Opening", "Ending"},
          {false, false, true, true},
          {{o.bank, date.Format(), opening.Format(), ending.Format()}}}
        .Print(out, c.format);
  }
  return kDone;
}

int ReconcileCancel(const Common& c, const ReconcileOptions& o, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  if (int rc = w.CheckBankFree(o.bank, err); rc != kDone) return rc;
  tclRollbackStack unit;
  ReconcileInProgress rip(w.Master());
  rip.AttachRollbackStack(&unit);
  rip.m_Record.SetBankAccount(tsAlpha(o.bank));
  tsioStatus::Status st = c.ctx->Waiting([&] { return rip.FetchEQ(true); });
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) {
    err << "bkreg: no reconciliation of " << o.bank << " is in progress\n";
    return kRefused;
  }
  if (st != tsioStatus::kSuccess) return ReadFailure(st, "the reconciliation of " + o.bank, err);
  const tsDate date = rip.m_Record.GetStatementDate();
  // The transactions a statement import marked into it stay cleared; they
  // are only no longer marked.
  long unmarked = 0;
  for (const tsioDataFile* file : {&w.Register(), &w.History()}) {
    Transaction t(*file, "", 0);
    t.AttachRollbackStack(&unit);
    t.Initialize();
    t.m_Record.SetBankAccount(tsAlpha(o.bank));
    for (st = t.FetchGE(false); st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == o.bank;
         st = t.FetchNext(false)) {
      if (t.m_Record.GetReconcileInProgress().Value() != 3) continue;
      if ((st = t.FetchEQ(true)) != tsioStatus::kSuccess) break;
      t.m_Record.SetReconcileInProgress(tsChoice(2));
      if ((st = t.Update()) != tsioStatus::kSuccess) break;
      (void)t.UnlockAtUnitEnd();
      ++unmarked;
    }
    if (st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound) st = tsioStatus::kSuccess;
    if (st != tsioStatus::kSuccess) break;
  }
  if (st == tsioStatus::kSuccess) st = rip.Delete();
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  if (st != tsioStatus::kSuccess) {
    (void)unit.Rollback();
    (void)rip.Unlock();
    err << "bkreg: the reconciliation could not be cancelled (" << ccIOStatusStr(st) << ")\n";
    return st == tsioStatus::kLocked || st == tsioStatus::kBusy ? kBusy : kFailed;
  }
  if (c.format == Format::kText) {
    out << "Cancelled the reconciliation of " << o.bank << " against the statement of " << date.Format()
        << "; what was cleared stays cleared\n";
  } else {
    Table{{"Bank", "Statement date", "Cancelled", "Unmarked"},
          {false, false, false, true},
          {{o.bank, date.Format(), "yes", std::to_string(unmarked)}}}
        .Print(out, c.format);
  }
  return kDone;
}

int ReconcileStatus(const Common& c, const ReconcileOptions& o, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  ReconcileInProgress rip(w.Master());
  rip.m_Record.SetBankAccount(tsAlpha(o.bank));
  tsioStatus::Status st = rip.FetchEQ(false);
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) {
    err << "bkreg: no reconciliation of " << o.bank << " is in progress (reconcile start " << o.bank
        << " --date D --ending-balance X)\n";
    return kRefused;
  }
  if (st != tsioStatus::kSuccess) return ReadFailure(st, "reconciliation", err);
  const ReconcileInProgressData& r = rip.m_Record;
  tsCurrency cleared;
  long count = 0;
  if (int rc = ClearedUpTo(w, o.bank, r.GetStatementDate(), &cleared, &count, err); rc != kDone) return rc;
  const tsCurrency reached = r.GetOpeningBalance() + cleared;
  const tsCurrency difference = r.GetEndingBalance() - reached;
  Table t{{"Bank", "Statement date", "Opening", "Cleared count", "Cleared", "Ending", "Difference"},
          {false, false, true, true, true, true, true},
          {{o.bank, r.GetStatementDate().Format(), r.GetOpeningBalance().Format(), std::to_string(count),
            cleared.Format(), r.GetEndingBalance().Format(), difference.Format()}}};
  t.Print(out, c.format);
  return kDone;
}

int ListLocks(const Common& c, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  Table t{{"Kind", "Bank", "Run", "State"}, {false, false, true, false}, {}};
  // Bank (edit-register) locks: a lock record counts while a live program
  // holds its record lock.
  RegisterBankLock locks(w.Master());
  tsioStatus::Status st = locks.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = locks.FetchNext(false)) {
    const std::string id = locks.m_Record.GetBankAccount().str();
    BankAccount bank(w.Master());
    bank.m_Record.SetBankAccount(tsAlpha(id));
    auto held = bank.isEditRegisterLocked();
    t.rows.push_back({"bank", id, "",
                      held.MaxLevel() >= ccError::kError ? "unknown (cannot be read)"
                      : held.Value() != ccError::kNone   ? "held by another program"
                                                         : "free (left by an ended program)"});
  }
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
    err << "bkreg: cannot read the bank locks (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  // Run markers and active runs (a blank bank): held while a live program
  // holds the record's lock.
  TransactionRunLock runs(w.Register());
  TransactionRunLock probe(w.Register());
  st = runs.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = runs.FetchNext(false)) {
    probe.m_Record = runs.m_Record;
    const tsioStatus::Status held = probe.FetchEQ(true);
    if (held == tsioStatus::kSuccess) (void)probe.Unlock();
    const std::string bank = runs.m_Record.GetBankAccount().str();
    t.rows.push_back({bank.empty() ? "active run" : "run", bank, runs.m_Record.GetTransactionRun().Format(),
                      held == tsioStatus::kLocked    ? "held by another program"
                      : held == tsioStatus::kSuccess ? "free (left by an ended program)"
                                                     : "unknown (cannot be read)"});
  }
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
    err << "bkreg: cannot read the run locks (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  t.Print(out, c.format);
  return kDone;
}

namespace {

// The bank account id of a command after the input rules; "" or the message.
std::string CheckBank(std::string* id) { return ParseBankId("the bank account id", *id, id); }

void AddTranRef(CLI::App* cmd, TranRef& r, bool required) {
  cmd->add_option("BANK", r.bank, "bank account id")->required();
  CLI::Option* run = cmd->add_option("RUN", r.run, "run number")->check(CLI::Range(1LL, 999999999999LL));
  CLI::Option* seq = cmd->add_option("SEQUENCE", r.sequence, "sequence number")->check(CLI::Range(1LL, 999999999999LL));
  if (required) {
    run->required();
    seq->required();
  }
}

}  // namespace

void AddTransactionCommands(CLI::App& app, Context& ctx) {
  auto r = std::make_shared<TranRef>();
  CLI::App* remove = app.add_subcommand(
      "remove", "removes an unposted transaction with its details, out of its batch and its account's totals");
  AddTranRef(remove, *r, true);
  remove->callback([&ctx, r] {
    const std::string problem = CheckBank(&r->bank);
    ctx.status = problem.empty() ? RemoveTransaction(Common{&ctx, ctx.format}, *r, ctx.out, ctx.err)
                                 : ctx.Refuse(problem);
  });

  auto t = std::make_shared<TransferOptions>();
  CLI::App* transfer = app.add_subcommand(
      "transfer", "moves money between two bank accounts: two tied transactions in one unit of work");
  transfer->add_option("FROM", t->from, "bank account paying")->required();
  transfer->add_option("TO", t->to, "bank account receiving")->required();
  transfer->add_option("--amount", t->amount, "amount above 0")->required();
  transfer->add_option("--date", t->date, "date (default today)");
  transfer->add_option("--desc", t->description, "description, at most 60 characters");
  transfer->add_option("--batch", t->batch, "batch id (default BKREG)");
  transfer->callback([&ctx, t] {
    std::string problem = CheckBank(&t->from);
    if (problem.empty()) problem = CheckBank(&t->to);
    if (problem.empty()) problem = CheckText("--desc", t->description, 60, &t->description);
    if (problem.empty()) problem = CheckText("--batch", t->batch, 10, &t->batch);
    ctx.status = problem.empty() ? TransferFunds(Common{&ctx, ctx.format}, *t, ctx.out, ctx.err)
                                 : ctx.Refuse(problem);
  });

  auto c = std::make_shared<ClearOptions>();
  CLI::App* clear = app.add_subcommand(
      "clear", "clears a posted transaction (named by RUN SEQUENCE, --check or --deposit-id) into the bank balance; "
               "--undo returns a cleared one to open");
  AddTranRef(clear, c->tran, false);
  clear->add_option("--check", c->check, "check number")->check(CLI::Range(1LL, 999999999999LL));
  clear->add_option("--deposit-id", c->deposit_id, "deposit id");
  clear->add_option("--amount", c->amount, "amount cleared, signed as the register shows it (default its own)");
  clear->add_option("--date", c->date, "date cleared (default today)");
  clear->add_flag("--undo", c->undo,
                  "returns a cleared (not reconciled) transaction to open, out of the bank balance");
  clear->callback([&ctx, c] {
    std::string problem = CheckBank(&c->tran.bank);
    if (problem.empty() && c->undo && (!c->amount.empty() || !c->date.empty())) {
      problem = "--undo takes no --amount or --date";
    }
    const int ways = (c->tran.run != 0 ? 1 : 0) + (c->check != 0 ? 1 : 0) + (c->deposit_id.empty() ? 0 : 1);
    if (problem.empty() && (ways != 1 || (c->tran.run != 0) != (c->tran.sequence != 0))) {
      problem = "name the transaction by RUN SEQUENCE, --check or --deposit-id (one of them)";
    }
    ctx.status = problem.empty() ? ClearTransaction(Common{&ctx, ctx.format}, *c, ctx.out, ctx.err)
                                 : ctx.Refuse(problem);
  });

  auto o = std::make_shared<ReconcileOptions>();
  CLI::App* reconcile = app.add_subcommand("reconcile", "reconciliation against a bank statement: start, status, finish, undo");
  reconcile->require_subcommand(1);
  CLI::App* start = reconcile->add_subcommand(
      "start", "starts reconciling a bank account against a statement; the same statement again corrects its "
               "ending balance");
  start->add_option("BANK", o->bank, "bank account id")->required();
  start->add_option("--date", o->statement_date, "the statement's date")->required();
  // --ending-balance is the name; --ending (reconcile finish's old name) is kept.
  start->add_option("--ending-balance,--ending", o->ending_balance, "the statement's ending balance")->required();
  start->callback([&ctx, o] {
    const std::string problem = CheckBank(&o->bank);
    ctx.status = problem.empty() ? ReconcileStart(Common{&ctx, ctx.format}, *o, ctx.out, ctx.err) : ctx.Refuse(problem);
  });
  CLI::App* cancel = reconcile->add_subcommand(
      "cancel", "abandons the reconciliation in progress (what was cleared stays cleared)");
  cancel->add_option("BANK", o->bank, "bank account id")->required();
  cancel->callback([&ctx, o] {
    const std::string problem = CheckBank(&o->bank);
    ctx.status = problem.empty() ? ReconcileCancel(Common{&ctx, ctx.format}, *o, ctx.out, ctx.err) : ctx.Refuse(problem);
  });
  CLI::App* status = reconcile->add_subcommand(
      "status", "the reconciliation in progress: opening, cleared, ending balance and the difference left");
  status->add_option("BANK", o->bank, "bank account id")->required();
  status->callback([&ctx, o] {
    const std::string problem = CheckBank(&o->bank);
    ctx.status = problem.empty() ? ReconcileStatus(Common{&ctx, ctx.format}, *o, ctx.out, ctx.err) : ctx.Refuse(problem);
  });

  app.add_subcommand("locks", "bank (edit-register) locks and run locks, and whether a running program holds them")
      ->callback([&ctx] { ctx.status = ListLocks(Common{&ctx, ctx.format}, ctx.out, ctx.err); });
}

}  // namespace bkreg
