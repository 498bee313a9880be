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
    "  generate --bank ID [--count N] enter N sample transactions (progress on a terminal)\n"
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
      } else if (name == "allow-duplicate") {  // a switch: takes no value
        value = "yes";
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        std::cerr << "bkreg: --" << name << " needs a value\n";
        return 1;
      }
      if (name == "company") {
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
  if (command == "lock") return bkreg::CmdLock(args, out, err);
  if (command == "locked") return bkreg::CmdLocked(args, out, err);
  std::cerr << (command.empty() ? "bkreg: no command given\n" : "bkreg: unknown command '" + command + "'\n")
            << kUsage;
  return 1;
}
