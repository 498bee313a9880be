// Records bound to columns, and relations.
#include "framework/io/record.h"

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

ccRecData::ccRecData(std::string file_code, short record_type, std::string key_columns)
    : file_code_(std::move(file_code)), record_type_(record_type), key_columns_(std::move(key_columns)) {}

ccRecData::ccRecData(const ccRecData& other)
    : file_code_(other.file_code_),
      record_type_(other.record_type_),
      key_columns_(other.key_columns_),
      columns_(other.columns_) {}

ccRecData::~ccRecData() = default;

std::vector<std::string> ccRecData::KeyColumnNames() const { return tsSplitNames(key_columns_, ';'); }

void ccRecData::AddColumn(const std::string& name, tsData* field) {
  for (auto& c : columns_) {
    if (c.name == name) {
      c.field = field;
      return;
    }
  }
  columns_.push_back(Column{name, field});
}

tsData* ccRecData::Find(std::string_view name) const {
  for (const auto& c : columns_) {
    if (c.name == name) return c.field;
  }
  return nullptr;
}

void ccRecData::SetData(const ccRecData& other) {
  if (&other == this) return;
  for (auto& c : columns_) {
    if (tsData* src = other.Find(c.name)) {
      if (src != c.field) c.field->SetVal(*src);
    }
  }
}

int ccRecData::CompareKey(const ccRecData& other) const {
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
