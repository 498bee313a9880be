// Edit formatters (see formatter.h).
#include "framework/ui/formatter.h"

#include <cmath>
#include <cstdint>

#include "framework/types/ts_value_support.h"

tsEditFormatter::~tsEditFormatter() = default;

tsNumEditFormatter::tsNumEditFormatter(unsigned short digits, unsigned short decimals, unsigned short style)
    : digits_(digits), decimals_(decimals > 18 ? 18 : decimals), style_(style), limit_(0, decimals_) {}

void tsNumEditFormatter::SetLowerLimit(double limit, short mode) {
  tsDouble l = tsDouble::FromDouble(limit, decimals_);
  if ((mode != kAbove && mode != kAtLeast) || !l.IsValid()) {
    limit_mode_ = kNoLimit;
    limit_ = tsDouble(0, decimals_);
    return;
  }
  limit_mode_ = mode;
  limit_ = l;
}

bool tsNumEditFormatter::ParseNumber(std::string_view text, tsDouble* out) const {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  tsDouble v(0, decimals_);
  if (b < e) {
    int64_t m = 0;
    int scale = 0;
    if (!ts_detail::ParseDecimal(text.substr(b, e - b), m, scale)) return false;
    v = tsDouble::FromScaled(m, scale, decimals_);
    if (!v.IsValid()) return false;
    // More places than the formatter keeps (trailing zeros aside).
    if (v.Rounded(decimals_) != v) return false;
    if (v < 0 && !(style_ & kAllowNegative)) return false;
    // Integer digits: |value| < 10^digits.
    tsDouble magnitude = v < 0 ? -v : v;
    if (digits_ < 19) {
      const tsDouble bound = tsDouble::FromScaled(1, -static_cast<int>(digits_));
      if (bound.IsValid() && magnitude >= bound) return false;
    }
  }
  if (limit_mode_ == kAbove && !(v > limit_)) return false;
  if (limit_mode_ == kAtLeast && v < limit_) return false;
  if (out) *out = v;
  return true;
}

std::string tsNumEditFormatter::FormatNumber(const tsDouble& value) const {
  if (!value.IsValid()) return "#OVERFLOW";
  tsDouble v = value.Rounded(decimals_);
  v.SetDecimals(decimals_);
  if ((style_ & kBlankWhenZero) && !v) return "";
  std::string t = v.Format();  // "-1234.50"
  if (!(style_ & kThousands)) return t;
  const bool negative = !t.empty() && t[0] == '-';
  const size_t start = negative ? 1 : 0;
  size_t point = t.find('.');
  if (point == std::string::npos) point = t.size();
  std::string grouped;
  const size_t int_len = point - start;
  for (size_t i = 0; i < int_len; ++i) {
    if (i > 0 && (int_len - i) % 3 == 0) grouped.push_back(',');
    grouped.push_back(t[start + i]);
  }
  return (negative ? "-" : "") + grouped + t.substr(point);
}

std::unique_ptr<tsEditFormatter> tsNumEditFormatter::Clone() const {
  return std::make_unique<tsNumEditFormatter>(*this);
}

std::string tsNumEditFormatter::Format(const tsData& value) const {
  if (const auto* d = dynamic_cast<const tsDouble*>(&value)) return FormatNumber(*d);
  int64_t m = 0;
  int scale = 0;
  if (value.GetNumber(m, scale)) return FormatNumber(tsDouble::FromScaled(m, scale, decimals_));
  return value.Format();
}

bool tsNumEditFormatter::Parse(std::string_view text, tsData& value) const {
  tsDouble v;
  if (!ParseNumber(text, &v)) return false;
  if (auto* d = dynamic_cast<tsDouble*>(&value)) {
    const int declared = d->Decimals();
    *static_cast<tsDouble*>(d) = v;
    d->SetDecimals(declared);
    return true;
  }
  value.SetVal(v);
  return true;
}

bool tsNumEditFormatter::IsValid(std::string_view text) const { return ParseNumber(text, nullptr); }

std::string tsNumEditFormatter::Normalize(std::string_view text) const {
  tsDouble v;
  if (!ParseNumber(text, &v)) return std::string(text);
  return FormatNumber(v);
}
