// Helpers shared by the typed values: decimal text, rounding to integers and
// the comparison rule of tsData::Compare.
#include "framework/types/ts_value_support.h"

#include "framework/types/ts_date.h"
#include "framework/types/ts_decimal128.h"
#include "framework/types/ts_text_base.h"
#include "framework/types/ts_time.h"

namespace ts_detail {

int64_t Pow10(int n) {
  static constexpr int64_t kTable[] = {1LL,
                                       10LL,
                                       100LL,
                                       1000LL,
                                       10000LL,
                                       100000LL,
                                       1000000LL,
                                       10000000LL,
                                       100000000LL,
                                       1000000000LL,
                                       10000000000LL,
                                       100000000000LL,
                                       1000000000000LL,
                                       10000000000000LL,
                                       100000000000000LL,
                                       1000000000000000LL,
                                       10000000000000000LL,
                                       100000000000000000LL,
                                       1000000000000000000LL};
  if (n < 0) return 1;
  if (n > kMaxScale) n = kMaxScale;
  return kTable[n];
}

bool IsNumberFamily(tsDataType t) {
  switch (t) {
    case tsDataType::kDouble:
    case tsDataType::kCurrency:
    case tsDataType::kNum:
    case tsDataType::kChoice:
    case tsDataType::kBool:
      return true;
    default:
      return false;
  }
}

bool IsTextFamily(tsDataType t) {
  return t == tsDataType::kAlpha || t == tsDataType::kText || t == tsDataType::kPhone;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view t) {
  while (!t.empty() && IsSpace(t.front())) t.remove_prefix(1);
  while (!t.empty() && IsSpace(t.back())) t.remove_suffix(1);
  return t;
}

}  // namespace

bool ParseDecimal(std::string_view text, int64_t& mantissa, int& scale) {
  std::string_view t = Trim(text);
  size_t i = 0;
  const size_t n = t.size();
  bool negative = false;
  if (i < n && (t[i] == '+' || t[i] == '-')) {
    negative = t[i] == '-';
    ++i;
  }
  // Integer part, with optional thousands separators.
  std::string int_digits;
  int group = 0;
  bool seen_comma = false;
  while (i < n && (IsDigit(t[i]) || t[i] == ',')) {
    if (t[i] == ',') {
      // The first group has 1..3 digits, every later one exactly 3.
      if (group == 0 || (seen_comma ? group != 3 : group > 3)) return false;
      seen_comma = true;
      group = 0;
    } else {
      int_digits.push_back(t[i]);
      ++group;
    }
    ++i;
  }
  if (seen_comma && group != 3) return false;
  std::string frac_digits;
  if (i < n && t[i] == '.') {
    ++i;
    while (i < n && IsDigit(t[i])) frac_digits.push_back(t[i++]);
  }
  if (i != n || (int_digits.empty() && frac_digits.empty())) return false;

  // Leading zeros of the integer part carry nothing; trailing zeros of the
  // fraction beyond 18 places carry nothing either.
  size_t lead = 0;
  while (lead < int_digits.size() && int_digits[lead] == '0') ++lead;
  int_digits.erase(0, lead);
  while (frac_digits.size() > static_cast<size_t>(kMaxScale) && frac_digits.back() == '0') frac_digits.pop_back();
  if (frac_digits.size() > static_cast<size_t>(kMaxScale)) return false;
  if (int_digits.size() + frac_digits.size() > 38) return false;

  i128 m = 0;
  for (char c : int_digits) m = m * 10 + (c - '0');
  for (char c : frac_digits) m = m * 10 + (c - '0');
  int s = static_cast<int>(frac_digits.size());
  if (negative) m = -m;
  if (!Normalize(m, s, false)) return false;
  mantissa = static_cast<int64_t>(m);
  scale = s;
  return true;
}

bool ParseInteger(std::string_view text, long long min, long long max, long long& out) {
  int64_t m = 0;
  int s = 0;
  if (!ParseDecimal(text, m, s)) return false;
  const int64_t p = Pow10(s);
  if (m % p != 0) return false;
  const int64_t v = m / p;
  if (v < min || v > max) return false;
  out = v;
  return true;
}

long long DecimalToInteger(int64_t mantissa, int scale, long long min, long long max) {
  i128 q = scale > 0 ? DivRoundHalfAway(mantissa, Pow10Wide(scale)) : static_cast<i128>(mantissa);
  if (q < min) return min;
  if (q > max) return max;
  return static_cast<long long>(q);
}

int CompareDecimal(int64_t am, int as, int64_t bm, int bs) {
  const int s = as > bs ? as : bs;
  const i128 a = static_cast<i128>(am) * Pow10Wide(s - as);
  const i128 b = static_cast<i128>(bm) * Pow10Wide(s - bs);
  return a < b ? -1 : (a > b ? 1 : 0);
}

int CompareValues(const tsData& a, const tsData& b) {
  const tsDataType ta = a.Type();
  const tsDataType tb = b.Type();
  if (IsNumberFamily(ta) && IsNumberFamily(tb)) {
    int64_t am = 0, bm = 0;
    int as = 0, bs = 0;
    const bool va = a.GetNumber(am, as);
    const bool vb = b.GetNumber(bm, bs);
    if (!va || !vb) return va == vb ? 0 : (va ? -1 : 1);
    return CompareDecimal(am, as, bm, bs);
  }
  if (ta == tsDataType::kDate && tb == tsDataType::kDate) {
    const int x = static_cast<const tsDate&>(a).Ymd();
    const int y = static_cast<const tsDate&>(b).Ymd();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  if (ta == tsDataType::kTime && tb == tsDataType::kTime) {
    const int x = static_cast<const tsTime&>(a).Seconds();
    const int y = static_cast<const tsTime&>(b).Seconds();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  int c;
  if (IsTextFamily(ta) && IsTextFamily(tb)) {
    c = static_cast<const tsTextBase&>(a).str().compare(static_cast<const tsTextBase&>(b).str());
  } else {
    c = a.Format().compare(b.Format());
  }
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

void SetViaText(tsData& to, const tsData& from) {
  if (!to.Parse(from.Format())) to.Clear();
}

}  // namespace ts_detail
