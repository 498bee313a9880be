// tsRawRecord: a record that binds every column of one record type of an
// open data file to a field holding the column's stored form (tsCell), so
// that framework code can read, copy and write records whose layout it does
// not know (the batch framework's batch records, data-manager lists).
//
// A raw field moves its cell unchanged between the record and the file: a
// value goes in and out exactly as stored (an amount of 12.34 in a column
// with 2 decimals is the integer 1234). Get/Set convert between a column's
// cell and a typed value at the column's declared decimals.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"
#include "framework/io/data_file.h"
#include "framework/io/record.h"
#include "framework/types/ts_data.h"

class TS_EXPORT tsRawCell : public tsData {
 public:
  explicit tsRawCell(bool text = false) { cell_.is_text = text; }
  const tsCell& Cell() const { return cell_; }
  void SetCell(const tsCell& cell) { cell_ = cell; }

  // Text columns are kText, every other column kNum (its stored integer).
  tsDataType Type() const override { return cell_.is_text ? tsDataType::kText : tsDataType::kNum; }
  std::unique_ptr<tsData> Clone() const override { return std::make_unique<tsRawCell>(*this); }
  // Another raw cell: its cell; anything else: its text, parsed.
  void SetVal(const tsData& other) override;
  // The text, or the stored integer in decimal.
  std::string Format() const override;
  bool Parse(std::string_view text) override;
  bool IsNull() const override { return cell_.is_text ? cell_.s.empty() : cell_.i == 0; }
  void Clear() override;
  // The cell as it is; the decimals are not applied (the cell is stored form).
  bool ToCell(tsCell& out, int decimals) const override;
  bool FromCell(const tsCell& in, int decimals) override;
  int Compare(const tsData& other) const override;

 private:
  tsCell cell_;
};

class TS_EXPORT tsRawRecord : public ccRecData {
 public:
  // Binds every column of `record_type` in `file`'s definition (none when the
  // file has no such record type).
  tsRawRecord(const tsioDataFile& file, short record_type);
  ~tsRawRecord() override;
  tsRawRecord(const tsRawRecord&) = delete;
  tsRawRecord& operator=(const tsRawRecord&) = delete;

  // The record definition; nullptr when the file has no such record type.
  const tsioRecordDef* Def() const { return def_; }
  tsRawCell* Cell(std::string_view column) const;
  // The column's value as a typed value (its declared decimals applied);
  // false when there is no such column or the value cannot take the cell.
  bool Get(std::string_view column, tsData& out) const;
  // Sets the column from a typed value; false (nothing changed) when there is
  // no such column or the value does not fit its stored form.
  bool Set(std::string_view column, const tsData& value);

 private:
  const tsioRecordDef* def_ = nullptr;
  std::vector<std::unique_ptr<tsRawCell>> cells_;
};
