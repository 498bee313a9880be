// The command groups of bkreg. Each registers its subcommands on the program's
// command line (CLI11) and runs them against the shared Context; a command's
// callback leaves its exit status in Context::status.
//
// To add a command group: write `void AddXCommands(CLI::App&, Context&)` in a
// file of its own (x_commands.cc), declare it here, call it from main.cc, and
// list the file in CMakeLists.txt. See README.md.
#pragma once

#include "framework/types/ts_date.h"
#include "framework/types/ts_currency.h"
#include "records/bank_account_data.h"
#include "tools/bkreg/context.h"

namespace CLI {
class App;
}

namespace bkreg {

// init, demo, verify, backup (company_commands.cc).
void AddCompanyCommands(CLI::App& app, Context& ctx);
// bank add|list|show|edit (bank_commands.cc).
void AddBankCommands(CLI::App& app, Context& ctx);
// enter, generate, import (entry_commands.cc).
void AddEntryCommands(CLI::App& app, Context& ctx);
// register, balance, export (register_commands.cc).
void AddRegisterCommands(CLI::App& app, Context& ctx);
// lock, locked (lock_commands.cc).
void AddLockCommands(CLI::App& app, Context& ctx);
// batch open|list|show|close (batch_commands.cc).
void AddBatchCommands(CLI::App& app, Context& ctx);
// gl account add|list, gl period add|list, gl interface (gl_commands.cc).
void AddGlCommands(CLI::App& app, Context& ctx);
// post (post_commands.cc).
void AddPostCommands(CLI::App& app, Context& ctx);
// remove, transfer, clear, reconcile start|status, locks (tran_commands.cc).
void AddTransactionCommands(CLI::App& app, Context& ctx);
// statement import, reconcile finish|undo (statement_cli.cc; after the
// transaction commands, whose reconcile command it extends).
void AddStatementCommands(CLI::App& app, Context& ctx);

// The demo company's accounts and transactions (entry_commands.cc): enters
// them on a fresh company; the exit status.
int EnterDemoData(Context& ctx);
// The bank-account listing and one register, as the commands print them
// (bank_commands.cc, register_commands.cc), for the demo.
int ListBanks(Context& ctx);

// A new bank account's opening balance: its register and bank balances
// (and their view copies) before any transaction, and the balance its
// first reconciliation starts from.
void SetOpeningBalance(BankAccountData& bank, const tsCurrency& balance);
int PrintRegister(Context& ctx, const std::string& bank);
// What a register shows: a period (empty dates: no bound) and a state (0:
// every state, else 1 open, 2 cleared, 3 reconciled).
struct RegisterFilter {
  tsDate from, to;
  int state = 0;
};
int PrintRegister(Context& ctx, const std::string& bank, const RegisterFilter& filter);

}  // namespace bkreg
