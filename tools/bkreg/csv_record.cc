// The CSV records of `bkreg import` (csv_record.h).
#include "tools/bkreg/csv_record.h"

namespace bkreg {

bool ReadCsvRecord(std::istream& in, std::vector<std::string>* cells, long* lines) {
  cells->clear();
  std::string line;
  if (!std::getline(in, line)) return false;
  ++*lines;
  std::string cell;
  bool quoted = false;
  for (size_t i = 0;; ++i) {
    if (i == line.size()) {
      if (quoted) {  // a line break inside quotes
        std::string more;
        if (!std::getline(in, more)) break;
        ++*lines;
        cell += '\n';
        line = more;
        i = static_cast<size_t>(-1);
        continue;
      }
      break;
    }
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cell += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      cells->push_back(cell);
      cell.clear();
    } else if (c != '\r' || i + 1 != line.size()) {
      cell += c;
    }
  }
  cells->push_back(cell);
  return true;
}

}  // namespace bkreg
