// For the tests of the transaction operations: a company with the module's
// files (current transactions, history, master) and general-ledger master
// data, a program of the module with its batch, transactions entered as an
// entry program enters them, the bank account's totals computed from
// scratch over the stored transactions, and the whole database as text.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "accounts/bank_account.h"
#include "batches/bk_batch_part.h"
#include "framework/io/faults.h"
#include "framework/io/rollback_stack.h"
#include "programs/bk_program.h"
#include "transactions/transaction.h"
#include "validation/validation_test_support.h"

namespace txtest {

// The bank account of the tests and its opening balances.
inline constexpr const char kBank[] = "B1";
inline constexpr const char kRegisterOpening[] = "1000.00";
inline constexpr const char kBankOpening[] = "900.00";

// The company: vtest's GL master data (accounts, calendar 2025) and a
// program with the current transactions and the master file open, the
// history created and open, and bank account kBank with its opening
// balances.
class TxCompany : public vtest::ValidationCompany {
 public:
  TxCompany();
  tsioDataFile& Bkm() { return *Program().File(BKMFileSpec); }
  tsioDataFile& History() { return *history_; }
  // Makes batch `id` of `host` (source 2), with the module's part (its batch
  // records in the current transaction file), the program's current batch;
  // the part.
  bkBatchPart& UseBatch(const char* host = "AP", const char* id = "B1");
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

// The stored balances and totals of a bank account.
struct BankTotals {
  tsCurrency register_balance, register_view, bank_balance, bank_view;
  tsCurrency open[6];        // checks, deposits, withdrawals, minus, plus, net
  tsCurrency unreconciled[6];
  std::string Text() const;
  bool operator==(const BankTotals& other) const { return Text() == other.Text(); }
};
inline void PrintTo(const BankTotals& t, std::ostream* os) { *os << t.Text(); }

BankTotals Stored(const tsioDataFile& bkm, const std::string& bank = kBank);
// From scratch over every transaction of `bank` in `files`: the register
// balance is the opening one plus every net amount; the bank balance the
// opening one plus the cleared amounts of cleared and reconciled
// transactions; the open totals count the open transactions (state 1), the
// unreconciled ones every transaction not reconciled (state not 3), each by
// kind (adjustments by the sign of their net amount), magnitudes; view
// balances equal their balances.
BankTotals FromScratch(const std::vector<const tsioDataFile*>& files, const std::string& bank = kBank,
                       const char* register_opening = kRegisterOpening, const char* bank_opening = kBankOpening);
// Writes the totals FromScratch gives into the bank account.
void StoreFromScratch(const tsioDataFile& bkm, const std::vector<const tsioDataFile*>& files,
                      const std::string& bank = kBank);

// Every row of every table of the company's database, each value with its
// storage type and exact bytes, read through a connection of its own (so
// only what is committed is seen).
std::string DumpDatabase(const std::string& folder);

// The transactions of a file in key order.
std::vector<TransactionData> Transactions(const tsioDataFile& file);

// Calls add(key, record) for every record of cursor class C in `file`, the
// key "run/sequence" read from the columns naming its transaction.
template <typename C, typename Add>
void Walk(const tsioDataFile& file, const char* run_col, const char* seq_col, Add add) {
  C cursor(file);
  for (auto st = cursor.FetchFirst(false); st == tsioStatus::kSuccess; st = cursor.FetchNext(false)) {
    tsDouble run, seq;
    (void)cursor.GetColumnData(run_col, run);
    (void)cursor.GetColumnData(seq_col, seq);
    add(run.Format() + "/" + seq.Format(), cursor.m_Record);
  }
}

// Batch `id` of application AP (source 2), read from the current transaction
// file as another program's part reads it, counts `count` transactions of
// `amount` (a batch never written counts none).
void ExpectStoredBatch(TxCompany& co, const char* id, long long count, const tsCurrency& amount);

// Positions `t` on the stored transaction with `record`'s key (with a lock
// when `lock`).
tsioStatus::Status FetchByKey(Transaction& t, const TransactionData& record, bool lock);

// Every fault kind an operation can meet, with the status each answers.
struct FaultKind {
  tsioOp op;
  tsioStatus::Status status;
  const char* name;
};
const std::vector<FaultKind>& EveryFaultKind();

}  // namespace txtest
