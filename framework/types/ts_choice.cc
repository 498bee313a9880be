// tsChoice: text, numeric view and storage.
#include "framework/types/ts_choice.h"

#include <climits>

#include "framework/types/ts_value_support.h"

std::unique_ptr<tsData> tsChoice::Clone() const { return std::make_unique<tsChoice>(*this); }

void tsChoice::SetVal(const tsData& other) {
  if (ts_detail::IsNumberFamily(other.Type())) {
    int64_t m = 0;
    int s = 0;
    v_ = other.GetNumber(m, s) ? static_cast<int>(ts_detail::DecimalToInteger(m, s, INT_MIN, INT_MAX)) : 0;
    return;
  }
  ts_detail::SetViaText(*this, other);
}

std::string tsChoice::Format() const { return std::to_string(v_); }

bool tsChoice::Parse(std::string_view text) {
  long long v = 0;
  if (text.find_first_not_of(" \t") != std::string_view::npos &&
      !ts_detail::ParseInteger(text, INT_MIN, INT_MAX, v)) return false;
  v_ = static_cast<int>(v);
  return true;
}

bool tsChoice::ToCell(tsCell& out, int /*decimals*/) const {
  out = tsCell::Int(v_);
  return true;
}

bool tsChoice::FromCell(const tsCell& in, int /*decimals*/) {
  if (in.is_text || in.i < INT_MIN || in.i > INT_MAX) return false;
  v_ = static_cast<int>(in.i);
  return true;
}

int tsChoice::Compare(const tsData& other) const { return ts_detail::CompareValues(*this, other); }

bool tsChoice::GetNumber(int64_t& mantissa, int& scale) const {
  mantissa = v_;
  scale = 0;
  return true;
}
