// The message catalogue: for a module code ("BK", "GL", ...) and a message
// number, the default level and the text of the message.
//
// Texts name their variable parts by tag between braces: "{tag name}". Tag
// names may contain spaces; a "{" without a closing "}" is plain text. When a
// message is built (ErrorMessage, framework/base/errors.h) each tag is
// replaced by the value given for it, or by nothing when no value is given;
// values are inserted as they are and not searched for tags again.
//
// The texts of the bank-register module ("BK") are built in. Other modules
// add theirs with ccRegisterMessages, normally once when they are loaded.
// The catalogue may be read and extended from any thread.
#pragma once

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/errors.h"
#include "framework/base/export.h"
#include "framework/base/tag_values.h"

// One catalogue entry as a module declares it.
struct ccMessageDef {
  unsigned short number;
  ccError::Level level;  // the level ErrorMessage gives the message
  std::string_view text;
};

// A catalogue entry as stored.
struct ccCatalogueEntry {
  ccError::Level level = ccError::kNone;
  std::string text;
};

// Adds the entries of `module` (texts are copied). An entry whose number the
// module already has replaces it.
TS_EXPORT void ccRegisterMessages(std::string_view module, std::span<const ccMessageDef> defs);
TS_EXPORT void ccRegisterMessages(std::string_view module, std::initializer_list<ccMessageDef> defs);

// The entry for (module, number), or nothing when there is none.
TS_EXPORT std::optional<ccCatalogueEntry> ccFindMessage(std::string_view module, unsigned short number);

// Every message number of `module`, ascending.
TS_EXPORT std::vector<unsigned short> ccCatalogueNumbers(std::string_view module);

// The tag names `text` refers to, in order of first use, each once.
TS_EXPORT std::vector<std::string> ccTextTags(std::string_view text);

// `text` with each "{tag}" replaced by its value in `tags` ("" when absent).
TS_EXPORT std::string ccSubstituteTags(std::string_view text, const tclTagValues& tags);
