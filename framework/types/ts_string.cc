// tsString: the custom-description table and its replacement.
#include "framework/types/ts_string.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct Table {
  std::mutex mu;
  // Longest token first, so the first match at a position is the longest.
  std::vector<std::pair<std::string, std::string>> entries;
  bool first_char[256] = {};

  Table() { Reset(); }

  void Reset() {
    entries = {{"<8FP>", "Checks"}, {"<8I>", "Check"}, {"<8F>", "Check"}, {"<1I>", "Batch"}, {"<1>", "Batch"}};
    Reindex();
  }

  void Reindex() {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    std::fill(std::begin(first_char), std::end(first_char), false);
    for (const auto& e : entries) first_char[static_cast<unsigned char>(e.first[0])] = true;
  }
};

Table& TheTable() {
  static Table* table = new Table();  // never destroyed: usable during exit
  return *table;
}

}  // namespace

std::string tsString::ReplaceCustomDescriptions(std::string_view text) {
  Table& t = TheTable();
  std::string out;
  out.reserve(text.size());
  std::lock_guard<std::mutex> lock(t.mu);
  size_t i = 0;
  while (i < text.size()) {
    bool replaced = false;
    if (t.first_char[static_cast<unsigned char>(text[i])]) {
      for (const auto& [token, term] : t.entries) {
        if (text.compare(i, token.size(), token) == 0) {
          out += term;
          i += token.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

void tsString::SetCustomDescription(std::string_view token, std::string_view term) {
  if (token.empty()) return;
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mu);
  for (auto& e : t.entries) {
    if (e.first == token) {
      e.second.assign(term);
      return;
    }
  }
  t.entries.emplace_back(std::string(token), std::string(term));
  t.Reindex();
}

void tsString::ResetCustomDescriptions() {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mu);
  t.Reset();
}
