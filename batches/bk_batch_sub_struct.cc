// The bank register's batch sub-structure (see bk_batch_sub_struct.h).
#include "batches/bk_batch_sub_struct.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "framework/types/ts_value_support.h"

namespace {

double GetDouble(const uint8_t* p) {
  uint64_t u = 0;
  for (int i = 7; i >= 0; --i) u = (u << 8) | p[i];
  return std::bit_cast<double>(u);
}

void PutDouble(uint8_t* p, double v) {
  uint64_t u = std::bit_cast<uint64_t>(v);
  for (int i = 0; i < 8; ++i) {
    p[i] = static_cast<uint8_t>(u & 0xFF);
    u >>= 8;
  }
}

}  // namespace

bool bkDecimalFromDouble(double value, tsDouble* out) {
  if (!std::isfinite(value)) return false;
  // The shortest text that reads back as the same double, in fixed notation.
  // Finite doubles need at most about 330 characters.
  char buf[512];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  if (res.ec != std::errc()) return false;
  int64_t mantissa = 0;
  int scale = 0;
  if (!ts_detail::ParseDecimal(std::string_view(buf, static_cast<size_t>(res.ptr - buf)), mantissa, scale)) {
    return false;
  }
  tsDouble d = tsDouble::FromScaled(mantissa, scale);
  if (!d.IsValid()) return false;
  if (out) *out = d;
  return true;
}

bool bkReadBatchSubStruct(const uint8_t* data, std::size_t size, bkBatchSubStruct* out) {
  if (!data || size < kBkBatchSubStructSize) return false;
  bkBatchSubStruct r;
  r.dest_file_number = static_cast<short>(static_cast<int16_t>(static_cast<uint16_t>(data[2] | (data[3] << 8))));
  tsDouble* totals[4] = {&r.number_of_trans, &r.amount_of_trans, &r.number_of_trans_posted,
                         &r.amount_of_trans_posted};
  for (int i = 0; i < 4; ++i) {
    tsDouble v;
    if (!bkDecimalFromDouble(GetDouble(data + kBkBatchSubStructTotals + 8 * i), &v)) return false;
    // Counts (0 and 2) are whole numbers.
    if (i % 2 == 0 && v.Rounded(0) != v) return false;
    const int declared = totals[i]->Decimals();
    *totals[i] = v;
    totals[i]->SetDecimals(declared);
  }
  if (out) *out = r;
  return true;
}

void bkWriteBatchSubStructTotals(uint8_t* data, const tsDouble& number_of_trans, const tsDouble& amount_of_trans,
                                 const tsDouble& number_of_trans_posted, const tsDouble& amount_of_trans_posted) {
  if (!data) return;
  const tsDouble* totals[4] = {&number_of_trans, &amount_of_trans, &number_of_trans_posted, &amount_of_trans_posted};
  for (int i = 0; i < 4; ++i) PutDouble(data + kBkBatchSubStructTotals + 8 * i, totals[i]->ToDouble());
}
