// bkreg register, balance: a bank account's register with running balances,
// and its balances as of a date.
//
// balance --kind register (the default): the register balance at the end of
// the date; bank: the cleared balance; reconciled: the last reconciled
// balance; cash: the balance of one GL cash account of the bank account
// (needs --cash-account). Without --as-of, today.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstring>
#include <functional>

#include "accounts/bank_account.h"
#include "balances/balance_accumulators.h"
#include "balances/balance_as_of.h"
#include "ledger/gl_cash_account_balance.h"
#include "framework/base/errors.h"
#include "framework/io/command_reads.h"
#include "framework/io/file_manager.h"
#include "framework/io/ordered_scan.h"
#include "framework/io/read_snapshot.h"
#include "programs/bk_program.h"
#include "records/files.h"
#include "tools/bkreg/commands.h"
#include "tools/bkreg/input.h"
#include "tools/bkreg/ledger_entry.h"
#include "tools/bkreg/register_walk.h"
#include "transactions/transaction.h"

namespace bkreg {

namespace {

// Fetches the bank account `text` names (after the id rules) into `bank`;
// the exit status (1 for an id no account has).
int FetchBank(Context& ctx, BankAccount& bank, const std::string& text, std::string* id) {
  std::string problem = ParseBankId("the bank account id", text, id);
  if (!problem.empty()) return ctx.Refuse(problem);
  bank.m_Record.SetBankAccount(tsAlpha(*id));
  const tsioStatus::Status st = bank.FetchEQ(false);
  if (st == tsioStatus::kNotFound) return ctx.Refuse("no bank account '" + *id + "'");
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot read bank account '" + *id + "'", st);
  return kDone;
}

// The register's columns: a line is named by its run and sequence (what
// clear and remove take), and says whether it is posted.
const std::vector<std::string> kRegisterHeadings = {"Date",   "Run",   "Seq",    "Type",   "Number",
                                                    "Description", "Amount", "State", "Posted", "Balance"};
const std::vector<bool> kRegisterNumeric = {false, true, true, false, false, false, true, false, false, true};
enum RegisterCol { kColDate, kColRun, kColSeq, kColType, kColNumber, kColDesc, kColAmount, kColState, kColPosted,
                   kColBalance };
constexpr const char kRegisterColumns[] = "TBNKACC;TRUN;TSEQ;TTRANDT;TRANTYP;TCHECK;TDEPID;TDESC;TSUBTR;TADD;TRECOND";

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

// Walks the register of bank account `id` (unposted and posted lines
// together, register_walk.h) from date `from` (when it is not empty),
// calling `row` with each line and whether it is posted (it answers false
// to stop).
template <typename F>
tsioStatus::Status WalkRegister(Session& s, const tsioDataFile& history, const std::string& id, const tsDate& from,
                                F row) {
  RegisterWalk walk(s.Register(), history, kRegisterColumns);
  walk.Start(id, from);
  tsioStatus::Status st;
  const TransactionData* line = nullptr;
  bool posted = false;
  while ((st = walk.Next(&line, &posted)) == tsioStatus::kSuccess) {
    if (!row(*line, posted)) break;
  }
  return st == tsioStatus::kSuccess || st == tsioStatus::kEndOfFile ? tsioStatus::kSuccess : st;
}

// Walks the transactions of bank account `id` in the table's own (key)
// order, where a plain walk reads each page once.
void StartInKeyOrder(Transaction& t, const std::string& id) {
  t.Initialize();
  t.m_Record.SetBankAccount(tsAlpha(id));
}

template <typename F>
tsioStatus::Status WalkInKeyOrder(Transaction& t, const std::string& id, F row) {
  StartInKeyOrder(t, id);
  tsioStatus::Status st = t.FetchGE(false);
  for (; st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == id; st = t.FetchNext(false)) {
    if (!row(t.m_Record)) break;
  }
  return st == tsioStatus::kSuccess || st == tsioStatus::kEndOfFile ? tsioStatus::kSuccess : st;
}

// Adds up the amounts of bank account `id` into `total`, and those dated
// before `from` (when it is not empty) into `before`. It walks index 14
// (bank, subtraction, addition, transaction date, run, sequence, ...), which
// holds every column the sum needs, so only that narrow index is read, never
// the table's rows. The walk starts below any subtraction a row could hold
// (not at zero), so no amount of any sign is left out, and ends where the
// bank account changes.
constexpr const char kRegisterSumColumns[] = "TBNKACC;TTRANDT;TSUBTR;TADD";
constexpr short kRegisterSumIndex = 14;

void StartSum(Transaction& t, const std::string& id) {
  t.Initialize();
  t.m_Record.SetBankAccount(tsAlpha(id));
  t.m_Record.SetSubtraction(tsCurrency(-(int64_t{1} << 52)));
}

tsioStatus::Status SumRegister(const tsioDataFile& file, const std::string& id, const tsDate& from, tsCurrency* total,
                               tsCurrency* before) {
  Transaction t(file, kRegisterSumColumns, kRegisterSumIndex);
  StartSum(t, id);
  tsioStatus::Status st = t.FetchGE(false);
  for (; st == tsioStatus::kSuccess && t.m_Record.GetBankAccount() == id; st = t.FetchNext(false)) {
    const tsCurrency amount = t.m_Record.GetAmount();
    *total += amount;
    if (!from.IsEmpty() && t.m_Record.GetTransactionDate() < from) *before += amount;
  }
  return st == tsioStatus::kSuccess || st == tsioStatus::kEndOfFile ? tsioStatus::kSuccess : st;
}

// What the first walk of aligned text learns: the sum of the amounts and
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
  tsDouble low_check, high_check, high_run, high_sequence;
  bool any_check = false;
  size_t number = 0, description = 0, type = 0, state = 0;
  TypeNames types;

  void Add(const TransactionData& t) {
    const tsCurrency amount = t.GetAmount();
    total += amount;
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
    if (!any || high_run < t.GetRun()) high_run = t.GetRun();
    if (!any || high_sequence < t.GetSequence()) high_sequence = t.GetSequence();
    any = true;
    if (t.GetType().Value() == 1) {
      const tsDouble& c = t.GetCheck();
      if (!any_check || c < low_check) low_check = c;
      if (!any_check || high_check < c) high_check = c;
      any_check = true;
    } else {
      number = std::max(number, TextWidth(t.GetDepositID().str()));
    }
    description = std::max(description, TextWidth(t.GetDescription().str()));
    type = std::max(type, types.Of(t).size());
    state = std::max(state, std::strlen(TransactionData::ReconcileStateCode(t.GetReconciled().Value())));
  }

  void Widths(TableWriter& w, const tsCurrency& opening) const {
    auto widest = [](const tsData& a, const tsData& b) { return std::max(a.Format().size(), b.Format().size()); };
    w.SetWidth(kColBalance, widest(tsCurrency(opening + ups), tsCurrency(opening + downs)));
    w.SetWidth(kColBalance, opening.Format().size());
    w.SetWidth(kColDesc, std::string("Opening balance").size());
    if (!any) return;
    w.SetWidth(kColDate, widest(low_date, high_date));
    w.SetWidth(kColRun, high_run.Format().size());
    w.SetWidth(kColSeq, high_sequence.Format().size());
    w.SetWidth(kColType, type);
    w.SetWidth(kColNumber, any_check ? std::max(number, widest(low_check, high_check)) : number);
    w.SetWidth(kColDesc, description);
    w.SetWidth(kColAmount, widest(low_amount, high_amount));
    w.SetWidth(kColState, state);
    w.SetWidth(kColPosted, 3);
  }
};

// Adds up the amounts of bank account `id` in both files (unposted and
// posted), and those dated before `from`.
tsioStatus::Status SumBothFiles(Session& s, const tsioDataFile& history, const std::string& id, const tsDate& from,
                                tsCurrency* total, tsCurrency* before) {
  tsioStatus::Status st = SumRegister(s.Register(), id, from, total, before);
  if (st == tsioStatus::kSuccess) st = SumRegister(history, id, from, total, before);
  return st;
}

}  // namespace

// The register in register order with running balances, unposted and
// posted lines together. The register balance holds every transaction, so
// the opening balance is what it was before them. Two walks, neither keeping
// rows: the first adds up the amounts (aligned text walks the tables in key
// order, measuring the columns too; the other formats need the sum alone
// and read index 14 only), the second writes each row as it reads it in
// register order. With a period, the opening balance is the balance before
// its first day, and the second walk starts there; with a state, other rows
// are left out but still move the running balance.
int PrintRegister(Context& ctx, const std::string& text, const RegisterFilter& filter) {
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  BankAccount bank(s->Master(), "", 0);
  std::string id;
  if (const std::string problem = ParseBankId("the bank account id", text, &id); !problem.empty()) {
    return ctx.Refuse(problem);
  }
  const tsioDataFile* history = s->History(ctx, &status);
  if (history == nullptr) return status;
  const bool aligned = ctx.format == Format::kText;
  // The sum, the stored balance and the rows from one committed state; the
  // account is read once, in it. On a server the account, the first batch
  // of each walk of both files and the snapshot's beginning go in one
  // request.
  tsioCommandReads reads(s->Register());
  reads.Keep(s->Master(), BankAccountData::kRecordType);
  reads.Keep(s->Register(), TransactionData::kRecordType);
  reads.Keep(*history, TransactionData::kRecordType);
  tsioReadSnapshot snapshot(s->Register().Company());
  if (snapshot.Status() != tsioStatus::kSuccess) return ctx.IoFailure("cannot read the company", snapshot.Status());
  {
    BankAccount ask(s->Master(), "", 0);
    ask.m_Record.SetBankAccount(tsAlpha(id));
    reads.PrefetchEQ(*ask.CursorPtr());
    for (const tsioDataFile* file : {&s->Register(), history}) {
      if (aligned) {
        Transaction first(*file, kRegisterColumns, 0);
        StartInKeyOrder(first, id);
        reads.PrefetchGE(*first.CursorPtr());
      } else {
        Transaction first(*file, kRegisterSumColumns, kRegisterSumIndex);
        StartSum(first, id);
        reads.PrefetchGE(*first.CursorPtr());
      }
    }
    RegisterWalk page(s->Register(), *history, kRegisterColumns);
    page.Prefetch(id, filter.from);
    reads.Send();
  }
  if ((status = FetchBank(ctx, bank, std::string(id), &id)) != kDone) return status;
  RegisterMeasure m;
  tsCurrency before;  // dated before the period
  {
    tsioStatus::Status st = tsioStatus::kSuccess;
    if (aligned) {
      for (const tsioDataFile* file : {&s->Register(), history}) {
        Transaction sum(*file, kRegisterColumns, 0);
        if (st == tsioStatus::kSuccess) {
          st = WalkInKeyOrder(sum, id, [&](const TransactionData& t) {
            m.Add(t);
            if (!filter.from.IsEmpty() && t.GetTransactionDate() < filter.from) before += t.GetAmount();
            return true;
          });
        }
      }
    } else {
      st = SumBothFiles(*s, *history, id, filter.from, &m.total, &before);
    }
    if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot read the register of " + id, st);
  }
  tsCurrency running = bank.m_Record.GetRegisterBalance() - m.total + before;
  TableWriter table(ctx.out, ctx.format, kRegisterHeadings, kRegisterNumeric);
  if (aligned) m.Widths(table, running);
  std::vector<std::string> cells(kRegisterHeadings.size());
  cells[kColDesc] = "Opening balance";
  cells[kColBalance] = running.Format();
  table.Row(cells);

  TypeNames types;
  tsioStatus::Status st = WalkRegister(*s, *history, id, filter.from, [&](const TransactionData& l, bool posted) {
    if (!filter.to.IsEmpty() && filter.to < l.GetTransactionDate()) return false;
    const tsCurrency amount = l.GetAmount();
    running += amount;
    const int state = l.GetReconciled().Value();
    if (filter.state != 0 && state != filter.state) return true;
    cells[kColDate] = l.GetTransactionDate().Format();
    cells[kColRun] = l.GetRun().Format();
    cells[kColSeq] = l.GetSequence().Format();
    cells[kColType] = types.Of(l);
    cells[kColNumber] = l.GetType().Value() == 1 ? l.GetCheck().Format() : l.GetDepositID().str();
    cells[kColDesc] = l.GetDescription().str();
    cells[kColAmount] = amount.Format();
    cells[kColState] = TransactionData::ReconcileStateCode(state);
    cells[kColPosted] = posted ? "yes" : "no";
    cells[kColBalance] = running.Format();
    table.Row(cells);
    return table.Good();  // a failed write stops the walk
  });
  table.End();
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("the register of " + id + " could not be read to the end", st);
  return kDone;
}

int PrintRegister(Context& ctx, const std::string& bank) { return PrintRegister(ctx, bank, RegisterFilter()); }

namespace {

// One journal line's text: one line, no comment marks.
std::string JournalText(const std::string& text) {
  std::string s = TextCell(text);
  for (char& c : s) {
    if (c == ';' || c == '#' || c == '|') c = ',';
  }
  return s;
}

// The register (unposted and posted lines) in the import file's form
// (date,type,number,amount, description), or as a plain-text journal: an opening entry the day before
// the first transaction, then one entry per transaction, each posting its
// net amount to Assets:Bank:<ID> against Equity:Register:<ID>; cleared and
// reconciled transactions are marked "*".
int Export(Context& ctx, const std::string& text, const std::string& form) {
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  BankAccount bank(s->Master(), "", 0);
  std::string id;
  if ((status = FetchBank(ctx, bank, text, &id)) != kDone) return status;
  const tsioDataFile* history = s->History(ctx, &status);
  if (history == nullptr) return status;
  tsioReadSnapshot snapshot(s->Register().Company());
  if (snapshot.Status() != tsioStatus::kSuccess) return ctx.IoFailure("cannot read the company", snapshot.Status());
  if (const tsioStatus::Status st = bank.FetchEQ(false); st != tsioStatus::kSuccess) {
    return ctx.IoFailure("cannot read bank account '" + id + "'", st);
  }
  tsCurrency total;
  {
    tsCurrency unused;
    const tsioStatus::Status st = SumBothFiles(*s, *history, id, tsDate(), &total, &unused);
    if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot read the register of " + id, st);
  }
  const tsCurrency opening = bank.m_Record.GetRegisterBalance() - total;
  static const char* kTypes[] = {"", "check", "deposit", "withdrawal", "adjustment"};
  tsioStatus::Status st;
  if (form == "csv") {
    TableWriter table(ctx.out, Format::kCsv, {"date", "type", "number", "amount", "description"},
                      {false, false, false, true, false});
    std::vector<std::string> cells(5);
    st = WalkRegister(*s, *history, id, tsDate(), [&](const TransactionData& l, bool) {
      const int type = l.GetType().Value();
      cells[0] = l.GetTransactionDate().Format();
      cells[1] = type >= 1 && type <= 4 ? kTypes[type] : std::to_string(type);
      cells[2] = type == 1 ? l.GetCheck().Format() : l.GetDepositID().str();
      tsCurrency amount = l.GetAmount();
      if (type == 1 || type == 3) amount = tsCurrency(-amount);  // as entered: positive
      cells[3] = amount.Format();
      cells[4] = l.GetDescription().str();
      table.Row(cells);
      return table.Good();
    });
    table.End();
  } else {
    const std::string account = "Assets:Bank:" + id, equity = "Equity:Register:" + id;
    bool opened = false;
    std::string buf;
    st = WalkRegister(*s, *history, id, tsDate(), [&](const TransactionData& l, bool) {
      buf.clear();
      if (!opened) {
        opened = true;
        const tsDate day = l.GetTransactionDate() - 1;
        buf += day.Format() + " * Opening balance\n    " + account + "  " + opening.Format() + "\n    " + equity +
               "\n\n";
      }
      const int type = l.GetType().Value();
      const int state = l.GetReconciled().Value();
      buf += l.GetTransactionDate().Format();
      buf += state == 2 || state == 3 ? " * " : " ";
      buf += type >= 1 && type <= 4 ? kTypes[type] : "transaction";
      const std::string number = type == 1 ? l.GetCheck().Format() : l.GetDepositID().str();
      if (!number.empty()) buf += " " + JournalText(number);
      if (!l.GetDescription().str().empty()) buf += " - " + JournalText(l.GetDescription().str());
      buf += "\n    " + account + "  " + l.GetAmount().Format() + "\n    " + equity + "\n\n";
      ctx.out << buf;
      return ctx.out.good();
    });
    if (st == tsioStatus::kSuccess && !opened) {
      ctx.out << tsDate::Today().Format() << " * Opening balance\n    " << account << "  " << opening.Format()
              << "\n    " << equity << "\n";
    }
  }
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("the register of " + id + " could not be read to the end", st);
  return kDone;
}

}  // namespace

namespace {

struct BalanceOptions {
  std::string bank, as_of, kind = "register", cash;
};

int Balance(Context& ctx, const BalanceOptions& o) {
  if ((o.kind == "cash") == o.cash.empty()) return ctx.Refuse("--cash-account goes with --kind cash, and only with it");
  tsDate as_of = tsDate::Today();
  if (!o.as_of.empty()) {
    const std::string problem = ParseDate("--as-of", o.as_of, &as_of);
    if (!problem.empty()) return ctx.Refuse(problem);
  }
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  BankAccount bank(s->Master(), "", 0);
  std::string id;
  if ((status = FetchBank(ctx, bank, o.bank, &id)) != kDone) return status;
  const tsAlpha key(id);
  // Posted transactions and their details live in history.
  const tsioDataFile* history = s->History(ctx, &status);
  if (history == nullptr) return status;
  // The current file, the history and the stored figures are read in one
  // snapshot: a posting committed between them would move a transaction
  // from one file to the other under the computation's feet.
  tsioReadSnapshot snapshot(s->Register().Company());
  if (snapshot.Status() != tsioStatus::kSuccess) return ctx.IoFailure("cannot read the company", snapshot.Status());
  {
    BankAccount again(s->Master(), "", 0);
    again.m_Record.SetBankAccount(key);
    const tsioStatus::Status st = again.FetchEQ(false);
    if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot read bank account '" + id + "'", st);
    bank.m_Record = again.m_Record;
  }
  // Every kind's walk starts from a stored figure and takes off what its file
  // holds after the date; over both files that is the two walks less the
  // stored figure (for a cash account, a walk with nothing after the date).
  std::function<tsCurrency(const tsioDataFile&, const tsDate&)> walk;
  if (o.kind == "register") {
    walk = [&](const tsioDataFile& f, const tsDate& d) {
      return bkRegisterBalanceAsOfDateAccumulator(key, d, s->Master(), f).accumulate();
    };
  } else if (o.kind == "bank") {
    walk = [&](const tsioDataFile& f, const tsDate& d) {
      return bkBankBalanceAsOfDateAccumulator(key, d, s->Master(), f).accumulate();
    };
  } else if (o.kind == "reconciled") {
    walk = [&](const tsioDataFile& f, const tsDate& d) {
      return bkLastReconciledBalanceAsOfDateAccumulator(key, d, s->Master(), f).accumulate();
    };
  } else {
    // A cash account nothing was entered on for the general ledger has no
    // balance record yet: its balance is 0.00 at every date.
    GLCashAccountBalance record(s->Master(), "", 0);
    record.m_Record.SetBankAccount(key);
    record.m_Record.SetGLCashAccount(CashAccountKey(o.cash));
    const tsioStatus::Status found = record.FetchEQ(false);
    if (found == tsioStatus::kNotFound || found == tsioStatus::kEndOfFile) {
      walk = [](const tsioDataFile&, const tsDate&) { return tsCurrency(); };
    } else if (found != tsioStatus::kSuccess) {
      return ctx.IoFailure("cannot read the cash balance of '" + id + "'", found);
    } else {
      walk = [&](const tsioDataFile& f, const tsDate& d) {
        return bkCashAccountBalanceAsOfDateAccumulator(key, tsAlpha(o.cash), d, s->Master(), f).accumulate();
      };
    }
  }
  const tsCurrency current = walk(s->Register(), as_of), posted = walk(*history, as_of);
  const tsCurrency stored = o.kind == "register"     ? bank.m_Record.GetRegisterBalance()
                            : o.kind == "bank"       ? bank.m_Record.GetBankBalance()
                            : o.kind == "reconciled" ? bank.m_Record.GetLastReconciledBalance()
                                                     : walk(s->Register(), tsDate(9999, 12, 31));
  tsCurrency balance = bkBalanceFailureAmount();
  if (!bkIsBalanceFailure(current) && !bkIsBalanceFailure(posted) && !bkIsBalanceFailure(stored))
    balance = tsCurrency(current + posted - stored);
  if (bkIsBalanceFailure(balance)) {
    return ctx.Fail("the " + o.kind + " balance of '" + id + "' could not be computed (details in " + ctx.CompanyShown() +
                    "/bkreg.log)");
  }
  Table table{{"Bank", "As of", "Kind", "Balance"}, {false, false, false, true}, {}};
  table.rows.push_back({id, as_of.Format(), o.kind == "cash" ? "cash " + o.cash : o.kind, balance.Format()});
  table.Print(ctx.out, ctx.format);
  return kDone;
}

struct RegisterOptions {
  std::string bank, from, to, state;
};

int Register(Context& ctx, const RegisterOptions& o) {
  if (o.bank.empty()) return ctx.Refuse("register: which bank account? (BANK)");
  RegisterFilter f;
  std::string problem;
  if (!o.from.empty()) problem = ParseDate("--from", o.from, &f.from);
  if (problem.empty() && !o.to.empty()) problem = ParseDate("--to", o.to, &f.to);
  if (!problem.empty()) return ctx.Refuse(problem);
  if (!f.from.IsEmpty() && !f.to.IsEmpty() && f.to < f.from) return ctx.Refuse("--to is before --from");
  f.state = o.state == "open" ? 1 : o.state == "cleared" ? 2 : o.state == "reconciled" ? 3 : 0;
  return PrintRegister(ctx, o.bank, f);
}

}  // namespace

void AddRegisterCommands(CLI::App& app, Context& ctx) {
  auto r = std::make_shared<RegisterOptions>();
  CLI::App* reg = app.add_subcommand("register", "the register in register order with running balances");
  reg->add_option("BANK", r->bank, "bank account id");
  reg->add_option("--bank", r->bank, "bank account id (instead of BANK)");
  reg->add_option("--from", r->from, "first date shown (the opening balance is the balance before it)");
  reg->add_option("--to", r->to, "last date shown");
  reg->add_option("--state", r->state, "only open, cleared or reconciled transactions")
      ->check(CLI::IsMember({"open", "cleared", "reconciled"}));
  reg->callback([&ctx, r] { ctx.status = Register(ctx, *r); });

  auto e = std::make_shared<std::pair<std::string, std::string>>("", "csv");
  CLI::App* exp = app.add_subcommand(
      "export", "the register as CSV in the import file's form, or as a plain-text accounting journal");
  exp->add_option("BANK", e->first, "bank account id")->required();
  exp->add_option("--format", e->second, "csv (date,type,number,amount,description) or journal")
      ->check(CLI::IsMember({"csv", "journal"}));
  exp->callback([&ctx, e] { ctx.status = Export(ctx, e->first, e->second); });

  auto b = std::make_shared<BalanceOptions>();
  CLI::App* balance = app.add_subcommand("balance", "a bank account's balance at the end of a date");
  balance->add_option("BANK", b->bank, "bank account id");
  balance->add_option("--bank", b->bank, "bank account id (instead of BANK)");
  balance->add_option("--as-of", b->as_of, "the date (default today)");
  balance->add_option("--kind", b->kind, "register (default), bank, reconciled or cash")
      ->check(CLI::IsMember({"register", "bank", "reconciled", "cash"}));
  balance->add_option("--cash-account", b->cash, "the GL cash account (with --kind cash)");
  balance->callback([&ctx, b] {
    ctx.status = b->bank.empty() ? ctx.Refuse("balance: which bank account? (BANK)") : Balance(ctx, *b);
  });
}

}  // namespace bkreg
