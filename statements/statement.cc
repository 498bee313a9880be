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

std::string HashText(uint64_t hash) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "#%016llx", static_cast<unsigned long long>(hash));
  return buf;
}

// One text field by the rules of bkCleanLineText; "" or the refusal.
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

std::string_view bkStatementLines::Text(const Packed& p, size_t from, size_t len) const {
  return std::string_view(blocks_[p.text / kBlockSize]).substr(p.text % kBlockSize + from, len);
}

bkStatementLine bkStatementLines::operator[](size_t i) const {
  const Packed& p = packed_[i];
  bkStatementLine l;
  l.id = p.made_id ? HashText(Fnv1a(Content(i) + "|" + std::to_string(p.earlier))) : std::string(GivenId(i));
  if (p.ymd != 0) l.date = tsDate::FromYmd(p.ymd);
  l.amount = tsCurrency(tsDouble::FromScaled(p.cents, 2, 2));
  l.check = p.check;
  l.reference = std::string(Text(p, p.id_len, p.ref_len));
  l.memo = std::string(Text(p, p.id_len + p.ref_len, p.memo_len));
  l.source_line = p.source_line;
  return l;
}

void bkStatementLines::push_back(const bkStatementLine& line) {
  Packed p;
  tsCell cents;
  if (line.amount.Rounded(2).ToCell(cents, 2)) p.cents = cents.i;
  p.check = line.check;
  p.ymd = line.date.Ymd();
  p.source_line = line.source_line;
  // Each text within what its length holds (the readers keep far less).
  const std::string_view id = tsCutUtf8(std::string_view(line.id).substr(0, 0xFFFF), 0xFFFF);
  const std::string_view ref = tsCutUtf8(std::string_view(line.reference).substr(0, 0xFFFF), 0xFFFF);
  const std::string_view memo = tsCutUtf8(std::string_view(line.memo).substr(0, 0xFFFF), 0xFFFF);
  p.id_len = static_cast<uint16_t>(id.size());
  p.ref_len = static_cast<uint16_t>(ref.size());
  p.memo_len = static_cast<uint16_t>(memo.size());
  const size_t need = id.size() + ref.size() + memo.size();
  if (blocks_.empty() || blocks_.back().size() + need > kBlockSize) {
    blocks_.emplace_back();
    blocks_.back().reserve(kBlockSize);
  }
  std::string& block = blocks_.back();
  p.text = static_cast<uint32_t>((blocks_.size() - 1) * kBlockSize + block.size());
  block.append(id).append(ref).append(memo);
  packed_.push_back(p);
}

void bkStatementLines::clear() {
  packed_.clear();
  blocks_.clear();
}

std::string_view bkStatementLines::GivenId(size_t i) const { return Text(packed_[i], 0, packed_[i].id_len); }

std::string bkStatementLines::Content(size_t i) const {
  const Packed& p = packed_[i];
  const std::string_view id = GivenId(i);
  if (!id.empty()) return "id|" + std::string(id);
  return std::to_string(p.ymd) + "|" + tsCurrency(tsDouble::FromScaled(p.cents, 2, 2)).Format() + "|" +
         std::to_string(p.check) + "|" + std::string(Text(p, p.id_len, p.ref_len)) + "|" +
         std::string(Text(p, p.id_len + p.ref_len, p.memo_len));
}

void bkStatementLines::SetMadeId(size_t i, uint32_t earlier) {
  packed_[i].earlier = earlier;
  packed_[i].made_id = true;
}

void bkAssignLineIds(bkStatement& statement) {
  // Lines grouped by the hash of their content; within a group, equal
  // contents counted in file order. Only lines of one hash are ever held as
  // text together, so identical lines cost n log n, not n squared.
  bkStatementLines& lines = statement.lines;
  std::vector<std::pair<uint64_t, uint32_t>> keys;
  for (uint32_t i = 0; i < lines.size(); ++i) {
    const std::string_view id = lines.GivenId(i);
    if (!lines.HasMadeId(i) && (id.empty() || id.size() > kStatementLineIdWidth)) {
      keys.emplace_back(Fnv1a(lines.Content(i)), i);
    }
  }
  std::sort(keys.begin(), keys.end());
  for (size_t g = 0; g < keys.size();) {
    size_t e = g + 1;
    while (e < keys.size() && keys[e].first == keys[g].first) ++e;
    std::vector<std::pair<std::string, uint32_t>> group;
    for (size_t k = g; k < e; ++k) group.emplace_back(lines.Content(keys[k].second), keys[k].second);
    std::sort(group.begin(), group.end());
    for (size_t k = 0, n = 0; k < group.size(); ++k) {
      n = k > 0 && group[k].first == group[k - 1].first ? n + 1 : 0;
      lines.SetMadeId(group[k].second, static_cast<uint32_t>(n));
    }
    g = e;
  }
}

bool bkCleanLineText(bkStatementLine& line, std::string* error) {
  std::string why = CleanText(&line.id, "id", line.source_line, 0);
  if (why.empty()) why = CleanText(&line.reference, "reference", line.source_line, kStatementTextLimit);
  if (why.empty()) why = CleanText(&line.memo, "memo", line.source_line, kStatementTextLimit);
  if (why.empty()) return true;
  *error = why;
  return false;
}

bool bkFinishStatement(bkStatement& statement, std::string* error) {
  std::string why = CleanText(&statement.account, "account number", 0, kStatementTextLimit);
  if (why.empty()) why = CleanText(&statement.bank_id, "bank id", 0, kStatementTextLimit);
  if (!why.empty()) {
    *error = why;
    return false;
  }
  // The bank's ids are one line each.
  const bkStatementLines& lines = statement.lines;
  std::vector<std::pair<uint64_t, uint32_t>> given;
  for (uint32_t i = 0; i < lines.size(); ++i) {
    const std::string_view id = lines.GivenId(i);
    if (!id.empty()) given.emplace_back(Fnv1a(id), i);
  }
  // By hash, then text: equal ids end up side by side, first in file order.
  std::sort(given.begin(), given.end(), [&](const auto& x, const auto& y) {
    if (x.first != y.first) return x.first < y.first;
    const int c = lines.GivenId(x.second).compare(lines.GivenId(y.second));
    return c != 0 ? c < 0 : x.second < y.second;
  });
  for (size_t k = 1; k < given.size(); ++k) {
    if (given[k - 1].first == given[k].first && lines.GivenId(given[k - 1].second) == lines.GivenId(given[k].second)) {
      *error = "lines " + std::to_string(lines.SourceLine(given[k - 1].second)) + " and " +
               std::to_string(lines.SourceLine(given[k].second)) + " have the same id '" +
               std::string(lines.GivenId(given[k].second)) + "'; a statement gives each line its own";
      return false;
    }
  }
  bkAssignLineIds(statement);
  return true;
}
