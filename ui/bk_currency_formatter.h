// bkCurrencyFormatter: the module's money format for amount entry controls:
// a number formatter (tsNumEditFormatter) with a count of integer digits, a
// count of decimal places, an optional lower limit and one of two styles:
// with the style flag set, style 2 (negative amounts allowed, plain
// digits); without it, style 672 (thousands separators, zero shown blank,
// right-aligned, no negative amounts). A lower limit applies in limit mode
// 2: the amount must be at least the limit.
//
// NewFormatter makes a formatter on the heap; whoever receives it owns it
// (ApplyFormatter hands it to a control, which owns it from then on).
// The forms with a field name take digits and decimals from the data
// dictionary: the first record type of the file that has a column of that
// name gives its decimal places as the decimals and its length less its
// decimal places as the digits; nullptr when the file has no such column.
//
// ApplyFormatter puts a new formatter on a control: a tsEdit gets it through
// SetFormatter; of the data-manager controls, a tsdmDBComboBox gets it
// through its own SetFormatter and a tsdmEditLine on its inner edit control
// (ImplControl); any other control is left alone and no formatter is made.
// Each answers whether a formatter was applied.
#pragma once

#include "framework/io/data_file.h"
#include "framework/types/ts_string.h"
#include "framework/ui/control.h"
#include "framework/ui/dm_control.h"
#include "framework/ui/formatter.h"
#include "records/bk_export.h"

class BK_EXPORT bkCurrencyFormatter : public tsNumEditFormatter {
 public:
  static constexpr unsigned short kStyleFlagSet = 2;
  static constexpr unsigned short kStyleFlagClear = 672;
  static constexpr short kLowerLimitMode = 2;

  static bkCurrencyFormatter* NewFormatter(unsigned short digits, unsigned short decimals, bool style);
  static bkCurrencyFormatter* NewFormatter(unsigned short digits, unsigned short decimals, double lower_limit,
                                           bool style);
  static bkCurrencyFormatter* NewFormatter(const CString& field, const tsioDataFile& file, bool style);
  static bkCurrencyFormatter* NewFormatter(const CString& field, const tsioDataFile& file, double lower_limit,
                                           bool style);

  static bool ApplyFormatter(tsEdit& edit, unsigned short digits, unsigned short decimals, bool style);
  static bool ApplyFormatter(tsEdit& edit, unsigned short digits, unsigned short decimals, double lower_limit,
                             bool style);
  static bool ApplyFormatter(tsEdit& edit, const CString& field, const tsioDataFile& file, bool style);
  static bool ApplyFormatter(tsEdit& edit, const CString& field, const tsioDataFile& file, double lower_limit,
                             bool style);
  static bool ApplyFormatter(tsdmControl& control, unsigned short digits, unsigned short decimals, bool style);
  static bool ApplyFormatter(tsdmControl& control, unsigned short digits, unsigned short decimals,
                             double lower_limit, bool style);
  static bool ApplyFormatter(tsdmControl& control, const CString& field, const tsioDataFile& file, bool style);
  static bool ApplyFormatter(tsdmControl& control, const CString& field, const tsioDataFile& file,
                             double lower_limit, bool style);

  std::unique_ptr<tsEditFormatter> Clone() const override;

 private:
  bkCurrencyFormatter(unsigned short digits, unsigned short decimals, bool style);
};
