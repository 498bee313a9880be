// The transaction operations over real files: Create and Remove in their
// batch and totals, Transfer with details, notes and attachments, clearing
// into the bank balance for every type and state; every failure path, by
// fault injection at every I/O step and by a second program holding the
// bank account, the transaction or a detail, rolled back to exactly the
// files that were there before.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <random>

#include "batches/batch.h"
#include "deposits/cash_detail.h"
#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "deposits/detail_transfer_test_support.h"
#include "deposits/tax_detail.h"
#include "deposits/tax_gl_detail.h"
#include "deposits/withdrawal_detail.h"
#include "framework/batch/batch.h"
#include "framework/io/attachments.h"
#include "framework/io/faults.h"
#include "transactions/transactions_test_support.h"
#include "validation/tran_totals.h"

namespace {

using bkdetailtest::HoldLock;
using bkdetailtest::Put;
using bktest::ChildProcess;
using txtest::TxCompany;

// Texts of the seeded transactions of the current file (run 5), with their
// details: a deposit of two items (60 = 10 + 20 + 30, 5 = 5) with notes and
// a file link, a withdrawal with two details and a check, each with a cash
// detail; the deposit also with a tax detail, its tax GL detail and one tax
// GL detail of no tax detail.
constexpr const char kDeposit[] = "TBNKACC=B1;TRUN=5;TSEQ=1";
constexpr const char kWithdrawal[] = "TBNKACC=B1;TRUN=5;TSEQ=2";
constexpr const char kCheck[] = "TBNKACC=B1;TRUN=5;TSEQ=3";
constexpr const char kItem2[] = "DIBNKAC=B1;DIRUN=5;DISEQ=1;DITEMNO=2";
constexpr const char kLine4100[] = "DIGBNKA=B1;DIGRUN=5;DIGSEQ=1;DIGLINO=1;DIGLACC=4100";
constexpr const char kWithdrawal2[] = "WDBNKAC=B1;WDRUN=5;WDSEQ=2;WDGLACC=6100";
constexpr const char kTaxGL[] = "TGBNKAC=B1;TGRUN=5;TGSEQ=1;TGTXRUN=4;TGTXSEQ=1";

void Seed(TxCompany& co) {
  tsioDataFile& bkt = co.Bkt();
  Put<Transaction>(bkt, std::string(kDeposit) + ";TRANTYP=2;TADD=65.00;TDESC=Deposit one;TDEPID=D-1");
  Put<Transaction>(bkt, std::string(kWithdrawal) + ";TRANTYP=3;TSUBTR=42.50;TDESC=Withdrawal");
  Put<Transaction>(bkt, std::string(kCheck) + ";TRANTYP=1;TSUBTR=100.00;TCHECK=77;TCPAYEE=Smith");
  Put<DepositItem>(bkt, "DIBNKAC=B1;DIRUN=5;DISEQ=1;DITEMNO=1;DIAMT=60.00;DIPAYER=Jones");
  Put<DepositItem>(bkt, std::string(kItem2) + ";DIAMT=5.00");
  for (const char* line : {"1;DIGLACC=4000;DIGAMT=10.00", "1;DIGLACC=4100;DIGAMT=20.00", "1;DIGLACC=4200;DIGAMT=30.00",
                           "2;DIGLACC=4000;DIGAMT=5.00"}) {
    Put<DepositItemDetail>(bkt, std::string("DIGBNKA=B1;DIGRUN=5;DIGSEQ=1;DIGLINO=") + line);
  }
  Put<WithdrawalDetail>(bkt, "WDBNKAC=B1;WDRUN=5;WDSEQ=2;WDGLACC=6000;WDAMT=40.00");
  Put<WithdrawalDetail>(bkt, std::string(kWithdrawal2) + ";WDAMT=2.50");
  for (int seq = 1; seq <= 3; ++seq) {
    Put<CashDetail>(bkt, "CDBNKAC=B1;CDTRUN=5;CDTSEQ=" + std::to_string(seq) + ";CDRUN=3;CDSEQ=" +
                             std::to_string(seq) + ";CDCSHAC=1000;CDAMT=1.00");
  }
  Put<TaxDetail>(bkt, "TXBNKAC=B1;TXRUN=5;TXSEQ=1;TXTXRUN=4;TXTXSEQ=1;TXGRP=GST;TXTXAMT=3.25");
  Put<TaxGLDetail>(bkt, std::string(kTaxGL) + ";TGTAX=GST;TGTXAMT=3.25");
  Put<TaxGLDetail>(bkt, "TGBNKAC=B1;TGRUN=5;TGSEQ=1;TGTXRUN=4;TGTXSEQ=2;TGTAX=PST;TGTXAMT=1.00");
  Transaction t(bkt);
  ASSERT_TRUE(bkdetailtest::Set(t.m_Record, kDeposit));
  ASSERT_EQ(t.FetchEQ(false), tsioStatus::kSuccess);
  tsioAttachments notes(bkt, TransactionData::kRecordType);
  notes.Notes() = {"Counted twice", "Bag 7"};
  notes.FileLinks() = {"/scans/deposit-1.pdf"};
  ASSERT_EQ(notes.Write(*t.CursorPtr()), tsioStatus::kSuccess);
}

// The detail records of one transaction of a file, as text, by kind.
std::string DetailsOf(const tsioDataFile& file, int run, int seq) {
  const std::string key = tsDouble(run).Format() + "/" + tsDouble(seq).Format();
  std::string out;
  auto add = [&](const char* kind) {
    return [&out, &key, kind](const std::string& k, const auto&) { out += k == key ? std::string(kind) + " " : ""; };
  };
  txtest::Walk<DepositItem>(file, "DIRUN", "DISEQ", add("DIRUN"));
  txtest::Walk<DepositItemDetail>(file, "DIGRUN", "DIGSEQ", add("DIGRUN"));
  txtest::Walk<WithdrawalDetail>(file, "WDRUN", "WDSEQ", add("WDRUN"));
  txtest::Walk<CashDetail>(file, "CDTRUN", "CDTSEQ", add("CDTRUN"));
  txtest::Walk<TaxDetail>(file, "TXRUN", "TXSEQ", add("TXRUN"));
  txtest::Walk<TaxGLDetail>(file, "TGRUN", "TGSEQ", add("TGRUN"));
  return out;
}

// The notes and file links of transaction `key` of a file, as one text.
std::string Notes(const tsioDataFile& file, const std::string& key) {
  Transaction t(file);
  EXPECT_TRUE(bkdetailtest::Set(t.m_Record, key));
  EXPECT_EQ(t.FetchEQ(false), tsioStatus::kSuccess) << key;
  tsioAttachments a(file, TransactionData::kRecordType);
  EXPECT_EQ(a.Fetch(*t.CursorPtr()), tsioStatus::kSuccess);
  std::string out = " notes:";
  for (const auto& n : a.Notes()) out += " " + n;
  out += "; links:";
  for (const auto& l : a.FileLinks()) out += " " + l;
  return out;
}

// The stored columns of a transaction except run, sequence and posted.
std::string Body(const TransactionData& r) {
  std::string out;
  for (const auto& column : r.Columns()) {
    if (column.name == "TRUN" || column.name == "TSEQ" || column.name == "TPOSTED") continue;
    out += column.name + "=" + column.field->Format() + ";";
  }
  return out;
}

// The entry totals printed into the program's journal, as one text.
std::string Report(TxCompany& co, TranTotals& totals) {
  totals.PrintToFile();
  std::string report;
  for (const auto& l : co.Program().Journal().Section(totals.ReportSectionID())->PrintLines()) report += l + "\n";
  return report;
}

int Count(const tsioDataFile& file) { return static_cast<int>(txtest::Transactions(file).size()); }

// ---- Create and Remove --------------------------------------------------

// (Stamping with the run, sequence and batch fields: bkreg_test's entering
// test; rounding: the fault test's create scenario; what Create counts in
// the batch and the totals: TransactionBatchCounts.)
TEST(TransactionCreate, AnInvalidTransactionIsNotWrittenAndSaysSoUnlessQuiet) {
  for (bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "quiet" : "not quiet");
    TxCompany co;
    const std::string before = txtest::DumpDatabase(co.Folder());
    Transaction t(co.Bkt());
    txtest::Fill(t.m_Record, 1, "20", "No number", 0);  // a check needs its number
    tclRollbackStack unit;
    t.AttachRollbackStack(&unit);
    ccStatus<ccError::Level> st = t.Create(co.Program(), nullptr, quiet);
    EXPECT_EQ(st.Value(), ccError::kError);
    ASSERT_EQ(st.Errors().Size(), quiet ? 1u : 2u);
    EXPECT_EQ(st.Errors()[0].Number(), 1608);
    if (!quiet) {
      EXPECT_EQ(st.Errors()[1].Text(), "Check transaction for Bank \"B1\" could not be created.");
    }
    ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
    EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
  }
}

// A batch without the module's part: the batch update fails, the record
// written stays for the caller's rollback, the totals do not count it, and
// nothing is dereferenced that is not there.
TEST(TransactionCreate, ABatchWithoutTheModulesPartReportsTheBatchUpdateFailure) {
  TxCompany co;
  const std::string before = txtest::DumpDatabase(co.Folder());
  co.Program().SetBatch(zzBatch("AP", tsAlpha("B9"), 2));
  TranTotals totals(co.Program(), TranTotals::kEntryTotals, false);
  ASSERT_EQ(totals.InitJournalSection().Value(), kBoolSuccess);
  totals.InitUnitOfWork();
  Transaction t(co.Bkt());
  txtest::Fill(t.m_Record, 2, "10", "Dep");
  tclRollbackStack unit;
  t.AttachRollbackStack(&unit);
  ccStatus<ccError::Level> st = t.Create(co.Program(), &totals, false);
  EXPECT_EQ(st.Value(), ccError::kError);
  ASSERT_EQ(st.Errors().Size(), 1u);
  EXPECT_EQ(st.Errors()[0].Number(), 1618);
  EXPECT_EQ(Count(co.Bkt()), 1) << "written, for the caller's rollback";
  ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
  totals.Commit();
  EXPECT_NE(Report(co, totals).find("No entries made."), std::string::npos) << Report(co, totals);
  EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
}

// ---- Transfer -------------------------------------------------------------

// A detail fetch that ends other than at "no more details" is a failure
// naming the detail's kind (value 2 when the status is fatal), and the
// transaction stays in its file.
TEST(TransactionTransfer, ADetailThatCannotBeReadFailsTheMoveAndTheTransactionStays) {
  TxCompany co;
  Seed(co);
  const std::string before = txtest::DumpDatabase(co.Folder());
  const struct {
    const char* key;
    tsioStatus::Status status;
    const char* description;
  } cases[] = {{kDeposit, tsioStatus::kDamaged, "deposit item"},
               {kDeposit, tsioStatus::kNotFound, "deposit item"},
               {kWithdrawal, tsioStatus::kIOError, "withdrawal detail"},
               {kWithdrawal, tsioStatus::kLocked, "withdrawal detail"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " " + ccIOStatusStr(c.status));
    Transaction t(co.Bkt());
    ASSERT_TRUE(bkdetailtest::Set(t.m_Record, c.key));
    ASSERT_EQ(t.FetchEQ(true), tsioStatus::kSuccess);
    tclRollbackStack unit;
    t.AttachRollbackStack(&unit);
    tsioFaults::Arm(tsioOp::kFetch, c.status, 1);  // the first detail fetch
    ccStatus<TransferStatus> st = t.Transfer(co.History(), tsDouble(9), tsDouble(1));
    tsioFaults::Clear();
    // Value 2 when the status is fatal, else 1 (checked by the helper).
    bkdetailtest::ExpectOneTransferError(st, c.status, c.description, 1614);
    ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
    (void)t.Unlock();
  }
  EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
}

// ---- every I/O step failing ---------------------------------------------

// One operation on a prepared company, run with a fault armed.
struct Scenario {
  const char* name;
  // Prepares what the operation needs (committed); called once per company.
  std::function<void(TxCompany&)> prepare;
  // Runs the operation (the cursor it uses gets `unit` when given): true
  // when it reported success; on failure it checks the report's form.
  std::function<bool(TxCompany&, tclRollbackStack*, TranTotals&)> run;
  // Checks the work done after a success (no fault armed any more).
  std::function<void(TxCompany&)> done = [](TxCompany&) {};
};

// A posted transaction in the history of each kind, for clearing.
void SeedHistory(TxCompany& co) {
  tsioDataFile& h = co.History();
  Put<Transaction>(h, "TBNKACC=B1;TRUN=9;TSEQ=1;TRANTYP=2;TADD=65.00;TPOSTED=1");
  Put<Transaction>(h, "TBNKACC=B1;TRUN=9;TSEQ=2;TRANTYP=1;TSUBTR=100.00;TPOSTED=1;TRECOND=2;TRECAMT=-90.00");
  txtest::StoreFromScratch(co.Bkm(), {&co.Bkt(), &co.History()});
}

bool TransferReport(const ccStatus<TransferStatus>& st) {
  if (st.Value() == kTransferDone) return true;
  EXPECT_EQ(st.Errors().Size(), 1u);
  return false;
}

// Moves the seeded transaction `key` to the history as run 9, sequence 3;
// with its details, the cash, tax and tax GL details go too (else they stay).
// After a success the moved record is posted with every other column, note
// and file link as they were.
Scenario TransferScenario(const char* name, const char* key, bool with_details, int seq, const char* moved,
                          const char* left) {
  auto source = std::make_shared<std::string>();
  return {name,
          [key, source](TxCompany& co) {
            Seed(co);
            Transaction t(co.Bkt());
            ASSERT_TRUE(bkdetailtest::Set(t.m_Record, key));
            ASSERT_EQ(t.FetchEQ(false), tsioStatus::kSuccess);
            *source = Body(t.m_Record) + Notes(co.Bkt(), key);
          },
          [key, with_details](TxCompany& co, tclRollbackStack* unit, TranTotals&) {
            Transaction t(co.Bkt());
            if (unit) t.AttachRollbackStack(unit);
            if (!bkdetailtest::Set(t.m_Record, key) || t.FetchEQ(true) != tsioStatus::kSuccess) return false;
            if (TransferReport(with_details ? t.TransferWithDetails(co.History(), tsDouble(9), tsDouble(3))
                                            : t.Transfer(co.History(), tsDouble(9), tsDouble(3)))) {
              return true;
            }
            (void)t.Unlock();  // the lock the caller took
            return false;
          },
          [seq, moved, left, source](TxCompany& co) {
            EXPECT_EQ(DetailsOf(co.History(), 9, 3), moved);
            EXPECT_EQ(DetailsOf(co.Bkt(), 5, seq), left);
            const char* at = "TBNKACC=B1;TRUN=9;TSEQ=3";
            Transaction t(co.History());
            ASSERT_TRUE(bkdetailtest::Set(t.m_Record, at));
            ASSERT_EQ(t.FetchEQ(false), tsioStatus::kSuccess);
            EXPECT_TRUE(static_cast<bool>(t.m_Record.GetPosted()));
            EXPECT_EQ(Body(t.m_Record) + Notes(co.History(), at), *source);
            Transaction gone(co.Bkt());
            ASSERT_TRUE(bkdetailtest::Set(gone.m_Record, "TBNKACC=B1;TRUN=5;TSEQ=" + std::to_string(seq)));
            EXPECT_EQ(gone.FetchEQ(false), tsioStatus::kNotFound);
          }};
}

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> scenarios = {
      {"create",
       [](TxCompany&) {},
       [](TxCompany& co, tclRollbackStack* unit, TranTotals& totals) {
         Transaction t(co.Bkt());
         if (unit) t.AttachRollbackStack(unit);
         txtest::Fill(t.m_Record, 2, "12.005", "New");
         ccStatus<ccError::Level> st = t.Create(co.Program(), &totals, false);
         if (!st.HasError()) return true;
         EXPECT_FALSE(st.Errors().Empty());
         return false;
       },
       [](TxCompany& co) {
         const auto stored = txtest::Transactions(co.Bkt());
         ASSERT_EQ(stored.size(), 1u);
         EXPECT_EQ(stored[0].GetAddition(), tsCurrency::FromText("12.01")) << "rounded half away from zero";
       }},
      // Removed through a cursor over some columns: the batch still takes
      // the stored amount back; the notes go with the record.
      {"remove",
       [](TxCompany& co) {
         Transaction t(co.Bkt());
         txtest::Fill(t.m_Record, 1, "30.00", "Old", 55);
         ASSERT_FALSE(t.Create(co.Program(), nullptr, false).HasError());
         tsioAttachments a(co.Bkt(), TransactionData::kRecordType);
         a.Notes() = {"a note"};
         ASSERT_EQ(a.Write(*t.CursorPtr()), tsioStatus::kSuccess);
       },
       [](TxCompany& co, tclRollbackStack* unit, TranTotals& totals) {
         Transaction t(co.Bkt(), "TBNKACC;TRUN;TSEQ;TDESC");
         if (unit) t.AttachRollbackStack(unit);
         tsioStatus::Status found = t.FetchFirst(true);
         if (found != tsioStatus::kSuccess) return false;  // the fault met the caller's own fetch
         ccStatus<ccError::Level> st = t.Remove(co.Program(), &totals);
         if (!st.HasError()) return true;
         EXPECT_EQ(st.Errors().Size(), 1u);
         (void)t.Unlock();  // the lock the caller took
         return false;
       },
       [](TxCompany& co) {
         EXPECT_EQ(co.Part().GetNumberOfTransPosted(), tsDouble(0));
         EXPECT_EQ(co.Part().GetAmountOfTransPosted(), tsDouble(0));
         Transaction probe(co.Bkt());
         ASSERT_TRUE(bkdetailtest::Set(probe.m_Record, "TBNKACC=B1;TRUN=1;TSEQ=1"));
         ASSERT_EQ(probe.SetBuffer(), tsioStatus::kSuccess);
         tsioAttachments gone(co.Bkt(), TransactionData::kRecordType);
         ASSERT_EQ(gone.Fetch(*probe.CursorPtr()), tsioStatus::kSuccess);
         EXPECT_TRUE(gone.Empty());
       }},
      TransferScenario("transfer with details", kDeposit, true, 1,
                       "DIRUN DIRUN DIGRUN DIGRUN DIGRUN DIGRUN CDTRUN TXRUN TGRUN TGRUN ", ""),
      TransferScenario("transfer withdrawal", kWithdrawal, false, 2, "WDRUN WDRUN ", "CDTRUN "),
      {"clear",
       [](TxCompany& co) { SeedHistory(co); },
       [](TxCompany& co, tclRollbackStack* unit, TranTotals&) {
         Transaction t(co.History());
         BankAccount bank(co.Bkm());
         if (unit) {
           t.AttachRollbackStack(unit);
           bank.AttachRollbackStack(unit);
         }
         if (!bkdetailtest::Set(t.m_Record, "TBNKACC=B1;TRUN=9;TSEQ=2") || t.FetchEQ(false) != tsioStatus::kSuccess) {
           return false;
         }
         ccStatus<ccError::Level> st =
             t.clearTransaction(tsCurrency::FromText("-100.00"), tsDate(2025, 3, 20), &bank, tsDouble(9), nullptr);
         if (!st.HasError()) return true;
         EXPECT_EQ(st.Errors().Size(), 1u) << "one message per failure";
         return false;
       },
       [](TxCompany& co) {
         EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()}));
       }},
  };
  return scenarios;
}

// Whether the fault armed as the `nth` call of `op` was left unused.
bool Unused(tsioOp op, int nth) {
  tsioStatus::Status ignored;
  for (int i = 0; i < nth; ++i) {
    if (tsioFaults::Hit(op, &ignored)) return true;
  }
  return false;
}

// Nobody holds a lock on any record of the company's module files: a second
// handle can lock every record.
void ExpectNothingLocked(TxCompany& co) {
  tsioDataFile bkm(co.Folder() + "/BKM.1"), bkt(co.Folder() + "/BKT.1"), history(co.Folder() + "/BKT.2");
  BankAccount bank(bkm);
  for (auto st = bank.FetchFirst(true); st != tsioStatus::kEndOfFile; st = bank.FetchNext(true)) {
    ASSERT_EQ(st, tsioStatus::kSuccess) << "a bank account stays locked";
  }
  for (tsioDataFile* f : {&bkt, &history}) {
    Transaction t(*f);
    for (auto st = t.FetchFirst(true); st != tsioStatus::kEndOfFile; st = t.FetchNext(true)) {
      ASSERT_EQ(st, tsioStatus::kSuccess) << "a transaction stays locked";
    }
    DepositItem items(*f);
    for (auto st = items.FetchFirst(true); st != tsioStatus::kEndOfFile; st = items.FetchNext(true)) {
      ASSERT_EQ(st, tsioStatus::kSuccess) << "a deposit item stays locked";
    }
  }
}

// Every fault kind at every call of its kind the operation makes: inside the
// caller's unit of work, a failure is reported and the caller's rollback
// leaves the database exactly as it was, no lock held, the batch part and
// the totals as they were; a success (a fault the operation survives)
// leaves the work done. Without a unit of work, the operation is all or
// nothing on its own.
TEST(TransactionFaults, EveryIOStepOfEveryOperationFailingIsTakenBackWhole) {
  const auto& kinds = txtest::EveryFaultKind();
  for (const Scenario& scenario : Scenarios()) {
    // The calls of each fault kind the operation makes, counted in the
    // caller's unit; in a unit of its own it makes the same and one commit.
    std::vector<int> calls(kinds.size(), 0);
    for (bool own_unit : {false, true}) {
      std::unique_ptr<TxCompany> co;
      std::string before;
      auto fresh = [&] {
        co.reset();
        co = std::make_unique<TxCompany>();
        scenario.prepare(*co);
        before = txtest::DumpDatabase(co->Folder());
      };
      fresh();
      int failures = 0;
      for (size_t k = 0; k < kinds.size(); ++k) {
        const txtest::FaultKind& kind = kinds[k];
        const int limit = own_unit ? calls[k] + (kind.op == tsioOp::kCommit ? 1 : 0) : 400;
        for (int nth = 1; nth <= limit; ++nth) {
          SCOPED_TRACE(std::string(scenario.name) + (own_unit ? " in its own unit, " : " in the caller's unit, ") +
                       kind.name + " #" + std::to_string(nth));
          const bkBatchPart part_before = co->Part();
          TranTotals totals(co->Program(), TranTotals::kEntryTotals, false);
          totals.InitUnitOfWork();
          if (!own_unit) co->Program().GetBatch().InitUnitOfWork();
          tclRollbackStack unit;
          tsioFaults::Arm(kind.op, kind.status, nth);
          const bool ok = scenario.run(*co, own_unit ? nullptr : &unit, totals);
          const bool unused = Unused(kind.op, nth);
          tsioFaults::Clear();
          if (ok) scenario.done(*co);
          if (!ok) ++failures;
          if (!own_unit) {
            ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
            totals.RollBack();
            co->Program().GetBatch().Rollback();
          }
          if (!ok) {
            EXPECT_EQ(txtest::DumpDatabase(co->Folder()), before);
            EXPECT_EQ(co->Part().GetNumberOfTransPosted(), part_before.GetNumberOfTransPosted());
            EXPECT_EQ(co->Part().GetAmountOfTransPosted(), part_before.GetAmountOfTransPosted());
            ExpectNothingLocked(*co);
          } else if (!own_unit) {
            EXPECT_EQ(txtest::DumpDatabase(co->Folder()), before);
          } else {
            fresh();  // a fault it survived: the work is done and committed
          }
          if (unused) {
            EXPECT_FALSE(own_unit) << "the same calls in its own unit";
            EXPECT_TRUE(ok) << "no fault met, and yet a failure";
            calls[k] = nth - 1;
            break;
          }
          if (HasFatalFailure()) return;
        }
      }
      EXPECT_GT(failures, 0) << scenario.name;
    }
  }
}

// ---- a second program holding what an operation needs --------------------

// While another program holds a record an operation needs (a detail or the
// transaction for a move; the batch record for Create; the transaction for
// Remove; the bank account or the transaction for clearing), the operation
// fails with its one message, counts nothing, and the caller's rollback
// leaves the files exactly as they were with no lock held.
TEST(TransactionLocks, EveryOperationFailsWhileAnotherProgramHoldsWhatItNeeds) {
  enum Op { kMove, kCreate, kRemove, kClear };
  struct Case {
    const char* held;
    Op op;
    std::function<ChildProcess(const std::string&)> hold;
    const char* key;  // the transaction operated on (none for Create)
    unsigned short number;
    const char* text;  // in the message
  };
  const Case cases[] = {
      {"a deposit item", kMove, [](const std::string& f) { return HoldLock<DepositItem>(f, kItem2); }, kDeposit,
       1614, "deposit item"},
      {"a deposit item's line", kMove, [](const std::string& f) { return HoldLock<DepositItemDetail>(f, kLine4100); },
       kDeposit, 1614, "deposit item detail"},
      {"a withdrawal detail", kMove,
       [](const std::string& f) { return HoldLock<WithdrawalDetail>(f, kWithdrawal2); }, kWithdrawal, 1614,
       "withdrawal detail"},
      {"the moved transaction", kMove, [](const std::string& f) { return HoldLock<Transaction>(f, kCheck); }, kCheck,
       1613, "transaction"},
      {"a tax GL detail", kMove, [](const std::string& f) { return HoldLock<TaxGLDetail>(f, kTaxGL); }, kDeposit,
       1614, "tax gl detail"},
      {"the batch record", kCreate,
       [](const std::string& f) { return HoldLock<Batch>(f, "BAPPL=AP;BATCH=B1;BSOURCE=2"); }, nullptr, 1618, ""},
      {"the removed transaction", kRemove,
       [](const std::string& f) { return HoldLock<Transaction>(f, "TBNKACC=B1;TRUN=1;TSEQ=1"); },
       "TBNKACC=B1;TRUN=1;TSEQ=1", 1619, ""},
      {"the bank account", kClear,
       [](const std::string& f) { return HoldLock<BankAccount>(f, "BANKACC=B1", BKMFileSpec); },
       "TBNKACC=B1;TRUN=9;TSEQ=1", 2001, "Bank Account"},
      {"the cleared transaction", kClear,
       [](const std::string& f) { return HoldLock<Transaction>(f, "TBNKACC=B1;TRUN=9;TSEQ=1", BKTHistoryFileSpec); },
       "TBNKACC=B1;TRUN=9;TSEQ=1", 2001, "Transaction"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.held);
    TxCompany co;
    if (c.op == kMove) Seed(co);
    if (c.op == kClear) SeedHistory(co);
    if (c.op == kCreate || c.op == kRemove) {
      Transaction first(co.Bkt());
      txtest::Fill(first.m_Record, 2, "8.00", "First");
      ASSERT_FALSE(first.Create(co.Program(), nullptr, false).HasError());  // the batch record now exists
    }
    const bkBatchPart part_before = co.Part();
    const std::string before = txtest::DumpDatabase(co.Folder());
    ChildProcess holder = c.hold(co.Folder());
    tsioDataFile& file = c.op == kClear ? co.History() : co.Bkt();
    Transaction t(file);
    BankAccount bank(co.Bkm());
    tclRollbackStack unit;
    t.AttachRollbackStack(&unit);
    bank.AttachRollbackStack(&unit);
    if (c.key) {
      ASSERT_TRUE(bkdetailtest::Set(t.m_Record, c.key));
      ASSERT_EQ(t.FetchEQ(false), tsioStatus::kSuccess);
    }
    TranTotals totals(co.Program(), TranTotals::kEntryTotals, false);
    totals.InitUnitOfWork();
    ccStatus<ccError::Level> st(ccError::kNone);
    switch (c.op) {
      case kMove: {
        ccStatus<TransferStatus> moved = t.TransferWithDetails(co.History(), tsDouble(9), tsDouble(1));
        EXPECT_EQ(moved.Value(), kTransferFailed);
        ASSERT_EQ(moved.Errors().Size(), 1u);
        st.Errors().Add(moved.Errors()[0]);
        st.SetValue(ccError::kError);
        EXPECT_NE(moved.Errors()[0].Text().find("(9)"), std::string::npos) << moved.Errors()[0].Text();
        break;
      }
      case kCreate:
        txtest::Fill(t.m_Record, 2, "9.00", "Second");
        st = t.Create(co.Program(), &totals, false);
        break;
      case kRemove:
        st = t.Remove(co.Program(), &totals);
        break;
      case kClear:
        st = t.clearTransaction(tsCurrency::FromText("65.00"), tsDate(2025, 3, 20), &bank, tsDouble(9), nullptr);
        break;
    }
    ASSERT_EQ(st.Errors().Size(), 1u);
    EXPECT_EQ(st.Errors()[0].Number(), c.number);
    EXPECT_NE(st.Errors()[0].Text().find(c.text), std::string::npos) << st.Errors()[0].Text();
    EXPECT_EQ(st.Value(), ccError::kError);
    if (c.key) {
      Transaction still(file);
      EXPECT_EQ(txtest::FetchByKey(still, t.m_Record, false), tsioStatus::kSuccess) << "the transaction stays";
    }
    if (std::string(c.held) == "a tax GL detail") {
      // Tax GL details move before their tax detail: the tax detail has not
      // moved while its GL line could not.
      EXPECT_EQ(DetailsOf(co.History(), 9, 1).find("TXRUN"), std::string::npos);
    }
    EXPECT_EQ(co.Part().GetNumberOfTransPosted(), part_before.GetNumberOfTransPosted()) << "nothing counted";
    EXPECT_EQ(co.Part().GetAmountOfTransPosted(), part_before.GetAmountOfTransPosted());
    ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
    holder.Send("end");
    holder.Wait();
    EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
    ExpectNothingLocked(co);
  }
}

// ---- clearing ---------------------------------------------------------------

// Every kind of transaction, open, cleared or reconciled, cleared with its
// own amount or another: afterwards every stored total equals the
// computation from scratch, and clearing it again changes nothing.
TEST(TransactionClear, KeepsEveryTotalRightForEveryTypeAndStateAndNeverCountsTwice) {
  struct Kind {
    int type;
    const char* amount;
  };
  const Kind kinds[] = {{1, "100.00"}, {2, "50.00"}, {3, "30.00"}, {4, "20.00"}, {4, "-15.00"}, {4, "0.00"}, {9, "5.00"}};
  TxCompany co;
  int seq = 0;
  for (const Kind& kind : kinds) {
    for (int state : {1, 2, 3}) {
      for (const char* difference : {"0.00", "1.25"}) {
        SCOPED_TRACE("type " + std::to_string(kind.type) + " " + kind.amount + ", state " + std::to_string(state) +
                     ", cleared with a difference of " + difference);
        ++seq;
        Transaction t(co.History());
        txtest::Fill(t.m_Record, kind.type, kind.amount, "T" + std::to_string(seq), seq);
        t.m_Record.SetRun(tsDouble(9));
        t.m_Record.SetSequence(tsDouble(seq));
        t.m_Record.SetPosted(tsBool(true));
        t.m_Record.SetReconciled(tsChoice(state));
        if (state != 1) t.m_Record.SetClearedAmount(t.m_Record.GetAmount() - tsCurrency::FromText("3.00"));
        ASSERT_EQ(t.Insert(), tsioStatus::kSuccess);
        txtest::StoreFromScratch(co.Bkm(), {&co.Bkt(), &co.History()});
        const txtest::BankTotals before = txtest::Stored(co.Bkm());

        const tsCurrency cleared = t.m_Record.GetAmount() + tsCurrency::FromText(difference);
        for (int time = 1; time <= 2; ++time) {
          BankAccount bank(co.Bkm());
          tclRollbackStack unit;
          t.AttachRollbackStack(&unit);
          bank.AttachRollbackStack(&unit);
          ASSERT_EQ(txtest::FetchByKey(t, t.m_Record, false), tsioStatus::kSuccess);
          ccStatus<ccError::Level> st = t.clearTransaction(cleared, tsDate(2025, 3, 21), &bank, tsDouble(9), nullptr);
          ASSERT_TRUE(st.Errors().Empty()) << st.Errors()[0].Text();
          ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
          t.DetachRollbackStack();
          EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()})) << "time " << time;
        }
        ASSERT_EQ(txtest::FetchByKey(t, t.m_Record, false), tsioStatus::kSuccess);
        EXPECT_EQ(t.m_Record.GetReconciled().Value(), 2);
        EXPECT_EQ(t.m_Record.GetReconcileInProgress().Value(), 2);
        EXPECT_EQ(t.m_Record.GetClearedAmount(), cleared);
        EXPECT_EQ(t.m_Record.GetClearedDate(), tsDate(2025, 3, 21));
        const txtest::BankTotals after = txtest::Stored(co.Bkm());
        if (kind.type == 1 && state == 1) {
          // A check of 100.00 leaves the open checks and raises the open net.
          EXPECT_EQ(after.open[0], before.open[0] - tsCurrency(100));
          EXPECT_EQ(after.open[5], before.open[5] + tsCurrency(100));
        }
      }
    }
  }
}

TEST(TransactionClear, RefusesWhatCannotBeClearedWithOneMessageAndChangesNothing) {
  TxCompany co;
  SeedHistory(co);
  Put<Transaction>(co.History(), "TBNKACC=B1;TRUN=9;TSEQ=3;TRANTYP=2;TADD=5.00");  // not posted
  Put<Transaction>(co.History(), "TBNKACC=NOBANK;TRUN=9;TSEQ=4;TRANTYP=2;TADD=5.00;TPOSTED=1");
  const std::string before = txtest::DumpDatabase(co.Folder());
  struct Case {
    const char* key;
    bool bank;
    bool date;
    unsigned short number;
    const char* text;
  };
  const Case cases[] = {
      {"TBNKACC=B1;TRUN=9;TSEQ=3", true, true, 2004, ""},
      {"TBNKACC=B1;TRUN=9;TSEQ=1", false, true, 1608, "Bank Account Cursor"},
      {"TBNKACC=B1;TRUN=9;TSEQ=1", true, false, 1608, "Cleared Date"},
      {"TBNKACC=NOBANK;TRUN=9;TSEQ=4", true, true, 2000, "NOBANK"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.number) + " " + c.text);
    Transaction t(co.History());
    ASSERT_TRUE(bkdetailtest::Set(t.m_Record, c.key));
    ASSERT_EQ(t.FetchEQ(false), tsioStatus::kSuccess);
    BankAccount bank(co.Bkm());
    ccStatus<ccError::Level> st =
        t.clearTransaction(tsCurrency(5), c.date ? tsDate(2025, 3, 20) : tsDate(), c.bank ? &bank : nullptr,
                           tsDouble(9), nullptr);
    ASSERT_EQ(st.Errors().Size(), 1u);
    EXPECT_EQ(st.Errors()[0].Number(), c.number);
    EXPECT_EQ(st.Value(), ccError::kError);
    EXPECT_NE(st.Errors()[0].Text().find(c.text), std::string::npos) << st.Errors()[0].Text();
    EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
  }
  ExpectNothingLocked(co);
}

// The caller's bank cursor: positioned on another account it is put back;
// reading by another index or over some columns it is not used (another
// cursor does the work) and still put back; holding the account with its
// own lock it keeps the lock and shows the new totals.
TEST(TransactionClear, TheCallersBankCursorEndsWhereItWasAndKeepsItsLock) {
  TxCompany co;
  {
    BankAccount other(co.Bkm());
    other.m_Record.SetBankAccount(tsAlpha("A0"));
    other.m_Record.SetDescription(tsAlpha("Another"));
    ASSERT_EQ(other.Insert(), tsioStatus::kSuccess);
  }
  SeedHistory(co);
  struct Case {
    const char* name;
    const char* columns;
    short index;
    const char* positioned_on;
    bool lock;
  };
  const Case cases[] = {
      {"on another account", "", 0, "A0", false},
      {"over some columns", "BANKACC;BDESC", 0, "A0", false},
      {"unpositioned", "", 0, nullptr, false},
      {"on the account, with its lock", "", 0, "B1", true},
      {"over some columns, on the account", "BANKACC;BDESC", 0, "B1", false},
  };
  int seq = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ++seq;
    Put<Transaction>(co.History(), "TBNKACC=B1;TRUN=9;TSEQ=" + std::to_string(seq) + ";TRANTYP=3;TSUBTR=7.00;TPOSTED=1");
    txtest::StoreFromScratch(co.Bkm(), {&co.Bkt(), &co.History()});
    BankAccount bank(co.Bkm(), c.columns, c.index);
    if (c.positioned_on) {
      bank.m_Record.SetBankAccount(tsAlpha(c.positioned_on));
      ASSERT_EQ(bank.FetchEQ(c.lock), tsioStatus::kSuccess);
    }
    Transaction t(co.History());
    ASSERT_TRUE(bkdetailtest::Set(t.m_Record, "TBNKACC=B1;TRUN=9;TSEQ=" + std::to_string(seq)));
    ASSERT_EQ(t.FetchEQ(false), tsioStatus::kSuccess);
    ccStatus<ccError::Level> st =
        t.clearTransaction(tsCurrency::FromText("-7.00"), tsDate(2025, 3, 22), &bank, tsDouble(9), nullptr);
    ASSERT_TRUE(st.Errors().Empty()) << st.Errors()[0].Text();
    if (c.positioned_on) {
      EXPECT_EQ(bank.m_Record.GetBankAccount(), c.positioned_on);
      BankAccount current(co.Bkm(), "", 0);
      ASSERT_EQ(current.Refresh(), tsioStatus::kSuccess);
      EXPECT_EQ(current.m_Record.GetBankAccount(), c.positioned_on) << "the file's position is put back";
    }
    if (std::string(c.positioned_on ? c.positioned_on : "") == "B1" && std::string(c.columns).empty()) {
      EXPECT_EQ(bank.m_Record.GetBankBalance(), txtest::Stored(co.Bkm()).bank_balance) << "shows the new totals";
    }
    EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()}));
    tsioDataFile second(co.Folder() + "/BKM.1");
    BankAccount probe(second);
    probe.m_Record.SetBankAccount(tsAlpha("B1"));
    EXPECT_EQ(probe.FetchEQ(true), c.lock ? tsioStatus::kLocked : tsioStatus::kSuccess);
  }
}

// ---- batch counts and totals over many units --------------------------------

// Random creates and removes, some meeting a fault, some units rolled back
// by the program: the batch part counts exactly the transactions the file
// holds, and the totals report what the committed units did.
TEST(TransactionBatchCounts, FollowCreateAndRemoveExactlyThroughFailuresAndRollbacks) {
  TxCompany co;
  TranTotals totals(co.Program(), TranTotals::kEntryTotals, false);
  ASSERT_EQ(totals.InitJournalSection().Value(), kBoolSuccess);
  totals.InitUnitOfWork();
  TranTotals expected(co.Program(), TranTotals::kEntryTotals, false);
  ASSERT_EQ(expected.InitJournalSection().Value(), kBoolSuccess);
  expected.InitUnitOfWork();
  std::map<std::string, tsCurrency> model;  // key text -> net amount
  std::mt19937 rng(1234);
  const auto& kinds = txtest::EveryFaultKind();
  auto key_of = [](const TransactionData& r) { return r.GetRun().Format() + "/" + r.GetSequence().Format(); };
  for (int step = 0; step < 150; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const bool create = model.empty() || rng() % 3 != 0;
    const bkBatchPart part_before = co.Part();
    zzBatch& batch = co.Program().GetBatch();
    batch.InitUnitOfWork();
    tclRollbackStack unit;
    Transaction t(co.Bkt());
    t.AttachRollbackStack(&unit);
    if (!create) {
      auto it = model.begin();
      std::advance(it, static_cast<long>(rng() % model.size()));
      ASSERT_TRUE(bkdetailtest::Set(t.m_Record, "TBNKACC=B1;TRUN=" + it->first.substr(0, it->first.find('/')) +
                                                    ";TSEQ=" + it->first.substr(it->first.find('/') + 1)));
      ASSERT_EQ(t.FetchEQ(true), tsioStatus::kSuccess);
    } else {
      const int type = 1 + static_cast<int>(rng() % 4);
      const std::string amount = std::to_string(1 + rng() % 500) + "." + std::to_string(10 + rng() % 90);
      const std::string signed_amount = (type == 4 && rng() % 2 ? "-" : "") + amount;
      txtest::Fill(t.m_Record, type, signed_amount.c_str(), "S" + std::to_string(step), 1000 + step);
    }
    if (rng() % 2) {
      const auto& kind = kinds[rng() % kinds.size()];
      tsioFaults::Arm(kind.op, kind.status, 1 + static_cast<int>(rng() % 4));
    }
    ccStatus<ccError::Level> st = create ? t.Create(co.Program(), &totals, true) : t.Remove(co.Program(), &totals);
    tsioFaults::Clear();
    const bool keep = !st.HasError() && rng() % 4 != 0;
    if (st.HasError()) {
      EXPECT_EQ(co.Part().GetNumberOfTransPosted(), part_before.GetNumberOfTransPosted()) << "a failure never counts";
      EXPECT_EQ(co.Part().GetAmountOfTransPosted(), part_before.GetAmountOfTransPosted());
    }
    if (keep && unit.Commit() == tsioStatus::kSuccess) {
      totals.Commit();
      (void)batch.Commit();
      if (create) {
        model[key_of(t.m_Record)] = t.m_Record.GetAmount();
        expected.AddTransaction(t.m_Record);
      } else {
        model.erase(key_of(t.m_Record));
        expected.SubtractTransaction(t.m_Record);
      }
      expected.Commit();
    } else {
      // The program takes its unit back: the files, its batch, its totals.
      ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
      totals.RollBack();
      batch.Rollback();
    }
    tsCurrency sum;
    for (const auto& [key, amount] : model) sum += amount;
    ASSERT_EQ(co.Part().GetNumberOfTransPosted(), tsDouble(static_cast<long long>(model.size())));
    ASSERT_EQ(co.Part().GetAmountOfTransPosted(), sum);
    // The batch record holds the same, read by a part of another program.
    txtest::ExpectStoredBatch(co, "B1", static_cast<long long>(model.size()), sum);
    std::map<std::string, tsCurrency> stored;
    for (const auto& r : txtest::Transactions(co.Bkt())) stored[key_of(r)] = r.GetAmount();
    ASSERT_EQ(stored, model);
  }
  totals.PrintToFile();
  expected.PrintToFile();
  EXPECT_EQ(co.Program().Journal().Section(totals.ReportSectionID())->PrintLines(),
            co.Program().Journal().Section(expected.ReportSectionID())->PrintLines());
}

}  // namespace
