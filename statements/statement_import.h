// Applying a bank statement to the register of one bank account: each line
// matched (bkStatementMatcher), exact matches cleared into the account's
// reconciliation in progress, ambiguous lines proposed, unknown lines listed
// or, on request, entered as adjustments; every line applied remembered by
// its id (BKS statement lines), so importing the same statement again never
// clears or enters anything twice.
//
// The statement must be of the account: when it names its account (OFX
// ACCTID, a CSV account column) that number must be the bank account's
// (BACCT, blanks and dashes aside, letters in any case); a bank account
// with no number recorded refuses such a statement, so a statement is never
// applied to an account nobody said it belongs to.
//
// A line the register holds already cleared or reconciled (cleared by hand,
// or by an earlier statement) is reported as such and never entered: when
// no open transaction matches it, a settled one the matcher met (a check of
// its number, a transaction of its amount within the window) that no other
// line of this statement has (remembered as cleared by it, or taken by an
// earlier line now) is taken as the line's and remembered for it. A line
// remembered as entered whose adjustment was removed since is unknown
// again, and entered again on request.
//
// The reconciliation in progress (BKM record type 4) is the statement's:
// made on the first import with the statement's date and ending balance
// and, as opening balance, the account's last reconciled balance; it keeps
// the totals of the transactions the imports marked (TCURREC 3). A
// statement of another date is refused while one is in progress, and so is
// one not after the account's last reconciliation.
//
// Units of work. What a line applies goes together: the clearing (the
// transaction and the bank account's balance and totals, Transaction::
// clearTransaction), its mark and the totals of the reconciliation in
// progress, and the remembered line; or an adjustment created
// (Transaction::Create in the program's batch BKSTMT, which becomes the
// program's current batch; validated like any adjustment, so where the
// general-ledger interface wants accounts it is refused and listed as
// failed), counted into the account's register balance and totals, and
// remembered. Lines are applied in units of `unit_lines` lines, committed
// together (one write to disk for many lines). A line that fails rolls its
// unit back; the lines before it in that unit are applied again, each in a
// unit of its own, and the failed line is reported with its reason; when a
// unit cannot be committed its lines are reported failed. A later import
// takes up what failed. Before anything is written the bank account is
// locked and released once: while another program holds it the import is
// refused whole (`locked`).
//
// Cost: matching is by indexed fetches (statement_matcher.h); the import
// keeps a few dozen bytes a line besides the statement, and reports each
// line through `on_line` once its unit has ended.
#pragma once

#include <cstdint>
#include <functional>
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

class TransactionData;
class tclRollbackStack;

class bkProgram;

enum class bkLineOutcome {
  kCleared,         // matched and cleared now
  kAlreadyApplied,  // applied by an earlier import of this line id: refused
  kAlreadyCleared,  // the register holds it cleared or reconciled already: never entered
  kProposed,        // ambiguous: the candidates are proposed
  kUnknown,         // no transaction of the register
  kEntered,         // entered as an adjustment now
  kAwaitingPost,    // matched (or entered earlier) but not posted: cannot be cleared yet
  kFailed,          // its unit failed and was rolled back
};
inline constexpr int kLineOutcomes = 8;

// What became of one line.
struct BK_EXPORT bkLineResult {
  bkStatementLine line;
  bkLineOutcome outcome = bkLineOutcome::kUnknown;
  const char* by = "";  // the search that found its transactions: "check", "reference", "amount"
  // Cleared: the transaction cleared; proposed: the proposals; already
  // cleared: the transaction the register holds.
  std::vector<bkMatchCandidate> candidates;
  std::string note;  // the failure's words, the entered adjustment's key, why it waits
};

struct BK_EXPORT bkStatementImportOptions {
  int window_days = 3;          // dates matched within this many days either side
  bool enter_unknown = false;   // enter unknown lines as adjustments
  // The user's choice for an ambiguous line: line id -> (run, sequence) of
  // one of its proposed transactions.
  std::map<std::string, std::pair<long long, long long>> choices;
  // Entered adjustments for the general ledger: when `ledger_cash` is set,
  // each adjustment's bank side is `ledger_cash` and its offset
  // `ledger_offset` (money in debits the bank side, money out credits it),
  // and `on_entered`, when set, is called in the line's unit right after
  // the adjustment is created, to record what sends it to the general
  // ledger: the words it answers (empty: done) fail the line, its unit
  // rolled back with it.
  std::string ledger_cash;
  std::string ledger_offset;
  std::function<std::string(const TransactionData&, tclRollbackStack&)> on_entered;
  // Lines whose units are made permanent together (at least 1).
  int unit_lines = 500;
  // Each line's result, in the statement's order, once what it says stands
  // (its unit committed or rolled back). Lines of a statement refused whole
  // are not reported.
  std::function<void(const bkLineResult&)> on_line;
};

struct BK_EXPORT bkStatementImportResult {
  int counts[kLineOutcomes] = {};
  uint64_t fetches = 0;  // fetch calls of the matching
  int Count(bkLineOutcome outcome) const { return counts[static_cast<int>(outcome)]; }
  bool locked = false;   // a failure was another program holding a record
  bool refused = false;  // the statement was refused by a business rule (nothing written)
  // Refused: the statement names its account and the bank account has no
  // account number recorded to check it against.
  bool no_account_number = false;
};

class BK_EXPORT bkStatementImporter {
 public:
  // The program's master file and current transactions are open; `history`
  // (posted transactions) and `statements` (BKS) are open files of the same
  // company.
  bkStatementImporter(bkProgram& program, const tsioDataFile& master, const tsioDataFile& current,
                      const tsioDataFile& history, const tsioDataFile& statements);

  // Applies `statement` to `bank`'s register. Errors (level 3) for what
  // refuses the whole statement, nothing written: no such bank account, a
  // statement of another account (or one the account cannot be checked
  // against), no ending balance, a statement date not after the last
  // reconciliation, another statement in progress, a fetch that failed
  // while matching. Lines that fail are reported (kFailed) with an error
  // message each.
  ccStatus<ccError::Level> Import(const tsAlpha& bank, const bkStatement& statement,
                                  const bkStatementImportOptions& options, bkStatementImportResult* result);

 private:
  bkProgram& program_;
  const tsioDataFile& master_;
  const tsioDataFile& current_;
  const tsioDataFile& history_;
  const tsioDataFile& statements_;
};

// Account numbers compared: blanks and dashes dropped, letters upper-cased.
BK_EXPORT std::string bkNormalAccountNumber(const std::string& number);
