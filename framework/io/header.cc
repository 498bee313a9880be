// Header records (see header.h).
#include "framework/io/header.h"

#include "framework/base/log.h"
#include "framework/io/faults.h"
#include "framework/io/lock_failure.h"

namespace {
bool IsText(tsDataType t) { return t == tsDataType::kAlpha || t == tsDataType::kText || t == tsDataType::kPhone; }
}  // namespace

tsioHeader::tsioHeader(const tsioDataFile& file, short number) : file_(&file), number_(number) {
  if (file.Def()) def_ = file.Def()->Header(number);
  lock_id_ = tsioLockFile::Identity(file.Spec().Code(), file.Spec().Instance(), static_cast<short>(-number), "");
}

tsioHeader::~tsioHeader() { Unlock(); }

tsioStatus::Status tsioHeader::AttachColumn(const std::string& name, tsData& field) {
  int col = def_ ? def_->FieldIndex(name) : -1;
  if (col < 0) return tsioStatus::kNotFound;
  attached_.push_back(Attached{col, &field});
  return tsioStatus::kSuccess;
}

bool tsioHeader::HoldsLock() const { return locked_; }

void tsioHeader::Unlock() {
  // A lock the handle keeps for an open unit of work is the unit's, not ours.
  if (locked_ && file_->IsOpen() && !file_->HeldUntilUnitEnd(lock_id_)) file_->Locks().Unlock(lock_id_);
  locked_ = false;
}

std::string tsioHeader::SelectSql() const {
  std::string sql = "SELECT ";
  for (size_t i = 0; i < def_->fields.size(); ++i) sql += (i ? "," : "") + ("\"" + def_->fields[i].name + "\"");
  sql += " FROM \"" + tsioCompany::HeaderTableName(file_->Spec().Code(), file_->Spec().Instance(), number_) +
         "\" WHERE hdr = ?";
  return sql;
}

void tsioHeader::Prefetch() const {
  if (!file_->IsOpen() || !def_ || file_->Company().Db().ReadsPagesItself()) return;
  tsioStatus::Status st;
  tsioBackendStatement* q = file_->Company().Db().Prepare(SelectSql(), &st);
  if (!q) return;
  q->BindInt(1, number_);
  file_->Company().Db().Prefetch(*q);
}

tsioStatus::Status tsioHeader::Get(bool lock) {
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (tsioFaults::Hit(tsioOp::kHeaderRead, &st)) return st;
  if (!file_->IsOpen()) return tsioStatus::kFileNotOpen;
  if (!def_) return tsioStatus::kNotFound;
  const std::string sql = SelectSql();
  tsioCompany& company = file_->Company();
  tsioBackendStatement* q = company.Db().Prepare(sql, &st);
  const tsioStatus::Status prepared = st;
  if (q) q->BindInt(1, number_);
  short r = tsioBackendStatement::kDone;
  bool stepped = false;
  if (lock && !locked_) {
    // The lock and the read go together when the lock is free (one request
    // to a server); else the lock is waited for and the header read after.
    st = q ? file_->Locks().LockThenStep(lock_id_, *q, &r) : file_->Locks().Lock(lock_id_);
    stepped = q && st == tsioStatus::kSuccess;
    if (q && !stepped) q->Reset();
    if (st == tsioStatus::kLocked) st = file_->Locks().LockWait(lock_id_, kHeaderLockWaitMs);
    if (st == tsioStatus::kLockUnavailable) return tsioLocksUnavailable(*file_, "a header lock");
    if (st != tsioStatus::kSuccess) return st;
    locked_ = true;
    if (!q) st = prepared;
  }
  if (q) {
    if (!stepped) r = q->Step();
    if (r == tsioBackendStatement::kRow) {
      tsCell c;
      for (const auto& a : attached_) {
        const tsioFieldDef& f = def_->fields[static_cast<size_t>(a.col)];
        q->Column(a.col, IsText(f.type), c);
        (void)a.field->FromCell(c, f.decimals);
      }
      st = tsioStatus::kSuccess;
    } else {
      st = r == tsioBackendStatement::kDone ? tsioStatus::kNotFound : static_cast<tsioStatus::Status>(r);
    }
    q->Reset();
  }
  if (st != tsioStatus::kSuccess) {
    company.LogFailure("read header " + std::to_string(number_) + " of " + file_->Spec().Name(), st);
    if (lock) Unlock();
  }
  return st;
}

tsioStatus::Status tsioHeader::Update() {
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (tsioFaults::Hit(tsioOp::kHeaderWrite, &st)) {
    Unlock();
    return st;
  }
  if (!file_->IsOpen()) return tsioStatus::kFileNotOpen;
  if (!def_) return tsioStatus::kNotFound;
  // Another program holding the header lock owns the right to write it.
  if (!file_->Locks().IsOpen()) return tsioLocksUnavailable(*file_, "a header update");
  if (!locked_ && file_->Locks().TestOther(lock_id_) == tsioStatus::kLocked) return tsioStatus::kLocked;
  std::vector<tsCell> cells(attached_.size());
  for (size_t i = 0; i < attached_.size(); ++i) {
    const tsioFieldDef& f = def_->fields[static_cast<size_t>(attached_[i].col)];
    if (!attached_[i].field->ToCell(cells[i], f.decimals)) {
      x_log(0, "header " + std::to_string(number_) + " of " + file_->Spec().Name() + ": value of " + f.name +
                   " does not fit its column; nothing written");
      Unlock();
      return tsioStatus::kValueDoesNotFit;
    }
    cells[i].is_text = IsText(f.type);
  }
  tsioCompany& company = file_->Company();
  if (!attached_.empty()) {
    std::string sql = "UPDATE \"" + tsioCompany::HeaderTableName(file_->Spec().Code(), file_->Spec().Instance(), number_) +
                      "\" SET ";
    for (size_t i = 0; i < attached_.size(); ++i) {
      sql += (i ? "," : "") + ("\"" + def_->fields[static_cast<size_t>(attached_[i].col)].name + "\"=?");
    }
    sql += " WHERE hdr = ?";
    tsioBackendStatement* q = company.Db().Prepare(sql, &st);
    if (q) {
      for (size_t i = 0; i < cells.size(); ++i) q->Bind(static_cast<int>(i + 1), cells[i]);
      q->BindInt(static_cast<int>(cells.size() + 1), number_);
      short r = q->Step();
      q->Reset();
      company.NoteWrite();
      st = r == tsioBackendStatement::kDone ? tsioStatus::kSuccess : static_cast<tsioStatus::Status>(r);
    }
  }
  if (st != tsioStatus::kSuccess) {
    company.LogFailure("write header " + std::to_string(number_) + " of " + file_->Spec().Name(), st);
    Unlock();
    return st;
  }
  if (locked_ && company.InUnit()) {
    // The write commits with the unit: keep others out until then.
    file_->HoldUntilUnitEnd(lock_id_);
    locked_ = false;
  } else {
    Unlock();
  }
  return tsioStatus::kSuccess;
}
