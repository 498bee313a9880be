// bkreg's input rules (see input.h).
#include "tools/bkreg/input.h"

#include <cctype>

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

bool IsValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    int n;
    uint32_t cp;
    if (c < 0x80) {
      ++p;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (end - p <= n) return false;
    for (int i = 1; i <= n; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    p += n + 1;
  }
  return true;
}

size_t Utf8Length(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

std::string ParseAmount(std::string_view field, std::string_view text, tsCurrency* out) {
  const std::string accepted = std::string(field) + " takes an amount: " + kAmountForms;
  const std::string_view t = Trim(text);
  if (t.empty()) return std::string(field) + " is empty; " + accepted;
  size_t i = 0;
  if (t[i] == '-' || t[i] == '+') ++i;
  size_t whole = 0, decimals = 0;
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++whole;
  bool point = false;
  if (i < t.size() && t[i] == '.') {
    point = true;
    ++i;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++decimals;
  }
  if (i != t.size() || whole + decimals == 0 || (point && decimals == 0 && whole == 0)) {
    return "not an amount for " + std::string(field) + ": " + Quoted(text) + "; " + accepted;
  }
  if (decimals > 2) {
    return std::string(field) + " " + Quoted(text) + " has more than two decimals; " + accepted +
           " (amounts are not rounded)";
  }
  size_t lead = t[0] == '-' || t[0] == '+' ? 1 : 0;
  while (lead < t.size() && t[lead] == '0' && whole > 0) ++lead, --whole;
  if (whole > static_cast<size_t>(kAmountDigits)) {
    return std::string(field) + " " + Quoted(text) + " is too large; at most " + std::to_string(kAmountDigits) +
           " digits before the point";
  }
  tsCurrency c;
  if (!c.Parse(t)) return "not an amount for " + std::string(field) + ": " + Quoted(text) + "; " + accepted;
  *out = c;
  return "";
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
  if (!IsValidUtf8(text)) return std::string(field) + " is not valid UTF-8 text";
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) {
      return std::string(field) + " holds a control character (a line break, tab or escape); text is one line";
    }
  }
  // C1 controls (U+0080..U+009F) are terminal controls too.
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) == 0xC2 && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      return std::string(field) + " holds a control character; text is one line of printable characters";
    }
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
