// For the detail-transfer tests: a company with a deposit, a withdrawal's
// details, cash, tax and tax GL details in its current transaction file; the
// rows of both transaction files as comparable snapshots; records written and
// matched from "COLUMN=value;..." texts; moves with a fault armed after the
// record is positioned, at every call of its kind in turn; a second program
// holding a record lock.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/io/faults.h"
#include "framework/io/rollback_stack.h"
#include "deposits/cash_detail.h"
#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "records/record_test_support.h"
#include "deposits/tax_detail.h"
#include "deposits/tax_gl_detail.h"
#include "deposits/withdrawal_detail.h"

namespace bkdetailtest {

// The company's records (DetailCompany): deposit CHK1 run 5 sequence 1, item
// 1 with lines 4000, 4100, 4200 (10 + 20 + 30), item 2 with one line; deposit
// CHK1 5/2 with one item and line; two withdrawal details of 5/1; two cash
// details of 5/1 in batch BK/B1, cash-detail runs 3/1 and 3/2 (this one the
// second); a tax detail and a tax GL detail.
inline constexpr const char kCash2[] = "CDBNKAC=CHK1;CDTRUN=5;CDTSEQ=1;CDRUN=3;CDSEQ=2";

// Sets the named columns of `record` from "COLUMN=value;..."; false when a
// column is not bound or a value does not parse.
bool Set(ccRecData& record, const std::string& text);

template <typename C>
void Put(tsioDataFile& file, const std::string& text) {
  C cursor(file);
  ASSERT_TRUE(Set(cursor.m_Record, text)) << text;
  ASSERT_EQ(cursor.Insert(), tsioStatus::kSuccess) << text;
}

// One stored record: its columns' exact values as text.
using Row = std::map<std::string, std::string>;
// The rows of the detail record types (2, 3, 4, 5, 8, 9) of the current
// transaction file and the history.
using Snapshot = std::pair<std::vector<Row>, std::vector<Row>>;
// The row whose columns hold every value of `text` ("COLUMN=value;...").
const Row* Find(const std::vector<Row>& rows, const std::string& text);

class DetailCompany : public bktest::BankCompany {
 public:
  DetailCompany();  // writes the records above
  std::vector<Row> Rows(tsioDataFile& file) const;
  Snapshot Snap() const { return {Rows(*bkt), Rows(*history)}; }
};

// A fault: the operation it hits and the status it answers.
struct FaultKind {
  tsioOp op;
  tsioStatus::Status status;
  const char* name;
};

// `kind` as the `nth` call of its operation, armed by Arm once what the
// attempt prepares is in place.
class ArmedFault {
 public:
  ArmedFault(const FaultKind& kind, int nth) : kind_(kind), nth_(nth) {}
  void Arm();
  // Clears every fault; whether the operation met this one.
  bool Disarm();

 private:
  FaultKind kind_;
  int nth_;
  bool armed_ = false;
  bool met_ = false;
};

// Runs `attempt(fault)` with `kind` as the first call of its operation, then
// as the second, and so on until a run no longer meets it (or `limit` runs,
// when given). `attempt` arms the fault, runs the operation, disarms it and
// returns whether the operation reported success; the run that met no fault
// must succeed. The number of calls the operation made.
template <typename Attempt>
int ForEveryFault(const FaultKind& kind, Attempt attempt, int limit = 0) {
  for (int nth = 1; nth < 400; ++nth) {
    if (limit > 0 && nth > limit) return limit;
    SCOPED_TRACE(std::string(kind.name) + " #" + std::to_string(nth));
    ArmedFault fault(kind, nth);
    const bool ok = attempt(fault);
    if (!fault.Disarm()) {
      EXPECT_TRUE(ok) << "no fault met, and yet a failure";
      return nth - 1;
    }
    if (::testing::Test::HasFatalFailure()) return nth;
  }
  ADD_FAILURE() << "the operation never ends";
  return 0;
}

// Positions a cursor of class C binding `columns` ("": all) on the record
// `key` of `from` (with a lock when `lock`), attaches `stack` (when given),
// arms `fault` (when given) and moves the record to `to` under run 7,
// sequence 12.
template <typename C>
ccStatus<TransferStatus> Move(tsioDataFile& from, tsioDataFile& to, const std::string& key, tclRollbackStack* stack,
                              ArmedFault* fault = nullptr, bool lock = true, const char* columns = "") {
  C cursor(from, columns);
  EXPECT_TRUE(Set(cursor.m_Record, key));
  EXPECT_EQ(cursor.FetchEQ(lock), tsioStatus::kSuccess) << key;
  if (stack != nullptr) cursor.AttachRollbackStack(stack);
  if (fault != nullptr) fault->Arm();
  ccStatus<TransferStatus> result = cursor.Transfer(to, tsDouble(7), tsDouble(12));
  if (fault != nullptr) fault->Disarm();
  return result;
}

// Locks record `key` through a cursor of class C on `file` and releases it
// again: the status of the locked fetch (9 while another handle holds it).
template <typename C>
tsioStatus::Status LockOnce(tsioDataFile& file, const std::string& key) {
  C cursor(file);
  if (!Set(cursor.m_Record, key)) return tsioStatus::kInvalidOperation;
  const tsioStatus::Status status = cursor.FetchEQ(true);
  if (status == tsioStatus::kSuccess) (void)cursor.Unlock();
  return status;
}

// A second program that opens the company and holds a lock on record `key`
// of the file `spec` (through a cursor of class C) until it is sent a line.
template <typename C>
bktest::ChildProcess HoldLock(const std::string& folder, const std::string& key,
                              const tsioFileSpec& spec = BKTFileSpec) {
  bktest::ChildProcess child = bktest::ChildProcess::Start([folder, key, spec] {
    tsioFileManager fm(folder);
    tsioDataFile* file = nullptr;
    if (fm.Open(spec, &file) != tsioStatus::kSuccess) return 1;
    C cursor(*file);
    if (!Set(cursor.m_Record, key)) return 2;
    bktest::ChildProcess::WriteLine(std::to_string(cursor.FetchEQ(true)));
    (void)bktest::ChildProcess::ReadLine();
    return 0;
  });
  EXPECT_EQ(child.Receive(), "0") << "the second program could not lock " << key;
  return child;
}

// A failed move: value 2 for a fatal `status`, else 1; one message,
// `number`, naming `description` and `status`.
void ExpectOneTransferError(const ccStatus<TransferStatus>& result, tsioStatus::Status status,
                            const std::string& description, unsigned short number);

}  // namespace bkdetailtest
