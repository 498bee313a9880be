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
#include <optional>
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
#include "tests/support/status_text.h"
#include "transactions/transactions_test_support.h"
#include "validation/tran_totals.h"

namespace {

using bkdetailtest::ArmedFault;
using bkdetailtest::HoldLock;
using bkdetailtest::Put;
using bkdetailtest::Set;
using bktest::ChildProcess;
using bktest::Said;
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
// Posted transactions of the history, for clearing: a deposit and a cleared
// check.
constexpr const char kPosted[] = "TBNKACC=B1;TRUN=9;TSEQ=1";
constexpr const char kPostedCheck[] = "TBNKACC=B1;TRUN=9;TSEQ=2";

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
  for (const char* seq : {"1", "2", "3"}) {
    Put<CashDetail>(bkt, std::string("CDBNKAC=B1;CDTRUN=5;CDCSHAC=1000;CDAMT=1.00;CDRUN=3;CDTSEQ=") + seq +
                             ";CDSEQ=" + seq);
  }
  Put<TaxDetail>(bkt, "TXBNKAC=B1;TXRUN=5;TXSEQ=1;TXTXRUN=4;TXTXSEQ=1;TXGRP=GST;TXTXAMT=3.25");
  Put<TaxGLDetail>(bkt, std::string(kTaxGL) + ";TGTAX=GST;TGTXAMT=3.25");
  Put<TaxGLDetail>(bkt, "TGBNKAC=B1;TGRUN=5;TGSEQ=1;TGTXRUN=4;TGTXSEQ=2;TGTAX=PST;TGTXAMT=1.00");
  Transaction t(bkt);
  ASSERT_TRUE(Set(t.m_Record, kDeposit));
  ASSERT_EQ(t.FetchEQ(false), tsioStatus::kSuccess);
  tsioAttachments notes(bkt, TransactionData::kRecordType);
  notes.Notes() = {"Counted twice", "Bag 7"};
  notes.FileLinks() = {"/scans/deposit-1.pdf"};
  ASSERT_EQ(notes.Write(*t.CursorPtr()), tsioStatus::kSuccess);
  Put<Transaction>(co.History(), std::string(kPosted) + ";TRANTYP=2;TADD=65.00;TPOSTED=1");
  Put<Transaction>(co.History(),
                   std::string(kPostedCheck) + ";TRANTYP=1;TSUBTR=100.00;TPOSTED=1;TRECOND=2;TRECAMT=-90.00");
  txtest::StoreFromScratch(co.Bkm(), {&co.Bkt(), &co.History()});
}

// What a unit of work may change, as the program sees it (its own
// uncommitted writes too): "<file> <run>/<seq>" -> the transaction's columns
// and notes, "<file> <run>/<seq> details" -> its details, "bank" -> the bank
// account's totals, "batch" -> the counts of the program's batch part.
using View = std::map<std::string, std::string>;

View ViewOf(TxCompany& co) {
  View view;
  for (auto [name, file] : {std::pair{"bkt ", &co.Bkt()}, {"history ", &co.History()}}) {
    for (const auto& [key, row] : txtest::Register(*file)) view[name + key] = row;
    for (const auto& [key, details] : txtest::Details(*file)) view[name + key + " details"] = details;
  }
  view["bank"] = txtest::Stored(co.Bkm());
  view["batch"] = txtest::Counts(co.Part());
  return view;
}

// The entries of `after` that differ from `before`: "+" added, "-" removed,
// "~" changed.
std::string Changed(const View& before, const View& after) {
  std::string out;
  for (const auto& [key, value] : after) {
    if (!before.contains(key) || before.at(key) != value) out += (before.contains(key) ? "~" : "+") + key + "; ";
  }
  for (const auto& [key, value] : before) out += after.contains(key) ? "" : "-" + key + "; ";
  return out;
}

// Nobody holds a lock on any record of the company's module files: a second
// handle can lock every record.
void ExpectNothingLocked(TxCompany& co) {
  tsioDataFile bkm(co.Folder() + "/BKM.1"), bkt(co.Folder() + "/BKT.1"), history(co.Folder() + "/BKT.2");
  auto every = [](auto cursor, const char* what) {
    for (auto st = cursor.FetchFirst(true); st != tsioStatus::kEndOfFile; st = cursor.FetchNext(true)) {
      ASSERT_EQ(st, tsioStatus::kSuccess) << what << " stays locked";
    }
  };
  every(BankAccount(bkm), "a bank account");
  for (tsioDataFile* f : {&bkt, &history}) {
    every(Transaction(*f), "a transaction");
    every(DepositItem(*f), "a deposit item");
  }
}

// ---- every I/O step failing ---------------------------------------------

// One operation on a seeded company, run with a fault armed.
struct Scenario {
  const char* name;
  // Prepares what the operation needs (committed); called once per company.
  std::function<void(TxCompany&)> prepare;
  // Runs the operation (the cursor it uses gets `unit` when given): true
  // when it reported success; on failure it checks the report's form.
  std::function<bool(TxCompany&, tclRollbackStack*, TranTotals&)> run;
  // Checks what a success changed (no fault armed any more).
  std::function<void(TxCompany&, const View& before, const View& after)> done;
};

// Moves the seeded transaction `key` (5/`seq`) to the history as run 9,
// sequence 3, posted, with every other column, note and file link as it was;
// with its details, the cash, tax and tax GL details go too (else they stay).
Scenario TransferScenario(const char* name, const char* key, bool with_details, const char* seq,
                          const char* moved, const char* left) {
  return {name, Seed,
          [key, with_details](TxCompany& co, tclRollbackStack* unit, TranTotals&) {
            Transaction t(co.Bkt());
            if (unit) t.AttachRollbackStack(unit);
            if (!Set(t.m_Record, key) || t.FetchEQ(true) != tsioStatus::kSuccess) return false;
            const ccStatus<TransferStatus> st = with_details
                                                    ? t.TransferWithDetails(co.History(), tsDouble(9), tsDouble(3))
                                                    : t.Transfer(co.History(), tsDouble(9), tsDouble(3));
            if (st.Value() == kTransferDone) return true;
            EXPECT_EQ(st.Errors().Size(), 1u);
            (void)t.Unlock();  // the lock the caller took
            return false;
          },
          [seq, moved, left](TxCompany&, const View& before, const View& after) {
            View want = before;
            const std::string from = std::string("bkt 5/") + seq;
            std::string row = want.extract(from).mapped();
            row.replace(row.find("TPOSTED=false;"), 14, "TPOSTED=true;");
            want["history 9/3"] = row;
            want.erase(from + " details");
            want["history 9/3 details"] = moved;
            if (*left) want[from + " details"] = left;
            EXPECT_EQ(after, want);
          }};
}

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> scenarios = {
      {"create", [](TxCompany&) {},
       [](TxCompany& co, tclRollbackStack* unit, TranTotals& totals) {
         Transaction t(co.Bkt());
         if (unit) t.AttachRollbackStack(unit);
         txtest::Fill(t.m_Record, 2, "12.005", "New");
         ccStatus<ccError::Level> st = t.Create(co.Program(), &totals, false);
         EXPECT_TRUE(!st.HasError() || !st.Errors().Empty());
         return !st.HasError();
       },
       [](TxCompany& co, const View& before, const View& after) {
         const auto rows = txtest::Register(co.Bkt());
         ASSERT_EQ(rows.size(), 1u);
         EXPECT_EQ(Changed(before, after), "~batch; +bkt " + rows.begin()->first + "; ");
         EXPECT_EQ(after.at("batch"), "1 12.01") << "rounded half away from zero";
         EXPECT_NE(rows.begin()->second.find("TADD=12.01;"), std::string::npos);
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
         if (t.FetchFirst(true) != tsioStatus::kSuccess) return false;  // the fault met the caller's own fetch
         ccStatus<ccError::Level> st = t.Remove(co.Program(), &totals);
         if (!st.HasError()) return true;
         EXPECT_EQ(st.Errors().Size(), 1u);
         (void)t.Unlock();  // the lock the caller took
         return false;
       },
       [](TxCompany& co, const View& before, const View& after) {
         EXPECT_EQ(Changed(before, after), "~batch; -bkt 1/1; ");
         EXPECT_EQ(after.at("batch"), "0 0.00");
         Transaction probe(co.Bkt());
         ASSERT_TRUE(Set(probe.m_Record, "TBNKACC=B1;TRUN=1;TSEQ=1"));
         ASSERT_EQ(probe.SetBuffer(), tsioStatus::kSuccess);
         tsioAttachments gone(co.Bkt(), TransactionData::kRecordType);
         ASSERT_EQ(gone.Fetch(*probe.CursorPtr()), tsioStatus::kSuccess);
         EXPECT_TRUE(gone.Empty());
       }},
      TransferScenario("transfer with details", kDeposit, true, "1", "CDx1 DIx2 DIG1x3 DIG2x1 TGx2 TXx1", ""),
      TransferScenario("transfer withdrawal", kWithdrawal, false, "2", "WDx2", "CDx1"),
      {"clear", Seed,
       [](TxCompany& co, tclRollbackStack* unit, TranTotals&) {
         Transaction t(co.History());
         BankAccount bank(co.Bkm());
         if (unit) t.AttachRollbackStack(unit);
         if (unit) bank.AttachRollbackStack(unit);
         if (!Set(t.m_Record, kPostedCheck) || t.FetchEQ(false) != tsioStatus::kSuccess) return false;
         ccStatus<ccError::Level> st =
             t.clearTransaction(tsCurrency::FromText("-100.00"), tsDate(2025, 3, 20), &bank, tsDouble(9), nullptr);
         EXPECT_TRUE(!st.HasError() || st.Errors().Size() == 1u) << "one message per failure";
         return !st.HasError();
       },
       [](TxCompany& co, const View& before, const View& after) {
         EXPECT_EQ(Changed(before, after), "~bank; ~history 9/2; ");
         EXPECT_EQ(after.at("bank"), txtest::FromScratch({&co.Bkt(), &co.History()}));
       }},
  };
  return scenarios;
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
    std::vector<int> calls;  // of each fault kind, in the caller's unit
    for (bool own_unit : {false, true}) {
      SCOPED_TRACE(std::string(scenario.name) + (own_unit ? " in its own unit" : " in the caller's unit"));
      std::unique_ptr<TxCompany> co;
      std::string before;
      View view;
      auto fresh = [&] {
        co.reset();
        co = std::make_unique<TxCompany>();
        scenario.prepare(*co);
        before = txtest::DumpDatabase(co->Folder());
        view = ViewOf(*co);
      };
      fresh();
      int failures = 0;
      for (size_t k = 0; k < kinds.size(); ++k) {
        // In its own unit it makes the calls it makes in the caller's, and one commit.
        const int own_calls = own_unit ? calls[k] + (kinds[k].op == tsioOp::kCommit ? 1 : 0) : 0;
        if (own_unit && own_calls == 0) continue;
        const int n = bkdetailtest::ForEveryFault(kinds[k], [&](ArmedFault& fault) {
          TranTotals totals(co->Program(), TranTotals::kEntryTotals, false);
          totals.InitUnitOfWork();
          if (!own_unit) co->Program().GetBatch().InitUnitOfWork();
          tclRollbackStack unit;
          fault.Arm();
          const bool ok = scenario.run(*co, own_unit ? nullptr : &unit, totals);
          fault.Disarm();
          failures += ok ? 0 : 1;
          if (ok) scenario.done(*co, view, ViewOf(*co));
          if (!own_unit) {
            EXPECT_EQ(unit.Rollback(), tsioStatus::kSuccess);
            totals.RollBack();
            co->Program().GetBatch().Rollback();
          }
          if (ok && own_unit) {
            fresh();  // a fault it survived: the work is done and committed
          } else {
            EXPECT_EQ(txtest::DumpDatabase(co->Folder()), before);
            EXPECT_EQ(txtest::Counts(co->Part()), view.at("batch"));
          }
          if (!ok) ExpectNothingLocked(*co);
          return ok;
        }, own_calls);
        EXPECT_EQ(n, own_unit ? own_calls : n) << kinds[k].name;
        if (!own_unit) calls.push_back(n);
      }
      EXPECT_GT(failures, 0);
    }
  }
}

// ---- refusals and a second program holding what an operation needs --------

// The transaction `key` of `file`, fetched (with a lock when `lock`).
void At(Transaction& t, const char* key, bool lock = false) {
  ASSERT_TRUE(Set(t.m_Record, key));
  ASSERT_EQ(t.FetchEQ(lock), tsioStatus::kSuccess) << key;
}

// An operation refused for what it is given (a check without its number, a
// batch without the module's part, a detail that cannot be read, a clearing
// of what cannot be cleared) or for what another program holds (a detail or
// the transaction for a move; the batch record for Create; the transaction
// for Remove; the bank account or the transaction for clearing): its one
// message (Create's closing line too unless quiet), nothing counted, and the
// caller's rollback leaves the files exactly as they were with no lock held.
// A move that fails has moved only the details before the failing one.
TEST(TransactionRefusals, EveryOperationSaysWhyAndChangesNothing) {
  using Op = std::function<std::string(TxCompany&, tclRollbackStack&)>;
  // Create, and whether the totals counted it.
  auto create = [](const char* amount, int type, bool quiet, bool no_part = false) -> Op {
    return [=](TxCompany& co, tclRollbackStack& unit) {
      const zzBatch batch = co.Program().GetBatch();
      if (no_part) co.Program().SetBatch(zzBatch("AP", tsAlpha("B9"), 2));
      Transaction t(co.Bkt());
      t.AttachRollbackStack(&unit);
      txtest::Fill(t.m_Record, type, amount, "New", 0);
      TranTotals totals(co.Program(), TranTotals::kEntryTotals, false);
      EXPECT_EQ(totals.InitJournalSection().Value(), kBoolSuccess);
      totals.InitUnitOfWork();
      const std::string said = Said(t.Create(co.Program(), &totals, quiet));
      totals.Commit();
      totals.PrintToFile();
      std::string report;
      for (const auto& l : co.Program().Journal().Section(totals.ReportSectionID())->PrintLines()) report += l;
      co.Program().SetBatch(batch);
      return said + (report.find("No entries made.") == std::string::npos ? " (counted)" : "");
    };
  };
  // A move with its details (`all`, fetched without a lock) or without (with
  // one), and what of the transaction's details went.
  auto move = [](const char* key, bool all, tsioStatus::Status unreadable = tsioStatus::kSuccess) -> Op {
    return [=](TxCompany& co, tclRollbackStack& unit) {
      Transaction t(co.Bkt());
      t.AttachRollbackStack(&unit);
      At(t, key, !all);
      if (unreadable != tsioStatus::kSuccess) tsioFaults::Arm(tsioOp::kFetch, unreadable, 1);  // the first detail
      const std::string said = Said(all ? t.TransferWithDetails(co.History(), tsDouble(9), tsDouble(5))
                                        : t.Transfer(co.History(), tsDouble(9), tsDouble(5)));
      tsioFaults::Clear();
      (void)t.Unlock();
      Transaction still(co.Bkt());  // the transaction never leaves while a detail stays
      const bool stays = Set(still.m_Record, key) && still.FetchEQ(false) == tsioStatus::kSuccess;
      return said + (stays ? "" : " (gone)") + " moved: " + txtest::Details(co.History())["9/5"];
    };
  };
  auto remove = [](TxCompany& co, tclRollbackStack& unit) {
    Transaction t(co.Bkt());
    t.AttachRollbackStack(&unit);
    At(t, "TBNKACC=B1;TRUN=1;TSEQ=1");
    TranTotals totals(co.Program(), TranTotals::kEntryTotals, false);
    totals.InitUnitOfWork();
    return Said(t.Remove(co.Program(), &totals));
  };
  auto clear = [](const char* key, bool bank, bool date) -> Op {
    return [=](TxCompany& co, tclRollbackStack& unit) {
      Transaction t(co.History());
      BankAccount account(co.Bkm());
      t.AttachRollbackStack(&unit);
      account.AttachRollbackStack(&unit);
      At(t, key);
      return Said(t.clearTransaction(tsCurrency(5), date ? tsDate(2025, 3, 20) : tsDate(), bank ? &account : nullptr,
                                     tsDouble(9), nullptr));
    };
  };
  using Hold = std::function<ChildProcess(const std::string&)>;
  const struct {
    const char* name;
    Hold hold;
    Op op;
    const char* said;
  } cases[] = {
      {"a check without its number", nullptr, create("20", 1, false),
       "3 | 1608/3 Check number cannot be blank. | 0/0 Check transaction for Bank \"B1\" could not be created."},
      {"a check without its number, quiet", nullptr, create("20", 1, true), "3 | 1608/3 Check number cannot be blank."},
      {"a batch without the module's part", nullptr, create("10", 2, false, true),
       "3 | 1618/3 Could not update the batch totals for Deposit transaction for Bank \"B1\"."},
      {"a deposit item that cannot be read", nullptr, move(kDeposit, false, tsioStatus::kDamaged),
       "2 | 1614/3 Could not read the deposit item record: the data file is damaged (16). moved: "},
      {"no deposit item where one is", nullptr, move(kDeposit, false, tsioStatus::kNotFound),
       "1 | 1614/3 Could not read the deposit item record: record not found (13). moved: "},
      {"a locked withdrawal detail", nullptr, move(kWithdrawal, false, tsioStatus::kLocked),
       "1 | 1614/3 Could not read the withdrawal detail record: record locked by another program (9). moved: "},
      {"clearing what is not posted", nullptr, clear("TBNKACC=B1;TRUN=9;TSEQ=3", true, true),
       "3 | 2004/3 This transaction has not been posted yet, so it cannot be cleared."},
      {"clearing with no bank cursor", nullptr, clear(kPosted, false, true),
       "3 | 1608/3 Bank Account Cursor cannot be NULL."},
      {"clearing with no date", nullptr, clear(kPosted, true, false), "3 | 1608/3 Cleared Date cannot be Empty."},
      {"clearing into no bank account", nullptr, clear("TBNKACC=NOBANK;TRUN=9;TSEQ=4", true, true),
       "3 | 2000/3 There is no bank account record for bank account NOBANK."},
      {"another program's deposit item", [](const std::string& f) { return HoldLock<DepositItem>(f, kItem2); },
       move(kDeposit, true),
       "1 | 1614/3 Could not read the deposit item record: record locked by another program (9). moved: CDx1 DIx1 "
       "DIG1x3 TGx2 TXx1"},
      {"another program's deposit item line",
       [](const std::string& f) { return HoldLock<DepositItemDetail>(f, kLine4100); }, move(kDeposit, true),
       "1 | 1614/3 Could not read the deposit item detail record: record locked by another program (9). moved: CDx1 "
       "DIG1x1 TGx2 TXx1"},
      {"another program's withdrawal detail",
       [](const std::string& f) { return HoldLock<WithdrawalDetail>(f, kWithdrawal2); }, move(kWithdrawal, true),
       "1 | 1614/3 Could not read the withdrawal detail record: record locked by another program (9). moved: CDx1 "
       "WDx1"},
      {"another program's moved transaction", [](const std::string& f) { return HoldLock<Transaction>(f, kCheck); },
       move(kCheck, true),
       "1 | 1613/3 Could not delete the transaction record: record locked by another program (9). moved: CDx1"},
      // Tax GL details move before their tax detail: the tax detail has not
      // moved while its GL line could not.
      {"another program's tax GL detail", [](const std::string& f) { return HoldLock<TaxGLDetail>(f, kTaxGL); },
       move(kDeposit, true),
       "1 | 1614/3 Could not read the tax gl detail record: record locked by another program (9). moved: CDx1"},
      {"another program's batch record",
       [](const std::string& f) { return HoldLock<Batch>(f, "BAPPL=AP;BATCH=B1;BSOURCE=2"); }, create("9.00", 2, false),
       "3 | 1618/3 Could not update the batch totals for Deposit transaction for Bank \"B1\"."},
      {"another program's removed transaction",
       [](const std::string& f) { return HoldLock<Transaction>(f, "TBNKACC=B1;TRUN=1;TSEQ=1"); }, remove,
       "3 | 1619/3 Could not delete Deposit transaction for Bank \"B1\": record locked by another program (9)."},
      {"another program's bank account",
       [](const std::string& f) { return HoldLock<BankAccount>(f, "BANKACC=B1", BKMFileSpec); },
       clear(kPosted, true, true),
       "3 | 2001/3 Lock of the Bank Account record failed: record locked by another program (9)."},
      {"another program's cleared transaction",
       [](const std::string& f) { return HoldLock<Transaction>(f, kPosted, BKTHistoryFileSpec); },
       clear(kPosted, true, true),
       "3 | 2001/3 Lock of the Transaction record failed: record locked by another program (9)."},
  };
  TxCompany co;
  Seed(co);
  Put<Transaction>(co.History(), "TBNKACC=B1;TRUN=9;TSEQ=3;TRANTYP=2;TADD=5.00");  // not posted
  Put<Transaction>(co.History(), "TBNKACC=NOBANK;TRUN=9;TSEQ=4;TRANTYP=2;TADD=5.00;TPOSTED=1");
  Transaction first(co.Bkt());
  txtest::Fill(first.m_Record, 2, "8.00", "First");
  ASSERT_FALSE(first.Create(co.Program(), nullptr, false).HasError());  // the batch record now exists
  const std::string before = txtest::DumpDatabase(co.Folder());
  const std::string counted = txtest::Counts(co.Part());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<ChildProcess> holder;
    if (c.hold) holder.emplace(c.hold(co.Folder()));
    tclRollbackStack unit;
    EXPECT_EQ(c.op(co, unit), c.said);
    EXPECT_EQ(txtest::Counts(co.Part()), counted) << "nothing counted";
    ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
    if (holder) holder->Send("end");
    if (holder) holder->Wait();
    EXPECT_EQ(txtest::DumpDatabase(co.Folder()), before);
    ExpectNothingLocked(co);
  }
}

// ---- clearing ---------------------------------------------------------------

// Every kind of transaction, open, cleared or reconciled, cleared with its
// own amount or another: afterwards it is cleared with that amount and date,
// every stored total equals the computation from scratch, and clearing it
// again changes nothing.
TEST(TransactionClear, KeepsEveryTotalRightForEveryTypeAndStateAndNeverCountsTwice) {
  const std::pair<int, const char*> kinds[] = {{1, "100.00"}, {2, "50.00"}, {3, "30.00"}, {4, "20.00"},
                                               {4, "-15.00"}, {4, "0.00"},  {9, "5.00"}};
  TxCompany co;
  int seq = 0;
  for (const auto& [type, amount] : kinds) {
    for (int state : {1, 2, 3}) {
      for (const char* difference : {"0.00", "1.25"}) {
        SCOPED_TRACE("type " + std::to_string(type) + " " + amount + ", state " + std::to_string(state) +
                     ", cleared with a difference of " + difference);
        ++seq;
        Transaction t(co.History());
        txtest::Fill(t.m_Record, type, amount, "T" + std::to_string(seq), seq);
        const std::string key = "TRUN=9;TPOSTED=1;TSEQ=" + std::to_string(seq);
        ASSERT_TRUE(Set(t.m_Record, key + ";TRECOND=" + std::to_string(state)));
        if (state != 1) t.m_Record.SetClearedAmount(t.m_Record.GetAmount() - tsCurrency::FromText("3.00"));
        ASSERT_EQ(t.Insert(), tsioStatus::kSuccess);
        txtest::StoreFromScratch(co.Bkm(), {&co.Bkt(), &co.History()});
        const tsCurrency cleared = t.m_Record.GetAmount() + tsCurrency::FromText(difference);
        for (int time = 1; time <= 2; ++time) {
          BankAccount bank(co.Bkm());
          tclRollbackStack unit;
          t.AttachRollbackStack(&unit);
          bank.AttachRollbackStack(&unit);
          ASSERT_EQ(txtest::FetchByKey(t, t.m_Record, false), tsioStatus::kSuccess);
          EXPECT_EQ(Said(t.clearTransaction(cleared, tsDate(2025, 3, 21), &bank, tsDouble(9), nullptr)), "0");
          ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
          t.DetachRollbackStack();
          EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()})) << "time " << time;
        }
        ASSERT_EQ(txtest::FetchByKey(t, t.m_Record, false), tsioStatus::kSuccess);
        const TransactionData& r = t.m_Record;
        EXPECT_EQ(r.GetReconciled().Format() + " " + r.GetReconcileInProgress().Format() + " " +
                      r.GetClearedAmount().Format() + " " + r.GetClearedDate().Format(),
                  "2 2 " + cleared.Format() + " " + tsDate(2025, 3, 21).Format());
      }
    }
  }
}

// The caller's bank cursor: positioned on another account it is put back;
// reading by another index or over some columns it is not used (another
// cursor does the work) and still put back; holding the account with its
// own lock it keeps the lock and shows the new totals.
TEST(TransactionClear, TheCallersBankCursorEndsWhereItWasAndKeepsItsLock) {
  TxCompany co;
  Put<BankAccount>(co.Bkm(), "BANKACC=A0;BDESC=Another");
  // Each answer: the cursor's account and bank balance, the account its file
  // is positioned on, and the status of another handle's lock of B1.
  const struct {
    const char* columns;
    const char* positioned_on;
    bool lock;
    const char* answer;
  } cases[] = {
      {"", "A0", false, "A0 0.00, file on A0, lock 0"},
      {"BANKACC;BDESC", "A0", false, "A0 0.00, file on A0, lock 0"},
      {"", "", false, "B1 879.00, file on B1, lock 0"},
      // Holding the account with its lock: the lock stays, the new totals show.
      {"", "B1", true, "B1 872.00, file on B1, lock 9"},
      {"BANKACC;BDESC", "B1", false, "B1 0.00, file on B1, lock 0"},
  };
  int seq = 10;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.columns) + " on " + c.positioned_on);
    const std::string key = "TBNKACC=B1;TRUN=9;TSEQ=" + std::to_string(++seq);
    Put<Transaction>(co.History(), key + ";TRANTYP=3;TSUBTR=7.00;TPOSTED=1");
    txtest::StoreFromScratch(co.Bkm(), {&co.Bkt(), &co.History()});
    BankAccount bank(co.Bkm(), c.columns, 0);
    bank.m_Record.SetBankAccount(tsAlpha(c.positioned_on));
    ASSERT_EQ(*c.positioned_on ? bank.FetchEQ(c.lock) : tsioStatus::kSuccess, tsioStatus::kSuccess);
    Transaction t(co.History());
    At(t, key.c_str());
    const tsCurrency amount = tsCurrency::FromText("-7.00");
    EXPECT_EQ(Said(t.clearTransaction(amount, tsDate(2025, 3, 22), &bank, tsDouble(9), nullptr)), "0");
    BankAccount current(co.Bkm(), "", 0);
    const bool placed = current.Refresh() == tsioStatus::kSuccess;
    const std::string file_on = placed ? current.m_Record.GetBankAccount().str() : "-";
    tsioDataFile second(co.Folder() + "/BKM.1");
    BankAccount probe(second);
    probe.m_Record.SetBankAccount(tsAlpha("B1"));
    EXPECT_EQ(bank.m_Record.GetBankAccount().str() + " " + bank.m_Record.GetBankBalance().Format() + ", file on " +
                  file_on + ", lock " + std::to_string(probe.FetchEQ(true)),
              c.answer);
    EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()}));
  }
}

// ---- batch counts and totals over many units --------------------------------

// Random creates and removes, some meeting a fault, some units rolled back
// by the program: the batch part counts exactly the transactions the file
// holds, and the totals report what the committed units did.
TEST(TransactionBatchCounts, FollowCreateAndRemoveExactlyThroughFailuresAndRollbacks) {
  TxCompany co;
  TranTotals totals(co.Program(), TranTotals::kEntryTotals, false);
  TranTotals expected(co.Program(), TranTotals::kEntryTotals, false);
  for (TranTotals* t : {&totals, &expected}) {
    ASSERT_EQ(t->InitJournalSection().Value(), kBoolSuccess);
    t->InitUnitOfWork();
  }
  std::map<std::string, tsCurrency> model;  // "run/seq" -> net amount
  std::mt19937 rng(1234);
  const auto& kinds = txtest::EveryFaultKind();
  for (int step = 0; step < 150; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const bool create = model.empty() || rng() % 3 != 0;
    const std::string counted = txtest::Counts(co.Part());
    zzBatch& batch = co.Program().GetBatch();
    batch.InitUnitOfWork();
    tclRollbackStack unit;
    Transaction t(co.Bkt());
    t.AttachRollbackStack(&unit);
    if (!create) {
      auto it = std::next(model.begin(), static_cast<long>(rng() % model.size()));
      At(t, ("TBNKACC=B1;TRUN=" + it->first.substr(0, it->first.find('/')) + ";TSEQ=" +
             it->first.substr(it->first.find('/') + 1)).c_str(), true);
    } else {
      const int type = 1 + static_cast<int>(rng() % 4);
      const std::string amount = std::to_string(1 + rng() % 500) + "." + std::to_string(10 + rng() % 90);
      txtest::Fill(t.m_Record, type, ((type == 4 && rng() % 2 ? "-" : "") + amount).c_str(), "S", 1000 + step);
    }
    if (rng() % 2) {
      const auto& kind = kinds[rng() % kinds.size()];
      tsioFaults::Arm(kind.op, kind.status, 1 + static_cast<int>(rng() % 4));
    }
    ccStatus<ccError::Level> st = create ? t.Create(co.Program(), &totals, true) : t.Remove(co.Program(), &totals);
    tsioFaults::Clear();
    EXPECT_TRUE(!st.HasError() || txtest::Counts(co.Part()) == counted) << "a failure never counts";
    const std::string key = t.m_Record.GetRun().Format() + "/" + t.m_Record.GetSequence().Format();
    if (!st.HasError() && rng() % 4 != 0 && unit.Commit() == tsioStatus::kSuccess) {
      totals.Commit();
      (void)batch.Commit();
      if (create) {
        model[key] = t.m_Record.GetAmount();
        expected.AddTransaction(t.m_Record);
      } else {
        model.erase(key);
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
    for (const auto& [k, amount] : model) sum += amount;
    const std::string want = std::to_string(model.size()) + " " + sum.Format();
    // The batch record holds the same, read by a part of another program.
    ASSERT_EQ(txtest::Counts(co.Part()) + " / " + txtest::StoredBatch(co, "B1"), want + " / " + want);
    std::map<std::string, tsCurrency> stored;
    for (const auto& r : txtest::Transactions(co.Bkt())) {
      stored[r.GetRun().Format() + "/" + r.GetSequence().Format()] = r.GetAmount();
    }
    ASSERT_EQ(stored, model);
  }
  totals.PrintToFile();
  expected.PrintToFile();
  EXPECT_EQ(co.Program().Journal().Section(totals.ReportSectionID())->PrintLines(),
            co.Program().Journal().Section(expected.ReportSectionID())->PrintLines());
}

}  // namespace
