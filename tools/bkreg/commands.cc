// The commands of bkreg.
#include "tools/bkreg/commands.h"

#include <unistd.h>

#include <iostream>
#include <memory>
#include <sstream>

#include "programs/bk_program.h"
#include "framework/base/application.h"
#include "framework/base/errors.h"
#include "framework/batch/batch.h"
#include "framework/io/file_manager.h"
#include "framework/io/rollback_stack.h"
#include "accounts/bank_account.h"
#include "batches/bk_batch_part.h"
#include "duplicates/bk_verify_duplicates.h"
#include "records/files.h"
#include "transactions/transaction.h"

namespace bkreg {

namespace {

constexpr unsigned short kCommandId = 7100;

void PrintErrors(const ccErrors& errors, std::ostream& err) {
  for (const auto& e : errors) {
    if (!e.Text().empty()) err << e.Text() << "\n";
    if (!e.Text2().empty()) err << e.Text2() << "\n";
  }
}

// The company's program: its files opened through the module's program
// object, as every program of the module opens them.
class Session {
 public:
  explicit Session(const std::string& folder) {
    TSGetApp()->SetCompanyFolder(folder);
    program_ = std::make_unique<bkProgram>(kCommandId);
  }
  // False (with a message) when the company or its files cannot be opened.
  bool Open(std::ostream& err) {
    if (program_->OpenFiles() != kBoolSuccess) {
      err << "bkreg: cannot open the company's files in " << TSGetApp()->CompanyFolder()
          << " (run 'bkreg init' first; details in the company's bkreg.log)\n";
      return false;
    }
    bkm_ = program_->File(BKMFileSpec);
    bkt_ = program_->File(BKTFileSpec);
    return bkm_ && bkt_;
  }
  bkProgram& Program() { return *program_; }
  const tsioDataFile& Master() const { return *bkm_; }
  const tsioDataFile& Register() const { return *bkt_; }

 private:
  std::unique_ptr<bkProgram> program_;
  const tsioDataFile* bkm_ = nullptr;
  const tsioDataFile* bkt_ = nullptr;
};

bool ParseAmount(const std::string& text, tsCurrency* out) {
  tsCurrency c;
  if (text.empty() || !c.Parse(text)) return false;
  *out = c;
  return true;
}

tsDate ParseDateOr(const std::string& text, bool* ok) {
  *ok = true;
  if (text.empty()) return tsDate::Today();
  tsDate d;
  *ok = d.Parse(text) && !d.IsEmpty();
  return d;
}

int TypeCode(const std::string& name) {
  if (name == "check") return 1;
  if (name == "deposit") return 2;
  if (name == "withdrawal") return 3;
  if (name == "adjustment") return 4;
  return 0;
}

struct Entry {
  std::string bank;
  int type = 0;
  tsCurrency amount;  // signed for adjustments, positive otherwise
  tsDate date;
  long long check = 0;
  std::string description, payee, deposit_id, batch = "BKREG";
  bool allow_duplicate = false;  // --allow-duplicate
};

// The duplicate check of an entry (a check by its number, a deposit by its
// date and id): 0 when it may be entered, else the exit status, with the
// catalogue's words on `err`. A duplicate in the register or in history may
// be entered anyway with --allow-duplicate; a deposit id a pending deposit
// holds may not, and a check that could not be made refuses the entry.
int CheckDuplicate(bkVerifyDuplicates& verify, const Entry& e, std::ostream& err) {
  ccStatus<ccError::Level> found(ccError::kNone);
  if (e.type == 1) {
    found = verify.checkExists(tsAlpha(e.bank), tsDouble(e.check, 0));
  } else if (e.type == 2 && !e.deposit_id.empty()) {
    found = verify.depositExists(tsAlpha(e.bank), e.date, tsAlpha(e.deposit_id));
  }
  if (found.Value() == ccError::kNone) return 0;
  PrintErrors(found.Errors(), err);
  if (found.MaxLevel() >= ccError::kFatal) {
    err << "bkreg: duplicates could not be looked for; nothing was entered\n";
    return 2;
  }
  if (verify.LastFoundIn() == bkVerifyDuplicates::FoundIn::kPendingDeposits) {
    err << "bkreg: not entered; a pending deposit holds that deposit id until it is entered itself\n";
    return 2;
  }
  if (e.allow_duplicate) {
    err << "bkreg: entering it anyway (--allow-duplicate)\n";
    return 0;
  }
  err << "bkreg: not entered; to enter it anyway, repeat the command with --allow-duplicate\n";
  return 2;
}

// Enters one transaction as a unit of work: the transaction, created through
// the library in the program's batch (its run and sequence, the batch's
// count), and the bank account's register balance and totals, commit or
// roll back together. With `verify`, the entry is first checked for a
// duplicate while the bank account is locked, so two bkreg runs cannot both
// enter the same number.
int EnterOne(Session& s, const Entry& e, std::ostream& out, std::ostream& err, bool quiet,
             bkVerifyDuplicates* verify = nullptr) {
  BankAccount bank(s.Master(), "", 0);
  bank.m_Record.SetBankAccount(tsAlpha(e.bank));
  if (bank.FetchEQ(false) != tsioStatus::kSuccess) {
    err << "bkreg: no bank account '" << e.bank << "'\n";
    return 2;
  }
  // The register's own checks carry no amount (the module's rule); a check
  // with an amount is one a check-writing application wrote, here payables.
  zzBatch batch;
  batch.SetHostAppl(e.type == 1 ? "AP" : "BK");
  batch.SetBatchID(tsAlpha(e.batch));
  batch.SetSource(2);
  // The batch's record, counting what is entered, is in the register file.
  batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(s.Register().FileNum());
  s.Program().SetBatch(batch);

  Transaction t(s.Register(), "", 0);
  t.m_Record.InitializeNewRecord(s.Program(), s.Program().GetBatch());
  tclTSEnum<TransactionData::TranTypeEnum> type;
  type.SetValue(e.type);
  t.m_Record.SetType(type);
  t.m_Record.SetBankAccount(tsAlpha(e.bank));
  t.m_Record.SetTransactionDate(e.date);
  t.m_Record.SetAccountingDate(e.date);
  t.m_Record.SetDescription(tsAlpha(e.description));
  tsCurrency amount = e.amount;
  amount.Round(2);
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

  tclRollbackStack unit;
  t.AttachRollbackStack(&unit);
  bank.AttachRollbackStack(&unit);
  tsioStatus::Status st = bank.FetchEQ(true);
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: bank account '" << e.bank << "' is in use (" << ccIOStatusStr(st) << ")\n";
    return 2;
  }
  if (verify != nullptr) {
    const int refused = CheckDuplicate(*verify, e, err);
    if (refused != 0) {
      (void)bank.Unlock();
      return refused;
    }
  }
  // Created through the library: stamped with the program's run and next
  // sequence, counted in the batch, and written only when the module's
  // rules let it.
  const ccStatus<ccError::Level> created = t.Create(s.Program(), nullptr, true);
  if (!created.Errors().Empty()) PrintErrors(created.Errors(), err);
  if (created.HasError()) {
    (void)unit.Rollback();
    (void)bank.Unlock();
    err << "bkreg: the " << t.m_Record.MessageText() << " was not entered\n";
    return 2;
  }
  const tsCurrency net = t.m_Record.GetAmount();
  const bkTranType kind = static_cast<bkTranType>(e.type);
  (void)bank.ChangeOpenTotals(net, kind, 1, 0);
  (void)bank.ChangeUnreconciledTotals(net, kind, 1, 3);
  bank.UpdateRegisterBalance(net, t.m_Record.GetRun());
  st = bank.Update();
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  (void)bank.Unlock();
  if (st != tsioStatus::kSuccess) {
    (void)unit.Rollback();
    err << "bkreg: the " << t.m_Record.MessageText() << " could not be saved (" << ccIOStatusStr(st) << ")\n";
    return 2;
  }
  if (!quiet) {
    out << "Entered " << t.m_Record.MessageText() << " in run " << t.m_Record.GetRun().Format() << ", sequence "
        << t.m_Record.GetSequence().Format() << ": " << net.Format() << "\n";
  }
  return 0;
}

bool RequireBank(const Args& a, std::string* bank, std::ostream& err) {
  *bank = a.Option("bank");
  if (bank->empty() && !a.positional.empty()) *bank = a.positional[0];
  if (bank->empty()) {
    err << "bkreg: which bank account? (--bank ID)\n";
    return false;
  }
  return true;
}

// Opens the company and runs `body` with a cursor on the bank account that
// --bank names (read from the file; an unknown account is an error).
template <typename F>
int WithBank(const Args& a, std::ostream& err, F body) {
  std::string id;
  if (!RequireBank(a, &id, err)) return 1;
  Session s(a.company);
  if (!s.Open(err)) return 2;
  BankAccount bank(s.Master(), "", 0);
  bank.m_Record.SetBankAccount(tsAlpha(id));
  if (bank.FetchEQ(false) != tsioStatus::kSuccess) {
    err << "bkreg: no bank account '" << id << "'\n";
    return 2;
  }
  return body(s, bank, id);
}

}  // namespace

int CmdInit(const Args& a, std::ostream& out, std::ostream& err) {
  tsioFileManager fm(a.company);
  tsioStatus::Status st = fm.CreateCompany();
  for (const tsioFileSpec& spec : {BKMFileSpec, BKTFileSpec, BKTHistoryFileSpec, BKZFileSpec}) {
    if (st == tsioStatus::kSuccess) st = fm.Create(spec);
  }
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: cannot create the company in " << a.company << " (" << ccIOStatusStr(st) << ")\n";
    return 2;
  }
  out << "Company ready in " << a.company << "\n";
  return 0;
}

int CmdBankAdd(const Args& a, std::ostream& out, std::ostream& err) {
  if (a.positional.empty()) {
    err << "bkreg: bank add ID [--desc TEXT] [--type N] [--balance AMOUNT]\n";
    return 1;
  }
  Session s(a.company);
  if (!s.Open(err)) return 2;
  BankAccount bank(s.Master(), "", 0);
  bank.m_Record.SetBankAccount(tsAlpha(a.positional[0]));
  bank.m_Record.SetDescription(tsAlpha(a.Option("desc", a.positional[0])));
  tclTSEnum<BankAccountData::BankAccountTypeEnum> type;
  type.SetValue(std::atoi(a.Option("type", "1").c_str()));
  bank.m_Record.SetAccountType(type);
  tsCurrency balance;
  if (!a.Option("balance").empty() && !ParseAmount(a.Option("balance"), &balance)) {
    err << "bkreg: not an amount: " << a.Option("balance") << "\n";
    return 1;
  }
  bank.m_Record.SetRegisterBalance(balance);
  bank.m_Record.SetRegisterViewBalance(balance);
  bank.m_Record.SetBankBalance(balance);
  bank.m_Record.SetBankViewBalance(balance);
  tsioStatus::Status st = bank.Insert();
  if (st == tsioStatus::kDuplicateKey) {
    err << "bkreg: bank account '" << a.positional[0] << "' exists already\n";
    return 2;
  }
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: cannot add the bank account (" << ccIOStatusStr(st) << ")\n";
    return 2;
  }
  out << "Added bank account " << a.positional[0] << "\n";
  return 0;
}

int CmdBankList(const Args& a, std::ostream& out, std::ostream& err) {
  Session s(a.company);
  if (!s.Open(err)) return 2;
  BankAccount bank(s.Master(), "", 0);
  Table table{{"Bank", "Description", "Type", "Register", "Bank balance", "Open checks", "Open deposits", "Open net"},
              {false, false, false, true, true, true, true, true},
              {}};
  for (auto st = bank.FetchFirst(false); st == tsioStatus::kSuccess; st = bank.FetchNext(false)) {
    const BankAccountData& r = bank.m_Record;
    table.rows.push_back({r.GetBankAccount().str(), r.GetDescription().str(), r.TypeString(0),
                          r.GetRegisterBalance().Format(), r.GetBankBalance().Format(), r.GetOpenChecks().Format(),
                          r.GetOpenDeposits().Format(), r.GetOpenTransactions().Format()});
  }
  table.Print(out, a.format);
  return 0;
}

int CmdEnter(const Args& a, std::ostream& out, std::ostream& err) {
  Entry e;
  e.type = a.positional.empty() ? 0 : TypeCode(a.positional[0]);
  if (e.type == 0 || !RequireBank(Args{a.company, a.format, {}, a.options}, &e.bank, err)) {
    err << "bkreg: enter check|deposit|withdrawal|adjustment --bank ID --amount X [--date D] [--check N] "
           "[--desc TEXT] [--payee NAME] [--deposit-id ID] [--batch ID] [--allow-duplicate]\n";
    return 1;
  }
  if (!ParseAmount(a.Option("amount"), &e.amount) || (e.type != 4 && e.amount < tsCurrency())) {
    err << "bkreg: --amount needs an amount" << (e.type != 4 ? " that is not negative" : "") << "\n";
    return 1;
  }
  bool ok = true;
  e.date = ParseDateOr(a.Option("date"), &ok);
  if (!ok) {
    err << "bkreg: not a date: " << a.Option("date") << "\n";
    return 1;
  }
  e.check = std::atoll(a.Option("check", "0").c_str());
  e.description = a.Option("desc");
  e.payee = a.Option("payee");
  e.deposit_id = a.Option("deposit-id");
  e.batch = a.Option("batch", e.batch);
  e.allow_duplicate = !a.Option("allow-duplicate").empty();
  Session s(a.company);
  if (!s.Open(err)) return 2;
  bkVerifyDuplicates verify;
  verify.Init(s.Program().Task());
  const tsioFileInfo master = s.Master().Info();
  const auto ready = verify.initialize(s.Register().Info(), &master);
  PrintErrors(ready.Errors(), err);  // warnings: no history to compare with
  if (ready.HasError()) return 2;
  return EnterOne(s, e, out, err, false, &verify);
}

int CmdGenerate(const Args& a, std::ostream& out, std::ostream& err) {
  std::string bank;
  if (!RequireBank(a, &bank, err)) return 1;
  const long count = std::atol(a.Option("count", "1000").c_str());
  Session s(a.company);
  if (!s.Open(err)) return 2;
  const bool progress = isatty(2);
  for (long i = 0; i < count; ++i) {
    Entry e;
    e.bank = bank;
    e.type = 1 + static_cast<int>(i % 4);
    e.amount = tsCurrency(tsDouble(1000 + (i * 7919) % 90000, 0) / tsDouble(100));
    e.date = tsDate::Today() + static_cast<int>(i % 60 - 60);
    e.check = e.type == 1 ? 1000 + i : 0;
    e.description = "Generated " + std::to_string(i + 1);
    int rc = EnterOne(s, e, out, err, true);
    if (rc != 0) return rc;
    if (progress && (i % 100 == 99 || i + 1 == count)) {
      err << "\rgenerating: " << (i + 1) << "/" << count << std::flush;
    }
  }
  if (progress) err << "\n";
  out << "Entered " << count << " transactions for " << bank << "\n";
  return 0;
}

int CmdRegister(const Args& a, std::ostream& out, std::ostream& err) {
  return WithBank(a, err, [&](Session& s, BankAccount& bank, const std::string& id) {
    // The register balance holds every transaction: the opening balance is
    // what it was before them; the walk adds them in register order.
    Transaction t(s.Register(), "", 5);
    t.m_Record.SetBankAccount(tsAlpha(id));
    tsCurrency total;
    std::vector<TransactionData> lines;
    for (auto st = t.FetchGE(false); st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == id;
         st = t.FetchNext(false)) {
      total += t.m_Record.GetAmount();
      lines.push_back(t.m_Record);
    }
    tsCurrency running = bank.m_Record.GetRegisterBalance() - total;
    Table table{{"Date", "Type", "Number", "Description", "Amount", "State", "Balance"},
                {false, false, false, false, true, false, true},
                {}};
    table.rows.push_back({"", "", "", "Opening balance", "", "", running.Format()});
    for (const auto& l : lines) {
      running += l.GetAmount();
      std::string number = l.GetType().Value() == 1 ? l.GetCheck().Format() : l.GetDepositID().str();
      table.rows.push_back({l.GetTransactionDate().Format(), l.TranTypeFullDescription(), number,
                            l.GetDescription().str(), l.GetAmount().Format(),
                            TransactionData::ReconcileStateCode(l.GetReconciled().Value()), running.Format()});
    }
    table.Print(out, a.format);
    return 0;
  });
}

int CmdLock(const Args& a, std::ostream& out, std::ostream& err) {
  return WithBank(a, err, [&](Session&, BankAccount& bank, const std::string& id) {
    auto st = bank.EditRegisterLock();
    if (st.MaxLevel() != ccError::kNone) {
      PrintErrors(st.Errors(), err);
      return st.Errors().Size() && st.Errors()[0].Number() == 2305 ? 3 : 2;
    }
    out << "Holding the edit-register lock of " << id << "; press Enter to release it.\n" << std::flush;
    std::string line;
    std::getline(std::cin, line);
    (void)bank.EditRegisterUnlock();
    out << "Released " << id << "\n";
    return 0;
  });
}

int CmdLocked(const Args& a, std::ostream& out, std::ostream& err) {
  return WithBank(a, err, [&](Session&, BankAccount& bank, const std::string& id) {
    auto st = bank.isEditRegisterLocked();
    if (st.MaxLevel() >= ccError::kError) {
      PrintErrors(st.Errors(), err);
      return 2;
    }
    const bool locked = st.Value() == ccError::kWarning;
    out << id << (locked ? " is locked by another program\n" : " is free\n");
    return locked ? 3 : 0;
  });
}

int CmdDemo(const Args& a, std::ostream& out, std::ostream& err) {
  std::ostringstream sink;
  const bool fresh = access((a.company + "/" + tsioCompany::kDatabaseName).c_str(), F_OK) != 0;
  if (fresh) {
    if (CmdInit(a, out, err) != 0) return 2;
    struct Bank {
      const char* id;
      const char* desc;
      const char* type;
      const char* balance;
    } banks[] = {{"OPERATING", "Operating account", "1", "25000.00"}, {"PAYROLL", "Payroll account", "1", "8000.00"}};
    for (const auto& b : banks) {
      Args add = a;
      add.positional = {b.id};
      add.options = {{"desc", b.desc}, {"type", b.type}, {"balance", b.balance}};
      if (CmdBankAdd(add, sink, err) != 0) return 2;
    }
    Session s(a.company);
    if (!s.Open(err)) return 2;
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
      if (EnterOne(s, e, sink, err, true) != 0) return 2;
    }
    out << "Created the demo company with two bank accounts and " << std::size(lines) << " transactions.\n\n";
  }
  out << "Bank accounts\n";
  if (CmdBankList(a, out, err) != 0) return 2;
  for (const char* id : {"OPERATING", "PAYROLL"}) {
    out << "\nRegister of " << id << "\n";
    Args reg = a;
    reg.options["bank"] = id;
    if (CmdRegister(reg, out, err) != 0) return 2;
  }
  return 0;
}

}  // namespace bkreg
