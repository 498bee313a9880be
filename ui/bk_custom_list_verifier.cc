// The module's required entries of the control file's type lists (see
// bk_custom_list_verifier.h).
#include "ui/bk_custom_list_verifier.h"

#include <string>

#include "framework/control/control_file.h"
#include "records/messages.h"

namespace {

ccStatus<ccError::Level> Error(ccError error) {
  error.SetLevel(ccError::kError);
  ccStatus<ccError::Level> st(ccError::kNone);
  st.Add(error);
  return st;
}

}  // namespace

ccStatus<ccError::Level> bkCustomListVerifier::Verify() {
  ccStatus<ccError::Level> st(ccError::kNone);
  st += OpenControlFile();
  st += VerifyDepositTypeFields();
  st += VerifyWithdrawalTypeFields();
  st += VerifyAdjustmentTypeFields();
  st += SaveControlFile();
  return st;
}

ccStatus<ccError::Level> bkCustomListVerifier::OpenControlFile() {
  const short handle = xc_open_control_file(1);
  m_Handle = static_cast<unsigned short>(handle);
  if (handle == -1) return Error(CannotOpenControlFile());
  return ccStatus<ccError::Level>(ccError::kNone);
}

ccStatus<ccError::Level> bkCustomListVerifier::VerifyDepositTypeFields() {
  ccStatus<ccError::Level> st(ccError::kNone);
  for (const char* entry : {"Electronic", "Teller", "Cash Transfer"}) st += VerifyType(kDepositTypes, entry);
  return st;
}

ccStatus<ccError::Level> bkCustomListVerifier::VerifyWithdrawalTypeFields() {
  ccStatus<ccError::Level> st(ccError::kNone);
  for (const char* entry : {"Electronic", "Cash Transfer"}) st += VerifyType(kWithdrawalTypes, entry);
  return st;
}

ccStatus<ccError::Level> bkCustomListVerifier::VerifyAdjustmentTypeFields() {
  ccStatus<ccError::Level> st(ccError::kNone);
  for (const char* entry : {"NSF Check", "NSF Charge", "Miscellaneous", "Cash Transfer", "Monthly Interest",
                            "Overnight Interest"}) {
    st += VerifyType(kAdjustmentTypes, entry);
  }
  return st;
}

ccStatus<ccError::Level> bkCustomListVerifier::VerifyType(short list_id, const CString& entry) {
  // Without an open control file there is nothing to read or change.
  if (m_Handle >= kNoHandle) return ccStatus<ccError::Level>(ccError::kNone);
  const short handle = static_cast<short>(m_Handle);
  std::string text;
  if (!xc_read_custom_list(handle, list_id, &text)) return Error(CannotOpenControlFile());
  if (text.empty() || text.find(entry) != std::string::npos) return ccStatus<ccError::Level>(ccError::kNone);
  text += ",";
  text += entry;
  (void)xc_put_custom_list(handle, list_id, text);
  return ccStatus<ccError::Level>(ccError::kNone);
}

ccStatus<ccError::Level> bkCustomListVerifier::SaveControlFile() {
  if (m_Handle >= kNoHandle) return ccStatus<ccError::Level>(ccError::kNone);
  const short handle = static_cast<short>(m_Handle);
  ccStatus<ccError::Level> st(ccError::kNone);
  if (xc_wr_control_file(handle) == 0) st = Error(CannotWriteControlFile());
  xc_cls_control_file(handle);
  m_Handle = kNoHandle;  // the number may be handed out again
  return st;
}
