// Headless controls and the edit validator (see control.h).
#include "framework/ui/control.h"

#include "framework/ui/dialog.h"

tsControl::~tsControl() = default;

void tsControl::Create(const tsDialogItem& item) {
  item_ = item;
  enabled_ = (item.style & kTsDisabled) == 0;
  created_ = true;
}

bool tsControl::CanTakeFocus() const {
  if (!enabled_) return false;
  switch (item_.kind) {
    case tsControlKind::kEdit:
    case tsControlKind::kComboBox:
    case tsControlKind::kPushButton:
      return true;
    default:
      return false;
  }
}

bool tsControl::TakesText() const {
  return enabled_ && (item_.kind == tsControlKind::kEdit || item_.kind == tsControlKind::kComboBox);
}

// ---- tsEdit ----

tsEdit::tsEdit() = default;
tsEdit::~tsEdit() = default;

void tsEdit::Create(const tsDialogItem& item) {
  tsControl::Create(item);
  read_only_ = (item.style & kTsReadOnly) != 0;
}

void tsEdit::SetFormatter(tsEditFormatter* formatter) { formatter_.reset(formatter); }

void tsEdit::SetValue(const tsData& value) { SetWindowText(formatter_ ? formatter_->Format(value) : value.Format()); }

bool tsEdit::GetValue(tsData& value) const {
  const std::string text = GetWindowText();
  if (formatter_) return formatter_->Parse(text, value);
  std::unique_ptr<tsData> copy = value.Clone();
  if (!copy->Parse(text)) return false;
  value.SetVal(*copy);
  return true;
}

bool tsEdit::IsTextValid() const { return !formatter_ || formatter_->IsValid(GetWindowText()); }

bool tsEdit::IsRightAligned() const {
  return (Style() & kTsRightAligned) != 0 || (formatter_ && formatter_->RightAligned());
}

// ---- tsEditValidator ----

tsEditValidator::~tsEditValidator() = default;

bool tsEditValidator::OnFocusEvent(tsDialog& dialog, const tsFocusEvent& event) {
  events_.push_back(event);
  if (event.kind != tsFocusEvent::kKillFocus) return true;
  auto* edit = dynamic_cast<tsEdit*>(dialog.GetDlgItem(event.control));
  if (!edit || !edit->GetFormatter() || edit->IsReadOnly()) return true;
  if (!edit->IsTextValid()) {
    invalid_ = event.control;
    return false;
  }
  invalid_ = 0;
  edit->SetWindowText(edit->GetFormatter()->Normalize(edit->GetWindowText()));
  return true;
}
