// The road of one deposit, over real files with the general-ledger module
// loaded: entered with its items and lines under the program's run and
// sequence in a batch (the batch part and the entry totals counting it, the
// module's rules checking it and its lines), moved to history with its
// details by a posting program that writes and posts its general-ledger
// lines, and cleared into the bank balance by a reconciliation program. At
// the end every stored total of the bank account is what a computation from
// scratch over the transactions gives.
#include <gtest/gtest.h>

#include "deposits/deposit_item.h"
#include "deposits/deposit_item_detail.h"
#include "deposits/detail_transfer_test_support.h"
#include "framework/batch/batch.h"
#include "framework/batch/batch_list.h"
#include "framework/io/rollback_stack.h"
#include "ledger/gl_post_launcher.h"
#include "ledger/gl_posting_test_support.h"
#include "ledger/gl_tran_creator.h"
#include "ledger/gl_transaction_values.h"
#include "records/relations.h"
#include "transactions/detailed_transaction_data.h"
#include "transactions/transactions_test_support.h"
#include "validation/tran_totals.h"

namespace {

using bkdetailtest::Put;

// The deposit's items and their lines: item 1 of 100.00 (sales 60.00, fees
// 40.00), item 2 of 50.00 (sales 50.00).
struct Line {
  int item;
  const char* account;
  const char* amount;
};
const Line kLines[] = {{1, vtest::kSales, "60.00"}, {1, vtest::kFees, "40.00"}, {2, vtest::kSales, "50.00"}};

// Writes the two items and their lines for the deposit (run, sequence) in `unit`.
void WriteItems(txtest::TxCompany& co, tclRollbackStack& unit, const tsDouble& run, const tsDouble& sequence) {
  const std::string key = ";DIRUN=" + run.Format() + ";DISEQ=" + sequence.Format();
  for (int item : {1, 2}) {
    DepositItem i(co.Bkt());
    i.AttachRollbackStack(&unit);
    ASSERT_TRUE(bkdetailtest::Set(i.m_Record, "DIBNKAC=B1" + key + ";DITEMNO=" + std::to_string(item) +
                                                  (item == 1 ? ";DIAMT=100.00;DIPAYER=Shop" : ";DIAMT=50.00;DIPAYER=Cafe")));
    ASSERT_EQ(i.Insert(), tsioStatus::kSuccess);
  }
  for (const Line& l : kLines) {
    DepositItemDetail line(co.Bkt());
    line.AttachRollbackStack(&unit);
    ASSERT_TRUE(bkdetailtest::Set(line.m_Record, "DIGBNKA=B1;DIGRUN=" + run.Format() + ";DIGSEQ=" + sequence.Format() +
                                                     ";DIGLINO=" + std::to_string(l.item) + ";DIGLACC=" + l.account +
                                                     ";DIGAMT=" + l.amount));
    ASSERT_EQ(line.Insert(), tsioStatus::kSuccess);
  }
}

std::string Report(bkProgram& program, const TranTotals& totals) {
  std::string out;
  for (const auto& line : program.Journal().Section(totals.ReportSectionID())->PrintLines()) out += line + "\n";
  return out;
}

TEST(RoadOfADeposit, FromEntryThroughHistoryAndTheGeneralLedgerIntoTheBankBalance) {
  ASSERT_NE(gltest::LoadLedgerModule(), 0);
  txtest::TxCompany co;
  co.SetInterface(true);
  bkProgram& program = co.Program();
  tsioFileManager& fm = program.FileManager();
  for (const tsioFileSpec* spec : {&GLTFileSpec, &GLTFileSpec2}) ASSERT_EQ(fm.Open(*spec), tsioStatus::kSuccess);
  bkBatchPart& part = co.UseBatch("BK", "DEP1");
  part.SetNumberOfTrans(tsDouble(1));
  part.SetAmountOfTrans(tsDouble(150));
  const tsDate day = vtest::OpenDate();

  // 1. Entered: the record, its items and lines under the run and sequence
  // Create will give, validated through its cursor (so its lines are
  // checked), created in the batch, the bank account's totals moved: one
  // unit of work.
  TranTotals entry(program, TranTotals::kEntryTotals, false);
  ASSERT_EQ(entry.InitJournalSection().Value(), kBoolSuccess);
  entry.InitUnitOfWork();
  tclRollbackStack unit;
  ASSERT_EQ(unit.EnsureBegun(co.Bkt().Company()), tsioStatus::kSuccess);
  TransactionFileHeader& header = *program.BKTHeader();
  ccStatus<ccBoolStatus> taken(kBoolSuccess);
  const tsDouble run = header.ThisRun(taken);
  ASSERT_EQ(taken.Value(), kBoolSuccess);
  const tsDouble sequence = header.ThisSequence() + tsDouble(1);

  Transaction deposit(co.Bkt());
  deposit.AttachRollbackStack(&unit);
  TransactionData& d = deposit.m_Record;
  d.InitializeNewRecord(program, program.GetBatch());
  d.SetType(TransactionData::TranTypeEnum::kDeposit);
  d.SetBankAccount(tsAlpha(txtest::kBank));
  d.SetRun(run);
  d.SetSequence(sequence);
  d.SetTransactionDate(day);
  d.SetAccountingDate(day);
  d.SetDepositDate(day);
  d.SetDepositID(tsAlpha("DEP-7"));
  d.SetDescription(tsAlpha("Takings of the week"));
  d.SetDebitAccount(tsAlpha(vtest::kCash));
  d.SetAddition(tsCurrency(150));
  WriteItems(co, unit, run, sequence);
  ccStatus<ccError::Level> valid = deposit.Validate(program);
  ASSERT_FALSE(valid.HasError()) << valid.Errors()[0].Text();

  // Its lines must add up: one cent more is refused, and nothing is written.
  d.SetAddition(tsCurrency::FromText("150.01"));
  ccStatus<ccError::Level> refused = deposit.Create(program, &entry, false);
  ASSERT_TRUE(refused.HasError());
  EXPECT_EQ(refused.Errors()[0].Number(), 1612);
  EXPECT_EQ(txtest::Transactions(co.Bkt()).size(), 0u);
  EXPECT_EQ(part.GetNumberOfTransPosted(), tsDouble(0));
  // The refused Create took the next sequence: give the record the next one
  // again (the program renumbers its items when it tries again).
  ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
  entry.RollBack();
  ASSERT_EQ(unit.EnsureBegun(co.Bkt().Company()), tsioStatus::kSuccess);
  const tsDouble run2 = header.ThisRun(taken);
  const tsDouble sequence2 = header.ThisSequence() + tsDouble(1);
  d.SetRun(run2);
  d.SetSequence(sequence2);
  d.SetAddition(tsCurrency(150));
  WriteItems(co, unit, run2, sequence2);
  ASSERT_FALSE(deposit.Validate(program).HasError());
  ccStatus<ccError::Level> created = txtest::Enter(program, deposit, &entry, unit);
  ASSERT_FALSE(created.HasError()) << created.Errors()[0].Text();
  EXPECT_EQ(d.GetRun(), run2);
  EXPECT_EQ(d.GetSequence(), sequence2);
  ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
  entry.Commit();
  deposit.DetachRollbackStack();

  // The batch part and the entry totals count it.
  EXPECT_EQ(part.GetNumberOfTransPosted(), tsDouble(1));
  EXPECT_EQ(part.GetAmountOfTransPosted(), tsDouble(150));
  EXPECT_TRUE(part.InBalance());
  entry.PrintToFile();
  const std::string entered = Report(program, entry);
  EXPECT_NE(entered.find("Bank Account B1"), std::string::npos) << entered;
  EXPECT_NE(entered.find("Deposit"), std::string::npos) << entered;
  EXPECT_NE(entered.find("150.00"), std::string::npos) << entered;
  EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()}));

  // 2. Posted: general-ledger lines for each line of the deposit, the
  // deposit moved to history with everything that hangs under it, the
  // posting totals; then the general ledger posts the batch.
  tclRollbackStack posting;
  ASSERT_EQ(posting.EnsureBegun(co.Bkt().Company()), tsioStatus::kSuccess);
  TransactionFileHeader history_header(co.History());
  const tsDouble history_run = history_header.ThisRun(taken);
  ASSERT_EQ(taken.Value(), kBoolSuccess);
  const tsDouble history_sequence = history_header.NextSequence();
  TranTotals post(program, TranTotals::kPostTotals, false);
  ASSERT_EQ(post.InitJournalSection().Value(), kBoolSuccess);
  post.InitUnitOfWork();
  {
    glwTranCreator creator(program, true, nullptr);
    ASSERT_EQ(creator.SetRunNumber(program).Value(), kBoolSuccess);
    Transaction p(co.Bkt());
    p.AttachRollbackStack(&posting);
    ASSERT_EQ(txtest::FetchByKey(p, d, true), tsioStatus::kSuccess);
    DepositItemDetail line(co.Bkt());
    for (auto st = line.FetchFirstOf(*p.CursorPtr(), TransactionDepositItemDetailsRel, false);
         st == tsioStatus::kSuccess; st = line.FetchNextOf(*p.CursorPtr(), TransactionDepositItemDetailsRel, false)) {
      TransactionData part_of(p.m_Record);
      part_of.SetCreditAccount(line.m_Record.GetCreditAccount());
      part_of.SetAddition(line.m_Record.GetAmount());
      DetailedTransactionData detailed(&part_of, part_of.GetDescription(), kNonCashWithoutTax, false, false);
      bkGLTransactionValues values(program, true, &detailed);
      creator.SetTranValuesObject(&values);
      ASSERT_EQ(creator.AccumulateTrans(kBKIncludeAll).Value(), tsioStatus::kSuccess);
      ASSERT_EQ(creator.RollTrans(kTranLevelItem, kBKIncludeAll).Value(), tsioStatus::kSuccess);
      creator.SetTranValuesObject(nullptr);
    }
    ASSERT_EQ(creator.ResetTranCreator(true).Value(), tsioStatus::kSuccess);
    post.AddTransaction(p.m_Record);
    ccStatus<TransferStatus> moved = p.TransferWithDetails(co.History(), history_run, history_sequence);
    ASSERT_EQ(moved.Value(), kTransferDone) << moved.Errors()[0].Text();
  }
  ASSERT_EQ(posting.Commit(), tsioStatus::kSuccess);
  post.Commit();
  post.PrintToFile();
  EXPECT_NE(Report(program, post).find("150.00"), std::string::npos) << Report(program, post);
  {
    glwPostLauncher launcher(program);
    ASSERT_EQ(launcher.OpenFiles(program), kBoolSuccess);
    launcher.AddToBatchList(new zzBatchListNode("BK", tsAlpha("DEP1"), 2));
    ccStatus<ccBoolStatus> posted = launcher.Post(0);
    ASSERT_EQ(posted.Value(), kBoolSuccess) << (posted.Errors().Empty() ? "" : posted.Errors()[0].Text());
    launcher.CloseFiles();
  }
  EXPECT_TRUE(posttest::ReadLines(*program.File(GLTFileSpec)).empty()) << "nothing left waiting";
  tsCurrency debits, credits;
  for (const auto& l : posttest::ReadLines(*program.File(GLTFileSpec2))) {
    EXPECT_EQ(l.batch, "DEP1");
    (l.debit_credit.Value() == 1 ? debits : credits) += l.amount;
  }
  EXPECT_EQ(debits, tsCurrency(150)) << "the bank's cash account";
  EXPECT_EQ(credits, tsCurrency(150)) << "sales and fees";

  // In history, posted; nothing of it left in the register. (That a move
  // takes every detail, note and file link along: transaction_ops_test.cc.)
  EXPECT_TRUE(txtest::Transactions(co.Bkt()).empty());
  Transaction h(co.History());
  h.m_Record.SetBankAccount(tsAlpha(txtest::kBank));
  h.m_Record.SetRun(history_run);
  h.m_Record.SetSequence(history_sequence);
  ASSERT_EQ(h.FetchEQ(false), tsioStatus::kSuccess);
  EXPECT_TRUE(static_cast<bool>(h.m_Record.GetPosted()));
  EXPECT_EQ(h.m_Record.GetDepositID(), "DEP-7");
  EXPECT_EQ(txtest::Stored(co.Bkm()), txtest::FromScratch({&co.Bkt(), &co.History()}));

  // 3. Cleared by the bank: into the bank balance, out of the open totals.
  tclRollbackStack reconciling;
  h.AttachRollbackStack(&reconciling);
  BankAccount bank(co.Bkm());
  bank.AttachRollbackStack(&reconciling);
  ccStatus<ccError::Level> cleared =
      h.clearTransaction(tsCurrency(150), tsDate(2025, 3, 14), &bank, history_run, nullptr);
  ASSERT_TRUE(cleared.Errors().Empty()) << cleared.Errors()[0].Text();
  ASSERT_EQ(reconciling.Commit(), tsioStatus::kSuccess);

  const txtest::BankTotals totals = txtest::Stored(co.Bkm());
  EXPECT_EQ(totals, txtest::FromScratch({&co.Bkt(), &co.History()}));
  EXPECT_EQ(totals.register_balance, tsCurrency(1150));
  EXPECT_EQ(totals.bank_balance, tsCurrency(1050));
  EXPECT_EQ(totals.open[1], tsCurrency()) << "no open deposit left";
  EXPECT_EQ(totals.unreconciled[1], tsCurrency(150)) << "cleared, not yet reconciled";
}

}  // namespace
