// tsBool: a yes/no field; false is the null value.
//
// Text: Format gives "true" or "false"; Parse accepts, in any letter case,
// "true"/"false", "yes"/"no", "t"/"f", "y"/"n", "1"/"0" and blank text
// (false). As a number it is 0 or 1. Storage: the integer 0 or 1.
#pragma once

#include <concepts>
#include <memory>
#include <string>
#include <string_view>

#include "framework/base/export.h"
#include "framework/types/ts_data.h"

class TS_EXPORT tsBool : public tsData {
 public:
  tsBool() = default;
  // Only a real bool converts (not pointers or numbers).
  template <std::same_as<bool> B>
  tsBool(B value) : v_(value) {}

  bool Value() const { return v_; }
  void SetValue(bool value) { v_ = value; }
  explicit operator bool() const { return v_; }
  bool operator!() const { return !v_; }

  friend bool operator==(const tsBool& a, const tsBool& b) { return a.v_ == b.v_; }
  friend bool operator==(const tsBool& a, bool b) { return a.v_ == b; }

  // tsData
  tsDataType Type() const override { return tsDataType::kBool; }
  std::unique_ptr<tsData> Clone() const override;
  // A number: true when it is not zero; anything else passes through its text
  // (text that is not a yes/no gives false).
  void SetVal(const tsData& other) override;
  std::string Format() const override { return v_ ? "true" : "false"; }
  bool Parse(std::string_view text) override;
  bool IsNull() const override { return !v_; }
  void Clear() override { v_ = false; }
  bool ToCell(tsCell& out, int decimals) const override;
  // Accepts 0 and 1.
  bool FromCell(const tsCell& in, int decimals) override;
  int Compare(const tsData& other) const override;
  bool GetNumber(int64_t& mantissa, int& scale) const override;

 private:
  bool v_ = false;
};
