// Records of any layout, column by column in stored form (see raw_record.h).
#include "framework/ui/raw_record.h"

#include <charconv>

namespace {

bool IsTextType(tsDataType t) { return t == tsDataType::kAlpha || t == tsDataType::kText || t == tsDataType::kPhone; }

}  // namespace

void tsRawCell::SetVal(const tsData& other) {
  if (const auto* raw = dynamic_cast<const tsRawCell*>(&other)) {
    cell_ = raw->cell_;
    return;
  }
  if (!Parse(other.Format())) Clear();
}

std::string tsRawCell::Format() const { return cell_.is_text ? cell_.s : std::to_string(cell_.i); }

bool tsRawCell::Parse(std::string_view text) {
  if (cell_.is_text) {
    cell_.s = std::string(text);
    return true;
  }
  int64_t v = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return false;
  cell_.i = v;
  return true;
}

void tsRawCell::Clear() {
  cell_.s.clear();
  cell_.i = 0;
}

bool tsRawCell::ToCell(tsCell& out, int) const {
  out = cell_;
  return true;
}

bool tsRawCell::FromCell(const tsCell& in, int) {
  const bool text = cell_.is_text;
  cell_ = in;
  cell_.is_text = text;
  return true;
}

int tsRawCell::Compare(const tsData& other) const {
  if (const auto* raw = dynamic_cast<const tsRawCell*>(&other)) {
    if (cell_.is_text != raw->cell_.is_text) return cell_.is_text ? 1 : -1;
    if (cell_.is_text) return cell_.s < raw->cell_.s ? -1 : (cell_.s > raw->cell_.s ? 1 : 0);
    return cell_.i < raw->cell_.i ? -1 : (cell_.i > raw->cell_.i ? 1 : 0);
  }
  const std::string a = Format(), b = other.Format();
  return a < b ? -1 : (a > b ? 1 : 0);
}

// ---- tsRawRecord ----

tsRawRecord::tsRawRecord(const tsioDataFile& file, short record_type)
    : ccRecData(file.Spec().Code(), record_type, "") {
  const tsioFileDef* fd = file.Def();
  def_ = fd ? fd->Record(record_type) : nullptr;
  if (!def_) return;
  for (const auto& f : def_->fields) {
    cells_.push_back(std::make_unique<tsRawCell>(IsTextType(f.type)));
    AddColumn(f.name, cells_.back().get());
  }
}

tsRawRecord::~tsRawRecord() = default;

tsRawCell* tsRawRecord::Cell(std::string_view column) const {
  if (!def_) return nullptr;
  const int i = def_->FieldIndex(column);
  return i < 0 ? nullptr : cells_[static_cast<size_t>(i)].get();
}

bool tsRawRecord::Get(std::string_view column, tsData& out) const {
  if (!def_) return false;
  const int i = def_->FieldIndex(column);
  if (i < 0) return false;
  return out.FromCell(cells_[static_cast<size_t>(i)]->Cell(), def_->fields[static_cast<size_t>(i)].decimals);
}

bool tsRawRecord::Set(std::string_view column, const tsData& value) {
  if (!def_) return false;
  const int i = def_->FieldIndex(column);
  if (i < 0) return false;
  const tsioFieldDef& f = def_->fields[static_cast<size_t>(i)];
  tsCell c;
  if (!value.ToCell(c, f.decimals)) return false;
  c.is_text = IsTextType(f.type);
  cells_[static_cast<size_t>(i)]->SetCell(c);
  return true;
}
