// bkColumnState: which columns of a record or header have been changed since
// the values were read, and which have had their read values saved.
//
// Two sets of column names (case-sensitive): saved and changed. A column is
// "saved" once its value as read has been copied aside; it is "changed" while
// its current value differs from that saved value.
#pragma once

#include <set>

#include "framework/types/ts_string.h"
#include "records/bk_export.h"

class BK_EXPORT bkColumnState {
 public:
  void SetColumnAsChanged(const CString& name) { changed_.insert(name); }
  // Back to the value read: no longer changed.
  void SetColumnAsOriginal(const CString& name) { changed_.erase(name); }
  void SetColumnAsSaved(const CString& name) { saved_.insert(name); }
  [[nodiscard]] bool ColumnChanged(const CString& name) const { return changed_.count(name) != 0; }
  [[nodiscard]] bool ColumnSaved(const CString& name) const { return saved_.count(name) != 0; }
  [[nodiscard]] bool AnyColumnChanged() const { return !changed_.empty(); }
  // Forgets both sets.
  void Clear() {
    saved_.clear();
    changed_.clear();
  }

 private:
  std::set<CString> saved_;
  std::set<CString> changed_;
};
