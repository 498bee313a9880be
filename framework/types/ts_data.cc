// tsData: type names and the default (non-number) numeric view.
#include "framework/types/ts_data.h"

#include <ostream>

const char* tsDataTypeName(tsDataType t) {
  switch (t) {
    case tsDataType::kAlpha: return "alpha";
    case tsDataType::kDouble: return "double";
    case tsDataType::kCurrency: return "currency";
    case tsDataType::kDate: return "date";
    case tsDataType::kTime: return "time";
    case tsDataType::kBool: return "bool";
    case tsDataType::kChoice: return "choice";
    case tsDataType::kNum: return "num";
    case tsDataType::kText: return "text";
    case tsDataType::kPhone: return "phone";
  }
  return "unknown";
}

bool tsData::GetNumber(int64_t& /*mantissa*/, int& /*scale*/) const { return false; }

std::ostream& operator<<(std::ostream& os, const tsData& v) { return os << v.Format(); }
