// Named tag values for catalogue messages.
#include "framework/base/tag_values.h"

tclTagValues::tclTagValues(std::initializer_list<Pair> pairs) {
  for (const Pair& p : pairs) AddValue(p.first, p.second);
}

void tclTagValues::AddValue(std::string name, std::string value) {
  for (Pair& p : pairs_) {
    if (p.first == name) {
      p.second = std::move(value);
      return;
    }
  }
  pairs_.emplace_back(std::move(name), std::move(value));
}

const std::string* tclTagValues::Find(std::string_view name) const {
  for (const Pair& p : pairs_) {
    if (p.first == name) return &p.second;
  }
  return nullptr;
}

std::string tclTagValues::Value(std::string_view name) const {
  const std::string* v = Find(name);
  return v ? *v : std::string();
}
