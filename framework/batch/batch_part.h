// zzBatchPart: one module's part of a batch. The batch framework keeps, for
// every module that writes into a batch, a part object derived from this
// class; the module's own part knows its batch record and control totals.
//
// The framework part holds what every module shares:
//   - the module code ("BK", "GL");
//   - the batch file: the file number of the open handle on the module's
//     file that holds its batch records (FileNumber), and the destination
//     file number (DestFileNumber) that modules pass on when the batch is
//     posted;
//   - whether the framework created the module's batch record
//     (RecordCreated, 1 created, 0 found);
//   - the batch's type, description and date;
//   - the batch's identity, set by zzBatch when the part is added: host
//     application, batch id, batch source and data-processing location. A
//     module's batch record (record type BatchRecType in the batch file) has
//     these four as the columns of its key (index 0), in this order.
// Every virtual operation has a neutral default; modules override what they
// need.
//
// Sub-structure: a packed little-endian byte buffer by which the framework
// exchanges a part's values (FillSubStruct writes it, SetPart reads it).
// The first 45 bytes are the framework part's:
//   0  file number (16-bit)          2  destination file number (16-bit)
//   4  record-created flag (16-bit)  6  batch type (16-bit)
//   8  description, 31 bytes, NUL-terminated (at most 30 characters)
//   39, 41, 43  year, month, day of the batch date (16-bit each)
// Modules append their own fields after offset 45. FillSubStruct(nullptr, 0)
// answers the size a part writes; a buffer smaller than that is left alone
// (the answer is still the size). SetPart reads only from the `size` bytes it
// is given and changes nothing when they are too few or not acceptable.
//
// Units of work: InitUnitOfWork keeps the part's sub-structure; Commit drops
// it; Rollback puts it back (SetPart), so a part's totals follow its unit
// of work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"
#include "framework/batch/batch_type.h"
#include "framework/io/io_status.h"
#include "framework/types/ts_alpha.h"
#include "framework/types/ts_date.h"

class TS_EXPORT zzBatchPart {
 public:
  static constexpr std::size_t kFrameworkSubStructSize = 45;
  static constexpr std::size_t kDescSize = 31;

  explicit zzBatchPart(std::string module_code);
  virtual ~zzBatchPart();
  // Copies copy every field; a unit of work in progress is not copied.
  zzBatchPart(const zzBatchPart& other);
  zzBatchPart& operator=(const zzBatchPart& other);

  const std::string& ModuleCode() const { return module_code_; }
  short FileNumber() const { return file_number_; }
  void SetFileNumber(short n) { file_number_ = n; }
  short DestFileNumber() const { return dest_file_number_; }
  void SetDestFileNumber(short n) { dest_file_number_ = n; }
  short RecordCreated() const { return record_created_; }
  void SetRecordCreated(short created) { record_created_ = created; }
  zzBatchType Type() const { return type_; }
  void SetType(zzBatchType type) { type_ = type; }
  const std::string& Desc() const { return desc_; }
  void SetDesc(std::string desc) { desc_ = std::move(desc); }
  const tsDate& Date() const { return date_; }
  void SetDate(const tsDate& date) { date_ = date; }
  const tsAlpha& BatchID() const { return batch_id_; }
  void SetBatchID(const tsAlpha& id) { batch_id_ = id; }
  const std::string& HostAppl() const { return host_appl_; }
  void SetHostAppl(std::string appl) { host_appl_ = std::move(appl); }
  short Source() const { return source_; }
  void SetSource(short source) { source_ = source; }
  const tsAlpha& DPLoc() const { return dp_loc_; }
  void SetDPLoc(const tsAlpha& loc) { dp_loc_ = loc; }

  // The columns of the module's batch record that take the batch's
  // description and date when the framework creates the record ("" when the
  // record has none).
  void SetRecordColumns(std::string description_column, std::string date_column);
  const std::string& DescriptionColumn() const { return desc_column_; }
  const std::string& DateColumn() const { return date_column_; }

  // A copy of this part (the framework part; modules copy their own fields).
  virtual zzBatchPart* Clone() const;
  // True when the batch holds no record of this module.
  virtual bool NoTransactions();
  // True when the control totals match what was entered.
  virtual bool InBalance();
  // Makes the control totals equal to what was entered.
  virtual void Balance();
  // Resets the part's totals.
  virtual void Init();
  // Reads the part's totals from / writes them into the current batch record
  // of the batch file (the record the handle's buffer holds; zzBatch fetches
  // it first and writes it after PutValues). False on failure, with the part
  // (GetValues) or the buffer (PutValues) unchanged.
  virtual bool GetValues();
  virtual bool PutValues();
  // The record type of the module's batch records (0: none).
  virtual short BatchRecType() const;
  // Writes / reads the sub-structure (see above).
  virtual std::size_t FillSubStruct(unsigned char* buffer, std::size_t size) const;
  virtual bool SetPart(const unsigned char* buffer, std::size_t size);
  // Units of work of the batch (see above).
  virtual void InitUnitOfWork();
  virtual bool Commit();
  virtual void Rollback();
  // Questions the batch dialog asks the module.
  virtual bool IsBatchAcceptableForComboBox() const;
  virtual bool IsBatchAcceptableForUse() const;
  virtual bool AllowAutoAsManual() const;
  virtual std::string Description() const;
  // Another module hands the part its application block (the general
  // ledger's, after it processed transactions of the batch); the default
  // keeps a copy (ApplBlock).
  virtual void ReceiveApplBlock(const void* block, std::size_t size);
  const std::vector<unsigned char>& ApplBlock() const { return appl_block_; }

  // Whether the batch file holds a record of `record_type` that belongs to
  // this batch: one whose `columns` (";"-separated; the application, batch
  // id, source and location columns of that record type, in this order)
  // equal the batch's identity. Read in the order of `index`. When the
  // answer cannot be read (file not open, a failed read) it is TRUE, and
  // `status` (when given) carries the failure: a batch is never taken for
  // empty because its records could not be read. `status` is 0 when the
  // answer was read.
  bool _TranExists(short record_type, short index, std::string_view columns,
                   tsioStatus::Status* status = nullptr) const;

 private:
  std::string module_code_;
  short file_number_ = 0;
  short dest_file_number_ = 0;
  short record_created_ = 0;
  zzBatchType type_ = zzBatchType::kNoBatch;
  std::string desc_;
  tsDate date_;
  tsAlpha batch_id_;
  std::string host_appl_;
  short source_ = 0;
  tsAlpha dp_loc_;
  std::string desc_column_;
  std::string date_column_;
  std::vector<unsigned char> appl_block_;
  std::unique_ptr<std::vector<unsigned char>> unit_;  // sub-structure kept by InitUnitOfWork
};
