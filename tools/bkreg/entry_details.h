// The distribution lines of an entry: a deposit's items and their lines, a
// withdrawal's details, given on the command line (--line) or in a CSV file
// (--lines FILE).
//
// A line is a general-ledger account and an amount, for a deposit also the
// number of the deposit item it belongs to (1 when not given) and the
// item's payer:
//   --line ACCOUNT=AMOUNT[@ITEM]          e.g. --line 4000=120.00@2
//   CSV: a heading line naming the columns, from "account", "amount",
//        "item", "payer" (account and amount needed), then one line each:
//          account,amount,item,payer
//          4000,60.00,1,Corner shop
// Amounts follow the amount rules (at most two decimals, not 0); the lines
// must add up to the transaction's amount (the module's validation says so
// in its words). A deposit gets one item per item number, its amount the
// sum of the item's lines; a withdrawal one detail per account (an account
// given twice is refused).
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "framework/io/io_status.h"
#include "framework/types/values.h"

class Transaction;
class bkProgram;
class tclRollbackStack;

namespace bkreg {

struct DetailLine {
  std::string account;
  tsCurrency amount;
  long item = 1;
  std::string payer;
};

// "" when `text` is a line (into *out), else the message.
std::string ParseDetailLine(std::string_view text, DetailLine* out);
// "" when the file's lines are read (appended to *out), else the message
// naming the line of the file.
std::string ReadDetailCsv(const std::string& path, std::vector<DetailLine>* out);
// "" when `lines` suit a transaction of type `type` (2 deposit, 3
// withdrawal), else the message.
std::string CheckDetailLines(int type, const std::vector<DetailLine>& lines);

// Inserts the details of the transaction `t` holds (its bank account and
// type), under `run` and `sequence`, through cursors sharing `unit`: the
// first failing status, else success.
tsioStatus::Status WriteDetails(Transaction& t, const tsDouble& run, const tsDouble& sequence,
                                const std::vector<DetailLine>& lines, tclRollbackStack& unit);

// While the register's entries go to the general ledger ("BK" to "GL"
// interface active), their checks need the general-ledger module and its
// files: loads and opens them. False with a message when that fails.
bool EnterPrepareLedger(bkProgram& program, std::ostream& err);

}  // namespace bkreg
