// tsString: text services, chiefly the custom descriptions: tokens in texts
// shown to people that stand for the user's own terms.
//
// Tokens and their default terms:
//   "<8I>"  -> "Check"    (the term for a check)
//   "<8F>"  -> "Check"
//   "<8FP>" -> "Checks"   (plural)
//   "<1I>"  -> "Batch"    (the term for a batch)
//   "<1>"   -> "Batch"
// ReplaceCustomDescriptions scans the text once, left to right; at each
// position the longest token that matches is replaced ("<8FP>" is never read
// as "<8F>" followed by "P"); replaced terms are not scanned again; text
// outside tokens, and unknown tokens, are kept as they are.
//
// The terms are process-wide settings: SetCustomDescription changes (or adds)
// one token's term, ResetCustomDescriptions restores the defaults (and drops
// added tokens). All three are safe to call from any thread.
//
// CString is the plain text type of the library's interfaces.
#pragma once

#include <string>
#include <string_view>

#include "framework/base/export.h"
#include "framework/types/ts_alpha.h"

using CString = std::string;

class TS_EXPORT tsString {
 public:
  static std::string ReplaceCustomDescriptions(std::string_view text);
  static std::string ReplaceCustomDescriptions(const char* text) {
    return ReplaceCustomDescriptions(std::string_view(text ? text : ""));
  }
  static std::string ReplaceCustomDescriptions(const std::string& text) {
    return ReplaceCustomDescriptions(std::string_view(text));
  }
  static tsAlpha ReplaceCustomDescriptions(const tsAlpha& text) {
    return tsAlpha(ReplaceCustomDescriptions(text.view()));
  }

  // Sets the term that `token` stands for; an empty token is ignored.
  static void SetCustomDescription(std::string_view token, std::string_view term);
  static void ResetCustomDescriptions();
};
