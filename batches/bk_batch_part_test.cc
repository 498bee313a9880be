// The bank register's batch part: control totals against a from-scratch
// sum, the sub-structure over its exact bytes and against hostile buffers,
// exact totals in the batch record (and two programs counting into one
// batch), copies, rules and entry points.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <sstream>

#include "batches/batch_test_support.h"
#include "batches/bk_batch_part.h"
#include "framework/batch/batch.h"
#include "records/files.h"

namespace {

using bktest::FetchBatch;
using bktest::SetTotals;
using bktest::Totals;
constexpr bkBatchPart::TranType kAll = bkBatchPart::kAllTransactions;

tsCurrency C(const char* text) { return tsCurrency::FromText(text); }

// Whether totals are in balance ("count amount posted-count posted-amount"):
// a count of 0 is no count; Balance() always brings them into balance.
TEST(BatchPartTotals, InBalanceSkipsANullControlCount) {
  const std::pair<const char*, bool> cases[] = {
      {"0 25.00 3 25.00", true}, {"0 25.00 3 25.01", false}, {"3 25.00 3 25.00", true}, {"4 25.00 3 25.00", false},
      {"3 0 3 0", true},         {"0 0 0 0", true},          {"2 -5.00 2 -5.00", true},
  };
  for (const auto& [totals, balanced] : cases) {
    bkBatchPart p;
    SetTotals(p, totals);
    EXPECT_EQ(p.InBalance(), balanced) << totals;
    p.Balance();
    EXPECT_TRUE(p.InBalance());
  }
}

TEST(BatchPartTotals, AddRemoveAndChangeMatchAFromScratchSum) {
  std::mt19937 rng(12);
  for (int run = 0; run < 20; ++run) {
    bkBatchPart p;
    std::vector<int64_t> live;  // cents of the transactions entered
    for (int step = 0; step < 300; ++step) {
      const int64_t cents = static_cast<int64_t>(rng() % 2000001) - 1000000;
      const size_t i = live.empty() ? 0 : rng() % live.size();
      const auto amount = [](int64_t c) { return tsCurrency(tsDouble::FromScaled(c, 2)); };
      switch (live.empty() ? 0 : rng() % 3) {
        case 0:
          p.AddTran(kAll, amount(cents));
          live.push_back(cents);
          break;
        case 1:
          p.RemoveTran(kAll, amount(live[i]));
          live.erase(live.begin() + static_cast<long>(i));
          break;
        default:
          p.ChangeTran(kAll, amount(cents - live[i]));
          live[i] = cents;
      }
      const int64_t sum = std::accumulate(live.begin(), live.end(), int64_t{0});
      ASSERT_EQ(p.GetNumberOfTransPosted(), tsDouble(static_cast<int64_t>(live.size())));
      ASSERT_EQ(p.GetAmountOfTransPosted(), tsDouble::FromScaled(sum, 2)) << "run " << run << " step " << step;
    }
  }
}

// The destination's and the totals' little-endian fields of a sub-structure,
// read independently of the code under test: "file dest count amount
// posted-count posted-amount".
std::string Fields(const std::vector<unsigned char>& buf) {
  const auto word = [&](size_t at) { return std::to_string(static_cast<int16_t>(buf[at] | (buf[at + 1] << 8))); };
  std::ostringstream s;
  s << word(0) << " " << word(2);
  for (size_t at : {45u, 53u, 61u, 69u}) {
    uint64_t u = 0;
    for (size_t i = 0; i < 8; ++i) u |= static_cast<uint64_t>(buf[at + i]) << (8 * i);
    char text[32];
    s << " " << std::string_view(text, std::to_chars(text, text + sizeof text, std::bit_cast<double>(u)).ptr);
  }
  return s.str();
}

// A part of file 21 for destination -2 with `totals`, and its sub-structure.
std::vector<unsigned char> SubStruct(const std::string& totals) {
  bkBatchPart a;
  a.SetFileNumber(21);
  a.SetDestFileNumber(-2);
  a.SetDesc("weekly");
  SetTotals(a, totals);
  EXPECT_EQ(a.FillSubStruct(nullptr, 0), 77u);
  std::vector<unsigned char> buf(77, 0xEE);
  EXPECT_EQ(a.FillSubStruct(buf.data(), buf.size()), 77u);
  return buf;
}

// Written (the fields as the numbers given) and read back: the destination
// (SetPart reads only that of the framework part) and the totals, each kept
// with its declared decimals. A buffer too short by any number of bytes, or
// holding a number no total can take, is refused and changes nothing.
TEST(BatchSubStructure, RoundTripsExactlyAndRefusesShortBuffersAndUnacceptableNumbers) {
  const std::pair<std::string, const char*> cases[] = {
      {"0 0 0 0", "0 0.000 0 0.00"},
      {"12 1234.567 11 1234.56", "12 1234.567 11 1234.56"},
      {"32767 9999999999999.99 -3 -9999999999999.99", "32767 9999999999999.990 -3 -9999999999999.99"},
      {"1 0.001 1 0.01", "1 0.001 1 0.01"},
      {"0 -0.1 7 123456789012.34", "0 -0.100 7 123456789012.34"},
  };
  for (const auto& [totals, read] : cases) {
    const std::vector<unsigned char> buf = SubStruct(totals);
    EXPECT_EQ(Fields(buf), "21 -2 " + totals);
    bkBatchPart b;
    b.SetFileNumber(5);
    ASSERT_TRUE(b.SetPart(buf.data(), buf.size())) << totals;
    EXPECT_EQ(std::to_string(b.FileNumber()) + " " + std::to_string(b.DestFileNumber()) + " " + b.Desc() + "|" +
                  Totals(b),
              std::string("5 -2 |") + read);
  }

  const std::vector<unsigned char> buf = SubStruct("0 5 0 0");
  for (size_t size = 0; size < 77; ++size) {
    // Exactly `size` bytes on the heap: a read past them is a sanitizer report.
    std::unique_ptr<unsigned char[]> exact(new unsigned char[size ? size : 1]);
    std::memcpy(exact.get(), buf.data(), size);
    bkBatchPart p;
    EXPECT_FALSE(p.SetPart(exact.get(), size)) << size;
  }
  const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity(), 1e300, -9.3e18, 1e-300, 2.5 /* a count */};
  for (size_t at : {45u, 53u, 61u, 69u}) {
    for (double v : bad) {
      if (v == 2.5 && (at == 53 || at == 69)) continue;  // 2.5 is a fine amount
      std::vector<unsigned char> b = buf;
      const uint64_t u = std::bit_cast<uint64_t>(v);
      for (int i = 0; i < 8; ++i) b[at + i] = static_cast<unsigned char>(u >> (8 * i));
      bkBatchPart p;
      SetTotals(p, "1 1 1 1");
      EXPECT_FALSE(p.SetPart(b.data(), b.size())) << at << " " << v;
      EXPECT_EQ(std::to_string(p.DestFileNumber()) + " " + Totals(p), "0 1 1.000 1 1.00") << "nothing changed";
    }
  }
}

// A company with the module's files and batches of the bank register.
class BatchPartFile : public ::testing::Test {
 protected:
  // A batch of the bank register, "Deposits" of 2026-04-01, with its part.
  std::pair<std::unique_ptr<zzBatch>, bkBatchPart*> NewBatch(const std::string& id,
                                                             zzBatchType type = zzBatchType::kManual) {
    auto b = std::make_unique<zzBatch>("BK", tsAlpha(id), bktest::kSource, type);
    b->SetDesc("Deposits");
    b->SetDate(tsDate(2026, 4, 1));
    auto* part = static_cast<bkBatchPart*>(b->AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part())));
    part->SetFileNumber(co_.bkt->FileNum());
    return {std::move(b), part};
  }

  // The stored batch record's totals, description and date as text; every
  // batch made here ends in kDescAndDate.
  std::string Stored(const char* id) {
    Batch b(*co_.bkt);
    FetchBatch(b, id);
    const BatchData& r = b.m_Record;
    return r.GetCount().Format() + " " + r.GetAmount().Format() + " " + r.GetCountPosted().Format() + " " +
           r.GetAmountPosted().Format() + " " + r.GetDescription().str() + " " + r.GetDate().Format();
  }

  bktest::BankCompany co_;
  const std::string kDescAndDate = " Deposits " + tsDate(2026, 4, 1).Format();
};

// What UpdateInfo writes is the part's totals exactly, whatever the batch
// type (none scales an amount), and reads back exactly; totals that cannot
// be stored exactly are refused and nothing is written (never scaled, cut or
// half-written).
TEST_F(BatchPartFile, TotalsReachTheBatchRecordExactlyOrAreRefused) {
  const struct {
    zzBatchType type;
    std::string entered, posted;  // "count amount", the amount of one transaction posted
    bool stored;
  } cases[] = {
      {zzBatchType::kManual, "3 1234567.89", "12.34", true},
      {zzBatchType::kImported, "2 12.30", "0.07", true},
      {zzBatchType::kImported, "0 9999999999999.99", "-9999999999999.99", true},
      {zzBatchType::kAutomatic, "32767 0.10", "0.01", true},
      {zzBatchType::kImported, "1 12.345", "0.00", false},
      {zzBatchType::kImported, "1 0.005", "0.00", false},
      {zzBatchType::kImported, "32768 10.00", "0.00", false},
      {zzBatchType::kImported, "-40000 10.00", "0.00", false},
      {zzBatchType::kImported, "1 10000000000000.00", "0.00", false},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string id = "B" + std::to_string(++n);
    auto [batch, part] = NewBatch(id, c.type);
    ASSERT_EQ(batch->OpenInfo("BK"), tsioStatus::kSuccess);
    SetTotals(*part, c.entered + " 0 0");
    part->AddTran(kAll, C(c.posted.c_str()));
    EXPECT_EQ(batch->UpdateInfo("BK"), c.stored) << c.entered;
    EXPECT_EQ(Stored(id.c_str()), (c.stored ? c.entered + " 1 " + c.posted : "0 0.00 0 0.00") + kDescAndDate);
    auto [other, again] = NewBatch(id, c.type);
    ASSERT_EQ(other->ReadInfo("BK"), tsioStatus::kSuccess);
    EXPECT_TRUE(!c.stored || Totals(*again) == Totals(*part)) << Totals(*again);
  }
}

TEST_F(BatchPartFile, TwoProgramsCountingIntoOneBatchLoseNothing) {
  auto [batch, part] = NewBatch("B1");
  ASSERT_EQ(batch->OpenInfo("BK"), tsioStatus::kSuccess);
  const std::string folder = co_.fm.Folder();
  // The second program opened the batch before this one counts anything.
  auto other = bktest::ChildProcess::Start([folder] {
    tsioFileManager fm(folder);
    tsioDataFile* bkt = nullptr;
    if (fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess) return 1;
    zzBatch b("BK", tsAlpha("B1"), bktest::kSource);
    auto* p = static_cast<bkBatchPart*>(b.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part())));
    p->SetFileNumber(bkt->FileNum());
    if (b.OpenInfo("BK") != tsioStatus::kSuccess) return 2;
    bktest::ChildProcess::WriteLine("opened");
    bktest::ChildProcess::ReadLine();
    for (const char* amount : {"1.01", "2.02"}) {
      p->AddTran(kAll, C(amount));
      if (!b.UpdateInfo("BK")) return 3;
    }
    bktest::ChildProcess::WriteLine(p->GetNumberOfTransPosted().Format());
    return 0;
  });
  ASSERT_EQ(other.Receive(), "opened");
  for (const char* amount : {"10.00", "20.00", "30.00"}) {
    part->AddTran(kAll, C(amount));
    ASSERT_TRUE(batch->UpdateInfo("BK"));
  }
  other.Send("go");
  EXPECT_EQ(other.Receive(), "5") << "the other program sees both programs' transactions";
  EXPECT_EQ(other.Wait(), 0);
  EXPECT_EQ(Stored("B1"), "0 0.00 5 63.03" + kDescAndDate);
  part->AddTran(kAll, C("1.00"));
  ASSERT_TRUE(batch->UpdateInfo("BK"));
  EXPECT_EQ(Totals(*part), "0 0.000 6 64.03") << "after a write the part holds what is stored";
}

class DepositRules : public bkBatchPartRules {
 public:
  bool IsBatchAcceptableForUse() const override { return Part() && Part()->GetNumberOfTrans() != tsDouble(13); }
  CString Description() const override { return "Deposits"; }
};

class OtherModulesPart : public zzBatchPart {
 public:
  explicit OtherModulesPart(bool* deleted) : zzBatchPart("AP"), deleted_(deleted) {}
  ~OtherModulesPart() override { *deleted_ = true; }

 private:
  bool* deleted_;
};

// The rules are owned by their part: a copy or clone starts with the
// default rules, an assignment keeps the target's (the sanitizer build
// reports a rule deleted twice). The entry points make and delete only the
// module's parts, and make a dialog only for one.
TEST(BatchPart, RulesCopiesAndEntryPoints) {
  bkBatchPart p;
  p.SetBatchPartRules(new DepositRules());
  p.SetNumberOfTrans(13);
  EXPECT_FALSE(p.IsBatchAcceptableForUse()) << "the rules see their part";
  bkBatchPart copy(p), target;
  target.SetBatchPartRules(new DepositRules());
  target = copy;
  EXPECT_EQ(copy.Description() + " " + std::unique_ptr<zzBatchPart>(p.Clone())->Description() + " " +
                target.Description() + " " + target.GetNumberOfTrans().Format(),
            "Transactions Transactions Deposits 13");

  bk_delete_batch_part(bk_new_batch_part());  // the sanitizer build reports a leak otherwise
  bool deleted = false;
  auto other = std::make_unique<OtherModulesPart>(&deleted);
  bk_delete_batch_part(other.get());
  bk_delete_batch_part(nullptr);
  EXPECT_FALSE(deleted);
  zzBatch batch("BK", tsAlpha("B1"), 1);
  EXPECT_EQ(bk_full_batch_dlg(&batch, false, other.get(), 0), nullptr) << "a dialog only for the module's part";
}

}  // namespace
