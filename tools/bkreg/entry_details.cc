// The distribution lines of an entry (entry_details.h).
#include "tools/bkreg/entry_details.h"

#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "deposits/withdrawal_detail.h"
#include "framework/control/interfaces.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/file_manager.h"
#include "framework/io/rollback_stack.h"
#include "programs/bk_program.h"
#include "records/files.h"
#include "tools/bkreg/module_work.h"
#include "transactions/transaction.h"

namespace bkreg {

namespace {

std::string Trim(std::string_view s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return "";
  const size_t e = s.find_last_not_of(" \t\r");
  return std::string(s.substr(b, e - b + 1));
}

// Item numbers: whole numbers from 1 to 9999.
bool ReadItem(const std::string& text, long* out) {
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *out = std::stol(text);
  return *out >= 1;
}

std::string CheckAccount(const std::string& account) {
  if (account.empty()) return "an account is needed";
  if (account.size() > 45 || account.find_first_of(" ,\t\"") != std::string::npos) {
    return "account '" + account + "' is not an account number";
  }
  return "";
}

std::string CheckAmount(const std::string& text, tsCurrency* out) {
  if (!ReadAmount(text, out)) return "amount '" + text + "' is not an amount (digits, at most two decimals)";
  if (out->IsNull()) return "a line's amount cannot be 0";
  return "";
}

// Splits one CSV line (RFC 4180 quoting).
std::vector<std::string> SplitCsv(const std::string& line) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char ch = line[i];
    if (quoted) {
      if (ch == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        cells.back() += '"';
        ++i;
      } else if (ch == '"') {
        quoted = false;
      } else {
        cells.back() += ch;
      }
    } else if (ch == '"') {
      quoted = true;
    } else if (ch == ',') {
      cells.emplace_back();
    } else if (ch != '\r') {
      cells.back() += ch;
    }
  }
  return cells;
}

}  // namespace

std::string ParseDetailLine(std::string_view text, DetailLine* out) {
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos) return "--line '" + std::string(text) + "': ACCOUNT=AMOUNT[@ITEM] expected";
  DetailLine l;
  l.account = Trim(text.substr(0, eq));
  std::string rest = Trim(text.substr(eq + 1));
  const size_t at = rest.find('@');
  if (at != std::string::npos) {
    if (!ReadItem(Trim(rest.substr(at + 1)), &l.item)) {
      return "--line '" + std::string(text) + "': the item after '@' is a number from 1 to 9999";
    }
    rest = Trim(rest.substr(0, at));
  }
  std::string why = CheckAccount(l.account);
  if (why.empty()) why = CheckAmount(rest, &l.amount);
  if (!why.empty()) return "--line '" + std::string(text) + "': " + why;
  *out = l;
  return "";
}

std::string ReadDetailCsv(const std::string& path, std::vector<DetailLine>* out) {
  std::ifstream in(path);
  if (!in) return "--lines: cannot read " + path;
  std::string line;
  if (!std::getline(in, line)) return "--lines: " + path + " is empty (a heading line is needed)";
  std::map<std::string, size_t> column;
  const std::vector<std::string> heading = SplitCsv(line);
  for (size_t i = 0; i < heading.size(); ++i) {
    std::string name = Trim(heading[i]);
    for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (name != "account" && name != "amount" && name != "item" && name != "payer") {
      return "--lines: " + path + " line 1: unknown column '" + name + "' (account, amount, item, payer)";
    }
    column[name] = i;
  }
  if (!column.count("account") || !column.count("amount")) {
    return "--lines: " + path + " line 1: the columns account and amount are needed";
  }
  std::vector<DetailLine> read;
  for (long number = 2; std::getline(in, line); ++number) {
    if (Trim(line).empty()) continue;
    const std::vector<std::string> cells = SplitCsv(line);
    auto cell = [&](const char* name) {
      auto it = column.find(name);
      return it == column.end() || it->second >= cells.size() ? std::string() : Trim(cells[it->second]);
    };
    if (cells.size() > heading.size()) {
      return "--lines: " + path + " line " + std::to_string(number) + ": more cells than columns";
    }
    DetailLine l;
    l.account = cell("account");
    std::string why = CheckAccount(l.account);
    if (why.empty()) why = CheckAmount(cell("amount"), &l.amount);
    if (why.empty() && !cell("item").empty() && !ReadItem(cell("item"), &l.item)) {
      why = "item '" + cell("item") + "' is not a number from 1 to 9999";
    }
    l.payer = cell("payer");
    if (why.empty() && l.payer.size() > 60) why = "the payer has more than 60 characters";
    if (!why.empty()) return "--lines: " + path + " line " + std::to_string(number) + ": " + why;
    read.push_back(l);
  }
  if (read.empty()) return "--lines: " + path + " holds no line";
  out->insert(out->end(), read.begin(), read.end());
  return "";
}

std::string CheckDetailLines(int type, const std::vector<DetailLine>& lines) {
  if (lines.empty()) return "";
  if (type != 2 && type != 3) return "only deposits and withdrawals have distribution lines";
  std::set<std::pair<long, std::string>> seen;
  for (const DetailLine& l : lines) {
    const long item = type == 2 ? l.item : 1;
    if (!seen.insert({item, l.account}).second) {
      return "account " + l.account + (type == 2 ? " is given twice for item " + std::to_string(l.item)
                                                 : " is given twice");
    }
    if (tsCurrency(l.amount) < tsCurrency()) return "a line's amount cannot be negative";
  }
  return "";
}

tsioStatus::Status WriteDetails(Transaction& t, const tsDouble& run, const tsDouble& sequence,
                                const std::vector<DetailLine>& lines, tclRollbackStack& unit) {
  const tsAlpha bank = t.m_Record.GetBankAccount();
  if (t.m_Record.GetType().Value() == 3) {
    for (const DetailLine& l : lines) {
      WithdrawalDetail d(t.File());
      d.AttachRollbackStack(&unit);
      d.m_Record.SetBankAccount(bank);
      d.m_Record.SetRun(run);
      d.m_Record.SetSequence(sequence);
      d.m_Record.SetDebitAccount(tsAlpha(l.account));
      d.m_Record.SetAmount(l.amount);
      if (tsioStatus::Status st = d.Insert(); st != tsioStatus::kSuccess) return st;
    }
    return tsioStatus::kSuccess;
  }
  struct Item {
    tsCurrency amount;
    std::string payer;
  };
  std::map<long, Item> items;
  for (const DetailLine& l : lines) {
    Item& i = items[l.item];
    i.amount += l.amount;
    if (i.payer.empty()) i.payer = l.payer;
    DepositItemDetail d(t.File());
    d.AttachRollbackStack(&unit);
    d.m_Record.SetBankAccount(bank);
    d.m_Record.SetRun(run);
    d.m_Record.SetSequence(sequence);
    d.m_Record.SetDepositItemNumber(tsDouble(l.item, 0));
    d.m_Record.SetCreditAccount(tsAlpha(l.account));
    d.m_Record.SetAmount(l.amount);
    if (tsioStatus::Status st = d.Insert(); st != tsioStatus::kSuccess) return st;
  }
  for (const auto& [number, i] : items) {
    DepositItem d(t.File());
    d.AttachRollbackStack(&unit);
    d.m_Record.SetBankAccount(bank);
    d.m_Record.SetRun(run);
    d.m_Record.SetSequence(sequence);
    d.m_Record.SetDepositItemNumber(tsDouble(number, 0));
    d.m_Record.SetAmount(i.amount);
    d.m_Record.SetPayersName(tsAlpha(i.payer));
    if (tsioStatus::Status st = d.Insert(); st != tsioStatus::kSuccess) return st;
  }
  return tsioStatus::kSuccess;
}

bool EnterPrepareLedger(bkProgram& program, std::ostream& err) {
  if (zc_interface_active("BK", "GL") == 0) return true;
  if (!ModuleWork::LoadLedger(err)) return false;
  tsRegisterLedgerFiles();
  for (const tsioFileSpec* spec : {&GLMFileSpec, &GLTFileSpec, &GLTFileSpec2}) {
    if (const tsioStatus::Status st = program.FileManager().Open(*spec); st != tsioStatus::kSuccess) {
      err << "bkreg: cannot open the general ledger's files (" << ccIOStatusStr(st) << ")\n";
      return false;
    }
  }
  return true;
}

}  // namespace bkreg
