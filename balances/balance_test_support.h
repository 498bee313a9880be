// For the balance tests: amounts in cents and as text, and a record's
// columns as people read them.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "deposits/detail_transfer_test_support.h"
#include "framework/io/faults.h"
#include "records/record_test_support.h"

namespace baltest {

inline long long Cents(const tsCurrency& c) { return (tsDouble(c) * tsDouble(100)).ToLongLong(); }
// Cents as "-12.34"; a yyyymmdd date as its text ("" for 0).
inline std::string MoneyText(long long cents) {
  const long long a = cents < 0 ? -cents : cents;
  return (cents < 0 ? "-" : "") + std::to_string(a / 100) + (a % 100 < 10 ? ".0" : ".") + std::to_string(a % 100);
}
inline std::string DateText(int ymd) { return ymd ? tsDate::FromYmd(ymd).Format() : ""; }

// The values of `columns` ("A;B;...") of `record` as people read them,
// separated by spaces ("-" for an empty one).
inline std::string Text(ccRecData& record, const std::string& columns) {
  std::string out;
  std::istringstream in(columns);
  for (std::string name; std::getline(in, name, ';');) {
    const std::string value = record.Find(name)->Format();
    out += (out.empty() ? "" : " ") + (value.empty() ? "-" : value);
  }
  return out;
}

}  // namespace baltest
