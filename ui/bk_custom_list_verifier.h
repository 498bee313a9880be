// bkCustomListVerifier: makes sure the module's user-editable type lists in
// the control file (framework/control/control_file.h) still hold the type
// names the module itself relies on.
//
// Lists (one text each, entries separated by ","), with the entries the
// module requires, in order:
//   530 deposit types     "Electronic", "Teller", "Cash Transfer"
//   531 withdrawal types  "Electronic", "Cash Transfer"
//   532 adjustment types  "NSF Check", "NSF Charge", "Miscellaneous",
//                         "Cash Transfer", "Monthly Interest",
//                         "Overnight Interest"
// Verify opens the control file for update, then for each required entry:
// an empty list is left empty (the user keeps no list of that kind); a list
// whose text holds the entry anywhere (as a plain substring: "Cash
// Transfers" holds "Cash Transfer") is left as it is; otherwise "," and the
// entry are appended. Then the control file is written and closed. Every
// step runs; the result carries every failure (error 1630 when the control
// file cannot be opened or a list cannot be read, 1631 when it cannot be
// written, each at level 3). A list that cannot be read is never written,
// and nothing is written when the control file could not be opened.
//
// The verifier holds the control-file handle (65535 while none is open);
// copies copy it.
#pragma once

#include "framework/base/errors.h"
#include "framework/types/ts_string.h"
#include "records/bk_export.h"

class BK_EXPORT bkCustomListVerifier {
 public:
  static constexpr unsigned short kNoHandle = 65535;
  static constexpr short kDepositTypes = 530;
  static constexpr short kWithdrawalTypes = 531;
  static constexpr short kAdjustmentTypes = 532;

  bkCustomListVerifier() = default;
  bkCustomListVerifier(const bkCustomListVerifier&) = default;
  bkCustomListVerifier& operator=(const bkCustomListVerifier&) = default;

  ccStatus<ccError::Level> Verify();
  unsigned short Handle() const { return m_Handle; }

 private:
  ccStatus<ccError::Level> OpenControlFile();
  ccStatus<ccError::Level> VerifyDepositTypeFields();
  ccStatus<ccError::Level> VerifyWithdrawalTypeFields();
  ccStatus<ccError::Level> VerifyAdjustmentTypeFields();
  ccStatus<ccError::Level> VerifyType(short list_id, const CString& entry);
  ccStatus<ccError::Level> SaveControlFile();

  unsigned short m_Handle = kNoHandle;
};
