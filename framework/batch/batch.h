// zzBatch: the current batch of a program. It names the batch (host
// application, batch id, batch source, type, description, date) and holds
// the parts of the modules that write into it (zzBatchPart), at most one per
// module code.
//
// Batch definition block (FillBatchStruct), 168 bytes, exchanged with other
// modules; little-endian, text NUL-terminated and cut to its width less one:
//   0    host application, 5 bytes     5   batch id, 11 bytes
//   16   batch source (16-bit)         18  batch type (16-bit)
//   20, 22, 24  year, month, day of the batch date (16-bit each)
//   26   task command ID (16-bit)      28  description, 31 bytes
//   160  address of the application block (8 bytes)
// FillBatchStruct writes the batch's own fields and leaves the task command
// ID and the application block address as the caller set them.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"
#include "framework/batch/batch_part.h"
#include "framework/batch/batch_type.h"
#include "framework/types/ts_alpha.h"
#include "framework/types/ts_date.h"

class TS_EXPORT zzBatch {
 public:
  using BType = zzBatchType;
  static constexpr std::size_t kBatchDefSize = 168;
  static constexpr std::size_t kCommandIDOffset = 26;
  static constexpr std::size_t kApplBlockOffset = 160;

  zzBatch() = default;
  zzBatch(std::string host_appl, const tsAlpha& batch_id, short source, BType type = BType::kManual);
  // Copies clone the parts.
  zzBatch(const zzBatch& other);
  zzBatch& operator=(const zzBatch& other);
  ~zzBatch();

  const std::string& HostAppl() const { return host_appl_; }
  void SetHostAppl(std::string appl) { host_appl_ = std::move(appl); }
  const tsAlpha& BatchID() const { return batch_id_; }
  void SetBatchID(const tsAlpha& id) { batch_id_ = id; }
  short Source() const { return source_; }
  void SetSource(short source) { source_ = source; }
  BType Type() const { return type_; }
  void SetType(BType type) { type_ = type; }
  const std::string& Desc() const { return desc_; }
  void SetDesc(std::string desc) { desc_ = std::move(desc); }
  const tsDate& Date() const { return date_; }
  void SetDate(const tsDate& date) { date_ = date; }

  // Adds a module's part (the batch owns it), replacing the part that module
  // had; the part takes the batch's id and host application. Returns it.
  zzBatchPart* AddPart(std::unique_ptr<zzBatchPart> part);
  // The part of the module with that code, nullptr when none.
  zzBatchPart* ApplPart(std::string_view module_code) const;
  std::size_t PartCount() const { return parts_.size(); }

  // Writes the module's totals to its batch record (the part's PutValues);
  // false when the batch has no part for that module or the write failed.
  [[nodiscard]] bool UpdateInfo(std::string_view module_code);

  // Fills a batch definition block of kBatchDefSize bytes (see above).
  void FillBatchStruct(void* batch_def) const;

 private:
  std::string host_appl_;
  tsAlpha batch_id_;
  short source_ = 0;
  BType type_ = BType::kNoBatch;
  std::string desc_;
  tsDate date_;
  std::vector<std::unique_ptr<zzBatchPart>> parts_;
};
