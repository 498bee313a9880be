// The rules of outside text (input_rules.h).
#include "framework/types/input_rules.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

// The length of the UTF-8 sequence starting at `p` (1 to 4), or 0 when it
// is not a valid one.
int SequenceLength(const unsigned char* p, const unsigned char* end) {
  const unsigned char c = *p;
  if (c < 0x80) return 1;
  int n;
  uint32_t cp;
  if ((c & 0xE0) == 0xC0) {
    n = 1;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    n = 2;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    n = 3;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (end - p <= n) return 0;
  for (int i = 1; i <= n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n + 1;
}

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Windows-1252 bytes 0x80 to 0x9F; 0 where it assigns no character.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

tsAmountProblem tsReadAmount(std::string_view text, tsCurrency* out, const tsNumberStyle& style, int whole_digits) {
  // 16 whole digits and 2 decimals still fit the 64-bit mantissa.
  if (whole_digits > 16) whole_digits = 16;
  const std::string_view t = TrimBlanks(text);
  if (t.empty()) return tsAmountProblem::kEmpty;
  size_t i = 0;
  const bool negative = t[0] == '-';
  if (t[0] == '-' || t[0] == '+') ++i;
  // The whole part: digits, grouped by threes when a thousands separator is
  // declared and used.
  int64_t mantissa = 0;
  int whole = 0, significant = 0, group = 0;
  bool grouped = false, bad_group = false;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (IsDigit(c)) {
      ++whole;
      ++group;
      if (significant > 0 || c != '0') ++significant;
      // More than 16 significant digits is too large (below): not accumulated,
      // so the mantissa with its cents never overflows.
      if (significant <= 16) mantissa = mantissa * 10 + (c - '0');
    } else if (style.thousands != 0 && c == style.thousands && c != style.decimal) {
      // A first group of 1 to 3 digits, then groups of exactly 3.
      if (group == 0 || group > 3 || (grouped && group != 3)) bad_group = true;
      grouped = true;
      group = 0;
    } else {
      break;
    }
  }
  if (grouped && group != 3) bad_group = true;
  int decimals = 0;
  if (i < t.size() && t[i] == style.decimal) {
    for (++i; i < t.size() && IsDigit(t[i]); ++i) {
      ++decimals;
      if (decimals <= 2) mantissa = mantissa * 10 + (t[i] - '0');
    }
  }
  if (i != t.size() || whole + decimals == 0 || bad_group) {
    // Rest of the text: a mark or separator of another style between
    // digits, or anything.
    if (t.find_first_of("0123456789") == std::string_view::npos) return tsAmountProblem::kNotAnAmount;
    for (char c : t) {
      if (c == ',' || c == '.' || c == '\'' || c == ' ') {
        bool others_numeric = true;
        for (char d : t) {
          others_numeric = others_numeric && (IsDigit(d) || d == ',' || d == '.' || d == '\'' || d == ' ' ||
                                              d == '-' || d == '+');
        }
        if (others_numeric) return tsAmountProblem::kSeparator;
        break;
      }
    }
    return tsAmountProblem::kNotAnAmount;
  }
  if (decimals > 2) return tsAmountProblem::kMoreThanCents;
  if (significant > whole_digits) return tsAmountProblem::kTooLarge;
  for (int d = decimals; d < 2; ++d) mantissa *= 10;
  *out = tsCurrency(tsDouble::FromScaled(negative ? -mantissa : mantissa, 2, 2));
  return tsAmountProblem::kNone;
}

bool tsDateLayoutFromName(std::string_view name, tsDateLayout* out) {
  std::string lower;
  for (char c : TrimBlanks(name)) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  static const tsDateLayout kAll[] = {tsDateLayout::kYmdDashes, tsDateLayout::kYmdCompact, tsDateLayout::kMdySlashes,
                                      tsDateLayout::kDmySlashes, tsDateLayout::kDmyDots};
  for (tsDateLayout l : kAll) {
    if (lower == tsDateLayoutName(l)) {
      *out = l;
      return true;
    }
  }
  return false;
}

const char* tsDateLayoutName(tsDateLayout layout) {
  switch (layout) {
    case tsDateLayout::kYmdDashes: return "yyyy-mm-dd";
    case tsDateLayout::kYmdCompact: return "yyyymmdd";
    case tsDateLayout::kMdySlashes: return "mm/dd/yyyy";
    case tsDateLayout::kDmySlashes: return "dd/mm/yyyy";
    case tsDateLayout::kDmyDots: return "dd.mm.yyyy";
  }
  return "";
}

bool tsReadDate(std::string_view text, tsDateLayout layout, tsDate* out) {
  const std::string_view t = TrimBlanks(text);
  size_t i = 0;
  // `min` to `max` digits at i.
  auto number = [&](size_t min, size_t max, int* v) {
    size_t n = 0;
    *v = 0;
    while (i < t.size() && n < max && IsDigit(t[i])) *v = *v * 10 + (t[i++] - '0'), ++n;
    return n >= min;
  };
  auto mark = [&](char c) { return i < t.size() && t[i++] == c; };
  int y = 0, m = 0, d = 0;
  bool ok = false;
  switch (layout) {
    case tsDateLayout::kYmdDashes:
      ok = number(4, 4, &y) && mark('-') && number(1, 2, &m) && mark('-') && number(1, 2, &d);
      break;
    case tsDateLayout::kYmdCompact:
      ok = number(4, 4, &y) && number(2, 2, &m) && number(2, 2, &d);
      break;
    case tsDateLayout::kMdySlashes:
      ok = number(1, 2, &m) && mark('/') && number(1, 2, &d) && mark('/') && number(4, 4, &y);
      break;
    case tsDateLayout::kDmySlashes:
      ok = number(1, 2, &d) && mark('/') && number(1, 2, &m) && mark('/') && number(4, 4, &y);
      break;
    case tsDateLayout::kDmyDots:
      ok = number(1, 2, &d) && mark('.') && number(1, 2, &m) && mark('.') && number(4, 4, &y);
      break;
  }
  if (!ok || i != t.size() || y < 1900 || m < 1 || m > 12 || d < 1 || d > tsDate::DaysInMonth(y, m)) return false;
  *out = tsDate(y, m, d);
  return true;
}

bool tsIsValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const int n = SequenceLength(p, end);
    if (n == 0) return false;
    p += n;
  }
  return true;
}

size_t tsUtf8Length(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

std::string_view tsCutUtf8(std::string_view text, size_t chars) {
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && n++ == chars) return text.substr(0, i);
  }
  return text;
}

tsTextProblem tsCheckLineText(std::string_view text) {
  if (!tsIsValidUtf8(text)) return tsTextProblem::kNotUtf8;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) return tsTextProblem::kControl;
  }
  // U+0080..U+009F are encoded C2 80 .. C2 9F.
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) == 0xC2 && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      return tsTextProblem::kC1Control;
    }
  }
  return tsTextProblem::kNone;
}

bool tsToUtf8(std::string_view text, tsEncoding from, std::string* out) {
  if (from == tsEncoding::kUtf8) {
    if (!tsIsValidUtf8(text)) return false;
    out->assign(text);
    return true;
  }
  std::string s;
  s.reserve(text.size());
  for (unsigned char c : text) {
    if (c < 0x80) {
      s += static_cast<char>(c);
    } else if (c < 0xA0) {
      const uint16_t cp = kCp1252High[c - 0x80];
      if (cp == 0) return false;
      AppendUtf8(cp, &s);
    } else {
      AppendUtf8(c, &s);
    }
  }
  *out = std::move(s);
  return true;
}
