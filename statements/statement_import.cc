// Applying a bank statement to the register.
#include "statements/statement_import.h"

#include <algorithm>
#include <memory>
#include <set>
#include <tuple>
#include <utility>

#include "accounts/bank_account.h"
#include "balances/reconcile_in_progress.h"
#include "batches/bk_batch_part.h"
#include "framework/batch/batch.h"
#include "framework/io/rollback_stack.h"
#include "framework/types/input_rules.h"
#include "programs/bk_program.h"
#include "statements/statement_cursors.h"
#include "transactions/transaction.h"

namespace {

ccError Refusal(const std::string& text) { return ccError(0, ccError::kError, text); }

std::string Key(short instance, long long run, long long sequence) {
  return std::string(instance == 2 ? "history" : "current") + " run " + std::to_string(run) + ", sequence " +
         std::to_string(sequence);
}

bool IsLockFailure(tsioStatus::Status st) { return st == tsioStatus::kLocked || st == tsioStatus::kBusy; }

// Reads the line remembered under `id`: kSuccess (in `line`), kNotFound, or
// a failure.
tsioStatus::Status Remembered(StatementLine& c, const tsAlpha& bank, const std::string& id, StatementLineData* line) {
  c.Initialize();
  c.m_Record.SetBankAccount(bank);
  c.m_Record.SetLineID(tsAlpha(id));
  const tsioStatus::Status st = c.FetchEQ(false);
  if (st == tsioStatus::kSuccess) *line = c.m_Record;
  return st;
}

// Whether the transaction of `key` is in `file`: kSuccess, kNotFound or a
// failure.
tsioStatus::Status Exists(const tsioDataFile& file, const tsAlpha& bank, long long run, long long sequence) {
  Transaction t(file, "TBNKACC;TRUN;TSEQ", 0);
  t.m_Record.SetBankAccount(bank);
  t.m_Record.SetRun(tsDouble(run, 0));
  t.m_Record.SetSequence(tsDouble(sequence, 0));
  const tsioStatus::Status st = t.FetchEQ(false);
  return st == tsioStatus::kEndOfFile ? tsioStatus::kNotFound : st;
}

// What pass one decided for a line; a few bytes a line, whatever the
// statement's size.
enum class Why : uint8_t {
  kNone,
  kChosen,           // the user's choice made it exact
  kSameTransaction,  // another line matches the same transaction
  kNotPosted,        // its transaction is not posted yet
  kEnteredWaiting,   // entered by an earlier import, not posted yet
  kEnteredRemoved,   // entered by an earlier import, the adjustment removed since
  kEnteredBefore,    // (while matching) remembered as entered, under the plan's key
};

// 12 bytes a line: runs and sequences have at most 9 digits.
struct Plan {
  bkLineOutcome outcome : 8 = bkLineOutcome::kUnknown;
  void SetKey(long long i, long long r, long long q) {
    instance = static_cast<int8_t>(i);
    run = static_cast<int32_t>(r);
    sequence = static_cast<int32_t>(q);
  }
  Why why = Why::kNone;
  uint8_t by = 0;  // kBy
  int8_t instance = 0;
  int32_t run = 0, sequence = 0;
};
static_assert(sizeof(Plan) == 12);

constexpr const char* kBy[] = {"", "check", "reference", "amount"};

uint8_t ByCode(const char* by) {
  for (uint8_t i = 1; i < 4; ++i) {
    if (std::string_view(by) == kBy[i]) return i;
  }
  return 0;
}

// Remembers `line` with `state` and the transaction's key (insert, or
// update of a line entered earlier) through `c`.
tsioStatus::Status Remember(StatementLine& c, const tsAlpha& bank, const tsDate& statement_date,
                            const bkStatementLine& line, StatementLineData::LineStateEnum state, short instance,
                            const tsDouble& run, const tsDouble& sequence) {
  c.Initialize();
  c.m_Record.SetBankAccount(bank);
  c.m_Record.SetLineID(tsAlpha(line.id));
  const bool known = c.FetchEQ(true) == tsioStatus::kSuccess;
  if (!known) {
    c.Initialize();
    c.m_Record.SetBankAccount(bank);
    c.m_Record.SetLineID(tsAlpha(line.id));
  }
  StatementLineData& r = c.m_Record;
  r.SetStatementDate(statement_date);
  r.SetLineDate(line.date);
  r.SetAmount(line.amount);
  r.SetCheck(tsDouble(line.check, 0));
  r.SetReference(tsAlpha(std::string(tsCutUtf8(line.reference, 20))));
  r.SetState(state);
  r.SetTransactionInstance(instance);
  r.SetRun(run);
  r.SetSequence(sequence);
  const tsioStatus::Status st = known ? c.Update() : c.Insert();
  if (known) (void)c.Unlock();
  return st;
}

}  // namespace

std::string bkNormalAccountNumber(const std::string& number) {
  std::string n;
  for (unsigned char c : number) {
    if (c == ' ' || c == '-' || c == '\t') continue;
    n += static_cast<char>(std::toupper(c));
  }
  return n;
}

bkStatementImporter::bkStatementImporter(bkProgram& program, const tsioDataFile& master, const tsioDataFile& current,
                                         const tsioDataFile& history, const tsioDataFile& statements)
    : program_(program), master_(master), current_(current), history_(history), statements_(statements) {}

ccStatus<ccError::Level> bkStatementImporter::Import(const tsAlpha& bank, const bkStatement& statement,
                                                     const bkStatementImportOptions& options,
                                                     bkStatementImportResult* result) {
  *result = bkStatementImportResult();
  ccStatus<ccError::Level> status(ccError::kNone);
  auto refuse = [&](const std::string& text) {
    result->refused = true;
    return status.Add(Refusal(text));
  };
  BankAccount account(master_);
  account.m_Record.SetBankAccount(bank);
  tsioStatus::Status st = account.FetchEQ(false);
  if (st != tsioStatus::kSuccess) {
    if (st == tsioStatus::kNotFound) return refuse("no bank account '" + bank.str() + "'");
    return status.Add(Refusal("bank account '" + bank.str() + "' cannot be read (" + ccIOStatusStr(st) + ")"));
  }
  if (!statement.has_ending_balance || statement.end.IsEmpty()) {
    return refuse("the statement has no date or no ending balance");
  }
  // The statement's account is this one.
  if (!statement.account.empty()) {
    const std::string ours = bkNormalAccountNumber(account.m_Record.GetAccountNumber().str());
    if (ours.empty()) {
      result->no_account_number = true;
      return refuse("the statement is of account '" + statement.account + "', and bank account '" + bank.str() +
                    "' has no account number recorded to check it against");
    }
    if (ours != bkNormalAccountNumber(statement.account)) {
      return refuse("the statement is of account '" + statement.account + "', not of bank account '" + bank.str() +
                    "' (account number '" + account.m_Record.GetAccountNumber().str() + "')");
    }
  }
  const tsDate last = account.m_Record.GetLastReconciledDate();
  if (!last.IsEmpty() && !(statement.end > last)) {
    return refuse("the statement of " + statement.end.Format() + " is not after the last reconciliation (" +
                  last.Format() + ")");
  }

  // The reconciliation in progress: this statement's, or none yet.
  ReconcileInProgress rip(master_);
  rip.m_Record.SetBankAccount(bank);
  st = rip.FetchEQ(false);
  const bool in_progress = st == tsioStatus::kSuccess;
  if (!in_progress && st != tsioStatus::kNotFound) {
    return status.Add(Refusal("the reconciliation in progress cannot be read (" + ccIOStatusStr(st) + ")"));
  }
  if (in_progress && !(rip.m_Record.GetStatementDate() == statement.end)) {
    return refuse("the reconciliation of the statement of " + rip.m_Record.GetStatementDate().Format() +
                  " is in progress; finish it first");
  }

  // Pass one: every line matched, nothing written; a failure here refuses
  // the whole statement. What a proposal or an already cleared line shows
  // is kept for those lines only.
  const size_t n = statement.lines.size();
  bkStatementMatcher matcher({&history_, &current_}, bank, options.window_days);
  StatementLine remembered(statements_);
  std::vector<Plan> plans(n);
  std::map<size_t, std::vector<bkMatchCandidate>> shown;
  auto cannot_read = [&](const std::string& what, tsioStatus::Status failed) {
    result->fetches = matcher.Fetches();
    return status.Add(Refusal(what + " cannot be read (" + ccIOStatusStr(failed) + ")"));
  };
  // The lines remembered from earlier imports first: a transaction a line
  // of this statement cleared before is that line's, whichever comes first.
  std::vector<std::pair<int32_t, int32_t>> applied;  // (run, sequence), sorted
  for (size_t i = 0; i < n; ++i) {
    Plan& p = plans[i];
    StatementLineData known;
    st = Remembered(remembered, bank, statement.lines[i].id, &known);
    if (st == tsioStatus::kNotFound) continue;
    if (st != tsioStatus::kSuccess) return cannot_read("the statement lines", st);
    p.SetKey(known.GetTransactionInstance().Value(), known.GetRun().ToLongLong(), known.GetSequence().ToLongLong());
    if (known.GetState() == StatementLineData::LineStateEnum::kLineCleared) {
      p.outcome = bkLineOutcome::kAlreadyApplied;
      applied.emplace_back(p.run, p.sequence);
    } else {
      p.why = Why::kEnteredBefore;
    }
  }
  std::sort(applied.begin(), applied.end());
  // Settled transactions this import gave a line (posting keeps a key, so
  // run and sequence name it in either file).
  std::set<std::pair<int32_t, int32_t>> settled_claims;
  auto claimed = [&](const bkMatchCandidate& c) {
    const std::pair<int32_t, int32_t> key(static_cast<int32_t>(c.run), static_cast<int32_t>(c.sequence));
    return std::binary_search(applied.begin(), applied.end(), key) || settled_claims.count(key) != 0;
  };
  for (size_t i = 0; i < n; ++i) {
    Plan& p = plans[i];
    if (p.outcome == bkLineOutcome::kAlreadyApplied) continue;
    const bkStatementLine line = statement.lines[i];
    const bool entered_before = p.why == Why::kEnteredBefore;
    const Plan before = p;
    p.why = Why::kNone;
    bkLineMatch match;
    st = matcher.Match(line, &match);
    if (st != tsioStatus::kSuccess) return cannot_read("the register", st);
    p.by = ByCode(match.by);
    auto choice = options.choices.find(line.id);
    if (choice != options.choices.end()) {
      for (const auto& c : match.candidates) {
        if (c.run == choice->second.first && c.sequence == choice->second.second) {
          match.kind = bkMatchKind::kExact;
          match.candidates = {c};
          p.why = Why::kChosen;
          break;
        }
      }
    }
    if (match.kind == bkMatchKind::kExact) {
      const bkMatchCandidate& c = match.candidates[0];
      p.outcome = c.posted ? bkLineOutcome::kCleared : bkLineOutcome::kAwaitingPost;
      if (!c.posted) p.why = Why::kNotPosted;
      p.SetKey(c.instance, c.run, c.sequence);
      continue;
    }
    if (match.kind == bkMatchKind::kAmbiguous) {
      p.outcome = bkLineOutcome::kProposed;
      shown[i] = std::move(match.candidates);
      continue;
    }
    // Unknown to the open register: one the register holds settled is this
    // line's, unless another line of this statement has it (cleared by an
    // earlier import of that line, or taken just now). A line that matches
    // a settled transaction is never entered: a statement exported again
    // under other ids must not enter what an earlier import cleared.
    for (const auto& c : match.settled) {
      if (claimed(c)) continue;
      settled_claims.emplace(static_cast<int32_t>(c.run), static_cast<int32_t>(c.sequence));
      p.outcome = bkLineOutcome::kAlreadyCleared;
      p.SetKey(c.instance, c.run, c.sequence);
      shown[i] = {c};
      break;
    }
    if (p.outcome == bkLineOutcome::kAlreadyCleared || !entered_before) continue;
    // Entered by an earlier import: waiting for posting, or removed since.
    p.SetKey(before.instance, before.run, before.sequence);
    tsioStatus::Status where = Exists(current_, bank, p.run, p.sequence);
    if (where == tsioStatus::kNotFound) where = Exists(history_, bank, p.run, p.sequence);
    if (where != tsioStatus::kSuccess && where != tsioStatus::kNotFound) return cannot_read("the register", where);
    if (where == tsioStatus::kSuccess) {
      p.outcome = bkLineOutcome::kAwaitingPost;
      p.why = Why::kEnteredWaiting;
    } else {
      p.why = Why::kEnteredRemoved;
    }
  }
  result->fetches = matcher.Fetches();
  // Two lines that each match only the same transaction: neither is exact.
  {
    std::vector<uint32_t> exact;
    for (uint32_t i = 0; i < n; ++i) {
      if (plans[i].outcome == bkLineOutcome::kCleared || plans[i].why == Why::kNotPosted) exact.push_back(i);
    }
    auto key = [&](uint32_t i) { return std::make_tuple(plans[i].instance, plans[i].run, plans[i].sequence); };
    std::sort(exact.begin(), exact.end(), [&](uint32_t a, uint32_t b) { return key(a) < key(b) || (key(a) == key(b) && a < b); });
    for (size_t k = 0; k < exact.size();) {
      size_t e = k + 1;
      while (e < exact.size() && key(exact[e]) == key(exact[k])) ++e;
      if (e - k > 1) {
        for (size_t j = k; j < e; ++j) {
          Plan& p = plans[exact[j]];
          p.outcome = bkLineOutcome::kProposed;
          p.why = Why::kSameTransaction;
          bkLineMatch again;
          // What is shown: the transaction, read again (rare).
          st = matcher.Match(statement.lines[exact[j]], &again);
          if (st != tsioStatus::kSuccess) return cannot_read("the register", st);
          shown[exact[j]] = std::move(again.candidates);
        }
      }
      k = e;
    }
  }

  // Another program editing the account would refuse every clearing: say
  // so before anything is written.
  {
    BankAccount probe(master_);
    probe.m_Record.SetBankAccount(bank);
    st = probe.FetchEQ(true);
    if (st != tsioStatus::kSuccess) {
      result->locked = IsLockFailure(st);
      return status.Add(Refusal("bank account '" + bank.str() + "' cannot be locked (" + ccIOStatusStr(st) + ")"));
    }
    (void)probe.Unlock();
  }

  // The reconciliation in progress of this statement.
  if (!in_progress) {
    tclRollbackStack unit;
    ReconcileInProgress make(master_);
    make.AttachRollbackStack(&unit);
    make.Initialize();
    make.m_Record.SetBankAccount(bank);
    make.m_Record.SetOpeningBalance(account.m_Record.GetLastReconciledBalance());
    make.m_Record.SetEndingBalance(statement.ending_balance);
    make.m_Record.SetStatementDate(statement.end);
    st = make.Insert();
    if (st == tsioStatus::kSuccess) st = unit.Commit();
    if (st != tsioStatus::kSuccess) {
      (void)unit.Rollback();
      result->locked = IsLockFailure(st);
      return status.Add(Refusal("the reconciliation in progress cannot be written (" + ccIOStatusStr(st) + ")"));
    }
  } else if (!(rip.m_Record.GetEndingBalance() == statement.ending_balance)) {
    // The bank's corrected statement of the same date: its ending balance.
    tclRollbackStack unit;
    rip.AttachRollbackStack(&unit);
    st = rip.FetchEQ(true);
    if (st == tsioStatus::kSuccess) {
      rip.m_Record.SetEndingBalance(statement.ending_balance);
      st = rip.Update();
      (void)rip.Unlock();
    }
    if (st == tsioStatus::kSuccess) st = unit.Commit();
    if (st != tsioStatus::kSuccess) {
      (void)unit.Rollback();
      result->locked = IsLockFailure(st);
      return status.Add(Refusal("the reconciliation in progress cannot be written (" + ccIOStatusStr(st) + ")"));
    }
  }

  // Pass two: the lines applied in units of `unit_lines` lines, each line
  // reported once its unit has ended. A line that fails rolls its unit back;
  // the unit's lines before it are applied again, each in a unit of its
  // own, and the failed line is reported with its reason. On a server a
  // line's writes are not waited for one by one: their answers are waited
  // for once at the line's end, so a failed write fails its own line.
  const size_t per_unit = static_cast<size_t>(std::max(1, options.unit_lines));
  tsioAllOrNothing all_or_nothing(master_.Company());
  struct Pending {
    bkLineResult result;
    size_t index = 0;
    bool writes = false;
  };
  std::vector<Pending> pending;  // lines since the unit began, at most `per_unit`
  tclRollbackStack unit;
  auto report = [&](bkLineResult& r) {
    ++result->counts[static_cast<int>(r.outcome)];
    if (options.on_line) options.on_line(r);
  };
  auto fail = [&](bkLineResult& r, const std::string& note, tsioStatus::Status io = tsioStatus::kSuccess) {
    r.outcome = bkLineOutcome::kFailed;
    r.note = note;
    r.candidates.clear();
    result->locked = result->locked || IsLockFailure(io);
    (void)status.Add(Refusal("statement line " + r.line.id + ": " + r.note));
  };
  // Applies line `i` (planned `p`) inside `u`; false, with `r` failed, when
  // it could not be (what it wrote is then to be rolled back with `u`).
  auto apply_line = [&](size_t i, bkLineResult& r, tclRollbackStack& u) -> bool {
    const Plan& p = plans[i];
    const bkStatementLine& line = r.line;
    tsioStatus::Status io = u.EnsureBegun(master_.Company());
    if (io != tsioStatus::kSuccess) {
      fail(r, "no unit of work could be begun (" + ccIOStatusStr(io) + ")", io);
      return false;
    }
    if (p.outcome == bkLineOutcome::kAlreadyCleared) {
      // Remembered as this line's, so no other line takes it and the same
      // statement again answers "already applied".
      StatementLine remember(statements_);
      remember.AttachRollbackStack(&u);
      io = Remember(remember, bank, statement.end, line, StatementLineData::LineStateEnum::kLineCleared, p.instance,
                    tsDouble(p.run, 0), tsDouble(p.sequence, 0));
      if (io != tsioStatus::kSuccess) {
        fail(r, "remembering it failed (" + ccIOStatusStr(io) + ")", io);
        return false;
      }
      const bool reconciled = !r.candidates.empty() && r.candidates[0].state == TransactionData::kStateReconciled;
      r.outcome = p.outcome;
      r.note = std::string("the register holds it ") + (reconciled ? "reconciled" : "cleared") + " already (" +
               Key(p.instance, p.run, p.sequence) + "); not entered";
      return true;
    }
    if (p.outcome == bkLineOutcome::kCleared) {
      Transaction t(p.instance == 2 ? history_ : current_);
      BankAccount account(master_);
      ReconcileInProgress marks(master_);
      StatementLine remember(statements_);
      t.AttachRollbackStack(&u);
      account.AttachRollbackStack(&u);
      marks.AttachRollbackStack(&u);
      remember.AttachRollbackStack(&u);
      t.m_Record.SetBankAccount(bank);
      t.m_Record.SetRun(tsDouble(p.run, 0));
      t.m_Record.SetSequence(tsDouble(p.sequence, 0));
      const std::string what = "clearing " + Key(p.instance, p.run, p.sequence) + " failed: ";
      io = t.FetchEQ(false);
      if (io == tsioStatus::kSuccess) {
        account.m_Record.SetBankAccount(bank);
        io = account.FetchEQ(false);
      }
      if (io != tsioStatus::kSuccess) {
        fail(r, what + "cannot be read (" + ccIOStatusStr(io) + ")", io);
        return false;
      }
      const tsCurrency net = t.m_Record.GetAmount();
      const ccStatus<ccError::Level> cleared =
          t.clearTransaction(line.amount, line.date, &account, t.m_Record.GetRun(), nullptr);
      if (cleared.HasError()) {
        std::string words;
        for (const auto& e : cleared.Errors()) words += (words.empty() ? "" : "; ") + e.DisplayText();
        fail(r, what + words);
        if (words.find("(9)") != std::string::npos || words.find("locked") != std::string::npos) {
          result->locked = true;
        }
        return false;
      }
      // Marked into the reconciliation in progress.
      io = t.FetchEQ(true);
      tsChoice old_mark;
      if (io == tsioStatus::kSuccess) {
        old_mark = t.m_Record.GetReconcileInProgress();
        t.m_Record.SetReconcileInProgress(tsChoice(3));
        io = t.Update();
        (void)t.Unlock();
      }
      if (io == tsioStatus::kSuccess) {
        marks.m_Record.SetBankAccount(bank);
        io = marks.FetchEQ(true);
      }
      if (io == tsioStatus::kSuccess) {
        marks.AdjustRIPTotals(t.m_Record.GetType(), net, tsDouble(0, 2), tsChoice(3), old_mark, !(net < tsCurrency()));
        io = marks.Update();
        (void)marks.Unlock();
      }
      if (io == tsioStatus::kSuccess) {
        io = Remember(remember, bank, statement.end, line, StatementLineData::LineStateEnum::kLineCleared, p.instance,
                      t.m_Record.GetRun(), t.m_Record.GetSequence());
      }
      if (io != tsioStatus::kSuccess) {
        fail(r, what + "cannot be written (" + ccIOStatusStr(io) + ")", io);
        return false;
      }
      r.outcome = p.outcome;
      r.note.clear();
      r.candidates = {bkMatchCandidateOf(t.m_Record, p.instance)};
      return true;
    }
    // An adjustment of the line's amount, created through the library in
    // the program's batch BKSTMT and counted into the account's balance.
    Transaction t(current_);
    BankAccount account(master_);
    StatementLine remember(statements_);
    t.AttachRollbackStack(&u);
    account.AttachRollbackStack(&u);
    remember.AttachRollbackStack(&u);
    zzBatch batch;
    batch.SetHostAppl("BK");
    batch.SetBatchID(tsAlpha("BKSTMT"));
    batch.SetSource(2);
    batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(current_.FileNum());
    program_.SetBatch(batch);
    t.m_Record.InitializeNewRecord(program_, program_.GetBatch());
    t.m_Record.SetType(tclTSEnum<TransactionData::TranTypeEnum>(TransactionData::TranTypeEnum::kAdjustment));
    t.m_Record.SetBankAccount(bank);
    t.m_Record.SetTransactionDate(line.date);
    t.m_Record.SetAccountingDate(line.date);
    const std::string desc = line.memo.empty() ? "Bank statement " + line.id : line.memo;
    t.m_Record.SetDescription(tsAlpha(std::string(tsCutUtf8(desc, 60))));
    if (line.amount < tsCurrency()) {
      t.m_Record.SetSubtraction(tsCurrency(-line.amount));
    } else {
      t.m_Record.SetAddition(line.amount);
    }
    if (!options.ledger_cash.empty()) {
      const bool in = !(line.amount < tsCurrency());
      const tsAlpha cash(options.ledger_cash), offset(options.ledger_offset);
      t.m_Record.SetDebitAccount(in ? cash : offset);
      t.m_Record.SetCreditAccount(in ? offset : cash);
    }
    const std::string what = "entering the adjustment failed: ";
    account.m_Record.SetBankAccount(bank);
    io = account.FetchEQ(true);
    if (io != tsioStatus::kSuccess) {
      fail(r, what + "the bank account cannot be locked (" + ccIOStatusStr(io) + ")", io);
      return false;
    }
    const ccStatus<ccError::Level> created = t.Create(program_, nullptr, true);
    if (created.HasError()) {
      std::string words;
      for (const auto& e : created.Errors()) words += (words.empty() ? "" : "; ") + e.DisplayText();
      (void)account.Unlock();
      fail(r, what + words);
      return false;
    }
    if (options.on_entered) {
      const std::string refused = options.on_entered(t.m_Record, u);
      if (!refused.empty()) {
        (void)account.Unlock();
        fail(r, what + refused);
        return false;
      }
    }
    const tsCurrency net = t.m_Record.GetAmount();
    (void)account.ChangeOpenTotals(net, kTranAdjustment, 1, 0);
    (void)account.ChangeUnreconciledTotals(net, kTranAdjustment, 1, 3);
    account.UpdateRegisterBalance(net, t.m_Record.GetRun());
    io = account.SetBuffer();
    if (io == tsioStatus::kSuccess) io = account.Update();
    if (io == tsioStatus::kSuccess) {
      io = Remember(remember, bank, statement.end, line, StatementLineData::LineStateEnum::kLineEntered, 1,
                    t.m_Record.GetRun(), t.m_Record.GetSequence());
    }
    (void)account.Unlock();
    if (io != tsioStatus::kSuccess) {
      fail(r, what + "cannot be written (" + ccIOStatusStr(io) + ")", io);
      return false;
    }
    r.outcome = bkLineOutcome::kEntered;
    r.note = "current run " + t.m_Record.GetRun().Format() + ", sequence " + t.m_Record.GetSequence().Format() +
             (p.why == Why::kEnteredRemoved ? " (entered again: the earlier adjustment was removed)" : "");
    return true;
  };
  auto apply = [&](size_t i, bkLineResult& r, tclRollbackStack& u) -> bool {
    if (!apply_line(i, r, u)) return false;
    const tsioStatus::Status io = master_.Company().Db().AnswersNow();
    if (io == tsioStatus::kSuccess) return true;
    fail(r, "its changes cannot be written (" + ccIOStatusStr(io) + ")", io);
    return false;
  };
  // Ends the unit: committed, or (when the commit fails) its lines failed.
  auto end_unit = [&] {
    const tsioStatus::Status done = unit.Commit();
    if (done != tsioStatus::kSuccess) {
      (void)unit.Rollback();
      program_.GetBatch().Rollback();
      for (auto& q : pending) {
        if (q.writes && q.result.outcome != bkLineOutcome::kFailed) {
          fail(q.result, "not applied: its unit of work could not be committed (" + ccIOStatusStr(done) + ")", done);
        }
      }
    }
    for (auto& q : pending) report(q.result);
    pending.clear();
  };
  for (size_t i = 0; i < n; ++i) {
    const Plan& p = plans[i];
    pending.emplace_back();
    Pending& q = pending.back();
    q.index = i;
    bkLineResult& r = q.result;
    r.line = statement.lines[i];
    r.outcome = p.outcome;
    r.by = kBy[p.by];
    if (auto shown_line = shown.find(i); shown_line != shown.end()) r.candidates = std::move(shown_line->second);
    switch (p.why) {
      case Why::kChosen: r.note = "chosen"; break;
      case Why::kSameTransaction: r.note = "another line of this statement matches the same transaction"; break;
      case Why::kNotPosted:
        r.note = "matches " + Key(p.instance, p.run, p.sequence) + ", which is not posted yet; post it, then import again";
        break;
      case Why::kEnteredWaiting:
        r.note = "entered as an adjustment by an earlier import (" + Key(p.instance, p.run, p.sequence) +
                 "); post it, then import again";
        break;
      case Why::kEnteredRemoved:
        r.note = "its adjustment entered by an earlier import (" + Key(p.instance, p.run, p.sequence) +
                 ") was removed; it may be entered again";
        break;
      case Why::kEnteredBefore:
      case Why::kNone: break;
    }
    if (p.outcome == bkLineOutcome::kAlreadyApplied) {
      r.note = "already applied by an earlier import (" + Key(p.instance, p.run, p.sequence) + ")";
    }
    q.writes = p.outcome == bkLineOutcome::kCleared || p.outcome == bkLineOutcome::kAlreadyCleared ||
               (p.outcome == bkLineOutcome::kUnknown && options.enter_unknown);
    if (!q.writes) {
      // Nothing written: it stands now, unless lines before it wait for
      // their unit.
      if (!unit.Active()) {
        report(r);
        pending.pop_back();
      } else if (pending.size() >= per_unit) {
        end_unit();
      }
      continue;
    }
    if (!apply(i, r, unit)) {
      // The unit is rolled back; the lines before this one, which went
      // well, are applied again one unit each.
      (void)unit.Rollback();
      program_.GetBatch().Rollback();
      for (auto& earlier : pending) {
        if (!earlier.writes || &earlier == &q) continue;
        tclRollbackStack single;
        if (!apply(earlier.index, earlier.result, single)) {
          (void)single.Rollback();
          program_.GetBatch().Rollback();
          continue;
        }
        const tsioStatus::Status done = single.Commit();
        if (done != tsioStatus::kSuccess) {
          (void)single.Rollback();
          program_.GetBatch().Rollback();
          fail(earlier.result, "not applied: its unit of work could not be committed (" + ccIOStatusStr(done) + ")",
               done);
        }
      }
      for (auto& each : pending) report(each.result);
      pending.clear();
      continue;
    }
    if (pending.size() >= per_unit) end_unit();
  }
  end_unit();
  return status;
}
