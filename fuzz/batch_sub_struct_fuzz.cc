// Fuzz target: the batch sub-structure, the byte buffer a batch part's
// values cross the batch framework in (batches/bk_batch_sub_struct.h).
//
// Any bytes of any length are read; what is accepted must write back to the
// same totals, and a part given the buffer (SetPart) must answer as the
// reader does and then write the same totals itself (FillSubStruct).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "batches/bk_batch_part.h"
#include "fuzz/fuzz_support.h"
#include "batches/bk_batch_sub_struct.h"

namespace {

bool Same(const bkBatchSubStruct& a, const bkBatchSubStruct& b) {
  return a.number_of_trans == b.number_of_trans && a.amount_of_trans == b.amount_of_trans &&
         a.number_of_trans_posted == b.number_of_trans_posted && a.amount_of_trans_posted == b.amount_of_trans_posted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so a read past `size` is an AddressSanitizer report.
  std::vector<uint8_t> bytes(data, data + size);
  bkBatchSubStruct s;
  const bool accepted = bkReadBatchSubStruct(bytes.data(), bytes.size(), &s);

  bkBatchPart part;
  if (part.SetPart(bytes.data(), bytes.size()) != accepted) bkfuzz::Fail("SetPart and the reader disagree");
  if (!accepted) return 0;

  std::vector<uint8_t> written(kBkBatchSubStructSize);
  std::memcpy(written.data(), bytes.data(), kBkBatchSubStructTotals);
  bkWriteBatchSubStructTotals(written.data(), s.number_of_trans, s.amount_of_trans, s.number_of_trans_posted,
                              s.amount_of_trans_posted);
  bkBatchSubStruct again;
  if (!bkReadBatchSubStruct(written.data(), written.size(), &again)) bkfuzz::Fail("written totals refused");
  if (!Same(s, again)) bkfuzz::Fail("written totals read back differently");

  std::vector<uint8_t> filled(kBkBatchSubStructSize);
  if (part.FillSubStruct(filled.data(), filled.size()) != kBkBatchSubStructSize) bkfuzz::Fail("FillSubStruct size");
  bkBatchSubStruct from_part;
  if (!bkReadBatchSubStruct(filled.data(), filled.size(), &from_part)) bkfuzz::Fail("part's own buffer refused");
  if (!Same(s, from_part)) bkfuzz::Fail("part's own buffer holds other totals");
  return 0;
}
