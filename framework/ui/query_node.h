// tsdmQueryNode: one node of the query that a data-manager control (a list
// or combo box of records) uses to choose the records it shows.
//
// A node is either a condition on one column (column, comparison, value) or
// a group (all of / any of its child nodes). A group without children
// accepts every record. Records are tested through a column lookup, so any
// record source (a ccRecData, a row of text) can be filtered.
//
// Values compare as text, byte by byte, except that two values that both
// read as whole numbers compare as numbers ("10" > "9").
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"

class ccRecData;

class TS_EXPORT tsdmQueryNode {
 public:
  enum class Kind { kAll, kAny, kCondition };
  enum class Op { kEqual, kNotEqual, kLess, kLessEqual, kGreater, kGreaterEqual, kBeginsWith };
  // The value of a column in the record being tested; nothing when the
  // record has no such column (a condition on it then fails).
  using Lookup = std::function<std::optional<std::string>(std::string_view column)>;

  // A group (kAll or kAny), empty.
  explicit tsdmQueryNode(Kind kind = Kind::kAll) : kind_(kind == Kind::kCondition ? Kind::kAll : kind) {}
  // A condition.
  tsdmQueryNode(std::string column, Op op, std::string value)
      : kind_(Kind::kCondition), column_(std::move(column)), op_(op), value_(std::move(value)) {}
  tsdmQueryNode(const tsdmQueryNode& other);
  tsdmQueryNode& operator=(const tsdmQueryNode& other);
  tsdmQueryNode(tsdmQueryNode&&) noexcept = default;
  tsdmQueryNode& operator=(tsdmQueryNode&&) noexcept = default;
  ~tsdmQueryNode();

  Kind GetKind() const { return kind_; }
  const std::string& Column() const { return column_; }
  Op GetOp() const { return op_; }
  const std::string& Value() const { return value_; }

  // Adds a child to a group and returns it (nullptr when this node is a
  // condition).
  tsdmQueryNode* AddCondition(std::string column, Op op, std::string value);
  tsdmQueryNode* AddGroup(Kind kind);
  size_t ChildCount() const { return children_.size(); }
  const tsdmQueryNode& Child(size_t i) const { return *children_[i]; }
  // Conditions in this node and below.
  size_t ConditionCount() const;
  void Clear() { children_.clear(); }

  bool Matches(const Lookup& lookup) const;
  // Tests a record through its bound columns (their Format() text).
  bool Matches(const ccRecData& record) const;

  // A readable form: "(GAACTIV = 1 and GAICRC = 1)"; "" for an empty group.
  std::string Describe() const;

 private:
  Kind kind_;
  std::string column_;
  Op op_ = Op::kEqual;
  std::string value_;
  std::vector<std::unique_ptr<tsdmQueryNode>> children_;
};
