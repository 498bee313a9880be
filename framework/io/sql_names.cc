// Which names may appear in SQL text (see sql_names.h).
#include "framework/io/sql_names.h"

bool tsioIsPlainIdentifier(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!letter(name[0])) return false;
  for (char c : name) {
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

bool tsioNamesArePlain(const tsioFileDef& def) {
  if (!tsioIsPlainIdentifier(def.code)) return false;
  auto plain_fields = [](const std::vector<tsioFieldDef>& fields) {
    for (const auto& f : fields) {
      if (!tsioIsPlainIdentifier(f.name)) return false;
    }
    return true;
  };
  auto plain_names = [](const std::vector<std::string>& names) {
    for (const auto& n : names) {
      if (!tsioIsPlainIdentifier(n)) return false;
    }
    return true;
  };
  for (const auto& r : def.records) {
    if (!plain_fields(r.fields)) return false;
    for (const auto& k : r.keys) {
      if (!plain_names(k.columns)) return false;
    }
  }
  for (const auto& h : def.headers) {
    if (!plain_fields(h.fields)) return false;
  }
  for (const auto& c : def.carried) {
    if (!plain_names(c.columns)) return false;
  }
  return true;
}
