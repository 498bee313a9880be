// The work of reconciling one bank account item by item: the figures of
// the reconciliation in progress, the register's outstanding items, ticking
// (clearing an item into the reconciliation in progress) and the account's
// finished reconciliations; and a statement applied with each line's result
// kept for the caller. The web register's reconciliation page works through
// these, and a command can call them the same way (each takes an open
// ModuleWork and returns bkreg's exit status, messages on `err`).
//
// Rules:
//   - The figures are `reconcile status`'s: opening balance (the last
//     reconciled balance when it started) plus what is cleared and not yet
//     reconciled up to the statement date (by cleared date), against the
//     statement's ending balance; the difference is exact to the cent. They
//     are read from the account's transactions on no statement yet (index 2,
//     bank and statement date), so their cost follows the unreconciled
//     transactions, not the register's size.
//   - A tick clears a posted transaction at its own amount on the statement
//     date and marks it into the reconciliation in progress (TCURREC 3, the
//     in-progress totals), in one unit of work with the bank account held
//     from before the clearing reads it until the unit commits: another
//     program clearing in the same account waits or is refused, and nothing
//     is counted twice. An unposted transaction is refused (message 2004:
//     post its batch first), so is one already cleared, reconciled, or with
//     no reconciliation in progress. Unticking is `clear --undo`
//     (ClearTransaction), which takes a marked transaction out of the
//     reconciliation in progress in the same unit.
//   - Every change refuses (exit 3) while another program holds the
//     account's edit-register lock.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "framework/types/values.h"
#include "statements/statement.h"
#include "statements/statement_import.h"
#include "tools/bkreg/module_commands.h"
#include "tools/bkreg/module_work.h"

namespace bkreg {

// The reconciliation in progress of one account, as `reconcile status`
// reckons it.
struct ReconcileFigures {
  bool in_progress = false;
  tsDate statement_date;
  tsCurrency opening, ending;
  tsCurrency deposits;  // cleared additions up to the statement date
  tsCurrency payments;  // cleared subtractions up to the statement date (a positive figure)
  tsCurrency cleared;   // deposits - payments
  tsCurrency difference;  // ending - (opening + cleared)
  long count = 0;         // cleared transactions counted
};
int ReadReconcileFigures(ModuleWork& w, const std::string& bank, ReconcileFigures* figures, std::ostream& err);

// A transaction of the account on no statement yet: open or cleared.
struct OutstandingItem {
  bool posted = false;  // in history; an unposted one cannot be cleared
  long long run = 0, sequence = 0;
  int type = 0;  // 1 check, 2 deposit, 3 withdrawal, 4 adjustment
  tsDate date;
  long long check = 0;
  std::string text;  // description, or payee of a check
  tsCurrency amount;  // net: addition - subtraction
  int state = 1;      // 1 open, 2 cleared
  bool marked = false;  // cleared into the reconciliation in progress
  tsDate cleared_date;
};
// The account's outstanding items, the open ones first, each kind in date
// order, at most `limit` (the rest counted in `more`): what is left to tick
// stays in sight however much a statement cleared.
int ListOutstanding(ModuleWork& w, const std::string& bank, size_t limit, std::vector<OutstandingItem>* items,
                    size_t* more, std::ostream& err);

// Clears the posted transaction `ref` into the reconciliation in progress
// (see the rules above). `ctx` gives the wait for what another program holds.
int TickTransaction(Context& ctx, ModuleWork& w, const TranRef& ref, std::ostream& err);

// A finished reconciliation of the account (BKS record type 2).
struct ReconciliationEntry {
  tsDate statement_date;
  tsCurrency ending, previous;
  long count = 0;
  tsCurrency deposits, payments;  // reconciled deposits and adjustments +, and checks, withdrawals, adjustments -
};
// Newest first, at most `limit`.
int ListReconciliations(ModuleWork& w, const std::string& bank, size_t limit,
                        std::vector<ReconciliationEntry>* entries, std::ostream& err);

// Reads a statement file: `format` "ofx" (also "qfx") or "csv" ("" by the
// file name's extension `name`), `mapping` the CSV column mapping
// ("date=1;amount=2;..."). False with the reason in `error`; nothing is
// written either way.
bool ReadStatementFile(const std::string& path, const std::string& name, std::string format,
                       const std::string& mapping, bkStatement* statement, std::string* error);

// Applies `statement` (or, when `only` is not empty, just its lines with
// those ids) to `bank`'s register as `statement import` does, with each
// line's result appended to `lines`. kDone, or the exit status with the
// reason on `err` (refused whole: nothing written).
int ApplyStatement(ModuleWork& w, const std::string& bank, const bkStatement& statement,
                   const bkStatementImportOptions& options, const std::vector<std::string>& only,
                   std::vector<bkLineResult>* lines, std::ostream& err);

}  // namespace bkreg
