// Index-order scans read slice by slice (see ordered_scan.h).
#include "framework/io/ordered_scan.h"

#include <algorithm>
#include <numeric>

#include "framework/io/backend.h"
#include "framework/io/company.h"
#include "framework/io/counters.h"
#include "framework/io/faults.h"

namespace {

bool IsText(tsDataType t) { return t == tsDataType::kAlpha || t == tsDataType::kText || t == tsDataType::kPhone; }

std::string Q(const std::string& n) { return "\"" + n + "\""; }

int Compare(std::string_view a, std::string_view b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int Compare(int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

}  // namespace

void tsioOrderedScan::Packed::Columns(const std::vector<uint8_t>& text_flags) {
  is_text = text_flags;
  width = is_text.size();
  text_col.assign(width, -1);
  text_width = 0;
  for (size_t i = 0; i < width; ++i) {
    if (is_text[i]) text_col[i] = static_cast<int>(text_width++);
  }
}

void tsioOrderedScan::Packed::Reset(size_t rows) {
  ints.resize(rows * width);
  lens.resize(rows * text_width);
  text.clear();
}

void tsioOrderedScan::Packed::Put(size_t row, const std::vector<tsCell>& cells, const std::vector<int>& from) {
  int64_t* out = &ints[row * width];
  uint32_t* len = text_width ? &lens[row * text_width] : nullptr;
  for (size_t i = 0; i < width; ++i) {
    const tsCell& c = cells[from.empty() ? i : static_cast<size_t>(from[i])];
    if (is_text[i]) {
      out[i] = static_cast<int64_t>(text.size());
      *len++ = static_cast<uint32_t>(c.s.size());
      text += c.s;
    } else {
      out[i] = c.i;
    }
  }
}

tsioOrderedScan::tsioOrderedScan(tsioCursor& cursor, size_t max_slice_rows)
    : cursor_(&cursor), max_slice_rows_(std::max<size_t>(max_slice_rows, 1)) {
  slice_rows_ = std::min(slice_rows_, max_slice_rows_);
}

tsioStatus::Status tsioOrderedScan::Fail(const std::string& what, tsioStatus::Status st) {
  cursor_->File().Company().LogFailure(what + " on " + cursor_->File().Spec().Name(), st);
  failed_ = st;
  return st;
}

tsioStatus::Status tsioOrderedScan::Start() {
  started_ = true;
  tsioCursor& c = *cursor_;
  if (!c.state_) return failed_ = tsioStatus::kInvalidOperation;
  if (!c.file_->IsOpen()) return failed_ = tsioStatus::kFileNotOpen;
  if (!c.conditions_.empty()) return failed_ = tsioStatus::kInvalidOperation;
  walk_ = !c.file_->Company().Db().ReadsPagesItself();
  if (walk_) return tsioStatus::kSuccess;
  const tsioRecordDef& def = *c.state_->def;
  // Where the scan starts: as FetchGE searches.
  from_.assign(c.order_.size(), tsCell());
  for (size_t i = 0; i < c.order_.size(); ++i) {
    const int col = c.order_[i];
    const tsioFieldDef& fd = def.fields[static_cast<size_t>(col)];
    if (tsData* f = c.bound_by_col_[static_cast<size_t>(col)]) {
      if (!f->ToCell(from_[i], fd.decimals)) return failed_ = tsioStatus::kValueDoesNotFit;
      from_[i].is_text = IsText(fd.type);
    } else {
      from_[i] = c.state_->buffer[static_cast<size_t>(col)];
    }
  }
  key_cols_ = c.order_;
  for (int k : c.key_) {
    if (std::find(key_cols_.begin(), key_cols_.end(), k) == key_cols_.end()) key_cols_.push_back(k);
  }
  key_in_keys_.clear();
  key_in_select_.clear();
  for (int k : c.key_) {
    key_in_keys_.push_back(static_cast<int>(std::find(key_cols_.begin(), key_cols_.end(), k) - key_cols_.begin()));
    key_in_select_.push_back(c.select_pos_[static_cast<size_t>(k)]);
  }
  std::vector<uint8_t> flags;
  for (int k : c.key_) flags.push_back(IsText(def.fields[static_cast<size_t>(k)].type));
  keys_.Columns(flags);
  flags.clear();
  for (int col : c.select_) flags.push_back(IsText(def.fields[static_cast<size_t>(col)].type));
  rows_.Columns(flags);

  // The record query: the selected columns of up to kKeysPerQuery records
  // named by their keys. Batches are padded to full size with their last
  // key, so there is one statement to prepare.
  auto name = [&def](int col) { return Q(def.fields[static_cast<size_t>(col)].name); };
  rows_sql_ = "SELECT ";
  for (size_t i = 0; i < c.select_.size(); ++i) rows_sql_ += (i ? "," : "") + name(c.select_[i]);
  rows_sql_ += " FROM " + c.state_->table + " WHERE ";
  for (size_t j = 0; j < kKeysPerQuery; ++j) {
    rows_sql_ += j ? " OR (" : "(";
    for (size_t i = 0; i < c.key_.size(); ++i) rows_sql_ += (i ? " AND " : "") + name(c.key_[i]) + "=?";
    rows_sql_ += ")";
  }
  key_is_text_.clear();
  for (int col : key_cols_) key_is_text_.push_back(IsText(def.fields[static_cast<size_t>(col)].type));
  cells_.resize(std::max(key_cols_.size(), rows_.width));
  return tsioStatus::kSuccess;
}

int tsioOrderedScan::CompareKeys(size_t a, size_t b) const {
  for (size_t col = 0; col < keys_.width; ++col) {
    const int c = keys_.is_text[col] ? Compare(keys_.Text(a, col), keys_.Text(b, col))
                                     : Compare(keys_.Int(a, col), keys_.Int(b, col));
    if (c != 0) return c;
  }
  return 0;
}

int tsioOrderedScan::CompareRowToKey(const std::vector<tsCell>& row, size_t pos) const {
  for (size_t col = 0; col < keys_.width; ++col) {
    const tsCell& cell = row[static_cast<size_t>(key_in_select_[col])];
    const int c = keys_.is_text[col] ? Compare(cell.s, keys_.Text(pos, col)) : Compare(cell.i, keys_.Int(pos, col));
    if (c != 0) return c;
  }
  return 0;
}

// The next slice's key columns from the index: the records in index order
// from where the last slice ended (the first: from the starting values on),
// within the cursor's range. The query reads the index alone. The range
// (equal leading order columns, as AttachRange sets) is kept here, not in
// the query: SQLite answers "col = ? AND (cols) > (...)" by scanning from
// the start of the range, which would make each slice cost the whole range
// before it.
tsioStatus::Status tsioOrderedScan::ReadKeys() {
  tsioCursor& c = *cursor_;
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (tsioFaults::Hit(tsioOp::kFetch, &st)) return Fail("ordered scan", st);
  const tsioRecordDef& def = *c.state_->def;
  auto name = [&def](int col) { return Q(def.fields[static_cast<size_t>(col)].name); };
  std::string l = "(", r = "(", order;
  for (size_t i = 0; i < c.order_.size(); ++i) {
    l += (i ? "," : "") + name(c.order_[i]);
    r += i ? ",?" : "?";
    order += (i ? "," : "") + name(c.order_[i]);
  }
  std::string sql = "SELECT ";
  for (size_t i = 0; i < key_cols_.size(); ++i) sql += (i ? "," : "") + name(key_cols_[i]);
  sql += " FROM " + c.state_->table + " WHERE " + l + ") " + (first_slice_ ? ">=" : ">") + " " + r + ") ORDER BY " +
         order + " LIMIT ?";
  tsioBackendStatement* q = c.file_->Company().Db().Prepare(sql, &st);
  if (!q) return Fail("prepare an ordered scan", st);
  int p = 1;
  for (const tsCell& v : from_) q->Bind(p++, v);
  q->BindInt(p, static_cast<int64_t>(slice_rows_));
  keys_.Reset(slice_rows_);
  // Where a record stands against the range: below it (-1), in it (0) or
  // past it (1); the range's columns lead the order.
  auto against_range = [&]() {
    for (size_t i = 0; i < c.range_.size(); ++i) {
      const tsCell& v = c.range_[i].value;
      const int cmp = key_is_text_[i] ? Compare(cells_[i].s, v.s) : Compare(cells_[i].i, v.i);
      if (cmp != 0) return cmp;
    }
    return 0;
  };
  size_t n = 0, read = 0;
  bool past_range = false;
  short step;
  while ((step = q->Step()) == tsioBackendStatement::kRow) {
    ++read;
    for (size_t i = 0; i < key_cols_.size(); ++i) q->Column(static_cast<int>(i), key_is_text_[i], cells_[i]);
    const int where = against_range();
    if (where > 0) {
      past_range = true;
      break;
    }
    if (where == 0) keys_.Put(n++, cells_, key_in_keys_);
    // The next slice starts after the last record read.
    std::copy(cells_.begin(), cells_.begin() + static_cast<std::ptrdiff_t>(from_.size()), from_.begin());
  }
  q->Reset();
  tsioCounters::CountFetchQuery(read);
  if (!past_range && step != tsioBackendStatement::kDone) {
    return Fail("ordered scan", static_cast<tsioStatus::Status>(step));
  }
  count_ = n;
  first_slice_ = false;
  done_ = past_range || read < slice_rows_;
  return tsioStatus::kSuccess;
}

// The slice's records, read by key in key order, a batch of keys per query;
// each lands at its index position.
tsioStatus::Status tsioOrderedScan::ReadRecords() {
  tsioCursor& c = *cursor_;
  by_key_.resize(count_);
  std::iota(by_key_.begin(), by_key_.end(), 0u);
  std::sort(by_key_.begin(), by_key_.end(), [this](uint32_t a, uint32_t b) { return CompareKeys(a, b) < 0; });
  found_.assign(count_, 0);
  rows_.Reset(count_);
  tsioStatus::Status st = tsioStatus::kSuccess;
  tsioBackendStatement* q = c.file_->Company().Db().Prepare(rows_sql_, &st);
  if (!q) return Fail("prepare an ordered scan", st);
  const size_t key_width = keys_.width;
  params_.resize(kKeysPerQuery * key_width);
  for (size_t begin = 0; begin < count_; begin += kKeysPerQuery) {
    if (tsioFaults::Hit(tsioOp::kFetch, &st)) return Fail("ordered scan", st);
    const size_t end = std::min(count_, begin + kKeysPerQuery);
    for (size_t j = 0; j < kKeysPerQuery; ++j) {
      const size_t pos = by_key_[std::min(begin + j, end - 1)];
      for (size_t i = 0; i < key_width; ++i) {
        tsCell& p = params_[j * key_width + i];
        p.is_text = keys_.is_text[i] != 0;
        if (p.is_text) {
          p.s.assign(keys_.Text(pos, i));
        } else {
          p.i = keys_.Int(pos, i);
        }
        q->Bind(static_cast<int>(j * key_width + i + 1), p);
      }
    }
    size_t n = 0;
    short step;
    while ((step = q->Step()) == tsioBackendStatement::kRow) {
      ++n;
      for (size_t i = 0; i < rows_.width; ++i) q->Column(static_cast<int>(i), rows_.is_text[i], cells_[i]);
      // Which of the batch's keys this record has (the batch is in key order).
      size_t lo = begin, hi = end;
      while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (CompareRowToKey(cells_, by_key_[mid]) > 0) {
          lo = mid + 1;
        } else {
          hi = mid;
        }
      }
      if (lo < end && CompareRowToKey(cells_, by_key_[lo]) == 0 && !found_[by_key_[lo]]) {
        rows_.Put(by_key_[lo], cells_, no_map_);
        found_[by_key_[lo]] = 1;
      }
    }
    q->Reset();
    tsioCounters::CountFetchQuery(n);
    if (step != tsioBackendStatement::kDone) return Fail("ordered scan", static_cast<tsioStatus::Status>(step));
  }
  return tsioStatus::kSuccess;
}

tsioStatus::Status tsioOrderedScan::ReadSlice() {
  next_ = 0;
  count_ = 0;
  tsioStatus::Status st = ReadKeys();
  if (st == tsioStatus::kSuccess && count_ > 0) st = ReadRecords();
  size_t next = std::min(slice_rows_ * 4, max_slice_rows_);
  if (count_ > 0) {
    const size_t per_row = rows_.width * sizeof(int64_t) + rows_.text_width * sizeof(uint32_t) +
                           keys_.width * sizeof(int64_t) + keys_.text_width * sizeof(uint32_t) +
                           sizeof(uint32_t) + 1 + (rows_.text.size() + keys_.text.size()) / count_;
    next = std::min(next, std::max<size_t>(kSliceBytes / per_row, 1));
  }
  slice_rows_ = next;
  return st;
}

tsioStatus::Status tsioOrderedScan::Next() {
  if (failed_ != tsioStatus::kSuccess) return failed_;
  if (!started_) {
    tsioStatus::Status st = Start();
    if (st != tsioStatus::kSuccess) return st;
  }
  tsioCursor& c = *cursor_;
  if (walk_) {
    const tsioStatus::Status st = first_slice_ ? c.FetchGE(false) : c.FetchNext(false);
    first_slice_ = false;
    if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile) failed_ = st;
    return st;
  }
  for (;;) {
    while (next_ < count_ && !found_[next_]) ++next_;
    if (next_ < count_) break;
    if (done_ && !first_slice_) return tsioStatus::kEndOfFile;
    tsioStatus::Status st = ReadSlice();
    if (st != tsioStatus::kSuccess) return st;
  }
  // Served as a fetch is: the handle's current record, in the bound fields.
  tsioRecordState& s = *c.state_;
  ++s.fetches;
  std::fill(s.valid.begin(), s.valid.end(), 0);
  for (size_t i = 0; i < rows_.width; ++i) {
    const size_t col = static_cast<size_t>(c.select_[i]);
    tsCell& cell = s.buffer[col];
    cell.is_text = rows_.is_text[i] != 0;
    if (cell.is_text) {
      cell.s.assign(rows_.Text(next_, i));
    } else {
      cell.i = rows_.Int(next_, i);
    }
    s.valid[col] = 1;
  }
  ++next_;
  s.positioned = true;
  ++s.pos_seq;
  s.DropReadAhead();
  s.streak = 0;
  c.CopyRowToRecord(s.buffer);
  return tsioStatus::kSuccess;
}
