// bkreg's input rules: what the command line and import files accept for
// amounts, dates, bank account ids and text, with messages that name the
// field and say what is accepted. The amount and text rules are the
// library's (framework/types/input_rules.h), which the statement readers
// apply too; this file words them for the command line.
//
// Amounts: an optional sign, digits, and at most two decimals after a point
// ("1250", "-0.25", "+3.5", ".75"); at most 13 digits before the point (the
// register's money columns hold 15 digits, 2 of them decimals). Refused:
// empty or blank text, more than two decimals ("0.001" is not rounded),
// decimal commas or thousands separators ("12,34", "1,234.50"), exponents
// ("1e3"), "NaN", "inf", and anything else.
//
// Dates: YYYY-MM-DD, YYYYMMDD or MM/DD/YYYY, a real day of a year from 1900
// to 9999 ("2026-02-30" is refused). Blanks around the text are ignored.
//
// Bank account ids: 1 to 15 characters; blanks around the id are dropped and
// letters are upper-cased ("ops " and "OPS" are the same account); letters,
// digits and "-", "_", ".", "/" only (no blanks inside, no control
// characters), so an id can always be typed again.
//
// Text (descriptions, payees, ids): valid UTF-8 without control characters
// (line breaks, tabs and escapes are refused), at most the field's limit in
// characters, not bytes ("Café" is 4 characters).
#pragma once

#include <string>
#include <string_view>

#include "framework/types/ts_currency.h"
#include "framework/types/ts_date.h"

namespace bkreg {

inline constexpr int kBankIdLimit = 15;
inline constexpr int kAmountDigits = 13;  // before the point

// Each Parse/Check returns "" when the text is accepted (the value in *out),
// else the message: the field named `field`, what was wrong, what is accepted.
std::string ParseAmount(std::string_view field, std::string_view text, tsCurrency* out);
std::string ParseDate(std::string_view field, std::string_view text, tsDate* out);
std::string ParseBankId(std::string_view field, std::string_view text, std::string* out);
// Text of at most `limit` characters (0: any length); `*out` is `text`.
std::string CheckText(std::string_view field, std::string_view text, int limit, std::string* out);

// True when `text` is valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);
// The number of characters of valid UTF-8 `text` (bytes that start one).
size_t Utf8Length(std::string_view text);

// The accepted forms, for messages and help.
extern const char kAmountForms[];
extern const char kDateForms[];

}  // namespace bkreg
