// "BK" catalogue messages of the general-ledger functions (see gl_messages.h).
#include "ledger/gl_messages.h"

namespace bk_ledger {

ccStatus<ccError::Level> BuildIntercompanyAccountError(const std::string& gl_text) {
  tclTagValues tags;
  tags.AddValue("GL error", gl_text);
  ccError e = ErrorMessage("BK", 1627, tags);
  e.SetLevel(ccError::kError);
  return ccStatus<ccError::Level>(ccError::kError, e);
}

void AddUnavailableReport(ccStatus<ccError::Level>& status) {
  status.Merge(BuildIntercompanyAccountError("could not initialize General Ledger's account data."));
  status.Add(ccError(0, ccError::kNone, "", "You may need to reinstall General Ledger."));
}

}  // namespace bk_ledger
