// Notes and file links of records.
#include "framework/io/attachments.h"

#include "framework/io/faults.h"

namespace {
enum Kind : int { kNote = 0, kLink = 1 };

std::string Table(const tsioDataFile& f) {
  return "\"" + tsioCompany::NotesTableName(f.Spec().Code(), f.Spec().Instance()) + "\"";
}
}  // namespace

tsioAttachments::tsioAttachments(const tsioDataFile& file, short record_type) : file_(&file), record_type_(record_type) {}

tsioStatus::Status tsioAttachments::Fetch(const tsioCursor& cursor) {
  if (!cursor.State().positioned) return tsioStatus::kNoCurrentRecord;
  return Fetch(cursor.CurrentKeyText());
}

void tsioAttachments::Prefetch(const std::string& key_text) const {
  if (!file_->IsOpen() || file_->Company().Db().ReadsPagesItself()) return;
  tsioStatus::Status st = tsioStatus::kSuccess;
  auto* q = file_->Company().Db().Prepare(
      "SELECT kind, body FROM " + Table(*file_) + " WHERE rt = ?1 AND rkey = ?2 ORDER BY seq", &st);
  if (!q) return;
  q->BindInt(1, record_type_);
  q->Bind(2, tsCell::Text(key_text));
  file_->Company().Db().Prefetch(*q);
}

tsioStatus::Status tsioAttachments::Fetch(const std::string& key_text) {
  notes_.clear();
  links_.clear();
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (tsioFaults::Hit(tsioOp::kAttachmentsRead, &st)) return st;
  if (!file_->IsOpen()) return tsioStatus::kFileNotOpen;
  auto* q = file_->Company().Db().Prepare(
      "SELECT kind, body FROM " + Table(*file_) + " WHERE rt = ?1 AND rkey = ?2 ORDER BY seq", &st);
  if (!q) return st;
  q->BindInt(1, record_type_);
  q->Bind(2, tsCell::Text(key_text));
  short r;
  tsCell body;
  while ((r = q->Step()) == tsioBackendStatement::kRow) {
    q->Column(1, true, body);
    (q->ColumnInt(0) == kNote ? notes_ : links_).push_back(body.s);
  }
  q->Reset();
  return r == tsioBackendStatement::kDone ? tsioStatus::kSuccess : static_cast<tsioStatus::Status>(r);
}

tsioStatus::Status tsioAttachments::Remove(const std::string& key_text) {
  tsioStatus::Status st = tsioStatus::kSuccess;
  auto* q = file_->Company().Db().Prepare("DELETE FROM " + Table(*file_) + " WHERE rt = ?1 AND rkey = ?2", &st);
  if (!q) return st;
  q->BindInt(1, record_type_);
  q->Bind(2, tsCell::Text(key_text));
  short r = q->Step();
  q->Reset();
  file_->Company().NoteWrite(Table(*file_));
  return r == tsioBackendStatement::kDone ? tsioStatus::kSuccess : static_cast<tsioStatus::Status>(r);
}

tsioStatus::Status tsioAttachments::Write(const tsioCursor& target, bool append) {
  if (!target.State().positioned) return tsioStatus::kNoCurrentRecord;
  return Write(target.CurrentKeyText(), append);
}

tsioStatus::Status tsioAttachments::Write(const std::string& key_text, bool append) {
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (tsioFaults::Hit(tsioOp::kAttachmentsWrite, &st)) return st;
  if (!file_->IsOpen()) return tsioStatus::kFileNotOpen;
  tsioBackendConnection& db = file_->Company().Db();
  int64_t seq = 0;
  if (append) {
    auto* m = db.Prepare("SELECT COALESCE(MAX(seq), 0) FROM " + Table(*file_) + " WHERE rt = ?1 AND rkey = ?2", &st);
    if (!m) return st;
    m->BindInt(1, record_type_);
    m->Bind(2, tsCell::Text(key_text));
    if (m->Step() == tsioBackendStatement::kRow) seq = m->ColumnInt(0);
    m->Reset();
  } else {
    st = Remove(key_text);
    if (st != tsioStatus::kSuccess) return st;
  }
  auto* q = db.Prepare("INSERT INTO " + Table(*file_) + "(rt, rkey, seq, kind, body) VALUES (?1, ?2, ?3, ?4, ?5)", &st);
  if (!q) return st;
  auto put = [&](int kind, const std::string& body) -> tsioStatus::Status {
    q->BindInt(1, record_type_);
    q->Bind(2, tsCell::Text(key_text));
    q->BindInt(3, ++seq);
    q->BindInt(4, kind);
    q->Bind(5, tsCell::Text(body));
    short r = q->Step();
    q->Reset();
    return r == tsioBackendStatement::kDone ? tsioStatus::kSuccess : static_cast<tsioStatus::Status>(r);
  };
  for (const auto& n : notes_) {
    if ((st = put(kNote, n)) != tsioStatus::kSuccess) return st;
  }
  for (const auto& l : links_) {
    if ((st = put(kLink, l)) != tsioStatus::kSuccess) return st;
  }
  file_->Company().NoteWrite(Table(*file_));
  return tsioStatus::kSuccess;
}
