// The batch framework's least: the batch definition block, module parts,
// their sub-structure and batch updates, copies, the old batch list.
#include <gtest/gtest.h>

#include <cstring>

#include "framework/batch/batch.h"
#include "framework/batch/batch_list.h"

namespace {

int16_t Word(const unsigned char* p, size_t at) {
  int16_t v;
  std::memcpy(&v, p + at, 2);
  return v;
}

class CountingPart : public zzBatchPart {
 public:
  CountingPart(std::string code, bool put_ok) : zzBatchPart(std::move(code)), put_ok_(put_ok) {}
  zzBatchPart* Clone() const override { return new CountingPart(*this); }
  bool PutValues() override { return ++puts, put_ok_; }
  int puts = 0;

 private:
  bool put_ok_;
};

TEST(Batch, DefinitionBlockHoldsTheBatchAndKeepsTheCallersFields) {
  zzBatch b("BK", tsAlpha("DEPOSITS-2026-JANUARY"), 4, zzBatch::BType::kAutomatic);
  b.SetDate(tsDate(2026, 1, 31));
  unsigned char block[zzBatch::kBatchDefSize];
  std::memset(block, 0xAB, sizeof block);
  const int16_t command = 777;
  std::memcpy(block + zzBatch::kCommandIDOffset, &command, 2);
  b.FillBatchStruct(block);
  EXPECT_STREQ(reinterpret_cast<char*>(block), "BK");
  EXPECT_STREQ(reinterpret_cast<char*>(block + 5), "DEPOSITS-2");  // cut to 10 characters
  const std::vector<std::pair<size_t, int>> words = {{16, 4}, {18, 2}, {20, 2026}, {22, 1}, {24, 31}, {26, 777}};
  for (const auto& [at, value] : words) EXPECT_EQ(Word(block, at), value) << at;
  EXPECT_EQ(block[zzBatch::kApplBlockOffset], 0xAB);
  EXPECT_EQ(block[100], 0);
}

TEST(Batch, PartsAreFoundByModuleCodeUpdateInfoReportsTheirWriteAndCopiesOwnTheirs) {
  zzBatch b("BK", tsAlpha("B1"), 0);
  EXPECT_FALSE(b.UpdateInfo("BK"));  // no part
  auto* bk = static_cast<CountingPart*>(b.AddPart(std::make_unique<CountingPart>("BK", true)));
  b.AddPart(std::make_unique<CountingPart>("GL", false));
  EXPECT_EQ(bk->BatchID(), "B1");
  EXPECT_EQ(b.ApplPart("BK"), bk);
  EXPECT_TRUE(b.UpdateInfo("BK"));
  EXPECT_FALSE(b.UpdateInfo("GL"));
  zzBatch copy = b;
  EXPECT_NE(copy.ApplPart("BK"), bk);
  EXPECT_TRUE(copy.UpdateInfo("BK"));
  EXPECT_EQ(bk->puts, 1);
  b.AddPart(std::make_unique<CountingPart>("BK", true));  // replaces the module's part
  EXPECT_EQ(b.PartCount(), 2u);
}

TEST(BatchPart, SubStructureCarriesTheFrameworkFieldsAndSetPartReadsTheDestination) {
  zzBatchPart p("BK");
  p.SetFileNumber(12);
  p.SetDestFileNumber(13);
  p.SetRecordCreated(1);
  p.SetType(zzBatchType::kImported);
  p.SetDesc("Deposits of the week");
  p.SetDate(tsDate(2026, 3, 9));
  unsigned char buf[zzBatchPart::kFrameworkSubStructSize] = {};
  p.FillSubStruct(buf);
  const std::vector<std::pair<size_t, int>> words = {{0, 12}, {2, 13}, {4, 1}, {6, 3}, {39, 2026}, {41, 3}, {43, 9}};
  for (const auto& [at, value] : words) EXPECT_EQ(Word(buf, at), value) << at;
  EXPECT_STREQ(reinterpret_cast<char*>(buf + 8), "Deposits of the week");
  zzBatchPart q("BK");
  q.SetPart(buf);
  EXPECT_EQ(q.DestFileNumber(), 13);
  EXPECT_EQ(q.FileNumber(), 0);  // the other fields are not read

  zzBatchList list;
  auto* n = new zzBatchListNode("GL", tsAlpha("B2"), 2);
  n->SetChoice(tsChoice(1));
  list.AppendNode(n);
  const zb_batch_list_def* old = list.BuildOldBatchList();
  ASSERT_EQ(old->count, 1u);
  EXPECT_STREQ(old->entries[0].batch_id, "B2");
  EXPECT_EQ(old->entries[0].choice, 1);
}

}  // namespace
