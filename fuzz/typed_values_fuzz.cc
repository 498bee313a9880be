// Fuzz target: the typed values' text parsing (amounts, numbers, dates,
// times, booleans, choices) and the decimal grammar under them.
//
// Input: one selector byte, then the text. Beyond "no crash, no sanitizer
// report": every text a date, time, whole number, boolean or choice accepts
// comes back from its own Format as the same value; a decimal's text at its
// own decimals gives it back exactly and the decimal grammar agrees with
// tsDouble; an amount's text (rounded to its 2 decimals) is stable.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "framework/types/edit_field.h"
#include "framework/types/values.h"

namespace {

// v.Parse(text); when accepted, the value's own text parses back to it.
template <typename V>
void RoundTrip(V v, std::string_view text) {
  if (!v.Parse(text)) return;
  const std::string shown = v.Format();
  V again = v;
  again.Clear();
  if (!again.Parse(shown)) bkfuzz::Fail("own text refused", shown);
  if (again.Compare(v) != 0) bkfuzz::Fail("own text gives another value", shown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t selector = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (selector % 8) {
    case 0: {
      int64_t m = 0;
      int scale = 0;
      const bool parsed = ts_detail::ParseDecimal(text, m, scale);
      const tsDouble d = tsDouble::FromText(text, 2);
      // Blank text is the null number (0) to FromText, no number to the grammar.
      const bool blank = text.find_first_not_of(" \t") == std::string_view::npos;
      if (!blank && parsed != d.IsValid()) bkfuzz::Fail("FromText and the grammar disagree", text);
      if (!parsed) break;
      if (scale < 0 || scale > 18) bkfuzz::Fail("scale out of range", text);
      if (d != tsDouble::FromScaled(m, scale, 2)) bkfuzz::Fail("FromText differs from the grammar", text);
      // Declared with its own decimals, a number's text shows all it holds.
      const tsDouble exact = tsDouble::FromScaled(m, scale, scale);
      const std::string shown = exact.Format();
      if (tsDouble::FromText(shown, scale) != exact) bkfuzz::Fail("own text gives another value", shown);
      // The report text never throws or overflows its buffer.
      (void)xe_edit_field(d, selector % 19, 40);
      (void)d.Rounded(2);
      break;
    }
    case 1: {
      // Declared decimals govern the text: an amount with more decimals
      // shows rounded, and that text is stable.
      tsCurrency c;
      if (!c.Parse(text)) break;
      const std::string shown = c.Format();
      tsCurrency again;
      if (!again.Parse(shown) || again.Format() != shown) bkfuzz::Fail("amount text not stable", shown);
      break;
    }
    case 2: RoundTrip(tsDate(), text); break;
    case 3: RoundTrip(tsTime(), text); break;
    case 4: RoundTrip(tsNum<short>(), text); break;
    case 5: RoundTrip(tsNum<long>(), text); break;
    case 6: RoundTrip(tsBool(), text); break;
    case 7: {
      RoundTrip(tsChoice(), text);
      long long out = 0;
      if (ts_detail::ParseInteger(text, -1000, 1000, out) && (out < -1000 || out > 1000)) bkfuzz::Fail("out of range", text);
      break;
    }
  }
  return 0;
}
