// The general ledger's part in entering (ledger_entry.h).
#include "tools/bkreg/ledger_entry.h"

#include <set>

#include "accounts/bank_account.h"
#include "deposits/cash_detail.h"
#include "framework/control/interfaces.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/command_reads.h"
#include "framework/io/cursor.h"
#include "framework/io/header.h"
#include "ledger/gl_accounts.h"
#include "ledger/gl_cash_account_balance.h"
#include "programs/bk_program.h"
#include "records/files.h"
#include "records/relations.h"
#include "transactions/transaction.h"
#include "transactions/transaction_file_header.h"

namespace bkreg {

bool LedgerInterfaceOn() { return zc_interface_active("BK", "GL") != 0; }

tsAlpha CashAccountKey(const std::string& account) { return glw_unformat_account(tsAlpha(account)); }

void QueueLedgerUnitReads(bkProgram& program) {
  if (const tsioDataFile* glm = program.File(GLMFileSpec)) glwQueuePeriodCheckReads(*glm);
}

void KeepLedgerReads(tsioCommandReads& reads, bkProgram& program, const LedgerSides& e) {
  const tsioDataFile* glm = program.File(GLMFileSpec);
  if (glm == nullptr) return;
  reads.Keep(*glm, kGLMAccount);
  reads.Keep(*glm, kGLMFiscalPeriod);
  reads.KeepHeader(*glm, kGLMHeader);
  std::set<std::string> seen;
  auto ask = [&](const std::string& a) {
    if (a.empty() || !seen.insert(a).second) return;
    tsGLAccountRec rec;
    rec.account = glw_unformat_account(tsAlpha(a));
    tsioCursor cur(rec, *glm, kGLMAccount, 0);
    reads.PrefetchEQ(cur);
  };
  ask(e.cash);
  ask(e.offset);
  for (const DetailLine& l : e.lines) ask(l.account);
  glwQueuePeriodCheckReads(*glm, &reads);
}

int CheckLedgerEntry(Context& ctx, bkProgram& program, const LedgerSides& e) {
  std::vector<std::string> problems;
  if (e.cash.empty()) {
    problems.push_back("the bank's side has no general-ledger account: give --cash-account, or the bank account "
                       "one (bank add/edit --cash-account)");
  }
  const bool details = (e.type == 2 || e.type == 3) && !e.lines.empty();
  if (e.offset.empty() && !details && !e.offset_elsewhere) {
    problems.push_back(std::string("the entry has no general-ledger account to offset the bank's side: give ") +
                       (e.type == 2 || e.type == 3 ? "--account or distribution lines (--line)" : "--account"));
  }
  // Every account named, each once, in the order given.
  std::vector<std::string> accounts;
  std::set<std::string> seen;
  auto add = [&](const std::string& a) {
    if (!a.empty() && seen.insert(a).second) accounts.push_back(a);
  };
  add(e.cash);
  add(e.offset);
  for (const DetailLine& l : e.lines) add(l.account);
  const tsioDataFile* glm = program.File(GLMFileSpec);
  const unsigned short glm_file = glm != nullptr ? static_cast<unsigned short>(glm->FileNum()) : 0;
  ccErrors periods;
  for (const std::string& a : accounts) {
    if (glwValidGLAccount(tsAlpha(a), glm_file, 0, 0, false) != kBoolSuccess) {
      const bool inactive = glwValidGLAccount(tsAlpha(a), glm_file, 0, 0, true) == kBoolSuccess;
      problems.push_back("account " + a +
                         (inactive ? " is inactive in the general ledger" : " is not an account of the general ledger"));
      continue;
    }
    GLWarningType warning = kGLWarningNone;
    const glwLevelStatus period = glwCheckAccountForClosedPeriod(tsAlpha(a), e.date, static_cast<short>(glm_file),
                                                                 &warning);
    if (period.MaxLevel() >= ccError::kFatal) {
      ctx.PrintErrors(period.Errors());
      return ctx.Fail("the general ledger's periods could not be read; nothing was entered");
    }
    if (period.MaxLevel() >= ccError::kWarning || warning != kGLWarningNone) {
      bool said = false;
      for (const ccError& m : period.Errors()) {
        if (m.Text().empty()) continue;
        // One message per period problem, even when several accounts share
        // the prefix it names.
        bool repeated = false;
        for (const ccError& p : periods) repeated = repeated || p.Text() == m.Text();
        if (!repeated) periods.Add(m);
        said = true;
      }
      if (!said) problems.push_back("the date " + e.date.Format() + " is in no open period for account " + a);
    }
  }
  if (problems.empty() && periods.Empty()) return kDone;
  for (const std::string& p : problems) ctx.err << "bkreg: " << p << "\n";
  ctx.PrintErrors(periods);
  if (!periods.Empty()) {
    ctx.err << "bkreg: entries go to the general ledger only in open periods (gl period list)\n";
  }
  return ctx.Refuse("not entered: the general ledger would not take it (gl interface status)");
}

void PrefetchBankAccount(tsioCommandReads& reads, const tsioDataFile& master, const std::string& bank) {
  reads.Keep(master, BankAccountData::kRecordType);
  BankAccount peek(master, "", 0);
  peek.m_Record.SetBankAccount(tsAlpha(bank));
  reads.PrefetchEQ(*peek.CursorPtr());
}

std::string CashAccountOf(const tsioDataFile& master, const std::string& bank) {
  BankAccount peek(master, "", 0);
  peek.m_Record.SetBankAccount(tsAlpha(bank));
  return peek.FetchEQ(false) == tsioStatus::kSuccess ? peek.m_Record.GetMiscCashAccount().str() : "";
}

void QueueCashBalanceLock(const tsioDataFile& master, const std::string& bank, const std::string& cash) {
  GLCashAccountBalance balance(master);
  balance.m_Record.SetBankAccount(tsAlpha(bank));
  balance.m_Record.SetGLCashAccount(CashAccountKey(cash));
  balance.CursorPtr()->PrefetchLockedEQ();
}

tsioStatus::Status RecordCashSide(bkProgram& program, const tsioDataFile& file, const tsioDataFile& master,
                                  const TransactionData& t, const std::string& cash, tclRollbackStack& unit) {
  TransactionFileHeader& header = *program.BKTHeader();
  ccStatus<ccBoolStatus> taken(kBoolSuccess);
  const tsDouble cash_run = header.ThisCashDetailRun(taken);
  if (taken.Value() != kBoolSuccess) return tsioStatus::kLocked;
  const tsAlpha account = CashAccountKey(cash);
  CashDetail d(file);
  d.AttachRollbackStack(&unit);
  CashDetailData& r = d.m_Record;
  r.SetBankAccount(t.GetBankAccount());
  r.SetTranRun(t.GetRun());
  r.SetTranSequence(t.GetSequence());
  r.SetCashDetailRun(cash_run);
  r.SetCashDetailSequence(header.NextCashDetailSequence());
  r.SetAccountingDate(t.GetAccountingDate());
  r.SetCashAccount(account);
  r.SetAmount(t.GetAmount());
  r.SetApplOfOrigin(t.GetApplOfOrigin());
  r.SetBatch(t.GetBatch());
  r.SetBatchSource(t.GetBatchSource());
  r.SetBatchDPLoc(t.GetBatchDPLoc());
  tclTSEnum<CashDetailData::CashSourceEnum> task;
  task.SetValue(1);  // the register's
  r.SetTask(task);
  tclTSEnum<CashDetailData::CashTypeEnum> kind;
  kind.SetValue(1);  // a cash line
  r.SetType(kind);
  tsioStatus::Status st = d.Insert();
  if (st != tsioStatus::kSuccess) return st;

  GLCashAccountBalance balance(master);
  balance.AttachRollbackStack(&unit);
  balance.m_Record.SetBankAccount(t.GetBankAccount());
  balance.m_Record.SetGLCashAccount(account);
  st = balance.FetchEQ(true);
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) {
    balance.m_Record.SetBankAccount(t.GetBankAccount());
    balance.m_Record.SetGLCashAccount(account);
    balance.m_Record.SetAmount(t.GetAmount());
    return balance.Insert();
  }
  if (st != tsioStatus::kSuccess) return st;
  balance.m_Record.SetAmount(tsCurrency(balance.m_Record.GetAmount() + t.GetAmount()));
  st = balance.Update();
  (void)balance.Unlock();
  return st;
}

tsioStatus::Status RemoveCashSide(const tsioDataFile& file, const tsioDataFile& master, const TransactionData& t,
                                  tclRollbackStack& unit) {
  Transaction owner(file, "TBNKACC;TRUN;TSEQ", 0);
  owner.m_Record.SetBankAccount(t.GetBankAccount());
  owner.m_Record.SetRun(t.GetRun());
  owner.m_Record.SetSequence(t.GetSequence());
  CashDetail d(file);
  d.AttachRollbackStack(&unit);
  tsioStatus::Status st;
  while ((st = d.FetchFirstOf(*owner.CursorPtr(), TransactionCashDetailsRel, true)) == tsioStatus::kSuccess) {
    const tsAlpha account = d.m_Record.GetCashAccount();
    const tsCurrency amount = d.m_Record.GetAmount();
    if ((st = d.Delete()) != tsioStatus::kSuccess) return st;
    GLCashAccountBalance balance(master);
    balance.AttachRollbackStack(&unit);
    balance.m_Record.SetBankAccount(t.GetBankAccount());
    balance.m_Record.SetGLCashAccount(account);
    if ((st = balance.FetchEQ(true)) != tsioStatus::kSuccess) return st;
    balance.m_Record.SetAmount(tsCurrency(balance.m_Record.GetAmount() - amount));
    st = balance.Update();
    (void)balance.Unlock();
    if (st != tsioStatus::kSuccess) return st;
  }
  return st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound ? tsioStatus::kSuccess : st;
}

bool HasCashSide(const tsioDataFile& file, const TransactionData& t, tsioStatus::Status* st) {
  Transaction owner(file, "TBNKACC;TRUN;TSEQ", 0);
  owner.m_Record.SetBankAccount(t.GetBankAccount());
  owner.m_Record.SetRun(t.GetRun());
  owner.m_Record.SetSequence(t.GetSequence());
  CashDetail d(file, "CDBNKAC;CDTRUN;CDTSEQ;CDRUN;CDSEQ", 0);
  *st = d.FetchFirstOf(*owner.CursorPtr(), TransactionCashDetailsRel, false);
  const bool has = *st == tsioStatus::kSuccess;
  if (has || *st == tsioStatus::kEndOfFile || *st == tsioStatus::kNotFound) *st = tsioStatus::kSuccess;
  return has;
}

}  // namespace bkreg
