// tsEditFormatter and tsNumEditFormatter: how an edit control shows a value
// and reads what a person types.
//
// A formatter is handed to a control on the heap (tsEdit::SetFormatter,
// tsdmDBComboBox::SetFormatter); the control owns it from then on.
//
// tsNumEditFormatter: numbers with at most `digits` integer digits and
// `decimals` decimal places, exactly (through tsDouble; no binary floating
// point on the way). Style bits:
//   kAllowNegative  0x0002  a minus sign may be typed
//   kThousands      0x0020  the text shows thousands separators ("1,234.50")
//   kBlankWhenZero  0x0080  zero shows as empty text
//   kRightAlign     0x0200  the text stands at the right of the control
// Two styles are in common use: 2 (negatives allowed, plain digits) and 672
// (separators, zero blank, right-aligned, no negatives).
// Reading text (Parse): blank text is 0; otherwise the grammar of
// ts_detail::ParseDecimal ("1,234.5", "-3", ".5"). Refused: more integer
// digits than `digits`, more decimal places than `decimals` (trailing zeros
// beyond them are fine), a negative number without kAllowNegative, a value
// below the lower limit. A refused text changes nothing.
// Showing a value (Format): rounded half away from zero to `decimals` places
// and shown with exactly that many; style bits as above. Format never
// refuses a value (a remaining figure may be negative whatever the style);
// an invalid number shows "#OVERFLOW".
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "framework/base/export.h"
#include "framework/types/ts_data.h"
#include "framework/types/ts_double.h"

class TS_EXPORT tsEditFormatter {
 public:
  virtual ~tsEditFormatter();
  virtual std::unique_ptr<tsEditFormatter> Clone() const = 0;
  // The text of `value`.
  virtual std::string Format(const tsData& value) const = 0;
  // Reads `text` into `value`; false, with `value` unchanged, when the text
  // is not acceptable.
  virtual bool Parse(std::string_view text, tsData& value) const = 0;
  // Whether `text` would be accepted.
  virtual bool IsValid(std::string_view text) const = 0;
  // The text as the formatter shows it once accepted ("1234.5" becomes
  // "1,234.50"); an unacceptable text comes back unchanged.
  virtual std::string Normalize(std::string_view text) const = 0;
  // Whether the control shows its text at the right.
  virtual bool RightAligned() const { return false; }

 protected:
  tsEditFormatter() = default;
  tsEditFormatter(const tsEditFormatter&) = default;
  tsEditFormatter& operator=(const tsEditFormatter&) = default;
};

class TS_EXPORT tsNumEditFormatter : public tsEditFormatter {
 public:
  static constexpr unsigned short kAllowNegative = 0x0002;
  static constexpr unsigned short kThousands = 0x0020;
  static constexpr unsigned short kBlankWhenZero = 0x0080;
  static constexpr unsigned short kRightAlign = 0x0200;

  // Lower-limit modes: 0 none, 1 the value must be above the limit, 2 the
  // value must be at least the limit.
  enum LimitMode : short { kNoLimit = 0, kAbove = 1, kAtLeast = 2 };

  tsNumEditFormatter(unsigned short digits, unsigned short decimals, unsigned short style);

  unsigned short Digits() const { return digits_; }
  unsigned short Decimals() const { return decimals_; }
  unsigned short Style() const { return style_; }

  // Sets the lower limit, taken at the formatter's decimals (rounded half
  // away from zero); a limit that is not a finite number, or a mode other
  // than 1 or 2, removes the limit.
  void SetLowerLimit(double limit, short mode);
  short GetLimitMode() const { return limit_mode_; }
  const tsDouble& LowerLimit() const { return limit_; }

  // The number `text` stands for (see the file comment); false when refused.
  bool ParseNumber(std::string_view text, tsDouble* out) const;
  std::string FormatNumber(const tsDouble& value) const;

  std::unique_ptr<tsEditFormatter> Clone() const override;
  // Numbers through FormatNumber; any other value shows its own text.
  std::string Format(const tsData& value) const override;
  // Into a tsDouble (or tsCurrency) the value is taken exactly and the
  // target keeps its declared decimals; other numbers through SetVal.
  bool Parse(std::string_view text, tsData& value) const override;
  bool IsValid(std::string_view text) const override;
  std::string Normalize(std::string_view text) const override;
  bool RightAligned() const override { return (style_ & kRightAlign) != 0; }

 private:
  unsigned short digits_;
  unsigned short decimals_;
  unsigned short style_;
  short limit_mode_ = kNoLimit;
  tsDouble limit_;
};
