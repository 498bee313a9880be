// Data-manager controls: controls bound to a column of a data file.
//
// tsdmControl is their base: a dialog control that names the column it shows
// and carries a filter (filter.h) of the records it may show.
// tsdmEditLine shows one value in an inner edit control (ImplControl), which
// holds the text and the formatter.
// tsdmDBComboBox lists values of its column from the records of a data file
// and holds what is typed or chosen; it has a formatter of its own.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"
#include "framework/io/data_file.h"
#include "framework/io/io_status.h"
#include "framework/ui/control.h"
#include "framework/ui/filter.h"

class TS_EXPORT tsdmControl : public tsControl {
 public:
  explicit tsdmControl(std::string column = "") : column_(std::move(column)) {}
  ~tsdmControl() override;

  const std::string& Column() const { return column_; }
  void SetColumn(std::string column) { column_ = std::move(column); }
  tsdmFilter& Filter() { return filter_; }
  const tsdmFilter& Filter() const { return filter_; }

 private:
  std::string column_;
  tsdmFilter filter_;
};

class TS_EXPORT tsdmEditLine : public tsdmControl {
 public:
  explicit tsdmEditLine(std::string column = "");
  ~tsdmEditLine() override;

  // The inner edit control takes the item too (it is the one that edits).
  void Create(const tsDialogItem& item) override;
  tsEdit& ImplControl() { return edit_; }
  const tsEdit& ImplControl() const { return edit_; }
  std::string GetWindowText() const override { return edit_.GetWindowText(); }
  void SetWindowText(std::string_view text) override { edit_.SetWindowText(text); }
  bool CanTakeFocus() const override { return IsEnabled(); }
  bool TakesText() const override { return IsEnabled() && edit_.TakesText(); }

 private:
  tsEdit edit_;
};

class TS_EXPORT tsdmDBComboBox : public tsdmControl {
 public:
  explicit tsdmDBComboBox(std::string column = "");
  ~tsdmDBComboBox() override;

  void Create(const tsDialogItem& item) override;
  // The combo box owns `formatter` from now on (nullptr: none). List items
  // and the chosen value are shown through it.
  void SetFormatter(tsEditFormatter* formatter);
  tsEditFormatter* GetFormatter() const { return formatter_.get(); }

  void AddItem(std::string text) { items_.push_back(std::move(text)); }
  void ResetContent();
  size_t ItemCount() const { return items_.size(); }
  const std::string& Item(size_t i) const { return items_[i]; }
  // Index of the item with exactly that text, -1 when none.
  int FindItem(std::string_view text) const;
  // Chooses item `index`: the text becomes the item's; false (nothing
  // changed) for an index out of range.
  bool SetCurSel(int index);
  // The chosen item, -1 when the text is typed and matches no item.
  int GetCurSel() const;
  void SetWindowText(std::string_view text) override;
  bool CanTakeFocus() const override { return IsEnabled(); }
  bool TakesText() const override { return IsEnabled(); }

  // Fills the list from the records of `record_type` in `file`, read in the
  // order of `index`: the value of Column() of every record that the filter
  // and `accept` (when given; it sees the record through the file's buffer,
  // which holds it while it is asked) both accept, each value once. Returns
  // 0, or the status of a read that failed (the list then holds what was
  // read before it).
  tsioStatus::Status Load(const tsioDataFile& file, short record_type, short index,
                          const std::function<bool()>& accept = {});

 private:
  std::unique_ptr<tsEditFormatter> formatter_;
  std::vector<std::string> items_;
};
