// Internal to framework/types: 128-bit helpers of exact decimal arithmetic
// (powers of ten, rounding division, fitting a mantissa into 64 bits).
#pragma once

#include <cstdint>

#include "framework/types/ts_value_support.h"

namespace ts_detail {

using i128 = __int128;
using u128 = unsigned __int128;

// 10^n for n in 0..38.
inline i128 Pow10Wide(int n) {
  i128 r = 1;
  for (int i = 0; i < n; ++i) r *= 10;
  return r;
}

inline bool FitsMantissa(i128 m) { return m >= -static_cast<i128>(kMaxMantissa) && m <= kMaxMantissa; }

// m / d rounded half away from zero; d > 0.
inline i128 DivRoundHalfAway(i128 m, i128 d) {
  i128 q = m / d;
  i128 r = m % d;
  if (r < 0) r = -r;
  if (r >= d - r) q += (m < 0 ? -1 : 1);
  return q;
}

// Brings (m, scale) to a form that fits: a scale above 18 is rounded half away
// to 18; trailing zeros are dropped while the mantissa does not fit, or always
// when `strip_all`. False when the mantissa still does not fit.
inline bool Normalize(i128& m, int& scale, bool strip_all) {
  if (scale > kMaxScale) {
    m = DivRoundHalfAway(m, Pow10Wide(scale - kMaxScale));
    scale = kMaxScale;
  }
  while (scale > 0 && m % 10 == 0 && (strip_all || !FitsMantissa(m))) {
    m /= 10;
    --scale;
  }
  return FitsMantissa(m);
}

}  // namespace ts_detail
