// ISAM cursors over SQLite tables (see cursor.h).
#include "framework/io/cursor.h"
#include "framework/io/value_fit.h"

#include <time.h>

#include <algorithm>

#include "framework/base/log.h"
#include "framework/io/attachments.h"
#include "framework/io/counters.h"
#include "framework/io/faults.h"
#include "framework/io/lock_failure.h"
#include "framework/io/rollback_stack.h"

namespace {
thread_local std::string g_not_fitting;
}  // namespace

void tsioNoteValueNotFitting(const std::string& record, const std::string& column) {
  g_not_fitting = (record.empty() ? "" : record + ", ") + "column " + column;
}

std::string tsioLastValueNotFitting() { return g_not_fitting; }

namespace {

// Rows served from one read-ahead batch stay fresh this long; after that the
// next fetch reads the file again, so other programs' commits show up.
constexpr int64_t kReadAheadFreshUs = 100000;

int64_t NowUs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

bool IsText(tsDataType t) { return t == tsDataType::kAlpha || t == tsDataType::kText || t == tsDataType::kPhone; }

bool IsNumber(tsDataType t) {
  return t == tsDataType::kDouble || t == tsDataType::kCurrency || t == tsDataType::kNum;
}

std::string Q(const std::string& n) { return "\"" + n + "\""; }

// Whether a cell fits its column's declared width.
// Text widths count characters (UTF-8: every byte that does not continue a
// character), so "Café" fits a column of 4.
bool Fits(const tsioFieldDef& f, const tsCell& c) {
  if (f.width <= 0) return true;
  if (IsText(f.type)) {
    if (static_cast<int>(c.s.size()) <= f.width) return true;
    int chars = 0;
    for (unsigned char b : c.s) chars += (b & 0xC0) != 0x80;
    return chars <= f.width;
  }
  if (IsNumber(f.type) && f.width < 19) {
    int64_t limit = 1;
    for (int i = 0; i < f.width; ++i) limit *= 10;
    return c.i < limit && c.i > -limit;
  }
  return true;
}

// Rows a server is asked for at least, by a walk or a positioning fetch.
constexpr int kServerBatch = 64;

// Size of the next read-ahead batch after `streak` sequential fetches.
int BatchSize(int streak) {
  static const int sizes[] = {1, 4, 16, 64, 256};
  return sizes[std::min(streak, 4)];
}

}  // namespace

tsioCursor::tsioCursor(ccRecData& record, const tsioDataFile& file, short record_type, short index)
    : record_(&record), file_(&file), record_type_(record_type), index_(index) {
  state_ = file.State(record_type);
  if (!state_) {
    x_log(0, "cursor on " + file.Spec().Name() + " record type " + std::to_string(record_type) +
                 ": no such record type");
    return;
  }
  const tsioRecordDef& def = *state_->def;
  auto cols_of = [&def](const std::vector<std::string>& names) {
    std::vector<int> v;
    for (const auto& n : names) {
      int c = def.FieldIndex(n);
      if (c >= 0) v.push_back(c);
    }
    return v;
  };
  const tsioKeyDef* k0 = def.Key(0);
  key_ = k0 ? cols_of(k0->columns) : std::vector<int>{};
  const tsioKeyDef* ki = def.Key(index);
  if (!ki) {
    x_log(0, "cursor on " + file.Spec().Name() + " record type " + std::to_string(record_type) + ": no index " +
                 std::to_string(index) + ", using the key");
    ki = k0;
    index_ = 0;
  }
  declared_ = ki ? cols_of(ki->columns) : key_;
  order_ = declared_;
  if (!ki || !ki->unique || index_ == 0) {
    for (int c : key_) {
      if (std::find(order_.begin(), order_.end(), c) == order_.end()) order_.push_back(c);
    }
  }
  Bind();
}

tsioCursor::~tsioCursor() = default;

void tsioCursor::Bind() {
  bindings_.clear();
  select_.clear();
  if (!state_) return;
  const tsioRecordDef& def = *state_->def;
  for (const auto& c : record_->Columns()) {
    int col = def.FieldIndex(c.name);
    if (col >= 0) bindings_.push_back(Binding{col, c.field});
  }
  auto add = [this](int c) {
    if (std::find(select_.begin(), select_.end(), c) == select_.end()) select_.push_back(c);
  };
  for (const auto& b : bindings_) add(b.col);
  for (int c : order_) add(c);
  for (int c : key_) add(c);
  bound_by_col_.assign(def.fields.size(), nullptr);
  for (const auto& b : bindings_) bound_by_col_[static_cast<size_t>(b.col)] = b.field;
  select_pos_.assign(def.fields.size(), -1);
  for (size_t i = 0; i < select_.size(); ++i) select_pos_[static_cast<size_t>(select_[i])] = static_cast<int>(i);
  all_.resize(def.fields.size());
  for (size_t i = 0; i < all_.size(); ++i) all_[i] = static_cast<int>(i);
  search_.assign(def.fields.size(), tsCell());
  prepared_.clear();
}

void tsioCursor::AttachColumn(const std::string& name, tsData& field) {
  record_->AddColumn(name, &field);
  Bind();
}

std::string tsioCursor::KeyText(const std::vector<tsCell>& row) const {
  std::string k;
  for (size_t i = 0; i < key_.size(); ++i) {
    if (i) k.push_back('\x1f');
    const tsCell& c = row[static_cast<size_t>(key_[i])];
    k += c.is_text ? c.s : std::to_string(c.i);
  }
  return k;
}

std::string tsioCursor::CurrentKeyText() const { return state_ ? KeyText(state_->buffer) : std::string(); }

uint64_t tsioCursor::LockId(const std::vector<tsCell>& row) const {
  return tsioLockFile::Identity(file_->Spec().Code(), file_->Spec().Instance(), record_type_, KeyText(row));
}

tsioStatus::Status tsioCursor::CellsFromRecord(std::vector<tsCell>& row, std::vector<uint8_t>* set) const {
  const tsioRecordDef& def = *state_->def;
  for (const auto& b : bindings_) {
    const tsioFieldDef& f = def.fields[static_cast<size_t>(b.col)];
    tsCell& c = row[static_cast<size_t>(b.col)];
    if (!b.field->ToCell(c, f.decimals)) {
      tsioNoteValueNotFitting(def.description, f.name);
      return tsioStatus::kValueDoesNotFit;
    }
    c.is_text = IsText(f.type);
    if (set) (*set)[static_cast<size_t>(b.col)] = 1;
  }
  return tsioStatus::kSuccess;
}

void tsioCursor::NoteLockedRead(uint64_t id) {
  tsioRecordState& s = *state_;
  s.locked_read_seq = s.pos_seq;
  s.locked_read_since = file_->Locks().HeldSince(id);
  s.locked_read_writes = file_->Company().WritesTo(s.table);
}

bool tsioCursor::StillAsReadLocked(const std::vector<tsCell>& row, uint64_t since, uint64_t writes) const {
  return since != 0 && file_->IsOpen() && file_->Locks().HeldSince(LockId(row)) == since &&
         file_->Company().WritesTo(state_->table) == writes;
}

void tsioCursor::CopyRowToRecord(const std::vector<tsCell>& row) {
  const tsioRecordDef& def = *state_->def;
  for (const auto& b : bindings_) {
    (void)b.field->FromCell(row[static_cast<size_t>(b.col)], def.fields[static_cast<size_t>(b.col)].decimals);
  }
}

std::atomic<uint64_t> tsioCounters::fetch_queries_{0};
std::atomic<uint64_t> tsioCounters::rows_read_{0};

tsioStatus::Status tsioCursor::ReadFullRow(const std::vector<tsCell>& key_source, std::vector<tsCell>& row) {
  tsioStatus::Status st;
  tsioBackendStatement* q = FullRowQuery(key_source, &st);
  if (!q) return st;
  return FullRowAnswer(*q, q->Step(), row);
}

tsioBackendStatement* tsioCursor::FullRowQuery(const std::vector<tsCell>& key_source, tsioStatus::Status* st) {
  const tsioRecordDef& def = *state_->def;
  std::string sql = "SELECT ";
  for (size_t i = 0; i < def.fields.size(); ++i) sql += (i ? "," : "") + Q(def.fields[i].name);
  sql += " FROM " + state_->table + " WHERE ";
  for (size_t i = 0; i < key_.size(); ++i) {
    sql += (i ? " AND " : "") + Q(def.fields[static_cast<size_t>(key_[i])].name) + "=?" + std::to_string(i + 1);
  }
  tsioBackendStatement* q = file_->Company().Db().Prepare(sql, st);
  if (!q) return nullptr;
  for (size_t i = 0; i < key_.size(); ++i) q->Bind(static_cast<int>(i + 1), key_source[static_cast<size_t>(key_[i])]);
  return q;
}

void tsioCursor::PrefetchEQ() {
  if (!state_ || !file_->IsOpen()) return;
  tsioBackendConnection& db = file_->Company().Db();
  if (db.ReadsPagesItself()) return;
  // Another index than the whole key: the shaped statement.
  if (declared_ != key_ || !range_.empty() || !conditions_.empty()) return PrefetchShaped(Seek::kEQ);
  std::vector<tsCell> wanted;
  if (!KeyCells(wanted)) return;
  tsioStatus::Status st;
  if (tsioBackendStatement* q = FullRowQuery(wanted, &st)) db.Prefetch(*q);
}

void tsioCursor::PrefetchLockedEQ() {
  if (!state_ || !file_->IsOpen() || file_->Company().Db().ReadsPagesItself()) return;
  // Only the fetch that sends its lock and read together (DoFetch).
  if (declared_ != key_ || !range_.empty() || !conditions_.empty()) return;
  std::vector<tsCell> wanted;
  if (!KeyCells(wanted)) return;
  const uint64_t id = LockId(wanted);
  tsioStatus::Status st;
  if (tsioBackendStatement* q = FullRowQuery(wanted, &st)) file_->Locks().PrefetchLockThenStep(id, *q);
}

void tsioCursor::PrefetchGE() { PrefetchShaped(Seek::kGE); }

void tsioCursor::PrefetchFirst() { PrefetchShaped(Seek::kFirst); }

bool tsioCursor::KeyCells(std::vector<tsCell>& wanted) const {
  const tsioRecordDef& def = *state_->def;
  wanted = state_->buffer;
  for (int c : key_) {
    tsData* f = bound_by_col_[static_cast<size_t>(c)];
    if (!f) continue;
    const tsioFieldDef& fd = def.fields[static_cast<size_t>(c)];
    tsCell& cell = wanted[static_cast<size_t>(c)];
    if (!f->ToCell(cell, fd.decimals)) return false;
    cell.is_text = IsText(fd.type);
  }
  return true;
}

std::string tsioCursor::RecordKeyText() const {
  if (!state_) return std::string();
  std::vector<tsCell> wanted;
  if (!KeyCells(wanted)) return std::string();
  return KeyText(wanted);
}

void tsioCursor::PrefetchShaped(Seek seek, bool lock, const std::vector<Filter>& extra) {
  if (!state_ || !file_->IsOpen()) return;
  tsioCompany& company = file_->Company();
  if (company.Db().ReadsPagesItself()) return;
  const tsioRecordDef& def = *state_->def;
  // The statement, parameters and batch DoFetch(seek, lock, extra) sends
  // first (a locked fetch finds its record unlocked, one row, then locks
  // it): an EQ fetch reads whole records there.
  std::vector<Filter> filters = range_;
  filters.insert(filters.end(), extra.begin(), extra.end());
  const bool keyed = seek == Seek::kEQ || seek == Seek::kGE || seek == Seek::kGT;
  std::string shape(1, static_cast<char>('A' + static_cast<int>(seek)));
  for (const auto& f : filters) shape += (f.equal ? "=" : "!") + std::to_string(f.col);
  for (const auto& c : conditions_) shape += (c.equal ? "c=" : "c!") + std::to_string(c.col);
  if (conditions_or_) shape += "|";
  const bool whole = seek == Seek::kEQ;
  if (whole) shape += "*";
  std::vector<tsCell> from;
  for (int c : !keyed ? std::vector<int>() : whole ? declared_ : order_) {
    tsData* f = bound_by_col_[static_cast<size_t>(c)];
    from.push_back(state_->buffer[static_cast<size_t>(c)]);
    if (!f) continue;
    const tsioFieldDef& fd = def.fields[static_cast<size_t>(c)];
    if (!f->ToCell(from.back(), fd.decimals)) return;
    from.back().is_text = IsText(fd.type);
  }
  if (prepared_generation_ != 0 && prepared_generation_ != reinterpret_cast<uintptr_t>(&company)) prepared_.clear();
  prepared_generation_ = reinterpret_cast<uintptr_t>(&company);
  Prepared* prep = nullptr;
  for (auto& p : prepared_) {
    if (p.shape == shape) prep = &p;
  }
  if (!prep) {
    prepared_.push_back(Prepared{shape, BuildFetchSql(seek, filters, whole ? all_ : select_), nullptr});
    prep = &prepared_.back();
  }
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (!prep->stmt) prep->stmt = company.Db().Prepare(prep->sql, &st);
  tsioBackendStatement* q = prep->stmt;
  if (!q) return;
  int n = 0;
  for (const tsCell& c : from) q->Bind(++n, c);
  for (const auto& f : filters) q->Bind(++n, f.value);
  for (const auto& c : conditions_) q->Bind(++n, c.value);
  q->BindInt(++n, lock ? 1 : kServerBatch);
  company.Db().Prefetch(*q);
}

tsioStatus::Status tsioCursor::FullRowAnswer(tsioBackendStatement& q_ref, short r, std::vector<tsCell>& row) {
  const tsioRecordDef& def = *state_->def;
  tsioBackendStatement* q = &q_ref;
  tsioCounters::CountFetchQuery(r == tsioBackendStatement::kRow ? 1 : 0);
  if (r == tsioBackendStatement::kRow) {
    row.resize(def.fields.size());
    for (size_t i = 0; i < def.fields.size(); ++i) q->Column(static_cast<int>(i), IsText(def.fields[i].type), row[i]);
    q->Reset();
    return tsioStatus::kSuccess;
  }
  q->Reset();
  return r == tsioBackendStatement::kDone ? tsioStatus::kNotFound : static_cast<tsioStatus::Status>(r);
}

tsioStatus::Status tsioCursor::DoFetch(Seek seek, bool lock, const std::vector<Filter>& extra, bool copy_to_record) {
  if (!state_) return tsioStatus::kInvalidOperation;
  if (!file_->IsOpen()) return tsioStatus::kFileNotOpen;
  ++state_->fetches;
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (tsioFaults::Hit(tsioOp::kFetch, &st)) return st;
  if (lock && tsioFaults::Hit(tsioOp::kLock, &st)) return st;
  tsioRecordState& s = *state_;
  const tsioRecordDef& def = *s.def;
  tsioCompany& company = file_->Company();

  bool sequential = seek == Seek::kNext || seek == Seek::kPrev;
  if ((seek == Seek::kNext || seek == Seek::kPrev || seek == Seek::kCurrent) && !s.positioned) {
    if (seek == Seek::kCurrent) return tsioStatus::kNoCurrentRecord;
    seek = seek == Seek::kNext ? Seek::kFirst : Seek::kLast;
    sequential = false;
  }

  // The values the query searches from.
  // A keyed fetch searches from the cursor's bound fields, and from the
  // buffer for the index columns the cursor does not bind.
  const bool keyed = seek == Seek::kEQ || seek == Seek::kGE || seek == Seek::kGT;
  auto value_of = [&](int c) -> const tsCell* {
    if (keyed && bound_by_col_[static_cast<size_t>(c)]) return &search_[static_cast<size_t>(c)];
    return &s.buffer[static_cast<size_t>(c)];
  };
  if (keyed) {
    for (int c : seek == Seek::kEQ ? declared_ : order_) {
      tsData* f = bound_by_col_[static_cast<size_t>(c)];
      if (!f) continue;
      const tsioFieldDef& fd = def.fields[static_cast<size_t>(c)];
      tsCell& cell = search_[static_cast<size_t>(c)];
      if (!f->ToCell(cell, fd.decimals)) return tsioStatus::kValueDoesNotFit;
      cell.is_text = IsText(fd.type);
    }
  }

  // The statement's shape: fetch kind and filter columns. Its SQL is built
  // once per cursor and shape.
  std::vector<Filter> filters = range_;
  filters.insert(filters.end(), extra.begin(), extra.end());
  std::string shape(1, static_cast<char>('A' + static_cast<int>(seek)));
  for (const auto& f : filters) shape += (f.equal ? "=" : "!") + std::to_string(f.col);
  for (const auto& c : conditions_) shape += (c.equal ? "c=" : "c!") + std::to_string(c.col);
  if (conditions_or_) shape += "|";
  // On a server an EQ fetch reads whole records: every cursor's EQ fetch of
  // the same values is then the same read, which the backend answers again
  // from what it kept (a probe for a record, then the record).
  const bool server = !company.Db().ReadsPagesItself();
  const bool whole = server && seek == Seek::kEQ;
  const std::vector<int>& sel = whole ? all_ : select_;
  const size_t follow_shape = shape.size();  // what a FetchNext after it is, less the kind
  if (whole) shape += "*";

  // Serve from the batch read ahead when nothing has moved since. Cells are
  // swapped, not copied, so their text storage is reused batch after batch.
  if (sequential && !lock && s.ahead_owner == this && (s.ahead_next < s.ahead_rows || s.ahead_end) &&
      s.ahead_shape == shape && s.ahead_gen == company.WriteGeneration() &&
      s.ahead_lock_gen == tsioLockFile::Generation() && s.ahead_pos_seq == s.pos_seq) {
    bool same = s.ahead_values.size() == filters.size() + conditions_.size();
    for (size_t i = 0; same && i < filters.size(); ++i) same = s.ahead_values[i] == filters[i].value;
    for (size_t i = 0; same && i < conditions_.size(); ++i) same = s.ahead_values[filters.size() + i] == conditions_[i].value;
    if (same && NowUs() - s.ahead_time_us >= kReadAheadFreshUs) {
      // Too old to serve: asked again (counted apart on a server, where it
      // costs a round trip the program did not mean).
      same = false;
      if (server) tsioNoteAgedAnswer();
    }
    if (same && s.ahead_next == s.ahead_rows) {
      // The batch held every row there was: the walk is at its end.
      s.streak = 0;
      return tsioStatus::kEndOfFile;
    }
    if (same) {
      const size_t width = s.ahead_cols.size();
      tsCell* row = &s.ahead[s.ahead_next++ * width];
      std::fill(s.valid.begin(), s.valid.end(), 0);
      for (size_t i = 0; i < width; ++i) {
        size_t c = static_cast<size_t>(s.ahead_cols[i]);
        std::swap(s.buffer[c], row[i]);
        s.valid[c] = 1;
      }
      s.positioned = true;
      s.ahead_pos_seq = ++s.pos_seq;
      ++s.streak;
      if (copy_to_record) CopyRowToRecord(s.buffer);
      return tsioStatus::kSuccess;
    }
  }

  // One record by its whole key, on a server: read whole by the same query
  // as a record read again (FetchCurrent) or read once it is locked, so
  // that the backend answers one from what it kept of another. Locked, the
  // lock and the read go in one request (the record is read once it is
  // ours); when another handle holds the lock, the plain path below tells a
  // missing record (13) from a locked one (9).
  if (server && seek == Seek::kEQ && declared_ == key_ && filters.empty() && conditions_.empty()) {
    std::vector<tsCell> wanted = s.buffer;
    for (int c : key_) wanted[static_cast<size_t>(c)] = *value_of(c);
    const uint64_t id = lock ? LockId(wanted) : 0;
    const bool held = lock && file_->Locks().Holds(id);
    tsioBackendStatement* q = FullRowQuery(wanted, &st);
    if (!q) return st;
    short step = tsioBackendStatement::kDone;
    st = lock ? file_->Locks().LockThenStep(id, *q, &step) : tsioStatus::kSuccess;
    if (!lock) step = q->Step();
    if (st == tsioStatus::kSuccess) {
      std::vector<tsCell> fresh;
      st = FullRowAnswer(*q, step, fresh);
      if (st != tsioStatus::kSuccess) {
        if (lock && !held) file_->Locks().Unlock(id);
        if (st != tsioStatus::kNotFound) company.LogFailure("fetch on " + file_->Spec().Name(), st);
        return st;
      }
      s.buffer = std::move(fresh);
      std::fill(s.valid.begin(), s.valid.end(), 1);
      s.positioned = true;
      ++s.pos_seq;
      if (lock) NoteLockedRead(id);
      s.DropReadAhead();
      s.streak = 0;
      if (copy_to_record) CopyRowToRecord(s.buffer);
      return tsioStatus::kSuccess;
    }
    q->Reset();
    if (st == tsioStatus::kLockUnavailable) return tsioLocksUnavailable(*file_, "a locked fetch");
    if (st != tsioStatus::kLocked) return st;
  }

  // A record read again by its key, on a server: whole, by the query a
  // locked fetch reads it again with, which the backend may answer from
  // what it kept of that read.
  if (seek == Seek::kCurrent && !lock && server && filters.empty() && conditions_.empty()) {
    std::vector<tsCell> fresh;
    st = ReadFullRow(s.buffer, fresh);
    if (st != tsioStatus::kSuccess) {
      if (st != tsioStatus::kNotFound) company.LogFailure("fetch on " + file_->Spec().Name(), st);
      return st;
    }
    s.buffer = std::move(fresh);
    std::fill(s.valid.begin(), s.valid.end(), 1);
    ++s.pos_seq;
    s.DropReadAhead();
    s.streak = 0;
    if (copy_to_record) CopyRowToRecord(s.buffer);
    return tsioStatus::kSuccess;
  }

  // Parameters in the order BuildFetchSql places them.
  std::vector<const tsCell*>& params = params_;
  params.clear();
  switch (seek) {
    case Seek::kNext:
    case Seek::kPrev:
    case Seek::kGE:
    case Seek::kGT:
      for (int c : order_) params.push_back(value_of(c));
      break;
    case Seek::kEQ:
      for (int c : declared_) params.push_back(value_of(c));
      break;
    case Seek::kCurrent:
      for (int c : key_) params.push_back(value_of(c));
      break;
    default:
      break;
  }
  for (const auto& f : filters) params.push_back(&f.value);
  for (const auto& c : conditions_) params.push_back(&c.value);

  Prepared* prep = nullptr;
  if (prepared_generation_ != 0 && prepared_generation_ != reinterpret_cast<uintptr_t>(&company)) prepared_.clear();
  prepared_generation_ = reinterpret_cast<uintptr_t>(&company);
  for (auto& p : prepared_) {
    if (p.shape == shape) {
      prep = &p;
      break;
    }
  }
  if (!prep) {
    prepared_.push_back(Prepared{shape, BuildFetchSql(seek, filters, sel), nullptr});
    prep = &prepared_.back();
  }
  if (!prep->stmt) prep->stmt = company.Db().Prepare(prep->sql, &st);
  tsioBackendStatement* q = prep->stmt;
  if (!q) {
    company.LogFailure("prepare fetch on " + file_->Spec().Name(), st);
    return st;
  }
  // On a server a round trip costs far more than a few more rows: every
  // walk starts with a batch of kServerBatch, and a positioning fetch (first,
  // last, EQ, GE, GT) reads the rows after its record too, which the
  // fetches that follow it along the index are served from.
  const bool desc = seek == Seek::kLast || seek == Seek::kPrev;
  int limit = 1;
  if (!lock && sequential) {
    limit = server ? std::max(BatchSize(s.streak), kServerBatch) : BatchSize(s.streak);
  } else if (!lock && server && seek != Seek::kCurrent) {
    limit = kServerBatch;
  }
  for (size_t i = 0; i < params.size(); ++i) q->Bind(static_cast<int>(i + 1), *params[i]);
  q->BindInt(static_cast<int>(params.size() + 1), limit);
  // The rows land in batch_, sel.size() cells per row, overwriting the
  // cells (and reusing the text storage) of earlier batches.
  const size_t width = sel.size();
  size_t n = 0;
  short r;
  while ((r = q->Step()) == tsioBackendStatement::kRow) {
    if (batch_.size() < (n + 1) * width) batch_.resize((n + 1) * width);
    tsCell* row = &batch_[n * width];
    for (size_t i = 0; i < width; ++i) {
      q->Column(static_cast<int>(i), IsText(def.fields[static_cast<size_t>(sel[i])].type), row[i]);
    }
    ++n;
  }
  q->Reset();
  tsioCounters::CountFetchQuery(n);
  if (r != tsioBackendStatement::kDone) {
    company.LogFailure("fetch on " + file_->Spec().Name(), static_cast<tsioStatus::Status>(r));
    return static_cast<tsioStatus::Status>(r);
  }
  if (n == 0) {
    if (sequential) s.streak = 0;
    return seek == Seek::kEQ || seek == Seek::kCurrent ? tsioStatus::kNotFound : tsioStatus::kEndOfFile;
  }

  uint64_t locked_id = 0;
  if (lock) {
    std::string key;
    for (size_t i = 0; i < key_.size(); ++i) {
      const size_t k = static_cast<size_t>(key_[i]);
      const tsCell& c = batch_[whole ? k : static_cast<size_t>(select_pos_[k])];
      if (i) key.push_back('\x1f');
      key += c.is_text ? c.s : std::to_string(c.i);
    }
    uint64_t id = tsioLockFile::Identity(file_->Spec().Code(), file_->Spec().Instance(), record_type_, key);
    // Read it again once it is ours (the lock and the read go together):
    // another program may have changed it between the read and the lock.
    std::vector<tsCell> found = s.buffer;
    for (size_t i = 0; i < width; ++i) found[static_cast<size_t>(sel[i])] = batch_[i];
    tsioBackendStatement* again = FullRowQuery(found, &st);
    if (!again) return st;
    short step = tsioBackendStatement::kDone;
    st = file_->Locks().LockThenStep(id, *again, &step);
    if (st != tsioStatus::kSuccess) again->Reset();
    if (st == tsioStatus::kLockUnavailable) return tsioLocksUnavailable(*file_, "a locked fetch");
    if (st != tsioStatus::kSuccess) return st;
    std::vector<tsCell> fresh;
    st = FullRowAnswer(*again, step, fresh);
    if (st != tsioStatus::kSuccess) {
      file_->Locks().Unlock(id);
      return st;
    }
    s.buffer = std::move(fresh);
    std::fill(s.valid.begin(), s.valid.end(), 1);
    locked_id = id;
  } else {
    std::fill(s.valid.begin(), s.valid.end(), 0);
    for (size_t i = 0; i < width; ++i) {
      size_t c = static_cast<size_t>(sel[i]);
      std::swap(s.buffer[c], batch_[i]);
      s.valid[c] = 1;
    }
  }
  s.positioned = true;
  ++s.pos_seq;
  if (lock) NoteLockedRead(locked_id);
  s.DropReadAhead();
  s.streak = sequential ? s.streak + 1 : 0;
  // On a server a batch that came short of its limit held every row there
  // was: a walk's next step answers the end without asking again. (Not
  // after an EQ fetch, whose rows end where its declared values do.)
  const bool to_end = server && seek != Seek::kEQ && static_cast<int>(n) < limit;
  if (n > 1 || to_end) {
    // The rows after the first become the batch read ahead, served to the
    // FetchNext (FetchPrev after a descending query) calls that follow; the
    // state's old cells become this cursor's room for its next query. An
    // EQ fetch's rows are those of its declared values, which stand
    // together in index order: the first of them that follow.
    std::swap(s.ahead, batch_);
    s.ahead_rows = n;
    s.ahead_next = 1;
    s.ahead_end = to_end;
    s.ahead_owner = this;
    s.ahead_shape = shape.substr(0, follow_shape);
    s.ahead_shape[0] = static_cast<char>('A' + static_cast<int>(desc ? Seek::kPrev : Seek::kNext));
    s.ahead_values.clear();
    for (const auto& f : filters) s.ahead_values.push_back(f.value);
    for (const auto& c : conditions_) s.ahead_values.push_back(c.value);
    s.ahead_gen = company.WriteGeneration();
    s.ahead_lock_gen = tsioLockFile::Generation();
    s.ahead_pos_seq = s.pos_seq;
    s.ahead_time_us = NowUs();
    s.ahead_cols.assign(sel.begin(), sel.end());
  }
  if (copy_to_record) CopyRowToRecord(s.buffer);
  return tsioStatus::kSuccess;
}

std::string tsioCursor::BuildFetchSql(Seek seek, const std::vector<Filter>& filters,
                                      const std::vector<int>& columns) const {
  const tsioRecordDef& def = *state_->def;
  auto name = [&def](int c) { return Q(def.fields[static_cast<size_t>(c)].name); };
  bool desc = seek == Seek::kLast || seek == Seek::kPrev;
  std::string where;
  auto add_and = [&where](const std::string& part) { where += (where.empty() ? "" : " AND ") + part; };
  auto tuple = [&](const char* op) {
    std::string l = "(", r = "(";
    for (size_t i = 0; i < order_.size(); ++i) {
      l += (i ? "," : "") + name(order_[i]);
      r += i ? ",?" : "?";
    }
    add_and(l + ") " + op + " " + r + ")");
  };
  switch (seek) {
    case Seek::kNext: tuple(">"); break;
    case Seek::kPrev: tuple("<"); break;
    case Seek::kGE: tuple(">="); break;
    case Seek::kGT: tuple(">"); break;
    case Seek::kEQ:
      for (int c : declared_) add_and(name(c) + " = ?");
      break;
    case Seek::kCurrent:
      for (int c : key_) add_and(name(c) + " = ?");
      break;
    default: break;
  }
  for (const auto& f : filters) add_and(name(f.col) + (f.equal ? " = ?" : " <> ?"));
  if (!conditions_.empty()) {
    std::string c = "(";
    for (size_t i = 0; i < conditions_.size(); ++i) {
      c += (i ? (conditions_or_ ? " OR " : " AND ") : "") + name(conditions_[i].col) +
           (conditions_[i].equal ? " = ?" : " <> ?");
    }
    add_and(c + ")");
  }
  std::string sql = "SELECT ";
  for (size_t i = 0; i < columns.size(); ++i) sql += (i ? "," : "") + name(columns[i]);
  sql += " FROM " + state_->table;
  if (!where.empty()) sql += " WHERE " + where;
  if (seek != Seek::kCurrent) {
    sql += " ORDER BY ";
    for (size_t i = 0; i < order_.size(); ++i) sql += (i ? "," : "") + name(order_[i]) + (desc ? " DESC" : "");
  }
  return sql + " LIMIT ?";
}

tsioStatus::Status tsioCursor::FetchFirst(bool lock) { return DoFetch(Seek::kFirst, lock, {}); }
tsioStatus::Status tsioCursor::FetchLast(bool lock) { return DoFetch(Seek::kLast, lock, {}); }
tsioStatus::Status tsioCursor::FetchNext(bool lock) { return DoFetch(Seek::kNext, lock, {}); }
tsioStatus::Status tsioCursor::FetchPrev(bool lock) { return DoFetch(Seek::kPrev, lock, {}); }
tsioStatus::Status tsioCursor::FetchCurrent(bool lock) { return DoFetch(Seek::kCurrent, lock, {}); }
tsioStatus::Status tsioCursor::FetchEQ(bool lock) { return DoFetch(Seek::kEQ, lock, {}); }
tsioStatus::Status tsioCursor::FetchGE(bool lock) { return DoFetch(Seek::kGE, lock, {}); }
tsioStatus::Status tsioCursor::FetchGT(bool lock) { return DoFetch(Seek::kGT, lock, {}); }
tsioStatus::Status tsioCursor::SeekEQ() { return DoFetch(Seek::kEQ, false, {}, false); }

tsioStatus::Status tsioCursor::BeginChange() {
  if (!state_) return tsioStatus::kInvalidOperation;
  if (!file_->IsOpen()) return tsioStatus::kFileNotOpen;
  // Without the lock file no change could respect other programs' locks.
  if (!file_->Locks().IsOpen()) return tsioLocksUnavailable(*file_, "a change");
  if (stack_) return stack_->EnsureBegun(file_->Company());
  return tsioStatus::kSuccess;
}

tsioStatus::Status tsioCursor::Insert(short* count) {
  if (count) *count = 0;
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (tsioFaults::Hit(tsioOp::kInsert, &st)) return st;
  if (!state_) return tsioStatus::kInvalidOperation;
  const tsioRecordDef& def = *state_->def;
  std::vector<tsCell> row(def.fields.size());
  for (size_t i = 0; i < def.fields.size(); ++i) {
    row[i] = IsText(def.fields[i].type) ? tsCell::Text("") : tsCell::Int(def.fields[i].default_value);
  }
  st = CellsFromRecord(row, nullptr);
  for (size_t i = 0; st == tsioStatus::kSuccess && i < def.fields.size(); ++i) {
    if (!Fits(def.fields[i], row[i])) {
      st = tsioStatus::kValueDoesNotFit;
      tsioNoteValueNotFitting(def.description, def.fields[i].name);
      x_log(0, "insert into " + file_->Spec().Name() + ": value of " + def.fields[i].name +
                   " does not fit its column; nothing written");
    }
  }
  if (st != tsioStatus::kSuccess) return st;
  st = BeginChange();
  if (st != tsioStatus::kSuccess) return st;
  if (insert_sql_.empty()) {  // every column, so the same text for every insert of the cursor
    std::string vals;
    insert_sql_ = "INSERT INTO " + state_->table + "(";
    for (size_t i = 0; i < def.fields.size(); ++i) {
      insert_sql_ += (i ? "," : "") + Q(def.fields[i].name);
      vals += i ? ",?" : "?";
    }
    insert_sql_ += ") VALUES (" + vals + ")";
  }
  tsioCompany& company = file_->Company();
  tsioBackendStatement* q = company.Db().Prepare(insert_sql_, &st);
  if (!q) return st;
  for (size_t i = 0; i < row.size(); ++i) q->Bind(static_cast<int>(i + 1), row[i]);
  short r = q->Step();
  q->Reset();
  company.NoteWrite(state_->table);
  if (r != tsioBackendStatement::kDone) {
    if (r != tsioStatus::kDuplicateKey) company.LogFailure("insert into " + file_->Spec().Name(), static_cast<tsioStatus::Status>(r));
    return static_cast<tsioStatus::Status>(r);
  }
  state_->buffer = std::move(row);
  std::fill(state_->valid.begin(), state_->valid.end(), 1);
  state_->positioned = true;
  ++state_->pos_seq;
  if (count) *count = 1;
  return tsioStatus::kSuccess;
}

tsioStatus::Status tsioCursor::InsertMovedRecord(short* count) { return Insert(count); }

tsioStatus::Status tsioCursor::Update(short* count, short) {
  if (count) *count = 0;
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (tsioFaults::Hit(tsioOp::kUpdate, &st)) return st;
  if (!state_) return tsioStatus::kInvalidOperation;
  if (!state_->positioned) return tsioStatus::kNoCurrentRecord;
  const tsioRecordDef& def = *state_->def;
  std::vector<tsCell> row = state_->buffer;
  std::vector<uint8_t> set(def.fields.size(), 0);
  st = CellsFromRecord(row, &set);
  if (st != tsioStatus::kSuccess) return st;
  for (size_t i = 0; i < def.fields.size(); ++i) {
    if (set[i] && !Fits(def.fields[i], row[i])) {
      tsioNoteValueNotFitting(def.description, def.fields[i].name);
      x_log(0, "update of " + file_->Spec().Name() + ": value of " + def.fields[i].name +
                   " does not fit its column; nothing written");
      return tsioStatus::kValueDoesNotFit;
    }
  }
  if (file_->Locks().TestOther(LockId(state_->buffer)) == tsioStatus::kLocked) return tsioStatus::kLocked;
  st = BeginChange();
  if (st != tsioStatus::kSuccess) return st;
  std::string sql = "UPDATE " + state_->table + " SET ";
  std::vector<const tsCell*> params;
  bool first = true;
  for (size_t i = 0; i < def.fields.size(); ++i) {
    if (!set[i]) continue;
    sql += (first ? "" : ",") + Q(def.fields[i].name) + "=?";
    first = false;
    params.push_back(&row[i]);
  }
  if (first) return tsioStatus::kSuccess;  // nothing bound, nothing to write
  sql += " WHERE ";
  for (size_t i = 0; i < key_.size(); ++i) {
    sql += (i ? " AND " : "") + Q(def.fields[static_cast<size_t>(key_[i])].name) + "=?";
    params.push_back(&state_->buffer[static_cast<size_t>(key_[i])]);
  }
  tsioCompany& company = file_->Company();
  tsioBackendStatement* q = company.Db().Prepare(sql, &st);
  if (!q) return st;
  for (size_t i = 0; i < params.size(); ++i) q->Bind(static_cast<int>(i + 1), *params[i]);
  company.Db().NextWriteChangesOneRow();
  short r = q->Step();
  q->Reset();
  company.NoteWrite(state_->table);
  if (r != tsioBackendStatement::kDone) {
    if (r != tsioStatus::kDuplicateKey) company.LogFailure("update of " + file_->Spec().Name(), static_cast<tsioStatus::Status>(r));
    return static_cast<tsioStatus::Status>(r);
  }
  if (company.Db().ChangesOrNotFoundLater() == 0) return tsioStatus::kNotFound;
  uint64_t old_id = LockId(state_->buffer);
  uint64_t new_id = LockId(row);
  if (old_id != new_id && file_->Locks().Holds(old_id)) {
    file_->Locks().Unlock(old_id);
    (void)file_->Locks().Lock(new_id);
  }
  state_->buffer = std::move(row);
  for (size_t i = 0; i < set.size(); ++i) state_->valid[i] |= set[i];
  ++state_->pos_seq;
  if (count) *count = 1;
  return tsioStatus::kSuccess;
}

tsioStatus::Status tsioCursor::Delete() {
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (tsioFaults::Hit(tsioOp::kDelete, &st)) return st;
  if (!state_) return tsioStatus::kInvalidOperation;
  if (!state_->positioned) return tsioStatus::kNoCurrentRecord;
  const tsioRecordDef& def = *state_->def;
  uint64_t id = LockId(state_->buffer);
  if (file_->Locks().TestOther(id) == tsioStatus::kLocked) return tsioStatus::kLocked;
  st = BeginChange();
  if (st != tsioStatus::kSuccess) return st;
  std::string sql = "DELETE FROM " + state_->table + " WHERE ";
  for (size_t i = 0; i < key_.size(); ++i) {
    sql += (i ? " AND " : "") + Q(def.fields[static_cast<size_t>(key_[i])].name) + "=?";
  }
  tsioCompany& company = file_->Company();
  tsioBackendStatement* q = company.Db().Prepare(sql, &st);
  if (!q) return st;
  for (size_t i = 0; i < key_.size(); ++i) q->Bind(static_cast<int>(i + 1), state_->buffer[static_cast<size_t>(key_[i])]);
  company.Db().NextWriteChangesOneRow();
  short r = q->Step();
  q->Reset();
  company.NoteWrite(state_->table);
  if (r != tsioBackendStatement::kDone) {
    company.LogFailure("delete from " + file_->Spec().Name(), static_cast<tsioStatus::Status>(r));
    return static_cast<tsioStatus::Status>(r);
  }
  if (company.Db().ChangesOrNotFoundLater() == 0) return tsioStatus::kNotFound;
  if (def.notes || def.file_links) {
    tsioAttachments a(*file_, record_type_);
    st = a.Remove(KeyText(state_->buffer));
    if (st != tsioStatus::kSuccess) return st;
  }
  file_->Locks().Unlock(id);
  ++state_->pos_seq;
  return tsioStatus::kSuccess;
}

tsioStatus::Status tsioCursor::Lock() {
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (tsioFaults::Hit(tsioOp::kLock, &st)) return st;
  if (!state_) return tsioStatus::kInvalidOperation;
  if (!state_->positioned) return tsioStatus::kNoCurrentRecord;
  st = file_->Locks().Lock(LockId(state_->buffer));
  return st == tsioStatus::kLockUnavailable ? tsioLocksUnavailable(*file_, "a record lock") : st;
}

tsioStatus::Status tsioCursor::Unlock(short mode) {
  if (!state_) return tsioStatus::kInvalidOperation;
  if (mode == 1) {
    if (state_->positioned) file_->Locks().Unlock(LockId(state_->buffer));
  } else {
    file_->Locks().UnlockAll();
  }
  return tsioStatus::kSuccess;
}

tsioStatus::Status tsioCursor::UnlockAtUnitEnd() {
  if (!state_) return tsioStatus::kInvalidOperation;
  if (!state_->positioned) return tsioStatus::kSuccess;
  const uint64_t id = LockId(state_->buffer);
  if (file_->Company().InUnit()) {
    if (!file_->HeldUntilUnitEnd(id)) file_->HoldUntilUnitEnd(id);
  } else {
    file_->Locks().Unlock(id);
  }
  return tsioStatus::kSuccess;
}

tsioStatus::Status tsioCursor::Locked() const {
  if (!state_) return tsioStatus::kInvalidOperation;
  if (!state_->positioned) return tsioStatus::kNoCurrentRecord;
  return file_->Locks().TestOther(LockId(state_->buffer));
}

void tsioCursor::Initialize() {
  if (!state_) return;
  const tsioRecordDef& def = *state_->def;
  // A new, empty record: the bound fields and the whole file buffer take the
  // columns' defaults, so a keyed fetch that follows searches from defaults
  // for the key columns this cursor does not bind.
  for (size_t i = 0; i < def.fields.size(); ++i) {
    const tsioFieldDef& f = def.fields[i];
    state_->buffer[i] = IsText(f.type) ? tsCell::Text("") : tsCell::Int(f.default_value);
    state_->valid[i] = 1;
  }
  state_->positioned = false;
  ++state_->pos_seq;
  for (const auto& b : bindings_) {
    const tsioFieldDef& f = def.fields[static_cast<size_t>(b.col)];
    (void)b.field->FromCell(state_->buffer[static_cast<size_t>(b.col)], f.decimals);
  }
}

void tsioCursor::Clear() {
  for (const auto& b : bindings_) b.field->Clear();
}

tsioStatus::Status tsioCursor::Refresh() {
  if (!state_) return tsioStatus::kInvalidOperation;
  tsioRecordState& s = *state_;
  if (s.positioned) {
    bool missing = false;
    for (const auto& b : bindings_) missing = missing || !s.valid[static_cast<size_t>(b.col)];
    if (missing) {
      std::vector<tsCell> row;
      tsioStatus::Status st = ReadFullRow(s.buffer, row);
      if (st != tsioStatus::kSuccess) return st;
      s.buffer = std::move(row);
      std::fill(s.valid.begin(), s.valid.end(), 1);
    }
  }
  CopyRowToRecord(s.buffer);
  return s.positioned ? tsioStatus::kSuccess : tsioStatus::kNoCurrentRecord;
}

tsioStatus::Status tsioCursor::SetBuffer() {
  if (!state_) return tsioStatus::kInvalidOperation;
  std::vector<tsCell> row = state_->buffer;
  tsioStatus::Status st = CellsFromRecord(row, &state_->valid);
  if (st != tsioStatus::kSuccess) return st;
  state_->buffer = std::move(row);
  state_->positioned = true;
  ++state_->pos_seq;
  return tsioStatus::kSuccess;
}

tsioStatus::Status tsioCursor::GetColumnData(const std::string& name, tsData& out) const {
  if (!state_) return tsioStatus::kInvalidOperation;
  int c = state_->def->FieldIndex(name);
  if (c < 0) return tsioStatus::kNotFound;
  return out.FromCell(state_->buffer[static_cast<size_t>(c)], state_->def->fields[static_cast<size_t>(c)].decimals)
             ? tsioStatus::kSuccess
             : tsioStatus::kInvalidOperation;
}

tsioStatus::Status tsioCursor::SetColumnData(const std::string& name, const tsData& value) {
  if (!state_) return tsioStatus::kInvalidOperation;
  int c = state_->def->FieldIndex(name);
  if (c < 0) return tsioStatus::kNotFound;
  const tsioFieldDef& f = state_->def->fields[static_cast<size_t>(c)];
  tsCell cell;
  if (!value.ToCell(cell, f.decimals)) return tsioStatus::kValueDoesNotFit;
  cell.is_text = IsText(f.type);
  state_->buffer[static_cast<size_t>(c)] = std::move(cell);
  state_->valid[static_cast<size_t>(c)] = 1;
  state_->locked_read_seq = 0;  // no longer the record as it was read
  return tsioStatus::kSuccess;
}

void tsioCursor::AttachRange(short segments) {
  range_.clear();
  if (!state_) return;
  std::vector<tsCell> vals = state_->buffer;
  if (CellsFromRecord(vals, nullptr) != tsioStatus::kSuccess) return;
  for (short i = 0; i < segments && i < static_cast<short>(order_.size()); ++i) {
    int c = order_[static_cast<size_t>(i)];
    range_.push_back(Filter{c, vals[static_cast<size_t>(c)], true});
  }
}

void tsioCursor::DetachRange() { range_.clear(); }

void tsioCursor::AttachCondition(short field, bool equal, bool ignore_blank, short connector) {
  if (!state_ || field < 1 || field > static_cast<short>(state_->def->fields.size())) return;
  std::vector<tsCell> vals = state_->buffer;
  if (CellsFromRecord(vals, nullptr) != tsioStatus::kSuccess) return;
  const tsCell& v = vals[static_cast<size_t>(field - 1)];
  if (ignore_blank && (v.is_text ? v.s.empty() : v.i == 0)) return;
  conditions_.push_back(Filter{field - 1, v, equal});
  conditions_or_ = connector == 2;
}

void tsioCursor::DetachCondition(short) { conditions_.clear(); }

bool tsioCursor::AttachmentsExist() const {
  if (!state_ || !state_->positioned || !(state_->def->notes || state_->def->file_links)) return false;
  tsioAttachments a(*file_, record_type_);
  return a.Fetch(CurrentKeyText()) == tsioStatus::kSuccess && !a.Empty();
}

tsioStatus::Status tsioCursor::CopyNotes(const tsioDataFile& target) {
  if (!state_ || !state_->positioned) return tsioStatus::kNoCurrentRecord;
  tsioAttachments a(*file_, record_type_);
  tsioStatus::Status st = a.Fetch(CurrentKeyText());
  if (st != tsioStatus::kSuccess) return st;
  tsioAttachments b(target, record_type_);
  b.CopyFrom(a);
  return b.Write(CurrentKeyText(), false);
}

tsioStatus::Status tsioCursor::AppendNotes(const tsioDataFile& target) {
  if (!state_ || !state_->positioned) return tsioStatus::kNoCurrentRecord;
  tsioAttachments a(*file_, record_type_);
  tsioStatus::Status st = a.Fetch(CurrentKeyText());
  if (st != tsioStatus::kSuccess) return st;
  tsioAttachments b(target, record_type_);
  b.CopyFrom(a);
  return b.Write(CurrentKeyText(), true);
}

// ---- ccCursor ----

std::vector<tsioCursor::Filter> ccCursor::RelationFilters(const ccCursor& source, const ccRelSpec& rel,
                                                           tsioStatus::Status* st) const {
  std::vector<Filter> out;
  *st = tsioStatus::kSuccess;
  if (!state_ || !source.state_ || rel.SourceColumns().size() != rel.TargetColumns().size()) {
    *st = tsioStatus::kInvalidOperation;
    return out;
  }
  const tsioRecordDef& tdef = *state_->def;
  const tsioRecordDef& sdef = *source.state_->def;
  for (size_t i = 0; i < rel.TargetColumns().size(); ++i) {
    int tc = tdef.FieldIndex(rel.TargetColumns()[i]);
    int sc = sdef.FieldIndex(rel.SourceColumns()[i]);
    if (tc < 0 || sc < 0) {
      *st = tsioStatus::kInvalidOperation;
      return {};
    }
    const tsioFieldDef& tf = tdef.fields[static_cast<size_t>(tc)];
    tsCell v;
    if (tsData* f = source.record_->Find(rel.SourceColumns()[i])) {
      if (!f->ToCell(v, tf.decimals)) {
        *st = tsioStatus::kValueDoesNotFit;
        return {};
      }
    } else {
      v = source.state_->buffer[static_cast<size_t>(sc)];
    }
    v.is_text = IsText(tf.type);
    out.push_back(Filter{tc, std::move(v), true});
  }
  return out;
}

std::vector<tsioCursor::Filter> ccCursor::RecordFilters(const ccRecData& record, tsioStatus::Status* st) const {
  std::vector<Filter> out;
  *st = tsioStatus::kSuccess;
  if (!state_) {
    *st = tsioStatus::kInvalidOperation;
    return out;
  }
  auto names = record.KeyColumnNames();
  for (size_t i = 0; i < names.size() && i < order_.size(); ++i) {
    tsData* f = record.Find(names[i]);
    if (!f) continue;
    const tsioFieldDef& tf = state_->def->fields[static_cast<size_t>(order_[i])];
    tsCell v;
    if (!f->ToCell(v, tf.decimals)) {
      *st = tsioStatus::kValueDoesNotFit;
      return {};
    }
    v.is_text = IsText(tf.type);
    out.push_back(Filter{order_[i], std::move(v), true});
  }
  return out;
}

tsioStatus::Status ccCursor::FetchFirstOf(const ccCursor& source, const ccRelSpec& rel, bool lock) {
  tsioStatus::Status st;
  auto f = RelationFilters(source, rel, &st);
  return st != tsioStatus::kSuccess ? st : DoFetch(Seek::kFirst, lock, f);
}

void ccCursor::PrefetchFirstOf(const ccCursor& source, const ccRelSpec& rel, bool lock) {
  tsioStatus::Status st;
  auto f = RelationFilters(source, rel, &st);
  if (st == tsioStatus::kSuccess) PrefetchShaped(Seek::kFirst, lock, f);
}

tsioStatus::Status ccCursor::FetchNextOf(const ccCursor& source, const ccRelSpec& rel, bool lock) {
  tsioStatus::Status st;
  auto f = RelationFilters(source, rel, &st);
  return st != tsioStatus::kSuccess ? st : DoFetch(Seek::kNext, lock, f);
}

tsioStatus::Status ccCursor::FetchFirstOf(const ccRecData& record, bool lock) {
  tsioStatus::Status st;
  auto f = RecordFilters(record, &st);
  return st != tsioStatus::kSuccess ? st : DoFetch(Seek::kFirst, lock, f);
}

tsioStatus::Status ccCursor::FetchNextOf(const ccRecData& record, bool lock) {
  tsioStatus::Status st;
  auto f = RecordFilters(record, &st);
  return st != tsioStatus::kSuccess ? st : DoFetch(Seek::kNext, lock, f);
}

tsioStatus::Status ccCursor::CopyOrMove(const tsioDataFile& target, bool move) {
  if (!state_) return tsioStatus::kInvalidOperation;
  if (!state_->positioned) return tsioStatus::kNoCurrentRecord;
  tsioRecordState* ts = target.State(record_type_);
  if (!ts) return tsioStatus::kInvalidOperation;
  std::vector<tsCell> row;
  tsioStatus::Status st = ReadFullRow(state_->buffer, row);
  if (st != tsioStatus::kSuccess) return st;
  // Without a unit of work of the caller's, the move is made atomic here.
  tclRollbackStack local;
  tclRollbackStack* saved = stack_;
  if (!stack_ && !file_->Company().InUnit()) stack_ = &local;
  ccRecData none(record_->FileCode(), record_type_, record_->KeyColumns());
  ccCursor into(none, target, record_type_, 0);
  into.stack_ = stack_;
  // Insert the full row through the target cursor's buffer.
  st = BeginChange();
  if (st == tsioStatus::kSuccess) st = into.BeginChange();
  if (st == tsioStatus::kSuccess) {
    const tsioRecordDef& def = *ts->def;
    std::string sql = "INSERT INTO " + ts->table + "(";
    std::string vals;
    for (size_t i = 0; i < def.fields.size(); ++i) {
      sql += (i ? "," : "") + Q(def.fields[i].name);
      vals += i ? ",?" : "?";
    }
    sql += ") VALUES (" + vals + ")";
    tsioBackendStatement* q = target.Company().Db().Prepare(sql, &st);
    if (q) {
      if (tsioFaults::Hit(tsioOp::kInsert, &st)) {
        q = nullptr;
      } else {
        for (size_t i = 0; i < row.size(); ++i) q->Bind(static_cast<int>(i + 1), row[i]);
        short r = q->Step();
        q->Reset();
        target.Company().NoteWrite(ts->table);
        st = r == tsioBackendStatement::kDone ? tsioStatus::kSuccess : static_cast<tsioStatus::Status>(r);
      }
    }
  }
  if (st == tsioStatus::kSuccess && (state_->def->notes || state_->def->file_links)) {
    tsioAttachments a(*file_, record_type_);
    st = a.Fetch(KeyText(row));
    if (st == tsioStatus::kSuccess && !a.Empty()) {
      tsioAttachments b(target, record_type_);
      b.CopyFrom(a);
      st = b.Write(KeyText(row));
    }
  }
  if (st == tsioStatus::kSuccess) {
    ts->buffer = row;
    std::fill(ts->valid.begin(), ts->valid.end(), 1);
    ts->positioned = true;
    ++ts->pos_seq;
  }
  if (st == tsioStatus::kSuccess && move) st = Delete();
  if (stack_ == &local) {
    if (st == tsioStatus::kSuccess) {
      st = local.Commit();
      if (st != tsioStatus::kSuccess) (void)local.Rollback();
    } else {
      (void)local.Rollback();
    }
  }
  stack_ = saved;
  return st;
}

tsioStatus::Status ccCursor::MoveRecord(const tsioDataFile& target) { return CopyOrMove(target, true); }
tsioStatus::Status ccCursor::CopyRecord(const tsioDataFile& target) { return CopyOrMove(target, false); }

bool ccCursor::IsRelToValid(const ccCursor& source, const ccRelSpec& rel) const {
  return rel.TargetFile() == record_->FileCode() && rel.TargetType() == record_type_ &&
         rel.SourceFile() == source.record_->FileCode() && rel.SourceType() == source.record_type_;
}

bool ccCursor::IsRelFromValid(const ccCursor& target, const ccRelSpec& rel) const {
  return rel.SourceFile() == record_->FileCode() && rel.SourceType() == record_type_ &&
         rel.TargetFile() == target.record_->FileCode() && rel.TargetType() == target.record_type_;
}

bool ccCursor::IsDataValid(const ccRecData& record) const {
  return record.FileCode() == record_->FileCode() && record.TableID() == record_type_;
}
