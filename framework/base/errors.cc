// Messages, message lists and catalogue lookups.
#include "framework/base/errors.h"

#include "framework/base/application.h"
#include "framework/base/catalogue.h"
#include "framework/types/ts_string.h"

std::string ccError::DisplayText() const {
  if (text2_.empty()) return text_;
  if (text_.empty()) return text2_;
  return text_ + "\n" + text2_;
}

void ccErrors::Add(const ccErrors& other) {
  if (&other == this) {
    std::vector<ccError> copy = errors_;
    errors_.insert(errors_.end(), copy.begin(), copy.end());
    return;
  }
  errors_.insert(errors_.end(), other.errors_.begin(), other.errors_.end());
}

ccError::Level ccErrors::MaxLevel() const {
  ccError::Level level = ccError::kNone;
  for (const ccError& e : errors_) level = ccMaxLevel(level, e.GetLevel());
  return level;
}

void ccErrors::Display(const tsTask* /*task*/) const {
  tsResponder& responder = TSGetApp()->Responder();
  for (const ccError& e : errors_) responder.ShowMessage(e.DisplayText(), e.GetLevel());
}

ccError ErrorMessage(std::string_view module, unsigned short number, const tclTagValues& tags) {
  if (std::optional<ccCatalogueEntry> entry = ccFindMessage(module, number)) {
    // Shown to people: the tokens of the user's terms ("<8I>", "<1>", ...)
    // become the terms, in the text and in what the tags bring.
    return ccError(number, entry->level, tsString::ReplaceCustomDescriptions(ccSubstituteTags(entry->text, tags)));
  }
  std::string text = "Message " + std::string(module) + " " + std::to_string(number) +
                     " is not in the catalogue.";
  bool first = true;
  for (const auto& [name, value] : tags) {
    text += first ? " (" : "; ";
    first = false;
    text += name + ": " + value;
  }
  if (!first) text += ")";
  return ccError(number, ccError::kError, std::move(text));
}
