// The bank register's batch sub-structure: the byte buffer by which the
// batch framework exchanges a bkBatchPart's values (FillSubStruct writes it,
// SetPart reads it). Packed, little-endian:
//   0 .. 44   the framework part's fields (framework/batch/batch_part.h);
//             SetPart reads only the destination file number (offset 2)
//   45   NumberOfTrans        IEEE 754 binary64
//   53   AmountOfTrans        IEEE 754 binary64
//   61   NumberOfTransPosted  IEEE 754 binary64
//   69   AmountOfTransPosted  IEEE 754 binary64
// 77 bytes in all.
//
// A double becomes the exact decimal of its shortest round-trip text
// (12.34 stays 12.34; a total with up to 15 significant digits crosses the
// buffer unchanged). The buffer may come from anywhere, so reading checks
// everything: a buffer of fewer than 77 bytes, a total that is NaN or
// infinite or has no exact decimal of at most 18 significant digits within
// the range of a 64-bit mantissa, or a count that is not a whole number is
// refused, and nothing is read past `size`.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/types/ts_double.h"
#include "records/bk_export.h"

inline constexpr std::size_t kBkBatchSubStructSize = 77;
inline constexpr std::size_t kBkBatchSubStructTotals = 45;

struct BK_EXPORT bkBatchSubStruct {
  short dest_file_number = 0;
  tsDouble number_of_trans{0, 0};
  tsDouble amount_of_trans{0, 3};
  tsDouble number_of_trans_posted{0, 0};
  tsDouble amount_of_trans_posted{0, 2};
};

// Reads a buffer of `size` bytes; false (with `out` untouched) when refused
// (see above).
BK_EXPORT bool bkReadBatchSubStruct(const uint8_t* data, std::size_t size, bkBatchSubStruct* out);
// Writes the four totals at offsets 45 to 76 of a buffer of at least 77
// bytes (the framework part writes offsets 0 to 44).
BK_EXPORT void bkWriteBatchSubStructTotals(uint8_t* data, const tsDouble& number_of_trans,
                                           const tsDouble& amount_of_trans, const tsDouble& number_of_trans_posted,
                                           const tsDouble& amount_of_trans_posted);
// The exact decimal of a double's shortest round-trip text; false for NaN,
// infinities and values with no such decimal (see above).
BK_EXPORT bool bkDecimalFromDouble(double value, tsDouble* out);
