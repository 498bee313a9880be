// Account formats: how account numbers are divided into sections, shown and
// stored. The general ledger's accounts use format 9.
//
// A format has five numbered sections of fixed widths (1 to 5) and one
// separator character shown between them. Sections 1 to 3 form the prefix
// (the company, its intercompany part and a division), sections 4 and 5 the
// base account. When the company does not use prefixes (tsAccountFormat::
// prefixed false, the control file's FMTPFX) sections 1 to 3 have width 0.
// Sections with width 0 are absent: they take no characters and no
// separator.
//
// Section numbers as every xk_ function reads them:
//   0 the whole account (1 to 5)    6 the full prefix (1 to 3)
//   1..5 one section                7 the base account (4 and 5)
// any other number covers nothing (width 0, empty values).
//
// An account is stored unformatted: its sections' characters one after the
// other, without separators ("01021000100"). Formatted, the separator
// stands between sections ("01-02-1000-100"). A value shorter than its
// sections fills them from the left.
//
// The formats are read from the control file of the application's company
// (TSGetApp()->CompanyFolder(), see control_file.h); without one the
// default format applies.
#pragma once

#include <array>

#include "framework/base/export.h"
#include "framework/types/ts_alpha.h"

struct TS_EXPORT tsAccountFormat {
  short number = 9;
  bool prefixed = false;
  char separator = '-';
  std::array<short, 5> widths{2, 2, 0, 4, 3};

  // The width of section 1..5 as the format uses it (0 for prefix sections
  // of a company without prefixes).
  short EffectiveWidth(short section) const;
  bool operator==(const tsAccountFormat&) const = default;
};

// The format a company has before it sets one: no prefixes, widths 2, 2, 0,
// 4, 3 (so a base account of 7 characters), separator "-".
TS_EXPORT tsAccountFormat tsDefaultAccountFormat(short number);
// The format in force for the application's company.
TS_EXPORT tsAccountFormat tsGetAccountFormat(short number);

// 1 when the format uses prefixes (and they have a width), else 0.
TS_EXPORT short xk_prefixed(short format);
// The width of a section: characters unformatted, or formatted (separators
// between its sections included) when `formatted` is not 0.
TS_EXPORT short xk_width(short format, short section, short formatted = 0);
// The unformatted value of `section` taken from `value`, which holds section
// `from_section` (0: a whole account). Separators in `value` are ignored.
// Empty when `section` is not part of `from_section`.
TS_EXPORT tsAlpha xk_get_section(const tsAlpha& value, short format, short from_section, short section);
// `value`, the unformatted value of `section`, with separators between its
// sections. Characters beyond the section's width stay at the end.
TS_EXPORT tsAlpha xk_format_alpha(short format, short section, const tsAlpha& value);
// `value` without separators and without trailing spaces.
TS_EXPORT tsAlpha xk_unformat_alpha(short format, short section, const tsAlpha& value);
// The unformatted value of `section` from text that holds either a whole
// account or a value of that section itself, formatted or not: text longer
// (unformatted) than the section is read as a whole account and the section
// is taken from it; anything else is the section's own value.
TS_EXPORT tsAlpha xk_unformat_field(short format, short section, const tsAlpha& value);
