// The typed cursor on real data files: partial reads, relation walks, a
// walk that never locks, copies and notes, Transfer and the single-record
// fetch.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/io/attachments.h"
#include "framework/io/faults.h"
#include "accounts/bank_account.h"
#include "records/column_lists.h"
#include "deposits/deposit_item.h"
#include "records/record_test_support.h"
#include "records/relations.h"
#include "transactions/transaction.h"

namespace {

class CursorTest : public ::testing::Test {
 protected:
  void TearDown() override { tsioFaults::Clear(); }

  void AddAccount(const char* id, const char* balance, const char* description) {
    BankAccount cursor(*company.bkm);
    cursor.m_Record.SetBankAccount(id);
    cursor.m_Record.SetRegisterBalance(tsCurrency::FromText(balance));
    cursor.m_Record.SetDescription(description);
    ASSERT_EQ(cursor.Insert(), tsioStatus::kSuccess);
  }
  // Sets a transaction's (or a deposit item's) key of bank, run and sequence.
  template <typename R>
  static R& Key(R& record, const char* bank, int run, int seq) {
    record.SetBankAccount(bank);
    record.SetRun(tsDouble(run));
    record.SetSequence(tsDouble(seq));
    return record;
  }
  void AddTransaction(tsioDataFile& file, const char* bank, int run, int seq, int type = 1) {
    Transaction cursor(file);
    Key(cursor.m_Record, bank, run, seq).SetType(type);
    ASSERT_EQ(cursor.Insert(), tsioStatus::kSuccess);
  }
  void AddItem(const char* bank, int run, int seq, int item) {
    DepositItem cursor(*company.bkt);
    Key(cursor.m_Record, bank, run, seq).SetDepositItemNumber(tsDouble(item));
    ASSERT_EQ(cursor.Insert(), tsioStatus::kSuccess);
  }
  // Positions `cursor` on transaction (bank, run, seq).
  static tsioStatus::Status Find(Transaction& cursor, const char* bank, int run, int seq, bool lock = false) {
    Key(cursor.m_Record, bank, run, seq);
    return cursor.FetchEQ(lock);
  }

  bktest::BankCompany company;
};

TEST_F(CursorTest, PartialRecordFetchFillsOnlyItsColumns) {
  AddAccount("CHK1", "250.75", "Operating");
  BankAccount cursor(*company.bkm, kBankRegisterBalanceColumns);
  cursor.m_Record.SetBankAccount("CHK1");
  cursor.m_Record.SetDescription("left alone");
  ASSERT_EQ(cursor.FetchEQ(false), tsioStatus::kSuccess);
  EXPECT_EQ(cursor.m_Record.GetRegisterBalance(), tsCurrency::FromText("250.75"));
  EXPECT_EQ(cursor.m_Record.GetDescription(), "left alone");

  // Writing through the partial record leaves the unbound columns in the file.
  cursor.m_Record.SetRegisterBalance(tsCurrency(10));
  ASSERT_EQ(cursor.Update(), tsioStatus::kSuccess);
  BankAccount all(*company.bkm);
  all.m_Record.SetBankAccount("CHK1");
  ASSERT_EQ(all.FetchEQ(false), tsioStatus::kSuccess);
  EXPECT_EQ(all.m_Record.GetDescription(), "Operating");
  EXPECT_EQ(all.m_Record.GetRegisterBalance(), tsCurrency(10));
}

TEST_F(CursorTest, RelationOnLeadingKeyColumnsWalksTheChildrenInKeyOrder) {
  AddTransaction(*company.bkt, "CHK1", 5, 1, 2);
  for (int item : {3, 1, 2}) AddItem("CHK1", 5, 1, item);
  AddItem("CHK1", 5, 2, 1);  // another deposit of the run
  AddItem("CHK1", 4, 1, 9);  // an earlier run
  AddItem("CHK0", 5, 1, 7);  // another bank account

  Transaction tran(*company.bkt);
  ASSERT_EQ(Find(tran, "CHK1", 5, 1), tsioStatus::kSuccess);
  DepositItem items(*company.bkt);
  std::string seen;
  tsioStatus::Status st = items.FetchFirstOf(tran, TransactionDepositItemsRel, false);
  for (; st == tsioStatus::kSuccess; st = items.FetchNextOf(tran, TransactionDepositItemsRel, false)) {
    const DepositItemData& r = items.m_Record;
    seen += r.GetBankAccount().str() + "/" + r.GetRun().Format() + "/" + r.GetDepositItemNumber().Format() + " ";
  }
  EXPECT_EQ(st, tsioStatus::kEndOfFile);
  EXPECT_EQ(seen, "CHK1/5/1 CHK1/5/2 CHK1/5/3 ");

  // And back from an item to its transaction.
  ASSERT_EQ(items.FetchFirstOf(tran, TransactionDepositItemsRel, false), tsioStatus::kSuccess);
  Transaction parent(*company.bkt);
  ASSERT_EQ(parent.FetchFirstOf(items, DepositItemTransactionRel, false), tsioStatus::kSuccess);
  EXPECT_TRUE(parent.m_Record == tran.m_Record);
  EXPECT_EQ(parent.FetchNextOf(items, DepositItemTransactionRel, false), tsioStatus::kEndOfFile);
}

TEST_F(CursorTest, FetchNextOfRecordNeverLocks) {
  for (int seq : {1, 2, 3}) AddTransaction(*company.bkt, "CHK1", 5, seq);
  tsioDataFile other(company.bkt->FileName());

  Transaction mine(*company.bkt);
  const TransactionKeyData bank_only("CHK1", tsDouble(0), tsDouble(0));
  TransactionData key_of_bank(bank_only, "TBNKACC");
  ASSERT_EQ(mine.FetchFirstOf(key_of_bank, true), tsioStatus::kSuccess);  // locks sequence 1
  ASSERT_EQ(mine.FetchNextOf(key_of_bank, true), tsioStatus::kSuccess);   // sequence 2, no lock
  EXPECT_EQ(mine.m_Record.GetSequence(), tsDouble(2));

  Transaction theirs(other);
  EXPECT_EQ(Find(theirs, "CHK1", 5, 2, true), tsioStatus::kSuccess);
  EXPECT_EQ(Find(theirs, "CHK1", 5, 1, true), tsioStatus::kLocked);
}

// A cursor whose move does its own thing: Transfer must go through it.
class RefusingTransaction : public Transaction {
 public:
  using Transaction::Transaction;
  tsioStatus::Status MoveRecord(const tsioDataFile&) override {
    ++moves;
    return tsioStatus::kLocked;
  }
  int moves = 0;
};

// Transfer's values: 0 moved, 1 a failure that is not fatal (an injected
// duplicate key, the key really in the target, or the cursor's own move
// refusing), 2 a fatal one; a failure carries one message 1602 and keeps the
// record where it was.
TEST_F(CursorTest, TransferValues) {
  const struct {
    const char* name;
    tsioStatus::Status injected;  // kSuccess: none
    bool existing;                // the record already in the target
    bool own_move;                // through RefusingTransaction
    TransferStatus value;
    tsioStatus::Status reported;  // in the message
  } cases[] = {
      {"moved", tsioStatus::kSuccess, false, false, kTransferDone, tsioStatus::kSuccess},
      {"non-fatal failure", tsioStatus::kDuplicateKey, false, false, kTransferFailed, tsioStatus::kDuplicateKey},
      {"fatal failure", tsioStatus::kIOError, false, false, kTransferFatal, tsioStatus::kIOError},
      {"onto an existing key", tsioStatus::kSuccess, true, false, kTransferFailed, tsioStatus::kDuplicateKey},
      {"the cursor's own move", tsioStatus::kSuccess, false, true, kTransferFailed, tsioStatus::kLocked},
  };
  for (int seq = 1; const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AddTransaction(*company.bkt, "CHK1", 9, seq);
    if (c.existing) AddTransaction(*company.history, "CHK1", 9, seq);
    std::unique_ptr<Transaction> cursor(c.own_move ? new RefusingTransaction(*company.bkt)
                                                   : new Transaction(*company.bkt));
    ASSERT_EQ(Find(*cursor, "CHK1", 9, seq), tsioStatus::kSuccess);
    if (c.injected != tsioStatus::kSuccess) tsioFaults::Arm(tsioOp::kInsert, c.injected);
    const ccStatus<TransferStatus> result = cursor->Transfer(*company.history);
    tsioFaults::Clear();
    EXPECT_EQ(result.Value(), c.value);
    EXPECT_EQ(c.own_move ? static_cast<RefusingTransaction&>(*cursor).moves : 1, 1);
    const bool done = c.value == kTransferDone;
    ASSERT_EQ(result.Errors().Size(), done ? 0u : 1u);
    if (!done) {
      const ccError& e = result.Errors()[0];
      EXPECT_EQ(e.Number(), 1602);
      EXPECT_EQ(e.GetLevel(), ccError::kError);
      EXPECT_NE(e.Text().find("transaction"), std::string::npos) << e.Text();
      EXPECT_NE(e.Text().find(ccIOStatusStr(c.reported)), std::string::npos) << e.Text();
    }
    Transaction current(*company.bkt), history(*company.history);
    EXPECT_EQ(Find(current, "CHK1", 9, seq), done ? tsioStatus::kNotFound : tsioStatus::kSuccess);
    EXPECT_EQ(Find(history, "CHK1", 9, seq++), done || c.existing ? tsioStatus::kSuccess : tsioStatus::kNotFound);
  }
}

// (A transfer moving a transaction's notes: transaction_ops_test.)
TEST_F(CursorTest, NotesCanBeCopiedAndAppended) {
  AddTransaction(*company.bkt, "CHK1", 9, 1);
  Transaction cursor(*company.bkt);
  ASSERT_EQ(Find(cursor, "CHK1", 9, 1), tsioStatus::kSuccess);
  EXPECT_FALSE(cursor.AttachmentsExist());
  tsioAttachments notes(*company.bkt, TransactionData::kRecordType);
  notes.Notes().push_back("returned by the bank once");
  notes.FileLinks().push_back("scan-0001.pdf");
  ASSERT_EQ(notes.Write(*cursor.CursorPtr()), tsioStatus::kSuccess);
  EXPECT_TRUE(cursor.AttachmentsExist());

  // A copy in history (the record stays here) gets the notes by CopyNotes,
  // then again by AppendNotes.
  ASSERT_EQ(cursor.CopyRecord(*company.history), tsioStatus::kSuccess);
  ASSERT_EQ(Find(cursor, "CHK1", 9, 1), tsioStatus::kSuccess);
  ASSERT_EQ(cursor.CopyNotes(*company.history), tsioStatus::kSuccess);
  ASSERT_EQ(cursor.AppendNotes(*company.history), tsioStatus::kSuccess);
  Transaction history(*company.history);
  ASSERT_EQ(Find(history, "CHK1", 9, 1), tsioStatus::kSuccess);
  tsioAttachments copied(*company.history, TransactionData::kRecordType);
  ASSERT_EQ(copied.Fetch(*history.CursorPtr()), tsioStatus::kSuccess);
  EXPECT_EQ(copied.Notes().size(), 2u);
}

// A typed cursor always has exactly one io cursor: adopting the one it holds,
// or nothing, leaves it working; adopting another deletes the old one.
TEST_F(CursorTest, SetIOCursorKeepsExactlyOneWorkingIoCursor) {
  AddTransaction(*company.bkt, "B1", 1, 1);
  AddTransaction(*company.bkt, "B1", 1, 2);
  Transaction cursor(*company.bkt);
  cursor.SetIOCursor(cursor.CursorPtr());
  cursor.SetIOCursor(nullptr);
  ASSERT_NE(cursor.CursorPtr(), nullptr);
  ASSERT_EQ(cursor.FetchFirst(false), tsioStatus::kSuccess);
  EXPECT_EQ(cursor.m_Record.GetSequence(), tsDouble(1));
  cursor.SetIOCursor(new bkCursorBase(&cursor.m_Record, *company.bkt, TransactionData::kRecordType, 0));
  ASSERT_EQ(cursor.FetchLast(false), tsioStatus::kSuccess);
  EXPECT_EQ(cursor.m_Record.GetSequence(), tsDouble(2));
}

TEST_F(CursorTest, FetchRecordReadsByKeyAndCarriesMessage5000) {
  AddAccount("CHK1", "12.34", "Operating");
  for (const char* id : {"CHK1", "NONE"}) {
    BankAccountData wanted("");
    wanted.SetBankAccount(id);
    const ccStatus<tsioStatus::Status> got = bkCursorBase::FetchRecord(*company.bkm, wanted);
    const bool found = std::string(id) == "CHK1";
    EXPECT_EQ(got.Value(), found ? tsioStatus::kSuccess : tsioStatus::kNotFound);
    ASSERT_EQ(got.Errors().Size(), 1u);  // the message comes whatever the status
    EXPECT_EQ(got.Errors()[0].Number(), 5000);
    EXPECT_EQ(wanted.GetRegisterBalance(), found ? tsCurrency::FromText("12.34") : tsCurrency());
    if (!found) {
      EXPECT_EQ(got.Errors()[0].GetLevel(), ccError::kError);
      EXPECT_EQ(got.Errors()[0].Text(), "Could not read bank account - " + ccIOStatusStr(tsioStatus::kNotFound) + ".");
    }
  }
}

}  // namespace
