// The module's money format for amount controls (see bk_currency_formatter.h).
#include "ui/bk_currency_formatter.h"

#include <functional>

#include "framework/io/dictionary.h"

namespace {

// Digits and decimals of the first column named `field` in the file.
bool FieldFormat(const CString& field, const tsioDataFile& file, unsigned short* digits, unsigned short* decimals) {
  const tsioFileDef* def = file.Def();
  if (!def || !file.IsOpen()) return false;
  for (const auto& rec : def->records) {
    const short n = xio_num(file.FileNum(), rec.record_type, field);
    if (n == 0) continue;
    xio_fld_def fd;
    if (xio_get_fld_def(file.FileNum(), rec.record_type, n, &fd) != 0) return false;
    *decimals = static_cast<unsigned short>(fd.decimals < 0 ? 0 : fd.decimals);
    *digits = static_cast<unsigned short>(fd.length > fd.decimals ? fd.length - fd.decimals : 0);
    return true;
  }
  return false;
}

// Puts what `make` gives on the control the way its kind takes it.
bool Apply(tsdmControl& control, const std::function<bkCurrencyFormatter*()>& make) {
  if (auto* combo = dynamic_cast<tsdmDBComboBox*>(&control)) {
    bkCurrencyFormatter* f = make();
    if (!f) return false;
    combo->SetFormatter(f);
    return true;
  }
  if (auto* line = dynamic_cast<tsdmEditLine*>(&control)) {
    bkCurrencyFormatter* f = make();
    if (!f) return false;
    line->ImplControl().SetFormatter(f);
    return true;
  }
  return false;
}

bool Apply(tsEdit& edit, bkCurrencyFormatter* f) {
  if (!f) return false;
  edit.SetFormatter(f);
  return true;
}

}  // namespace

bkCurrencyFormatter::bkCurrencyFormatter(unsigned short digits, unsigned short decimals, bool style)
    : tsNumEditFormatter(digits, decimals, style ? kStyleFlagSet : kStyleFlagClear) {}

std::unique_ptr<tsEditFormatter> bkCurrencyFormatter::Clone() const {
  return std::unique_ptr<tsEditFormatter>(new bkCurrencyFormatter(*this));
}

bkCurrencyFormatter* bkCurrencyFormatter::NewFormatter(unsigned short digits, unsigned short decimals, bool style) {
  return new bkCurrencyFormatter(digits, decimals, style);
}

bkCurrencyFormatter* bkCurrencyFormatter::NewFormatter(unsigned short digits, unsigned short decimals,
                                                       double lower_limit, bool style) {
  auto* f = new bkCurrencyFormatter(digits, decimals, style);
  f->SetLowerLimit(lower_limit, kLowerLimitMode);
  return f;
}

bkCurrencyFormatter* bkCurrencyFormatter::NewFormatter(const CString& field, const tsioDataFile& file, bool style) {
  unsigned short digits = 0, decimals = 0;
  if (!FieldFormat(field, file, &digits, &decimals)) return nullptr;
  return NewFormatter(digits, decimals, style);
}

bkCurrencyFormatter* bkCurrencyFormatter::NewFormatter(const CString& field, const tsioDataFile& file,
                                                       double lower_limit, bool style) {
  unsigned short digits = 0, decimals = 0;
  if (!FieldFormat(field, file, &digits, &decimals)) return nullptr;
  return NewFormatter(digits, decimals, lower_limit, style);
}

bool bkCurrencyFormatter::ApplyFormatter(tsEdit& edit, unsigned short digits, unsigned short decimals, bool style) {
  return Apply(edit, NewFormatter(digits, decimals, style));
}

bool bkCurrencyFormatter::ApplyFormatter(tsEdit& edit, unsigned short digits, unsigned short decimals,
                                         double lower_limit, bool style) {
  return Apply(edit, NewFormatter(digits, decimals, lower_limit, style));
}

bool bkCurrencyFormatter::ApplyFormatter(tsEdit& edit, const CString& field, const tsioDataFile& file, bool style) {
  return Apply(edit, NewFormatter(field, file, style));
}

bool bkCurrencyFormatter::ApplyFormatter(tsEdit& edit, const CString& field, const tsioDataFile& file,
                                         double lower_limit, bool style) {
  return Apply(edit, NewFormatter(field, file, lower_limit, style));
}

bool bkCurrencyFormatter::ApplyFormatter(tsdmControl& control, unsigned short digits, unsigned short decimals,
                                         bool style) {
  return Apply(control, [&] { return NewFormatter(digits, decimals, style); });
}

bool bkCurrencyFormatter::ApplyFormatter(tsdmControl& control, unsigned short digits, unsigned short decimals,
                                         double lower_limit, bool style) {
  return Apply(control, [&] { return NewFormatter(digits, decimals, lower_limit, style); });
}

bool bkCurrencyFormatter::ApplyFormatter(tsdmControl& control, const CString& field, const tsioDataFile& file,
                                         bool style) {
  return Apply(control, [&] { return NewFormatter(field, file, style); });
}

bool bkCurrencyFormatter::ApplyFormatter(tsdmControl& control, const CString& field, const tsioDataFile& file,
                                         double lower_limit, bool style) {
  return Apply(control, [&] { return NewFormatter(field, file, lower_limit, style); });
}
