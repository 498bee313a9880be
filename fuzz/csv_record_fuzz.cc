// Fuzz target: the CSV records of `bkreg import` (tools/bkreg/csv_record.h).
// Beyond "no crash, no sanitizer report": every record of the input is read
// and the line count only grows; and the first record's cells, written back
// as one record of quoted cells, read back as the same cells over as many
// lines as they hold line breaks, plus one.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tools/bkreg/csv_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  std::vector<std::string> cells, first;
  long lines = 0, last = 0;
  bool any = false;
  while (bkreg::ReadCsvRecord(in, &cells, &lines)) {
    if (lines <= last) bkfuzz::Fail("a record read no line", text);
    if (!any) first = cells;
    any = true;
    last = lines;
    if (cells.empty()) bkfuzz::Fail("a record without a cell", text);
  }
  if (!any) return 0;
  std::string record;
  long breaks = 0;
  for (size_t i = 0; i < first.size(); ++i) {
    record += i ? ",\"" : "\"";
    for (char c : first[i]) {
      record += c == '"' ? "\"\"" : std::string(1, c);
      breaks += c == '\n';
    }
    record += '"';
  }
  record += "\n";
  std::istringstream again(record);
  std::vector<std::string> read;
  long n = 0;
  if (!bkreg::ReadCsvRecord(again, &read, &n) || read != first || n != breaks + 1) {
    bkfuzz::Fail("cells written back read otherwise", record);
  }
  return 0;
}
