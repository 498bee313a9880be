// The CSV records of `bkreg import`: one record (a line, or several when a
// quoted cell holds line breaks) at a time from a stream.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace bkreg {

// Reads one CSV record (RFC 4180: quoted cells may hold commas, quotes
// doubled, line breaks) from `in` into `cells`; false at the end of the
// file. `*lines` counts the lines read. A carriage return ending a line is
// dropped; a quote left open runs to the end of the file.
bool ReadCsvRecord(std::istream& in, std::vector<std::string>* cells, long* lines);

}  // namespace bkreg
