// Library-internal: the report the general-ledger functions make when the
// general ledger cannot be reached.
#pragma once

#include "framework/base/errors.h"

namespace bk_ledger {

// Adds to `status` message 1627 (GLBuildIntercompanyAccountError with "could
// not initialize General Ledger's account data.") and a plain follow-up line
// (number 0, level 0, second text "You may need to reinstall General
// Ledger.").
void AddUnavailableReport(ccStatus<ccError::Level>& status);

}  // namespace bk_ledger
