// tsDouble: exact decimal arithmetic, text and storage.
#include "framework/types/ts_double.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "framework/types/ts_decimal128.h"
#include "framework/types/ts_value_support.h"

using ts_detail::DivRoundHalfAway;
using ts_detail::FitsMantissa;
using ts_detail::i128;
using ts_detail::kMaxScale;
using ts_detail::Normalize;
using ts_detail::Pow10Wide;
using ts_detail::u128;

namespace {

// Decimal text of m / 10^scale with exactly `scale` decimals.
std::string FormatScaled(i128 m, int scale) {
  const bool negative = m < 0;
  u128 a = negative ? static_cast<u128>(-m) : static_cast<u128>(m);
  char buf[64];
  char* p = buf + sizeof buf;
  int digits = 0;
  do {
    *--p = static_cast<char>('0' + static_cast<int>(a % 10));
    a /= 10;
    ++digits;
    if (digits == scale) *--p = '.';
  } while (a != 0 || digits <= scale);
  if (negative) *--p = '-';
  return std::string(p, buf + sizeof buf);
}

}  // namespace

tsDouble tsDouble::FromText(std::string_view text, int decimals) {
  tsDouble d(0, decimals);
  if (!d.Parse(text)) d.valid_ = false;
  return d;
}

tsDouble tsDouble::FromDouble(double value, int decimals) {
  tsDouble d(0, decimals);
  const int places = d.decimals_;
  if (!std::isfinite(value)) return Invalid(places);
  // The shortest text that reads back as the same double, in scientific form
  // ("-2.675e+00"): digits D and exponent e, value = D * 10^(e - digits + 1).
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string_view t(buf, static_cast<size_t>(res.ptr - buf));
  bool negative = false;
  if (!t.empty() && t.front() == '-') {
    negative = true;
    t.remove_prefix(1);
  }
  i128 digits = 0;
  int count = 0;
  size_t i = 0;
  for (; i < t.size() && t[i] != 'e'; ++i) {
    if (t[i] == '.') continue;
    digits = digits * 10 + (t[i] - '0');
    ++count;
  }
  int exponent = 0;
  if (i < t.size()) {
    std::string_view e = t.substr(i + 1);
    if (!e.empty() && e.front() == '+') e.remove_prefix(1);
    std::from_chars(e.data(), e.data() + e.size(), exponent);
  }
  // Mantissa at `places` decimals = digits * 10^k.
  const int k = exponent - count + 1 + places;
  i128 m;
  if (k >= 0) {
    if (digits != 0 && k > 21) return Invalid(places);  // at least 10^21
    m = digits * Pow10Wide(k);
  } else if (-k > 38) {
    m = 0;
  } else {
    m = DivRoundHalfAway(digits, Pow10Wide(-k));
  }
  if (negative) m = -m;
  if (!FitsMantissa(m)) return Invalid(places);
  d.m_ = static_cast<int64_t>(m);
  d.scale_ = static_cast<int8_t>(places);
  return d;
}

tsDouble tsDouble::FromScaled(int64_t mantissa, int scale, int decimals) {
  tsDouble d(0, decimals);
  i128 m = mantissa;
  if (scale < 0) {
    if (scale < -kMaxScale) return mantissa == 0 ? d : Invalid(decimals);
    m *= Pow10Wide(-scale);
    scale = 0;
  }
  // Below 10^-19 every 64-bit mantissa rounds (half away, to 18 decimals)
  // to 0; 10^(scale - 18) would not fit 128 bits beyond that.
  if (scale > kMaxScale + 19) return d;
  if (!Normalize(m, scale, false)) return Invalid(decimals);
  d.m_ = static_cast<int64_t>(m);
  d.scale_ = static_cast<int8_t>(scale);
  return d;
}

tsDouble tsDouble::Invalid(int decimals) {
  tsDouble d(0, decimals);
  d.valid_ = false;
  return d;
}

tsDouble& tsDouble::Round(int n) {
  n = ClampDecimals(n);
  if (valid_ && scale_ > n) {
    m_ = static_cast<int64_t>(DivRoundHalfAway(m_, Pow10Wide(scale_ - n)));
    scale_ = static_cast<int8_t>(n);
  }
  return *this;
}

tsDouble tsDouble::Rounded(int n) const {
  tsDouble r = *this;
  r.Round(n);
  return r;
}

double tsDouble::ToDouble() const {
  if (!valid_) return std::numeric_limits<double>::quiet_NaN();
  constexpr int64_t kExact = int64_t{1} << 53;
  if (m_ > -kExact && m_ < kExact) {
    // Both operands are exact doubles, so the one division rounds correctly.
    return static_cast<double>(m_) / static_cast<double>(ts_detail::Pow10(scale_));
  }
  const std::string t = std::to_string(m_) + "e-" + std::to_string(scale_);
  double v = 0;
  std::from_chars(t.data(), t.data() + t.size(), v);
  return v;
}

long long tsDouble::ToLongLong() const {
  if (!valid_) return 0;
  return m_ / ts_detail::Pow10(scale_);
}

namespace {

int MaxOf(int a, int b) { return a > b ? a : b; }

}  // namespace

tsDouble tsDouble::Add(const tsDouble& a, const tsDouble& b) {
  const int decimals = MaxOf(a.decimals_, b.decimals_);
  if (!a.valid_ || !b.valid_) return Invalid(decimals);
  int s = MaxOf(a.scale_, b.scale_);
  i128 m = static_cast<i128>(a.m_) * Pow10Wide(s - a.scale_) + static_cast<i128>(b.m_) * Pow10Wide(s - b.scale_);
  if (!Normalize(m, s, false)) return Invalid(decimals);
  return FromScaled(static_cast<int64_t>(m), s, decimals);
}

tsDouble tsDouble::Subtract(const tsDouble& a, const tsDouble& b) { return Add(a, b.Negated()); }

tsDouble tsDouble::Multiply(const tsDouble& a, const tsDouble& b) {
  const int decimals = MaxOf(a.decimals_, b.decimals_);
  if (!a.valid_ || !b.valid_) return Invalid(decimals);
  i128 m = static_cast<i128>(a.m_) * static_cast<i128>(b.m_);
  int s = a.scale_ + b.scale_;
  if (!Normalize(m, s, true)) return Invalid(decimals);
  return FromScaled(static_cast<int64_t>(m), s, decimals);
}

tsDouble tsDouble::Divide(const tsDouble& a, const tsDouble& b) {
  const int decimals = MaxOf(a.decimals_, b.decimals_);
  if (!a.valid_ || !b.valid_ || b.m_ == 0) return Invalid(decimals);
  // Quotient mantissa at scale t: a.m * 10^(t - a.scale + b.scale) / b.m,
  // by long division so that no intermediate overflows.
  const int t = MaxOf(MaxOf(10, decimals), MaxOf(a.scale_, b.scale_));
  const int steps = t - a.scale_ + b.scale_;
  const bool negative = (a.m_ < 0) != (b.m_ < 0);
  const u128 num = static_cast<u128>(a.m_ < 0 ? -static_cast<i128>(a.m_) : static_cast<i128>(a.m_));
  const u128 den = static_cast<u128>(b.m_ < 0 ? -static_cast<i128>(b.m_) : static_cast<i128>(b.m_));
  u128 q = num / den;
  u128 r = num % den;
  // Beyond 10^37 the quotient cannot fit 64 bits even after dropping up to
  // 18 trailing zeros.
  const u128 limit = static_cast<u128>(Pow10Wide(37));
  for (int i = 0; i < steps; ++i) {
    if (q > limit) return Invalid(decimals);
    r *= 10;
    q = q * 10 + r / den;
    r %= den;
  }
  if (r >= den - r) ++q;  // half away from zero
  if (q > limit) return Invalid(decimals);
  i128 m = static_cast<i128>(q);
  if (negative) m = -m;
  int s = t;
  if (!Normalize(m, s, true)) return Invalid(decimals);
  return FromScaled(static_cast<int64_t>(m), s, decimals);
}

tsDouble tsDouble::Negated() const {
  tsDouble r = *this;
  r.m_ = -m_;  // never overflows: mantissas stay within +-INT64_MAX
  return r;
}

int tsDouble::Cmp(const tsDouble& a, const tsDouble& b) {
  if (!a.valid_ || !b.valid_) return a.valid_ == b.valid_ ? 0 : (a.valid_ ? -1 : 1);
  return ts_detail::CompareDecimal(a.m_, a.scale_, b.m_, b.scale_);
}

tsDouble& tsDouble::AssignKeepingDecimals(const tsDouble& r) {
  m_ = r.m_;
  scale_ = r.scale_;
  valid_ = r.valid_;
  return *this;
}

std::unique_ptr<tsData> tsDouble::Clone() const { return std::make_unique<tsDouble>(*this); }

void tsDouble::SetVal(const tsData& other) {
  if (other.Type() == Type()) {
    tsDouble::operator=(static_cast<const tsDouble&>(other));
    return;
  }
  if (ts_detail::IsNumberFamily(other.Type())) {
    int64_t m = 0;
    int s = 0;
    if (other.GetNumber(m, s)) {
      AssignKeepingDecimals(FromScaled(m, s));
    } else {
      valid_ = false;
    }
    return;
  }
  ts_detail::SetViaText(*this, other);
}

std::string tsDouble::Format() const {
  if (!valid_) return "#OVERFLOW";
  i128 m = m_;
  if (scale_ > decimals_) {
    m = DivRoundHalfAway(m, Pow10Wide(scale_ - decimals_));
  } else {
    m *= Pow10Wide(decimals_ - scale_);
  }
  return FormatScaled(m, decimals_);
}

bool tsDouble::Parse(std::string_view text) {
  int64_t m = 0;
  int s = 0;
  if (text.find_first_not_of(" \t") != std::string_view::npos && !ts_detail::ParseDecimal(text, m, s)) return false;
  m_ = m;
  scale_ = static_cast<int8_t>(s);
  valid_ = true;
  return true;
}

void tsDouble::Clear() {
  m_ = 0;
  scale_ = 0;
  valid_ = true;
}

bool tsDouble::ToCell(tsCell& out, int decimals) const {
  if (!valid_ || decimals < 0 || decimals > kMaxScale) return false;
  i128 m = m_;
  if (scale_ > decimals) {
    const i128 p = Pow10Wide(scale_ - decimals);
    if (m % p != 0) return false;
    m /= p;
  } else {
    m *= Pow10Wide(decimals - scale_);
    if (!FitsMantissa(m)) return false;
  }
  out = tsCell::Int(static_cast<int64_t>(m));
  return true;
}

bool tsDouble::FromCell(const tsCell& in, int decimals) {
  if (in.is_text || decimals < 0 || decimals > kMaxScale || in.i == INT64_MIN) return false;
  m_ = in.i;
  scale_ = static_cast<int8_t>(decimals);
  valid_ = true;
  return true;
}

int tsDouble::Compare(const tsData& other) const { return ts_detail::CompareValues(*this, other); }

bool tsDouble::GetNumber(int64_t& mantissa, int& scale) const {
  if (!valid_) return false;
  mantissa = m_;
  scale = scale_;
  return true;
}
