// The framework's batch dialog (see batch_dlg.h).
#include "framework/batch/batch_dlg.h"

#include "framework/base/application.h"
#include "framework/io/data_file.h"
#include "framework/ui/raw_record.h"

namespace {

tsDialogItem Item(unsigned short id, tsControlKind kind, std::string text, short x, short y, short w, short h,
                  unsigned style = 0) {
  tsDialogItem i;
  i.id = id;
  i.kind = kind;
  i.text = std::move(text);
  i.rect = tsRect{x, y, w, h};
  i.style = style;
  return i;
}

}  // namespace

zzBatchDlg::zzBatchDlg(tsWindowHandle parent, unsigned short template_id, _zzBatch* batch, bool info_static,
                       zzBatchPart* part, unsigned short help_id)
    : tsDialog(parent, template_id), batch_(batch), info_static_(info_static), part_(part), help_id_(help_id) {}

zzBatchDlg::~zzBatchDlg() = default;

bool zzBatchDlg::OnInitDialog() {
  if (!tsDialog::OnInitDialog() || !batch_) return false;
  const unsigned style = info_static_ ? kTsReadOnly : 0;
  AddControl(std::make_unique<tsControl>(), Item(kBatchLabel, tsControlKind::kLabel, "Batch:", 5, 8, 40, 8));
  combo_ = static_cast<tsdmDBComboBox*>(
      AddControl(std::make_unique<tsdmDBComboBox>(), Item(kBatchCombo, tsControlKind::kComboBox, "", 50, 6, 80, 60)));
  AddControl(std::make_unique<tsControl>(), Item(kDescriptionLabel, tsControlKind::kLabel, "Description:", 5, 24, 45, 8));
  desc_ = static_cast<tsdmEditLine*>(AddControl(std::make_unique<tsdmEditLine>(),
                                                Item(kDescriptionEdit, tsControlKind::kEdit, "", 50, 22, 150, 12, style)));
  AddControl(std::make_unique<tsControl>(), Item(kDateLabel, tsControlKind::kLabel, "Date:", 210, 24, 20, 8));
  date_ = static_cast<tsdmEditLine*>(
      AddControl(std::make_unique<tsdmEditLine>(), Item(kDateEdit, tsControlKind::kEdit, "", 235, 22, 60, 12, style)));
  if (info_static_) combo_->EnableWindow(false);

  // The batches the part may be given.
  if (part_ && !info_static_) {
    if (const tsioDataFile* file = tsioDataFile::ByNumber(part_->FileNumber())) {
      tsRawRecord rec(*file, part_->BatchRecType());
      const tsioKeyDef* key = rec.Def() ? rec.Def()->Key(0) : nullptr;
      if (key && key->columns.size() >= 2) {
        combo_->SetColumn(key->columns[1]);
        combo_->Filter().Query().AddCondition(key->columns[0], tsdmQueryNode::Op::kEqual, batch_->HostAppl());
        zzBatchPart* part = part_;
        (void)combo_->Load(*file, part_->BatchRecType(), 0, [part] { return part->IsBatchAcceptableForComboBox(); });
      }
    }
  }
  zzBatchDlg::BatchStructureToDialog();
  return true;
}

void zzBatchDlg::BatchStructureToDialog() {
  if (!combo_ || !batch_) return;
  combo_->SetWindowText(batch_->BatchID().str());
  desc_->SetWindowText(batch_->Desc());
  date_->SetWindowText(batch_->Date().Format());
}

void zzBatchDlg::DialogToBatchStructure() {
  if (!combo_ || !batch_ || info_static_) return;
  batch_->SetBatchID(tsAlpha(combo_->GetWindowText()));
  batch_->SetDesc(desc_->GetWindowText());
  tsDate d;
  if (d.Parse(date_->GetWindowText())) batch_->SetDate(d);
}

void zzBatchDlg::DisplayRemaining() {}

void zzBatchDlg::OnOK() {
  DialogToBatchStructure();
  if (!info_static_) {
    tsDate d;
    if (!d.Parse(date_->GetWindowText())) {
      TSGetApp()->Message("The date is not a date.", 3);
      (void)SetFocus(kDateEdit);
      return;
    }
    if (combo_->GetWindowText().empty()) {
      TSGetApp()->Message("Enter a batch.", 3);
      (void)SetFocus(kBatchCombo);
      return;
    }
  }
  if (part_ && !part_->IsBatchAcceptableForUse()) {
    TSGetApp()->Message("This batch cannot be used here.", 3);
    return;
  }
  EndDialog(kTsIdOk);
}
