// Line ids, text rules and the last checks every statement reader shares.
#include "statements/statement.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "framework/types/input_rules.h"

namespace {

uint64_t Fnv1a(std::string_view text) {
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return h;
}

std::string HashId(const std::string& content) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "#%016llx", static_cast<unsigned long long>(Fnv1a(content)));
  return buf;
}

// What a line's made id is a hash of (with its count of earlier equals).
std::string Content(const bkStatementLine& line) {
  return line.id.empty() ? std::to_string(line.date.Ymd()) + "|" + line.amount.Format() + "|" +
                               std::to_string(line.check) + "|" + line.reference + "|" + line.memo
                         : "id|" + line.id;
}

bool NeedsId(const bkStatementLine& line) { return line.id.empty() || line.id.size() > kStatementLineIdWidth; }

// One text field by the rules of bkFinishStatement; "" or the refusal.
std::string CleanText(std::string* text, const char* what, int line, size_t limit) {
  for (char& c : *text) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  const size_t b = text->find_first_not_of(' ');
  if (b == std::string::npos) {
    text->clear();
  } else {
    text->erase(text->find_last_not_of(' ') + 1);
    text->erase(0, b);
  }
  const std::string where = line > 0 ? "line " + std::to_string(line) + ": " : "";
  switch (tsCheckLineText(*text)) {
    case tsTextProblem::kNone: break;
    case tsTextProblem::kNotUtf8: return where + "the " + what + " is not valid UTF-8 text";
    case tsTextProblem::kControl:
    case tsTextProblem::kC1Control:
      return where + "the " + what + " holds a control character (a terminal escape or the like)";
  }
  if (limit > 0) text->resize(tsCutUtf8(*text, limit).size());
  return "";
}

}  // namespace

bool bkDecodeText(std::string_view raw, bkTextEncoding encoding, std::string* out) {
  switch (encoding) {
    case bkTextEncoding::kUtf8: return tsToUtf8(raw, tsEncoding::kUtf8, out);
    case bkTextEncoding::kWindows1252: return tsToUtf8(raw, tsEncoding::kWindows1252, out);
    case bkTextEncoding::kDetect:
      return tsToUtf8(raw, tsEncoding::kUtf8, out) || tsToUtf8(raw, tsEncoding::kWindows1252, out);
  }
  return false;
}

void bkAssignLineIds(bkStatement& statement) {
  // Lines grouped by the hash of their content; within a group, equal
  // contents counted in file order. Only lines of one hash are ever held as
  // text together, so identical lines cost n log n, not n squared.
  std::vector<std::pair<uint64_t, uint32_t>> keys;
  for (uint32_t i = 0; i < statement.lines.size(); ++i) {
    if (NeedsId(statement.lines[i])) keys.emplace_back(Fnv1a(Content(statement.lines[i])), i);
  }
  std::sort(keys.begin(), keys.end());
  for (size_t g = 0; g < keys.size();) {
    size_t e = g + 1;
    while (e < keys.size() && keys[e].first == keys[g].first) ++e;
    std::vector<std::pair<std::string, uint32_t>> group;
    for (size_t k = g; k < e; ++k) group.emplace_back(Content(statement.lines[keys[k].second]), keys[k].second);
    std::sort(group.begin(), group.end());
    for (size_t k = 0, n = 0; k < group.size(); ++k) {
      n = k > 0 && group[k].first == group[k - 1].first ? n + 1 : 0;
      statement.lines[group[k].second].id = HashId(group[k].first + "|" + std::to_string(n));
    }
    g = e;
  }
}

bool bkFinishStatement(bkStatement& statement, std::string* error) {
  std::string why = CleanText(&statement.account, "account number", 0, kStatementTextLimit);
  if (why.empty()) why = CleanText(&statement.bank_id, "bank id", 0, kStatementTextLimit);
  for (auto& line : statement.lines) {
    if (!why.empty()) break;
    why = CleanText(&line.id, "id", line.source_line, 0);
    if (why.empty()) why = CleanText(&line.reference, "reference", line.source_line, kStatementTextLimit);
    if (why.empty()) why = CleanText(&line.memo, "memo", line.source_line, kStatementTextLimit);
  }
  if (!why.empty()) {
    *error = why;
    return false;
  }
  // The bank's ids are one line each.
  std::vector<std::pair<uint64_t, uint32_t>> given;
  for (uint32_t i = 0; i < statement.lines.size(); ++i) {
    if (!statement.lines[i].id.empty()) given.emplace_back(Fnv1a(statement.lines[i].id), i);
  }
  // By hash, then text: equal ids end up side by side, first in file order.
  std::sort(given.begin(), given.end(), [&](const auto& x, const auto& y) {
    if (x.first != y.first) return x.first < y.first;
    const int c = statement.lines[x.second].id.compare(statement.lines[y.second].id);
    return c != 0 ? c < 0 : x.second < y.second;
  });
  for (size_t k = 1; k < given.size(); ++k) {
    const bkStatementLine& a = statement.lines[given[k - 1].second];
    const bkStatementLine& b = statement.lines[given[k].second];
    if (given[k - 1].first == given[k].first && a.id == b.id) {
      *error = "lines " + std::to_string(a.source_line) + " and " + std::to_string(b.source_line) +
               " have the same id '" + a.id + "'; a statement gives each line its own";
      return false;
    }
  }
  bkAssignLineIds(statement);
  return true;
}
