// Applying a bank statement to the register.
#include "statements/statement_import.h"

#include <memory>

#include "accounts/bank_account.h"
#include "balances/reconcile_in_progress.h"
#include "batches/bk_batch_part.h"
#include "framework/batch/batch.h"
#include "framework/io/rollback_stack.h"
#include "programs/bk_program.h"
#include "statements/statement_cursors.h"
#include "transactions/transaction.h"

namespace {

ccError Refusal(const std::string& text) { return ccError(0, ccError::kError, text); }

std::string Key(const bkMatchCandidate& c) {
  return std::string(c.instance == 2 ? "history" : "current") + " run " + std::to_string(c.run) + ", sequence " +
         std::to_string(c.sequence);
}


// Reads the line remembered under `id`: kSuccess (in `line`), kNotFound, or
// a failure.
tsioStatus::Status Remembered(const tsioDataFile& file, const tsAlpha& bank, const std::string& id,
                              StatementLineData* line) {
  StatementLine c(file);
  c.m_Record.SetBankAccount(bank);
  c.m_Record.SetLineID(tsAlpha(id));
  const tsioStatus::Status st = c.FetchEQ(false);
  if (st == tsioStatus::kSuccess) *line = c.m_Record;
  return st;
}

}  // namespace

int bkStatementImportResult::Count(bkLineOutcome outcome) const {
  int n = 0;
  for (const auto& l : lines) n += l.outcome == outcome;
  return n;
}

bkStatementImporter::bkStatementImporter(bkProgram& program, const tsioDataFile& master, const tsioDataFile& current,
                                         const tsioDataFile& history, const tsioDataFile& statements)
    : program_(program), master_(master), current_(current), history_(history), statements_(statements) {}

namespace {

// One line's unit: the transaction cleared, marked into the reconciliation
// in progress, the line remembered.
class LineUnit {
 public:
  LineUnit(const tsioDataFile& master, const tsioDataFile& statements) : bank_(master), rip_(master), line_(statements) {
    bank_.AttachRollbackStack(&unit_);
    rip_.AttachRollbackStack(&unit_);
    line_.AttachRollbackStack(&unit_);
  }
  tclRollbackStack& Unit() { return unit_; }
  BankAccount& Bank() { return bank_; }
  ReconcileInProgress& Rip() { return rip_; }
  StatementLine& Line() { return line_; }

  // Remembers `line` with `state` and the transaction's key (insert, or
  // update of a line entered earlier).
  tsioStatus::Status Remember(const tsAlpha& bank, const tsDate& statement_date, const bkStatementLine& line,
                              StatementLineData::LineStateEnum state, short instance, const tsDouble& run,
                              const tsDouble& sequence) {
    line_.m_Record.SetBankAccount(bank);
    line_.m_Record.SetLineID(tsAlpha(line.id));
    const bool known = line_.FetchEQ(true) == tsioStatus::kSuccess;
    if (!known) {
      line_.Initialize();
      line_.m_Record.SetBankAccount(bank);
      line_.m_Record.SetLineID(tsAlpha(line.id));
    }
    StatementLineData& r = line_.m_Record;
    r.SetStatementDate(statement_date);
    r.SetLineDate(line.date);
    r.SetAmount(line.amount);
    r.SetCheck(tsDouble(line.check, 0));
    r.SetReference(tsAlpha(line.reference.substr(0, 20)));
    r.SetState(state);
    r.SetTransactionInstance(instance);
    r.SetRun(run);
    r.SetSequence(sequence);
    const tsioStatus::Status st = known ? line_.Update() : line_.Insert();
    if (known) (void)line_.Unlock();
    return st;
  }

 private:
  tclRollbackStack unit_;
  BankAccount bank_;
  ReconcileInProgress rip_;
  StatementLine line_;
};

}  // namespace

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

  // Match every line first (no writes): a failure here refuses the whole
  // statement.
  bkStatementMatcher matcher({&history_, &current_}, bank, options.window_days);
  result->lines.resize(statement.lines.size());
  std::map<std::pair<short, std::pair<long long, long long>>, int> exact_claims;
  for (size_t i = 0; i < statement.lines.size(); ++i) {
    const bkStatementLine& line = statement.lines[i];
    bkLineResult& r = result->lines[i];
    r.line = &line;
    StatementLineData known;
    st = Remembered(statements_, bank, line.id, &known);
    if (st == tsioStatus::kSuccess && known.GetState() == StatementLineData::LineStateEnum::kLineCleared) {
      r.outcome = bkLineOutcome::kAlreadyApplied;
      r.note = "already cleared by an earlier import (" + std::string(known.GetTransactionInstance().Value() == 2 ? "history" : "current") +
               " run " + known.GetRun().Format() + ", sequence " + known.GetSequence().Format() + ")";
      continue;
    }
    if (st != tsioStatus::kSuccess && st != tsioStatus::kNotFound) {
      result->fetches = matcher.Fetches();
      result->lines.clear();
      return status.Add(Refusal("the statement lines cannot be read (" + ccIOStatusStr(st) + ")"));
    }
    const bool entered_before = st == tsioStatus::kSuccess;
    st = matcher.Match(line, &r.match);
    if (st != tsioStatus::kSuccess) {
      result->fetches = matcher.Fetches();
      result->lines.clear();
      return status.Add(Refusal("the register cannot be read (" + ccIOStatusStr(st) + ")"));
    }
    auto choice = options.choices.find(line.id);
    if (choice != options.choices.end()) {
      for (const auto& c : r.match.candidates) {
        if (c.run == choice->second.first && c.sequence == choice->second.second) {
          r.match.kind = bkMatchKind::kExact;
          r.match.candidates = {c};
          r.note = "chosen";
          break;
        }
      }
    }
    switch (r.match.kind) {
      case bkMatchKind::kExact: {
        const auto& c = r.match.candidates[0];
        ++exact_claims[{c.instance, {c.run, c.sequence}}];
        r.outcome = bkLineOutcome::kCleared;
        break;
      }
      case bkMatchKind::kAmbiguous:
        r.outcome = bkLineOutcome::kProposed;
        break;
      case bkMatchKind::kUnknown:
        r.outcome = entered_before ? bkLineOutcome::kAwaitingPost : bkLineOutcome::kUnknown;
        if (entered_before) r.note = "entered as an adjustment by an earlier import; post it, then import again";
        break;
    }
  }
  result->fetches = matcher.Fetches();
  // Two lines that each match only the same transaction: neither is exact.
  for (auto& r : result->lines) {
    if (r.outcome != bkLineOutcome::kCleared) continue;
    const auto& c = r.match.candidates[0];
    if (exact_claims[{c.instance, {c.run, c.sequence}}] > 1) {
      r.outcome = bkLineOutcome::kProposed;
      r.match.kind = bkMatchKind::kAmbiguous;
      r.note = "another line of this statement matches the same transaction";
    } else if (!c.posted) {
      r.outcome = bkLineOutcome::kAwaitingPost;
      r.note = "matches " + Key(c) + ", which is not posted yet; post it, then import again";
    }
  }

  // Another program editing the account would refuse every clearing: say
  // so before anything is written.
  {
    BankAccount probe(master_);
    probe.m_Record.SetBankAccount(bank);
    st = probe.FetchEQ(true);
    if (st != tsioStatus::kSuccess) {
      result->locked = st == tsioStatus::kLocked;
      result->lines.clear();
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
      result->locked = st == tsioStatus::kLocked;
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
      result->locked = st == tsioStatus::kLocked;
      return status.Add(Refusal("the reconciliation in progress cannot be written (" + ccIOStatusStr(st) + ")"));
    }
  }

  // Apply, one unit per line.
  for (auto& r : result->lines) {
    const bkStatementLine& line = *r.line;
    if (r.outcome == bkLineOutcome::kCleared) {
      const bkMatchCandidate& c = r.match.candidates[0];
      LineUnit u(master_, statements_);
      Transaction t(c.instance == 2 ? history_ : current_);
      t.AttachRollbackStack(&u.Unit());
      t.m_Record.SetBankAccount(bank);
      t.m_Record.SetRun(tsDouble(c.run, 0));
      t.m_Record.SetSequence(tsDouble(c.sequence, 0));
      std::string failed;
      tsioStatus::Status io = t.FetchEQ(false);
      if (io == tsioStatus::kSuccess) {
        u.Bank().m_Record.SetBankAccount(bank);
        io = u.Bank().FetchEQ(false);
      }
      if (io != tsioStatus::kSuccess) failed = "cannot be read (" + ccIOStatusStr(io) + ")";
      if (failed.empty()) {
        const tsCurrency net = t.m_Record.GetAmount();
        ccStatus<ccError::Level> cleared =
            t.clearTransaction(line.amount, line.date, &u.Bank(), t.m_Record.GetRun(), nullptr);
        if (cleared.HasError()) {
          for (const auto& e : cleared.Errors()) failed += (failed.empty() ? "" : "; ") + e.DisplayText();
          if (failed.find("(9)") != std::string::npos || failed.find("locked") != std::string::npos) {
            result->locked = true;
          }
        } else {
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
            u.Rip().m_Record.SetBankAccount(bank);
            io = u.Rip().FetchEQ(true);
          }
          if (io == tsioStatus::kSuccess) {
            u.Rip().AdjustRIPTotals(t.m_Record.GetType(), net, tsDouble(0, 2), tsChoice(3), old_mark,
                                    !(net < tsCurrency()));
            io = u.Rip().Update();
            (void)u.Rip().Unlock();
          }
          if (io == tsioStatus::kSuccess) {
            io = u.Remember(bank, statement.end, line, StatementLineData::LineStateEnum::kLineCleared, c.instance,
                            t.m_Record.GetRun(), t.m_Record.GetSequence());
          }
          if (io == tsioStatus::kSuccess) io = u.Unit().Commit();
          if (io != tsioStatus::kSuccess) {
            failed = "cannot be written (" + ccIOStatusStr(io) + ")";
            result->locked = result->locked || io == tsioStatus::kLocked;
          }
        }
      }
      if (!failed.empty()) {
        (void)u.Unit().Rollback();
        r.outcome = bkLineOutcome::kFailed;
        r.note = "clearing " + Key(c) + " failed: " + failed;
        (void)status.Add(Refusal("statement line " + line.id + ": " + r.note));
      }
      continue;
    }
    if (r.outcome == bkLineOutcome::kUnknown && options.enter_unknown) {
      // An adjustment of the line's amount, created through the library in
      // the program's batch BKSTMT and counted into the account's balance.
      LineUnit u(master_, statements_);
      Transaction t(current_);
      t.AttachRollbackStack(&u.Unit());
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
      std::string desc = line.memo.empty() ? "Bank statement " + line.id : line.memo;
      t.m_Record.SetDescription(tsAlpha(desc.substr(0, 60)));
      if (line.amount < tsCurrency()) {
        t.m_Record.SetSubtraction(tsCurrency(-line.amount));
      } else {
        t.m_Record.SetAddition(line.amount);
      }
      std::string failed;
      u.Bank().m_Record.SetBankAccount(bank);
      tsioStatus::Status io = u.Bank().FetchEQ(true);
      if (io != tsioStatus::kSuccess) {
        failed = "the bank account cannot be locked (" + ccIOStatusStr(io) + ")";
        result->locked = io == tsioStatus::kLocked;
      } else {
        const ccStatus<ccError::Level> created = t.Create(program_, nullptr, true);
        if (created.HasError()) {
          for (const auto& e : created.Errors()) failed += (failed.empty() ? "" : "; ") + e.DisplayText();
        } else {
          const tsCurrency net = t.m_Record.GetAmount();
          (void)u.Bank().ChangeOpenTotals(net, kTranAdjustment, 1, 0);
          (void)u.Bank().ChangeUnreconciledTotals(net, kTranAdjustment, 1, 3);
          u.Bank().UpdateRegisterBalance(net, t.m_Record.GetRun());
          io = u.Bank().SetBuffer();
          if (io == tsioStatus::kSuccess) io = u.Bank().Update();
          if (io == tsioStatus::kSuccess) {
            io = u.Remember(bank, statement.end, line, StatementLineData::LineStateEnum::kLineEntered, 1,
                            t.m_Record.GetRun(), t.m_Record.GetSequence());
          }
          if (io == tsioStatus::kSuccess) io = u.Unit().Commit();
          if (io != tsioStatus::kSuccess) failed = "cannot be written (" + ccIOStatusStr(io) + ")";
        }
        (void)u.Bank().Unlock();
      }
      if (!failed.empty()) {
        (void)u.Unit().Rollback();
        r.outcome = bkLineOutcome::kFailed;
        r.note = "entering the adjustment failed: " + failed;
        (void)status.Add(Refusal("statement line " + line.id + ": " + r.note));
      } else {
        r.outcome = bkLineOutcome::kEntered;
        r.note = "current run " + t.m_Record.GetRun().Format() + ", sequence " + t.m_Record.GetSequence().Format();
      }
    }
  }
  return status;
}
