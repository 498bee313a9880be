// tsDouble: an exact decimal number with a declared count of decimals; the
// type of run, sequence and check numbers (0 decimals), rates and amounts.
//
// Representation: a 64-bit mantissa with its own scale (0..18), value =
// mantissa / 10^scale, plus the declared decimals (0..18). The declared
// decimals govern the text (Format) and are the default of nothing else:
// they never limit what the number holds. A number declared with 0 decimals
// that is assigned 12.34 holds 12.34 and shows "12".
//
// Arithmetic is exact (computed through 128-bit integers):
//   + and -  the result has the larger scale of the operands;
//   *        the scales add, then trailing zeros are dropped (2.50 * 2 is held
//            as 5); a product needing more than 18 decimals is rounded half
//            away from zero to 18 decimals;
//   /        the quotient is rounded half away from zero to at least 10
//            decimals (more when an operand or the declared decimals have
//            more, at most 18), then trailing zeros are dropped; division by
//            zero gives an invalid value.
// A binary operator's result declares the larger of the operands' declared
// decimals; the compound assignments (+= -= *= /=) and ++/-- keep the
// declared decimals of the number they change.
//
// Overflow never wraps. A result whose mantissa does not fit +-INT64_MAX once
// trailing zeros are dropped is INVALID: IsValid() is false, every
// arithmetic result with an invalid operand is invalid, Format gives
// "#OVERFLOW", ToCell refuses it, ToDouble gives NaN and ToLongLong 0.
// Invalid values compare equal to each other and greater than every valid
// number, so ordered containers stay well-formed.
//
// Rounding (Round, Format, FromDouble) is half away from zero: 2.345 -> 2.35,
// -2.345 -> -2.35, -0.005 -> -0.01, 2.5 -> 3, -2.5 -> -3.
//
// Storage: a column declared with d decimals stores mantissa scaled to d
// places as a 64-bit integer; ToCell refuses a value that is not exact at d
// places or whose scaled mantissa does not fit. Cells of one column sort as
// the values do.
#pragma once

#include <compare>
#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "framework/base/export.h"
#include "framework/types/ts_data.h"

class TS_EXPORT tsDouble : public tsData {
 public:
  // 0 with 0 decimals.
  tsDouble() = default;
  // A whole number with `decimals` declared decimals. Implicit, so whole
  // numbers mix with decimals in arithmetic and comparisons (n + 1, x == 0).
  // An unsigned value beyond INT64_MAX gives an invalid value.
  template <std::integral I>
    requires(!std::same_as<I, bool>)
  tsDouble(I value, int decimals = 0) : decimals_(ClampDecimals(decimals)) {
    if constexpr (std::is_unsigned_v<I>) {
      if (static_cast<unsigned long long>(value) > static_cast<unsigned long long>(INT64_MAX)) {
        valid_ = false;
        return;
      }
    } else {
      if (static_cast<long long>(value) == INT64_MIN) {
        valid_ = false;
        return;
      }
    }
    m_ = static_cast<int64_t>(value);
  }
  // Binary floating point enters only through FromDouble, which says how it
  // rounds.
  tsDouble(double) = delete;

  // The value of decimal text (grammar of Parse), exactly; declared decimals
  // `decimals`. Text that is not a number gives an invalid value.
  static tsDouble FromText(std::string_view text, int decimals = 0);
  // A binary double rounded half away from zero to `decimals` places. The
  // double is first read as its shortest decimal text (2.675 is "2.675", so
  // it rounds to 2.68 at 2 places). NaN, infinities and values out of range
  // give an invalid value.
  static tsDouble FromDouble(double value, int decimals);
  // mantissa * 10^-scale, exactly, with `decimals` declared: a scale above
  // 18 rounds half away from zero to 18 places, a negative scale multiplies;
  // invalid when the result does not fit (or mantissa is INT64_MIN).
  static tsDouble FromScaled(int64_t mantissa, int scale, int decimals = 0);
  // An invalid value (the result of an overflow).
  static tsDouble Invalid(int decimals = 0);

  bool IsValid() const { return valid_; }
  int Decimals() const { return decimals_; }
  // Changes the declared decimals (clamped to 0..18), never the value.
  void SetDecimals(int decimals) { decimals_ = ClampDecimals(decimals); }
  // The representation: value = Mantissa() / 10^Scale(). The scale is the
  // number of decimal places the value carries, which may include trailing
  // zeros (12.30 from 12.10 + 0.20 has scale 2).
  int Scale() const { return scale_; }
  int64_t Mantissa() const { return m_; }

  // Rounds the value in place to n decimals (n clamped to 0..18) half away
  // from zero; the declared decimals stay. Returns *this.
  tsDouble& Round(int n);
  // A copy rounded to n decimals.
  tsDouble Rounded(int n) const;

  // Nearest binary double (NaN when invalid).
  double ToDouble() const;
  // Whole part, truncated toward zero (0 when invalid).
  long long ToLongLong() const;

  // Arithmetic (see the file comment for scales, decimals and overflow).
  static tsDouble Add(const tsDouble& a, const tsDouble& b);
  static tsDouble Subtract(const tsDouble& a, const tsDouble& b);
  static tsDouble Multiply(const tsDouble& a, const tsDouble& b);
  static tsDouble Divide(const tsDouble& a, const tsDouble& b);
  tsDouble Negated() const;
  // Exact three-way comparison; invalid values after all valid ones.
  static int Cmp(const tsDouble& a, const tsDouble& b);

  friend tsDouble operator+(const tsDouble& a, const tsDouble& b) { return Add(a, b); }
  friend tsDouble operator-(const tsDouble& a, const tsDouble& b) { return Subtract(a, b); }
  friend tsDouble operator*(const tsDouble& a, const tsDouble& b) { return Multiply(a, b); }
  friend tsDouble operator/(const tsDouble& a, const tsDouble& b) { return Divide(a, b); }
  friend tsDouble operator-(const tsDouble& a) { return a.Negated(); }
  friend bool operator==(const tsDouble& a, const tsDouble& b) { return Cmp(a, b) == 0; }
  friend std::strong_ordering operator<=>(const tsDouble& a, const tsDouble& b) {
    return Cmp(a, b) <=> 0;
  }

  tsDouble& operator+=(const tsDouble& o) { return AssignKeepingDecimals(Add(*this, o)); }
  tsDouble& operator-=(const tsDouble& o) { return AssignKeepingDecimals(Subtract(*this, o)); }
  tsDouble& operator*=(const tsDouble& o) { return AssignKeepingDecimals(Multiply(*this, o)); }
  tsDouble& operator/=(const tsDouble& o) { return AssignKeepingDecimals(Divide(*this, o)); }
  tsDouble& operator++() { return *this += 1; }
  tsDouble& operator--() { return *this -= 1; }
  tsDouble operator++(int) { tsDouble old = *this; ++*this; return old; }
  tsDouble operator--(int) { tsDouble old = *this; --*this; return old; }
  // The zero test (false for an invalid value).
  bool operator!() const { return valid_ && m_ == 0; }

  // tsData
  tsDataType Type() const override { return tsDataType::kDouble; }
  std::unique_ptr<tsData> Clone() const override;
  // Same type: exact copy, declared decimals included. Another number: its
  // value, exactly (an invalid number gives an invalid value). Anything else
  // parses its text; text that is not a number gives 0.
  void SetVal(const tsData& other) override;
  // Declared decimals shown ("1234.50", "-0.01", "12"); more digits held than
  // declared are rounded half away from zero in the text only; no thousands
  // separators; "#OVERFLOW" when invalid.
  std::string Format() const override;
  // Grammar: ts_detail::ParseDecimal ("-1234.5", "1,234.50", "+3", ".5");
  // blank text is 0. Keeps the declared decimals and holds every digit given.
  bool Parse(std::string_view text) override;
  bool IsNull() const override { return !*this; }
  // 0, valid; the declared decimals stay.
  void Clear() override;
  bool ToCell(tsCell& out, int decimals) const override;
  // value = cell.i / 10^decimals exactly; declared decimals unchanged. False
  // for a text cell, decimals outside 0..18, or INT64_MIN.
  bool FromCell(const tsCell& in, int decimals) override;
  int Compare(const tsData& other) const override;
  bool GetNumber(int64_t& mantissa, int& scale) const override;

 protected:
  static int ClampDecimals(int d) { return d < 0 ? 0 : (d > 18 ? 18 : d); }
  // Takes r's value (and validity), keeps this number's declared decimals.
  tsDouble& AssignKeepingDecimals(const tsDouble& r);

 private:
  int64_t m_ = 0;
  int8_t scale_ = 0;
  int8_t decimals_ = 0;
  bool valid_ = true;
};
