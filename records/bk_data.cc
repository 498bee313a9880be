// bkData, bkColumnsContainer: defining and binding the columns of a record.
#include "records/bk_data.h"

#include "framework/base/application.h"
#include "framework/types/ts_alpha.h"

// ---- bkColumnsContainer

void bkColumnsContainer::CreateColumn(const CString& name, tsData* field) { columns_[name] = field; }

void bkColumnsContainer::AddColumn(const CString& name) {
  if (tsData* field = Lookup(name)) owner_->AddColumn(name, field);
}

void bkColumnsContainer::AddAllColumnsInContainer() {
  for (const auto& [name, field] : columns_) owner_->AddColumn(name, field);
}

tsData* bkColumnsContainer::Lookup(const CString& name) const {
  auto it = columns_.find(name);
  return it == columns_.end() ? nullptr : it->second;
}

void bkColumnsContainer::SetColumn(const CString& name, const tsData* value) {
  tsData* field = Lookup(name);
  if (field && value) field->SetVal(*value);
}

// ---- bkData

bkData::bkData(CString file_code, short record_type, CString key_columns, CString column_list)
    : ccRecData(std::move(file_code), record_type, std::move(key_columns)),
      column_list_(std::move(column_list)),
      columns_(this) {}

bkData::bkData(CString file_code, short record_type, CString column_list)
    : bkData(std::move(file_code), record_type, CString(), std::move(column_list)) {}

bkData::bkData(const ccRecData& other) : ccRecData(other), columns_(this) {}

bkData::bkData(const bkData& other) : bkData(static_cast<const ccRecData&>(other)) {}

bkData::~bkData() = default;

void bkData::DefineColumns() { TSGetApp()->Message("Default bkData::DefineColumns called."); }

void bkData::AddColumns() {
  DefineColumns();
  if (column_list_.empty()) {
    columns_.AddAllColumnsInContainer();
    return;
  }
  for (const auto& name : tsSplitNames(column_list_, ';')) columns_.AddColumn(name);
}

const tsData& bkData::GetColumn(const CString& name) const {
  static const tsAlpha kUndefinedColumn;
  const tsData* field = columns_.Lookup(name);
  return field ? *field : kUndefinedColumn;
}
