// The rules text from outside must follow to become a value: amounts,
// dates and one-line text as people type them or as another program (a
// bank's statement, a spreadsheet's export) writes them. The command line
// and the statement readers apply the same rules, so an amount a user could
// not type is not taken from a file either.
//
// Amounts: blanks around the text are ignored; an optional sign, the whole
// part, and at most two decimals after the decimal mark ("1250", "-0.25",
// "+3.5", ".75", "5."). Nothing is rounded: "0.005" is refused, never read
// as 0.01. By default the decimal mark is a point and nothing groups
// thousands, so "12,34", "1,234.50" and "1 000" are refused; a declared
// number style changes the decimal mark (",") and allows one thousands
// separator, which must then group the whole part by threes ("1.234,50",
// "12.345.678,00"; "1.23,00" is refused). Exponents ("1e3"), "NaN", "inf"
// and empty text are refused.
//
// Dates: a layout is chosen by the caller (a file's columns declare theirs);
// day and month take one or two digits except in yyyymmdd, the year four;
// the day must be real ("2026-02-30" is refused) and the year from 1900 to
// 9999; nothing may follow.
//
// Text: one line of valid UTF-8 (no overlong forms, no surrogates) without
// control characters (C0, DEL, C1), measured and cut by characters, not
// bytes. Text in a single-byte encoding is converted to UTF-8 first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/base/export.h"
#include "framework/types/ts_currency.h"
#include "framework/types/ts_date.h"

// How amount text writes its number.
struct TS_EXPORT tsNumberStyle {
  char decimal = '.';  // the decimal mark: '.' or ','
  char thousands = 0;  // the thousands separator ('.', ',', ' ', '\''), 0 for none
};

enum class tsAmountProblem : uint8_t {
  kNone,
  kEmpty,          // empty or blank
  kSeparator,      // a decimal mark or separator the style does not declare ("12,34", "1,234.50")
  kNotAnAmount,    // anything else that is not a number of the grammar
  kMoreThanCents,  // more than two decimals
  kTooLarge,       // more whole digits than allowed
};

// Reads `text` as an amount in `style` with at most `whole_digits` digits
// before the decimal mark (leading zeros do not count; at most 16). kNone with the exact
// value in `*out`; otherwise `*out` is unchanged.
TS_EXPORT tsAmountProblem tsReadAmount(std::string_view text, tsCurrency* out, const tsNumberStyle& style = {},
                                       int whole_digits = 13);

enum class tsDateLayout : uint8_t { kYmdDashes, kYmdCompact, kMdySlashes, kDmySlashes, kDmyDots };

// The layout a name gives ("yyyy-mm-dd", "yyyymmdd", "mm/dd/yyyy",
// "dd/mm/yyyy", "dd.mm.yyyy", upper or lower case); false for any other.
TS_EXPORT bool tsDateLayoutFromName(std::string_view name, tsDateLayout* out);
TS_EXPORT const char* tsDateLayoutName(tsDateLayout layout);

// Reads `text` (blanks around ignored) in `layout`; false for anything that
// is not a real day from the year 1900 on in that layout.
TS_EXPORT bool tsReadDate(std::string_view text, tsDateLayout layout, tsDate* out);

// True when `text` is valid UTF-8.
TS_EXPORT bool tsIsValidUtf8(std::string_view text);
// The number of characters of valid UTF-8 `text`.
TS_EXPORT size_t tsUtf8Length(std::string_view text);
// The longest start of valid UTF-8 `text` of at most `chars` characters: a
// character is never cut in half.
TS_EXPORT std::string_view tsCutUtf8(std::string_view text, size_t chars);

enum class tsTextProblem : uint8_t {
  kNone,
  kNotUtf8,    // not valid UTF-8
  kControl,    // a C0 control (line break, tab, escape, ...) or DEL
  kC1Control,  // a C1 control (U+0080 to U+009F), terminal controls too
};

// Whether `text` is one line of printable UTF-8 text.
TS_EXPORT tsTextProblem tsCheckLineText(std::string_view text);

enum class tsEncoding : uint8_t {
  kUtf8,
  // Windows-1252, which is also what files labelled ISO-8859-1 (Latin-1)
  // hold in practice: its bytes 0x80 to 0x9F are printable characters ("€",
  // curly quotes) where Latin-1 has controls.
  kWindows1252,
};

// `text` in `from` converted to UTF-8 into `*out` (UTF-8 is checked and
// copied). False for bytes that are not text in `from`: invalid UTF-8, or
// the five bytes Windows-1252 leaves unassigned (0x81, 0x8D, 0x8F, 0x90,
// 0x9D).
TS_EXPORT bool tsToUtf8(std::string_view text, tsEncoding from, std::string* out);
