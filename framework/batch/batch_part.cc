// The framework's part of a module's batch part (see batch_part.h).
#include "framework/batch/batch_part.h"

#include <algorithm>
#include <cstring>

#include "framework/base/log.h"
#include "framework/io/cursor.h"
#include "framework/io/data_file.h"
#include "framework/io/record.h"
#include "framework/types/ts_choice.h"
#include "framework/ui/raw_record.h"

namespace {

void Put16(unsigned char* p, std::size_t at, int v) {
  const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
  p[at] = static_cast<unsigned char>(u & 0xFF);
  p[at + 1] = static_cast<unsigned char>(u >> 8);
}

int Get16(const unsigned char* p, std::size_t at) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[at] | (p[at + 1] << 8)));
}

}  // namespace

zzBatchPart::zzBatchPart(std::string module_code) : module_code_(std::move(module_code)) {}
zzBatchPart::~zzBatchPart() = default;

zzBatchPart::zzBatchPart(const zzBatchPart& other)
    : module_code_(other.module_code_),
      file_number_(other.file_number_),
      dest_file_number_(other.dest_file_number_),
      record_created_(other.record_created_),
      type_(other.type_),
      desc_(other.desc_),
      date_(other.date_),
      batch_id_(other.batch_id_),
      host_appl_(other.host_appl_),
      source_(other.source_),
      dp_loc_(other.dp_loc_),
      desc_column_(other.desc_column_),
      date_column_(other.date_column_),
      appl_block_(other.appl_block_) {}

zzBatchPart& zzBatchPart::operator=(const zzBatchPart& other) {
  if (this != &other) {
    module_code_ = other.module_code_;
    file_number_ = other.file_number_;
    dest_file_number_ = other.dest_file_number_;
    record_created_ = other.record_created_;
    type_ = other.type_;
    desc_ = other.desc_;
    date_ = other.date_;
    batch_id_ = other.batch_id_;
    host_appl_ = other.host_appl_;
    source_ = other.source_;
    dp_loc_ = other.dp_loc_;
    desc_column_ = other.desc_column_;
    date_column_ = other.date_column_;
    appl_block_ = other.appl_block_;
  }
  return *this;
}

void zzBatchPart::SetRecordColumns(std::string description_column, std::string date_column) {
  desc_column_ = std::move(description_column);
  date_column_ = std::move(date_column);
}

zzBatchPart* zzBatchPart::Clone() const { return new zzBatchPart(*this); }
bool zzBatchPart::NoTransactions() { return true; }
bool zzBatchPart::InBalance() { return true; }
void zzBatchPart::Balance() {}
void zzBatchPart::Init() {}
bool zzBatchPart::GetValues() { return true; }
bool zzBatchPart::PutValues() { return true; }
short zzBatchPart::BatchRecType() const { return 0; }

std::size_t zzBatchPart::FillSubStruct(unsigned char* buffer, std::size_t size) const {
  if (!buffer || size < kFrameworkSubStructSize) return kFrameworkSubStructSize;
  Put16(buffer, 0, file_number_);
  Put16(buffer, 2, dest_file_number_);
  Put16(buffer, 4, record_created_);
  Put16(buffer, 6, static_cast<int>(type_));
  std::memset(buffer + 8, 0, kDescSize);
  std::memcpy(buffer + 8, desc_.data(), std::min(desc_.size(), kDescSize - 1));
  Put16(buffer, 39, date_.Year());
  Put16(buffer, 41, date_.Month());
  Put16(buffer, 43, date_.Day());
  return kFrameworkSubStructSize;
}

bool zzBatchPart::SetPart(const unsigned char* buffer, std::size_t size) {
  if (!buffer || size < kFrameworkSubStructSize) return false;
  dest_file_number_ = static_cast<short>(Get16(buffer, 2));
  return true;
}

void zzBatchPart::InitUnitOfWork() {
  const std::size_t n = FillSubStruct(nullptr, 0);
  auto kept = std::make_unique<std::vector<unsigned char>>(n);
  FillSubStruct(kept->data(), kept->size());
  unit_ = std::move(kept);
}

bool zzBatchPart::Commit() {
  unit_.reset();
  return true;
}

void zzBatchPart::Rollback() {
  if (!unit_) return;
  std::unique_ptr<std::vector<unsigned char>> kept = std::move(unit_);
  if (!SetPart(kept->data(), kept->size())) x_log(1, "batch part " + module_code_ + ": totals not restored on rollback");
}

bool zzBatchPart::IsBatchAcceptableForComboBox() const { return true; }
bool zzBatchPart::IsBatchAcceptableForUse() const { return true; }
bool zzBatchPart::AllowAutoAsManual() const { return false; }
std::string zzBatchPart::Description() const { return ""; }

void zzBatchPart::ReceiveApplBlock(const void* block, std::size_t size) {
  if (!block) {
    appl_block_.clear();
    return;
  }
  const auto* b = static_cast<const unsigned char*>(block);
  appl_block_.assign(b, b + size);
}

bool zzBatchPart::_TranExists(short record_type, short index, std::string_view columns,
                              tsioStatus::Status* status) const {
  auto answer = [status](tsioStatus::Status st, bool exists) {
    if (status) *status = st;
    return exists;
  };
  const tsioDataFile* file = tsioDataFile::ByNumber(file_number_);
  if (!file || !file->IsOpen()) return answer(tsioStatus::kFileNotOpen, true);
  tsRawRecord rec(*file, record_type);
  const std::vector<std::string> names = tsSplitNames(columns, ';');
  if (!rec.Def() || names.size() != 4) return answer(tsioStatus::kInvalidOperation, true);
  const tsAlpha appl(host_appl_);
  const tsChoice source(source_);
  const tsData* values[4] = {&appl, &batch_id_, &source, &dp_loc_};
  for (size_t i = 0; i < 4; ++i) {
    if (!rec.Set(names[i], *values[i])) return answer(tsioStatus::kInvalidOperation, true);
  }
  tsioCursor cur(rec, *file, record_type, index);
  for (const auto& n : names) cur.AttachCondition(static_cast<short>(rec.Def()->FieldIndex(n) + 1), true, false, 1);
  const tsioStatus::Status st = cur.FetchFirst();
  if (st == tsioStatus::kSuccess) return answer(st, true);
  if (st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound) return answer(tsioStatus::kSuccess, false);
  x_log(1, "batch part " + module_code_ + ": cannot tell whether batch " + batch_id_.str() +
               " holds records of type " + std::to_string(record_type) + " (status " + std::to_string(st) + ")");
  return answer(st, true);
}
