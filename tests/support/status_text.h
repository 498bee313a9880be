// A status and its messages as one text, so that a test compares what a call
// answered in one assertion: "<value>", then for each message
// " | <number>/<level>" and, unless left out, " <text>".
#pragma once

#include <string>

#include "framework/base/errors.h"

namespace bktest {

template <typename Status>
std::string Said(const Status& st, bool texts = true) {
  std::string s = std::to_string(static_cast<long long>(st.Value()));
  for (const ccError& e : st.Errors()) {
    s += " | " + std::to_string(e.Number()) + "/" + std::to_string(e.GetLevel());
    if (texts) s += " " + e.Text();
  }
  return s;
}

}  // namespace bktest
