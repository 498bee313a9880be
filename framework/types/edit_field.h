// xe_edit_field: the field editor, which turns a number into the text shown
// on reports.
//
// The text is the value rounded half away from zero to `decimals` places
// (0 to 18), with a "-" in front of a negative value, thousands separated by
// "," and the decimals after a ".": 1234567.891 with 2 decimals is
// "1,234,567.89", -0.004 is "0.00" (a value that rounds to zero shows no
// sign). An invalid value (an overflowed number) is "#OVERFLOW". A text
// longer than `max_length` characters is replaced by that many "*", so a
// report never shows a cut number.
#pragma once

#include <cstddef>
#include <string>

#include "framework/base/export.h"
#include "framework/types/ts_double.h"

TS_EXPORT std::string xe_edit_field(const tsDouble& value, int decimals, std::size_t max_length = 110);
