// tsNum<T>: a whole number of the signed integer type T (used with short and
// long): journal numbers, counts, payment ids.
//
// Arithmetic never wraps: results are computed wide and clamped to T's range
// (saturating); division or remainder by zero gives 0. Comparisons with
// whole numbers are exact (a tsNum<short> never equals 70000). 0 is the null
// value. Text: the number ("-12"); Parse accepts a whole number in T's range
// (grammar of ts_detail::ParseDecimal, so "1,000" and "12.0" too). Storage:
// the value scaled by the column's declared decimals (normally 0), refused
// when it does not fit. From another number (SetVal) the value is rounded
// half away from zero and clamped to T's range.
#pragma once

#include <compare>
#include <concepts>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "framework/types/ts_data.h"
#include "framework/types/ts_value_support.h"

template <typename T>
class tsNum : public tsData {
  static_assert(std::is_integral_v<T> && std::is_signed_v<T> && sizeof(T) <= 8, "tsNum holds a signed integer");

 public:
  tsNum() = default;
  tsNum(T value) : v_(value) {}

  T Value() const { return v_; }
  void SetValue(T value) { v_ = value; }
  bool operator!() const { return v_ == 0; }

  friend tsNum operator+(const tsNum& a, const tsNum& b) { return Clamp(Wide(a.v_) + b.v_); }
  friend tsNum operator-(const tsNum& a, const tsNum& b) { return Clamp(Wide(a.v_) - b.v_); }
  friend tsNum operator*(const tsNum& a, const tsNum& b) { return Clamp(Wide(a.v_) * b.v_); }
  friend tsNum operator/(const tsNum& a, const tsNum& b) { return b.v_ == 0 ? tsNum() : Clamp(Wide(a.v_) / b.v_); }
  friend tsNum operator%(const tsNum& a, const tsNum& b) { return b.v_ == 0 ? tsNum() : Clamp(Wide(a.v_) % b.v_); }
  friend tsNum operator-(const tsNum& a) { return Clamp(-Wide(a.v_)); }
  // With a plain whole number on either side.
  friend tsNum operator+(const tsNum& a, long long b) { return Clamp(Wide(a.v_) + b); }
  friend tsNum operator+(long long a, const tsNum& b) { return Clamp(Wide(a) + b.v_); }
  friend tsNum operator-(const tsNum& a, long long b) { return Clamp(Wide(a.v_) - b); }
  friend tsNum operator-(long long a, const tsNum& b) { return Clamp(Wide(a) - b.v_); }
  friend tsNum operator*(const tsNum& a, long long b) { return Clamp(Wide(a.v_) * b); }
  friend tsNum operator*(long long a, const tsNum& b) { return Clamp(Wide(a) * b.v_); }
  friend tsNum operator/(const tsNum& a, long long b) { return b == 0 ? tsNum() : Clamp(Wide(a.v_) / b); }

  tsNum& operator+=(const tsNum& o) { return *this = *this + o; }
  tsNum& operator-=(const tsNum& o) { return *this = *this - o; }
  tsNum& operator*=(const tsNum& o) { return *this = *this * o; }
  tsNum& operator/=(const tsNum& o) { return *this = *this / o; }
  tsNum& operator+=(long long o) { return *this = *this + o; }
  tsNum& operator-=(long long o) { return *this = *this - o; }
  tsNum& operator++() { return *this += 1LL; }
  tsNum& operator--() { return *this -= 1LL; }
  tsNum operator++(int) { tsNum old = *this; ++*this; return old; }
  tsNum operator--(int) { tsNum old = *this; --*this; return old; }

  friend bool operator==(const tsNum& a, const tsNum& b) { return a.v_ == b.v_; }
  friend std::strong_ordering operator<=>(const tsNum& a, const tsNum& b) { return a.v_ <=> b.v_; }
  friend bool operator==(const tsNum& a, long long b) { return static_cast<long long>(a.v_) == b; }
  friend std::strong_ordering operator<=>(const tsNum& a, long long b) { return static_cast<long long>(a.v_) <=> b; }

  // tsData
  tsDataType Type() const override { return tsDataType::kNum; }
  std::unique_ptr<tsData> Clone() const override { return std::make_unique<tsNum>(*this); }
  void SetVal(const tsData& other) override {
    int64_t m = 0;
    int s = 0;
    if (ts_detail::IsNumberFamily(other.Type())) {
      v_ = other.GetNumber(m, s) ? static_cast<T>(ts_detail::DecimalToInteger(m, s, kMin, kMax)) : T{0};
      return;
    }
    ts_detail::SetViaText(*this, other);
  }
  std::string Format() const override { return std::to_string(v_); }
  bool Parse(std::string_view text) override {
    long long v = 0;
    if (text.find_first_not_of(" \t") != std::string_view::npos && !ts_detail::ParseInteger(text, kMin, kMax, v)) {
      return false;
    }
    v_ = static_cast<T>(v);
    return true;
  }
  bool IsNull() const override { return v_ == 0; }
  void Clear() override { v_ = 0; }
  bool ToCell(tsCell& out, int decimals) const override {
    if (decimals < 0 || decimals > ts_detail::kMaxScale) return false;
    long long scaled = 0;
    if (__builtin_mul_overflow(static_cast<long long>(v_), ts_detail::Pow10(decimals), &scaled)) return false;
    out = tsCell::Int(scaled);
    return true;
  }
  // value = cell / 10^decimals; false unless that is a whole number in T's range.
  bool FromCell(const tsCell& in, int decimals) override {
    if (in.is_text || decimals < 0 || decimals > ts_detail::kMaxScale) return false;
    const long long p = ts_detail::Pow10(decimals);
    if (in.i % p != 0 || in.i / p < kMin || in.i / p > kMax) return false;
    v_ = static_cast<T>(in.i / p);
    return true;
  }
  int Compare(const tsData& other) const override { return ts_detail::CompareValues(*this, other); }
  bool GetNumber(int64_t& mantissa, int& scale) const override {
    mantissa = v_;
    scale = 0;
    return true;
  }

 private:
  static constexpr long long kMin = std::numeric_limits<T>::min();
  static constexpr long long kMax = std::numeric_limits<T>::max();
  static __int128 Wide(long long v) { return v; }
  static tsNum Clamp(__int128 v) { return tsNum(static_cast<T>(v < kMin ? kMin : (v > kMax ? kMax : v))); }

  T v_ = 0;
};
