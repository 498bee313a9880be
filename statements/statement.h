// A bank statement as the bank sends it: its period, its ending balance and
// its lines, read from an OFX/QFX file (statement_reader.h) or a CSV file
// with a column mapping (csv_statement.h), before anything of it touches the
// register.
//
// Amounts are exact decimals rounded to cents, signed as the bank's account
// sees them: money into the account is positive (deposits, interest,
// reversed charges), money out negative (checks, withdrawals, fees).
#pragma once

#include <string>
#include <vector>

#include "framework/types/values.h"
#include "records/bk_export.h"

struct BK_EXPORT bkStatementLine {
  // The line's identity within the bank account: the bank's own id (OFX
  // FITID, a CSV id column) or, when the bank gives none, one made from the
  // line's content (bkAssignLineIds). Importing the same statement again
  // gives the same ids, so a line is applied to the register at most once.
  std::string id;
  tsDate date;           // date posted by the bank
  tsCurrency amount;     // signed, cents
  long long check = 0;   // check number, 0 when none
  std::string reference; // deposit id or bank reference, "" when none
  std::string memo;      // the bank's name and memo of the line
  int source_line = 0;   // line of the file it came from (CSV), for messages
};

struct BK_EXPORT bkStatement {
  tsDate start;                 // first day the statement covers (empty when unknown)
  tsDate end;                   // statement date: last day it covers
  tsCurrency ending_balance;    // the bank's balance at the end of `end`
  bool has_ending_balance = false;
  std::vector<bkStatementLine> lines;
};

// Longest line id the register keeps (SLID).
inline constexpr size_t kStatementLineIdWidth = 80;

// Gives every line without an id one made from its content: "#" followed by
// 16 hex digits of a hash of date, amount, check number, reference and memo
// and of how many lines before it in the statement have that same content,
// so two identical lines (two fees of the same amount on one day) get two
// ids, and the same file read again gives the same ids. An id the bank gave
// that is longer than kStatementLineIdWidth is replaced the same way from
// the bank's id.
BK_EXPORT void bkAssignLineIds(bkStatement& statement);
