// Verifying a company's integrity and stored totals (see bk_verify.h).
#include "verify/bk_verify.h"

#include <map>
#include <tuple>

#include "accounts/bank_account.h"
#include "batches/batch.h"
#include "deposits/cash_detail.h"
#include "framework/dictionary/gl_files.h"
#include "ledger/gl_cash_account_balance.h"
#include "statements/statement_cursors.h"
#include "framework/io/backend.h"
#include "framework/io/company.h"
#include "transactions/transaction.h"

namespace {

// The sums of one family of totals (open or unreconciled).
struct Family {
  tsCurrency checks, deposits, withdrawals, plus, minus;
  tsCurrency Net() const { return (deposits + plus) - (checks + withdrawals + minus); }
  void Add(int type, const tsCurrency& net) {
    const tsCurrency zero;
    switch (type) {
      case 1: checks -= net; break;
      case 2: deposits += net; break;
      case 3: withdrawals -= net; break;
      case 4:
        if (net < zero) {
          minus -= net;
        } else {
          plus += net;
        }
        break;
      default: break;
    }
  }
};

// A statement's reconciled transactions: how many and their net total.
struct OnStatement {
  long count = 0;
  tsCurrency net;
};

struct BankSums {
  Family open, unreconciled;
  tsCurrency net, cleared;
  std::map<std::string, OnStatement> statements;  // by statement date (yyyymmdd text)
  long reconciled_off_statement = 0;              // reconciled, no statement date
};

struct BatchSums {
  long count = 0;
  tsCurrency amount;
};

using BatchKey = std::tuple<std::string, std::string, int, std::string>;  // appl, batch, source, location

constexpr const char kColumns[] =
    "TBNKACC;TRANTYP;TSUBTR;TADD;TRECOND;TRECAMT;TSTMTDT;TAPPL;TBATCH;TSOURCE;TDPLOC";

tsioStatus::Status Sum(const tsioDataFile& file, std::map<std::string, BankSums>* banks,
                       std::map<BatchKey, BatchSums>* batches, long* read,
                       const std::function<void(long)>& progress) {
  Transaction t(file, kColumns, 0);
  tsioStatus::Status st = t.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = t.FetchNext(false)) {
    const TransactionData& r = t.m_Record;
    const tsCurrency net = r.GetAmount();
    const int type = r.GetType().Value();
    const int state = r.GetReconciled().Value();
    BankSums& b = (*banks)[r.GetBankAccount().str()];
    b.net += net;
    if (state == 2 || state == 3) b.cleared += r.GetClearedAmount();
    if (state == 1) b.open.Add(type, net);
    if (state != 3) b.unreconciled.Add(type, net);
    if (state == 3) {
      if (r.GetStatementDate().IsEmpty()) {
        ++b.reconciled_off_statement;
      } else {
        OnStatement& on = b.statements[r.GetStatementDate().Format()];
        ++on.count;
        on.net += net;
      }
    }
    BatchSums& batch = (*batches)[{r.GetApplOfOrigin().str(), r.GetBatch().str(), r.GetBatchSource().Value(),
                                   r.GetBatchDPLoc().str()}];
    ++batch.count;
    batch.amount += net;
    if (++*read % 10000 == 0 && progress) progress(*read);
  }
  return st == tsioStatus::kEndOfFile ? tsioStatus::kSuccess : st;
}

void Compare(bkVerifyResult* out, const std::string& subject, const std::string& field, const tsCurrency& stored,
             const tsCurrency& computed) {
  if (stored == computed) return;
  out->drift.push_back({subject, field, stored.Format(), computed.Format()});
}

}  // namespace

tsioStatus::Status bkCheckIntegrity(const tsioDataFile& file, std::vector<std::string>* problems, int limit,
                                    bool quick) {
  return file.Company().Db().CheckIntegrity(limit, quick, problems);
}

namespace {

// The reconciliations of every bank account against its transactions and
// its last reconciled balance (bk_verify.h).
tsioStatus::Status VerifyReconciliations(const tsioDataFile& master, const tsioDataFile& statements,
                                         const std::map<std::string, BankSums>& sums,
                                         const std::map<std::string, tsCurrency>& opening, bkVerifyResult* out) {
  struct Chain {
    bool any = false;
    tsCurrency ending;
    tsDate date;
  };
  std::map<std::string, Chain> chains;
  std::map<std::string, std::map<std::string, bool>> recorded;  // bank -> statement dates with a record
  Reconciliation rec(statements, "", 0);
  tsioStatus::Status st = rec.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = rec.FetchNext(false)) {
    ++out->reconciliations;
    const ReconciliationData& r = rec.m_Record;
    const std::string bank = r.GetBankAccount().str();
    const std::string date = r.GetStatementDate().Format();
    const std::string subject = "reconciliation " + bank + " " + date;
    recorded[bank][date] = true;
    OnStatement on;
    if (auto b = sums.find(bank); b != sums.end()) {
      if (auto it = b->second.statements.find(date); it != b->second.statements.end()) on = it->second;
    }
    if (static_cast<long>(r.GetCount().ToLongLong()) != on.count) {
      out->drift.push_back({subject, "reconciled count", r.GetCount().Format(), std::to_string(on.count)});
    }
    Compare(out, subject, "reconciled total", r.GetReconciledTotal(), on.net);
    Compare(out, subject, "ending balance", r.GetEndingBalance(), tsCurrency(r.GetPreviousBalance() + on.net));
    Chain& c = chains[bank];
    const auto o = opening.find(bank);
    const tsCurrency before = c.any ? c.ending : (o == opening.end() ? tsCurrency() : o->second);
    Compare(out, subject, "previous balance", r.GetPreviousBalance(), before);
    c.any = true;
    c.ending = r.GetEndingBalance();
    c.date = r.GetStatementDate();
  }
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) return st;
  for (const auto& [bank, s] : sums) {
    if (s.reconciled_off_statement != 0) {
      out->drift.push_back({"bank account " + bank, "reconciled transactions on no statement", "0",
                            std::to_string(s.reconciled_off_statement)});
    }
    for (const auto& [date, on] : s.statements) {
      if (recorded[bank].count(date) == 0) {
        out->drift.push_back({"bank account " + bank, "reconciled transactions of a statement never finished (" +
                              date + ")", "0", std::to_string(on.count)});
      }
    }
  }
  BankAccount bank(master, "BANKACC;BRECBAL;BRECDT", 0);
  for (st = bank.FetchFirst(false); st == tsioStatus::kSuccess; st = bank.FetchNext(false)) {
    const std::string id = bank.m_Record.GetBankAccount().str();
    const Chain c = chains[id];
    const auto o = opening.find(id);
    const tsCurrency expected = c.any ? c.ending : (o == opening.end() ? tsCurrency() : o->second);
    Compare(out, "bank account " + id, "last reconciled balance", bank.m_Record.GetLastReconciledBalance(), expected);
    const tsDate& stored = bank.m_Record.GetLastReconciledDate();
    if (stored != c.date) {
      out->drift.push_back({"bank account " + id, "last reconciled date", stored.IsEmpty() ? "" : stored.Format(),
                            c.date.IsEmpty() ? "" : c.date.Format()});
    }
  }
  return st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound ? tsioStatus::kSuccess : st;
}

// Debits against credits per GL run and ledger of one GL transaction file;
// every line's signed amount (debit +, credit -) added to `by_account`.
tsioStatus::Status VerifyLedgerFile(const tsioDataFile& file, const char* which,
                                    std::map<std::string, tsCurrency>* by_account, bkVerifyResult* out) {
  tsGLTransactionRec line;
  tsioCursor cur(line, file, line.TableID(), 0);
  std::map<std::pair<std::string, int>, std::pair<tsCurrency, tsCurrency>> runs;
  tsioStatus::Status st = cur.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = cur.FetchNext(false)) {
    ++out->gl_lines;
    auto& [debits, credits] = runs[{line.run.Format(), line.ledger.Value()}];
    const bool debit = line.debit_credit.Value() == 1;
    (debit ? debits : credits) += line.amount;
    (*by_account)[line.account.str()] += debit ? line.amount : tsCurrency(-line.amount);
  }
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) return st;
  for (const auto& [key, sides] : runs) {
    Compare(out, std::string("general ledger ") + which + " run " + key.first + " ledger " + std::to_string(key.second),
            "debits less credits", tsCurrency(), tsCurrency(sides.first - sides.second));
  }
  return tsioStatus::kSuccess;
}

// Cash details of one transaction file: by cash account (into `by_account`
// when it is given) and by bank and cash account.
tsioStatus::Status SumCashDetails(const tsioDataFile& file, std::map<std::string, tsCurrency>* by_account,
                                  std::map<std::pair<std::string, std::string>, tsCurrency>* by_bank) {
  CashDetail d(file, "CDBNKAC;CDTRUN;CDTSEQ;CDRUN;CDSEQ;CDCSHAC;CDAMT", 0);
  tsioStatus::Status st = d.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = d.FetchNext(false)) {
    const std::string account = d.m_Record.GetCashAccount().str();
    if (by_account != nullptr) (*by_account)[account] += d.m_Record.GetAmount();
    (*by_bank)[{d.m_Record.GetBankAccount().str(), account}] += d.m_Record.GetAmount();
  }
  return st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound ? tsioStatus::kSuccess : st;
}

// The general ledger's lines against the register's cash details, and the
// GL cash account balance records against the cash details (bk_verify.h).
tsioStatus::Status VerifyLedger(const bkVerifyFiles& f, bkVerifyResult* out) {
  std::map<std::string, tsCurrency> gl, posted_cash;
  std::map<std::pair<std::string, std::string>, tsCurrency> by_bank;
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (f.gl_waiting != nullptr) st = VerifyLedgerFile(*f.gl_waiting, "waiting", &gl, out);
  if (st == tsioStatus::kSuccess && f.gl_posted != nullptr) st = VerifyLedgerFile(*f.gl_posted, "posted", &gl, out);
  if (st == tsioStatus::kSuccess) st = SumCashDetails(*f.register_file, nullptr, &by_bank);
  if (st == tsioStatus::kSuccess && f.history != nullptr) st = SumCashDetails(*f.history, &posted_cash, &by_bank);
  if (st != tsioStatus::kSuccess) return st;
  if (f.gl_waiting != nullptr || f.gl_posted != nullptr) {
    for (const auto& [account, cash] : posted_cash) {
      const auto it = gl.find(account);
      Compare(out, "GL cash account " + account, "general-ledger lines against the register's posted cash",
              it == gl.end() ? tsCurrency() : it->second, cash);
    }
  }
  std::map<std::pair<std::string, std::string>, tsCurrency> stored;
  GLCashAccountBalance b(*f.master, "", 0);
  for (st = b.FetchFirst(false); st == tsioStatus::kSuccess; st = b.FetchNext(false)) {
    stored[{b.m_Record.GetBankAccount().str(), b.m_Record.GetGLCashAccount().str()}] += b.m_Record.GetAmount();
  }
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) return st;
  for (const auto& [key, amount] : by_bank) stored.emplace(key, tsCurrency());
  for (const auto& [key, amount] : stored) {
    const auto it = by_bank.find(key);
    Compare(out, "bank account " + key.first, "GL cash account balance of " + key.second, amount,
            it == by_bank.end() ? tsCurrency() : it->second);
  }
  return tsioStatus::kSuccess;
}

}  // namespace

bkVerifyResult bkVerifyCompany(const tsioDataFile& master, const tsioDataFile& register_file,
                               const tsioDataFile* history, const std::function<void(long)>& progress) {
  bkVerifyFiles f;
  f.master = &master;
  f.register_file = &register_file;
  f.history = history;
  return bkVerifyCompany(f, progress);
}

bkVerifyResult bkVerifyCompany(const bkVerifyFiles& f, const std::function<void(long)>& progress) {
  bkVerifyResult out;
  const tsioDataFile& master = *f.master;
  const tsioDataFile& register_file = *f.register_file;
  const tsioDataFile* history = f.history;
  out.status = bkCheckIntegrity(master, &out.integrity);
  if (out.status != tsioStatus::kSuccess || !out.integrity.empty()) return out;

  std::map<std::string, BankSums> banks;
  std::map<BatchKey, BatchSums> batches;
  out.status = Sum(register_file, &banks, &batches, &out.transactions, progress);
  if (out.status == tsioStatus::kSuccess && history != nullptr) {
    out.status = Sum(*history, &banks, &batches, &out.transactions, progress);
  }
  if (out.status != tsioStatus::kSuccess) return out;

  // Each account's opening balance: its register balance less every
  // transaction.
  std::map<std::string, tsCurrency> opening;
  std::map<std::string, bool> known;
  BankAccount bank(master, "", 0);
  tsioStatus::Status st = bank.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = bank.FetchNext(false)) {
    ++out.bank_accounts;
    const BankAccountData& r = bank.m_Record;
    const std::string id = r.GetBankAccount().str();
    const std::string subject = "bank account " + id;
    known[id] = true;
    auto it = banks.find(id);
    const BankSums sums = it == banks.end() ? BankSums() : it->second;
    opening[id] = tsCurrency(r.GetRegisterBalance() - sums.net);
    Compare(&out, subject, "open checks", r.GetOpenChecks(), sums.open.checks);
    Compare(&out, subject, "open deposits", r.GetOpenDeposits(), sums.open.deposits);
    Compare(&out, subject, "open withdrawals", r.GetOpenWithdrawals(), sums.open.withdrawals);
    Compare(&out, subject, "open adjustments +", r.GetOpenAdjustmentsPlus(), sums.open.plus);
    Compare(&out, subject, "open adjustments -", r.GetOpenAdjustmentsMinus(), sums.open.minus);
    Compare(&out, subject, "open net", r.GetOpenTransactions(), sums.open.Net());
    Compare(&out, subject, "unreconciled checks", r.GetUnreconciledChecks(), sums.unreconciled.checks);
    Compare(&out, subject, "unreconciled deposits", r.GetUnreconciledDeposits(), sums.unreconciled.deposits);
    Compare(&out, subject, "unreconciled withdrawals", r.GetUnreconciledWithdrawals(), sums.unreconciled.withdrawals);
    Compare(&out, subject, "unreconciled adjustments +", r.GetUnreconciledAdjustsPlus(), sums.unreconciled.plus);
    Compare(&out, subject, "unreconciled adjustments -", r.GetUnreconciledAdjustsMinus(), sums.unreconciled.minus);
    Compare(&out, subject, "unreconciled net", r.GetUnreconciledTransactions(), sums.unreconciled.Net());
    Compare(&out, subject, "register - bank balance", r.GetRegisterBalance() - r.GetBankBalance(),
            sums.net - sums.cleared);
  }
  if (st != tsioStatus::kEndOfFile) {
    out.status = st;
    return out;
  }
  for (const auto& [id, sums] : banks) {
    if (known.count(id) != 0) continue;
    out.drift.push_back({"bank account " + id, "transactions of an account that does not exist", "0",
                         sums.net.Format()});
  }

  // Batch records, their keys mapped to what their transactions carry.
  std::map<BatchKey, BatchSums> stored;
  Batch b(register_file, "", 0);
  for (st = b.FetchFirst(false); st == tsioStatus::kSuccess; st = b.FetchNext(false)) {
    ++out.batches;
    const BatchData& r = b.m_Record;
    const std::string appl = r.GetApplOfOrigin().str();
    BatchSums& s = stored[{appl, r.GetBatch().str(), appl == "BK" ? r.GetSource().Value() : 1, r.GetDPLoc().str()}];
    s.count += static_cast<long>(r.GetCountPosted().Value());
    s.amount += r.GetAmountPosted();
  }
  if (st != tsioStatus::kEndOfFile) {
    out.status = st;
    return out;
  }
  for (const auto& [key, s] : stored) {
    const std::string subject = "batch " + std::get<0>(key) + "/" + std::get<1>(key) + "/" +
                                std::to_string(std::get<2>(key)) +
                                (std::get<3>(key).empty() ? "" : "/" + std::get<3>(key));
    auto it = batches.find(key);
    const BatchSums computed = it == batches.end() ? BatchSums() : it->second;
    if (s.count != computed.count) {
      out.drift.push_back({subject, "entered count", std::to_string(s.count), std::to_string(computed.count)});
    }
    Compare(&out, subject, "entered amount", s.amount, computed.amount);
  }

  if (f.statements != nullptr) {
    out.status = VerifyReconciliations(master, *f.statements, banks, opening, &out);
    if (out.status != tsioStatus::kSuccess) return out;
  }
  out.status = VerifyLedger(f, &out);
  return out;
}
