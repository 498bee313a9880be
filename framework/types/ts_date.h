// tsDate: a calendar date (proleptic Gregorian, years 1..9999) held as the
// integer yyyymmdd; 0 is the empty date.
//
// Rules:
// - The empty date is the null value: IsEmpty(), operator!, IsNull(); it
//   sorts before every date and formats as "".
// - A date built from parts or from yyyymmdd that is not a real calendar day
//   keeps the number it was given but is not valid (IsValid() false); it
//   formats its digits as yyyy-mm-dd and is refused by ToCell. Parts that
//   cannot be written as yyyymmdd at all (negative, month or day above 99,
//   year above 9999) give the empty date.
// - Day arithmetic (+ days, - days, AddDays) on an empty or invalid date
//   gives the empty date, as does a result outside years 1..9999. The
//   difference of two dates (a - b, a.DaysUntil(b)) is 0 when either is empty
//   or invalid.
// - Offset(months, flag) moves by whole months; the day is clamped to the
//   length of the target month (2026-03-31 -1 month -> 2026-02-28).
//   Flag 0 is that plain offset. Flag 1 (any non-zero flag) treats the date as
//   the END of a period and answers the START of the period that follows the
//   offset one: the month end is sticky (a date on the last day of its month
//   lands on the last day of the target month) and the result is the day
//   after. So with a fiscal year ending 2026-12-31, Offset(-12, 1) is
//   2026-01-01 (the first day of that year) and Offset(0, 1) is 2027-01-01;
//   2027-02-28 +12 flag 1 -> 2028-03-01 (day after 2028-02-29), flag 0 ->
//   2028-02-28; 2026-04-30 -1 flag 1 -> 2026-04-01, flag 0 -> 2026-03-30.
//   An empty or invalid date offsets to the empty date, as does a target
//   outside years 1..9999.
// - Text: Format gives "yyyy-mm-dd" ("" for the empty date). Parse accepts
//   "yyyy-mm-dd", "yyyymmdd", "mm/dd/yyyy" (month and day with one or two
//   digits in the forms with separators) and blank text (the empty date);
//   anything else, or a day that does not exist, is refused.
// - Storage: the integer yyyymmdd (0 for empty), whatever the column's
//   decimals; cells sort as dates do.
#pragma once

#include <compare>
#include <memory>
#include <string>
#include <string_view>

#include "framework/base/export.h"
#include "framework/types/ts_data.h"

class TS_EXPORT tsDate : public tsData {
 public:
  // The empty date.
  tsDate() = default;
  tsDate(int year, int month, int day);
  static tsDate FromYmd(int yyyymmdd);
  // The local calendar date of today.
  static tsDate Today();

  int Year() const { return ymd_ / 10000; }
  int Month() const { return ymd_ / 100 % 100; }
  int Day() const { return ymd_ % 100; }
  int Ymd() const { return ymd_; }
  bool IsEmpty() const { return ymd_ == 0; }
  // A real calendar day (never true for the empty date).
  bool IsValid() const;
  bool operator!() const { return IsEmpty(); }

  // Moves this date by `days` in place (see the rules above); returns *this.
  tsDate& AddDays(int days);
  // Days from this date to `other` (other - *this).
  int DaysUntil(const tsDate& other) const;
  // 0 Sunday .. 6 Saturday; -1 for an empty or invalid date.
  int DayOfWeek() const;
  bool IsLeapYear() const { return IsLeapYear(Year()); }
  int DaysInMonth() const { return DaysInMonth(Year(), Month()); }
  static bool IsLeapYear(int year);
  // 0 for a month outside 1..12.
  static int DaysInMonth(int year, int month);
  tsDate Offset(int months, int flag) const;

  friend tsDate operator+(const tsDate& d, int days) { return tsDate(d).AddDays(days); }
  friend tsDate operator+(int days, const tsDate& d) { return tsDate(d).AddDays(days); }
  friend tsDate operator-(const tsDate& d, int days) { return tsDate(d).AddDays(-days); }
  friend int operator-(const tsDate& a, const tsDate& b) { return b.DaysUntil(a); }
  tsDate& operator+=(int days) { return AddDays(days); }
  tsDate& operator-=(int days) { return AddDays(-days); }
  friend bool operator==(const tsDate& a, const tsDate& b) { return a.ymd_ == b.ymd_; }
  friend std::strong_ordering operator<=>(const tsDate& a, const tsDate& b) { return a.ymd_ <=> b.ymd_; }

  // tsData
  tsDataType Type() const override { return tsDataType::kDate; }
  std::unique_ptr<tsData> Clone() const override;
  // A date copies; anything else passes through its text (Parse), and text
  // that is not a date gives the empty date.
  void SetVal(const tsData& other) override;
  std::string Format() const override;
  bool Parse(std::string_view text) override;
  bool IsNull() const override { return IsEmpty(); }
  void Clear() override { ymd_ = 0; }
  bool ToCell(tsCell& out, int decimals) const override;
  // Accepts 0 (empty) and valid yyyymmdd integers.
  bool FromCell(const tsCell& in, int decimals) override;
  int Compare(const tsData& other) const override;

 private:
  int ymd_ = 0;
};
