// The detail-line check shared by the validaters of deposits and
// withdrawals entered in this module: walk the lines related to the
// transaction, check each one, and compare their total with the amount the
// transaction says they make up.
//
// A line that cannot be read never lets the transaction pass: a fetch that
// fails with anything but "no further record", and a line another program
// holds locked (it is being changed or moved, so neither its amount nor its
// accounts can be trusted), end the walk with the record-read message 1614
// naming the line and the status, at level 3, or 4 for a fatal status.
// Internal to the library.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/io_status.h"
#include "framework/io/record.h"
#include "framework/types/values.h"
#include "records/bk_cursor_base.h"
#include "records/messages.h"

namespace bk_validation {

// Message 1614 for the record kind `description` and `status`, at level 4
// when the status is fatal, else 3.
ccStatus<ccError::Level> DetailReadError(const CString& description, tsioStatus::Status status);

// What a walk names in its messages.
struct DetailLineTexts {
  const char* owner;  // "Deposit": 1611 when there is no line at all
  const char* line;   // "deposit item detail": 1611, 1612, 1614
};

inline bool ErrorIn(const ccStatus<ccError::Level>& status) {
  return status.Errors().MaxLevel() >= ccError::kError;
}

// Walks the lines `lines` finds through `rel` from the transaction cursor
// `transaction`, merging into `status`:
//   - no line at all: 1611 (owner, line), nothing else;
//   - while each fetch succeeds and no error is present: the line's amount
//     is added up and `check_line(line_record, status)` runs;
//   - the lines ran out with no error present and their total differs
//     from `expected_total`: 1612 (line, "transaction");
//   - a line that cannot be read: 1614 (see above).
// The status value ends as the level of its list. Fetches never lock.
template <typename Lines, typename CheckLine>
void CheckDetailLines(Lines& lines, const bkCursorBase& transaction, const ccRelSpec& rel,
                      const DetailLineTexts& texts, const tsCurrency& expected_total,
                      ccStatus<ccError::Level>& status, CheckLine check_line) {
  tsioStatus::Status st = lines.FetchFirstOf(transaction, rel, false);
  if (st == tsioStatus::kEndOfFile) {
    status += bktRec1HasNoRec2Error(texts.owner, texts.line);
    status.SetValue(status.Errors().MaxLevel());
    return;
  }
  tsCurrency total;
  while (st == tsioStatus::kSuccess && !ErrorIn(status)) {
    if (lines.Locked() == tsioStatus::kLocked) {
      st = tsioStatus::kLocked;
      break;
    }
    total += lines.m_Record.GetAmount();
    check_line(lines.m_Record, status);
    status.SetValue(status.Errors().MaxLevel());
    if (!ErrorIn(status)) st = lines.FetchNextOf(transaction, rel, false);
  }
  if (st == tsioStatus::kEndOfFile) {
    if (!ErrorIn(status) && total != expected_total) status += bktRec1DoesNotAddUpToRec2(texts.line, "transaction");
  } else if (st != tsioStatus::kSuccess) {
    status += DetailReadError(texts.line, st);
  }
  status.SetValue(status.Errors().MaxLevel());
}

}  // namespace bk_validation
