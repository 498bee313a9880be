// tsTextBase: the shared implementation of the text values.
#include "framework/types/ts_text_base.h"

#include "framework/types/ts_value_support.h"

bool tsTextBase::IsBlank() const { return s_.find_first_not_of(' ') == std::string::npos; }

void tsTextBase::SetVal(const tsData& other) {
  if (ts_detail::IsTextFamily(other.Type())) {
    s_ = static_cast<const tsTextBase&>(other).s_;
  } else {
    s_ = other.Format();
  }
}

bool tsTextBase::ToCell(tsCell& out, int /*decimals*/) const {
  out = tsCell::Text(s_);
  return true;
}

bool tsTextBase::FromCell(const tsCell& in, int /*decimals*/) {
  if (!in.is_text) return false;
  s_ = in.s;
  return true;
}

int tsTextBase::Compare(const tsData& other) const { return ts_detail::CompareValues(*this, other); }
