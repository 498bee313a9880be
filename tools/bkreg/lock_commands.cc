// bkreg lock, locked: the edit-register lock of a bank account, as other
// programs see it. The lock guards the register against a second editor:
// while a program holds it, no other program may hold it (enter, remove,
// clear and reconcile work that edits the register asks for it).
#include <chrono>

#include <CLI/CLI.hpp>
#include <iostream>

#include "accounts/bank_account.h"
#include "framework/base/errors.h"
#include "tools/bkreg/commands.h"
#include "tools/bkreg/input.h"

namespace bkreg {

namespace {

constexpr int kLockedByAnother = 2305;

struct LockOptions {
  std::string bank;
};

// Opens the company and fetches the account `o.bank` names into `bank`.
int FetchAccount(Context& ctx, Session** s, BankAccount** bank, std::unique_ptr<BankAccount>* holder,
                 const LockOptions& o, std::string* id) {
  std::string problem = ParseBankId("the bank account id", o.bank, id);
  if (!problem.empty()) return ctx.Refuse(problem);
  int status = kDone;
  *s = ctx.Open(&status);
  if (!*s) return status;
  *holder = std::make_unique<BankAccount>((*s)->Master(), "", 0);
  *bank = holder->get();
  (*bank)->m_Record.SetBankAccount(tsAlpha(*id));
  const tsioStatus::Status st = (*bank)->FetchEQ(false);
  if (st == tsioStatus::kNotFound) return ctx.Refuse("no bank account '" + *id + "'");
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot read bank account '" + *id + "'", st);
  return kDone;
}

int Lock(Context& ctx, const LockOptions& o) {
  Session* s = nullptr;
  BankAccount* bank = nullptr;
  std::unique_ptr<BankAccount> holder;
  std::string id;
  int status = FetchAccount(ctx, &s, &bank, &holder, o, &id);
  if (status != kDone) return status;
  // Another program's lock is waited for, up to --wait seconds.
  const auto deadline = ctx.WaitDeadline();
  for (int round = 0;; ++round) {
    auto st = bank->EditRegisterLock();
    if (st.MaxLevel() == ccError::kNone) break;
    const bool held = st.Errors().Size() && st.Errors()[0].Number() == kLockedByAnother;
    if (held && std::chrono::steady_clock::now() < deadline) {
      Context::Pause(round);
      continue;
    }
    ctx.PrintErrors(st.Errors());
    return held ? kBusy : kFailed;
  }
  if (ctx.format == Format::kText) {
    ctx.out << "Holding the edit-register lock of " << id << "; press Enter to release it.\n" << std::flush;
  } else {
    Table{{"Bank", "Lock"}, {false, false}, {{id, "held"}}}.Print(ctx.out, ctx.format);
    ctx.out << std::flush;
    ctx.err << "Holding the edit-register lock of " << id << "; press Enter to release it.\n" << std::flush;
  }
  std::string line;
  std::getline(std::cin, line);
  (void)bank->EditRegisterUnlock();
  (ctx.format == Format::kText ? ctx.out : ctx.err) << "Released " << id << "\n";
  return kDone;
}

int Locked(Context& ctx, const LockOptions& o) {
  Session* s = nullptr;
  BankAccount* bank = nullptr;
  std::unique_ptr<BankAccount> holder;
  std::string id;
  int status = FetchAccount(ctx, &s, &bank, &holder, o, &id);
  if (status != kDone) return status;
  auto st = bank->isEditRegisterLocked();
  if (st.MaxLevel() >= ccError::kError) {
    ctx.PrintErrors(st.Errors());
    return ctx.Fail("could not tell whether " + id + " is locked");
  }
  const bool locked = st.Value() == ccError::kWarning;
  if (ctx.format == Format::kText) {
    ctx.out << id << (locked ? " is locked by another program\n" : " is free\n");
  } else {
    Table{{"Bank", "State"}, {false, false}, {{id, locked ? "locked" : "free"}}}.Print(ctx.out, ctx.format);
  }
  return locked ? kBusy : kDone;
}

}  // namespace

void AddLockCommands(CLI::App& app, Context& ctx) {
  auto o = std::make_shared<LockOptions>();
  CLI::App* lock = app.add_subcommand("lock", "holds the edit-register lock of a bank account until Enter is pressed");
  lock->add_option("BANK", o->bank, "bank account id");
  lock->add_option("--bank", o->bank, "bank account id (instead of BANK)");
  lock->callback([&ctx, o] { ctx.status = o->bank.empty() ? ctx.Refuse("lock: which bank account?") : Lock(ctx, *o); });
  CLI::App* locked =
      app.add_subcommand("locked", "tells whether another program holds the edit-register lock (exit 3 when it does)");
  locked->add_option("BANK", o->bank, "bank account id");
  locked->add_option("--bank", o->bank, "bank account id (instead of BANK)");
  locked->callback(
      [&ctx, o] { ctx.status = o->bank.empty() ? ctx.Refuse("locked: which bank account?") : Locked(ctx, *o); });
}

}  // namespace bkreg
