// Tests of messages, message lists, status results and data-file statuses.
#include "framework/base/errors.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "framework/base/scripted_responder.h"
#include "framework/io/io_status.h"

namespace {

using L = ccError::Level;

TEST(ErrorsTest, MergeKeepsHigherLevelAndAppendsInOrder) {
  struct Case { L a, b, expected; } cases[] = {
      {L::kNone, L::kNone, L::kNone},  {L::kWarning, L::kError, L::kError}, {L::kFatal, L::kWarning, L::kFatal},
      {L::kNone, L::kFatal, L::kFatal}, {L::kNone, L::kInfo, L::kInfo},      {L::kError, L::kError, L::kError}};
  for (const Case& c : cases) {
    ccStatus<L> a(c.a, ccError(1, c.a, "first"));
    ccStatus<L> b(c.b, ccErrors{ccError(2, c.b, "second"), ccError(3, L::kNone, "third")});
    a.Merge(b);
    EXPECT_EQ(std::tuple(a.Value(), a.MaxLevel(), a.HasError()),
              std::tuple(c.expected, c.expected, c.expected >= L::kError));
    ASSERT_EQ(a.Errors().Size(), 3u);
    EXPECT_EQ(a.Errors()[0].Text() + a.Errors()[1].Text() + a.Errors()[2].Text(), "firstsecondthird");
  }
  // A level status takes the other's list level; other value types keep their value.
  ccStatus<L> level;
  level += ccStatus<ccBoolStatus>(kBoolFailure, ccError(1616, L::kError, "header"));
  EXPECT_EQ(level.Value(), L::kError);
  ccStatus<tsioStatus::Status> io(tsioStatus::kLocked);
  io.Merge(ccStatus<L>(L::kFatal, ccError(1, L::kFatal, "x")));
  EXPECT_EQ(io.Value(), tsioStatus::kLocked);
  EXPECT_EQ(io.MaxLevel(), L::kFatal);
  EXPECT_TRUE(ccStatus<L>(L::kError).HasError()) << "a level without any message";

  ccErrors list{ccError(1, L::kWarning, "a"), ccError(2, L::kError, "b")};
  list.Add(list);  // appending a list to itself doubles it
  ASSERT_EQ(list.Size(), 4u);
  EXPECT_EQ(list[3], list[1]);
}

TEST(ErrorsTest, DisplayShowsEveryMessageInOrderWithItsLevel) {
  tsScriptedResponder responder;
  ccErrors list;
  list.Add(ccError(1608, L::kError, "Check Number cannot be blank."));
  list.Add(ccError(0, L::kNone, "", "You may need to reinstall."));
  list.Add(ccError(1609, L::kWarning, "Bank is blank.", "Second line."));
  list.Display();
  std::string shown;
  for (const auto& m : responder.Messages()) shown += std::to_string(m.level) + " " + m.text + "|";
  EXPECT_EQ(shown, "3 Check Number cannot be blank.|0 You may need to reinstall.|2 Bank is blank.\nSecond line.|");
}

// Every data-file status (0 to 19; 4 and 7 are none): which are fatal, and a
// text of its own ending in its number. Any other number is an I/O error.
TEST(IoStatusTest, FatalAndTextOfEveryStatus) {
  std::string fatal;
  std::set<std::string> texts;
  for (short status = 0; status <= 19; ++status) {
    if (status == 4 || status == 7) continue;
    if (ccFatalError(status)) fatal += std::to_string(status) + " ";
    const std::string text = ccIOStatusStr(status);
    EXPECT_TRUE(text.ends_with(" (" + std::to_string(status) + ")")) << text;
    texts.insert(text.substr(0, text.find(" (")));
  }
  EXPECT_EQ(fatal, "2 3 11 16 17 18 19 ");
  EXPECT_EQ(texts.size(), 18u) << "two statuses share a text";
  EXPECT_EQ(ccIOStatusStr(tsioStatus::kLocked), "record locked by another program (9)");
  EXPECT_EQ(ccIOStatusStr(tsioStatus::kNotFound), "record not found (13)");
  for (long unknown : {4L, 7L, -1L, 20L, 1000L}) {
    EXPECT_EQ(tsioStatus::ConvertToTsio(unknown), tsioStatus::kIOError) << unknown;
    EXPECT_EQ(ccIOStatusStr(static_cast<short>(unknown)), "I/O status " + std::to_string(unknown));
    EXPECT_TRUE(ccFatalError(static_cast<short>(unknown))) << unknown;
  }
}

}  // namespace
