// Entering transactions from bkreg: one at a time through the library's
// transaction creation (enter), or many in units of work with the bank
// account's totals (generate, import).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/types/ts_currency.h"
#include "framework/types/ts_date.h"
#include "tools/bkreg/context.h"
#include "tools/bkreg/entry_details.h"

class TransactionData;
class bkVerifyDuplicates;
class tclRollbackStack;

namespace bkreg {

// The duplicate check of entering: a check number, or a deposit's date and
// id, already used for the bank account by a transaction unposted (the
// register) or posted (the history), or held by a pending deposit. The
// company's settings are not consulted: posted transactions always count.
class DuplicateCheck {
 public:
  DuplicateCheck();
  ~DuplicateCheck();
  DuplicateCheck(const DuplicateCheck&) = delete;
  DuplicateCheck& operator=(const DuplicateCheck&) = delete;

  // Opens the lookups on the session's files; kDone, or the exit status
  // after a message.
  int Open(Context& ctx, Session& s);
  bkVerifyDuplicates& Verifier();

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// Transaction types by their command-line names: check 1, deposit 2,
// withdrawal 3, adjustment 4; 0 for anything else.
int TypeCode(const std::string& name);

struct Entry {
  std::string bank;
  int type = 0;
  tsCurrency amount;  // signed for adjustments, positive otherwise
  tsDate date;
  long long check = 0;
  std::string description, payee, deposit_id, batch = "BKREG";
  std::string batch_location;  // the batch's generation (batch_ids.h), set by the entering
  bool allow_duplicate = false;  // --allow-duplicate
  bool payables = false;         // a check payables wrote: it never goes to the general ledger from here
  std::string account;            // the offset general-ledger account (--account)
  std::string cash_account;       // the bank's side (--cash-account; default the bank's cash account)
  std::vector<DetailLine> lines;  // a deposit's item lines or a withdrawal's details
  // The bank's cash account as read before the account is taken (empty:
  // not known): the reads made after the account's lock then go with the
  // lock, in one request. The locked read decides; a hint it contradicts
  // costs only a read more.
  std::string cash_account_hint;
};

// Enters `e` as one unit of work (the transaction, created through the
// library in the program's batch, and the bank account's balance and
// totals). The bank account is waited for (Context::wait_seconds). With
// `verify`, the duplicate check runs while the account is held. The exit
// status; unless `quiet`, what was created (run and sequence) is printed in
// the context's format.
int EnterOne(Context& ctx, Session& s, const Entry& e, bool quiet, bkVerifyDuplicates* verify = nullptr);

// What EnterMany reads next: 1 with `e` filled, 0 at the end, or after a
// message on the error stream an exit status negated (-kRefused: the input
// is refused, -kFailed, -kBusy); nothing more is entered then.
using EntrySource = std::function<int(Entry& e)>;

// Called by EnterMany after each entry `e` is written as `t`, inside the
// unit of work `unit` that commits it: what the caller writes with it
// commits or rolls back with the entry. A failure status fails the unit.
using EntryWritten = std::function<tsioStatus::Status(const Entry& e, const TransactionData& t, tclRollbackStack& unit)>;

// Enters what `next` gives into bank account `id`, every `unit` entries one
// unit of work with the account's balance and totals and the batches'
// counts, so a failure loses at most the unit it happened in. The entries
// go in batch `batch` (checks in its payables' record, the rest in the
// register's), counted as one entry at a time is: an open batch is added
// to, a posted one is refused, and a full one goes on in "<batch>-2", ...;
// `*batches` are the ids entered into. `*entered` is how many were
// committed; progress goes to a terminal (`total` entries expected, 0 when
// unknown). `written`, when set, is called after each entry is written.
int EnterMany(Context& ctx, Session& s, const std::string& id, const std::string& batch, long unit, long total,
              const EntrySource& next, long* entered, std::vector<std::string>* batches,
              const EntryWritten& written = nullptr);

}  // namespace bkreg
