// Tables printed by bkreg: aligned plain text for people, or JSON (an array
// of objects keyed by column name) or CSV (RFC 4180 quoting) for programs.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace bkreg {

enum class Format { kText, kJson, kCsv };

// Parses "text", "json" or "csv"; false for anything else.
bool ParseFormat(const std::string& text, Format* out);

struct Table {
  std::vector<std::string> columns;
  std::vector<bool> numeric;  // right-aligned in text, unquoted in JSON
  std::vector<std::vector<std::string>> rows;

  void Print(std::ostream& out, Format format) const;
};

// JSON string literal of `text` (quotes, backslashes and control characters escaped).
std::string JsonQuote(const std::string& text);

}  // namespace bkreg
