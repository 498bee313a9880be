// tsTime: a time of day held as seconds since midnight (0..86399).
//
// Midnight (0) is the null value. Built from parts outside a day (hour 0..23,
// minute and second 0..59) the time is midnight. Text: Format gives
// "hh:mm:ss"; Parse accepts "hh:mm" and "hh:mm:ss" (hour with one or two
// digits) and blank text (midnight). Storage: the integer seconds, whatever
// the column's decimals.
#pragma once

#include <compare>
#include <memory>
#include <string>
#include <string_view>

#include "framework/base/export.h"
#include "framework/types/ts_data.h"

class TS_EXPORT tsTime : public tsData {
 public:
  static constexpr int kSecondsPerDay = 86400;

  tsTime() = default;
  tsTime(int hour, int minute, int second = 0);
  // Seconds since midnight; outside 0..86399 gives midnight.
  static tsTime FromSeconds(int seconds);
  // The local time of day now.
  static tsTime Now();

  int Hour() const { return secs_ / 3600; }
  int Minute() const { return secs_ / 60 % 60; }
  int Second() const { return secs_ % 60; }
  int Seconds() const { return secs_; }
  bool operator!() const { return secs_ == 0; }

  friend bool operator==(const tsTime& a, const tsTime& b) { return a.secs_ == b.secs_; }
  friend std::strong_ordering operator<=>(const tsTime& a, const tsTime& b) { return a.secs_ <=> b.secs_; }

  // tsData
  tsDataType Type() const override { return tsDataType::kTime; }
  std::unique_ptr<tsData> Clone() const override;
  // A time copies; anything else passes through its text, and text that is
  // not a time gives midnight.
  void SetVal(const tsData& other) override;
  std::string Format() const override;
  bool Parse(std::string_view text) override;
  bool IsNull() const override { return secs_ == 0; }
  void Clear() override { secs_ = 0; }
  bool ToCell(tsCell& out, int decimals) const override;
  // Accepts 0..86399.
  bool FromCell(const tsCell& in, int decimals) override;
  int Compare(const tsData& other) const override;

 private:
  int secs_ = 0;
};
