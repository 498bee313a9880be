// bkBatchPart: the bank register's part of a batch of the batch framework
// (zzBatchPart, framework/batch/batch_part.h): the control totals of the
// batch (what the user expects) and what has been entered against it so
// far; bkBatchPartRules, the answers a program may change; and the plain
// entry points by which the batch framework creates and deletes parts and
// opens the batch dialog.
//
// Totals, one entry per TranType (there is one: all transactions):
//   NumberOfTrans        control count entered by the user (0 decimals);
//                        0 (null) means "no count given" and is not checked
//   AmountOfTrans        control amount entered by the user (3 decimals)
//   NumberOfTransPosted  transactions entered against the batch so far
//   AmountOfTransPosted  their amount
//
// The batch record (BKT record type 6) holds them as BCNT, BAMT, BCNTP and
// BAMTP. GetValues reads them from the current batch record of the batch
// file, PutValues writes them into it (framework/batch/record_fields.h); the
// batch framework fetches the record before and writes it after
// (zzBatch::UpdateInfo). Amounts travel exactly: the record holds an amount
// in hundredths and an amount that is not a whole number of hundredths is
// refused, never scaled or cut. Counts must fit the record's 16-bit counts.
//
// Entered totals are counters that several programs may move at once.
// PutValues therefore writes the entered totals as the record's stored ones
// plus what this part added or removed (AddTran, RemoveTran, ChangeTran)
// since it last read or wrote the record, so no program's count is lost;
// after Init or a Set...Posted it writes the entered totals as they stand.
// The control totals are always written as they stand.
//
// Copies (copy construction, assignment, CopyData, Clone) copy the framework
// part and the four totals only: a copy-constructed or cloned part starts
// without batch cursor, register file or rules, and assignment keeps the
// target's own.
#pragma once

#include <memory>
#include <string>

#include "framework/batch/batch.h"
#include "framework/batch/batch_part.h"
#include "framework/io/data_file.h"
#include "framework/io/file_identity.h"
#include "framework/types/values.h"
#include "records/bk_export.h"

class Batch;
class bkBatchPart;
class zzBatchDlg;

// The answers of a batch part that a program may change (SetBatchPartRules).
class BK_EXPORT bkBatchPartRules {
 public:
  explicit bkBatchPartRules(bkBatchPart* part = nullptr) : m_Part(part) {}
  virtual ~bkBatchPartRules();
  virtual bool IsBatchAcceptableForComboBox() const;  // true
  virtual bool IsBatchAcceptableForUse() const;       // true
  virtual bool AllowAutoAsManual() const;             // false
  virtual CString Description() const;               // "Transactions"

  bkBatchPart* Part() const { return m_Part; }
  void SetPart(bkBatchPart* part) { m_Part = part; }

 private:
  bkBatchPart* m_Part;
};

class BK_EXPORT bkBatchPart : public zzBatchPart {
 public:
  enum TranType : int { kAllTransactions = 0 };
  static constexpr int kTranTypeCount = 1;
  static constexpr short kBatchRecordType = 6;
  // Size of the sub-structure: the framework's 45 bytes and four doubles.
  static constexpr std::size_t kSubStructSize = 77;

  bkBatchPart();
  bkBatchPart(const bkBatchPart& other);
  bkBatchPart& operator=(const bkBatchPart& other);
  ~bkBatchPart() override;

  zzBatchPart* Clone() const override;
  // True when the batch holds neither a transaction nor a cash detail (tax
  // GL details are not looked at). A batch whose records cannot be read is
  // not taken for empty: the answer is then false.
  bool NoTransactions() override;
  // False when a control count is given and differs from the count entered,
  // or the control amount differs from the amount entered; else true.
  bool InBalance() override;
  // Control totals := totals entered.
  void Balance() override;
  // All four totals zero.
  void Init() override;
  // See the file comment. False, with the part (GetValues) or the record
  // buffer (PutValues) unchanged, when a field cannot be read or written or
  // a value cannot be stored exactly.
  bool GetValues() override;
  bool PutValues() override;
  short BatchRecType() const override { return kBatchRecordType; }
  // The framework's 45 bytes, then NumberOfTrans, AmountOfTrans,
  // NumberOfTransPosted, AmountOfTransPosted as little-endian doubles at 45,
  // 53, 61 and 69. Answers kSubStructSize.
  std::size_t FillSubStruct(unsigned char* buffer, std::size_t size) const override;
  // Takes the destination file number and the four totals from the buffer
  // (bkReadBatchSubStruct); false, nothing changed, when the buffer is too
  // short or a total is not acceptable.
  bool SetPart(const unsigned char* buffer, std::size_t size) override;
  // A unit of work: its start keeps the totals and what is still to be
  // written (the framework's Rollback puts the totals back through SetPart,
  // which during a unit also puts back what was still to be written when the
  // unit began); Commit drops what was kept.
  void InitUnitOfWork() override;
  bool Commit() override;
  bool IsBatchAcceptableForComboBox() const override;
  bool IsBatchAcceptableForUse() const override;
  bool AllowAutoAsManual() const override;
  std::string Description() const override;

  // One more (fewer) transaction of `amount` entered against the batch.
  void AddTran(TranType type, const tsCurrency& amount);
  void RemoveTran(TranType type, const tsCurrency& amount);
  // An entered transaction's amount changed by `difference`.
  void ChangeTran(TranType type, const tsCurrency& difference);
  void CopyData(const bkBatchPart& other);

  tsDouble GetNumberOfTrans(TranType type = kAllTransactions) const;
  void SetNumberOfTrans(const tsDouble& value, TranType type = kAllTransactions);
  tsDouble GetAmountOfTrans(TranType type = kAllTransactions) const;
  void SetAmountOfTrans(const tsDouble& value, TranType type = kAllTransactions);
  tsDouble GetNumberOfTransPosted(TranType type = kAllTransactions) const;
  void SetNumberOfTransPosted(const tsDouble& value, TranType type = kAllTransactions);
  tsDouble GetAmountOfTransPosted(TranType type = kAllTransactions) const;
  void SetAmountOfTransPosted(const tsDouble& value, TranType type = kAllTransactions);

  // True only when the batch's record is found and both its entered and its
  // control count are 0 (the totals are cleared once everything is posted,
  // Batch::ClearAmountsIfPosted). The record is looked up in the register
  // file (SetRegisterFile), else in the batch file: by (host application,
  // batch id, source 0, no location) when the part has a batch id, else by
  // the key of the batch file's current batch record; the first record at or
  // after that key must have the same application and batch id. False when
  // anything cannot be read. The record is read without a lock: another
  // program holding it does not change the answer.
  bool IsBatchFullyPosted();
  // Opens a handle of its own on the file `info` names (modes 0) and keeps
  // it, replacing the one it had; the status of the open.
  tsioStatus::Status SetRegisterFile(const tsioFileInfo& info);
  void CloseRegisterFile();
  // The part owns `rules` from now on (deleting the rules it had); nullptr
  // goes back to the defaults.
  void SetBatchPartRules(bkBatchPartRules* rules);

 private:
  struct Totals {
    tsDouble count{0, 0};
    tsDouble amount{0, 3};
    tsDouble posted_count{0, 0};
    tsDouble posted_amount{0, 2};
  };
  // Changes of the entered totals not yet written to the batch record.
  struct Pending {
    tsDouble count{0, 0};
    tsDouble amount{0, 2};
    bool absolute = false;  // the entered totals were set, not counted
  };
  bkBatchPartRules& Rules() const;
  static int Index(TranType type) { return type >= 0 && type < kTranTypeCount ? type : 0; }

  Totals m_Totals[kTranTypeCount];
  std::unique_ptr<Batch> m_BatchCursor;
  std::unique_ptr<tsioDataFile> m_RegisterFile;
  mutable std::unique_ptr<bkBatchPartRules> m_Rules;
  Pending m_Pending[kTranTypeCount];
  std::unique_ptr<Pending[]> m_UnitPending;  // kept by InitUnitOfWork
};

// Entry points of the batch framework (plain names).
// A new part with zero totals; the caller deletes it with
// bk_delete_batch_part.
extern "C" BK_EXPORT zzBatchPart* bk_new_batch_part();
// Deletes `part` when it is a bkBatchPart; any other object is left alone.
extern "C" BK_EXPORT void bk_delete_batch_part(zzBatchPart* part);
// A new batch dialog (bkBatchDlg, template 1111) for `part` on `batch`,
// whose parent is the application's window; nullptr when `part` is not a
// bkBatchPart. The caller deletes the dialog.
extern "C" BK_EXPORT zzBatchDlg* bk_full_batch_dlg(_zzBatch* batch, bool info_static, zzBatchPart* part,
                                                   unsigned short help_id);
