// tsDialog: a headless dialog built from a dialog template, and the dialog
// templates that modules keep as resources.
//
// Resources: a module registers its dialog templates under its own name
// (tsRegisterDialogTemplate); a dialog finds its template in the
// application's current resource module (tsGetResourceModule), which a
// module makes current while its dialogs exist (tsResourceModuleScope).
//
// A dialog is created (Create) from its template: one control per template
// item, in template order (the tab order). Code may put its own control
// objects in place of template items (SubclassDlgItem: the object takes the
// item's id, kind, text, position and style, and stays owned by the code)
// and may add controls the template lacks (AddControl: owned by the dialog).
// Then OnInitDialog runs.
//
// What a person does is done through the dialog:
//   SetFocus(id)   moves the focus: the control that has it gets a kill-focus
//                  event, then `id` a set-focus event. Each event goes to
//                  OnFocusEvent (by default to the edit validator). When the
//                  kill-focus event is refused the focus stays where it was.
//   TypeText(t)    the focused control's text becomes t (edits and combo
//                  boxes that take text).
//   Click(id)      presses a push button: the focus moves to it first (the
//                  edit being left is validated), except for Cancel (2), which
//                  a person can always press; then 1 runs OnOK, 2 OnCancel,
//                  9 OnHelp, any other OnCommand(id).
// OnOK and OnCancel end the dialog by default (EndDialog with 1 or 2).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/application.h"
#include "framework/base/export.h"
#include "framework/ui/control.h"

inline constexpr unsigned short kTsIdOk = 1;
inline constexpr unsigned short kTsIdCancel = 2;
inline constexpr unsigned short kTsIdHelp = 9;

// A dialog template: caption, font (name and points), size in dialog units
// and the controls in tab order.
struct TS_EXPORT tsDialogTemplate {
  unsigned short id = 0;
  std::string caption;
  std::string font;
  short font_size = 0;
  short width = 0;
  short height = 0;
  std::vector<tsDialogItem> items;

  // The item with that control id, nullptr when none.
  const tsDialogItem* Item(unsigned short control_id) const;
  bool operator==(const tsDialogTemplate&) const = default;
};

// Adds (or replaces) a template of `module`.
TS_EXPORT void tsRegisterDialogTemplate(std::string_view module, const tsDialogTemplate& dialog_template);
// The template `id` of `module`; nullptr when the module has none. The
// pointer stays valid until the template is registered again.
TS_EXPORT const tsDialogTemplate* tsFindDialogTemplate(std::string_view module, unsigned short id);
// The application's current resource module ("" until one is made current).
TS_EXPORT std::string tsGetResourceModule();
// Makes `module` current and returns the module that was current before.
TS_EXPORT std::string tsSetResourceModule(std::string_view module);

// Makes a module the current resource module for the life of the scope.
class TS_EXPORT tsResourceModuleScope {
 public:
  explicit tsResourceModuleScope(std::string_view module) : previous_(tsSetResourceModule(module)) {}
  ~tsResourceModuleScope() { tsSetResourceModule(previous_); }
  tsResourceModuleScope(const tsResourceModuleScope&) = delete;
  tsResourceModuleScope& operator=(const tsResourceModuleScope&) = delete;

 private:
  std::string previous_;
};

class TS_EXPORT tsDialog {
 public:
  tsDialog(tsWindowHandle parent, unsigned short template_id);
  virtual ~tsDialog();
  tsDialog(const tsDialog&) = delete;
  tsDialog& operator=(const tsDialog&) = delete;

  // Creates the controls of the template found in the current resource
  // module, then runs OnInitDialog; the focus goes to the first control that
  // can take it. False (nothing created) when the template is not found,
  // or when OnInitDialog answers false (the dialog then ends with -1).
  bool Create();
  bool IsOpen() const { return open_; }
  // The result EndDialog was given; 0 while the dialog is open.
  int Result() const { return result_; }
  void EndDialog(int result);

  tsWindowHandle Parent() const { return parent_; }
  unsigned short TemplateID() const { return template_id_; }
  const tsDialogTemplate& Template() const { return template_; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }

  // The control with that id, nullptr when none.
  tsControl* GetDlgItem(unsigned short id) const;
  // "" for an unknown id.
  std::string GetDlgItemText(unsigned short id) const;
  void SetDlgItemText(unsigned short id, std::string_view text);
  // Puts `control` in place of the template item `id` (see the file
  // comment); false when the dialog is not created or has no such item.
  bool SubclassDlgItem(unsigned short id, tsControl& control);
  // Adds a control the template lacks, created from `item`; the dialog owns
  // it. Returns it, nullptr when the id is taken.
  tsControl* AddControl(std::unique_ptr<tsControl> control, const tsDialogItem& item);
  // Control ids in tab order.
  std::vector<unsigned short> ControlIDs() const;

  // What a person does (see the file comment).
  unsigned short GetFocus() const { return focus_; }
  bool SetFocus(unsigned short id);
  bool TypeText(std::string_view text);
  bool Click(unsigned short id);

  virtual bool OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  // Help was asked for; counted (HelpRequests()).
  virtual void OnHelp();
  // Any other push button; false when nothing handles it.
  virtual bool OnCommand(unsigned short id);
  // Every focus event reaches the dialog here; by default it goes to the
  // edit validator. False refuses a kill-focus event.
  virtual bool OnFocusEvent(const tsFocusEvent& event);

  tsEditValidator& Validator() { return validator_; }
  int HelpRequests() const { return help_requests_; }

 private:
  struct Slot {
    unsigned short id;
    tsControl* control;                  // the control in use
    std::unique_ptr<tsControl> owned;    // set when the dialog owns it
  };
  Slot* Find(unsigned short id);
  const Slot* Find(unsigned short id) const;

  tsWindowHandle parent_;
  unsigned short template_id_;
  tsDialogTemplate template_;
  std::string caption_;
  std::vector<Slot> slots_;
  tsEditValidator validator_;
  unsigned short focus_ = 0;
  bool open_ = false;
  int result_ = 0;
  int help_requests_ = 0;
};
