// Line ids of statements whose bank gives none.
#include "statements/statement.h"

#include <cstdint>
#include <cstdio>
#include <map>

namespace {

uint64_t Fnv1a(const std::string& text) {
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

}  // namespace

void bkAssignLineIds(bkStatement& statement) {
  std::map<std::string, int> seen;
  for (auto& line : statement.lines) {
    if (!line.id.empty() && line.id.size() <= kStatementLineIdWidth) continue;
    std::string content = line.id.empty()
                              ? std::to_string(line.date.Ymd()) + "|" + line.amount.Format() + "|" +
                                    std::to_string(line.check) + "|" + line.reference + "|" + line.memo
                              : "id|" + line.id;
    const int n = seen[content]++;
    line.id = HashId(content + "|" + std::to_string(n));
  }
}
