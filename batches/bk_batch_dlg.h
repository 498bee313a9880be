// bkBatchDlg: the bank register's batch dialog (a zzBatchDlg of the batch
// framework, headless) on dialog template 1111, a resource of this library
// (bkBatchDialogTemplate).
//
// Template 1111: caption "Select Batch", font "Helv" 8, 307 by 114 dialog
// units, twelve controls:
//   7009 group box  "<1I>" (the user's term for a batch)   5, 44, 293, 45
//   7005 label      "&Number of transactions:"              21, 61, 79, 8
//   7001 edit, right-aligned (number of transactions)       103, 58, 25, 12
//   7007 label      "&Amount of transactions:"              143, 61, 85, 8
//   7002 edit, right-aligned (amount of transactions)       230, 58, 56, 12
//   7006 label      "Number remaining:"                     21, 74, 78, 8
//   7004 label, right-aligned (number remaining)            106, 73, 22, 10
//   7008 label      "Amount remaining:"                     143, 73, 66, 9
//   7003 label, right-aligned (amount remaining)            232, 74, 55, 10
//   1 "&OK" 144, 96, 50, 14; 2 "Cancel" 198, 96, 50, 14; 9 "&Help"
//   251, 96, 50, 14 (push buttons)
//
// The dialog shows the part's control totals in four edit controls with
// formatters: 7001 the count (integer, 4 digits), 7002 the amount (the
// module's money format, 9 digits and 2 decimals, style flag set), and the
// remaining figures 7004 (integer) and 7003 (money), which only show. While
// it exists, this library is the application's current resource module.
//
// Behaviour:
//   - OnInitDialog: the framework's initialisation; the formatters; the count
//     cleared and the amount "0.00"; 7009 through the custom descriptions;
//     7005 "&Number of <part description>:", 7007 "&Amount of <part
//     description>:"; batch access key "NA"; a copy of the part is kept for
//     Cancel; when the batch information is static, the part's totals and the
//     remaining figures are shown.
//   - When the focus leaves 7001 or 7002 the dialog goes to the part and the
//     part back to the dialog (with the remaining figures), then the edit
//     validator handles the event; other events go straight to it.
//   - Cancel puts the part back as it was when the dialog opened (whether or
//     not the batch information is static), then the framework's cancel.
#pragma once

#include <memory>
#include <string>

#include "batches/bk_batch_part.h"
#include "framework/batch/batch_dlg.h"
#include "framework/ui/control.h"
#include "framework/ui/dialog.h"
#include "records/bk_export.h"

// The name under which this library keeps its resources.
inline constexpr const char* kBkResourceModule = "bkshared";

// Template 1111, as the library registers it.
BK_EXPORT const tsDialogTemplate& bkBatchDialogTemplate();

class BK_EXPORT bkBatchDlg : public zzBatchDlg {
 public:
  static constexpr unsigned short kTemplateID = 1111;
  static constexpr unsigned short kNumberOfTrans = 7001;
  static constexpr unsigned short kAmountOfTrans = 7002;
  static constexpr unsigned short kAmountRemaining = 7003;
  static constexpr unsigned short kNumberRemaining = 7004;
  static constexpr unsigned short kNumberLabel = 7005;
  static constexpr unsigned short kNumberRemainingLabel = 7006;
  static constexpr unsigned short kAmountLabel = 7007;
  static constexpr unsigned short kAmountRemainingLabel = 7008;
  static constexpr unsigned short kGroupBox = 7009;

  // `batch` and `part` are borrowed and must outlive the dialog.
  bkBatchDlg(tsWindowHandle parent, _zzBatch* batch, bool info_static, bkBatchPart* part, unsigned short help_id);
  ~bkBatchDlg() override;

  bool OnInitDialog() override;
  void BatchStructureToDialog() override;
  void DialogToBatchStructure() override;
  void DisplayRemaining() override;
  bool OnFocusEvent(const tsFocusEvent& event) override;
  void OnCancel() override;

  bkBatchPart* BatchPart() const { return m_Part; }
  bool IsInitialized() const { return m_Initialized; }

 private:
  std::string m_PreviousModule;
  tsEdit m_NumberOfTrans;
  tsEdit m_AmountOfTrans;
  tsEdit m_NumberRemaining;
  tsEdit m_AmountRemaining;
  bkBatchPart* m_Part;
  std::unique_ptr<bkBatchPart> m_SavedPart;
  bool m_Initialized = false;
};
