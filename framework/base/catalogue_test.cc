// Tests of the message catalogue: every message the bank-register module
// raises has a text using exactly the tags its callers give, and tags are
// substituted as documented.
#include "framework/base/catalogue.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using L = ccError::Level;

// The "BK" messages raised by name (ErrorMessage, the ledger's period checks,
// the locks, the duplicate lookups), with the level and tags their callers
// give. (The messages of records/messages.h are checked, each with its
// tags, by records' Messages test.)
struct BkMessage { unsigned short number; L level; std::vector<std::string> tags; };

TEST(CatalogueTest, BankRegisterMessagesRaisedByNumberUseExactlyTheirCallersTags) {
  const BkMessage messages[] = {
      {1603, L::kError, {}},                               {1604, L::kError, {"io status"}},
      {1605, L::kWarning, {"prefix", "date"}},             {1606, L::kWarning, {"prefix", "date"}},
      {1623, L::kWarning, {"prefix", "date"}},             {1624, L::kError, {"prefix", "date"}},
      {1629, L::kWarning, {"prefix", "date"}},             {2200, L::kError, {"file name", "ioStatus"}},
      {2201, L::kFatal, {"file name", "looking for", "ioStatus"}},
      {2202, L::kError, {"Check", "checkNumber", "bankID"}},
      {2203, L::kError, {"depositID", "depositDate", "bankID"}}, {2206, L::kWarning, {"Checks", "ioStatus"}},
      {2207, L::kWarning, {"Checks"}},                     {2300, L::kError, {"BankID", "ioStatus"}},
      {2301, L::kError, {"BankID"}},                       {2302, L::kError, {"BankID", "ioStatus"}},
      {2303, L::kError, {"BankID", "ioStatus"}},           {2304, L::kError, {"BankID"}},
      {2305, L::kError, {"BankID"}},                       {2400, L::kError, {"BankID", "tranRun", "ioStatus"}},
      {2401, L::kError, {"BankID", "tranRun", "ioStatus"}}, {2402, L::kError, {"BankID", "ioStatus"}},
      {2403, L::kError, {"BankID", "tranRun", "ioStatus"}}, {2404, L::kError, {"BankID", "tranRun", "ioStatus"}},
  };
  for (const BkMessage& m : messages) {
    SCOPED_TRACE(m.number);
    std::optional<ccCatalogueEntry> entry = ccFindMessage("BK", m.number);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->level, m.level);
    const std::vector<std::string> used = ccTextTags(entry->text);
    EXPECT_EQ(std::set<std::string>(used.begin(), used.end()),
              std::set<std::string>(m.tags.begin(), m.tags.end()))
        << entry->text;
  }
}

TEST(CatalogueTest, Substitution) {
  const tclTagValues tags{{"rec desc", "deposit item"}, {"io status", "record not found (13)"}, {"x", "{x}"}};
  struct Case { const char* text; const char* expected; } cases[] = {
      {"Could not read the {rec desc} record: {io status}.",
       "Could not read the deposit item record: record not found (13)."},
      {"{missing} gone", " gone"},                                          // a tag without a value becomes empty
      {"value {x} is not scanned again", "value {x} is not scanned again"},  // values are not rescanned
      {"brace { left open, empty {} stays", "brace { left open, empty {} stays"},
      {"{a {rec desc}", "{a deposit item"},  // the inner "{" starts the tag
  };
  for (const Case& c : cases) EXPECT_EQ(ccSubstituteTags(c.text, tags), c.expected) << c.text;
  EXPECT_EQ(ccTextTags("{b} {a b} {b}"), (std::vector<std::string>{"b", "a b"}));
}

TEST(CatalogueTest, ErrorMessageBuildsFromTheCatalogueOfItsModule) {
  ccError closed = ErrorMessage("BK", 1605, {{"prefix", " for prefix 01"}, {"date", "2024-03-31"}});
  EXPECT_EQ(closed.GetLevel(), L::kWarning);
  EXPECT_EQ(closed.Text(), "The accounting date 2024-03-31 is in a closed period for prefix 01.");
  EXPECT_EQ(ErrorMessage("BK", 4321, {{"field name", "Bank"}, {"io status", "x"}}).Text(),
            "Message BK 4321 is not in the catalogue. (field name: Bank; io status: x)");

  ccRegisterMessages("GLTEST", {{10, L::kWarning, "Account {account} is inactive."}});
  const ccMessageDef again[] = {{10, L::kError, "Account {account} is closed."}, {11, L::kError, "B"}};
  ccRegisterMessages("GLTEST", again);  // registering again replaces
  ccError replaced = ErrorMessage("GLTEST", 10, {{"account", "1000"}});
  EXPECT_EQ(replaced.Text(), "Account 1000 is closed.");
  EXPECT_EQ(replaced.GetLevel(), L::kError);
  EXPECT_EQ(ccCatalogueNumbers("GLTEST"), (std::vector<unsigned short>{10, 11}));
  EXPECT_FALSE(ccFindMessage("BK", 10).has_value());  // modules do not mix
}

}  // namespace
