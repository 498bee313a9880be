// _zzBatch and zzBatch: the current batch of a program.
//
// _zzBatch is what names and describes a batch, as the batch framework and
// its dialogs exchange it: host application (the application whose batch it
// is, "BK"), batch id, batch source, data-processing location, type,
// description and date.
//
// zzBatch adds the parts of the modules that write into the batch
// (zzBatchPart, batch_part.h), at most one per module code, owned by the
// batch, and the reading and writing of each module's batch record:
//   - a module's batch record is the record of type part->BatchRecType() in
//     the file whose open handle has number part->FileNumber(); its key
//     (index 0) columns are the batch's host application, batch id, source
//     and location, in this order;
//   - ReadInfo fetches it and has the part read its totals (GetValues);
//   - OpenInfo does that, or creates the record when it is missing (key,
//     description and date in the part's record columns, the part's totals
//     through PutValues) and sets the part's RecordCreated;
//   - UpdateInfo fetches it with a record lock, has the part put its totals
//     into it (PutValues), writes it, releases the lock and has the part read
//     back what was written (GetValues); it creates a missing record as
//     OpenInfo does. Nothing waits: a record another program holds locked
//     makes UpdateInfo answer false with the record untouched.
// A write made while the program has a unit of work open belongs to that
// unit (framework/io/rollback_stack.h). InitUnitOfWork, Commit and Rollback
// pass the unit's ends on to every part, so the parts' totals follow it.
//
// Batch definition block (FillBatchStruct), 168 bytes, handed to other
// modules (the general ledger's update). Little-endian; texts NUL-terminated
// and cut to their width less one:
//   0    host application, 5 bytes     5   batch id, 11 bytes
//   16   batch source (16-bit)         18  batch type (16-bit)
//   20, 22, 24  year, month, day of the batch date (16-bit each)
//   26   task command ID (16-bit)      28  description, 31 bytes
//   59 .. 159  zero
//   160  address of the application block (8 bytes)
// FillBatchStruct writes the batch's own fields, zeroes the rest, and keeps
// the task command ID and the application block address as the caller set
// them (the caller owns those two).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"
#include "framework/batch/batch_part.h"
#include "framework/batch/batch_type.h"
#include "framework/io/io_status.h"
#include "framework/types/ts_alpha.h"
#include "framework/types/ts_date.h"

class TS_EXPORT _zzBatch {
 public:
  using BType = zzBatchType;

  _zzBatch() = default;
  _zzBatch(std::string host_appl, const tsAlpha& batch_id, short source, BType type = BType::kManual)
      : host_appl_(std::move(host_appl)), batch_id_(batch_id), source_(source), type_(type) {}
  virtual ~_zzBatch();
  _zzBatch(const _zzBatch&) = default;
  _zzBatch& operator=(const _zzBatch&) = default;

  const std::string& HostAppl() const { return host_appl_; }
  void SetHostAppl(std::string appl) { host_appl_ = std::move(appl); }
  const tsAlpha& BatchID() const { return batch_id_; }
  void SetBatchID(const tsAlpha& id) { batch_id_ = id; }
  short Source() const { return source_; }
  void SetSource(short source) { source_ = source; }
  const tsAlpha& DPLoc() const { return dp_loc_; }
  void SetDPLoc(const tsAlpha& loc) { dp_loc_ = loc; }
  BType Type() const { return type_; }
  void SetType(BType type) { type_ = type; }
  const std::string& Desc() const { return desc_; }
  void SetDesc(std::string desc) { desc_ = std::move(desc); }
  const tsDate& Date() const { return date_; }
  void SetDate(const tsDate& date) { date_ = date; }

 private:
  std::string host_appl_;
  tsAlpha batch_id_;
  short source_ = 0;
  tsAlpha dp_loc_;
  BType type_ = BType::kNoBatch;
  std::string desc_;
  tsDate date_;
};

class TS_EXPORT zzBatch : public _zzBatch {
 public:
  static constexpr std::size_t kBatchDefSize = 168;
  static constexpr std::size_t kCommandIDOffset = 26;
  static constexpr std::size_t kApplBlockOffset = 160;

  zzBatch() = default;
  zzBatch(std::string host_appl, const tsAlpha& batch_id, short source, BType type = BType::kManual);
  // Copies clone the parts.
  zzBatch(const zzBatch& other);
  zzBatch& operator=(const zzBatch& other);
  ~zzBatch() override;

  // Adds a module's part (the batch owns it), replacing the part that module
  // had; the part takes the batch's identity (host application, batch id,
  // source, location), type, description and date. Returns it.
  zzBatchPart* AddPart(std::unique_ptr<zzBatchPart> part);
  // The part of the module with that code, nullptr when none.
  zzBatchPart* ApplPart(std::string_view module_code) const;
  std::size_t PartCount() const { return parts_.size(); }
  // Gives every part the batch's identity, type, description and date again
  // (after the batch was changed, e.g. by its dialog).
  void SyncParts();

  // Module batch records (see the file comment). Statuses are the file's;
  // 1 when the batch has no part for the module or the part refuses.
  [[nodiscard]] tsioStatus::Status ReadInfo(std::string_view module_code);
  [[nodiscard]] tsioStatus::Status OpenInfo(std::string_view module_code);
  [[nodiscard]] bool UpdateInfo(std::string_view module_code);
  // Queues the read UpdateInfo makes first (the module's record, without a
  // lock) to go with the program's next request to a server (inside a unit:
  // see framework/io/command_reads.h); nothing on an embedded file.
  void PrefetchInfo(std::string_view module_code);

  void InitUnitOfWork();
  bool Commit();
  void Rollback();

  // Fills a batch definition block of kBatchDefSize bytes (see above).
  void FillBatchStruct(void* batch_def) const;

 private:
  tsioStatus::Status WriteInfo(zzBatchPart& part);
  std::vector<std::unique_ptr<zzBatchPart>> parts_;
};
