// The field editor (see edit_field.h).
#include "framework/types/edit_field.h"

#include <cstdint>

std::string xe_edit_field(const tsDouble& value, int decimals, std::size_t max_length) {
  std::string text;
  if (!value.IsValid()) {
    text = "#OVERFLOW";
  } else {
    decimals = decimals < 0 ? 0 : (decimals > 18 ? 18 : decimals);
    const tsDouble rounded = value.Rounded(decimals);
    // Digits of |value| scaled to `decimals` places, most significant first.
    __int128 m = rounded.Mantissa();
    int scale = rounded.Scale();
    for (; scale < decimals; ++scale) m *= 10;
    for (; scale > decimals; --scale) m /= 10;  // exact: Rounded left no more places
    const bool negative = m < 0;
    unsigned __int128 u = negative ? static_cast<unsigned __int128>(-m) : static_cast<unsigned __int128>(m);
    std::string digits;
    do {
      digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
      u /= 10;
    } while (u != 0);
    if (digits.size() <= static_cast<std::size_t>(decimals)) {
      digits.insert(0, static_cast<std::size_t>(decimals) + 1 - digits.size(), '0');
    }
    const std::size_t whole_len = digits.size() - static_cast<std::size_t>(decimals);
    std::string whole;
    for (std::size_t i = 0; i < whole_len; ++i) {
      if (i > 0 && (whole_len - i) % 3 == 0) whole += ',';
      whole += digits[i];
    }
    text = (negative ? "-" : "") + whole;
    if (decimals > 0) text += "." + digits.substr(whole_len);
  }
  if (text.size() > max_length) text.assign(max_length, '*');
  return text;
}
