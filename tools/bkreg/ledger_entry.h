// The general ledger's part in entering: what an entry must satisfy while
// the register's entries go to the general ledger (`gl interface on`), and
// the record of its bank side that sends it there.
//
// Rules while the interface is on; an entry that breaks one is refused
// (exit 1) before a run is taken, so nothing is numbered for it:
//   - it names the bank's side (the entry's --cash-account, else the bank
//     account's cash account) and an offset: a check or an adjustment its
//     --account, a deposit or a withdrawal its --account or its
//     distribution lines (a transfer's paying side offsets against the
//     receiving account's cash account);
//   - every account it names is one the general ledger knows and is active;
//   - its date lies in an open fiscal period for every account it names: a
//     date in no known period, after the last known one, or in a closed one
//     is refused (the module's validation reports these as warnings only).
//
// A transaction entered while the interface is on gets a cash detail (BKT
// record type 5: its bank side's account, its accounting date and its net
// amount, moved with it when it is posted) and its amount counts in the
// bank account's GL cash account balance (BKM record type 3), which the
// cash balance as of a date starts from. Posting writes general-ledger lines
// for exactly the transactions that have a cash detail: one entered while
// the interface was off, or a check entered as payables' (--payables),
// never goes to the general ledger.
#pragma once

#include <string>
#include <vector>

#include "framework/io/data_file.h"
#include "framework/io/rollback_stack.h"
#include "framework/types/values.h"
#include "records/transaction_data.h"
#include "tools/bkreg/context.h"
#include "tools/bkreg/entry_details.h"

class bkProgram;
class tsioCommandReads;

namespace bkreg {

// Whether the register's entries go to the general ledger now.
bool LedgerInterfaceOn();

// The accounts of an entry, as it will be stored.
struct LedgerSides {
  int type = 0;
  tsDate date;
  std::string cash;    // the bank's side
  std::string offset;  // the other side (--account)
  std::vector<DetailLine> lines;
  bool offset_elsewhere = false;  // a transfer's receiving side: its paying side carries the pair
};

// kDone when the entry may go to the general ledger (the rules above, the
// interface being on), else kRefused with every problem on the error
// stream in the catalogue's words where it has them. The general ledger's
// module and files must be open (EnterPrepareLedger).
int CheckLedgerEntry(Context& ctx, bkProgram& program, const LedgerSides& sides);

// Keeps, for the command `reads` scopes, the general ledger's records an
// entry's checks read again and again: its accounts, calendar and header,
// which an entry treats as fixed while it is made (the checks in its unit
// read them again from the server), and queues the accounts of `sides`, the
// company's calendar and the header, for the caller to ask together with
// its other reads in one request (reads.Send()). The module and files must
// be open.
void KeepLedgerReads(tsioCommandReads& reads, bkProgram& program, const LedgerSides& sides);

// Queues, inside the entry's unit (begun), the reads its checks there make
// again before its first write: the company's calendar and the general
// ledger's header, asked together with the unit's next request.
void QueueLedgerUnitReads(bkProgram& program);

// The cash account as the ledger's records keep it (unformatted).
tsAlpha CashAccountKey(const std::string& account);

// Queues, for the command `reads` scopes, the unlocked read of bank account
// `bank` in `master`, its answer kept for the command (reads.Send() asks
// it with the command's other reads); nothing on an embedded database.
void PrefetchBankAccount(tsioCommandReads& reads, const tsioDataFile& master, const std::string& bank);
// The cash account bank account `bank` names, read unlocked: what the
// ledger's reads are queued for before the account is locked (the locked
// read decides). "" when the account cannot be read.
std::string CashAccountOf(const tsioDataFile& master, const std::string& bank);

// Queues, in the entry's unit on a server, the lock and locked read of the
// GL cash account balance RecordCashSide counts bank `bank`'s side `cash`
// into (tsioCursor::PrefetchLockedEQ), to go with the unit's next request.
void QueueCashBalanceLock(const tsioDataFile& master, const std::string& bank, const std::string& cash);

// Writes the cash detail of the transaction `t` (just created in `file`,
// its bank side `cash`; the cash-detail run and next sequence of the
// program's header) and counts its net amount into the bank account's GL
// cash account balance in `master`, through cursors sharing `unit`. A
// cash-detail run that cannot be taken answers kLocked.
tsioStatus::Status RecordCashSide(bkProgram& program, const tsioDataFile& file, const tsioDataFile& master,
                                  const TransactionData& t, const std::string& cash, tclRollbackStack& unit);

// Deletes the cash details of the transaction `t` holds in `file` (an
// unposted one being removed) and takes their amounts out of the GL cash
// account balances, through cursors sharing `unit`.
tsioStatus::Status RemoveCashSide(const tsioDataFile& file, const tsioDataFile& master, const TransactionData& t,
                                  tclRollbackStack& unit);

// Whether the transaction `t` holds in `file` has a cash detail (it goes to
// the general ledger); `*st` the status of a read that failed.
bool HasCashSide(const tsioDataFile& file, const TransactionData& t, tsioStatus::Status* st);

}  // namespace bkreg
