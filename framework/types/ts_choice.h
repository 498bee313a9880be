// tsChoice: a coded choice (one of a few stored numbers), and tclTSEnum<E>:
// a choice over the enumeration E.
//
// A choice is created with value 1 (the first choice) unless told otherwise;
// 0 means "not set": it is the null value (operator!, IsNull) and what
// Clear() leaves. Text: the number ("3"); Parse accepts a whole number, and
// blank text as 0.
// Storage: the integer, whatever the column's decimals. From another number
// (SetVal) the value is rounded half away from zero and clamped to int.
#pragma once

#include <compare>
#include <concepts>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "framework/base/export.h"
#include "framework/types/ts_data.h"

class TS_EXPORT tsChoice : public tsData {
 public:
  tsChoice() = default;
  tsChoice(int value) : v_(value) {}

  int Value() const { return v_; }
  void SetValue(int value) { v_ = value; }
  bool operator!() const { return v_ == 0; }

  friend bool operator==(const tsChoice& a, const tsChoice& b) { return a.v_ == b.v_; }
  friend std::strong_ordering operator<=>(const tsChoice& a, const tsChoice& b) { return a.v_ <=> b.v_; }
  friend bool operator==(const tsChoice& a, int b) { return a.v_ == b; }
  friend std::strong_ordering operator<=>(const tsChoice& a, int b) { return a.v_ <=> b; }

  // tsData
  tsDataType Type() const override { return tsDataType::kChoice; }
  std::unique_ptr<tsData> Clone() const override;
  // A number: rounded and clamped (see above); anything else passes through
  // its text (text that is not a whole number gives 0).
  void SetVal(const tsData& other) override;
  std::string Format() const override;
  bool Parse(std::string_view text) override;
  bool IsNull() const override { return v_ == 0; }
  void Clear() override { v_ = 0; }
  bool ToCell(tsCell& out, int decimals) const override;
  // Accepts any int.
  bool FromCell(const tsCell& in, int decimals) override;
  int Compare(const tsData& other) const override;
  bool GetNumber(int64_t& mantissa, int& scale) const override;

 private:
  int v_ = 1;
};

// A choice whose stored numbers are the values of the enumeration E (scoped
// or not). Default value 1 (as E). Its Type() is kChoice; it stores, formats
// and compares as a tsChoice.
template <typename E>
class tclTSEnum : public tsChoice {
  static_assert(std::is_enum_v<E>, "tclTSEnum is a choice over an enumeration");

 public:
  tclTSEnum() = default;
  tclTSEnum(E value) : tsChoice(static_cast<int>(value)) {}
  tclTSEnum(int value) : tsChoice(value) {}

  E Get() const { return static_cast<E>(Value()); }
  void Set(E value) { SetValue(static_cast<int>(value)); }

  friend bool operator==(const tclTSEnum& a, E b) { return a.Value() == static_cast<int>(b); }
  friend std::strong_ordering operator<=>(const tclTSEnum& a, E b) { return a.Value() <=> static_cast<int>(b); }

  std::unique_ptr<tsData> Clone() const override { return std::make_unique<tclTSEnum>(*this); }
};
