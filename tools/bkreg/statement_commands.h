// The bodies of bkreg's statement and reconciliation commands, over a
// program of the module whose files are open (bkProgram::OpenFiles): the
// command line parses its options into these structures and calls them.
// Each returns the program's exit status: 0 done, 1 refused (bad input or a
// business rule: a damaged statement, a balance that does not agree, nothing
// to undo), 2 failed, 3 a record is locked by another program. What was
// done goes to `out`, what went wrong to `err`.
//
//   statement import BANK FILE [--format ofx|csv] [--mapping TEXT]
//       [--mapping-file PATH] [--window DAYS] [--enter-unknown
//       [--offset-account ACCOUNT]] [--choose LINEID=RUN/SEQ]...
//   reconcile finish BANK [--date DATE --ending AMOUNT]
//   reconcile undo BANK
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/bkreg/output.h"

class bkProgram;
class TransactionData;
class tclRollbackStack;

namespace bkreg {

class Context;

struct StatementImportOptions {
  std::string bank;
  std::string file;
  std::string format;        // "ofx" (also QFX), "csv"; "" = by the file's extension
  std::string mapping;       // CSV mapping entries "name=value;..."
  std::string mapping_file;  // CSV mapping file
  int window_days = 3;
  bool enter_unknown = false;
  std::vector<std::string> choices;  // "LINEID=RUN/SEQ": the transaction chosen for an ambiguous line
  int unit_lines = 500;              // lines committed together (bkStatementImportOptions)
  // Entered adjustments for the general ledger (bkStatementImportOptions):
  // their bank side and offset accounts, and what records their bank side.
  std::string offset_account;  // --offset-account
  std::string ledger_cash;
  std::function<std::string(const TransactionData&, tclRollbackStack&)> on_entered;
  // Seconds the import waits for the register's edit lock another program
  // holds before it gives up with status 3.
  double wait_seconds = 0;
  // How the lines are reported: text, or a table of them in JSON or CSV.
  Format output = Format::kText;
};

// (Named apart from module_commands.h's ReconcileOptions: two classes of
// one name in one program would break the one-definition rule.)
struct ReconcileFinishOptions {
  std::string bank;
  std::string date;    // finish: statement date when none is in progress
  std::string ending;  // finish: ending balance when none is in progress
  // Seconds finish and undo wait for a bank account another program holds
  // (trying again with short pauses) before they give up with status 3.
  double wait_seconds = 0;
  // What was done, as a sentence (text) or a table (JSON, CSV).
  Format output = Format::kText;
};

// Reads the statement (nothing is written when it cannot be read), applies
// it to the bank's register and lists each line: cleared, already applied,
// proposed (with its candidates), unknown, entered, awaiting posting, failed.
int StatementImport(bkProgram& program, const StatementImportOptions& options, std::ostream& out,
                    std::ostream& err);
// While the register's entries go to the general ledger: fills `s`'s
// ledger_cash and on_entered so the adjustments an import enters go there as
// `enter adjustment` sends them (bank side against s->offset_account);
// refused without an offset account (statement_cli.cc).
int PrepareLedgerAdjustments(Context& ctx, bkProgram& p, StatementImportOptions* s);

int ReconcileFinish(bkProgram& program, const ReconcileFinishOptions& options, std::ostream& out, std::ostream& err);
int ReconcileUndo(bkProgram& program, const ReconcileFinishOptions& options, std::ostream& out, std::ostream& err);

}  // namespace bkreg
