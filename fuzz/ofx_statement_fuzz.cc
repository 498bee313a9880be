// Fuzz target: the OFX statement reader (SGML and XML, headers, charsets,
// entities, amounts and dates), fed the input whole and in pieces of 1 to
// 16 bytes (the last byte says how many). Beyond "no crash, no sanitizer
// report": both give the same answer, and an accepted statement keeps the
// statement rules (statement_fuzz_support.h).
#include <cstdint>
#include <string_view>

#include "fuzz/statement_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const size_t piece = 1 + data[size - 1] % 16;
  bkStatement s;
  std::string error;
  if (bkfuzz::ReadBothWays([] { return bkStatementParser::Ofx(); }, text, piece, &s, &error)) {
    bkfuzz::CheckStatement(s);
    if (s.account.empty()) bkfuzz::Fail("an OFX statement without its account");
  } else if (error.empty()) {
    bkfuzz::Fail("refused without a reason");
  }
  return 0;
}
