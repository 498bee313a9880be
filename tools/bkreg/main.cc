// bkreg: the bank register's command-line program. It does the module's work
// on a company folder holding one embedded database, creating it on first
// use (init, demo).
//
//   bkreg [--company DIR] [--format text|json|csv] COMMAND [ARGS]
//
// The company folder is --company, else $BKREG_COMPANY, else ./demo-company.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "framework/base/application.h"
#include "tools/bkreg/commands.h"
#include "tools/bkreg/module_commands.h"

namespace {

const char kUsage[] =
    "usage: bkreg [--company DIR] [--format text|json|csv] COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  init                          create the company folder and the module's files\n"
    "  demo                          create a demo company on first use, then show it\n"
    "  bank add ID [--desc TEXT] [--type N] [--balance AMOUNT]\n"
    "  bank list                     bank accounts with balances and open totals\n"
    "  enter TYPE --bank ID --amount X [--date YYYY-MM-DD] [--check N] [--desc TEXT]\n"
    "        [--payee NAME] [--deposit-id ID] [--batch ID] [--allow-duplicate]\n"
    "                                TYPE is check, deposit, withdrawal or adjustment;\n"
    "                                checks are recorded as written by payables (AP);\n"
    "                                a check number or deposit (date and id) already\n"
    "                                used for the bank is refused unless --allow-duplicate\n"
    "  generate --bank ID [--count N] [--from YYYY-MM-DD] [--unit N]\n"
    "                                enter N sample transactions dated from the given day\n"
    "                                (default 60 days ago), in units of work of 10,000\n"
    "  register --bank ID            the register with running balances\n"
    "  balance BANK [--as-of DATE] [--kind register|bank|reconciled|cash] [--cash-account ACCOUNT]\n"
    "                                a balance at the end of a date (default: register, today)\n"
    "  lock --bank ID                hold the edit-register lock until Enter is pressed\n"
    "  locked --bank ID              tell whether another program holds it (exit 3 when locked)\n"
    "\n"
    "exit status: 0 done, 1 bad usage, 2 failed, 3 locked by another program\n";

}  // namespace

int main(int argc, char** argv) {
  bkreg::Args args;
  const char* env = std::getenv("BKREG_COMPANY");
  args.company = env && *env ? env : "demo-company";
  std::string command, sub;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (a == "--version") {
      std::cout << "bkreg 1.0\n";
      return 0;
    }
    if (a.rfind("--", 0) == 0) {
      std::string name = a.substr(2), value;
      auto eq = name.find('=');
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
      } else if (name == "allow-duplicate" || name == "inactive" || name == "closed") {  // switches: no value
        value = "yes";
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        std::cerr << "bkreg: --" << name << " needs a value\n";
        return 1;
      }
      if (name == "line") {
        args.lines.push_back(value);
      } else if (name == "company") {
        args.company = value;
      } else if (name == "format") {
        if (!bkreg::ParseFormat(value, &args.format)) {
          std::cerr << "bkreg: unknown format '" << value << "' (text, json or csv)\n";
          return 1;
        }
      } else {
        args.options[name] = value;
      }
      continue;
    }
    if (command.empty()) {
      command = a;
    } else if ((command == "bank" || command == "batch" || command == "reconcile") && sub.empty()) {
      sub = a;
    } else if (command == "gl" && (sub.empty() || sub.find(' ') == std::string::npos)) {
      sub = sub.empty() ? a : sub + " " + a;
    } else if (command == "bank" && sub.empty()) {
      sub = a;
    } else {
      args.positional.push_back(a);
    }
  }
  TSGetApp()->SetApplicationID("BK");
  std::ostream& out = std::cout;
  std::ostream& err = std::cerr;
  if (command == "init") return bkreg::CmdInit(args, out, err);
  if (command == "demo") return bkreg::CmdDemo(args, out, err);
  if (command == "bank" && sub == "add") return bkreg::CmdBankAdd(args, out, err);
  if (command == "bank" && (sub == "list" || sub.empty())) return bkreg::CmdBankList(args, out, err);
  if (command == "enter") return bkreg::CmdEnter(args, out, err);
  if (command == "generate") return bkreg::CmdGenerate(args, out, err);
  if (command == "register") return bkreg::CmdRegister(args, out, err);
  if (command == "balance") return bkreg::CmdBalance(args, out, err);
  {
    bkreg::Common c{args.company, args.format};
    auto pos = [&](size_t i) { return i < args.positional.size() ? args.positional[i] : std::string(); };
    auto num = [&](const std::string& o) { return std::atoll(args.Option(o, "0").c_str()); };
    if (command == "batch") {
      bkreg::BatchOptions o;
      o.id = pos(0);
      o.appl = args.Option("appl", "BK");
      o.description = args.Option("desc");
      o.date = args.Option("date");
      if (!args.Option("count").empty()) o.control_count = num("count");
      o.control_amount = args.Option("amount");
      if (sub == "open") return bkreg::BatchOpen(c, o, out, err);
      if (sub == "list") return bkreg::BatchList(c, out, err);
      if (sub == "show") return bkreg::BatchShow(c, o, out, err);
      if (sub == "close") return bkreg::BatchClose(c, o, out, err);
    }
    if (command == "gl") {
      if (sub == "account add") return bkreg::GlAccountAdd(c, {pos(0), !args.Option("inactive").empty()}, out, err);
      if (sub == "account list") return bkreg::GlAccountList(c, out, err);
      if (sub == "period add") {
        bkreg::GlPeriodOptions o{pos(0), num("year"), num("period"), args.Option("start"), args.Option("end"),
                                 !args.Option("closed").empty()};
        return bkreg::GlPeriodAdd(c, o, out, err);
      }
      if (sub == "period list") return bkreg::GlPeriodList(c, out, err);
      if (sub == "interface on") return bkreg::GlInterface(c, true, out, err);
      if (sub == "interface off") return bkreg::GlInterface(c, false, out, err);
      if (sub == "interface status") return bkreg::GlInterface(c, std::nullopt, out, err);
    }
    bkreg::TranRef ref{pos(0), std::atoll(pos(1).c_str()), std::atoll(pos(2).c_str())};
    if (command == "remove") return bkreg::RemoveTransaction(c, ref, out, err);
    if (command == "clear") {
      bkreg::ClearOptions o{ref, num("check"), args.Option("deposit-id"), args.Option("amount"), args.Option("date")};
      return bkreg::ClearTransaction(c, o, out, err);
    }
    if (command == "transfer") {
      bkreg::TransferOptions o{pos(0), pos(1), args.Option("amount"), args.Option("date"), args.Option("desc"),
                               args.Option("batch", "BKREG")};
      return bkreg::TransferFunds(c, o, out, err);
    }
    if (command == "reconcile") {
      bkreg::ReconcileOptions o{pos(0), args.Option("date"), args.Option("ending-balance")};
      if (sub == "start") return bkreg::ReconcileStart(c, o, out, err);
      if (sub == "status") return bkreg::ReconcileStatus(c, o, out, err);
    }
    if (command == "post") {
      bkreg::PostOptions o{pos(0), args.Option("journal"), std::atol(args.Option("unit", "1000").c_str())};
      return bkreg::PostBatch(c, o, out, err);
    }
    if (command == "locks") return bkreg::ListLocks(c, out, err);
  }
  if (command == "lock") return bkreg::CmdLock(args, out, err);
  if (command == "locked") return bkreg::CmdLocked(args, out, err);
  std::cerr << (command.empty() ? "bkreg: no command given\n" : "bkreg: unknown command '" + command + "'\n")
            << kUsage;
  return 1;
}
