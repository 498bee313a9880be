// bkreg bank add|list|show|edit: the bank accounts of the company.
//
// A bank account's id follows the id rules of input.h (trimmed, upper-cased,
// 1 to 15 letters, digits, "-", "_", ".", "/"); its description is at most 40
// characters. The opening balance is the account's register and bank
// balance before any transaction, and the balance its first reconciliation
// starts from. Its account number (--account-number, at most 30
// characters) is the bank's number of the account, which a statement must
// carry to be imported into it.
#include <CLI/CLI.hpp>

#include "accounts/bank_account.h"
#include "framework/base/errors.h"
#include "tools/bkreg/commands.h"
#include "tools/bkreg/input.h"

namespace bkreg {

namespace {

constexpr int kDescriptionLimit = 40;
constexpr int kAccountNumberLimit = 30;
constexpr int kLastAccountType = 10;

struct BankOptions {
  std::string id, desc, balance, cash_account, account_number;
  int type = 1;
};

// The account's balances and every open total (a magnitude per kind;
// adjustments by the sign of their amount) with the open net they add up
// to: deposits + adjustments(+) - checks - withdrawals - adjustments(-).
const std::vector<std::string> kListHeadings = {
    "Bank",           "Description",      "Type",          "Register",           "Bank balance", "Open checks",
    "Open deposits", "Open withdrawals", "Open adjustments +", "Open adjustments -", "Open net"};
const std::vector<bool> kListNumeric = {false, false, false, true, true, true, true, true, true, true, true};

std::vector<std::string> ListRow(const BankAccountData& r) {
  return {r.GetBankAccount().str(),           r.GetDescription().str(),          r.TypeString(0),
          r.GetRegisterBalance().Format(),    r.GetBankBalance().Format(),       r.GetOpenChecks().Format(),
          r.GetOpenDeposits().Format(),       r.GetOpenWithdrawals().Format(),   r.GetOpenAdjustmentsPlus().Format(),
          r.GetOpenAdjustmentsMinus().Format(), r.GetOpenTransactions().Format()};
}

int Add(Context& ctx, const BankOptions& o) {
  std::string id, desc;
  tsCurrency balance;
  std::string problem = ParseBankId("the bank account id", o.id, &id);
  if (problem.empty()) problem = CheckText("--desc", o.desc.empty() ? id : o.desc, kDescriptionLimit, &desc);
  if (problem.empty() && !o.balance.empty()) problem = ParseAmount("--balance", o.balance, &balance);
  std::string cash, number;
  if (problem.empty()) problem = CheckText("--cash-account", o.cash_account, 45, &cash);
  if (problem.empty()) problem = CheckText("--account-number", o.account_number, kAccountNumberLimit, &number);
  if (!problem.empty()) return ctx.Refuse(problem);
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  BankAccount bank(s->Master(), "", 0);
  bank.m_Record.SetBankAccount(tsAlpha(id));
  bank.m_Record.SetDescription(tsAlpha(desc));
  tclTSEnum<BankAccountData::BankAccountTypeEnum> type;
  type.SetValue(o.type);
  bank.m_Record.SetAccountType(type);
  bank.m_Record.SetMiscCashAccount(tsAlpha(cash));
  bank.m_Record.SetAccountNumber(tsAlpha(number));
  SetOpeningBalance(bank.m_Record, balance);
  const tsioStatus::Status st = ctx.Waiting([&] { return bank.Insert(); });
  if (st == tsioStatus::kDuplicateKey) return ctx.Refuse("bank account '" + id + "' exists already");
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot add bank account '" + id + "'", st);
  if (ctx.format == Format::kText) {
    ctx.out << "Added bank account " << id << "\n";
  } else {
    Table{kListHeadings, kListNumeric, {ListRow(bank.m_Record)}}.Print(ctx.out, ctx.format);
  }
  return kDone;
}

}  // namespace

int ListBanks(Context& ctx) {
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  BankAccount bank(s->Master(), "", 0);
  Table table{kListHeadings, kListNumeric, {}};
  tsioStatus::Status st = bank.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = bank.FetchNext(false)) table.rows.push_back(ListRow(bank.m_Record));
  if (st != tsioStatus::kEndOfFile) return ctx.IoFailure("cannot read the bank accounts", st);
  table.Print(ctx.out, ctx.format);
  return kDone;
}

namespace {

// Fetches the bank account `text` names (after the id rules) into `bank`;
// the exit status (1 for an id no account has).
int FetchBank(Context& ctx, BankAccount& bank, const std::string& text, std::string* id, bool lock) {
  std::string problem = ParseBankId("the bank account id", text, id);
  if (!problem.empty()) return ctx.Refuse(problem);
  bank.m_Record.SetBankAccount(tsAlpha(*id));
  const tsioStatus::Status st = ctx.Waiting([&] { return bank.FetchEQ(lock); });
  if (st == tsioStatus::kNotFound) return ctx.Refuse("no bank account '" + *id + "'");
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot read bank account '" + *id + "'", st);
  return kDone;
}

int Show(Context& ctx, const std::string& text) {
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  BankAccount bank(s->Master(), "", 0);
  std::string id;
  if ((status = FetchBank(ctx, bank, text, &id, false)) != kDone) return status;
  const BankAccountData& r = bank.m_Record;
  const tsDate& reconciled = r.GetLastReconciledDate();
  Table{{"Bank", "Description", "Type", "Register", "Bank balance", "Last reconciled",
         "Reconciled balance", "Open checks", "Open deposits", "Open withdrawals", "Open adjustments +",
         "Open adjustments -", "Open net", "Unreconciled net"},
        {false, false, false, true, true, false, true, true, true, true, true, true, true, true},
        {{r.GetBankAccount().str(), r.GetDescription().str(), r.TypeString(0), r.GetRegisterBalance().Format(),
          r.GetBankBalance().Format(), reconciled.IsEmpty() ? "" : reconciled.Format(),
          r.GetLastReconciledBalance().Format(), r.GetOpenChecks().Format(), r.GetOpenDeposits().Format(),
          r.GetOpenWithdrawals().Format(), r.GetOpenAdjustmentsPlus().Format(), r.GetOpenAdjustmentsMinus().Format(),
          r.GetOpenTransactions().Format(), r.GetUnreconciledTransactions().Format()}}}
      .Print(ctx.out, ctx.format);
  return kDone;
}

// Changes what describes an account: its description, type, cash account
// (the general-ledger account of its bank side, for entries from then on)
// and account number. Balances and totals change only through
// transactions.
struct EditWhat {
  bool desc = false, type = false, cash = false, number = false;
};

int Edit(Context& ctx, const BankOptions& o, const EditWhat& what) {
  std::string desc, cash, number;
  std::string problem;
  if (what.desc) problem = CheckText("--desc", o.desc, kDescriptionLimit, &desc);
  if (problem.empty() && what.cash) problem = CheckText("--cash-account", o.cash_account, 45, &cash);
  if (problem.empty() && what.number) {
    problem = CheckText("--account-number", o.account_number, kAccountNumberLimit, &number);
  }
  if (!problem.empty()) return ctx.Refuse(problem);
  if (!what.desc && !what.type && !what.cash && !what.number) {
    return ctx.Refuse("bank edit: nothing to change (--desc, --type, --cash-account, --account-number)");
  }
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  BankAccount bank(s->Master(), "", 0);
  std::string id;
  if ((status = FetchBank(ctx, bank, o.id, &id, true)) != kDone) return status;
  if (what.desc) bank.m_Record.SetDescription(tsAlpha(desc));
  if (what.type) {
    tclTSEnum<BankAccountData::BankAccountTypeEnum> type;
    type.SetValue(o.type);
    bank.m_Record.SetAccountType(type);
  }
  if (what.cash) bank.m_Record.SetMiscCashAccount(tsAlpha(cash));
  if (what.number) bank.m_Record.SetAccountNumber(tsAlpha(number));
  const tsioStatus::Status st = bank.Update();
  (void)bank.Unlock();
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot change bank account '" + id + "'", st);
  if (ctx.format == Format::kText) {
    ctx.out << "Changed bank account " << id << "\n";
  } else {
    Table{kListHeadings, kListNumeric, {ListRow(bank.m_Record)}}.Print(ctx.out, ctx.format);
  }
  return kDone;
}

}  // namespace

void AddBankCommands(CLI::App& app, Context& ctx) {
  CLI::App* bank = app.add_subcommand("bank", "bank accounts: add, list, show, edit");
  bank->require_subcommand(1);
  auto o = std::make_shared<BankOptions>();

  CLI::App* add = bank->add_subcommand("add", "adds a bank account");
  add->add_option("ID", o->id, "bank account id: 1 to 15 letters, digits, - _ . / (upper-cased)")->required();
  add->add_option("--desc", o->desc, "description, at most 40 characters (default: the id)");
  add->add_option("--type", o->type, "account type 1 to 10 (1 checking, 2 savings, ...)")
      ->check(CLI::Range(1, kLastAccountType));
  add->add_option("--balance", o->balance, "opening balance (an amount)");
  add->add_option("--cash-account", o->cash_account, "its general-ledger cash account");
  add->add_option("--account-number", o->account_number,
                  "the bank's number of the account (its statements must carry it), at most 30 characters");
  add->callback([&ctx, o] { ctx.status = Add(ctx, *o); });

  CLI::App* list = bank->add_subcommand("list", "bank accounts with register and bank balances and open totals");
  list->callback([&ctx] { ctx.status = ListBanks(ctx); });

  CLI::App* show = bank->add_subcommand("show", "one bank account: balances, totals, last reconciliation");
  show->add_option("ID", o->id, "bank account id")->required();
  show->callback([&ctx, o] { ctx.status = Show(ctx, o->id); });

  CLI::App* edit = bank->add_subcommand("edit", "changes a bank account's description, type, cash account or account number");
  edit->add_option("ID", o->id, "bank account id")->required();
  CLI::Option* desc = edit->add_option("--desc", o->desc, "new description, at most 40 characters");
  CLI::Option* type =
      edit->add_option("--type", o->type, "new account type 1 to 10")->check(CLI::Range(1, kLastAccountType));
  CLI::Option* cash = edit->add_option("--cash-account", o->cash_account,
                                       "the general-ledger account of the bank's side (entries from now on)");
  CLI::Option* number = edit->add_option("--account-number", o->account_number,
                                         "the bank's number of the account (its statements must carry it)");
  edit->callback([&ctx, o, desc, type, cash, number] {
    ctx.status = Edit(ctx, *o, EditWhat{desc->count() > 0, type->count() > 0, cash->count() > 0, number->count() > 0});
  });
}

void SetOpeningBalance(BankAccountData& bank, const tsCurrency& balance) {
  bank.SetRegisterBalance(balance);
  bank.SetRegisterViewBalance(balance);
  bank.SetBankBalance(balance);
  bank.SetBankViewBalance(balance);
  bank.SetLastReconciledBalance(balance);
}

}  // namespace bkreg
