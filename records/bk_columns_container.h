// bkColumnsContainer: the columns a record class defines, by column name, and
// the road by which they are bound to the record (ccRecData::AddColumn).
//
// Names are ordered by case-sensitive text comparison. The container maps a
// name to the record's field; the fields belong to the record, never to the
// container. A name the record class does not define is not checked: binding
// it binds nothing, setting it sets nothing, and looking it up gives an empty
// text value.
#pragma once

#include <map>

#include "framework/types/ts_data.h"
#include "framework/types/ts_string.h"
#include "records/bk_export.h"

class bkData;

class BK_EXPORT bkColumnsContainer {
 public:
  explicit bkColumnsContainer(bkData* owner) : owner_(owner) {}
  bkColumnsContainer(const bkColumnsContainer&) = delete;
  bkColumnsContainer& operator=(const bkColumnsContainer&) = delete;

  // Inserts the name, or replaces the field it names.
  void CreateColumn(const CString& name, tsData* field);
  // Binds the named field to the owner record.
  void AddColumn(const CString& name);
  // Binds every field, in ascending name order.
  void AddAllColumnsInContainer();
  // The field of a column; nullptr when the name is not defined.
  [[nodiscard]] tsData* Lookup(const CString& name) const;
  // Assigns `value` into the field of a column with the field's own SetVal.
  void SetColumn(const CString& name, const tsData* value);
  // Removes every name (the fields stay where they are).
  void Clear() { columns_.clear(); }
  [[nodiscard]] bool Empty() const { return columns_.empty(); }
  // The defined names in ascending order.
  const std::map<CString, tsData*>& Map() const { return columns_; }

 private:
  bkData* owner_;
  std::map<CString, tsData*> columns_;
};
