// The module commands of bkreg: batches, the general ledger's accounts and
// periods, removing and transferring transactions, posting a batch,
// clearing, reconciliation in progress and the locks programs hold. Each
// takes what its command line gave (already checked for form) and returns
// the exit status of module_work.h: 0 done, 1 refused (input or a business
// rule), 2 failed, 3 another program holds what it needs.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "tools/bkreg/output.h"

namespace bkreg {

class Context;

// The program's context (company, format, streams) and the output format.
struct Common {
  Context* ctx = nullptr;
  Format format = Format::kText;
};

// batch open|list|show|edit|close. A batch is known by its id; its records
// and generations are batch_ids.h's.
struct BatchOptions {
  std::string id;
  std::string appl = "BK";
  std::string description;
  bool description_given = false;      // edit: --desc was given
  std::string date;                    // default today
  std::optional<long> control_count;   // the number of transactions expected
  std::string control_amount;          // their amount
};
int BatchOpen(const Common& c, const BatchOptions& o, std::ostream& out, std::ostream& err);
int BatchList(const Common& c, std::ostream& out, std::ostream& err);
int BatchShow(const Common& c, const BatchOptions& o, std::ostream& out, std::ostream& err);
int BatchClose(const Common& c, const BatchOptions& o, std::ostream& out, std::ostream& err);
int BatchEdit(const Common& c, const BatchOptions& o, std::ostream& out, std::ostream& err);

// gl account add|list, gl period add|list.
struct GlAccountOptions {
  std::string account;  // unformatted
  bool inactive = false;
};
int GlAccountAdd(const Common& c, const GlAccountOptions& o, std::ostream& out, std::ostream& err);
int GlAccountList(const Common& c, std::ostream& out, std::ostream& err);
struct GlPeriodOptions {
  std::string entity;  // the fiscal entity (a prefix; "" for a company without prefixes)
  long year = 0;
  long period = 0;     // 0 with --year alone: the twelve months of the year
  std::string start, end;
  bool closed = false;
};
int GlPeriodAdd(const Common& c, const GlPeriodOptions& o, std::ostream& out, std::ostream& err);
int GlPeriodList(const Common& c, std::ostream& out, std::ostream& err);
// gl trial: per account the posted debits, credits and balance, and what
// waits to be posted; a last row of totals (debits equal credits).
int GlTrialBalance(const Common& c, std::ostream& out, std::ostream& err);
// gl interface on|off|status: whether the register's entries go to the
// general ledger (checked against its accounts and periods, deposit and
// withdrawal lines required to add up). `on` empty: tell.
int GlInterface(const Common& c, std::optional<bool> on, std::ostream& out, std::ostream& err);

// A transaction named on the command line: bank account, run and sequence.
struct TranRef {
  std::string bank;
  long long run = 0;
  long long sequence = 0;
};

int RemoveTransaction(const Common& c, const TranRef& t, std::ostream& out, std::ostream& err);

struct TransferOptions {
  std::string from, to;
  std::string amount;
  std::string date;  // default today
  std::string description;
  std::string batch = "BKREG";
};
int TransferFunds(const Common& c, const TransferOptions& o, std::ostream& out, std::ostream& err);

struct PostOptions {
  std::string batch;
  std::string journal;  // file the totals journal is written to ("" = printed)
  bool force = false;   // an existing journal file is replaced
  long unit = 1000;     // transactions per unit of work
};
int PostBatch(const Common& c, const PostOptions& o, std::ostream& out, std::ostream& err);

// The transaction is named by its run and sequence, or by its check number
// or deposit id within the bank account (history first, then the register).
struct ClearOptions {
  TranRef tran;
  long long check = 0;
  std::string deposit_id;
  std::string amount;  // default: the transaction's amount
  std::string date;    // default today
  bool undo = false;   // --undo: a cleared transaction back to open
};
int ClearTransaction(const Common& c, const ClearOptions& o, std::ostream& out, std::ostream& err);

struct ReconcileOptions {
  std::string bank;
  std::string statement_date;
  std::string ending_balance;
};
int ReconcileStart(const Common& c, const ReconcileOptions& o, std::ostream& out, std::ostream& err);
int ReconcileStatus(const Common& c, const ReconcileOptions& o, std::ostream& out, std::ostream& err);
int ReconcileCancel(const Common& c, const ReconcileOptions& o, std::ostream& out, std::ostream& err);

int ListLocks(const Common& c, std::ostream& out, std::ostream& err);

// The demo company's month of work with the general ledger (demo_month.cc),
// after its first entries: the exit status.
int RunDemoMonth(Context& ctx);

}  // namespace bkreg
