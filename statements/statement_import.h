// Applying a bank statement to the register of one bank account: each line
// matched (bkStatementMatcher), exact matches cleared into the account's
// reconciliation in progress, ambiguous lines proposed, unknown lines listed
// or, on request, entered as adjustments; every line applied remembered by
// its id (BKS statement lines), so importing the same statement again never
// clears or enters anything twice.
//
// The reconciliation in progress (BKM record type 4) is the statement's:
// made on the first import with the statement's date and ending balance
// and, as opening balance, the account's last reconciled balance; it keeps
// the totals of the transactions the imports marked (TCURREC 3). A
// statement of another date is refused while one is in progress, and so is
// one not after the account's last reconciliation.
//
// Units of work. Each line applied is one unit: the clearing (the
// transaction and the bank account's balance and totals, Transaction::
// clearTransaction), its mark and the totals of the reconciliation in
// progress, and the remembered line commit or roll back together; an
// adjustment is created (Transaction::Create in the program's batch BKSTMT,
// which becomes the program's current batch; validated like any adjustment,
// so where the general-ledger interface wants accounts it is refused and
// listed as failed), counted into the account's register balance and
// totals, and remembered in one unit too. Before anything is written the
// bank account is locked and released once: while another program holds it
// the import is refused whole (`locked`). A line that fails is rolled back and reported; the lines
// before it stay applied, and a later import takes up the rest.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/values.h"
#include "records/bk_export.h"
#include "statements/statement.h"
#include "statements/statement_matcher.h"

class bkProgram;

struct BK_EXPORT bkStatementImportOptions {
  int window_days = 3;          // dates matched within this many days either side
  bool enter_unknown = false;   // enter unknown lines as adjustments
  // The user's choice for an ambiguous line: line id -> (run, sequence) of
  // one of its proposed transactions.
  std::map<std::string, std::pair<long long, long long>> choices;
};

enum class bkLineOutcome {
  kCleared,        // matched and cleared now
  kAlreadyApplied, // cleared by an earlier import of this line id: refused
  kProposed,       // ambiguous: the candidates are proposed
  kUnknown,        // no transaction of the register
  kEntered,        // entered as an adjustment now
  kAwaitingPost,   // matched (or entered earlier) but not posted: cannot be cleared yet
  kFailed,         // its unit failed and was rolled back
};

struct BK_EXPORT bkLineResult {
  const bkStatementLine* line = nullptr;
  bkLineOutcome outcome = bkLineOutcome::kUnknown;
  bkLineMatch match;
  std::string note;  // the failure's words, the entered adjustment's key
};

struct BK_EXPORT bkStatementImportResult {
  std::vector<bkLineResult> lines;
  uint64_t fetches = 0;  // fetch calls of the matching
  int Count(bkLineOutcome outcome) const;
  bool locked = false;   // a failure was another program holding a record
  bool refused = false;  // the statement was refused by a business rule (nothing written)
};

class BK_EXPORT bkStatementImporter {
 public:
  // The program's master file and current transactions are open; `history`
  // (posted transactions) and `statements` (BKS) are open files of the same
  // company.
  bkStatementImporter(bkProgram& program, const tsioDataFile& master, const tsioDataFile& current,
                      const tsioDataFile& history, const tsioDataFile& statements);

  // Applies `statement` to `bank`'s register. Errors (level 3) for what
  // refuses the whole statement, nothing written: no such bank account, no
  // ending balance, a statement date not after the last reconciliation,
  // another statement in progress, a fetch that failed while matching.
  // Lines that fail are in `result` (kFailed) with an error message.
  ccStatus<ccError::Level> Import(const tsAlpha& bank, const bkStatement& statement,
                                  const bkStatementImportOptions& options, bkStatementImportResult* result);

 private:
  bkProgram& program_;
  const tsioDataFile& master_;
  const tsioDataFile& current_;
  const tsioDataFile& history_;
  const tsioDataFile& statements_;
};
