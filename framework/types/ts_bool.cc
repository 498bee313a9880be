// tsBool: text, numeric view and storage.
#include "framework/types/ts_bool.h"

#include <cctype>
#include <string>

#include "framework/types/ts_value_support.h"

std::unique_ptr<tsData> tsBool::Clone() const { return std::make_unique<tsBool>(*this); }

void tsBool::SetVal(const tsData& other) {
  if (ts_detail::IsNumberFamily(other.Type())) {
    int64_t m = 0;
    int s = 0;
    v_ = other.GetNumber(m, s) && m != 0;
    return;
  }
  ts_detail::SetViaText(*this, other);
}

bool tsBool::Parse(std::string_view text) {
  std::string t;
  for (char c : text) {
    if (c != ' ' && c != '\t') t.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  if (t.empty() || t == "false" || t == "no" || t == "f" || t == "n" || t == "0") {
    v_ = false;
  } else if (t == "true" || t == "yes" || t == "t" || t == "y" || t == "1") {
    v_ = true;
  } else {
    return false;
  }
  return true;
}

bool tsBool::ToCell(tsCell& out, int /*decimals*/) const {
  out = tsCell::Int(v_ ? 1 : 0);
  return true;
}

bool tsBool::FromCell(const tsCell& in, int /*decimals*/) {
  if (in.is_text || (in.i != 0 && in.i != 1)) return false;
  v_ = in.i == 1;
  return true;
}

int tsBool::Compare(const tsData& other) const { return ts_detail::CompareValues(*this, other); }

bool tsBool::GetNumber(int64_t& mantissa, int& scale) const {
  mantissa = v_ ? 1 : 0;
  scale = 0;
  return true;
}
