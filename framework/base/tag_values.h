// tclTagValues: the named values substituted into a catalogue message text.
//
// A catalogue text refers to a value by its tag name between braces, for
// example "Could not read the {rec desc} record: {io status}." Tag names are
// matched exactly (case-sensitive) and may contain spaces.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/base/export.h"

class TS_EXPORT tclTagValues {
 public:
  using Pair = std::pair<std::string, std::string>;
  using const_iterator = std::vector<Pair>::const_iterator;

  tclTagValues() = default;
  // Adds each pair in order, as AddValue does.
  tclTagValues(std::initializer_list<Pair> pairs);

  // Adds a (name, value) pair at the end. A name already present keeps its
  // place and takes the new value, so a name appears at most once.
  void AddValue(std::string name, std::string value);

  // The value of `name`, or nullptr when the name was never added. The
  // pointer is valid until the next AddValue.
  const std::string* Find(std::string_view name) const;
  bool Has(std::string_view name) const { return Find(name) != nullptr; }
  // The value of `name`, or "" when the name was never added.
  std::string Value(std::string_view name) const;

  size_t Size() const { return pairs_.size(); }
  bool Empty() const { return pairs_.empty(); }
  const_iterator begin() const { return pairs_.begin(); }
  const_iterator end() const { return pairs_.end(); }

 private:
  std::vector<Pair> pairs_;
};
