// Records bound to columns, and relations.
#include "framework/io/record.h"

#include <algorithm>

std::vector<std::string> tsSplitNames(std::string_view list, char sep) {
  std::vector<std::string> out;
  if (list.empty()) return out;
  size_t start = 0;
  for (;;) {
    size_t p = list.find(sep, start);
    out.emplace_back(list.substr(start, p == std::string_view::npos ? std::string_view::npos : p - start));
    if (p == std::string_view::npos) break;
    start = p + 1;
  }
  return out;
}

// ---- tsColumnTable

void tsColumnTable::Add(std::string_view name, std::ptrdiff_t offset) {
  const int i = Index(name);
  if (i >= 0) {
    entries_[static_cast<size_t>(i)].offset = offset;
    return;
  }
  const auto pos = std::lower_bound(by_name_.begin(), by_name_.end(), name,
                                    [this](uint32_t e, std::string_view n) { return entries_[e].name < n; });
  by_name_.insert(pos, static_cast<uint32_t>(entries_.size()));
  entries_.push_back(Entry{std::string(name), offset});
  if (has_key_index_) SetKeyColumns(key_names_);  // it may be a key column the table lacked
}

int tsColumnTable::Index(std::string_view name) const {
  size_t lo = 0, hi = by_name_.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    const int c = entries_[by_name_[mid]].name.compare(name);
    if (c == 0) return static_cast<int>(by_name_[mid]);
    if (c < 0) lo = mid + 1;
    else hi = mid;
  }
  return -1;
}

void tsColumnTable::SetKeyColumns(std::vector<std::string> names) {
  key_names_ = std::move(names);
  key_index_.clear();
  for (const auto& n : key_names_) key_index_.push_back(Index(n));
  has_key_index_ = true;
}

// ---- ccRecData

namespace {
const tsColumnTable kNoColumns;
}  // namespace

ccRecData::ccRecData(std::string file_code, short record_type, std::string key_columns)
    : file_code_(std::move(file_code)),
      record_type_(record_type),
      key_columns_(std::move(key_columns)),
      table_(&kNoColumns),
      anchor_(SelfAnchor()) {}

ccRecData::ccRecData(const ccRecData& other)
    : file_code_(other.file_code_),
      record_type_(other.record_type_),
      key_columns_(other.key_columns_),
      table_(other.table_),
      own_(other.own_ ? std::make_unique<tsColumnTable>(*other.own_) : nullptr),
      anchor_(other.anchor_) {
  if (own_) table_ = own_.get();
}

ccRecData::~ccRecData() = default;

std::vector<std::string> ccRecData::KeyColumnNames() const { return tsSplitNames(key_columns_, ';'); }

tsColumnTable& ccRecData::OwnTable() {
  if (!own_) {
    own_ = std::make_unique<tsColumnTable>(*table_);
    table_ = own_.get();
  }
  return *own_;
}

void ccRecData::AddColumn(const std::string& name, tsData* field) {
  OwnTable().Add(name, tsColumnTable::OffsetOf(anchor_, field));
}

void ccRecData::BindTable(const tsColumnTable* table) {
  own_.reset();
  table_ = table ? table : &kNoColumns;
  anchor_ = SelfAnchor();
}

void ccRecData::ClearColumns() {
  own_.reset();
  table_ = &kNoColumns;
}

void ccRecData::SetData(const ccRecData& other) {
  if (&other == this) return;
  const tsColumnTable& mine = *table_;
  const tsColumnTable& theirs = *other.table_;
  if (&mine == &theirs) {
    // One shape: the columns pair up by position.
    for (size_t i = 0; i < mine.size(); ++i) {
      tsData* dst = FieldAt(i);
      tsData* src = other.FieldAt(i);
      if (src != dst) dst->SetVal(*src);
    }
    return;
  }
  for (size_t i = 0; i < mine.size(); ++i) {
    const int j = theirs.Index(mine[i].name);
    if (j < 0) continue;
    tsData* dst = FieldAt(i);
    tsData* src = other.FieldAt(static_cast<size_t>(j));
    if (src != dst) dst->SetVal(*src);
  }
}

int ccRecData::CompareKey(const ccRecData& other) const {
  if (table_ == other.table_ && table_->HasKeyIndex()) {
    for (int i : table_->KeyIndex()) {
      if (i < 0) continue;
      const int c = FieldAt(static_cast<size_t>(i))->Compare(*other.FieldAt(static_cast<size_t>(i)));
      if (c != 0) return c;
    }
    return 0;
  }
  for (const auto& name : KeyColumnNames()) {
    tsData* a = Find(name);
    tsData* b = other.Find(name);
    if (!a || !b) continue;
    int c = a->Compare(*b);
    if (c != 0) return c;
  }
  return 0;
}

ccRelSpec::ccRelSpec(std::string source_file, short source_type, std::string source_columns,
                     std::string target_file, short target_type, std::string target_columns)
    : source_file_(std::move(source_file)),
      source_type_(source_type),
      source_columns_(tsSplitNames(source_columns, ',')),
      target_file_(std::move(target_file)),
      target_type_(target_type),
      target_columns_(tsSplitNames(target_columns, ',')) {}
