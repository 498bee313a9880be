// Fuzz target: the CSV statement reader. The first byte chooses the mapping
// (columns by number or by header name, separator, number style, encoding,
// debit and credit or one amount, an account column), the rest is the file;
// it is read whole and in pieces of 1 to 16 bytes. Beyond "no crash, no
// sanitizer report": both give the same answer, and an accepted statement
// keeps the statement rules (statement_fuzz_support.h).
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/statement_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t choice = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string m = (choice & 1) ? "date=Date;memo=Memo;id=Id;check=Check;reference=Ref;"
                               : "date=1;memo=3;id=4;check=5;reference=6;";
  m += (choice & 2) ? ((choice & 1) ? "debit=Debit;credit=Credit;" : "debit=2;credit=7;")
                    : ((choice & 1) ? "amount=Amount;" : "amount=2;");
  if (choice & 4) m += (choice & 1) ? "account=Account;" : "account=8;";
  static const char* const kStyles[] = {"", "decimal=,;thousands=.;", "thousands=,;", "decimal=,;thousands=space;"};
  m += kStyles[(choice >> 3) & 3];
  static const char* const kSeparators[] = {"", "separator=semicolon;", "separator=tab;", "separator=|;"};
  m += kSeparators[(choice >> 5) & 3];
  m += (choice & 0x80) ? "encoding=windows-1252;date_format=dd.mm.yyyy;" : "";
  m += "statement_date=2026-04-30;ending_balance=0";
  bkCsvMapping mapping;
  std::string error;
  if (!mapping.ParseText(m, &error)) bkfuzz::Fail("the target's mapping is refused", error);
  bkStatement s;
  const size_t piece = 1 + data[size - 1] % 16;
  if (bkfuzz::ReadBothWays([&] { return bkStatementParser::Csv(mapping); }, text, piece, &s, &error)) {
    bkfuzz::CheckStatement(s);
  } else if (error.empty()) {
    bkfuzz::Fail("refused without a reason");
  }
  return 0;
}
