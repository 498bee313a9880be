// bkVerifyDuplicatesMacroData: what duplicate verification keeps in its
// task's macro, so that a recorded macro replays with the same files.
//
// One option, "search history" (a 32-bit integer, 1 when made): whether the
// history file is opened and searched at all (bkVerifyDuplicates). Stored
// as exactly those four bytes, little-endian; any other block is not a
// record of this class and is refused.
#pragma once

#include <cstdint>
#include <vector>

#include "programs/bk_macro.h"
#include "records/bk_export.h"

class BK_EXPORT bkVerifyDuplicatesMacroData : public bkMacro {
 public:
  // The class name the record is known by in an archive.
  static constexpr const char* kClassName = "bkVerifyDuplicatesMacroData";

  bkVerifyDuplicatesMacroData() = default;
  ~bkVerifyDuplicatesMacroData() override;

  int32_t GetSearchHistory() const { return m_searchHistory; }
  void SetSearchHistory(int32_t value) { m_searchHistory = value; }

  std::vector<unsigned char> Save() const override;
  bool Load(const std::vector<unsigned char>& bytes) override;

 private:
  int32_t m_searchHistory = 1;
};
