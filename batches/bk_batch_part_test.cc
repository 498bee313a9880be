// The bank register's batch part: control totals against a from-scratch
// sum, whether totals are in balance, the sub-structure over its exact bytes
// and against hostile buffers, exact totals in the batch record (and two
// programs counting into one batch), copies, rules and entry points; its
// batch dialog (the library's template 1111) driven as a person would,
// headless.
//
// Batch records and what is asked of them: clearing the totals of a posted
// batch, empty batches and their deletion (batch.h), and the bank register
// part's fully-posted and no-transactions answers (bk_batch_part.h), over
// one company's batches, with reads that fail and a second program holding
// records.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <tuple>

#include "batches/batch_test_support.h"
#include "batches/bk_batch_dlg.h"
#include "framework/batch/batch.h"
#include "framework/io/faults.h"
#include "framework/io/rollback_stack.h"
#include "records/files.h"

namespace {

using bktest::SetTotals;
using bktest::Totals;
constexpr bkBatchPart::TranType kAll = bkBatchPart::kAllTransactions;

tsCurrency C(const char* text) { return tsCurrency::FromText(text); }

TEST(BatchPartTotals, AddRemoveAndChangeMatchAFromScratchSum) {
  std::mt19937 rng(12);
  for (int run = 0; run < 20; ++run) {
    bkBatchPart p;
    std::vector<int64_t> live;  // cents of the transactions entered
    for (int step = 0; step < 300; ++step) {
      const int64_t cents = static_cast<int64_t>(rng() % 2000001) - 1000000;
      const size_t i = live.empty() ? 0 : rng() % live.size();
      const auto amount = [](int64_t c) { return tsCurrency(tsDouble::FromScaled(c, 2)); };
      const unsigned op = live.empty() ? 0 : rng() % 3;
      if (op == 0) {
        p.AddTran(kAll, amount(cents));
        live.push_back(cents);
      } else if (op == 1) {
        p.RemoveTran(kAll, amount(live[i]));
        live.erase(live.begin() + static_cast<long>(i));
      } else {
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

// Per set of totals ("count amount posted-count posted-amount"): whether
// they are in balance (a count of 0 is no count; Balance() always brings
// them into balance), and a part of file 21 for destination -2 written as
// its sub-structure (the fields as the numbers given) and read back: the
// destination (SetPart reads only that of the framework part) and the
// totals, each kept with its declared decimals. A buffer too short by any
// number of bytes, or holding a number no total can take, is refused and
// changes nothing.
TEST(BatchPartTotals, BalanceAndTheSubStructureRoundTripExactlyAndRefuseShortBuffersAndUnacceptableNumbers) {
  const std::tuple<const char*, const char*, bool> cases[] = {  // totals, as read back, in balance
      {"0 25 3 25", "0 25.000 3 25.00", true}, {"0 25 3 25.01", "0 25.000 3 25.01", false},
      {"3 25 3 25", "3 25.000 3 25.00", true}, {"4 25 3 25", "4 25.000 3 25.00", false},
      {"2 -5 2 -5", "2 -5.000 2 -5.00", true}, {"0 0 0 0", "0 0.000 0 0.00", true},
      {"12 1234.567 11 1234.56", "12 1234.567 11 1234.56", false},
      {"32767 9999999999999.99 -3 -9999999999999.99", "32767 9999999999999.990 -3 -9999999999999.99", false},
      {"1 0.001 1 0.01", "1 0.001 1 0.01", false}, {"0 -0.1 7 123456789012.34", "0 -0.100 7 123456789012.34", false},
  };
  std::vector<unsigned char> buf(77);
  for (const auto& [totals, read, balanced] : cases) {
    bkBatchPart a;
    a.SetFileNumber(21);
    a.SetDestFileNumber(-2);
    a.SetDesc("weekly");
    SetTotals(a, totals);
    EXPECT_EQ(a.InBalance(), balanced) << totals;
    std::fill(buf.begin(), buf.end(), 0xEE);
    EXPECT_EQ(a.FillSubStruct(nullptr, 0) + a.FillSubStruct(buf.data(), buf.size()), 2 * 77u);
    EXPECT_EQ(Fields(buf), "21 -2 " + std::string(totals));
    a.Balance();
    EXPECT_TRUE(a.InBalance());
    bkBatchPart b;
    b.SetFileNumber(5);
    ASSERT_TRUE(b.SetPart(buf.data(), buf.size())) << totals;
    EXPECT_EQ(
        std::to_string(b.FileNumber()) + " " + std::to_string(b.DestFileNumber()) + " " + b.Desc() + "|" + Totals(b),
        std::string("5 -2 |") + read);
  }
  for (size_t size = 0; size < 77; ++size) {
    // Exactly `size` bytes on the heap: a read past them is a sanitizer report.
    std::unique_ptr<unsigned char[]> exact(new unsigned char[size ? size : 1]);
    std::memcpy(exact.get(), buf.data(), size);
    EXPECT_FALSE(bkBatchPart().SetPart(exact.get(), size)) << size;
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

// Adds the bank register's part over `bkt` to `batch`.
bkBatchPart* AddPart(zzBatch& batch, const tsioDataFile& bkt) {
  auto* part = static_cast<bkBatchPart*>(batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part())));
  part->SetFileNumber(bkt.FileNum());
  return part;
}

// The totals of the stored batch record `id`, as Totals() shows a part's.
std::string Stored(const tsioDataFile& bkt, const std::string& id) {
  Batch b(bkt);
  bktest::FetchBatch(b, id.c_str());
  const BatchData& r = b.m_Record;
  return r.GetCount().Format() + " " + r.GetAmount().Format() + " " + r.GetCountPosted().Format() + " " +
         r.GetAmountPosted().Format();
}

// What UpdateInfo writes is the part's totals exactly, whatever the batch
// type (none scales an amount), and reads back exactly; totals that cannot
// be stored exactly are refused and nothing is written (never scaled, cut or
// half-written).
TEST(BatchPartFile, TotalsReachTheBatchRecordExactlyOrAreRefused) {
  bktest::BankCompany co;
  // The batch type, "count amount" entered, the amount of one transaction
  // posted, and whether the totals can be stored.
  const std::tuple<zzBatchType, std::string, std::string, bool> cases[] = {
      {zzBatchType::kManual, "3 1234567.89", "12.34", true}, {zzBatchType::kImported, "2 12.30", "0.07", true},
      {zzBatchType::kImported, "0 9999999999999.99", "-9999999999999.99", true},
      {zzBatchType::kAutomatic, "32767 0.10", "0.01", true}, {zzBatchType::kImported, "1 12.345", "0.00", false},
      {zzBatchType::kImported, "1 0.005", "0.00", false}, {zzBatchType::kImported, "32768 10.00", "0.00", false},
      {zzBatchType::kImported, "-40000 10.00", "0.00", false},
      {zzBatchType::kImported, "1 10000000000000.00", "0.00", false},
  };
  for (const auto& c : cases) {
    const auto& [type, entered, posted, stored] = c;
    const std::string id = "B" + std::to_string(&c - cases);
    zzBatch batch("BK", tsAlpha(id), bktest::kSource, type), again("BK", tsAlpha(id), bktest::kSource, type);
    bkBatchPart *part = AddPart(batch, *co.bkt), *read = AddPart(again, *co.bkt);
    ASSERT_EQ(batch.OpenInfo("BK"), tsioStatus::kSuccess);
    SetTotals(*part, entered + " 0 0");
    part->AddTran(kAll, C(posted.c_str()));
    EXPECT_EQ(batch.UpdateInfo("BK"), stored) << entered;
    EXPECT_EQ(Stored(*co.bkt, id), stored ? entered + " 1 " + posted : "0 0.00 0 0.00");
    ASSERT_EQ(again.ReadInfo("BK"), tsioStatus::kSuccess);
    EXPECT_TRUE(!stored || Totals(*read) == Totals(*part)) << Totals(*read);
  }
}

TEST(BatchPartFile, TwoProgramsCountingIntoOneBatchLoseNothing) {
  bktest::BankCompany co;
  zzBatch batch("BK", tsAlpha("B1"), bktest::kSource);
  bkBatchPart* part = AddPart(batch, *co.bkt);
  ASSERT_EQ(batch.OpenInfo("BK"), tsioStatus::kSuccess);
  // The second program opened the batch before this one counts anything.
  auto other = bktest::ChildProcess::Start([folder = co.fm.Folder()] {
    tsioFileManager fm(folder);
    tsioDataFile* bkt = nullptr;
    if (fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess) return 1;
    zzBatch b("BK", tsAlpha("B1"), bktest::kSource);
    bkBatchPart* p = AddPart(b, *bkt);
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
    ASSERT_TRUE(batch.UpdateInfo("BK"));
  }
  other.Send("go");
  EXPECT_EQ(other.Receive(), "5") << "the other program sees both programs' transactions";
  EXPECT_EQ(other.Wait(), 0);
  part->AddTran(kAll, C("1.00"));
  ASSERT_TRUE(batch.UpdateInfo("BK"));
  EXPECT_EQ(Totals(*part), "0 0.000 6 64.03") << "after a write the part holds what is stored";
}

// Deposits' rules: a control count of 13 is not acceptable.
class DepositRules : public bkBatchPartRules {
 public:
  bool IsBatchAcceptableForUse() const override { return Part() && Part()->GetNumberOfTrans() != tsDouble(13); }
  CString Description() const override { return "Deposits"; }
};

// The rules are owned by their part: a copy or clone starts with the
// default rules, an assignment keeps the target's (the sanitizer build
// reports a rule deleted twice). The entry points make and delete only the
// module's parts (deleting another module's part, here on the stack, would
// abort), and make a dialog only for one.
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
  zzBatchPart other("AP");
  bk_delete_batch_part(&other);
  bk_delete_batch_part(nullptr);
  zzBatch batch("BK", tsAlpha("B1"), 1);
  EXPECT_EQ(bk_full_batch_dlg(&batch, false, &other, 0), nullptr) << "a dialog only for the module's part";
}

// The dialog shows the user's terms and the part's, makes the library the
// resource module while it lives, moves typed totals to the part through
// their formatters and shows what remains; OK takes it into the batch.
// Static batch information is shown at once; Cancel puts the part's totals
// back and the part keeps its own rules. The dialog is over batch B1 and a
// part of deposits of which 2 (150.25) are posted, the user calling a batch
// a "Bundle".
TEST(BatchDialog, TypedTotalsReachThePartOkKeepsThemAndCancelPutsThemBack) {
  tsString::SetCustomDescription("<1I>", "Bundle");
  zzBatch batch("BK", tsAlpha("B1"), 2);
  bkBatchPart part;
  part.SetBatchPartRules(new DepositRules());
  SetTotals(part, "0 0 2 150.25");
  const auto open = [&](bool info_static) {
    std::unique_ptr<bkBatchDlg> d(static_cast<bkBatchDlg*>(bk_full_batch_dlg(&batch, info_static, &part, 42)));
    EXPECT_EQ(d->Parent(), TSGetApp()->ParentWindow());
    EXPECT_TRUE(d->Create());
    return d;
  };
  // The part's totals, then what the count, amount, remaining count and
  // remaining amount fields show.
  const auto shown = [&](bkBatchDlg& d) {
    std::string s = Totals(part) + " =";
    for (int field : {7001, 7002, 7004, 7003}) s += " " + d.GetDlgItemText(field) + ";";
    return s;
  };
  // Types `text` into `field` and moves on: what is shown then.
  const auto type = [&](bkBatchDlg& d, int field, const char* text) {
    EXPECT_TRUE(d.SetFocus(field));
    d.TypeText(text);
    EXPECT_TRUE(d.SetFocus(field == 7001 ? 7002 : 7001));
    return shown(d);
  };
  tsSetResourceModule("someone");
  auto d = open(false);
  EXPECT_EQ(tsGetResourceModule(), kBkResourceModule);
  EXPECT_EQ(d->GetDlgItemText(7009) + "|" + d->GetDlgItemText(7005) + "|" + d->BatchAccessKey(),
            "Bundle|&Number of Deposits:|NA");
  // Without static information the dialog starts from empty figures, and
  // shows no remaining figures until the batch information is.
  EXPECT_EQ(shown(*d), "0 0.000 2 150.25 = ; 0.00; ; ;");
  EXPECT_EQ(type(*d, 7001, "5"), "5 0.000 2 150.25 = 5; 0.00; 3; -150.25;");
  // The part's total keeps its declared decimals.
  EXPECT_EQ(type(*d, 7002, "1000.5"), "5 1000.500 2 150.25 = 5; 1000.50; 3; 850.25;");
  // Text the formatter refuses never reaches the part: the field shows the part's figure again.
  EXPECT_EQ(type(*d, 7001, "12.5"), "5 1000.500 2 150.25 = 5; 1000.50; 3; 850.25;");
  // A count left empty is no count: nothing remains to show for it.
  EXPECT_EQ(type(*d, 7001, ""), "0 1000.500 2 150.25 = 0; 1000.50; ; 850.25;");
  SetTotals(part, "0 1000.50 0 1000.50");
  d->SetFocus(zzBatchDlg::kDescriptionEdit);
  d->TypeText("Lockbox");
  EXPECT_TRUE(d->Click(kTsIdOk));
  EXPECT_EQ(batch.Desc() + " " + Totals(part), "Lockbox 0 1000.500 0 1000.50");
  d.reset();
  EXPECT_EQ(tsGetResourceModule(), "someone") << "put back when the dialog goes";
  tsSetResourceModule("");

  SetTotals(part, "4 300 2 150.25");
  d = open(true);
  EXPECT_EQ(shown(*d) + " " + d->GetDlgItemText(zzBatchDlg::kBatchCombo),
            "4 300.000 2 150.25 = 4; 300.00; 2; 149.75; B1");
  EXPECT_EQ(type(*d, 7001, "9"), "9 300.000 2 150.25 = 9; 300.00; 7; 149.75;");
  EXPECT_TRUE(d->Click(kTsIdCancel));
  EXPECT_EQ(Totals(part) + " " + part.Description(), "4 300.000 2 150.25 Deposits");
  tsString::ResetCustomDescriptions();
}

using bkdetailtest::Put;
using bktest::FetchBatch;

// Each batch of the company: its totals (the batch record's columns, nullptr
// for no record) and its members in bank account CHK, one letter each: T a
// posted transaction, t an open one, c a cash detail, g a tax GL detail.
// Members of "other" belong to no stored batch.
constexpr const char* kSome = "BCNT=3;BAMT=30.00;BCNTP=2;BAMTP=20.00";
constexpr const char* kBatches[][3] = {
    {"none", kSome, ""}, {"all", kSome, "TTT"}, {"oneopen", kSome, "TtT"}, {"onlyopen", kSome, "t"},
    {"cash", "BCNT=0", "c"}, {"taxgl", "BCNT=0", "g"}, {"POSTED", "BCNT=0", ""}, {"POSTEDX", "BCNTP=2", ""},
    {"other", nullptr, "tcg"},
};
// The transaction of batch "onlyopen" (members are numbered in the order above).
constexpr const char kOnlyOpenMember[] = "TBNKACC=CHK;TRUN=1;TSEQ=7";

class BatchRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    int seq = 0;
    for (const auto& [id, totals, members] : kBatches) {
      if (totals != nullptr) Put<Batch>(*co_.bkt, bktest::BatchKey(id) + ";" + totals);
      for (const char* m = members; *m != 0; ++m) {
        const std::string n = std::to_string(++seq), batch = id;
        if (*m == 'c') {
          Put<CashDetail>(*co_.bkt, "CDBNKAC=CHK;CDTRUN=1;CDRUN=1;CDSEQ=1;CDAPP=BK;CDSORCE=2;CDTSEQ=" + n +
                                        ";CDBATCH=" + batch);
        } else if (*m == 'g') {
          Put<TaxGLDetail>(*co_.bkt, "TGBNKAC=CHK;TGRUN=1;TGTXRUN=1;TGTXSEQ=1;TGAPPL=BK;TGSRC=2;TGSEQ=" + n +
                                         ";TGBATCH=" + batch);
        } else {
          Put<Transaction>(*co_.bkt, "TBNKACC=CHK;TRUN=1;TADD=10.00;TAPPL=BK;TSOURCE=2;TSEQ=" + n + ";TBATCH=" +
                                         batch + ";TPOSTED=" + (*m == 'T' ? "1" : "0"));
        }
      }
    }
  }
  void TearDown() override { tsioFaults::Clear(); }

  // Runs `op` on batch `id` with its `nth` read failing (0: none) and
  // answers what it said.
  template <typename Op>
  std::string On(const char* id, int nth, Op op, tsioStatus::Status fault = tsioStatus::kDamaged) {
    Batch b(*co_.bkt);
    FetchBatch(b, id);
    if (nth > 0) tsioFaults::Arm(tsioOp::kFetch, fault, nth);
    const std::string said = op(b);
    tsioFaults::Clear();
    return said;
  }
  // The register part of batch `id` ("" for none) over the batch file.
  bkBatchPart Part(const char* id) {
    bkBatchPart p;
    p.SetHostAppl("BK");
    p.SetBatchID(tsAlpha(id));
    p.SetSource(bktest::kSource);
    p.SetFileNumber(co_.bkt->FileNum());
    return p;
  }
  // Whether batch `id` is fully posted, read from the batch file, from the
  // register file, then again from it.
  std::string FullyPosted(const char* id) {
    bkBatchPart p = Part(id);
    std::string s = std::to_string(p.IsBatchFullyPosted());
    EXPECT_EQ(p.SetRegisterFile(co_.bkt->Info()), tsioStatus::kSuccess);
    return s + std::to_string(p.IsBatchFullyPosted()) + std::to_string(p.IsBatchFullyPosted());
  }
  // Every stored batch as "id:count", in key order.
  std::string Stored() {
    Batch b(*co_.bkt);
    std::string s;
    for (auto st = b.FetchFirst(false); st == tsioStatus::kSuccess; st = b.FetchNext(false)) {
      s += b.m_Record.GetBatch().str() + ":" + b.m_Record.GetCount().Format() + " ";
    }
    return s;
  }

  bktest::BankCompany co_;
};

const auto kClear = [](Batch& b) {
  const bool cleared = b.ClearAmountsIfPosted();
  return std::to_string(cleared) + " " + b.m_Record.GetCount().Format() + " " +
         b.m_Record.GetAmountPosted().Format();
};
const auto kEmpty = [](Batch& b) { return std::to_string(b.IsEmpty()); };
const auto kDelete = [](Batch& b) { return std::to_string(b.deleteIfEmpty()); };

// Only a batch whose every transaction is posted has its totals cleared (in
// the record, not written). A batch is empty without transactions, cash
// details and tax GL details of its own, and only then deleted. Fully
// posted: a stored batch of exactly that id whose counts are cleared. No
// transactions: none and no cash detail of the batch (tax GL details are
// not looked at). Another batch's members never count. A read that fails
// (at each read) keeps the totals, is never "empty" and deleting reports its
// failure (the batch is still there for the answers after); fully posted is
// never answered for a failed read, no file or a register file that cannot
// be opened.
TEST_F(BatchRecords, EachBatchIsAnsweredFromItsOwnRecordAndMembersNeverFromAFailedRead) {
  std::string said;
  for (int nth : {1, 2, 3}) {
    said += On("all", nth, kClear) + ", ";
    said += On("none", nth, kEmpty) + " ";
    said += On("none", nth, kDelete, tsioStatus::kIOError) + "; ";
  }
  // Fully posted reads the batch record once: only its first read can fail.
  said += On("POSTED", 1, [&](Batch&) { return std::to_string(Part("POSTED").IsBatchFullyPosted()); });
  EXPECT_EQ(said, "0 3 20.00, 0 2; 0 3 20.00, 0 2; 0 3 20.00, 0 2; 0");
  bkBatchPart p = Part("POSTED");
  p.SetFileNumber(0);
  EXPECT_FALSE(p.IsBatchFullyPosted()) << "no file";
  EXPECT_NE(p.SetRegisterFile(tsioFileInfo(co_.fm.Folder(), tsioFileSpec("BKT", 9, 221))), tsioStatus::kSuccess);
  EXPECT_FALSE(p.IsBatchFullyPosted());

  // Asked first, while the batches near them in key order are stored.
  for (const char* id : {"POST", "MISSING", "other"}) EXPECT_EQ(FullyPosted(id), "000") << id;
  said.clear();
  for (const char* id : {"none", "all", "oneopen", "onlyopen", "cash", "taxgl", "POSTED", "POSTEDX"}) {
    said += std::string(id) + ": clear " + On(id, 0, kClear);
    said += ", empty " + On(id, 0, kEmpty);
    said += ", fully posted " + FullyPosted(id);
    said += ", no transactions " + std::to_string(Part(id).NoTransactions());
    said += ", delete " + On(id, 0, kDelete) + "\n";
  }
  EXPECT_EQ(said,
            "none: clear 1 0 0.00, empty 1, fully posted 000, no transactions 1, delete 0\n"
            "all: clear 1 0 0.00, empty 0, fully posted 000, no transactions 0, delete 0\n"
            "oneopen: clear 0 3 20.00, empty 0, fully posted 000, no transactions 0, delete 0\n"
            "onlyopen: clear 0 3 20.00, empty 0, fully posted 000, no transactions 0, delete 0\n"
            "cash: clear 1 0 0.00, empty 0, fully posted 111, no transactions 0, delete 0\n"
            "taxgl: clear 1 0 0.00, empty 0, fully posted 111, no transactions 1, delete 0\n"
            "POSTED: clear 1 0 0.00, empty 1, fully posted 111, no transactions 1, delete 0\n"
            "POSTEDX: clear 1 0 0.00, empty 1, fully posted 000, no transactions 1, delete 0\n");
  EXPECT_EQ(Stored(), "all:3 cash:0 oneopen:3 onlyopen:3 taxgl:0 ") << "only deletes are written";

  // Without a batch id the part asks about the batch file's current record.
  bkBatchPart current = Part("");
  Batch cursor(*co_.bkt);
  FetchBatch(cursor, "cash");
  EXPECT_TRUE(current.IsBatchFullyPosted());
  FetchBatch(cursor, "all");
  EXPECT_FALSE(current.IsBatchFullyPosted());
}

// A second program holds a member of "onlyopen" (it still counts, nothing
// is deleted), the empty batch "none"'s record (not deleted while held, and
// once released) and "POSTED" changed in a unit it has not committed: the
// committed record decides and nothing waits.
TEST_F(BatchRecords, WhatAnotherProgramHoldsIsNeitherMissedNorDeleted) {
  auto other = bktest::ChildProcess::Start([folder = co_.fm.Folder()] {
    tsioFileManager fm(folder);
    tsioDataFile* bkt = nullptr;
    if (fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess) return 1;
    Transaction member(*bkt);
    Batch empty(*bkt), changed(*bkt);
    if (!bkdetailtest::Set(member.m_Record, kOnlyOpenMember) || member.FetchEQ(true) != tsioStatus::kSuccess) return 2;
    FetchBatch(empty, "none", true);
    tclRollbackStack unit;
    changed.AttachRollbackStack(&unit);
    FetchBatch(changed, "POSTED", true);
    changed.m_Record.SetCount(9);
    if (changed.Update() != tsioStatus::kSuccess) return 5;
    bktest::ChildProcess::WriteLine("holding");
    bktest::ChildProcess::ReadLine();
    return 0;
  });
  ASSERT_EQ(other.Receive(), "holding");
  const auto both = [](Batch& b) {
    const bool empty = b.IsEmpty();
    return std::to_string(empty) + std::to_string(b.deleteIfEmpty()) + " ";
  };
  std::string said = On("onlyopen", 0, both);
  said += On("none", 0, both);
  said += FullyPosted("POSTED");
  EXPECT_EQ(said + FullyPosted("none"), "00 19 111000");
  other.Send("end");
  EXPECT_EQ(other.Wait(), 0);
  said = On("onlyopen", 0, both);
  EXPECT_EQ(said + On("none", 0, both), "00 10 ");
  EXPECT_EQ(Stored(), "POSTED:0 POSTEDX:0 all:3 cash:0 oneopen:3 onlyopen:3 taxgl:0 ");
}

}  // namespace
