// Helpers shared by the typed values: exact decimal text, rounding of a
// decimal to an integer, and the one comparison rule behind tsData::Compare.
// The header-only value templates (tsNum<T>, tclTSEnum<E>) call these, so
// they are exported; they are not meant for code outside framework/types.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/base/export.h"
#include "framework/types/ts_data.h"

namespace ts_detail {

// Largest scale (decimal places) a decimal mantissa carries.
inline constexpr int kMaxScale = 18;
// Mantissas are kept within +-kMaxMantissa (INT64_MAX) so that negation never
// overflows; INT64_MIN is never a valid mantissa.
inline constexpr int64_t kMaxMantissa = INT64_MAX;

// 10^n for n in 0..18.
TS_EXPORT int64_t Pow10(int n);

// True for kDouble, kCurrency, kNum, kChoice and kBool.
TS_EXPORT bool IsNumberFamily(tsDataType t);
// True for kAlpha, kText and kPhone.
TS_EXPORT bool IsTextFamily(tsDataType t);

// Parses people's decimal text into mantissa / 10^scale, exactly.
// Accepted: surrounding spaces, an optional sign ('+' or '-'), digits with
// optional thousands separators (',' between groups of three digits in the
// integer part), an optional '.' and fraction digits; at least one digit
// ("-1234.5", "1,234.50", "+3", ".5", "5."). Trailing zeros of the fraction
// are kept up to scale 18 and dropped beyond it. False when the text is not a
// number or its value cannot be held exactly (more than 18 significant
// decimals, or a mantissa beyond +-INT64_MAX).
TS_EXPORT bool ParseDecimal(std::string_view text, int64_t& mantissa, int& scale);

// Parses a whole number within [min, max] with the grammar of ParseDecimal
// ("12", "-3", "1,000", "12.0"); false for fractions and values outside.
TS_EXPORT bool ParseInteger(std::string_view text, long long min, long long max, long long& out);

// mantissa / 10^scale rounded to a whole number half away from zero, then
// clamped to [min, max].
TS_EXPORT long long DecimalToInteger(int64_t mantissa, int scale, long long min, long long max);

// Exact three-way comparison (-1, 0, 1) of two decimals of any scales.
TS_EXPORT int CompareDecimal(int64_t am, int as, int64_t bm, int bs);

// The comparison rule of tsData::Compare, shared by every value type:
// two values of the number family compare exactly by value (a number that
// holds no valid value sorts after every valid number); two dates by date
// (the empty date first); two times by time; every other pair, the text
// family included, byte-wise by Format().
TS_EXPORT int CompareValues(const tsData& a, const tsData& b);

// Assigns `from` to `to` through text: to.Parse(from.Format()), and when the
// text does not parse, to.Clear(). The fallback of every SetVal for values of
// another family.
TS_EXPORT void SetViaText(tsData& to, const tsData& from);

}  // namespace ts_detail
