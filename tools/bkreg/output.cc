// Table output of bkreg.
#include "tools/bkreg/output.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace bkreg {

bool ParseFormat(const std::string& text, Format* out) {
  if (text == "text") *out = Format::kText;
  else if (text == "json") *out = Format::kJson;
  else if (text == "csv") *out = Format::kCsv;
  else return false;
  return true;
}

std::string JsonQuote(const std::string& text) {
  std::string s = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': s += "\\\""; break;
      case '\\': s += "\\\\"; break;
      case '\n': s += "\\n"; break;
      case '\t': s += "\\t"; break;
      case '\r': s += "\\r"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04x", c);
          s += buf;
        } else {
          s.push_back(static_cast<char>(c));
        }
    }
  }
  return s + "\"";
}

namespace {
std::string CsvQuote(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string s = "\"";
  for (char c : text) {
    if (c == '"') s += '"';
    s += c;
  }
  return s + "\"";
}
}  // namespace

void Table::Print(std::ostream& out, Format format) const {
  auto is_numeric = [this](size_t i) { return i < numeric.size() && numeric[i]; };
  if (format == Format::kJson) {
    out << "[";
    for (size_t r = 0; r < rows.size(); ++r) {
      out << (r ? ",\n " : "\n ") << "{";
      for (size_t c = 0; c < columns.size(); ++c) {
        const std::string& v = c < rows[r].size() ? rows[r][c] : std::string();
        out << (c ? ", " : "") << JsonQuote(columns[c]) << ": " << (is_numeric(c) && !v.empty() ? v : JsonQuote(v));
      }
      out << "}";
    }
    out << (rows.empty() ? "]\n" : "\n]\n");
    return;
  }
  if (format == Format::kCsv) {
    for (size_t c = 0; c < columns.size(); ++c) out << (c ? "," : "") << CsvQuote(columns[c]);
    out << "\r\n";
    for (const auto& row : rows) {
      for (size_t c = 0; c < row.size(); ++c) out << (c ? "," : "") << CsvQuote(row[c]);
      out << "\r\n";
    }
    return;
  }
  std::vector<size_t> width(columns.size());
  for (size_t c = 0; c < columns.size(); ++c) width[c] = columns[c].size();
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size() && c < width.size(); ++c) width[c] = std::max(width[c], row[c].size());
  }
  auto line = [&](const std::vector<std::string>& cells) {
    std::string s;
    for (size_t c = 0; c < columns.size(); ++c) {
      const std::string& v = c < cells.size() ? cells[c] : std::string();
      std::string pad(width[c] - std::min(width[c], v.size()), ' ');
      s += (c ? "  " : "") + (is_numeric(c) ? pad + v : v + (c + 1 < columns.size() ? pad : ""));
    }
    out << s << "\n";
  };
  line(columns);
  std::vector<std::string> rule;
  for (size_t w : width) rule.push_back(std::string(w, '-'));
  line(rule);
  for (const auto& row : rows) line(row);
}

}  // namespace bkreg
