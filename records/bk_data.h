// bkData: the base of every record class and key class of the module.
//
// A record class derives from bkData with its file code, record type and key
// column list ("TBNKACC;TRUN;TSEQ"), defines one typed field per column of its
// record type (DefineColumns) and binds the fields named by its column list
// to the record (AddColumns), so that cursors read and write exactly those
// columns. Column lists separate names with ";"; an empty list binds every
// column the class defines, in ascending name order; otherwise the named
// columns are bound in list order. Columns defined but not bound keep their
// values through fetches and are not written.
//
// Copying values between records is ccRecData::SetData (the columns bound in
// both, by name); records compare by their key columns (ccRecData).
//
// Cost: DefineColumns runs for the first record of a class only. Its column
// table, and the binding of each column list, are kept for the life of the
// program and shared by every later record of the class (so DefineColumns
// must define the same columns, always at fields of the record itself, for
// every record of a class). Building a record then costs its fields and two
// table look-ups; copying costs one assignment per column bound in both.
#pragma once

#include "framework/io/record.h"
#include "framework/types/ts_data.h"
#include "framework/types/ts_string.h"
#include "records/bk_columns_container.h"
#include "records/bk_export.h"

class BK_EXPORT bkData : public ccRecData {
 public:
  // A record of `other`'s file code, record type and key column list, with
  // an empty column list and no columns defined. It reads and writes the
  // fields `other` binds (the framework's record copy), so a fetch through
  // it fills `other`.
  explicit bkData(const ccRecData& other);
  bkData(const bkData& other);
  bkData& operator=(const bkData&) = delete;
  ~bkData() override;

  // Binds one field to a column directly.
  void AddColumn(const CString& name, tsData* field) { ccRecData::AddColumn(name, field); }
  // The field of a column this class defines.
  [[nodiscard]] const tsData& GetColumn(const CString& name) const;
  // Assigns `value` into the field of a column this class defines.
  void SetColumn(const CString& name, const tsData* value) { columns_.SetColumn(name, value); }

  // The column list the record was built with ("" = all columns).
  const CString& ColumnList() const { return column_list_; }

 protected:
  bkData(CString file_code, short record_type, CString key_columns, CString column_list);
  bkData(CString file_code, short record_type, CString column_list);

  // Each record class creates one container entry per column, in layout
  // order. The base defines nothing and says so through the application.
  virtual void DefineColumns();
  // DefineColumns, then binds the columns of the column list (see above).
  // Called at the end of every record and key class constructor.
  void AddColumns();

  bkColumnsContainer& ColumnsContainer() { return columns_; }
  const bkColumnsContainer& ColumnsContainer() const { return columns_; }

  // True when both records are of one class, bind every column the class
  // defines and bind their own fields: a member-wise copy of the fields is
  // then the same as SetData (the record classes' fast path).
  [[nodiscard]] bool BindsAllLike(const bkData& other) const;

 private:
  struct Shape;

  CString column_list_;
  bkColumnsContainer columns_;
  const Shape* shape_ = nullptr;  // the class's shared tables, once bound through them
};
