// The commands of bkreg.
#include "tools/bkreg/commands.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
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
#include "tools/bkreg/entry_details.h"

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
  std::string account;           // the offset general-ledger account (--account)
  std::string cash_account;      // the bank's side (--cash-account)
  std::vector<DetailLine> lines;  // deposit items' lines or withdrawal details
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
  // The batch's record, counting what is entered, is in the register file.
  if (counted) {
    batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(s.Register().FileNum());
    // The part reads the batch's record (its control totals stay as they
    // are), creating it when the batch is new.
    (void)batch.OpenInfo("BK");
  }
  s.Program().SetBatch(batch);

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
  // Money in: the bank's cash account is debited, the offset credited;
  // money out the other way round.
  const bool in = e.type == 2 || (e.type == 4 && !(amount < tsCurrency()));
  const tsAlpha offset(e.account), cash(e.cash_account);
  t.m_Record.SetDebitAccount(in ? cash : offset);
  t.m_Record.SetCreditAccount(in ? offset : cash);
}

// Makes `t`'s record the new transaction `e` (batch uncounted), with its run
// and sequence, validated by the module's rules; 0, or 2 with the messages
// shown. The bulk path: the caller inserts and counts it.
int BuildEntry(Session& s, const Entry& e, Transaction& t, std::ostream& err) {
  FillEntry(s, e, t, false);
  auto run = t.m_Record.SetRunAndSequence(*s.Program().BKTHeader());
  if (run.Value() != kBoolSuccess) {
    PrintErrors(run.Errors(), err);
    return 2;
  }

  // The module's rules decide whether it may be written at all.
  auto valid = t.Validate(s.Program());
  if (!valid.Errors().Empty()) PrintErrors(valid.Errors(), err);
  if (valid.MaxLevel() >= ccError::kError) {
    err << "bkreg: the " << t.m_Record.MessageText() << " was not entered\n";
    return 2;
  }
  return 0;
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
  Transaction t(s.Register(), "", 0);
  Entry filled = e;  // the bank's side defaults to its cash account for other entries
  if (filled.cash_account.empty()) filled.cash_account = bank.m_Record.GetMiscCashAccount().str();
  FillEntry(s, filled, t, true);

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
      PrintErrors(taken.Errors(), err);
      (void)unit.Rollback();
      (void)bank.Unlock();
      err << "bkreg: the lines of the " << t.m_Record.MessageText() << " could not be saved ("
          << ccIOStatusStr(st) << ")\n";
      return 2;
    }
    (void)t.Validate(s.Program());  // keeps the validater that reads the lines
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
  CountIntoBank(bank, t, e.type);
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
        << t.m_Record.GetSequence().Format() << ": " << t.m_Record.GetAmount().Format() << "\n";
  }
  return 0;
}

// Enters many transactions of one bank account: the account is locked once,
// and every `chunk` transactions are one unit of work with the account's
// balance and totals, so a failure loses at most the unit it happened in
// and the file never holds transactions the totals lack. `next(i, e)` fills
// the i-th entry. `entered` receives how many were committed.
template <typename Next>
int EnterMany(Session& s, const std::string& id, long count, long chunk, Next next, long* entered,
              std::ostream& err) {
  *entered = 0;
  BankAccount bank(s.Master(), "", 0);
  bank.m_Record.SetBankAccount(tsAlpha(id));
  if (bank.FetchEQ(false) != tsioStatus::kSuccess) {
    err << "bkreg: no bank account '" << id << "'\n";
    return 2;
  }
  Transaction t(s.Register(), "", 0);
  tclRollbackStack unit;
  t.AttachRollbackStack(&unit);
  bank.AttachRollbackStack(&unit);
  tsioStatus::Status st = bank.FetchEQ(true);
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: bank account '" << id << "' is in use (" << ccIOStatusStr(st) << ")\n";
    return 2;
  }
  const bool progress = isatty(2);
  int rc = 0;
  long done = 0;
  Entry e;
  for (long i = 0; i < count && rc == 0; ++i) {
    next(i, e);
    e.bank = id;
    rc = BuildEntry(s, e, t, err);
    if (rc != 0) break;
    CountIntoBank(bank, t, e.type);
    st = t.Insert();
    if (st == tsioStatus::kSuccess && ((i + 1) % chunk == 0 || i + 1 == count)) {
      // Validation may have moved the master file's current record: make
      // the account current again (with the totals counted so far).
      st = bank.SetBuffer();
      if (st == tsioStatus::kSuccess) st = bank.Update();
      if (st == tsioStatus::kSuccess) st = unit.Commit();
      if (st == tsioStatus::kSuccess) done = i + 1;
    }
    if (st != tsioStatus::kSuccess) {
      err << "bkreg: the " << t.m_Record.MessageText() << " could not be saved (" << ccIOStatusStr(st) << ")\n";
      rc = 2;
    }
    if (progress && (i % 1000 == 999 || i + 1 == count)) err << "\rentering: " << (i + 1) << "/" << count << std::flush;
  }
  if (progress) err << "\n";
  if (rc != 0) (void)unit.Rollback();
  (void)bank.Unlock();
  *entered = done;
  return rc;
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
  bank.m_Record.SetMiscCashAccount(tsAlpha(a.Option("cash-account")));
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

// Writes the rows `walk` hands to its callback, holding none: aligned text
// walks twice (measuring the columns, then writing), the other formats once.
template <typename Walk>
void StreamTable(std::ostream& out, Format format, std::vector<std::string> headings, std::vector<bool> numeric,
                 Walk walk) {
  TableWriter table(out, format, std::move(headings), std::move(numeric));
  if (format == Format::kText) {
    walk([&](const std::vector<std::string>& row) {
      for (size_t c = 0; c < row.size(); ++c) table.SetWidth(c, row[c].size());
    });
  }
  walk([&](const std::vector<std::string>& row) { table.Row(row); });
  table.End();
}

int CmdBankList(const Args& a, std::ostream& out, std::ostream& err) {
  Session s(a.company);
  if (!s.Open(err)) return 2;
  BankAccount bank(s.Master(), "", 0);
  StreamTable(out, a.format,
              {"Bank", "Description", "Type", "Register", "Bank balance", "Open checks", "Open deposits", "Open net"},
              {false, false, false, true, true, true, true, true}, [&](auto&& row) {
                for (auto st = bank.FetchFirst(false); st == tsioStatus::kSuccess; st = bank.FetchNext(false)) {
                  const BankAccountData& r = bank.m_Record;
                  row({r.GetBankAccount().str(), r.GetDescription().str(), r.TypeString(0),
                       r.GetRegisterBalance().Format(), r.GetBankBalance().Format(), r.GetOpenChecks().Format(),
                       r.GetOpenDeposits().Format(), r.GetOpenTransactions().Format()});
                }
              });
  return 0;
}

int CmdEnter(const Args& a, std::ostream& out, std::ostream& err) {
  Entry e;
  e.type = a.positional.empty() ? 0 : TypeCode(a.positional[0]);
  if (e.type == 0 || !RequireBank(Args{a.company, a.format, {}, a.options, {}}, &e.bank, err)) {
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
  e.account = a.Option("account");
  e.cash_account = a.Option("cash-account");
  for (const std::string& line : a.lines) {
    DetailLine l;
    if (std::string why = ParseDetailLine(line, &l); !why.empty()) {
      err << "bkreg: " << why << "\n";
      return 1;
    }
    e.lines.push_back(l);
  }
  if (!a.Option("lines").empty()) {
    if (std::string why = ReadDetailCsv(a.Option("lines"), &e.lines); !why.empty()) {
      err << "bkreg: " << why << "\n";
      return 1;
    }
  }
  if (std::string why = CheckDetailLines(e.type, e.lines); !why.empty()) {
    err << "bkreg: " << why << "\n";
    return 1;
  }
  Session s(a.company);
  if (!s.Open(err)) return 2;
  if (!EnterPrepareLedger(s.Program(), err)) return 2;
  bkVerifyDuplicates verify;
  verify.Init(s.Program().Task());
  const tsioFileInfo master = s.Master().Info();
  const auto ready = verify.initialize(s.Register().Info(), &master);
  PrintErrors(ready.Errors(), err);  // warnings: no history to compare with
  if (ready.HasError()) return 2;
  return EnterOne(s, e, out, err, false, &verify);
}

// Sample transactions, the same for the same count and first date: the
// i-th (from 0) is of type 1 + i % 4 (check, deposit, withdrawal,
// adjustment), dated `from` + i % 61 days, for c = 1000 + i * 7919 % 90000
// cents (deposits 4 * c), adjustments alternately adding and taking away
// (i % 8 == 3 adds), checks numbered 1000 + i, described "Generated <i + 1>".
int CmdGenerate(const Args& a, std::ostream& out, std::ostream& err) {
  std::string bank;
  if (!RequireBank(a, &bank, err)) return 1;
  const long count = std::atol(a.Option("count", "1000").c_str());
  const long unit = std::atol(a.Option("unit", "10000").c_str());
  if (count < 0 || unit < 1) {
    err << "bkreg: --count needs a number that is not negative, --unit one above 0\n";
    return 1;
  }
  tsDate from = tsDate::Today() - 60;  // to today
  if (!a.Option("from").empty()) {
    bool ok = true;
    from = ParseDateOr(a.Option("from"), &ok);
    if (!ok) {
      err << "bkreg: not a date: " << a.Option("from") << "\n";
      return 1;
    }
  }
  Session s(a.company);
  if (!s.Open(err)) return 2;
  long entered = 0;
  const int rc = EnterMany(
      s, bank, count, unit,
      [&](long i, Entry& e) {
        e.type = 1 + static_cast<int>(i % 4);
        const long cents = (1000 + (i * 7919) % 90000) * (e.type == 2 ? 4 : 1);
        e.amount = tsCurrency(tsDouble(cents, 0) / tsDouble(100));
        if (e.type == 4 && i % 8 != 3) e.amount = tsCurrency(-e.amount);
        e.date = from + static_cast<int>(i % 61);
        e.check = e.type == 1 ? 1000 + i : 0;
        e.description = "Generated " + std::to_string(i + 1);
      },
      &entered, err);
  out << "Entered " << entered << " transactions for " << bank << "\n";
  return rc;
}

namespace {

// The register's columns, and those a walk of it reads (the index columns of
// register order come along).
const std::vector<std::string> kRegisterHeadings = {"Date", "Type", "Number", "Description", "Amount", "State", "Balance"};
const std::vector<bool> kRegisterNumeric = {false, false, false, false, true, false, true};
constexpr const char kRegisterColumns[] = "TBNKACC;TTRANDT;TRANTYP;TCHECK;TDEPID;TDESC;TSUBTR;TADD;TRECOND";
constexpr const char kRegisterSumColumns[] = "TBNKACC;TSUBTR;TADD";
constexpr short kRegisterIndex = 5;  // bank, date, check number, subtraction, run, sequence

// Type descriptions by type value (they depend on the type only).
class TypeNames {
 public:
  const std::string& Of(const TransactionData& t) {
    const int v = t.GetType().Value();
    for (const auto& [value, text] : names_) {
      if (value == v) return text;
    }
    names_.emplace_back(v, t.TranTypeFullDescription());
    return names_.back().second;
  }

 private:
  std::vector<std::pair<int, std::string>> names_;
};

// Walks the transactions of bank account `id` in the order of the cursor's
// index (which leads with the bank account), calling `row` with each; the
// cursor starts from an empty record, whatever other cursors on the handle
// did.
template <typename F>
tsioStatus::Status WalkRegister(Transaction& t, const std::string& id, F row) {
  t.Initialize();
  t.m_Record.SetBankAccount(tsAlpha(id));
  tsioStatus::Status st = t.FetchGE(false);
  for (; st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == id; st = t.FetchNext(false)) row(t.m_Record);
  return st == tsioStatus::kSuccess || st == tsioStatus::kEndOfFile ? tsioStatus::kSuccess : st;
}

// What the first walk learns: the sum of the amounts and, for aligned text,
// the widths of the columns. It walks the key (the table's own order, no
// look-ups through a second index), so it cannot follow the running
// balance: the Balance column is made as wide as the widest balance the
// amounts could reach, the opening balance plus all the positive amounts
// or plus all the negative ones. Widths of numbers and dates come from their extreme values
// (a formatted value is wider the further it is from zero on its side of
// it), so the walk formats nothing.
struct RegisterMeasure {
  tsCurrency total, ups, downs;  // downs: the negative amounts
  bool any = false;
  tsCurrency low_amount, high_amount;
  tsDate low_date, high_date;
  tsDouble low_check, high_check;
  bool any_check = false;
  size_t number = 0, description = 0, type = 0, state = 0;
  TypeNames types;

  void Add(const TransactionData& t, bool widths) {
    const tsCurrency amount = t.GetAmount();
    total += amount;
    if (!widths) return;
    if (tsCurrency() < amount) {
      ups += amount;
    } else {
      downs += amount;
    }
    if (!any || amount < low_amount) low_amount = amount;
    if (!any || high_amount < amount) high_amount = amount;
    const tsDate& d = t.GetTransactionDate();
    if (!any || d < low_date) low_date = d;
    if (!any || high_date < d) high_date = d;
    any = true;
    if (t.GetType().Value() == 1) {
      const tsDouble& c = t.GetCheck();
      if (!any_check || c < low_check) low_check = c;
      if (!any_check || high_check < c) high_check = c;
      any_check = true;
    } else {
      number = std::max(number, t.GetDepositID().str().size());
    }
    description = std::max(description, t.GetDescription().str().size());
    type = std::max(type, types.Of(t).size());
    state = std::max(state, std::strlen(TransactionData::ReconcileStateCode(t.GetReconciled().Value())));
  }

  void Widths(TableWriter& w, const tsCurrency& opening) const {
    auto widest = [](const tsData& a, const tsData& b) { return std::max(a.Format().size(), b.Format().size()); };
    w.SetWidth(6, widest(tsCurrency(opening + ups), tsCurrency(opening + downs)));
    w.SetWidth(6, opening.Format().size());
    w.SetWidth(3, std::string("Opening balance").size());
    if (!any) return;
    w.SetWidth(0, widest(low_date, high_date));
    w.SetWidth(1, type);
    w.SetWidth(2, any_check ? std::max(number, widest(low_check, high_check)) : number);
    w.SetWidth(3, description);
    w.SetWidth(4, widest(low_amount, high_amount));
    w.SetWidth(5, state);
  }
};

}  // namespace

// The register in register order with running balances. The register
// balance holds every transaction, so the opening balance is what it was
// before them. Two walks, neither keeping rows: the first adds up the
// amounts in key order (and measures the columns of aligned text), the
// second writes each row as it reads it in register order.
int CmdRegister(const Args& a, std::ostream& out, std::ostream& err) {
  return WithBank(a, err, [&](Session& s, BankAccount& bank, const std::string& id) {
    const bool text = a.format == Format::kText;
    RegisterMeasure m;
    {
      Transaction sum(s.Register(), text ? kRegisterColumns : kRegisterSumColumns, 0);
      tsioStatus::Status st = WalkRegister(sum, id, [&](const TransactionData& t) { m.Add(t, text); });
      if (st != tsioStatus::kSuccess) {
        err << "bkreg: cannot read the register of " << id << " (" << ccIOStatusStr(st) << ")\n";
        return 2;
      }
    }
    tsCurrency running = bank.m_Record.GetRegisterBalance() - m.total;
    TableWriter table(out, a.format, kRegisterHeadings, kRegisterNumeric);
    if (text) m.Widths(table, running);
    std::vector<std::string> cells(kRegisterHeadings.size());
    cells[3] = "Opening balance";
    cells[6] = running.Format();
    table.Row(cells);

    TypeNames types;
    Transaction t(s.Register(), kRegisterColumns, kRegisterIndex);
    tsioStatus::Status st = WalkRegister(t, id, [&](const TransactionData& l) {
      const tsCurrency amount = l.GetAmount();
      running += amount;
      cells[0] = l.GetTransactionDate().Format();
      cells[1] = types.Of(l);
      cells[2] = l.GetType().Value() == 1 ? l.GetCheck().Format() : l.GetDepositID().str();
      cells[3] = l.GetDescription().str();
      cells[4] = amount.Format();
      cells[5] = TransactionData::ReconcileStateCode(l.GetReconciled().Value());
      cells[6] = running.Format();
      table.Row(cells);
    });
    table.End();
    if (st != tsioStatus::kSuccess) {
      err << "bkreg: the register of " << id << " could not be read to the end (" << ccIOStatusStr(st) << ")\n";
      return 2;
    }
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
