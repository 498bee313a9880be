// For the tests of the transaction operations: a company with the module's
// files (current transactions, history, master) and general-ledger master
// data, a program of the module with its batch, transactions entered as an
// entry program enters them, the bank account's totals computed from
// scratch over the stored transactions, and the whole database as text.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "accounts/bank_account.h"
#include "batches/bk_batch_part.h"
#include "deposits/detail_transfer_test_support.h"
#include "transactions/transaction.h"
#include "validation/validation_test_support.h"

namespace txtest {

// The bank account of the tests and its opening balances.
inline constexpr const char kBank[] = "B1";
inline constexpr const char kRegisterOpening[] = "1000.00";
inline constexpr const char kBankOpening[] = "900.00";

// The company: vtest's GL master data (accounts, calendar 2025) and a
// program with the current transactions and the master file open, the
// history created and open, bank account kBank with its opening balances
// and batch B1 of AP (source 2) the program's current batch.
class TxCompany : public vtest::ValidationCompany {
 public:
  TxCompany();
  tsioDataFile& Bkm() { return *Program().File(BKMFileSpec); }
  tsioDataFile& History() { return *history_; }
  // The module's part of the program's batch.
  bkBatchPart& Part();

 private:
  tsioDataFile* history_ = nullptr;
};

// A transaction of kBank of `type` (1 check, 2 deposit, 3 withdrawal, 4
// adjustment; other values as they are) of `amount` (signed: a negative
// adjustment subtracts), dated 2025-03-10, described by `description`;
// checks get number `check`, deposits deposit id "D-<check>".
void Fill(TransactionData& record, int type, const char* amount, const std::string& description, int check = 1);

// What an entry program does when it saves a new transaction, inside
// `unit` (attached to the transaction cursor and to a bank cursor of its
// own): Transaction::Create, then, when it succeeded, the bank account's
// register balance and open and unreconciled totals, written. The status of
// Create, or 2001 when the bank account could not be written.
ccStatus<ccError::Level> Enter(bkProgram& program, Transaction& transaction, TranTotals* totals,
                               tclRollbackStack& unit);

// The stored balances and totals of kBank, as one text: each column's name
// and value.
std::string Stored(const tsioDataFile& bkm);
// From scratch over every transaction of kBank in `files`, as Stored gives
// them: the register balance is the opening one plus every net amount; the
// bank balance the opening one plus the cleared amounts of cleared and
// reconciled transactions; the open totals count the open transactions
// (state 1), the unreconciled ones every transaction not reconciled (state
// not 3), each by kind (adjustments by the sign of their net amount),
// magnitudes; view balances equal their balances.
std::string FromScratch(const std::vector<const tsioDataFile*>& files);
// Writes the totals FromScratch gives into kBank.
void StoreFromScratch(const tsioDataFile& bkm, const std::vector<const tsioDataFile*>& files);

// Every row of every table of the company's database, each value with its
// storage type and exact bytes, read through a connection of its own (so
// only what is committed is seen).
std::string DumpDatabase(const std::string& folder);

// The transactions of a file in key order.
std::vector<TransactionData> Transactions(const tsioDataFile& file);

// The details of each transaction of `file` by "run/seq": how many of each
// kind, as "CDx1 DIx2 DIG1x3 DIG2x1 TGx2 TXx1 WDx2" (cash, deposit items,
// each item's lines by item number, tax GL, tax and withdrawal details).
std::map<std::string, std::string> Details(const tsioDataFile& file);
// The same text from counts by kind.
std::string DetailText(const std::map<std::string, int>& counts);

// Batch `id` of application AP (source 2) as another program's part reads it
// from the current transaction file ("<count> <amount>"; a batch never
// written counts none), and the counts of a part.
std::string StoredBatch(TxCompany& co, const char* id);
std::string Counts(const bkBatchPart& part);

// Positions `t` on the stored transaction with `record`'s key (with a lock
// when `lock`).
tsioStatus::Status FetchByKey(Transaction& t, const TransactionData& record, bool lock);

// Every fault kind an operation can meet, with the status each answers.
inline const std::vector<bkdetailtest::FaultKind> kEveryFaultKind = {
    {tsioOp::kFetch, tsioStatus::kDamaged, "fetch (damaged)"},
    {tsioOp::kInsert, tsioStatus::kIOError, "insert"},
    {tsioOp::kUpdate, tsioStatus::kDiskFull, "update"},
    {tsioOp::kDelete, tsioStatus::kIOError, "delete"},
    {tsioOp::kLock, tsioStatus::kLocked, "lock"},
    {tsioOp::kHeaderRead, tsioStatus::kIOError, "header read"},
    {tsioOp::kHeaderWrite, tsioStatus::kIOError, "header write"},
    {tsioOp::kCommit, tsioStatus::kBusy, "commit"},
    {tsioOp::kAttachmentsRead, tsioStatus::kIOError, "attachments read"},
    {tsioOp::kAttachmentsWrite, tsioStatus::kDiskFull, "attachments write"},
};

}  // namespace txtest
