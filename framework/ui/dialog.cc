// Headless dialogs and dialog-template resources (see dialog.h).
#include "framework/ui/dialog.h"

#include <map>
#include <mutex>
#include <utility>

#include "framework/base/log.h"

namespace {

struct Resources {
  std::mutex mu;
  std::map<std::pair<std::string, unsigned short>, std::unique_ptr<tsDialogTemplate>> templates;
  std::string current;
};

Resources& Res() {
  static auto* r = new Resources();  // lives to the end of the process
  return *r;
}

}  // namespace

const tsDialogItem* tsDialogTemplate::Item(unsigned short control_id) const {
  for (const auto& i : items) {
    if (i.id == control_id) return &i;
  }
  return nullptr;
}

void tsRegisterDialogTemplate(std::string_view module, const tsDialogTemplate& dialog_template) {
  Resources& r = Res();
  std::lock_guard<std::mutex> lock(r.mu);
  r.templates[{std::string(module), dialog_template.id}] = std::make_unique<tsDialogTemplate>(dialog_template);
}

const tsDialogTemplate* tsFindDialogTemplate(std::string_view module, unsigned short id) {
  Resources& r = Res();
  std::lock_guard<std::mutex> lock(r.mu);
  auto it = r.templates.find({std::string(module), id});
  return it == r.templates.end() ? nullptr : it->second.get();
}

std::string tsGetResourceModule() {
  Resources& r = Res();
  std::lock_guard<std::mutex> lock(r.mu);
  return r.current;
}

std::string tsSetResourceModule(std::string_view module) {
  Resources& r = Res();
  std::lock_guard<std::mutex> lock(r.mu);
  std::string previous = std::move(r.current);
  r.current = std::string(module);
  return previous;
}

// ---- tsDialog ----

tsDialog::tsDialog(tsWindowHandle parent, unsigned short template_id) : parent_(parent), template_id_(template_id) {}

tsDialog::~tsDialog() = default;

bool tsDialog::Create() {
  const std::string module = tsGetResourceModule();
  const tsDialogTemplate* t = tsFindDialogTemplate(module, template_id_);
  if (!t) {
    x_log(1, "dialog template " + std::to_string(template_id_) + " not found in module \"" + module + "\"");
    return false;
  }
  template_ = *t;
  caption_ = template_.caption;
  slots_.clear();
  for (const auto& item : template_.items) {
    std::unique_ptr<tsControl> c;
    if (item.kind == tsControlKind::kEdit) {
      c = std::make_unique<tsEdit>();
    } else {
      c = std::make_unique<tsControl>();
    }
    c->Create(item);
    tsControl* raw = c.get();
    slots_.push_back(Slot{item.id, raw, std::move(c)});
  }
  open_ = true;
  result_ = 0;
  focus_ = 0;
  if (!OnInitDialog()) {
    EndDialog(-1);
    return false;
  }
  if (focus_ == 0) {
    for (const auto& s : slots_) {
      if (s.control->CanTakeFocus()) {
        focus_ = s.id;
        break;
      }
    }
  }
  return true;
}

void tsDialog::EndDialog(int result) {
  result_ = result;
  open_ = false;
}

tsDialog::Slot* tsDialog::Find(unsigned short id) {
  for (auto& s : slots_) {
    if (s.id == id) return &s;
  }
  return nullptr;
}

const tsDialog::Slot* tsDialog::Find(unsigned short id) const {
  for (const auto& s : slots_) {
    if (s.id == id) return &s;
  }
  return nullptr;
}

tsControl* tsDialog::GetDlgItem(unsigned short id) const {
  const Slot* s = Find(id);
  return s ? s->control : nullptr;
}

std::string tsDialog::GetDlgItemText(unsigned short id) const {
  const tsControl* c = GetDlgItem(id);
  return c ? c->GetWindowText() : std::string();
}

void tsDialog::SetDlgItemText(unsigned short id, std::string_view text) {
  if (tsControl* c = GetDlgItem(id)) c->SetWindowText(text);
}

bool tsDialog::SubclassDlgItem(unsigned short id, tsControl& control) {
  Slot* s = Find(id);
  if (!s) return false;
  const tsDialogItem* item = template_.Item(id);
  if (!item) return false;
  tsDialogItem now = *item;
  now.text = s->control->GetWindowText();
  control.Create(now);
  control.EnableWindow(s->control->IsEnabled());
  s->control = &control;
  s->owned.reset();
  return true;
}

tsControl* tsDialog::AddControl(std::unique_ptr<tsControl> control, const tsDialogItem& item) {
  if (!control || Find(item.id)) return nullptr;
  control->Create(item);
  tsControl* raw = control.get();
  slots_.push_back(Slot{item.id, raw, std::move(control)});
  return raw;
}

std::vector<unsigned short> tsDialog::ControlIDs() const {
  std::vector<unsigned short> ids;
  for (const auto& s : slots_) ids.push_back(s.id);
  return ids;
}

bool tsDialog::SetFocus(unsigned short id) {
  if (!open_) return false;
  tsControl* target = GetDlgItem(id);
  if (!target || !target->CanTakeFocus()) return false;
  if (id == focus_) return true;
  if (focus_ != 0) {
    if (!OnFocusEvent(tsFocusEvent{tsFocusEvent::kKillFocus, focus_, id})) return false;
  }
  const unsigned short from = focus_;
  focus_ = id;
  (void)OnFocusEvent(tsFocusEvent{tsFocusEvent::kSetFocus, id, from});
  return true;
}

bool tsDialog::TypeText(std::string_view text) {
  if (!open_) return false;
  tsControl* c = GetDlgItem(focus_);
  if (!c || !c->TakesText()) return false;
  c->SetWindowText(text);
  return true;
}

bool tsDialog::Click(unsigned short id) {
  if (!open_) return false;
  tsControl* c = GetDlgItem(id);
  if (!c || c->Kind() != tsControlKind::kPushButton || !c->IsEnabled()) return false;
  if (id != kTsIdCancel && !SetFocus(id)) return false;
  switch (id) {
    case kTsIdOk:
      OnOK();
      return true;
    case kTsIdCancel:
      OnCancel();
      return true;
    case kTsIdHelp:
      OnHelp();
      return true;
    default:
      return OnCommand(id);
  }
}

bool tsDialog::OnInitDialog() { return true; }
void tsDialog::OnOK() { EndDialog(kTsIdOk); }
void tsDialog::OnCancel() { EndDialog(kTsIdCancel); }
void tsDialog::OnHelp() { ++help_requests_; }
bool tsDialog::OnCommand(unsigned short) { return false; }
bool tsDialog::OnFocusEvent(const tsFocusEvent& event) { return validator_.OnFocusEvent(*this, event); }
