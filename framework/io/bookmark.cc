// Bookmarks of a handle's position.
#include "framework/io/bookmark.h"

tsioBookmark::tsioBookmark(const tsioCursor& cursor)
    : cursor_(&cursor),
      buffer_(cursor.State().buffer),
      valid_(cursor.State().valid),
      positioned_(cursor.State().positioned) {}

tsioStatus::Status tsioBookmark::GoTo() {
  tsioRecordState& s = cursor_->State();
  s.buffer = buffer_;
  s.valid = valid_;
  s.positioned = positioned_;
  ++s.pos_seq;
  if (!positioned_) return tsioStatus::kSuccess;
  // Read the record again so the buffer is the file's current version.
  return const_cast<tsioCursor*>(cursor_)->FetchCurrent(false);
}
