// The demo company's month of work with the general ledger: accounts and
// periods, a batch of checks and deposits with their distribution lines
// entered against control totals, posted to history with its general-ledger
// lines (the posting journal printed), a bank statement reconciled (the
// cleared difference shown as it shrinks to 0.00) and balances as of dates.
//
// Every step goes through the same command bodies a user runs; the output
// of the set-up steps is kept quiet, what a person reads is printed.
#include <algorithm>
#include <iostream>
#include <sstream>

#include "accounts/bank_account.h"
#include "balances/balance_accumulators.h"
#include "balances/balance_as_of.h"
#include "tools/bkreg/commands.h"
#include "tools/bkreg/entry.h"
#include "tools/bkreg/module_commands.h"
#include "tools/bkreg/module_work.h"

namespace bkreg {

namespace {

// Runs one step; on failure its messages go to the error stream.
template <typename F>
int Step(Context& ctx, const char* what, F body) {
  std::ostringstream out, err;
  const int rc = body(out, err);
  if (rc != kDone) ctx.err << err.str() << "bkreg: the demo stopped at: " << what << "\n";
  return rc;
}

}  // namespace

// A register balance as of a date over the register and history: each walk
// takes from the stored total what its file holds dated after the date.
tsCurrency RegisterBalanceAsOf(ModuleWork& w, const std::string& bank, const tsDate& date) {
  const tsCurrency current =
      bkRegisterBalanceAsOfDateAccumulator(tsAlpha(bank), date, w.Master(), w.Register()).accumulate();
  const tsCurrency history =
      bkRegisterBalanceAsOfDateAccumulator(tsAlpha(bank), date, w.Master(), w.History()).accumulate();
  if (bkIsBalanceFailure(current) || bkIsBalanceFailure(history)) return bkBalanceFailureAmount();
  BankAccount b(w.Master());
  b.m_Record.SetBankAccount(tsAlpha(bank));
  if (b.FetchEQ(false) != tsioStatus::kSuccess) return bkBalanceFailureAmount();
  return current + history - b.m_Record.GetRegisterBalance();
}

int RunDemoMonth(Context& ctx) {
  const Common c{&ctx, Format::kText};
  const tsDate today = tsDate::Today();
  int rc = kDone;
  // The general ledger: accounts, the periods of the month's years, the
  // banks' cash accounts, the interface on.
  for (const char* account : {"1000", "1010", "4000", "4100", "6000", "6100"}) {
    rc = Step(ctx, "gl account add", [&](std::ostream& o, std::ostream& e) {
      return GlAccountAdd(c, GlAccountOptions{account, false}, o, e);
    });
    if (rc != kDone) return rc;
  }
  for (long year : {static_cast<long>((today - 40).Year()), static_cast<long>(today.Year())}) {
    GlPeriodOptions p;
    p.year = year;
    std::ostringstream o, e;
    if (GlPeriodAdd(c, p, o, e) == kFailed) {  // a year added already is refused (1)
      ctx.err << e.str();
      return kFailed;
    }
  }
  {
    ModuleWork w(ctx);
    if ((rc = w.Open()) != kDone) return rc;
    static const char* const kCash[][2] = {{"OPERATING", "1000"}, {"PAYROLL", "1010"}};
    for (const auto& [id, cash] : kCash) {
      BankAccount b(w.Master());
      b.m_Record.SetBankAccount(tsAlpha(id));
      tsioStatus::Status st = b.FetchEQ(true);
      if (st == tsioStatus::kSuccess) {
        b.m_Record.SetMiscCashAccount(tsAlpha(cash));
        st = b.Update();
        (void)b.Unlock();
      }
      if (st != tsioStatus::kSuccess) return ctx.IoFailure(std::string("cannot set the cash account of ") + id, st);
    }
  }
  rc = Step(ctx, "gl interface on", [&](std::ostream& o, std::ostream& e) { return GlInterface(c, true, o, e); });
  if (rc != kDone) return rc;

  // A batch of checks and deposits against its control totals: four
  // entries, deposits of 2,150.00 less checks of 984.60.
  const tsDate day1 = today - 9, day2 = today - 7, day3 = today - 6;
  BatchOptions b;
  b.id = "MONTH";
  b.description = "Month-end batch";
  b.date = day1.Format();
  b.control_count.emplace(4);
  b.control_amount = "1165.40";
  rc = Step(ctx, "batch open", [&](std::ostream& o, std::ostream& e) { return BatchOpen(c, b, o, e); });
  if (rc != kDone) return rc;
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  if (!EnterPrepareLedger(s->Program(), ctx.err)) return kFailed;
  auto entry = [&](int type, const char* amount, const tsDate& date, long long check, const char* desc,
                   const char* account, const std::vector<DetailLine>& lines, const char* deposit_id) {
    Entry e;
    e.bank = "OPERATING";
    e.type = type;
    e.amount = tsCurrency::FromText(amount);
    e.date = date;
    e.check = check;
    e.description = desc;
    e.account = account;
    e.lines = lines;
    e.deposit_id = deposit_id;
    e.batch = "MONTH";
    return EnterOne(ctx, *s, e, true);
  };
  auto line = [](const char* account, const char* amount, const char* payer) {
    DetailLine l;
    l.account = account;
    l.amount = tsCurrency::FromText(amount);
    l.payer = payer;
    return l;
  };
  std::vector<DetailLine> takings, invoice;
  takings.push_back(line("4000", "1200.00", "Corner shop"));
  takings.push_back(line("4100", "300.00", ""));
  invoice.push_back(line("4000", "650.00", "Harbour Cafe"));
  if ((rc = entry(2, "1500.00", day1, 0, "Counter takings", "", takings, "DEP-101")) != kDone ||
      (rc = entry(2, "650.00", day2, 0, "Invoice 88 paid", "", invoice, "DEP-102")) != kDone ||
      (rc = entry(1, "900.00", day2, 2001, "Rent", "6000", {}, "")) != kDone ||
      (rc = entry(1, "84.60", day3, 2002, "Supplies", "6100", {}, "")) != kDone) {
    ctx.err << "bkreg: the demo stopped at: enter\n";
    return rc;
  }
  ctx.out << "\nBatch MONTH\n";
  if ((rc = BatchShow(Common{&ctx, ctx.format}, b, ctx.out, ctx.err)) != kDone) return rc;

  ctx.out << "\nPosting batch MONTH\n";
  PostOptions p;
  p.batch = "MONTH";
  if ((rc = PostBatch(Common{&ctx, ctx.format}, p, ctx.out, ctx.err)) != kDone) return rc;

  // The bank's statement: the first deposit and the rent check came through.
  ctx.out << "\nReconciling OPERATING against the statement of " << (today - 1).Format() << "\n";
  ReconcileOptions r{"OPERATING", (today - 1).Format(), ""};
  {
    ModuleWork w(ctx);
    if ((rc = w.Open()) != kDone) return rc;
    BankAccount acct(w.Master());
    acct.m_Record.SetBankAccount(tsAlpha("OPERATING"));
    if (acct.FetchEQ(false) != tsioStatus::kSuccess) return kFailed;
    r.ending_balance = tsCurrency(acct.m_Record.GetBankBalance() + tsCurrency::FromText("1500.00") - tsCurrency::FromText("900.00")).Format();
  }
  r.ending_balance.erase(std::remove(r.ending_balance.begin(), r.ending_balance.end(), ','), r.ending_balance.end());
  rc = Step(ctx, "reconcile start", [&](std::ostream& o, std::ostream& e) { return ReconcileStart(c, r, o, e); });
  if (rc != kDone) return rc;
  if ((rc = ReconcileStatus(Common{&ctx, ctx.format}, r, ctx.out, ctx.err)) != kDone) return rc;
  static const struct {
    long long check;
    const char* deposit;
  } kCleared[] = {{0, "DEP-101"}, {2001, ""}};
  for (const auto& cleared : kCleared) {
    ClearOptions k;
    k.tran.bank = "OPERATING";
    k.check = cleared.check;
    k.deposit_id = cleared.deposit;
    k.date = (today - 2).Format();
    rc = Step(ctx, "clear", [&](std::ostream& o, std::ostream& e) { return ClearTransaction(c, k, o, e); });
    if (rc != kDone) return rc;
  }
  if ((rc = ReconcileStatus(Common{&ctx, ctx.format}, r, ctx.out, ctx.err)) != kDone) return rc;

  // Balances as of dates, over the register and history.
  ctx.out << "\nBalances of OPERATING as of dates\n";
  ModuleWork w(ctx);
  if ((rc = w.Open()) != kDone) return rc;
  Table t{{"As of", "Register", "Bank"}, {false, true, true}, {}};
  for (int days : {30, 8, 5, 0}) {
    const tsDate d = today - days;
    const tsCurrency reg = RegisterBalanceAsOf(w, "OPERATING", d);
    const tsCurrency bank =
        bkBankBalanceAsOfDateAccumulator(tsAlpha("OPERATING"), d, w.Master(), w.History()).accumulate();
    if (bkIsBalanceFailure(reg) || bkIsBalanceFailure(bank)) return ctx.Fail("a balance could not be computed");
    t.rows.push_back({d.Format(), reg.Format(), bank.Format()});
  }
  t.Print(ctx.out, ctx.format);
  ctx.out << "\n";
  return kDone;
}

}  // namespace bkreg
