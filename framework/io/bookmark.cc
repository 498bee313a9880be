// Bookmarks of a handle's position.
#include "framework/io/bookmark.h"

tsioBookmark::tsioBookmark(const tsioCursor& cursor)
    : cursor_(&cursor),
      buffer_(cursor.State().buffer),
      valid_(cursor.State().valid),
      positioned_(cursor.State().positioned),
      read_locked_(cursor.State().positioned && cursor.State().locked_read_seq != 0 &&
                   cursor.State().locked_read_seq == cursor.State().pos_seq),
      locked_since_(cursor.State().locked_read_since),
      locked_writes_(cursor.State().locked_read_writes) {}

tsioStatus::Status tsioBookmark::GoTo() {
  tsioRecordState& s = cursor_->State();
  s.buffer = buffer_;
  s.valid = valid_;
  s.positioned = positioned_;
  ++s.pos_seq;
  if (!positioned_) return tsioStatus::kSuccess;
  tsioCursor& cursor = *const_cast<tsioCursor*>(cursor_);
  if (read_locked_ && cursor.StillAsReadLocked(buffer_, locked_since_, locked_writes_)) {
    s.locked_read_seq = s.pos_seq;
    cursor.CopyRowToRecord(s.buffer);
    return tsioStatus::kSuccess;
  }
  // Read the record again so the buffer is the file's current version.
  return cursor.FetchCurrent(false);
}
