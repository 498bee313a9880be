// bkreg's input rules (see input.h).
#include "tools/bkreg/input.h"

#include <cctype>

#include "framework/types/input_rules.h"

namespace bkreg {

const char kAmountForms[] =
    "digits with an optional sign and at most two decimals after a point, e.g. 1250, -0.25, 12.34";
const char kDateForms[] = "YYYY-MM-DD, YYYYMMDD or MM/DD/YYYY";

namespace {

std::string Quoted(std::string_view text) {
  std::string s = "'";
  for (unsigned char c : text) s += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
  return s + "'";
}

std::string_view Trim(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

}  // namespace

bool IsValidUtf8(std::string_view text) { return tsIsValidUtf8(text); }

size_t Utf8Length(std::string_view text) { return tsUtf8Length(text); }

std::string ParseAmount(std::string_view field, std::string_view text, tsCurrency* out) {
  const std::string accepted = std::string(field) + " takes an amount: " + kAmountForms;
  switch (tsReadAmount(text, out, tsNumberStyle(), kAmountDigits)) {
    case tsAmountProblem::kNone: return "";
    case tsAmountProblem::kEmpty: return std::string(field) + " is empty; " + accepted;
    case tsAmountProblem::kMoreThanCents:
      return std::string(field) + " " + Quoted(text) + " has more than two decimals; " + accepted +
             " (amounts are not rounded)";
    case tsAmountProblem::kTooLarge:
      return std::string(field) + " " + Quoted(text) + " is too large; at most " + std::to_string(kAmountDigits) +
             " digits before the point";
    case tsAmountProblem::kSeparator:
    case tsAmountProblem::kNotAnAmount: break;
  }
  return "not an amount for " + std::string(field) + ": " + Quoted(text) + "; " + accepted;
}

std::string ParseDate(std::string_view field, std::string_view text, tsDate* out) {
  const std::string_view t = Trim(text);
  tsDate d;
  if (t.empty()) return std::string(field) + " is empty; it takes a date: " + kDateForms;
  if (!d.Parse(t) || d.IsEmpty() || d.Year() < 1900) {
    return "not a date for " + std::string(field) + ": " + Quoted(text) + "; accepted: " + kDateForms +
           ", a real day from the year 1900 on";
  }
  *out = d;
  return "";
}

std::string ParseBankId(std::string_view field, std::string_view text, std::string* out) {
  const std::string_view t = Trim(text);
  if (t.empty()) return std::string(field) + " is empty; a bank account id has 1 to 15 characters";
  std::string id;
  for (unsigned char c : t) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '/') {
      id += static_cast<char>(std::toupper(c));
    } else {
      return std::string(field) + " " + Quoted(text) +
             " holds a character a bank account id cannot: ids are letters, digits, '-', '_', '.' and '/'";
    }
  }
  if (id.size() > static_cast<size_t>(kBankIdLimit)) {
    return std::string(field) + " " + Quoted(text) + " is too long: a bank account id has at most " +
           std::to_string(kBankIdLimit) + " characters";
  }
  *out = id;
  return "";
}

std::string CheckText(std::string_view field, std::string_view text, int limit, std::string* out) {
  switch (tsCheckLineText(text)) {
    case tsTextProblem::kNone: break;
    case tsTextProblem::kNotUtf8: return std::string(field) + " is not valid UTF-8 text";
    case tsTextProblem::kControl:
      return std::string(field) + " holds a control character (a line break, tab or escape); text is one line";
    case tsTextProblem::kC1Control:
      return std::string(field) + " holds a control character; text is one line of printable characters";
  }
  const size_t n = Utf8Length(text);
  if (limit > 0 && n > static_cast<size_t>(limit)) {
    return std::string(field) + " is too long: " + std::to_string(n) + " characters, at most " +
           std::to_string(limit);
  }
  *out = std::string(text);
  return "";
}

}  // namespace bkreg
