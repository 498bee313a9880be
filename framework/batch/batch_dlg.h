// zzBatchDlg: the batch dialog of the batch framework, headless (a
// tsDialog, framework/ui/dialog.h). A module shows its batch totals in it
// by deriving its own dialog with its own template.
//
// The framework's share of the dialog: in the band above the module's
// controls (dialog units y < 40, which a module's template leaves free) it
// adds its own controls for the batch itself:
//   7100 label "Batch:"         7101 combo box of batch ids
//   7102 label "Description:"   7103 edit line, the description
//   7104 label "Date:"          7105 edit line, the date
// The combo box lists the batch ids of the host application found in the
// part's batch file (records of its BatchRecType), each one the part accepts
// (IsBatchAcceptableForComboBox, asked while that batch's record is the
// current record of the batch file). When the batch information is static
// (the batch is already chosen; BatchInfoIsStatic) these controls only show
// it.
//
// Transfers: BatchStructureToDialog shows the batch (id, description, date)
// in these controls; DialogToBatchStructure takes them back into the batch
// (not when static). OnOK takes the dialog into the batch and ends the
// dialog with 1, unless the batch id is empty, the date is not a date, or
// the part does not accept the batch for use (IsBatchAcceptableForUse): the
// dialog then stays open and says why through the application's messages.
// Cancel ends it with 2 and changes nothing in the batch.
#pragma once

#include <memory>
#include <string>

#include "framework/base/export.h"
#include "framework/batch/batch.h"
#include "framework/batch/batch_part.h"
#include "framework/ui/dialog.h"
#include "framework/ui/dm_control.h"

class TS_EXPORT zzBatchDlg : public tsDialog {
 public:
  static constexpr unsigned short kBatchLabel = 7100;
  static constexpr unsigned short kBatchCombo = 7101;
  static constexpr unsigned short kDescriptionLabel = 7102;
  static constexpr unsigned short kDescriptionEdit = 7103;
  static constexpr unsigned short kDateLabel = 7104;
  static constexpr unsigned short kDateEdit = 7105;

  // `batch` and `part` are borrowed and must outlive the dialog; `help_id`
  // is the help topic of the Help button.
  zzBatchDlg(tsWindowHandle parent, unsigned short template_id, _zzBatch* batch, bool info_static, zzBatchPart* part,
             unsigned short help_id);
  ~zzBatchDlg() override;

  _zzBatch* Batch() const { return batch_; }
  zzBatchPart* Part() const { return part_; }
  bool BatchInfoIsStatic() const { return info_static_; }
  unsigned short HelpID() const { return help_id_; }
  // The access key of the batch (a module's own letters, e.g. "NA").
  void SetBatchAccessKey(std::string key) { access_key_ = std::move(key); }
  const std::string& BatchAccessKey() const { return access_key_; }

  bool OnInitDialog() override;
  virtual void BatchStructureToDialog();
  virtual void DialogToBatchStructure();
  // Shows the module's remaining figures; the framework has none.
  virtual void DisplayRemaining();
  void OnOK() override;

 private:
  _zzBatch* batch_;
  bool info_static_;
  zzBatchPart* part_;
  unsigned short help_id_;
  std::string access_key_;
  tsdmDBComboBox* combo_ = nullptr;    // owned by the dialog
  tsdmEditLine* desc_ = nullptr;
  tsdmEditLine* date_ = nullptr;
};
