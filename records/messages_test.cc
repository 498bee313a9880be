// Every message function: catalogue number, level, wrapper value and tag
// values (the text must be the catalogue text filled with exactly the tags
// listed here).
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "framework/base/application.h"
#include "framework/base/tag_values.h"
#include "framework/types/values.h"
#include "records/messages.h"

namespace {

// What a message function gave: its messages and its wrapper value (-1 for
// a plain ccError or ccErrors).
struct Got { ccErrors errors; int value = -1; };
template <typename V>
Got From(const ccStatus<V>& s) {
  return {s.Errors(), static_cast<int>(s.Value())};
}
Got From(const ccError& e) { return {ccErrors{e}, -1}; }
Got From(const ccErrors& e) { return {e, -1}; }

// A case named by its call, as written.
#define M(call) #call, [&] { return From(call); }
struct Case {
  const char* name;
  std::function<Got()> call;
  unsigned short number;
  ccError::Level level;
  int value;
  tclTagValues tags;
};

constexpr auto kNotFound = tsioStatus::kNotFound;  // not fatal
constexpr auto kDiskFull = tsioStatus::kDiskFull;  // fatal
constexpr auto E = ccError::kError;
constexpr auto W = ccError::kWarning;
constexpr auto F = ccError::kFatal;
const std::string kNotFoundText = ccIOStatusStr(kNotFound);
const std::string kDiskFullText = ccIOStatusStr(kDiskFull);

TEST(Messages, NumberLevelValueAndTagsOfEveryFunction) {
  const tsDate actg(2020, 1, 5), later(2021, 12, 31);
  const Case cases[] = {
      {M(RequiredFieldMessage("Bank account")), 1600, E, -1, {{"field name", "Bank account"}}},
      {M(BlankDesignNameError("Register")), 1601, E, -1, {{"task description", "Register"}}},
      {M(ErrorTransferringRecord("cash detail", kNotFound)), 1602, E, 1,
       {{"rec desc", "cash detail"}, {"io status", kNotFoundText}}},
      {M(ErrorTransferringRecord("cash detail", kDiskFull)), 1602, E, 2,
       {{"rec desc", "cash detail"}, {"io status", kDiskFullText}}},
      {M(bktInvalidTransactionTypeError()), 1607, E, 3, {}},
      {M(bktBlankFieldError("Payee", "blank", E)), 1608, E, 3, {{"field desc", "Payee"}, {"blank or zero", "blank"}}},
      {M(bktBlankFieldError("Amount", "zero", F)), 1608, F, 4, {{"field desc", "Amount"}, {"blank or zero", "zero"}}},
      {M(bktBlankFieldError("Payee", "blank", W)), 1609, W, 2, {{"field desc", "Payee"}, {"blank or zero", "blank"}}},
      {M(bktNonBlankFieldError("Check", "zero")), 1610, E, 3, {{"field desc", "Check"}, {"blank or zero", "zero"}}},
      {M(bktRec1HasNoRec2Error("Withdrawal", "withdrawal detail")), 1611, E, 3,
       {{"rec desc 1", "Withdrawal"}, {"rec desc 2", "withdrawal detail"}}},
      {M(bktRec1DoesNotAddUpToRec2("deposit item", "transaction")), 1612, E, 3,
       {{"rec desc 1", "deposit item"}, {"rec desc 2", "transaction"}}},
      {M(RecDeleteError("tax detail", kNotFound)), 1613, E, 1,
       {{"rec desc", "tax detail"}, {"io status", kNotFoundText}}},
      {M(RecDeleteError("tax detail", kDiskFull)), 1613, E, 2,
       {{"rec desc", "tax detail"}, {"io status", kDiskFullText}}},
      {M(RecReadError("deposit item", kNotFound)), 1614, E, 1,
       {{"rec desc", "deposit item"}, {"io status", kNotFoundText}}},
      {M(RecReadError("deposit item", kDiskFull)), 1614, E, 2,
       {{"rec desc", "deposit item"}, {"io status", kDiskFullText}}},
      {M(RecWriteError("withdrawal detail", kNotFound)), 1615, E, 1,
       {{"rec desc", "withdrawal detail"}, {"io status", kNotFoundText}}},
      {M(RecWriteError("withdrawal detail", kDiskFull)), 1615, E, 2,
       {{"rec desc", "withdrawal detail"}, {"io status", kDiskFullText}}},
      {M(bktHeaderReadError(kNotFound)), 1616, E, 1, {{"io status", kNotFoundText}}},
      {M(bktHeaderUpdateError(kDiskFull)), 1617, E, 1, {{"io status", kDiskFullText}}},
      {M(bktBatchUpdateError("Deposit transaction")), 1618, E, 3, {{"tran text", "Deposit transaction"}}},
      {M(bktTranDeleteError("Deposit transaction", kNotFound)), 1619, E, 3,
       {{"io status", kNotFoundText}, {"tran text", "Deposit transaction"}}},
      {M(bktTranWriteError("Check transaction", kNotFound)), 1620, E, 3,
       {{"tran text", "Check transaction"}, {"io status", kNotFoundText}}},
      {M(bktTranWriteError("Check transaction", kDiskFull)), 1620, F, 4,
       {{"tran text", "Check transaction"}, {"io status", kDiskFullText}}},
      {M(RecAttachmentsReadError("transaction", kDiskFull)), 1621, E, 2,
       {{"rec desc", "transaction"}, {"attachments desc", "attachments"}, {"io status", kDiskFullText}}},
      {M(TranNotesError(kNotFound)), 1622, E, 1, {{"io status", kNotFoundText}}},
      {M(BeforeLastYearWarning(actg, later)), 1625, W, 2, {{"actg date", "2020-01-05"}, {"date2", "2021-12-31"}}},
      {M(AfterNextYearError(later, actg)), 1626, E, 3, {{"actg date", "2021-12-31"}, {"date2", "2020-01-05"}}},
      {M(GLBuildIntercompanyAccountError("no prefix")), 1627, E, 3, {{"GL error", "no prefix"}}},
      {M(FullyPostedBatchSelectedError()), 1628, E, -1, {{"batch", "Batch"}}},
      {M(CannotOpenControlFile()), 1630, E, -1, {}}, {M(CannotWriteControlFile()), 1631, E, -1, {}},
      {M(LastTranUpdateError(tsAlpha("CHK1"), kDiskFull)), 1632, E, -1,
       {{"bank account", "CHK1"}, {"io status", kDiskFullText}}},
      {M(LastTranLockError(tsAlpha("CHK1"), tsioStatus::kLocked)), 1633, E, -1,
       {{"bank account", "CHK1"}, {"io status", ccIOStatusStr(tsioStatus::kLocked)}}},
      {M(NoAssociatedBankAccountRecord("CHK1")), 2000, E, 3, {{"BankAccount", "CHK1"}}},
      {M(CannotActionRecordBecause("Read", "BK Master", kNotFound)), 2001, E, 3,
       {{"action", "Read"}, {"RecordType", "BK Master"}, {"ioStatus", kNotFoundText}}},
      {M(CannotReturnToBookmarkedPositionBecause(kNotFound)), 2002, W, 2, {{"ioStatus", kNotFoundText}}},
      {M(CannotClearUnpostedTransaction()), 2004, E, 3, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Got got = c.call();
    ASSERT_EQ(got.errors.Size(), 1u);
    const ccError& e = got.errors[0];
    EXPECT_EQ(e.Number(), c.number);
    EXPECT_EQ(e.GetLevel(), c.level);
    EXPECT_EQ(got.value, c.value);
    EXPECT_EQ(e.Text(), ErrorMessage("BK", c.number, c.tags).Text());
    // Every tag value shows in the text: none was dropped under a wrong name.
    for (const auto& [tag, value] : c.tags) EXPECT_NE(e.Text().find(value), std::string::npos) << tag;
  }
}

// The attachments description follows the application; the batch term is the
// user's.
TEST(Messages, DescriptionsFollowTheApplicationAndTheUser) {
  TSGetApp()->SetAttachmentsInUse(false);
  const ccStatus<TransferStatus> notes = RecAttachmentsReadError("transaction", kNotFound);
  TSGetApp()->SetAttachmentsInUse(true);
  const tclTagValues tags{{"rec desc", "transaction"}, {"attachments desc", "notes"}, {"io status", kNotFoundText}};
  EXPECT_EQ(notes.Errors()[0].Text(), ErrorMessage("BK", 1621, tags).Text());
  tsString::SetCustomDescription("<1>", "Lot");
  const ccError e = FullyPostedBatchSelectedError();
  tsString::ResetCustomDescriptions();
  EXPECT_EQ(e.Text(), ErrorMessage("BK", 1628, {{"batch", "Lot"}}).Text());
}

}  // namespace
