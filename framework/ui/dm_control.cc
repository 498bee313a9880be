// Data-manager controls (see dm_control.h).
#include "framework/ui/dm_control.h"

#include <algorithm>

#include "framework/io/cursor.h"
#include "framework/ui/raw_record.h"

tsdmControl::~tsdmControl() = default;

// ---- tsdmEditLine ----

tsdmEditLine::tsdmEditLine(std::string column) : tsdmControl(std::move(column)) {}
tsdmEditLine::~tsdmEditLine() = default;

void tsdmEditLine::Create(const tsDialogItem& item) {
  tsdmControl::Create(item);
  tsDialogItem inner = item;
  inner.kind = tsControlKind::kEdit;
  edit_.Create(inner);
}

// ---- tsdmDBComboBox ----

tsdmDBComboBox::tsdmDBComboBox(std::string column) : tsdmControl(std::move(column)) {}
tsdmDBComboBox::~tsdmDBComboBox() = default;

void tsdmDBComboBox::Create(const tsDialogItem& item) {
  tsDialogItem combo = item;
  combo.kind = tsControlKind::kComboBox;
  tsdmControl::Create(combo);
}

void tsdmDBComboBox::SetFormatter(tsEditFormatter* formatter) { formatter_.reset(formatter); }

void tsdmDBComboBox::ResetContent() { items_.clear(); }

int tsdmDBComboBox::FindItem(std::string_view text) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i] == text) return static_cast<int>(i);
  }
  return -1;
}

bool tsdmDBComboBox::SetCurSel(int index) {
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) return false;
  tsdmControl::SetWindowText(items_[static_cast<size_t>(index)]);
  return true;
}

int tsdmDBComboBox::GetCurSel() const { return FindItem(GetWindowText()); }

void tsdmDBComboBox::SetWindowText(std::string_view text) {
  tsdmControl::SetWindowText(formatter_ && formatter_->IsValid(text) ? formatter_->Normalize(text) : std::string(text));
}

tsioStatus::Status tsdmDBComboBox::Load(const tsioDataFile& file, short record_type, short index,
                                        const std::function<bool()>& accept) {
  items_.clear();
  tsRawRecord rec(file, record_type);
  if (!rec.Def() || !rec.Cell(Column())) return tsioStatus::kInvalidOperation;
  tsioCursor cur(rec, file, record_type, index);
  tsioStatus::Status st = cur.FetchFirst();
  for (; st == tsioStatus::kSuccess; st = cur.FetchNext()) {
    if (!Filter().Accepts(rec)) continue;
    if (accept && !accept()) continue;
    std::string text = rec.Cell(Column())->Format();
    if (formatter_ && formatter_->IsValid(text)) text = formatter_->Normalize(text);
    if (std::find(items_.begin(), items_.end(), text) == items_.end()) items_.push_back(std::move(text));
  }
  return st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound ? tsioStatus::kSuccess : st;
}
