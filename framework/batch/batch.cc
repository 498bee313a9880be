// The current batch and the reading and writing of module batch records
// (see batch.h).
#include "framework/batch/batch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "framework/base/log.h"
#include "framework/io/rollback_stack.h"
#include "framework/io/company.h"
#include "framework/io/cursor.h"
#include "framework/io/data_file.h"
#include "framework/io/lock_file.h"
#include "framework/types/ts_choice.h"
#include "framework/ui/raw_record.h"

namespace {

void Put16(unsigned char* p, std::size_t at, int v) {
  const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
  p[at] = static_cast<unsigned char>(u & 0xFF);
  p[at + 1] = static_cast<unsigned char>(u >> 8);
}

// Copies text into a field of `width` bytes: at most width - 1 characters,
// the rest zero.
void PutText(unsigned char* p, std::size_t at, std::size_t width, const std::string& text) {
  std::memset(p + at, 0, width);
  std::memcpy(p + at, text.data(), std::min(text.size(), width - 1));
}

// A cursor on one module's batch record, its key set from the part.
class BatchRecord {
 public:
  explicit BatchRecord(const zzBatchPart& part) : part_(part) {}

  tsioStatus::Status Prepare() {
    file_ = tsioDataFile::ByNumber(part_.FileNumber());
    if (!file_ || !file_->IsOpen()) return tsioStatus::kFileNotOpen;
    const short rt = part_.BatchRecType();
    if (rt <= 0) return tsioStatus::kInvalidOperation;
    rec_ = std::make_unique<tsRawRecord>(*file_, rt);
    if (!rec_->Def()) return tsioStatus::kNotFound;
    const tsioKeyDef* key = rec_->Def()->Key(0);
    if (!key || key->columns.size() < 4) return tsioStatus::kInvalidOperation;
    key_ = key->columns;
    cur_ = std::make_unique<tsioCursor>(*rec_, *file_, rt, 0);
    return SetKey() ? tsioStatus::kSuccess : tsioStatus::kValueDoesNotFit;
  }

  bool SetKey() {
    const tsAlpha appl(part_.HostAppl());
    const tsChoice source(part_.Source());
    return rec_->Set(key_[0], appl) && rec_->Set(key_[1], part_.BatchID()) && rec_->Set(key_[2], source) &&
           rec_->Set(key_[3], part_.DPLoc());
  }

  // A new record in the buffer: defaults, the key, description and date.
  tsioStatus::Status NewRecord() {
    cur_->Initialize();
    if (!SetKey()) return tsioStatus::kValueDoesNotFit;
    if (!part_.DescriptionColumn().empty() && rec_->Cell(part_.DescriptionColumn())) {
      if (!rec_->Set(part_.DescriptionColumn(), tsAlpha(part_.Desc()))) return tsioStatus::kValueDoesNotFit;
    }
    if (!part_.DateColumn().empty() && rec_->Cell(part_.DateColumn())) {
      if (!rec_->Set(part_.DateColumn(), part_.Date())) return tsioStatus::kValueDoesNotFit;
    }
    return cur_->SetBuffer();
  }

  // Fetches the record with a lock. A lock this handle held already (the
  // program keeps the batch record locked) is left as it was afterwards.
  tsioStatus::Status FetchLocked() {
    held_before_ = false;
    const tsioStatus::Status st = cur_->FetchEQ(false);
    if (st != tsioStatus::kSuccess) return st;
    held_before_ = file_->Locks().Holds(CurrentId());
    return cur_->FetchEQ(true);
  }

  void Unlock() {
    if (!held_before_) (void)cur_->Unlock(1);
  }

  // After a write: inside a unit of work the record stays locked until the
  // unit ends (no other program reads totals this unit may yet roll back);
  // otherwise the lock goes now.
  void ReleaseAfterWrite() {
    if (held_before_) return;
    const uint64_t id = CurrentId();
    if (file_->Company().InUnit()) {
      if (file_->Locks().Holds(id)) file_->HoldUntilUnitEnd(id);
    } else {
      (void)cur_->Unlock(1);
    }
  }

  tsioCursor& Cursor() { return *cur_; }
  tsioDataFile& File() { return *file_; }

 private:
  uint64_t CurrentId() const {
    return tsioLockFile::Identity(file_->Spec().Code(), file_->Spec().Instance(), part_.BatchRecType(),
                                  cur_->CurrentKeyText());
  }
  bool held_before_ = false;
  const zzBatchPart& part_;
  tsioDataFile* file_ = nullptr;
  std::unique_ptr<tsRawRecord> rec_;
  std::unique_ptr<tsioCursor> cur_;
  std::vector<std::string> key_;
};

}  // namespace

_zzBatch::~_zzBatch() = default;

zzBatch::zzBatch(std::string host_appl, const tsAlpha& batch_id, short source, BType type)
    : _zzBatch(std::move(host_appl), batch_id, source, type) {}

zzBatch::zzBatch(const zzBatch& other) : _zzBatch(other) {
  for (const auto& p : other.parts_) parts_.emplace_back(p->Clone());
}

zzBatch& zzBatch::operator=(const zzBatch& other) {
  if (this != &other) {
    std::vector<std::unique_ptr<zzBatchPart>> parts;
    for (const auto& p : other.parts_) parts.emplace_back(p->Clone());
    _zzBatch::operator=(other);
    parts_ = std::move(parts);
  }
  return *this;
}

zzBatch::~zzBatch() = default;

namespace {
void GiveIdentity(const _zzBatch& b, zzBatchPart& part) {
  part.SetBatchID(b.BatchID());
  part.SetHostAppl(b.HostAppl());
  part.SetSource(b.Source());
  part.SetDPLoc(b.DPLoc());
  part.SetType(b.Type());
  part.SetDesc(b.Desc());
  part.SetDate(b.Date());
}
}  // namespace

zzBatchPart* zzBatch::AddPart(std::unique_ptr<zzBatchPart> part) {
  if (!part) return nullptr;
  GiveIdentity(*this, *part);
  for (auto& p : parts_) {
    if (p->ModuleCode() == part->ModuleCode()) {
      p = std::move(part);
      return p.get();
    }
  }
  parts_.push_back(std::move(part));
  return parts_.back().get();
}

zzBatchPart* zzBatch::ApplPart(std::string_view module_code) const {
  for (const auto& p : parts_) {
    if (p->ModuleCode() == module_code) return p.get();
  }
  return nullptr;
}

void zzBatch::SyncParts() {
  for (auto& p : parts_) GiveIdentity(*this, *p);
}

tsioStatus::Status zzBatch::ReadInfo(std::string_view module_code) {
  zzBatchPart* part = ApplPart(module_code);
  if (!part) return tsioStatus::kInvalidOperation;
  BatchRecord r(*part);
  tsioStatus::Status st = r.Prepare();
  if (st != tsioStatus::kSuccess) return st;
  st = r.Cursor().FetchEQ(false);
  if (st != tsioStatus::kSuccess) return st;
  return part->GetValues() ? tsioStatus::kSuccess : tsioStatus::kInvalidOperation;
}

tsioStatus::Status zzBatch::OpenInfo(std::string_view module_code) {
  zzBatchPart* part = ApplPart(module_code);
  if (!part) return tsioStatus::kInvalidOperation;
  tsioStatus::Status st = ReadInfo(module_code);
  if (st == tsioStatus::kSuccess) {
    part->SetRecordCreated(0);
    return st;
  }
  if (st != tsioStatus::kNotFound) return st;
  return WriteInfo(*part);
}

bool zzBatch::UpdateInfo(std::string_view module_code) {
  zzBatchPart* part = ApplPart(module_code);
  if (!part) return false;
  const tsioStatus::Status st = WriteInfo(*part);
  if (st != tsioStatus::kSuccess) {
    x_log(1, "batch " + BatchID().str() + ": the " + std::string(module_code) + " totals were not written (status " +
                 std::to_string(st) + ")");
  }
  return st == tsioStatus::kSuccess;
}

void zzBatch::PrefetchInfo(std::string_view module_code) {
  zzBatchPart* part = ApplPart(module_code);
  if (!part) return;
  BatchRecord r(*part);
  if (r.Prepare() == tsioStatus::kSuccess) r.Cursor().PrefetchEQ();
}

tsioStatus::Status zzBatch::WriteInfo(zzBatchPart& part) {
  BatchRecord r(part);
  tsioStatus::Status st = r.Prepare();
  if (st != tsioStatus::kSuccess) return st;
  tsioCursor& cur = r.Cursor();
  // Two tries: a record another program creates between our read and our
  // insert is then updated instead.
  for (int attempt = 0; attempt < 2; ++attempt) {
    st = r.FetchLocked();
    if (st == tsioStatus::kSuccess) {
      if (!part.PutValues()) {
        r.Unlock();
        return tsioStatus::kInvalidOperation;
      }
      (void)cur.Refresh();
      st = cur.Update();
      if (st != tsioStatus::kSuccess) {
        r.Unlock();
        // The buffer holds values the file does not: read the record again.
        (void)cur.FetchEQ(false);
        return st;
      }
      r.ReleaseAfterWrite();
      return part.GetValues() ? tsioStatus::kSuccess : tsioStatus::kInvalidOperation;
    }
    if (st != tsioStatus::kNotFound) return st;
    tsioWaitingWrites waiting(r.File().Company());  // a record another program made meanwhile is read instead
    st = r.NewRecord();
    if (st == tsioStatus::kSuccess && !part.PutValues()) st = tsioStatus::kInvalidOperation;
    if (st == tsioStatus::kSuccess) {
      (void)cur.Refresh();
      st = cur.Insert();
    }
    if (st == tsioStatus::kSuccess) {
      if (r.File().Company().InUnit() && cur.Lock() == tsioStatus::kSuccess) r.ReleaseAfterWrite();
      part.SetRecordCreated(1);
      return part.GetValues() ? tsioStatus::kSuccess : tsioStatus::kInvalidOperation;
    }
    cur.Initialize();  // no record stands behind the buffer
    if (!r.SetKey()) return tsioStatus::kValueDoesNotFit;
    if (st != tsioStatus::kDuplicateKey) return st;
  }
  return st;
}

void zzBatch::InitUnitOfWork() {
  for (auto& p : parts_) p->InitUnitOfWork();
}

bool zzBatch::Commit() {
  bool ok = true;
  for (auto& p : parts_) ok = p->Commit() && ok;
  return ok;
}

void zzBatch::Rollback() {
  for (auto& p : parts_) p->Rollback();
}

void zzBatch::FillBatchStruct(void* batch_def) const {
  if (!batch_def) return;
  auto* p = static_cast<unsigned char*>(batch_def);
  unsigned char command[2];
  unsigned char appl_block[8];
  std::memcpy(command, p + kCommandIDOffset, sizeof command);
  std::memcpy(appl_block, p + kApplBlockOffset, sizeof appl_block);
  std::memset(p, 0, kBatchDefSize);
  PutText(p, 0, 5, HostAppl());
  PutText(p, 5, 11, BatchID().str());
  Put16(p, 16, Source());
  Put16(p, 18, static_cast<int>(Type()));
  Put16(p, 20, Date().Year());
  Put16(p, 22, Date().Month());
  Put16(p, 24, Date().Day());
  PutText(p, 28, 31, Desc());
  std::memcpy(p + kCommandIDOffset, command, sizeof command);
  std::memcpy(p + kApplBlockOffset, appl_block, sizeof appl_block);
}
