// Verifying a company: the database's own integrity check, then every bank
// account's stored balances and totals and every batch's counts recomputed
// from the transactions (current and history), with every difference
// reported. Soak and crash tests call it after their work; bkreg verify
// prints it.
//
// What is recomputed, per bank account, from its transactions in the
// register and in history (the totals' meanings, transactions/README.md):
//   - open totals: checks, deposits, withdrawals, plus and minus
//     adjustments (magnitudes; an adjustment by the sign of its net amount)
//     and the open net, over transactions in state 1 (open);
//   - unreconciled totals, likewise over transactions not in state 3;
//   - register balance less bank balance: both start at the opening balance,
//     the register adds every net amount, the bank every cleared amount
//     (TRECAMT of a transaction in state 2 or 3), so their difference is the
//     sum of the net amounts less the sum of those cleared amounts.
// Per batch record (BKT record type 6): the entered count and amount (BCNTP,
// BAMTP) against the transactions stamped with the batch (application of
// origin, batch id, location and, for the register's own batches, source;
// the other applications' transactions carry source 1).
// Reconciliations, per bank account (when the statements file is given):
//   - every reconciled transaction (TRECOND 3) lies on a finished statement:
//     its statement date (TSTMTDT) names a reconciliation record (BKS record
//     type 2) of its account;
//   - each record's count and net total are those of the transactions
//     reconciled on it, and its ending balance is its previous balance plus
//     that total; each record starts where the one before ended (the first
//     from the account's opening balance: the register balance less every
//     transaction), and the last one's ending balance and date are the
//     account's last reconciled balance and date (BRECBAL, BRECDT).
// The general ledger (when its transaction files are given):
//   - per GL run and ledger, in the waiting and the posted file, the debits
//     equal the credits;
//   - per GL cash account, its lines (waiting and posted) add up to the cash
//     details of the posted transactions on it (a transaction entered for
//     the general ledger has one, its bank side's account and net amount);
//   - per bank account and cash account, the GL cash account balance record
//     (BKM record type 3) equals the cash details of the account's
//     transactions, posted or not.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/io/data_file.h"
#include "records/bk_export.h"

struct bkVerifyDrift {
  std::string subject;   // "bank account OPS", "batch BK/BKREG/2"
  std::string field;     // "open checks", "register - bank balance", "entered count"
  std::string stored;    // as the record holds it
  std::string computed;  // from the transactions
};

struct bkVerifyResult {
  // kSuccess, or the status of the read that stopped the check (kDamaged for
  // a damaged database).
  tsioStatus::Status status = tsioStatus::kSuccess;
  // What the engine's integrity check found (empty when it found nothing).
  std::vector<std::string> integrity;
  std::vector<bkVerifyDrift> drift;
  long bank_accounts = 0, batches = 0, transactions = 0, reconciliations = 0, gl_lines = 0;
  bool Clean() const { return status == tsioStatus::kSuccess && integrity.empty() && drift.empty(); }
};

// Runs the engine's full integrity check (or, with `quick`, its quicker
// check that skips matching indexes against their tables: about a fifth of
// the time) on the database `file` belongs to; at most `limit` problems in
// `*problems`. kSuccess when the check ran (problems or not), else why it
// could not.
BK_EXPORT tsioStatus::Status bkCheckIntegrity(const tsioDataFile& file, std::vector<std::string>* problems,
                                              int limit = 100, bool quick = false);

// The files a check reads; those that may be null are left out of it.
struct bkVerifyFiles {
  const tsioDataFile* master = nullptr;         // BKM
  const tsioDataFile* register_file = nullptr;  // BKT, unposted transactions
  const tsioDataFile* history = nullptr;        // BKT's history (may be null)
  const tsioDataFile* statements = nullptr;     // BKS: reconciliations (may be null)
  const tsioDataFile* gl_waiting = nullptr;     // GLT 331 (may be null)
  const tsioDataFile* gl_posted = nullptr;      // GLT 332 (may be null)
};

// The whole check: integrity first (when it finds problems the totals are
// not recomputed, since reads of a damaged file prove nothing), then the
// totals, the reconciliations and the general ledger. `progress` (may be
// empty) is called with the number of transactions read so far, every
// 10,000.
BK_EXPORT bkVerifyResult bkVerifyCompany(const bkVerifyFiles& files,
                                         const std::function<void(long)>& progress = nullptr);
// The same over the master, register and history files alone.
BK_EXPORT bkVerifyResult bkVerifyCompany(const tsioDataFile& master, const tsioDataFile& register_file,
                                         const tsioDataFile* history,
                                         const std::function<void(long)>& progress = nullptr);
