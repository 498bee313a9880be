// tsControl, tsEdit and tsEditValidator: the headless controls of a dialog.
//
// A control has an id, a kind, its text, a position in dialog units and a
// style; it is created from an item of its dialog's template (or added by
// code) and keeps its text as a person would see it. There is no screen:
// what a person does (typing, moving the focus, pressing a button) is done
// through the dialog (dialog.h), which sends the focus events.
//
// tsEdit is an edit control with an optional formatter (formatter.h) that
// turns values into text and text into values; the control owns its
// formatter. tsEditValidator is the dialog's handler of focus events: when
// the focus leaves an edit control whose text its formatter refuses, the
// focus stays there; accepted text is shown the formatter's way.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"
#include "framework/types/ts_data.h"
#include "framework/ui/formatter.h"

class tsDialog;

enum class tsControlKind : short { kLabel, kEdit, kGroupBox, kPushButton, kComboBox };

// Style bits of a control (tsDialogItem::style).
inline constexpr unsigned kTsRightAligned = 0x0002;  // the text stands at the right
inline constexpr unsigned kTsReadOnly = 0x0800;      // an edit control that shows but does not take text
inline constexpr unsigned kTsDisabled = 0x08000000;  // created disabled

// A position in dialog units.
struct TS_EXPORT tsRect {
  short x = 0;
  short y = 0;
  short width = 0;
  short height = 0;
  bool operator==(const tsRect&) const = default;
};

// One control of a dialog template.
struct TS_EXPORT tsDialogItem {
  unsigned short id = 0;
  tsControlKind kind = tsControlKind::kLabel;
  std::string text;
  tsRect rect;
  unsigned style = 0;
  bool operator==(const tsDialogItem&) const = default;
};

class TS_EXPORT tsControl {
 public:
  tsControl() = default;
  virtual ~tsControl();
  tsControl(const tsControl&) = delete;
  tsControl& operator=(const tsControl&) = delete;

  // Takes the id, kind, text, position and style of a template item.
  virtual void Create(const tsDialogItem& item);
  bool IsCreated() const { return created_; }

  unsigned short ID() const { return item_.id; }
  tsControlKind Kind() const { return item_.kind; }
  const tsRect& Rect() const { return item_.rect; }
  unsigned Style() const { return item_.style; }
  virtual std::string GetWindowText() const { return item_.text; }
  virtual void SetWindowText(std::string_view text) { item_.text = std::string(text); }

  bool IsEnabled() const { return enabled_; }
  void EnableWindow(bool enable) { enabled_ = enable; }
  // Whether a person can move the focus here (edits, combo boxes and push
  // buttons that are enabled).
  virtual bool CanTakeFocus() const;
  // Whether typing goes into the control.
  virtual bool TakesText() const;

 private:
  tsDialogItem item_;
  bool created_ = false;
  bool enabled_ = true;
};

class TS_EXPORT tsEdit : public tsControl {
 public:
  tsEdit();
  ~tsEdit() override;

  void Create(const tsDialogItem& item) override;

  // The control owns `formatter` from now on and deletes the one it had;
  // nullptr leaves it without a formatter.
  void SetFormatter(tsEditFormatter* formatter);
  tsEditFormatter* GetFormatter() const { return formatter_.get(); }

  // The value's text: through the formatter, else the value's own Format().
  void SetValue(const tsData& value);
  // Reads the text into `value` (through the formatter, else value.Parse);
  // false, value unchanged, when the text is refused.
  bool GetValue(tsData& value) const;
  // Whether the formatter accepts the text (true without a formatter).
  bool IsTextValid() const;

  bool IsReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only) { read_only_ = read_only; }
  bool IsRightAligned() const;
  bool TakesText() const override { return IsEnabled() && !read_only_; }

 private:
  std::unique_ptr<tsEditFormatter> formatter_;
  bool read_only_ = false;
};

// A focus event: the focus leaves `control` for `other` (kKillFocus), or
// comes to `control` from `other` (kSetFocus); 0 names no control.
struct TS_EXPORT tsFocusEvent {
  enum Kind : short { kSetFocus, kKillFocus };
  Kind kind = kSetFocus;
  unsigned short control = 0;
  unsigned short other = 0;
};

class TS_EXPORT tsEditValidator {
 public:
  tsEditValidator() = default;
  virtual ~tsEditValidator();

  // Handles one focus event of `dialog`. When the focus leaves an edit
  // control that has a formatter: its text, if accepted, is shown the
  // formatter's way (Normalize) and the answer is true; if refused, the
  // answer is false (the focus stays on the control) and InvalidControl()
  // names it. Every other event: true.
  virtual bool OnFocusEvent(tsDialog& dialog, const tsFocusEvent& event);

  // What the validator has seen: every event it handled, in order.
  const std::vector<tsFocusEvent>& Events() const { return events_; }
  // The control whose text was refused last (0: the last check passed).
  unsigned short InvalidControl() const { return invalid_; }

 private:
  std::vector<tsFocusEvent> events_;
  unsigned short invalid_ = 0;
};
