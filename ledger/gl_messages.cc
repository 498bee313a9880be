// The unavailable-ledger report (see gl_messages.h).
#include "ledger/gl_messages.h"

#include "records/messages.h"

namespace bk_ledger {

void AddUnavailableReport(ccStatus<ccError::Level>& status) {
  status.Merge(GLBuildIntercompanyAccountError("could not initialize General Ledger's account data."));
  status.Add(ccError(0, ccError::kNone, "", "You may need to reinstall General Ledger."));
}

}  // namespace bk_ledger
