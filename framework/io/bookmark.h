// tsioBookmark: saves a handle's position for one record type; GoTo returns
// to it by reading the saved record again by its key, unless the saved
// record is known to be the stored one: it was read by a locked fetch, the
// handle has held its lock ever since, and this program has written nothing
// to its table nor rolled anything back since (on a server that read is a
// round trip; the answer could only be the same).
#pragma once

#include <vector>

#include "framework/base/export.h"
#include "framework/io/cursor.h"

class TS_EXPORT tsioBookmark {
 public:
  explicit tsioBookmark(const tsioCursor& cursor);
  // Makes the saved record the handle's current record again: kSuccess, or
  // the status of reading it again (13 when it is gone, a failure status when
  // it cannot be read; the buffer then holds the saved values so a walk can
  // go on from there). A bookmark taken without
  // a position restores the unpositioned state.
  [[nodiscard]] tsioStatus::Status GoTo();

 private:
  const tsioCursor* cursor_;
  std::vector<tsCell> buffer_;
  std::vector<uint8_t> valid_;
  bool positioned_;
  bool read_locked_;  // the saved buffer is what a locked fetch read
  uint64_t locked_since_;
  uint64_t locked_writes_;
};
