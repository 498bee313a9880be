// The commands of bkreg over one company folder. Each returns the program's
// exit status: 0 done, 1 bad usage, 2 the work failed, 3 the bank is locked
// by another program (lock, locked).
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "tools/bkreg/output.h"

namespace bkreg {

struct Args {
  std::string company;
  Format format = Format::kText;
  std::vector<std::string> positional;          // after the command name
  std::map<std::string, std::string> options;   // --name value
  std::vector<std::string> lines;               // every --line
  std::string Option(const std::string& name, const std::string& fallback = "") const {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
  }
};

int CmdInit(const Args& a, std::ostream& out, std::ostream& err);
int CmdBankAdd(const Args& a, std::ostream& out, std::ostream& err);
int CmdBankList(const Args& a, std::ostream& out, std::ostream& err);
int CmdEnter(const Args& a, std::ostream& out, std::ostream& err);
int CmdGenerate(const Args& a, std::ostream& out, std::ostream& err);
int CmdRegister(const Args& a, std::ostream& out, std::ostream& err);
int CmdLock(const Args& a, std::ostream& out, std::ostream& err);
int CmdLocked(const Args& a, std::ostream& out, std::ostream& err);
int CmdDemo(const Args& a, std::ostream& out, std::ostream& err);
// In balance_command.cc.
int CmdBalance(const Args& a, std::ostream& out, std::ostream& err);

}  // namespace bkreg
