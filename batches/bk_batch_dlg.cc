// The bank register's batch dialog and its template (see bk_batch_dlg.h).
#include "batches/bk_batch_dlg.h"

#include "framework/types/ts_string.h"
#include "ui/bk_currency_formatter.h"

namespace {

tsDialogItem Item(unsigned short id, tsControlKind kind, const char* text, short x, short y, short w, short h,
                  unsigned style = 0) {
  tsDialogItem i;
  i.id = id;
  i.kind = kind;
  i.text = text;
  i.rect = tsRect{x, y, w, h};
  i.style = style;
  return i;
}

tsDialogTemplate MakeTemplate() {
  using K = tsControlKind;
  tsDialogTemplate t;
  t.id = bkBatchDlg::kTemplateID;
  t.caption = "Select Batch";
  t.font = "Helv";
  t.font_size = 8;
  t.width = 307;
  t.height = 114;
  t.items = {
      Item(7009, K::kGroupBox, "<1I>", 5, 44, 293, 45),
      Item(7005, K::kLabel, "&Number of transactions:", 21, 61, 79, 8),
      Item(7001, K::kEdit, "", 103, 58, 25, 12, kTsRightAligned),
      Item(7007, K::kLabel, "&Amount of transactions:", 143, 61, 85, 8),
      Item(7002, K::kEdit, "", 230, 58, 56, 12, kTsRightAligned),
      Item(7006, K::kLabel, "Number remaining:", 21, 74, 78, 8),
      Item(7004, K::kLabel, "", 106, 73, 22, 10, kTsRightAligned),
      Item(7008, K::kLabel, "Amount remaining:", 143, 73, 66, 9),
      Item(7003, K::kLabel, "", 232, 74, 55, 10, kTsRightAligned),
      Item(1, K::kPushButton, "&OK", 144, 96, 50, 14),
      Item(2, K::kPushButton, "Cancel", 198, 96, 50, 14),
      Item(9, K::kPushButton, "&Help", 251, 96, 50, 14),
  };
  return t;
}

// The library's resources are found as soon as it is loaded.
const bool kTemplateRegistered = (tsRegisterDialogTemplate(kBkResourceModule, bkBatchDialogTemplate()), true);

// Integer formatters: the count takes no sign; the remaining count may be
// below zero.
constexpr unsigned short kCountStyle = tsNumEditFormatter::kRightAlign;
constexpr unsigned short kRemainingStyle = tsNumEditFormatter::kRightAlign | tsNumEditFormatter::kAllowNegative;

}  // namespace

const tsDialogTemplate& bkBatchDialogTemplate() {
  static const tsDialogTemplate* t = new tsDialogTemplate(MakeTemplate());
  return *t;
}

bkBatchDlg::bkBatchDlg(tsWindowHandle parent, _zzBatch* batch, bool info_static, bkBatchPart* part,
                       unsigned short help_id)
    : zzBatchDlg(parent, kTemplateID, batch, info_static, part, help_id), m_Part(part) {
  (void)kTemplateRegistered;
  m_PreviousModule = tsSetResourceModule(kBkResourceModule);
}

bkBatchDlg::~bkBatchDlg() { tsSetResourceModule(m_PreviousModule); }

bool bkBatchDlg::OnInitDialog() {
  if (!zzBatchDlg::OnInitDialog() || !m_Part) return false;
  SubclassDlgItem(kNumberOfTrans, m_NumberOfTrans);
  m_NumberOfTrans.SetFormatter(new tsNumEditFormatter(4, 0, kCountStyle));
  SubclassDlgItem(kAmountOfTrans, m_AmountOfTrans);
  bkCurrencyFormatter::ApplyFormatter(m_AmountOfTrans, 9, 2, true);
  SubclassDlgItem(kNumberRemaining, m_NumberRemaining);
  m_NumberRemaining.SetFormatter(new tsNumEditFormatter(4, 0, kRemainingStyle));
  SubclassDlgItem(kAmountRemaining, m_AmountRemaining);
  bkCurrencyFormatter::ApplyFormatter(m_AmountRemaining, 9, 2, true);

  m_NumberOfTrans.SetWindowText("");
  m_AmountOfTrans.SetWindowText("0.00");
  SetDlgItemText(kGroupBox, tsString::ReplaceCustomDescriptions(GetDlgItemText(kGroupBox)));
  const std::string desc = m_Part->Description();
  SetDlgItemText(kNumberLabel, "&Number of " + desc + ":");
  SetDlgItemText(kAmountLabel, "&Amount of " + desc + ":");
  SetBatchAccessKey("NA");
  m_Initialized = true;
  // Cancel always puts the part back as it was now.
  m_SavedPart = std::make_unique<bkBatchPart>(*m_Part);
  if (BatchInfoIsStatic()) BatchStructureToDialog();
  return true;
}

void bkBatchDlg::BatchStructureToDialog() {
  if (!m_Initialized) return;
  const tsDouble count = m_Part->GetNumberOfTrans();
  if (!count) {
    m_NumberOfTrans.SetWindowText("0");
  } else {
    m_NumberOfTrans.SetValue(count);
  }
  m_AmountOfTrans.SetValue(m_Part->GetAmountOfTrans());
  zzBatchDlg::BatchStructureToDialog();
  DisplayRemaining();
}

void bkBatchDlg::DialogToBatchStructure() {
  if (m_Initialized) {
    tsDouble count(0, 0);
    if (m_NumberOfTrans.GetValue(count)) m_Part->SetNumberOfTrans(count);
    tsDouble amount = m_Part->GetAmountOfTrans();
    if (m_AmountOfTrans.GetValue(amount)) m_Part->SetAmountOfTrans(amount);
  }
  zzBatchDlg::DialogToBatchStructure();
}

void bkBatchDlg::DisplayRemaining() {
  if (!m_Initialized) return;
  const tsDouble count = m_Part->GetNumberOfTrans();
  if (!count) {
    m_NumberRemaining.SetWindowText("");
  } else {
    m_NumberRemaining.SetValue(count - m_Part->GetNumberOfTransPosted());
  }
  m_AmountRemaining.SetValue(tsCurrency(m_Part->GetAmountOfTrans() - m_Part->GetAmountOfTransPosted()));
}

bool bkBatchDlg::OnFocusEvent(const tsFocusEvent& event) {
  if (event.kind == tsFocusEvent::kKillFocus && (event.control == kNumberOfTrans || event.control == kAmountOfTrans)) {
    DialogToBatchStructure();
    BatchStructureToDialog();
  }
  return zzBatchDlg::OnFocusEvent(event);
}

void bkBatchDlg::OnCancel() {
  if (m_SavedPart) {
    m_Part->CopyData(*m_SavedPart);
    m_SavedPart.reset();
  }
  zzBatchDlg::OnCancel();
}
