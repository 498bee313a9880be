// Library-internal: the "BK" catalogue messages the general-ledger functions
// raise, built with ErrorMessage.
#pragma once

#include <string>

#include "framework/base/errors.h"

namespace bk_ledger {

// Message 1627 with the tag "GL error" = text, at level 3.
ccStatus<ccError::Level> BuildIntercompanyAccountError(const std::string& gl_text);
// Adds to `status` the report that the general ledger could not be reached:
// message 1627 ("could not initialize General Ledger's account data.") and a
// plain follow-up line ("You may need to reinstall General Ledger.").
void AddUnavailableReport(ccStatus<ccError::Level>& status);

}  // namespace bk_ledger
