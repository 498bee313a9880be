// tsData: the base of every typed field value (tsAlpha, tsDouble, tsCurrency,
// tsDate, tsTime, tsBool, tsChoice, tclTSEnum<E>, tsNum<T>, tsText, tsPhone).
//
// Records bind fields of these types to columns by name; the data-file layer
// moves values between fields and the database through tsCell, the storage
// form of a column:
//   text, phone, alpha   -> text (binary order)
//   numbers and money    -> integer scaled by the column's declared decimals
//   dates                -> integer yyyymmdd, 0 for the empty date
//   times                -> integer seconds since midnight
//   booleans, choices    -> integer
// so that the database's order of cells equals the values' own order.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "framework/base/export.h"

// The storage form of one column value.
struct TS_EXPORT tsCell {
  bool is_text = false;
  int64_t i = 0;
  std::string s;

  static tsCell Int(int64_t v) { tsCell c; c.i = v; return c; }
  static tsCell Text(std::string v) { tsCell c; c.is_text = true; c.s = std::move(v); return c; }
  bool operator==(const tsCell& o) const { return is_text == o.is_text && (is_text ? s == o.s : i == o.i); }
};

enum class tsDataType : uint8_t {
  kAlpha, kDouble, kCurrency, kDate, kTime, kBool, kChoice, kNum, kText, kPhone
};

// Type() names the class family: a value reporting kDate is a tsDate, kTime a
// tsTime; kAlpha, kText and kPhone are the text family; kDouble, kCurrency,
// kNum, kChoice and kBool are the number family (see GetNumber).
//
// Human-readable name of a data type ("alpha", "double", ...), used by the
// data dictionary and in messages.
TS_EXPORT const char* tsDataTypeName(tsDataType t);

class TS_EXPORT tsData {
 public:
  virtual ~tsData() = default;

  virtual tsDataType Type() const = 0;
  virtual std::unique_ptr<tsData> Clone() const = 0;

  // Assigns from another value. Values of the same type copy exactly; across
  // types the value passes through its natural form (number to number, text
  // to text, a number's or date's text into a text field).
  virtual void SetVal(const tsData& other) = 0;

  // The text shown to people (numbers with their declared decimals, dates as
  // yyyy-mm-dd, the empty date as "").
  virtual std::string Format() const = 0;
  // Parses people's text; false (value unchanged) when the text is not valid.
  virtual bool Parse(std::string_view text) = 0;

  // The zero/null test: empty text, zero number, empty date, false.
  virtual bool IsNull() const = 0;
  // Back to the empty value of the type (empty text, 0, empty date, false;
  // choices go to 0, not to their default choice).
  virtual void Clear() = 0;

  // Storage. ToCell encodes for a column declared with `decimals` decimals;
  // it returns false, leaving `out` unspecified, when the value cannot be
  // stored exactly (more decimals than the column has, or out of range).
  // FromCell decodes; false when the cell is of the wrong kind.
  virtual bool ToCell(tsCell& out, int decimals) const = 0;
  virtual bool FromCell(const tsCell& in, int decimals) = 0;

  // Three-way comparison with a value of the same type family (-1, 0, 1);
  // values of unrelated types compare by their formatted text.
  virtual int Compare(const tsData& other) const = 0;

  // Exact numeric view of a value of the number family (tsDouble, tsCurrency,
  // tsNum<T>, tsChoice, tsBool as 0/1): the value is mantissa / 10^scale with
  // scale 0..18. False for every other type and for a number that holds no
  // valid value (a tsDouble after an overflow).
  virtual bool GetNumber(int64_t& mantissa, int& scale) const;

 protected:
  tsData() = default;
  tsData(const tsData&) = default;
  tsData& operator=(const tsData&) = default;
};

// Writes v.Format() (for logs and test messages).
TS_EXPORT std::ostream& operator<<(std::ostream& os, const tsData& v);
