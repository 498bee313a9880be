// ccRecData: a record of typed fields bound by column name to one record
// type of a data file; tsColumnTable: the bound columns of a record, shared
// by every record of one shape; ccRelSpec: a relation between two record
// types.
//
// A record names its file code, record type and key column list
// ("TBNKACC;TRUN;TSEQ"). Its bound columns are (name, field) pairs in binding
// order; the fields belong to the derived record class. Columns a record does
// not bind are neither read nor written through it.
//
// Cost: a record refers to its column table instead of holding one. A field
// is found at the record's anchor (its own address, or the address of the
// record it was copied from) plus the offset the table keeps, so records of
// one class bound with one column list share one table built once, and
// binding, copying and comparing records allocate nothing per column. A
// record whose binding is changed (AddColumn) takes a private copy of the
// table first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"
#include "framework/types/ts_data.h"

// Columns by name, each with the offset of its field from an anchor address,
// in binding order; looked up by name through an index in name order
// (case-sensitive byte order). Immutable once records share it.
class TS_EXPORT tsColumnTable {
 public:
  struct Entry {
    std::string name;
    std::ptrdiff_t offset;
  };

  // Binds `name` at `offset`: a new name is appended, a name already there
  // gets the new offset and keeps its place.
  void Add(std::string_view name, std::ptrdiff_t offset);
  // Position of `name` in binding order; -1 when the table lacks it.
  [[nodiscard]] int Index(std::string_view name) const;
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const Entry& operator[](size_t i) const { return entries_[i]; }
  // The i-th entry in ascending name order.
  const Entry& Sorted(size_t i) const { return entries_[by_name_[i]]; }
  // Positions of the key columns (in key order; -1 for a key column the
  // table lacks), once SetKeyColumns has named them.
  void SetKeyColumns(std::vector<std::string> names);
  const std::vector<int>& KeyIndex() const { return key_index_; }
  bool HasKeyIndex() const { return has_key_index_; }

  // The field at `offset` from `anchor`, and the offset of `field`.
  static tsData* FieldAt(uintptr_t anchor, std::ptrdiff_t offset) {
    return reinterpret_cast<tsData*>(anchor + static_cast<uintptr_t>(offset));
  }
  static std::ptrdiff_t OffsetOf(uintptr_t anchor, const tsData* field) {
    return static_cast<std::ptrdiff_t>(reinterpret_cast<uintptr_t>(field) - anchor);
  }

 private:
  std::vector<Entry> entries_;
  std::vector<uint32_t> by_name_;  // entry positions in name order
  std::vector<std::string> key_names_;
  std::vector<int> key_index_;
  bool has_key_index_ = false;
};

class TS_EXPORT ccRecData {
 public:
  // A bound column as the record sees it.
  struct Column {
    const std::string& name;
    tsData* field;
  };
  // The bound columns in binding order (a view; valid while the record's
  // binding does not change).
  class ColumnRange {
   public:
    class iterator {
     public:
      iterator(const ccRecData* r, size_t i) : r_(r), i_(i) {}
      Column operator*() const { return r_->ColumnAt(i_); }
      iterator& operator++() {
        ++i_;
        return *this;
      }
      bool operator==(const iterator& o) const { return i_ == o.i_; }
      bool operator!=(const iterator& o) const { return i_ != o.i_; }

     private:
      const ccRecData* r_;
      size_t i_;
    };
    explicit ColumnRange(const ccRecData* r) : r_(r) {}
    iterator begin() const { return iterator(r_, 0); }
    iterator end() const { return iterator(r_, size()); }
    size_t size() const { return r_->table_->size(); }
    bool empty() const { return size() == 0; }
    Column operator[](size_t i) const { return r_->ColumnAt(i); }

   private:
    const ccRecData* r_;
  };

  ccRecData(std::string file_code, short record_type, std::string key_columns);
  // A copy names the same file code, record type and key columns and binds
  // the SAME fields as `other` (it reads and writes other's fields).
  ccRecData(const ccRecData& other);
  virtual ~ccRecData();
  ccRecData& operator=(const ccRecData&) = delete;

  const std::string& FileCode() const { return file_code_; }
  short TableID() const { return record_type_; }
  const std::string& KeyColumns() const { return key_columns_; }
  std::vector<std::string> KeyColumnNames() const;

  // Binds a field to a column (a second binding of a name replaces the first).
  void AddColumn(const std::string& name, tsData* field);
  ColumnRange Columns() const { return ColumnRange(this); }
  // The bound field of a column, nullptr when the column is not bound.
  tsData* Find(std::string_view name) const {
    const int i = table_->Index(name);
    return i < 0 ? nullptr : FieldAt(static_cast<size_t>(i));
  }

  // Copies the values of every column bound in both records, by name.
  void SetData(const ccRecData& other);

  // Records compare by their key columns, in key order (a key column one of
  // them does not bind compares equal).
  bool operator==(const ccRecData& other) const { return CompareKey(other) == 0; }
  bool operator<(const ccRecData& other) const { return CompareKey(other) < 0; }
  int CompareKey(const ccRecData& other) const;

 protected:
  // Binds the columns of `table`, whose offsets are taken from this record;
  // the table is not owned and outlives the record (a shared, immortal
  // table). Replaces whatever was bound.
  void BindTable(const tsColumnTable* table);
  void ClearColumns();
  // The bound table, and whether the bound fields are this record's own
  // (not those of a record it was copied from).
  const tsColumnTable& BoundTable() const { return *table_; }
  bool BindsOwnFields() const { return anchor_ == SelfAnchor(); }

 private:
  uintptr_t SelfAnchor() const { return reinterpret_cast<uintptr_t>(this); }
  tsData* FieldAt(size_t i) const { return tsColumnTable::FieldAt(anchor_, (*table_)[i].offset); }
  Column ColumnAt(size_t i) const { return Column{(*table_)[i].name, FieldAt(i)}; }
  tsColumnTable& OwnTable();

  std::string file_code_;
  short record_type_;
  std::string key_columns_;
  const tsColumnTable* table_;           // never null: shared, own_, or the empty table
  std::unique_ptr<tsColumnTable> own_;   // a binding of this record's own
  uintptr_t anchor_;                     // fields are at anchor_ + offset
};

// A relation from a source record type to a target record type: the n-th
// source column corresponds to the n-th target column. Column lists are
// separated by "," (a ";" is part of a name, so such a list is a different
// relation).
class TS_EXPORT ccRelSpec {
 public:
  ccRelSpec(std::string source_file, short source_type, std::string source_columns, std::string target_file,
            short target_type, std::string target_columns);

  const std::string& SourceFile() const { return source_file_; }
  short SourceType() const { return source_type_; }
  const std::vector<std::string>& SourceColumns() const { return source_columns_; }
  const std::string& TargetFile() const { return target_file_; }
  short TargetType() const { return target_type_; }
  const std::vector<std::string>& TargetColumns() const { return target_columns_; }

 private:
  std::string source_file_;
  short source_type_;
  std::vector<std::string> source_columns_;
  std::string target_file_;
  short target_type_;
  std::vector<std::string> target_columns_;
};

// Splits "A;B;C" at `sep`; an empty text gives no names.
TS_EXPORT std::vector<std::string> tsSplitNames(std::string_view list, char sep);
