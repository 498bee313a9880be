// The macro record of duplicate verification (see
// bk_verify_duplicates_macro_data.h).
#include "duplicates/bk_verify_duplicates_macro_data.h"

bkVerifyDuplicatesMacroData::~bkVerifyDuplicatesMacroData() = default;

std::vector<unsigned char> bkVerifyDuplicatesMacroData::Save() const {
  const auto v = static_cast<uint32_t>(m_searchHistory);
  return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16),
          static_cast<unsigned char>(v >> 24)};
}

bool bkVerifyDuplicatesMacroData::Load(const std::vector<unsigned char>& bytes) {
  if (bytes.size() != 4) return false;
  const uint32_t v = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
                     uint32_t{bytes[3]} << 24;
  m_searchHistory = static_cast<int32_t>(v);
  return true;
}
