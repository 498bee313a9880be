// Query nodes of data-manager controls (see query_node.h).
#include "framework/ui/query_node.h"

#include <charconv>

#include "framework/io/record.h"

namespace {

std::optional<long long> AsNumber(std::string_view s) {
  long long v = 0;
  if (s.empty()) return std::nullopt;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
  return v;
}

int Compare(std::string_view a, std::string_view b) {
  const auto na = AsNumber(a);
  const auto nb = AsNumber(b);
  if (na && nb) return *na < *nb ? -1 : (*na > *nb ? 1 : 0);
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

const char* OpText(tsdmQueryNode::Op op) {
  switch (op) {
    case tsdmQueryNode::Op::kEqual: return "=";
    case tsdmQueryNode::Op::kNotEqual: return "<>";
    case tsdmQueryNode::Op::kLess: return "<";
    case tsdmQueryNode::Op::kLessEqual: return "<=";
    case tsdmQueryNode::Op::kGreater: return ">";
    case tsdmQueryNode::Op::kGreaterEqual: return ">=";
    case tsdmQueryNode::Op::kBeginsWith: return "begins with";
  }
  return "?";
}

}  // namespace

tsdmQueryNode::tsdmQueryNode(const tsdmQueryNode& other)
    : kind_(other.kind_), column_(other.column_), op_(other.op_), value_(other.value_) {
  for (const auto& c : other.children_) children_.push_back(std::make_unique<tsdmQueryNode>(*c));
}

tsdmQueryNode& tsdmQueryNode::operator=(const tsdmQueryNode& other) {
  if (this != &other) {
    tsdmQueryNode copy(other);
    *this = std::move(copy);
  }
  return *this;
}

tsdmQueryNode::~tsdmQueryNode() = default;

tsdmQueryNode* tsdmQueryNode::AddCondition(std::string column, Op op, std::string value) {
  if (kind_ == Kind::kCondition) return nullptr;
  children_.push_back(std::make_unique<tsdmQueryNode>(std::move(column), op, std::move(value)));
  return children_.back().get();
}

tsdmQueryNode* tsdmQueryNode::AddGroup(Kind kind) {
  if (kind_ == Kind::kCondition || kind == Kind::kCondition) return nullptr;
  children_.push_back(std::make_unique<tsdmQueryNode>(kind));
  return children_.back().get();
}

size_t tsdmQueryNode::ConditionCount() const {
  if (kind_ == Kind::kCondition) return 1;
  size_t n = 0;
  for (const auto& c : children_) n += c->ConditionCount();
  return n;
}

bool tsdmQueryNode::Matches(const Lookup& lookup) const {
  if (kind_ == Kind::kCondition) {
    const std::optional<std::string> v = lookup(column_);
    if (!v) return false;
    const int c = Compare(*v, value_);
    switch (op_) {
      case Op::kEqual: return c == 0;
      case Op::kNotEqual: return c != 0;
      case Op::kLess: return c < 0;
      case Op::kLessEqual: return c <= 0;
      case Op::kGreater: return c > 0;
      case Op::kGreaterEqual: return c >= 0;
      case Op::kBeginsWith: return v->compare(0, value_.size(), value_) == 0;
    }
    return false;
  }
  if (children_.empty()) return true;
  for (const auto& c : children_) {
    const bool m = c->Matches(lookup);
    if (kind_ == Kind::kAll && !m) return false;
    if (kind_ == Kind::kAny && m) return true;
  }
  return kind_ == Kind::kAll;
}

bool tsdmQueryNode::Matches(const ccRecData& record) const {
  return Matches([&record](std::string_view column) -> std::optional<std::string> {
    const tsData* f = record.Find(column);
    if (!f) return std::nullopt;
    // Yes/no fields take part as 1/0, like their stored form.
    if (f->Type() == tsDataType::kBool) return std::string(f->IsNull() ? "0" : "1");
    return f->Format();
  });
}

std::string tsdmQueryNode::Describe() const {
  if (kind_ == Kind::kCondition) return column_ + " " + OpText(op_) + " " + value_;
  std::string out;
  for (const auto& c : children_) {
    const std::string d = c->Describe();
    if (d.empty()) continue;
    if (!out.empty()) out += kind_ == Kind::kAll ? " and " : " or ";
    out += d;
  }
  return out.empty() ? out : "(" + out + ")";
}
