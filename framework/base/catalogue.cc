// The message catalogue: storage, lookup and tag substitution.
#include "framework/base/catalogue.h"

#include <map>
#include <mutex>
#include <shared_mutex>
#include <utility>

#include "framework/base/bk_messages.h"

namespace {

class Catalogue {
 public:
  Catalogue() { Register("BK", BankRegisterMessages()); }

  void Register(std::string_view module, std::span<const ccMessageDef> defs) {
    std::unique_lock lock(mu_);
    auto& entries = modules_[std::string(module)];
    for (const ccMessageDef& d : defs) entries[d.number] = ccCatalogueEntry{d.level, std::string(d.text)};
  }

  std::optional<ccCatalogueEntry> Find(std::string_view module, unsigned short number) const {
    std::shared_lock lock(mu_);
    auto m = modules_.find(module);
    if (m == modules_.end()) return std::nullopt;
    auto e = m->second.find(number);
    if (e == m->second.end()) return std::nullopt;
    return e->second;
  }

  std::vector<unsigned short> Numbers(std::string_view module) const {
    std::shared_lock lock(mu_);
    std::vector<unsigned short> out;
    auto m = modules_.find(module);
    if (m != modules_.end()) {
      for (const auto& [number, entry] : m->second) out.push_back(number);
    }
    return out;
  }

 private:
  mutable std::shared_mutex mu_;
  std::map<std::string, std::map<unsigned short, ccCatalogueEntry>, std::less<>> modules_;
};

Catalogue& TheCatalogue() {
  // Never destroyed: modules may look messages up while the process ends.
  static Catalogue* catalogue = new Catalogue;
  return *catalogue;
}

// Calls on_text(piece) for literal text and on_tag(name) for each "{name}".
// A name is the text between a "{" and the next "}" with no other "{" in
// between; "{}" and an unclosed "{" are literal text.
template <typename OnText, typename OnTag>
void ScanTags(std::string_view text, OnText on_text, OnTag on_tag) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('{', pos);
    size_t close = open == std::string_view::npos ? open : text.find('}', open + 1);
    if (close == std::string_view::npos) {
      on_text(text.substr(pos));
      return;
    }
    size_t inner = text.find('{', open + 1);
    if (inner < close || close == open + 1) {
      // Not a tag: keep up to the inner "{" (or past the "{}") as text.
      size_t next = inner < close ? inner : close + 1;
      on_text(text.substr(pos, next - pos));
      pos = next;
      continue;
    }
    on_text(text.substr(pos, open - pos));
    on_tag(text.substr(open + 1, close - open - 1));
    pos = close + 1;
  }
}

}  // namespace

void ccRegisterMessages(std::string_view module, std::span<const ccMessageDef> defs) {
  TheCatalogue().Register(module, defs);
}

void ccRegisterMessages(std::string_view module, std::initializer_list<ccMessageDef> defs) {
  TheCatalogue().Register(module, std::span<const ccMessageDef>(defs.begin(), defs.size()));
}

std::optional<ccCatalogueEntry> ccFindMessage(std::string_view module, unsigned short number) {
  return TheCatalogue().Find(module, number);
}

std::vector<unsigned short> ccCatalogueNumbers(std::string_view module) {
  return TheCatalogue().Numbers(module);
}

std::vector<std::string> ccTextTags(std::string_view text) {
  std::vector<std::string> tags;
  ScanTags(
      text, [](std::string_view) {},
      [&](std::string_view name) {
        for (const std::string& t : tags) {
          if (t == name) return;
        }
        tags.emplace_back(name);
      });
  return tags;
}

std::string ccSubstituteTags(std::string_view text, const tclTagValues& tags) {
  std::string out;
  out.reserve(text.size() + 32);
  ScanTags(
      text, [&](std::string_view piece) { out += piece; },
      [&](std::string_view name) {
        if (const std::string* value = tags.Find(name)) out += *value;
      });
  return out;
}
