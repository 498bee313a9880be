// ccRecData: a record of typed fields bound by column name to one record
// type of a data file; ccRelSpec: a relation between two record types.
//
// A record names its file code, record type and key column list
// ("TBNKACC;TRUN;TSEQ"). Its bound columns are (name, field) pairs in binding
// order; the fields belong to the derived record class. Columns a record does
// not bind are neither read nor written through it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"
#include "framework/types/ts_data.h"

class TS_EXPORT ccRecData {
 public:
  struct Column {
    std::string name;
    tsData* field;
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
  const std::vector<Column>& Columns() const { return columns_; }
  // The bound field of a column, nullptr when the column is not bound.
  tsData* Find(std::string_view name) const;

  // Copies the values of every column bound in both records, by name.
  void SetData(const ccRecData& other);

  // Records compare by their key columns, in key order (a key column one of
  // them does not bind compares equal).
  bool operator==(const ccRecData& other) const { return CompareKey(other) == 0; }
  bool operator<(const ccRecData& other) const { return CompareKey(other) < 0; }
  int CompareKey(const ccRecData& other) const;

 protected:
  void ClearColumns() { columns_.clear(); }

 private:
  std::string file_code_;
  short record_type_;
  std::string key_columns_;
  std::vector<Column> columns_;
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
