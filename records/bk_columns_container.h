// bkColumnsContainer: the columns a record class defines, by column name, and
// the road by which they are bound to the record (ccRecData::AddColumn).
//
// Names are ordered by case-sensitive text comparison. The container maps a
// name to the record's field; the fields belong to the record, never to the
// container. A name the record class does not define is not checked: binding
// it binds nothing, setting it sets nothing, and looking it up gives an empty
// text value.
//
// The map is a column table (name -> offset of the field in the record) that
// every record of one class shares once the first record of the class has
// defined it (bkData::AddColumns); a record whose container is changed
// afterwards (CreateColumn, Clear) takes a copy of its own first.
#pragma once

#include <memory>

#include "framework/io/record.h"
#include "framework/types/ts_data.h"
#include "framework/types/ts_string.h"
#include "records/bk_export.h"

class bkData;

class BK_EXPORT bkColumnsContainer {
 public:
  explicit bkColumnsContainer(bkData* owner);
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
  void Clear();
  [[nodiscard]] bool Empty() const { return table_->empty(); }
  // The defined columns (offsets from the owner record).
  const tsColumnTable& Table() const { return *table_; }

 private:
  friend class bkData;
  // Refers to a table shared by every record of the owner's class.
  void Share(const tsColumnTable* table);
  // Hands the container's own table over (to be shared), keeping a reference.
  std::unique_ptr<tsColumnTable> Release();
  uintptr_t Anchor() const;
  tsColumnTable& OwnTable();

  bkData* owner_;
  const tsColumnTable* table_;
  std::unique_ptr<tsColumnTable> own_;
};
