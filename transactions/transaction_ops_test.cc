// The transaction operations over real files: Create and Remove in their
// batch, Transfer with details, notes and attachments, clearing into the bank
// balance for every type and state; every failure path, by fault injection
// at every I/O step and by a second program holding the bank account, the
// transaction, the batch record or a detail, rolled back to exactly the
// files that were there before.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <tuple>

#include "batches/batch.h"
#include "framework/batch/batch.h"
#include "framework/io/attachments.h"
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

// The seeded transactions of the current file (run 5), with their details: a
// deposit of two items (60 = 10 + 20 + 30, 5 = 5) with notes and a file
// link, a withdrawal with two details and a check, each with a cash detail;
// the deposit also with a tax detail, its tax GL detail and one tax GL detail
// of no tax detail. Then deposit 1/1 of 8.00, created in batch B1.
constexpr const char kDeposit[] = "TBNKACC=B1;TRUN=5;TSEQ=1";
constexpr const char kWithdrawal[] = "TBNKACC=B1;TRUN=5;TSEQ=2";
constexpr const char kCheck[] = "TBNKACC=B1;TRUN=5;TSEQ=3";
constexpr const char kItem2[] = "DIBNKAC=B1;DIRUN=5;DISEQ=1;DITEMNO=2";
constexpr const char kWithdrawal2[] = "WDBNKAC=B1;WDRUN=5;WDSEQ=2;WDGLACC=6100";
constexpr const char kTaxGL[] = "TGBNKAC=B1;TGRUN=5;TGSEQ=1;TGTXRUN=4;TGTXSEQ=1";
// In the history: a posted deposit, a posted check cleared for 90.00, an
// unposted deposit and a posted one of a bank account that does not exist.
constexpr const char kPosted[] = "TBNKACC=B1;TRUN=9;TSEQ=1";
constexpr const char kPostedCheck[] = "TBNKACC=B1;TRUN=9;TSEQ=2";
constexpr const char kUnposted[] = "TBNKACC=B1;TRUN=9;TSEQ=3";
constexpr const char kNoBank[] = "TBNKACC=NOBANK;TRUN=9;TSEQ=4";

// Positions `t` on the transaction `key` (with a lock when `lock`): "", or
// what could not be read.
std::string At(Transaction& t, const char* key, bool lock = false) {
  return Set(t.m_Record, key) && t.FetchEQ(lock) == tsioStatus::kSuccess ? "" : std::string("cannot read ") + key;
}

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
  ASSERT_EQ(At(t, kDeposit), "");
  tsioAttachments notes(bkt, TransactionData::kRecordType);
  notes.Notes() = {"Counted twice", "Bag 7"};
  notes.FileLinks() = {"/scans/deposit-1.pdf"};
  ASSERT_EQ(notes.Write(*t.CursorPtr()), tsioStatus::kSuccess);
  Put<Transaction>(co.History(), std::string(kPosted) + ";TRANTYP=2;TADD=65.00;TPOSTED=1");
  Put<Transaction>(co.History(),
                   std::string(kPostedCheck) + ";TRANTYP=1;TSUBTR=100.00;TPOSTED=1;TRECOND=2;TRECAMT=-90.00");
  Put<Transaction>(co.History(), std::string(kUnposted) + ";TRANTYP=2;TADD=5.00");
  Put<Transaction>(co.History(), std::string(kNoBank) + ";TRANTYP=2;TADD=5.00;TPOSTED=1");
  Transaction first(bkt);
  txtest::Fill(first.m_Record, 2, "8.00", "First");
  ASSERT_FALSE(first.Create(co.Program(), nullptr, false).HasError());  // the batch record now exists
  txtest::StoreFromScratch(co.Bkm(), {&co.Bkt(), &co.History()});
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

// What `operation` answered ("0" for a success, warnings or not), `fault`
// armed while it ran (when given).
template <typename F>
std::string Run(ArmedFault* fault, F operation) {
  if (fault) fault->Arm();
  const auto st = operation();
  if (fault) fault->Disarm();
  return st.HasError() ? Said(st) : "0";
}

// A second program that holds record `key` of `spec` (a cursor of class C)
// in the company it is given.
using Hold = std::function<ChildProcess(const std::string&)>;
template <typename C>
Hold Holding(const std::string& key, const tsioFileSpec& spec = BKTFileSpec) {
  return [key, spec](const std::string& folder) { return HoldLock<C>(folder, key, spec); };
}

// ---- the operations ------------------------------------------------------

// One operation on a seeded company, its cursors in `unit` when given (else
// in the operation's own), `fault` armed once what it needs is read: its
// answer ("0..." on success) and what it left.
using Op = std::function<std::string(TxCompany&, tclRollbackStack*, ArmedFault*)>;

// Create: then the batch part's counts.
Op Create(const char* amount, int type, bool quiet = false) {
  return [=](TxCompany& co, tclRollbackStack* unit, ArmedFault* fault) {
    Transaction t(co.Bkt());
    if (unit) t.AttachRollbackStack(unit);
    txtest::Fill(t.m_Record, type, amount, "New", 0);
    const std::string said = Run(fault, [&] { return t.Create(co.Program(), nullptr, quiet); });
    return said + ", counted " + txtest::Counts(co.Part());
  };
}

// Removes 1/1 through a cursor over some columns (the batch still takes the
// stored amount back): then the batch part's counts and whether 1/1 is gone.
std::string Remove(TxCompany& co, tclRollbackStack* unit, ArmedFault* fault) {
  Transaction t(co.Bkt(), "TBNKACC;TRUN;TSEQ;TDESC"), still(co.Bkt());
  if (unit) t.AttachRollbackStack(unit);
  if (t.FetchFirst(false) != tsioStatus::kSuccess) return "cannot read 1/1";
  const std::string said = Run(fault, [&] { return t.Remove(co.Program(), nullptr); });
  const bool gone = !At(still, "TBNKACC=B1;TRUN=1;TSEQ=1").empty();
  return said + ", counted " + txtest::Counts(co.Part()) + (gone ? ", gone" : "");
}

// Moves `key` to the history as 9/5 with its details (`all`, read without a
// lock) or without (read with one), a fetch answering `unreadable` at the
// first detail unless a fault is given: then whether the transaction left,
// what of its details went and its notes and file links there.
Op Move(const char* key, bool all, tsioStatus::Status unreadable = tsioStatus::kSuccess) {
  return [=](TxCompany& co, tclRollbackStack* unit, ArmedFault* fault) {
    Transaction t(co.Bkt()), still(co.Bkt()), moved(co.History());
    if (unit) t.AttachRollbackStack(unit);
    if (std::string failed = At(t, key, !all); !failed.empty()) return failed;
    ArmedFault first_detail({tsioOp::kFetch, unreadable, "first detail"}, 1);
    if (!fault && unreadable != tsioStatus::kSuccess) fault = &first_detail;
    const std::string said = Run(fault, [&] {
      return all ? t.TransferWithDetails(co.History(), tsDouble(9), tsDouble(5))
                 : t.Transfer(co.History(), tsDouble(9), tsDouble(5));
    });
    (void)t.Unlock();
    tsioAttachments a(co.History(), TransactionData::kRecordType);
    const bool there = At(moved, "TBNKACC=B1;TRUN=9;TSEQ=5").empty();
    std::string notes = there && a.Fetch(*moved.CursorPtr()) == tsioStatus::kSuccess ? ";" : "";
    for (const auto& n : a.Notes()) notes += " " + n;
    for (const auto& l : a.FileLinks()) notes += " " + l;
    return said + (At(still, key).empty() ? "" : " (gone)") + " moved: " + txtest::Details(co.History())["9/5"] + notes;
  };
}

// Clears `key` of the history for 5.00 on 2025-03-20 into the bank account
// (or with no bank cursor or no date): then whether the stored totals are
// still those computed from scratch.
Op Clear(const char* key, bool bank = true, bool date = true) {
  return [=](TxCompany& co, tclRollbackStack* unit, ArmedFault* fault) {
    Transaction t(co.History());
    BankAccount account(co.Bkm());
    if (unit) t.AttachRollbackStack(unit);
    if (unit) account.AttachRollbackStack(unit);
    if (std::string failed = At(t, key); !failed.empty()) return failed;
    const std::string said = Run(fault, [&] {
      return t.clearTransaction(tsCurrency::FromText("5.00"), date ? tsDate(2025, 3, 20) : tsDate(),
                                bank ? &account : nullptr, tsDouble(9), nullptr);
    });
    return said + (txtest::Stored(co.Bkm()) == txtest::FromScratch({&co.Bkt(), &co.History()}) ? "" : ", totals off");
  };
}

// Every operation, in the caller's unit of work: a success with what it left,
// a refusal for what it is given (a check without its number, a detail that
// cannot be read, a clearing of what cannot be cleared) or for what another
// program holds (a detail or the transaction for a move, the batch record
// for Create, the transaction for Remove, the bank account or the
// transaction for clearing) with its one message (Create's closing line too
// unless quiet), nothing counted, and a move that fails has moved only the
// details before the failing one (cash details, each tax detail after its
// tax GL details, then the deposit items). The caller's rollback leaves the
// database exactly as it was with no lock held. Then each success meets
// every fault kind at every call of its kind it makes, in the caller's unit
// and in its own: a failure says why in one message and is taken back whole
// (by the caller's rollback, or on its own), a fault it survives leaves what
// the success leaves.
TEST(TransactionOperations, EveryRefusalAndEveryFailingIOStepIsTakenBackWhole) {
  const struct Case {
    const char* name;
    Hold hold;
    Op op;
    const char* said;
  } cases[] = {
      {"create", nullptr, Create("12.005", 2), "0, counted 2 20.01"},
      {"remove", nullptr, Remove, "0, counted 0 0.00, gone"},
      {"a move with details", nullptr, Move(kDeposit, true),
       "0 (gone) moved: CDx1 DIx2 DIG1x3 DIG2x1 TGx2 TXx1; Counted twice Bag 7 /scans/deposit-1.pdf"},
      {"a move of a withdrawal", nullptr, Move(kWithdrawal, false), "0 (gone) moved: WDx2;"},
      {"clear", nullptr, Clear(kPostedCheck), "0"},
      {"a check without its number", nullptr, Create("20", 1),
       "3 | 1608/3 Check number cannot be blank. | 0/0 Check transaction for Bank \"B1\" could not be created., "
       "counted 1 8.00"},
      {"a check without its number, quiet", nullptr, Create("20", 1, true),
       "3 | 1608/3 Check number cannot be blank., counted 1 8.00"},
      {"a deposit item that cannot be read", nullptr, Move(kDeposit, false, tsioStatus::kDamaged),
       "2 | 1614/3 Could not read the deposit item record: the data file is damaged (16). moved: "},
      {"no deposit item where one is", nullptr, Move(kDeposit, false, tsioStatus::kNotFound),
       "1 | 1614/3 Could not read the deposit item record: record not found (13). moved: "},
      {"clearing what is not posted", nullptr, Clear(kUnposted),
       "3 | 2004/3 This transaction has not been posted yet, so it cannot be cleared."},
      {"clearing with no bank cursor", nullptr, Clear(kPosted, false),
       "3 | 1608/3 Bank Account Cursor cannot be NULL."},
      {"clearing with no date", nullptr, Clear(kPosted, true, false), "3 | 1608/3 Cleared Date cannot be Empty."},
      {"clearing into no bank account", nullptr, Clear(kNoBank),
       "3 | 2000/3 There is no bank account record for bank account NOBANK."},
      {"another program's deposit item", Holding<DepositItem>(kItem2), Move(kDeposit, true),
       "1 | 1614/3 Could not read the deposit item record: record locked by another program (9). moved: CDx1 DIx1 "
       "DIG1x3 TGx2 TXx1"},
      {"another program's withdrawal detail", Holding<WithdrawalDetail>(kWithdrawal2), Move(kWithdrawal, true),
       "1 | 1614/3 Could not read the withdrawal detail record: record locked by another program (9). moved: CDx1 "
       "WDx1"},
      {"another program's moved transaction", Holding<Transaction>(kCheck), Move(kCheck, true),
       "1 | 1613/3 Could not delete the transaction record: record locked by another program (9). moved: CDx1;"},
      // Tax GL details move before their tax detail: the tax detail has not
      // moved while its GL line could not.
      {"another program's tax GL detail", Holding<TaxGLDetail>(kTaxGL), Move(kDeposit, true),
       "1 | 1614/3 Could not read the tax gl detail record: record locked by another program (9). moved: CDx1"},
      {"another program's batch record", Holding<Batch>("BAPPL=AP;BATCH=B1;BSOURCE=2"), Create("9.00", 2),
       "3 | 1618/3 Could not update the batch totals for Deposit transaction for Bank \"B1\"., counted 1 8.00"},
      {"another program's removed transaction", Holding<Transaction>("TBNKACC=B1;TRUN=1;TSEQ=1"), Remove,
       "3 | 1619/3 Could not delete Deposit transaction for Bank \"B1\": record locked by another program (9)., "
       "counted 1 8.00"},
      {"another program's bank account", Holding<BankAccount>("BANKACC=B1", BKMFileSpec), Clear(kPosted),
       "3 | 2001/3 Lock of the Bank Account record failed: record locked by another program (9)."},
      {"another program's cleared transaction", Holding<Transaction>(kPosted, BKTHistoryFileSpec),
       Clear(kPosted),
       "3 | 2001/3 Lock of the Transaction record failed: record locked by another program (9)."},
  };
  std::unique_ptr<TxCompany> co;
  std::string before, counted;
  auto fresh = [&] {
    co.reset();
    co = std::make_unique<TxCompany>();
    Seed(*co);
    before = txtest::DumpDatabase(co->Folder());
    counted = txtest::Counts(co->Part());
  };
  fresh();
  // One attempt (in the operation's own unit when `own`): its answer; a
  // success in its own unit is committed, anything else leaves the company
  // as it was. The caller's batch keeps a unit of its own only when the
  // operation may succeed: a refusal takes its count back by itself.
  auto attempt = [&](const Case& c, bool own, ArmedFault* fault) {
    std::optional<ChildProcess> holder;
    if (c.hold) holder.emplace(c.hold(co->Folder()));
    const bool batch_unit = !own && (fault || c.said[0] == '0');
    if (batch_unit) co->Program().GetBatch().InitUnitOfWork();
    tclRollbackStack unit;
    const std::string said = c.op(*co, own ? nullptr : &unit, fault);
    EXPECT_TRUE(own || unit.Rollback() == tsioStatus::kSuccess);
    if (batch_unit) co->Program().GetBatch().Rollback();
    if (holder) holder->Send("end");
    if (holder) holder->Wait();
    if (own && said[0] == '0') {
      fresh();
    } else {
      EXPECT_EQ(txtest::DumpDatabase(co->Folder()), before);
      EXPECT_EQ(txtest::Counts(co->Part()), counted);
      ExpectNothingLocked(*co);
    }
    return said;
  };
  const auto& kinds = txtest::kEveryFaultKind;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(attempt(c, false, nullptr), c.said);
    if (c.said[0] != '0') continue;
    std::vector<int> calls;  // of each fault kind, in the caller's unit
    for (bool own : {false, true}) {
      SCOPED_TRACE(own ? "in its own unit" : "in the caller's unit");
      int failures = 0;
      for (size_t k = 0; k < kinds.size(); ++k) {
        // In its own unit it makes the calls it makes in the caller's, and one commit.
        const int own_calls = own ? calls[k] + (kinds[k].op == tsioOp::kCommit ? 1 : 0) : 0;
        if (own && own_calls == 0) continue;
        const int n = bkdetailtest::ForEveryFault(kinds[k], [&](ArmedFault& fault) {
          const std::string said = attempt(c, own, &fault);
          const bool ok = said[0] == '0';
          const size_t message = said.find(" | ");
          EXPECT_TRUE(ok ? said == c.said : message != said.npos && said.find(" | ", message + 1) == said.npos) << said;
          failures += ok ? 0 : 1;
          return ok;
        }, own_calls);
        EXPECT_EQ(n, own ? own_calls : n) << kinds[k].name;
        if (!own) calls.push_back(n);
      }
      EXPECT_GT(failures, 0);
    }
  }
}

// ---- clearing ---------------------------------------------------------------

// Every kind of transaction, open, cleared or reconciled, cleared with its
// own amount or another, first in a unit of its own, then again in the
// caller's unit: afterwards it is cleared with that amount and date, every
// stored total equals the computation from scratch, and clearing it again
// changes nothing. The caller's bank cursor of the first clearing is each of
// `cursors` in turn: positioned on another account, it is put back; over
// some columns it is not used (another cursor does the work) and still put
// back; holding the account with its own lock, it keeps the lock and shows
// the new totals.
TEST(TransactionClear, KeepsEveryTotalRightForEveryTypeAndStateAndNeverCountsTwice) {
  const std::pair<int, const char*> kinds[] = {{1, "100.00"}, {2, "50.00"}, {3, "30.00"}, {4, "20.00"},
                                               {4, "-15.00"}, {4, "0.00"},  {9, "5.00"}};
  // Each answer: the cursor's account and bank balance ("stored" when it is
  // the stored one), the account its file is positioned on, and the status
  // of another handle's lock of B1.
  const std::tuple<const char*, const char*, bool, const char*> cursors[] = {
      {"", "A0", false, "A0 0.00, file on A0, lock 0"},
      {"BANKACC;BDESC", "A0", false, "A0 0.00, file on A0, lock 0"},
      {"", "", false, "B1 stored, file on B1, lock 0"},
      {"", "B1", true, "B1 stored, file on B1, lock 9"},
      {"BANKACC;BDESC", "B1", false, "B1 0.00, file on B1, lock 0"},
  };
  TxCompany co;
  Put<BankAccount>(co.Bkm(), "BANKACC=A0;BDESC=Another");
  int seq = 0;
  for (const auto& [type, amount] : kinds) {
    for (int state : {1, 2, 3}) {
      for (const char* difference : {"0.00", "1.25"}) {
        const auto& [columns, on, lock, answer] = cursors[++seq % 5];
        SCOPED_TRACE("type " + std::to_string(type) + " " + amount + ", state " + std::to_string(state) +
                     ", cleared with a difference of " + difference + ", the caller's cursor over " + columns +
                     " on " + on);
        Transaction t(co.History());
        txtest::Fill(t.m_Record, type, amount, "T" + std::to_string(seq), seq);
        ASSERT_TRUE(Set(t.m_Record, "TRUN=9;TPOSTED=1;TSEQ=" + std::to_string(seq) + ";TRECOND=" +
                                        std::to_string(state)));
        if (state != 1) t.m_Record.SetClearedAmount(t.m_Record.GetAmount() - tsCurrency::FromText("3.00"));
        ASSERT_EQ(t.Insert(), tsioStatus::kSuccess);
        txtest::StoreFromScratch(co.Bkm(), {&co.Bkt(), &co.History()});
        const tsCurrency cleared = t.m_Record.GetAmount() + tsCurrency::FromText(difference);
        for (bool first : {true, false}) {
          BankAccount bank(co.Bkm(), first ? columns : "", 0);
          tclRollbackStack unit;
          if (!first) t.AttachRollbackStack(&unit);
          if (!first) bank.AttachRollbackStack(&unit);
          bank.m_Record.SetBankAccount(tsAlpha(on));
          ASSERT_EQ(first && *on ? bank.FetchEQ(lock) : tsioStatus::kSuccess, tsioStatus::kSuccess);
          ASSERT_EQ(txtest::FetchByKey(t, t.m_Record, false), tsioStatus::kSuccess);
          EXPECT_EQ(Said(t.clearTransaction(cleared, tsDate(2025, 3, 21), &bank, tsDouble(9), nullptr)), "0");
          ASSERT_TRUE(first || unit.Commit() == tsioStatus::kSuccess);
          t.DetachRollbackStack();
          BankAccount current(co.Bkm(), "", 0);
          const bool placed = current.Refresh() == tsioStatus::kSuccess;
          const std::string file_on = placed ? current.m_Record.GetBankAccount().str() : "-";
          const std::string stored = txtest::Stored(co.Bkm());
          EXPECT_EQ(stored, txtest::FromScratch({&co.Bkt(), &co.History()})) << (first ? "first" : "again");
          if (!first) continue;
          const std::string balance = bank.m_Record.GetBankBalance().Format();
          tsioDataFile second(co.Folder() + "/BKM.1");
          const int held = bkdetailtest::LockOnce<BankAccount>(second, "BANKACC=B1");
          EXPECT_EQ(bank.m_Record.GetBankAccount().str() +
                        (stored.find(";BNKBLNC=" + balance + ";") != stored.npos ? " stored" : " " + balance) +
                        ", file on " + file_on + ", lock " + std::to_string(held),
                    answer);
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

// ---- entry totals over many units ------------------------------------------

// Random creates and removes, some meeting a fault, some units rolled back
// by the program: the entry totals report exactly what the committed units
// did (the model: totals given only the committed transactions), and the
// program's batch part always holds what its batch record holds.
TEST(TransactionTotals, FollowCreateAndRemoveExactlyThroughFailuresAndRollbacks) {
  TxCompany co;
  TranTotals totals(co.Program(), TranTotals::kEntryTotals, false);
  TranTotals expected(co.Program(), TranTotals::kEntryTotals, false);
  for (TranTotals* t : {&totals, &expected}) {
    ASSERT_EQ(t->InitJournalSection().Value(), kBoolSuccess);
    t->InitUnitOfWork();
  }
  std::mt19937 rng(1234);
  const auto& kinds = txtest::kEveryFaultKind;
  for (int step = 0; step < 150; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const std::vector<TransactionData> all = txtest::Transactions(co.Bkt());
    const bool create = all.empty() || rng() % 3 != 0;
    zzBatch& batch = co.Program().GetBatch();
    batch.InitUnitOfWork();
    tclRollbackStack unit;
    Transaction t(co.Bkt());
    t.AttachRollbackStack(&unit);
    if (!create) {
      ASSERT_EQ(txtest::FetchByKey(t, all[rng() % all.size()], true), tsioStatus::kSuccess);
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
    if (!st.HasError() && rng() % 4 != 0 && unit.Commit() == tsioStatus::kSuccess) {
      totals.Commit();
      (void)batch.Commit();
      if (create) expected.AddTransaction(t.m_Record);
      if (!create) expected.SubtractTransaction(t.m_Record);
      expected.Commit();
    } else {
      // The program takes its unit back: the files, its batch, its totals.
      ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
      totals.RollBack();
      batch.Rollback();
    }
    ASSERT_EQ(txtest::Counts(co.Part()), txtest::StoredBatch(co, "B1"));
  }
  totals.PrintToFile();
  expected.PrintToFile();
  EXPECT_EQ(co.Program().Journal().Section(totals.ReportSectionID())->PrintLines(),
            co.Program().Journal().Section(expected.ReportSectionID())->PrintLines());
}

}  // namespace
