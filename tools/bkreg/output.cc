// Table output of bkreg.
#include "tools/bkreg/output.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include <nlohmann/json.hpp>

namespace bkreg {

bool ParseFormat(const std::string& text, Format* out) {
  if (text == "text") *out = Format::kText;
  else if (text == "json") *out = Format::kJson;
  else if (text == "csv") *out = Format::kCsv;
  else return false;
  return true;
}

std::string JsonQuote(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

namespace {

// Length of the UTF-8 sequence starting at `p` (of `left` bytes), or 0 when
// it is not valid UTF-8.
size_t SequenceLength(const unsigned char* p, size_t left) {
  const unsigned char c = *p;
  size_t n;
  uint32_t cp;
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) {
    n = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (left < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  if (cp >= 0x80 && cp <= 0x9F) return 0;  // C1 controls: shown as "?"
  return n;
}

bool NeedsNoCleaning(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c >= 0x7f) return false;
  }
  return true;
}

// A number as JSON writes it: -?digits(.digits)?
bool IsJsonNumber(const std::string& v) {
  size_t i = v.size() > 0 && v[0] == '-' ? 1 : 0;
  const size_t start = i;
  while (i < v.size() && v[i] >= '0' && v[i] <= '9') ++i;
  if (i == start || (v[start] == '0' && i - start > 1)) return false;
  if (i < v.size() && v[i] == '.') {
    const size_t d = ++i;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9') ++i;
    if (i == d) return false;
  }
  return i == v.size();
}

}  // namespace

std::string TextCell(const std::string& text) {
  if (NeedsNoCleaning(text)) return text;
  std::string s;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t left = text.size();
  while (left > 0) {
    const size_t n = SequenceLength(p, left);
    if (n == 0 || (n == 1 && (*p < 0x20 || *p == 0x7f))) {
      s += '?';
      ++p;
      --left;
    } else {
      s.append(reinterpret_cast<const char*>(p), n);
      p += n;
      left -= n;
    }
  }
  return s;
}

size_t TextWidth(const std::string& text) {
  if (NeedsNoCleaning(text)) return text.size();
  size_t n = 0;
  for (unsigned char c : TextCell(text)) n += (c & 0xC0) != 0x80;
  return n;
}

std::string CsvCell(const std::string& text, bool numeric) {
  std::string v = text;
  if (!numeric && !v.empty() && (v[0] == '=' || v[0] == '+' || v[0] == '-' || v[0] == '@' || v[0] == '\t' ||
                                 v[0] == '\r')) {
    v.insert(v.begin(), '\'');
  }
  if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
  std::string s = "\"";
  for (char c : v) {
    if (c == '"') s += '"';
    s += c;
  }
  return s + "\"";
}

TableWriter::TableWriter(std::ostream& out, Format format, std::vector<std::string> columns,
                         std::vector<bool> numeric)
    : out_(out), format_(format), columns_(std::move(columns)), numeric_(std::move(numeric)) {
  for (const auto& c : columns_) width_.push_back(TextWidth(c));
}

TableWriter::~TableWriter() { Flush(); }

void TableWriter::SetWidth(size_t c, size_t width) {
  if (c < width_.size()) width_[c] = std::max(width_[c], width);
}

void TableWriter::Flush() {
  if (buf_.empty()) return;
  out_.write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
  buf_.clear();
}

void TableWriter::TextLine(const std::vector<std::string>& cells) {
  static const std::string kEmpty;
  for (size_t c = 0; c < columns_.size(); ++c) {
    const std::string& raw = c < cells.size() ? cells[c] : kEmpty;
    std::string cleaned;
    if (!NeedsNoCleaning(raw)) cleaned = TextCell(raw);
    const std::string& v = cleaned.empty() ? raw : cleaned;
    const size_t pad = width_[c] - std::min(width_[c], TextWidth(v));
    if (c) buf_.append(2, ' ');
    if (IsNumeric(c)) {
      buf_.append(pad, ' ');
      buf_ += v;
    } else {
      buf_ += v;
      if (c + 1 < columns_.size()) buf_.append(pad, ' ');
    }
  }
  buf_ += '\n';
}

void TableWriter::Begin() {
  begun_ = true;
  switch (format_) {
    case Format::kJson:
      buf_ += "[";
      break;
    case Format::kCsv:
      for (size_t c = 0; c < columns_.size(); ++c) {
        if (c) buf_ += ',';
        buf_ += CsvCell(columns_[c], false);
      }
      buf_ += "\r\n";
      break;
    case Format::kText: {
      TextLine(columns_);
      std::vector<std::string> rule;
      for (size_t w : width_) rule.push_back(std::string(w, '-'));
      TextLine(rule);
      break;
    }
  }
}

void TableWriter::Row(const std::vector<std::string>& cells) {
  static const std::string kEmpty;
  if (!begun_) Begin();
  switch (format_) {
    case Format::kJson:
      buf_ += rows_ ? ",\n {" : "\n {";
      for (size_t c = 0; c < columns_.size(); ++c) {
        const std::string& v = c < cells.size() ? cells[c] : kEmpty;
        if (c) buf_ += ", ";
        buf_ += JsonQuote(columns_[c]);
        buf_ += ": ";
        if (IsNumeric(c) && IsJsonNumber(v)) {
          buf_ += v;
        } else {
          buf_ += JsonQuote(v);
        }
      }
      buf_ += "}";
      break;
    case Format::kCsv:
      for (size_t c = 0; c < cells.size(); ++c) {
        if (c) buf_ += ',';
        buf_ += CsvCell(cells[c], IsNumeric(c));
      }
      buf_ += "\r\n";
      break;
    case Format::kText:
      TextLine(cells);
      break;
  }
  ++rows_;
  if (buf_.size() >= 64 * 1024) Flush();
}

bool TableWriter::Good() const { return out_.good(); }

void TableWriter::End() {
  if (ended_) return;
  if (!begun_) Begin();
  ended_ = true;
  if (format_ == Format::kJson) buf_ += rows_ ? "\n]\n" : "]\n";
  Flush();
  out_.flush();
}

void Table::Print(std::ostream& out, Format format) const {
  TableWriter w(out, format, columns, numeric);
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) w.SetWidth(c, TextWidth(TextCell(row[c])));
  }
  for (const auto& row : rows) w.Row(row);
  w.End();
}

void PrintDone(std::ostream& out, Format format, const std::string& prose, const Table& table) {
  if (format == Format::kText) {
    out << prose << "\n";
  } else {
    table.Print(out, format);
  }
}

}  // namespace bkreg
