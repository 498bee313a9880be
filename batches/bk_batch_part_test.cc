// The bank register's batch part: control totals against a from-scratch
// sum, the sub-structure over its exact bytes and against hostile buffers,
// exact totals in the batch record (and two programs counting into one
// batch), fully-posted and empty batches, copies, rules and entry points.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "batches/batch_test_support.h"
#include "batches/bk_batch_part.h"
#include "batches/bk_batch_sub_struct.h"
#include "framework/batch/batch.h"
#include "framework/io/faults.h"
#include "framework/io/rollback_stack.h"
#include "records/files.h"
#include "records/transaction_data.h"

namespace {

using bktest::AddBatch;
using bktest::FetchBatch;
using TT = bkBatchPart::TranType;
constexpr TT kAll = bkBatchPart::kAllTransactions;

tsDouble D(const char* text) { return tsDouble::FromText(text); }
tsCurrency C(const char* text) { return tsCurrency::FromText(text); }

TEST(BatchPartTotals, InBalanceSkipsANullControlCount) {
  const struct {
    const char *count, *amount, *posted_count, *posted_amount;
    bool balanced;
  } cases[] = {
      {"0", "25.00", "3", "25.00", true},   // no count given: amounts only
      {"0", "25.00", "3", "25.01", false},
      {"3", "25.00", "3", "25.00", true},
      {"4", "25.00", "3", "25.00", false},
      {"3", "0", "3", "0", true},
      {"0", "0", "0", "0", true},
      {"2", "-5.00", "2", "-5.00", true},
  };
  for (const auto& c : cases) {
    bkBatchPart p;
    p.SetNumberOfTrans(D(c.count));
    p.SetAmountOfTrans(D(c.amount));
    p.SetNumberOfTransPosted(D(c.posted_count));
    p.SetAmountOfTransPosted(D(c.posted_amount));
    EXPECT_EQ(p.InBalance(), c.balanced) << c.count << " " << c.amount;
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
      const int what = static_cast<int>(rng() % 3);
      if (what == 0 || live.empty()) {
        p.AddTran(kAll, tsCurrency(tsDouble::FromScaled(cents, 2)));
        live.push_back(cents);
      } else if (what == 1) {
        const size_t i = rng() % live.size();
        p.RemoveTran(kAll, tsCurrency(tsDouble::FromScaled(live[i], 2)));
        live.erase(live.begin() + static_cast<long>(i));
      } else {
        const size_t i = rng() % live.size();
        p.ChangeTran(kAll, tsCurrency(tsDouble::FromScaled(cents - live[i], 2)));
        live[i] = cents;
      }
      int64_t sum = 0;
      for (int64_t c : live) sum += c;
      ASSERT_EQ(p.GetNumberOfTransPosted(), tsDouble(static_cast<int64_t>(live.size())));
      ASSERT_EQ(p.GetAmountOfTransPosted(), tsDouble::FromScaled(sum, 2)) << "run " << run << " step " << step;
    }
  }
}

// Little-endian fields read back independently of the code under test.
double LeDouble(const unsigned char* p) {
  uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u |= static_cast<uint64_t>(p[i]) << (8 * i);
  return std::bit_cast<double>(u);
}
int LeWord(const unsigned char* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

TEST(BatchSubStructure, RoundTripsTheFourTotalsAndTheDestinationOverTheExactBytes) {
  const struct {
    const char *count, *amount, *posted_count, *posted_amount;
  } cases[] = {
      {"0", "0", "0", "0"},
      {"12", "1234.567", "11", "1234.56"},
      {"32767", "9999999999999.99", "-3", "-9999999999999.99"},
      {"1", "0.001", "1", "0.01"},
      {"0", "-0.1", "7", "123456789012.34"},
  };
  for (const auto& c : cases) {
    bkBatchPart a;
    a.SetFileNumber(21);
    a.SetDestFileNumber(-2);
    a.SetDesc("weekly");
    a.SetNumberOfTrans(D(c.count));
    a.SetAmountOfTrans(D(c.amount));
    a.SetNumberOfTransPosted(D(c.posted_count));
    a.SetAmountOfTransPosted(D(c.posted_amount));
    ASSERT_EQ(a.FillSubStruct(nullptr, 0), 77u);
    std::vector<unsigned char> buf(77, 0xEE);
    ASSERT_EQ(a.FillSubStruct(buf.data(), buf.size()), 77u);
    EXPECT_EQ(LeWord(&buf[0]), 21);
    EXPECT_EQ(LeWord(&buf[2]), -2);
    EXPECT_EQ(LeDouble(&buf[45]), std::stod(c.count));
    EXPECT_EQ(LeDouble(&buf[53]), std::stod(c.amount));
    EXPECT_EQ(LeDouble(&buf[61]), std::stod(c.posted_count));
    EXPECT_EQ(LeDouble(&buf[69]), std::stod(c.posted_amount));

    bkBatchPart b;
    b.SetFileNumber(5);
    ASSERT_TRUE(b.SetPart(buf.data(), buf.size())) << c.amount;
    EXPECT_EQ(b.DestFileNumber(), -2);
    EXPECT_EQ(b.FileNumber(), 5) << "SetPart reads only the destination of the framework part";
    EXPECT_EQ(b.Desc(), "");
    EXPECT_EQ(b.GetNumberOfTrans(), D(c.count));
    EXPECT_EQ(b.GetAmountOfTrans(), D(c.amount));
    EXPECT_EQ(b.GetNumberOfTransPosted(), D(c.posted_count));
    EXPECT_EQ(b.GetAmountOfTransPosted(), D(c.posted_amount));
    EXPECT_EQ(b.GetAmountOfTrans().Decimals(), 3) << "the totals keep their declared decimals";
    EXPECT_EQ(b.GetAmountOfTransPosted().Decimals(), 2);
  }
}

TEST(BatchSubStructure, RefusesShortBuffersAndUnacceptableNumbersChangingNothing) {
  bkBatchPart good;
  good.SetDestFileNumber(9);
  good.SetAmountOfTrans(D("5"));
  std::vector<unsigned char> buf(77);
  good.FillSubStruct(buf.data(), buf.size());
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
      const bool count = at == 45 || at == 61;
      if (v == 2.5 && !count) continue;  // 2.5 is a fine amount
      std::vector<unsigned char> b = buf;
      const uint64_t u = std::bit_cast<uint64_t>(v);
      for (int i = 0; i < 8; ++i) b[at + i] = static_cast<unsigned char>(u >> (8 * i));
      bkBatchPart p;
      p.SetAmountOfTrans(D("1"));
      EXPECT_FALSE(p.SetPart(b.data(), b.size())) << at << " " << v;
      EXPECT_EQ(p.GetAmountOfTrans(), D("1")) << "nothing changed";
      EXPECT_EQ(p.DestFileNumber(), 0);
    }
  }
  // A description without its NUL is never read.
  std::vector<unsigned char> b = buf;
  std::memset(b.data() + 8, 'x', 31);
  bkBatchPart p;
  EXPECT_TRUE(p.SetPart(b.data(), b.size()));
  EXPECT_EQ(p.DestFileNumber(), 9);
}

// A company with the module's files and a batch "B1" of the bank register.
class BatchPartFile : public ::testing::Test {
 protected:
  void TearDown() override { tsioFaults::Clear(); }

  std::unique_ptr<zzBatch> NewBatch(const char* id, bkBatchPart** part, zzBatchType type = zzBatchType::kManual) {
    auto b = std::make_unique<zzBatch>("BK", tsAlpha(id), bktest::kSource, type);
    b->SetDesc("Deposits");
    b->SetDate(tsDate(2026, 4, 1));
    *part = static_cast<bkBatchPart*>(b->AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part())));
    (*part)->SetFileNumber(co_.bkt->FileNum());
    return b;
  }

  BatchData Stored(const char* id) {
    Batch b(*co_.bkt);
    FetchBatch(b, id);
    return BatchData(b.m_Record);
  }

  bktest::BankCompany co_;
};

TEST_F(BatchPartFile, TotalsReachTheBatchRecordExactlyAndComeBackExactly) {
  const struct {
    zzBatchType type;
    const char *count, *amount, *posted;
  } cases[] = {
      {zzBatchType::kManual, "3", "1234567.89", "12.34"},
      {zzBatchType::kImported, "2", "12.30", "0.07"},  // no batch type scales an amount
      {zzBatchType::kImported, "0", "9999999999999.99", "-9999999999999.99"},
      {zzBatchType::kAutomatic, "32767", "0.10", "0.01"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string id = "B" + std::to_string(++n);
    bkBatchPart* part = nullptr;
    auto batch = NewBatch(id.c_str(), &part, c.type);
    ASSERT_EQ(batch->OpenInfo("BK"), tsioStatus::kSuccess);
    EXPECT_EQ(part->RecordCreated(), 1);
    part->SetNumberOfTrans(D(c.count));
    part->SetAmountOfTrans(D(c.amount));
    part->AddTran(kAll, C(c.posted));
    ASSERT_TRUE(batch->UpdateInfo("BK")) << id;
    const BatchData stored = Stored(id.c_str());
    EXPECT_EQ(stored.GetCount().Value(), std::stoi(c.count));
    EXPECT_EQ(stored.GetAmount(), C(c.amount)) << id;
    EXPECT_EQ(stored.GetCountPosted().Value(), 1);
    EXPECT_EQ(stored.GetAmountPosted(), C(c.posted));
    EXPECT_EQ(stored.GetDescription(), "Deposits");
    EXPECT_EQ(stored.GetDate(), tsDate(2026, 4, 1));

    bkBatchPart* again = nullptr;
    auto other = NewBatch(id.c_str(), &again, c.type);
    ASSERT_EQ(other->ReadInfo("BK"), tsioStatus::kSuccess);
    EXPECT_EQ(again->GetNumberOfTrans(), D(c.count));
    EXPECT_EQ(again->GetAmountOfTrans(), D(c.amount));
    EXPECT_EQ(again->GetNumberOfTransPosted(), tsDouble(1));
    EXPECT_EQ(again->GetAmountOfTransPosted(), D(c.posted));
  }
}

TEST_F(BatchPartFile, AmountsThatCannotBeStoredExactlyAreRefusedAndNothingIsWritten) {
  bkBatchPart* part = nullptr;
  auto batch = NewBatch("B1", &part, zzBatchType::kImported);
  part->SetAmountOfTrans(D("10.00"));
  ASSERT_EQ(batch->OpenInfo("BK"), tsioStatus::kSuccess);
  const struct {
    const char* amount;
    const char* count;
  } refused[] = {{"12.345", "1"}, {"0.005", "1"}, {"10.00", "32768"}, {"10.00", "-40000"},
                 {"10000000000000.00", "1"}};
  for (const auto& r : refused) {
    part->SetAmountOfTrans(D(r.amount));
    part->SetNumberOfTrans(D(r.count));
    EXPECT_FALSE(batch->UpdateInfo("BK")) << r.amount << " " << r.count;
    EXPECT_EQ(Stored("B1").GetAmount(), C("10.00")) << "never scaled, cut or half-written";
    EXPECT_EQ(Stored("B1").GetCount().Value(), 0);
  }
}

TEST_F(BatchPartFile, TwoProgramsCountingIntoOneBatchLoseNothing) {
  bkBatchPart* part = nullptr;
  auto batch = NewBatch("B1", &part);
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
  const BatchData stored = Stored("B1");
  EXPECT_EQ(stored.GetCountPosted().Value(), 5);
  EXPECT_EQ(stored.GetAmountPosted(), C("63.03"));
  part->AddTran(kAll, C("1.00"));
  ASSERT_TRUE(batch->UpdateInfo("BK"));
  EXPECT_EQ(part->GetNumberOfTransPosted(), tsDouble(6)) << "after a write the part holds what is stored";
  EXPECT_EQ(part->GetAmountOfTransPosted(), D("64.03"));
}

TEST_F(BatchPartFile, FullyPostedOnlyForAFoundBatchWhoseCountsAreCleared) {
  AddBatch(*co_.bkt, "OPEN", 3, "30.00", 1, "10.00");
  AddBatch(*co_.bkt, "POSTED", 0, "0", 0, "0");
  AddBatch(*co_.bkt, "POSTEDX", 0, "0", 2, "0");
  const struct {
    const char* id;
    bool posted;
  } cases[] = {{"MISSING", false}, {"OPEN", false}, {"POSTED", true}, {"POSTEDX", false}, {"POST", false}};
  for (const auto& c : cases) {
    bkBatchPart* part = nullptr;
    auto batch = NewBatch(c.id, &part);
    EXPECT_EQ(part->IsBatchFullyPosted(), c.posted) << c.id << " (batch file)";
    ASSERT_EQ(part->SetRegisterFile(co_.bkt->Info()), tsioStatus::kSuccess);
    EXPECT_EQ(part->IsBatchFullyPosted(), c.posted) << c.id << " (register file)";
    EXPECT_EQ(part->IsBatchFullyPosted(), c.posted) << c.id << " (again, same cursor)";
    part->CloseRegisterFile();
  }
  // Without a batch id the key comes from the batch file's current record.
  bkBatchPart anonymous;
  anonymous.SetFileNumber(co_.bkt->FileNum());
  Batch cur(*co_.bkt);
  FetchBatch(cur, "POSTED");
  EXPECT_TRUE(anonymous.IsBatchFullyPosted());
  FetchBatch(cur, "OPEN");
  EXPECT_FALSE(anonymous.IsBatchFullyPosted());
  // A read that fails is never "fully posted".
  bkBatchPart* part = nullptr;
  auto batch = NewBatch("POSTED", &part);
  tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kDamaged);
  EXPECT_FALSE(part->IsBatchFullyPosted());
  tsioFaults::Clear();
  part->SetFileNumber(0);
  EXPECT_FALSE(part->IsBatchFullyPosted()) << "no file";
  EXPECT_NE(part->SetRegisterFile(tsioFileInfo(co_.fm.Folder(), tsioFileSpec("BKT", 9, 221))), tsioStatus::kSuccess);
  EXPECT_FALSE(part->IsBatchFullyPosted());
}

TEST_F(BatchPartFile, FullyPostedAnswersFromTheStoredRecordWhileAnotherProgramHoldsIt) {
  AddBatch(*co_.bkt, "POSTED");
  AddBatch(*co_.bkt, "OPEN", 2, "5.00");
  const std::string folder = co_.fm.Folder();
  auto other = bktest::ChildProcess::Start([folder] {
    tsioFileManager fm(folder);
    tsioDataFile* bkt = nullptr;
    if (fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess) return 1;
    // Holds both batch records locked, and changes POSTED inside a unit of
    // work it has not committed.
    Batch a(*bkt), b(*bkt);
    FetchBatch(b, "OPEN");
    if (b.Lock() != tsioStatus::kSuccess) return 2;
    tclRollbackStack unit;
    a.AttachRollbackStack(&unit);
    FetchBatch(a, "POSTED");
    if (a.Lock() != tsioStatus::kSuccess) return 3;
    a.m_Record.SetCount(9);
    if (a.Update() != tsioStatus::kSuccess) return 4;
    bktest::ChildProcess::WriteLine("holding");
    bktest::ChildProcess::ReadLine();
    return 0;
  });
  ASSERT_EQ(other.Receive(), "holding");
  for (const auto& [id, posted] : {std::pair{"POSTED", true}, std::pair{"OPEN", false}}) {
    bkBatchPart* part = nullptr;
    auto batch = NewBatch(id, &part);
    EXPECT_EQ(part->IsBatchFullyPosted(), posted) << id << ": the committed record decides, nothing waits";
  }
  other.Send("end");
  EXPECT_EQ(other.Wait(), 0);
}

TEST_F(BatchPartFile, NoTransactionsLooksAtTransactionsAndCashDetailsAndNeverGuessesEmpty) {
  const struct {
    const char* id;
    void (*add)(tsioDataFile&, const char*, int);
    bool none;
  } cases[] = {
      {"EMPTY", nullptr, true},
      {"TRAN", [](tsioDataFile& f, const char* b, int s) { bktest::AddTransaction(f, b, s); }, false},
      {"CASH", bktest::AddCashDetail, false},
      {"TAXGL", bktest::AddTaxGLDetail, true},  // tax GL details are not looked at
  };
  int seq = 0;
  for (const auto& c : cases) {
    if (c.add) c.add(*co_.bkt, c.id, ++seq);
    bkBatchPart* part = nullptr;
    auto batch = NewBatch(c.id, &part);
    EXPECT_EQ(part->NoTransactions(), c.none) << c.id;
  }
  // (A read that fails is never "no transactions": the framework's
  // TranExistsAnswersTrueWhenItCannotTell.)
}

class DepositRules : public bkBatchPartRules {
 public:
  bool IsBatchAcceptableForUse() const override { return Part() && Part()->GetNumberOfTrans() != tsDouble(13); }
  CString Description() const override { return "Deposits"; }
};

// The rules are owned by their part: a copy or clone starts with the
// default rules, an assignment keeps the target's (the sanitizer build
// reports a rule deleted twice).
TEST(BatchPart, RulesAnswerTheQuestionsAndCopiesKeepTheirOwn) {
  bkBatchPart p;
  p.SetBatchPartRules(new DepositRules());
  p.SetNumberOfTrans(13);
  EXPECT_FALSE(p.IsBatchAcceptableForUse()) << "the rules see their part";
  bkBatchPart copy(p);
  EXPECT_EQ(copy.Description(), "Transactions");
  EXPECT_EQ(copy.GetNumberOfTrans(), tsDouble(13));
  EXPECT_EQ(std::unique_ptr<zzBatchPart>(p.Clone())->Description(), "Transactions");
  bkBatchPart target;
  target.SetBatchPartRules(new DepositRules());
  target = copy;
  EXPECT_EQ(target.Description(), "Deposits");
  EXPECT_EQ(target.GetNumberOfTrans(), tsDouble(13));
}

class OtherModulesPart : public zzBatchPart {
 public:
  explicit OtherModulesPart(bool* deleted) : zzBatchPart("AP"), deleted_(deleted) {}
  ~OtherModulesPart() override { *deleted_ = true; }

 private:
  bool* deleted_;
};

TEST(BatchPart, EntryPointsMakeAndDeleteOnlyTheModulesParts) {
  zzBatchPart* mine = bk_new_batch_part();
  ASSERT_NE(dynamic_cast<bkBatchPart*>(mine), nullptr);
  bk_delete_batch_part(mine);  // the sanitizer build reports a leak otherwise
  bool deleted = false;
  auto* other = new OtherModulesPart(&deleted);
  bk_delete_batch_part(other);
  EXPECT_FALSE(deleted);
  delete other;
  EXPECT_TRUE(deleted);
  bk_delete_batch_part(nullptr);
  zzBatch batch("BK", tsAlpha("B1"), 1);
  OtherModulesPart not_mine(&deleted);
  EXPECT_EQ(bk_full_batch_dlg(&batch, false, &not_mine, 0), nullptr) << "a dialog only for the module's part";
}

}  // namespace
