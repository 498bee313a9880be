// zzBatchPart: one module's part of a batch. The batch framework keeps, for
// every module that writes into a batch, a part object derived from this
// class; the module's own part knows its batch record and control totals.
//
// The framework part holds what every module shares: the module code, the
// framework file number of the batch file and the destination file number,
// whether the batch record was created, the batch type, description and
// date, and the batch id and host application it belongs to. Every virtual
// operation has a neutral default here; modules override what they need.
//
// Sub-structure: the first 45 bytes of the byte buffer exchanged by
// FillSubStruct and SetPart are the framework part's (little-endian):
//   0  file number (16-bit)        2  destination file number (16-bit)
//   4  record-created flag (16-bit) 6  batch type (16-bit)
//   8  description, 31 bytes, NUL-terminated (at most 30 characters)
//   39, 41, 43  year, month, day of the batch date (16-bit each)
// Modules append their own fields after offset 45.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "framework/base/export.h"
#include "framework/batch/batch_type.h"
#include "framework/types/ts_alpha.h"
#include "framework/types/ts_date.h"

class TS_EXPORT zzBatchPart {
 public:
  static constexpr std::size_t kFrameworkSubStructSize = 45;
  static constexpr std::size_t kDescSize = 31;

  explicit zzBatchPart(std::string module_code);
  virtual ~zzBatchPart();
  zzBatchPart(const zzBatchPart&) = default;
  zzBatchPart& operator=(const zzBatchPart&) = default;

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
  // Reads the part's totals from / writes them to the batch record; false on
  // failure.
  virtual bool GetValues();
  virtual bool PutValues();
  // The record type of the module's batch records (0: none).
  virtual short BatchRecType() const;
  // Writes / reads the sub-structure (see above).
  virtual void FillSubStruct(unsigned char* buffer) const;
  virtual void SetPart(const unsigned char* buffer);
  // Units of work of the batch: the part keeps totals in step with them.
  virtual void InitUnitOfWork();
  virtual bool Commit();
  virtual void Rollback();
  // Questions the batch dialog asks the module.
  virtual bool IsBatchAcceptableForComboBox() const;
  virtual bool IsBatchAcceptableForUse() const;
  virtual bool AllowAutoAsManual() const;
  virtual std::string Description() const;
  // Another module hands the part its application block (the general
  // ledger's, after it processed transactions of the batch).
  virtual void ReceiveApplBlock(const void* block, std::size_t size);

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
};
