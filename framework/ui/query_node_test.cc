// Query nodes and filters of data-manager controls, and user messages.
#include <gtest/gtest.h>

#include <map>

#include "framework/base/scripted_responder.h"
#include "framework/ui/filter.h"
#include "framework/ui/message.h"

namespace {

tsdmQueryNode::Lookup Row(std::map<std::string, std::string> values) {
  return [values](std::string_view column) -> std::optional<std::string> {
    const auto it = values.find(std::string(column));
    return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
  };
}

TEST(QueryNode, ConditionsCompareTextOrNumbers) {
  using Op = tsdmQueryNode::Op;
  const struct { Op op; const char* row_value; const char* value; bool matches; } cases[] = {
      {Op::kEqual, "1000", "1000", true},     {Op::kNotEqual, "1000", "1000", false},
      {Op::kGreater, "10", "9", true},        {Op::kLess, "abc", "abd", true},
      {Op::kLessEqual, "b", "a", false},      {Op::kGreaterEqual, "07", "7", true},
      {Op::kBeginsWith, "0101100", "0101", true}, {Op::kBeginsWith, "01", "0101", false},
  };
  for (const auto& c : cases) {
    tsdmQueryNode n("COL", c.op, c.value);
    EXPECT_EQ(n.Matches(Row({{"COL", c.row_value}})), c.matches) << c.row_value << " " << c.value;
    EXPECT_FALSE(n.Matches(Row({{"OTHER", c.row_value}}))) << "a missing column never matches";
  }
}

TEST(QueryNode, GroupsCopiesAndDescriptions) {
  tsdmQueryNode all;
  EXPECT_TRUE(all.Matches(Row({}))) << "an empty group accepts everything";
  all.AddCondition("A", tsdmQueryNode::Op::kEqual, "1");
  tsdmQueryNode* any = all.AddGroup(tsdmQueryNode::Kind::kAny);
  any->AddCondition("B", tsdmQueryNode::Op::kEqual, "x");
  any->AddCondition("B", tsdmQueryNode::Op::kEqual, "y");
  EXPECT_EQ(any->AddCondition("C", tsdmQueryNode::Op::kEqual, "1")->AddCondition("D", tsdmQueryNode::Op::kEqual, "1"),
            nullptr) << "a condition has no children";
  EXPECT_EQ(all.ConditionCount(), 4u);
  EXPECT_EQ(all.Describe(), "(A = 1 and (B = x or B = y or C = 1))");
  EXPECT_TRUE(all.Matches(Row({{"A", "1"}, {"B", "y"}})));
  EXPECT_FALSE(all.Matches(Row({{"A", "1"}, {"B", "z"}, {"C", "0"}})));
  EXPECT_FALSE(all.Matches(Row({{"A", "2"}, {"B", "x"}})));

  tsdmQueryNode copy = all;
  all.Clear();
  EXPECT_EQ(copy.ConditionCount(), 4u) << "a copy is deep";
  tsdmFilter filter("accounts");
  EXPECT_FALSE(filter.IsActive());
  filter.Query() = copy;
  EXPECT_TRUE(filter.IsActive());
  EXPECT_TRUE(filter.Accepts(Row({{"A", "1"}, {"C", "1"}})));
  filter.Reset();
  EXPECT_FALSE(filter.IsActive());
}

TEST(UserMessages, KindChoosesTheLevel) {
  tsScriptedResponder responder;
  for (short kind : {kXwInformation, kXwWarning, kXwError, kXwFatal, short{0}}) {
    EXPECT_EQ(xw_wr_message(0, kind, "text " + std::to_string(kind), 0), 1);
  }
  std::string got;
  for (const auto& m : responder.Messages()) got += std::to_string(m.level) + " " + m.text + ";";
  EXPECT_EQ(got, "1 text 101;2 text 102;3 text 103;4 text 104;1 text 0;");
}

}  // namespace
