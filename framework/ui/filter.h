// tsdmFilter: the filter of a data-manager control: a named query (a root
// "all of" group, see query_node.h) that decides which records the control
// lists. Code that sets a control up adds its conditions to Query().
#pragma once

#include <string>

#include "framework/base/export.h"
#include "framework/ui/query_node.h"

class TS_EXPORT tsdmFilter {
 public:
  tsdmFilter() = default;
  explicit tsdmFilter(std::string name) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }
  tsdmQueryNode& Query() { return query_; }
  const tsdmQueryNode& Query() const { return query_; }
  // Whether the filter restricts anything.
  bool IsActive() const { return query_.ConditionCount() > 0; }
  bool Accepts(const tsdmQueryNode::Lookup& lookup) const { return query_.Matches(lookup); }
  bool Accepts(const ccRecData& record) const { return query_.Matches(record); }
  void Reset() { query_.Clear(); }

 private:
  std::string name_;
  tsdmQueryNode query_{tsdmQueryNode::Kind::kAll};
};
