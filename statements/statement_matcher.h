// Matching bank statement lines to register transactions of one bank
// account, by indexed fetches only: the cost of a line is the candidates it
// has plus one fetch per search that ends it, whatever the register's size.
//
// Only open transactions (reconciliation state 1) are candidates: one that
// is cleared or reconciled already is never matched again. The searches, in
// the order they are tried:
//   check number  a line with a check number is matched to the open
//                 transactions with that number (index 6: bank, check);
//                 nothing else is tried for it;
//   reference     a line with a reference is matched to the open deposits
//                 with that deposit id dated within the window (index 3:
//                 bank, deposit date, deposit id);
//   amount        otherwise, or when the reference finds nothing, the open
//                 transactions of the line's amount (a positive amount as an
//                 addition, a negative one as a subtraction) dated within
//                 the window (index 14: bank, subtraction, addition, date).
// A search gives exactly one candidate of the line's amount: an exact
// match. Several, or a check of another amount: ambiguous, the candidates
// are proposed. None: the line is unknown to the register, unless the same
// searches met transactions already cleared or reconciled that the line
// could be (the check of its number, or of its amount): those are the
// line's `settled` transactions, so a line the register holds already
// cleared is never taken for a new one. They are read by the same walks:
// looking for them costs no fetch.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/io/data_file.h"
#include "framework/io/io_status.h"
#include "framework/types/values.h"
#include "records/bk_export.h"
#include "statements/statement.h"

// A transaction a line may be: which transaction file (its instance: 1
// current, 2 history) and key, and what the proposal shows.
class Transaction;
class TransactionData;

struct BK_EXPORT bkMatchCandidate {
  short instance = 0;
  long long run = 0, sequence = 0;
  int type = 0;
  tsDate date;
  tsCurrency amount;  // net: addition - subtraction
  long long check = 0;
  std::string deposit_id;
  bool posted = false;
  int state = 1;  // reconciliation state: 1 open, 2 cleared, 3 reconciled
  bool operator==(const bkMatchCandidate& o) const {
    return instance == o.instance && run == o.run && sequence == o.sequence;
  }
};

// The candidate that `t`, of the transaction file of `instance`, is.
BK_EXPORT bkMatchCandidate bkMatchCandidateOf(const TransactionData& t, short instance);

enum class bkMatchKind { kExact, kAmbiguous, kUnknown };

struct BK_EXPORT bkLineMatch {
  bkMatchKind kind = bkMatchKind::kUnknown;
  std::vector<bkMatchCandidate> candidates;  // the one exact match, or the proposals
  // Cleared or reconciled transactions the line could be (each once): a
  // check of its number, or a transaction of its amount.
  std::vector<bkMatchCandidate> settled;
  const char* by = "";                       // "check", "reference", "amount"
};

class BK_EXPORT bkStatementMatcher {
 public:
  // Matches lines of `bank` against the transaction files `files` (the
  // history and the current transactions, usually), with dates within
  // `window_days` days either side of a line's date.
  bkStatementMatcher(std::vector<const tsioDataFile*> files, const tsAlpha& bank, int window_days = 3);
  ~bkStatementMatcher();
  bkStatementMatcher(const bkStatementMatcher&) = delete;
  bkStatementMatcher& operator=(const bkStatementMatcher&) = delete;

  // kSuccess with `out` filled, or the status of a fetch that failed.
  [[nodiscard]] tsioStatus::Status Match(const bkStatementLine& line, bkLineMatch* out);

  // Fetch calls made so far (found or not, served from read-ahead or not).
  uint64_t Fetches() const { return fetches_; }

 private:
  tsioStatus::Status ByCheck(const tsioDataFile& file, const bkStatementLine& line, bkLineMatch* found);
  tsioStatus::Status ByReference(const tsioDataFile& file, const bkStatementLine& line, bkLineMatch* found);
  tsioStatus::Status ByAmount(const tsioDataFile& file, const bkStatementLine& line, bkLineMatch* found);

  // The search cursor of a file and index, made on first use and kept, so
  // its fetch statements are prepared once.
  Transaction& Cursor(const tsioDataFile& file, short index);

  std::map<std::pair<const tsioDataFile*, short>, std::unique_ptr<Transaction>> cursors_;
  std::vector<const tsioDataFile*> files_;
  tsAlpha bank_;
  int window_;
  uint64_t fetches_ = 0;
};
