// A batch as the bookkeeper knows it: an id under which checks, deposits,
// withdrawals, adjustments and transfers are entered, checked against its
// control totals, posted and closed.
//
// Records. The module keeps a batch's counts in batch records (BKT record
// type 6) keyed by application, id, source and location: the register's
// own entries count in the "BK" record, checks (stamped as payables' by the
// module's rules for a check with an amount) in the "AP" record of the same
// id. Both records together are the batch: its control totals and its
// entered count and amount are their sums, and posting or closing the id
// takes both.
//
// Generations. Closing a batch removes its records while its transactions
// stay in history stamped with its key. An id used again after that starts
// a clean batch, told apart by its location (BDPLOC, TDPLOC): the first use
// of an id has an empty location, the next "0002", "0003", ..., so the
// counts of each generation follow exactly its own transactions.
//
// Rules for entering into an id: the open generation (its records exist) is
// added to, unless it was posted (a record counts entries and none of them
// is left unposted): then entering is refused until the batch is closed; an
// id with no records starts a new generation.
#pragma once

#include <string>
#include <vector>

#include "framework/io/command_reads.h"
#include "framework/io/data_file.h"
#include "records/batch_data.h"
#include "tools/bkreg/context.h"

namespace bkreg {

struct BatchGeneration {
  std::string location;  // the generation's BDPLOC / TDPLOC
  bool exists = false;   // it has a record
  bool posted = false;   // a record counts entries and none is left unposted
};

// The generation entries into `id` go to (its transactions are in the
// register and the history): kDone with `*g` filled, else the exit status
// after a message (a posted batch is refused, exit 1).
int EntryGeneration(Context& ctx, const tsioDataFile& register_file, const tsioDataFile& history,
                    const std::string& id, BatchGeneration* g);

// Queues, on a server, the reads EntryGeneration asks after the batch's
// records (read already: PrefetchBatchRecords), for a caller that sends
// them with another request; EntryGeneration's own reads are then answered
// by what that request kept. Nothing elsewhere.
void PrefetchEntryGeneration(const tsioDataFile& register_file, const std::string& id);

// The records of batch `id` (every application and location), read in key
// order; kSuccess, or the status of a read that failed.
tsioStatus::Status BatchRecords(const tsioDataFile& register_file, const std::string& id,
                                std::vector<BatchData>* records);
// Queues, on a server, the first read BatchRecords asks, kept for the
// command `reads` is the scope of (command_reads.h); nothing elsewhere.
void PrefetchBatchRecords(tsioCommandReads& reads, const tsioDataFile& register_file, const std::string& id);

// A batch's totals over its records: the control totals a person gave
// (0 and 0.00: none) and what was entered against them.
struct BatchTotals {
  long control_count = 0, entered_count = 0;
  tsCurrency control_amount, entered_amount;
  void Add(const BatchData& r);
  bool Controlled() const { return control_count != 0 || !control_amount.IsNull(); }
  // The module's balance rule: an empty control count checks the amount
  // only; a batch without control totals is in balance.
  bool InBalance() const;
};

}  // namespace bkreg
