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

TableWriter::TableWriter(std::ostream& out, Format format, std::vector<std::string> columns,
                         std::vector<bool> numeric)
    : out_(out), format_(format), columns_(std::move(columns)), numeric_(std::move(numeric)) {
  for (const auto& c : columns_) width_.push_back(c.size());
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
    const std::string& v = c < cells.size() ? cells[c] : kEmpty;
    const size_t pad = width_[c] - std::min(width_[c], v.size());
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
        buf_ += CsvQuote(columns_[c]);
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
        buf_ += IsNumeric(c) && !v.empty() ? v : JsonQuote(v);
      }
      buf_ += "}";
      break;
    case Format::kCsv:
      for (size_t c = 0; c < cells.size(); ++c) {
        if (c) buf_ += ',';
        buf_ += CsvQuote(cells[c]);
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
    for (size_t c = 0; c < row.size(); ++c) w.SetWidth(c, row[c].size());
  }
  for (const auto& row : rows) w.Row(row);
  w.End();
}

}  // namespace bkreg
