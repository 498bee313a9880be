// The batch framework's least: the batch definition block, module parts and
// their sub-structure, batch updates, copies and batch lists.
#include <gtest/gtest.h>

#include <cstdint>
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
  explicit CountingPart(std::string code, bool put_ok = true) : zzBatchPart(std::move(code)), put_ok_(put_ok) {}
  zzBatchPart* Clone() const override { return new CountingPart(*this); }
  bool PutValues() override {
    ++puts;
    return put_ok_;
  }
  int puts = 0;

 private:
  bool put_ok_;
};

TEST(Batch, DefinitionBlockHoldsTheBatchAndKeepsTheCallersFields) {
  zzBatch b("BK", tsAlpha("DEPOSITS-2026-JANUARY"), 4, zzBatch::BType::kAutomatic);
  b.SetDate(tsDate(2026, 1, 31));
  b.SetDesc(std::string(40, 'd'));
  unsigned char block[zzBatch::kBatchDefSize];
  std::memset(block, 0xAB, sizeof block);
  const int16_t command = 777;
  std::memcpy(block + zzBatch::kCommandIDOffset, &command, 2);
  b.FillBatchStruct(block);
  EXPECT_STREQ(reinterpret_cast<char*>(block), "BK");
  EXPECT_STREQ(reinterpret_cast<char*>(block + 5), "DEPOSITS-2");  // cut to 10 characters
  EXPECT_EQ(Word(block, 16), 4);
  EXPECT_EQ(Word(block, 18), 2);
  EXPECT_EQ(Word(block, 20), 2026);
  EXPECT_EQ(Word(block, 22), 1);
  EXPECT_EQ(Word(block, 24), 31);
  EXPECT_EQ(Word(block, zzBatch::kCommandIDOffset), 777);
  EXPECT_EQ(std::strlen(reinterpret_cast<char*>(block + 28)), 30u);
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(block[zzBatch::kApplBlockOffset + i], 0xAB);
  EXPECT_EQ(block[100], 0);
}

TEST(Batch, PartsAreFoundByModuleCodeAndUpdateInfoReportsTheirWrite) {
  zzBatch b("BK", tsAlpha("B1"), 0);
  EXPECT_EQ(b.ApplPart("BK"), nullptr);
  EXPECT_FALSE(b.UpdateInfo("BK"));
  auto* bk = static_cast<CountingPart*>(b.AddPart(std::make_unique<CountingPart>("BK")));
  b.AddPart(std::make_unique<CountingPart>("GL", false));
  EXPECT_EQ(bk->BatchID(), "B1");
  EXPECT_EQ(bk->HostAppl(), "BK");
  EXPECT_EQ(b.ApplPart("BK"), bk);
  EXPECT_TRUE(b.UpdateInfo("BK"));
  EXPECT_EQ(bk->puts, 1);
  EXPECT_FALSE(b.UpdateInfo("GL"));
  EXPECT_FALSE(b.UpdateInfo("AP"));
  // A second part of one module replaces the first.
  auto* again = b.AddPart(std::make_unique<CountingPart>("BK"));
  EXPECT_EQ(b.PartCount(), 2u);
  EXPECT_EQ(b.ApplPart("BK"), again);
}

TEST(Batch, CopiesHaveTheirOwnParts) {
  zzBatch a("BK", tsAlpha("B1"), 0);
  a.AddPart(std::make_unique<CountingPart>("BK"));
  zzBatch b = a;
  ASSERT_NE(b.ApplPart("BK"), nullptr);
  EXPECT_NE(b.ApplPart("BK"), a.ApplPart("BK"));
  EXPECT_TRUE(b.UpdateInfo("BK"));
  EXPECT_EQ(static_cast<CountingPart*>(a.ApplPart("BK"))->puts, 0);
  zzBatch c;
  c = b;
  EXPECT_EQ(c.BatchID(), "B1");
  EXPECT_EQ(static_cast<CountingPart*>(c.ApplPart("BK"))->puts, 1);
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
  EXPECT_EQ(Word(buf, 0), 12);
  EXPECT_EQ(Word(buf, 2), 13);
  EXPECT_EQ(Word(buf, 4), 1);
  EXPECT_EQ(Word(buf, 6), 3);
  EXPECT_STREQ(reinterpret_cast<char*>(buf + 8), "Deposits of the week");
  EXPECT_EQ(Word(buf, 39), 2026);
  EXPECT_EQ(Word(buf, 41), 3);
  EXPECT_EQ(Word(buf, 43), 9);

  zzBatchPart q("BK");
  q.SetPart(buf);
  EXPECT_EQ(q.DestFileNumber(), 13);
  EXPECT_EQ(q.FileNumber(), 0);  // the other fields are not read
  std::unique_ptr<zzBatchPart> clone(p.Clone());
  EXPECT_EQ(clone->Desc(), "Deposits of the week");
}

TEST(BatchList, OldListMirrorsTheNodes) {
  zzBatchList list;
  list.AppendNode(new zzBatchListNode("BK", tsAlpha("B1"), 1));
  auto* n = new zzBatchListNode("GL", tsAlpha("B2"), 2);
  n->SetChoice(tsChoice(1));
  list.AppendNode(n);
  list.AppendNode(nullptr);
  const zb_batch_list_def* old = list.BuildOldBatchList();
  ASSERT_EQ(old->count, 2u);
  EXPECT_STREQ(old->entries[0].host_appl, "BK");
  EXPECT_STREQ(old->entries[1].batch_id, "B2");
  EXPECT_EQ(old->entries[0].choice, 0);
  EXPECT_EQ(old->entries[1].choice, 1);
  EXPECT_EQ(old->entries[1].source, 2);
}

}  // namespace
