// The batch framework: the batch definition block, module parts and their
// sub-structure, field access by numbers, module batch records read and
// written through a real file (locks, units of work, failures), member
// tests, batch lists and the headless batch dialog.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "framework/base/scripted_responder.h"
#include "framework/batch/batch.h"
#include "framework/batch/batch_dlg.h"
#include "framework/batch/batch_list.h"
#include "framework/batch/record_fields.h"
#include "framework/io/cursor.h"
#include "framework/io/faults.h"
#include "framework/io/file_manager.h"
#include "framework/io/rollback_stack.h"
#include "framework/types/values.h"
#include "framework/ui/raw_record.h"
#include "tests/support/test_support.h"

namespace {

// The 16-bit words of a block at the given offsets, as "offset=value" text.
std::string Words(const unsigned char* p, std::initializer_list<size_t> offsets) {
  std::string s;
  for (size_t at : offsets) {
    int16_t v;
    std::memcpy(&v, p + at, 2);
    s += std::to_string(at) + "=" + std::to_string(v) + " ";
  }
  return s;
}

// A file with a batch record type (6) and a member record type (1).
tsioFileSpec BatchFileSpec() {
  static const bool registered = [] {
    using T = tsDataType;
    const tsioRecordDef batch{6, "test batch",
                              {{"APPL", T::kAlpha, 4, 0, 0}, {"BATCH", T::kAlpha, 10, 0, 0},
                               {"SRC", T::kChoice, 4, 0, 1}, {"LOC", T::kAlpha, 5, 0, 0},
                               {"DESC", T::kAlpha, 30, 0, 0}, {"DATE", T::kDate, 8, 0, 0},
                               {"CNT", T::kNum, 5, 0, 0}, {"AMT", T::kCurrency, 15, 2, 0}},
                              {{0, {"APPL", "BATCH", "SRC", "LOC"}, true}}};
    const tsioRecordDef member{1, "test member",
                               {{"ID", T::kAlpha, 10, 0, 0}, {"MAPPL", T::kAlpha, 4, 0, 0},
                                {"MBATCH", T::kAlpha, 10, 0, 0}, {"MSRC", T::kChoice, 4, 0, 1},
                                {"MLOC", T::kAlpha, 5, 0, 0}},
                               {{0, {"ID"}, true}, {1, {"MAPPL", "MBATCH", "MSRC", "MLOC"}, false}}};
    tsioDictionary::Register(tsioFileDef{"ZBT", 9302, "test batch file", false, {batch, member}, {}, {}});
    return true;
  }();
  (void)registered;
  return tsioFileSpec("ZBT", 1, 9302);
}

// A module part keeping a count and an amount in CNT and AMT.
class TestPart : public zzBatchPart {
 public:
  TestPart() : zzBatchPart("TP") { SetRecordColumns("DESC", "DATE"); }
  zzBatchPart* Clone() const override { return new TestPart(*this); }
  short BatchRecType() const override { return 6; }
  bool GetValues() override {
    tsDouble c, a;
    if (zc_get_io_number(FileNumber(), 6, xio_num(FileNumber(), 6, "CNT"), &c) != 0) return false;
    if (zc_get_io_number(FileNumber(), 6, xio_num(FileNumber(), 6, "AMT"), &a) != 0) return false;
    count = c;
    cents = a;
    return true;
  }
  bool PutValues() override {
    if (refuse_put) return false;
    return zc_put_io_number(FileNumber(), 6, xio_num(FileNumber(), 6, "CNT"), count) == 0 &&
           zc_put_io_number(FileNumber(), 6, xio_num(FileNumber(), 6, "AMT"), cents) == 0;
  }
  std::size_t FillSubStruct(unsigned char* buffer, std::size_t size) const override {
    if (!buffer || size < 49) return 49;
    zzBatchPart::FillSubStruct(buffer, size);
    const int32_t c = static_cast<int32_t>(count.ToLongLong());
    std::memcpy(buffer + 45, &c, 4);
    return 49;
  }
  bool SetPart(const unsigned char* buffer, std::size_t size) override {
    if (!buffer || size < 49 || !zzBatchPart::SetPart(buffer, size)) return false;
    int32_t c;
    std::memcpy(&c, buffer + 45, 4);
    count = tsDouble(c);
    return true;
  }
  // Asked while the candidate batch's record is the current record.
  bool IsBatchAcceptableForComboBox() const override {
    tsAlpha id;
    return xio_get_field(FileNumber(), 6, xio_num(FileNumber(), 6, "BATCH"), id) == 0 && id != "HIDDEN";
  }
  tsDouble count{0, 0};
  tsDouble cents{0, 0};  // the amount as held: hundredths
  bool refuse_put = false;
};

// A batch and its test part.
struct TestBatch {
  std::unique_ptr<zzBatch> batch;
  TestPart* part;
};

class BatchFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(fm_.CreateCompany(), tsioStatus::kSuccess);
    ASSERT_EQ(fm_.Create(BatchFileSpec()), tsioStatus::kSuccess);
    ASSERT_EQ(fm_.Open(BatchFileSpec(), &file_), tsioStatus::kSuccess);
  }
  void TearDown() override { tsioFaults::Clear(); }

  // A batch "BK"/id with a test part on the file.
  TestBatch NewBatch(const char* id) {
    auto b = std::make_unique<zzBatch>("BK", tsAlpha(id), 2);
    b->SetDesc("Deposits of the week");
    b->SetDate(tsDate(2026, 3, 9));
    auto* part = static_cast<TestPart*>(b->AddPart(std::make_unique<TestPart>()));
    part->SetFileNumber(file_->FileNum());
    return {std::move(b), part};
  }

  // The stored count and amount of batch `id` ("CNT AMT"), "none" when there is no record.
  std::string Stored(const char* id) {
    tsRawRecord rec(*file_, 6);
    tsioCursor cur(rec, *file_, 6, 0);
    EXPECT_TRUE(rec.Set("APPL", tsAlpha("BK")) && rec.Set("BATCH", tsAlpha(id)) && rec.Set("SRC", tsChoice(2)));
    if (cur.FetchEQ() != tsioStatus::kSuccess) return "none";
    tsNum<short> cnt;
    tsCurrency amt;
    EXPECT_TRUE(rec.Get("CNT", cnt) && rec.Get("AMT", amt));
    return cnt.Format() + " " + amt.Format();
  }

  // Another program's handle holding the first batch record's lock while it
  // lives; `status` is what taking the lock answered.
  struct AnotherProgram {
    explicit AnotherProgram(const std::string& name) : file(name) {}
    tsioDataFile file;
    tsRawRecord rec{file, 6};
    tsioCursor cur{rec, file, 6, 0};
    tsioStatus::Status status = cur.FetchFirst(true);
  };
  tsioStatus::Status LockAsAnotherProgram() { return AnotherProgram(file_->FileName()).status; }

  void AddMember(const char* id, const char* batch) {
    tsRawRecord rec(*file_, 1);
    tsioCursor cur(rec, *file_, 1, 0);
    ASSERT_TRUE(rec.Set("ID", tsAlpha(id)) && rec.Set("MAPPL", tsAlpha("BK")) && rec.Set("MBATCH", tsAlpha(batch)) &&
                rec.Set("MSRC", tsChoice(2)));
    ASSERT_EQ(cur.Insert(), tsioStatus::kSuccess);
  }

  bktest::TempDir dir_;
  tsioFileManager fm_{dir_.Sub("co")};
  tsioDataFile* file_ = nullptr;
};

TEST(Batch, BlocksCarryTheBatchAndItsPartsAndKeepTheCallersFields) {
  zzBatch b("BK", tsAlpha("DEPOSITS-2026-JANUARY"), 4, zzBatch::BType::kAutomatic);
  b.SetDate(tsDate(2026, 1, 31));
  b.SetDesc("January");
  unsigned char block[zzBatch::kBatchDefSize];
  std::memset(block, 0xAB, sizeof block);
  const int16_t command = 777;
  std::memcpy(block + zzBatch::kCommandIDOffset, &command, 2);
  b.FillBatchStruct(block);
  EXPECT_STREQ(reinterpret_cast<char*>(block), "BK");
  EXPECT_STREQ(reinterpret_cast<char*>(block + 5), "DEPOSITS-2");  // cut to 10 characters
  EXPECT_STREQ(reinterpret_cast<char*>(block + 28), "January");
  EXPECT_EQ(Words(block, {16, 18, 20, 22, 24, 26}), "16=4 18=2 20=2026 22=1 24=31 26=777 ");
  EXPECT_EQ(block[zzBatch::kApplBlockOffset], 0xAB);
  EXPECT_EQ(block[100], 0);

  // A part's sub-structure: a short buffer is only sized, never written or read.
  zzBatchPart p("BK");
  p.SetFileNumber(12);
  p.SetDestFileNumber(13);
  p.SetRecordCreated(1);
  p.SetType(zzBatchType::kImported);
  p.SetDesc("A description longer than thirty characters");
  p.SetDate(tsDate(2026, 3, 9));
  unsigned char sub[zzBatchPart::kFrameworkSubStructSize] = {};
  EXPECT_EQ(p.FillSubStruct(nullptr, 0), sizeof sub);
  EXPECT_EQ(p.FillSubStruct(sub, 10), sizeof sub);
  EXPECT_EQ(sub[0], 0) << "a short buffer is left alone";
  p.FillSubStruct(sub, sizeof sub);
  EXPECT_EQ(Words(sub, {0, 2, 4, 6, 39, 41, 43}), "0=12 2=13 4=1 6=3 39=2026 41=3 43=9 ");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(sub + 8)), "A description longer than thir");
  zzBatchPart q("BK");
  EXPECT_FALSE(q.SetPart(sub, sizeof sub - 1));
  EXPECT_EQ(q.DestFileNumber(), 0);
  EXPECT_TRUE(q.SetPart(sub, sizeof sub));
  EXPECT_EQ(q.DestFileNumber(), 13);
  EXPECT_EQ(q.FileNumber(), 0) << "the other fields are not read";
}

TEST(Batch, PartsAreFoundByModuleCodeTakeTheIdentityAndCopiesOwnTheirs) {
  zzBatch b("BK", tsAlpha("B1"), 3);
  b.SetDPLoc(tsAlpha("L1"));
  EXPECT_FALSE(b.UpdateInfo("TP")) << "no part";
  zzBatchPart* tp = b.AddPart(std::make_unique<TestPart>());
  EXPECT_EQ(tp->BatchID().str() + "/" + std::to_string(tp->Source()) + "/" + tp->DPLoc().str(), "B1/3/L1");
  EXPECT_EQ(b.ApplPart("TP"), tp);
  EXPECT_EQ(b.ApplPart("GL"), nullptr);
  EXPECT_FALSE(b.UpdateInfo("TP")) << "its batch file is not open";
  zzBatch copy = b;
  EXPECT_NE(copy.ApplPart("TP"), tp);
  EXPECT_EQ(copy.ApplPart("TP")->BatchID(), "B1");
  b.AddPart(std::make_unique<TestPart>());  // replaces the module's part
  EXPECT_EQ(b.PartCount(), 1u);
}

TEST_F(BatchFile, FieldsByNumberAreExactAndRefuseWhatDoesNotFit) {
  const short fn = file_->FileNum();
  const short cnt = xio_num(fn, 6, "CNT"), amt = xio_num(fn, 6, "AMT"), desc = xio_num(fn, 6, "DESC");
  tsDouble v;
  auto get = [&](short file, short type, short field) { return zc_get_io_number(file, type, field, &v); };
  using S = std::vector<int>;
  EXPECT_EQ((S{get(fn, 6, amt), get(999, 6, amt), get(fn, 7, amt), get(fn, 6, 99)}),
            (S{tsioStatus::kNoCurrentRecord, tsioStatus::kFileNotOpen, tsioStatus::kNotFound, tsioStatus::kNotFound}))
      << "nothing read yet; no such file, record type or field";

  auto [batch, part] = NewBatch("B1");
  part->count = 3;
  part->cents = tsDouble(123456789012345LL);
  ASSERT_EQ(batch->OpenInfo("TP"), tsioStatus::kSuccess);
  tsCurrency amount;
  tsAlpha text;
  EXPECT_EQ((S{xio_get_field(fn, 6, amt, amount), xio_get_field(fn, 6, desc, text), get(fn, 6, desc)}),
            (S{tsioStatus::kSuccess, tsioStatus::kSuccess, tsioStatus::kInvalidOperation}));
  EXPECT_EQ(amount, tsCurrency::FromText("1234567890123.45"));
  EXPECT_EQ(text, "Deposits of the week") << "the description and date are written with the record";
  // Refused, never cut: a part of a hundredth, wider than CNT, not a number.
  EXPECT_EQ((S{zc_put_io_number(fn, 6, amt, tsDouble::FromText("12.5")), zc_put_io_number(fn, 6, cnt, tsDouble(100000)),
               zc_put_io_number(fn, 6, cnt, tsDouble::Invalid()), zc_put_io_number(fn, 6, cnt, tsDouble(-99999)),
               get(fn, 6, amt)}),
            (S{tsioStatus::kValueDoesNotFit, tsioStatus::kValueDoesNotFit, tsioStatus::kValueDoesNotFit,
               tsioStatus::kSuccess, tsioStatus::kSuccess}));
  EXPECT_EQ(v, tsDouble(123456789012345LL)) << "held in hundredths, exactly; refused puts change nothing";

  // A cursor that reads only the key leaves the other fields unread: they
  // are read from the file when asked for.
  struct KeyRec : ccRecData {
    tsAlpha appl;
    KeyRec() : ccRecData("ZBT", 6, "APPL") { AddColumn("APPL", &appl); }
  } k;
  tsioCursor cur(k, *file_, 6, 0);
  ASSERT_EQ(cur.FetchFirst(), tsioStatus::kSuccess);
  ASSERT_EQ(zc_get_io_number(fn, 6, cnt, &v), tsioStatus::kSuccess);
  EXPECT_EQ(v, tsDouble(3));
}

// One batch record through its life: created once and found after, updates
// refused whole (another program's lock, the part, every failing I/O step),
// the program's own lock kept across an update, units of work rolling the
// record and the part back together.
TEST_F(BatchFile, RecordIsCreatedOnceAndUpdatedWholeOrNotAtAll) {
  auto [batch, part] = NewBatch("B1");
  part->count = 1;
  ASSERT_EQ(batch->OpenInfo("TP"), tsioStatus::kSuccess);
  EXPECT_EQ(part->RecordCreated(), 1);
  EXPECT_EQ(Stored("B1"), "1 0.00");
  EXPECT_EQ(NewBatch("NONE").batch->ReadInfo("TP"), tsioStatus::kNotFound);

  part->count = 2;
  part->cents = tsDouble(1999);
  // Refused: held by another program, the part refusing, each failing I/O step.
  const tsioOp failing[] = {tsioOp::kFetch, tsioOp::kUpdate, tsioOp::kLock};
  for (int refusal = 0; refusal < 5; ++refusal) {
    SCOPED_TRACE(refusal);
    std::optional<AnotherProgram> holder;
    if (refusal == 0) {
      ASSERT_EQ(holder.emplace(file_->FileName()).status, tsioStatus::kSuccess);
    }
    part->refuse_put = refusal == 1;
    if (refusal >= 2) tsioFaults::Arm(failing[refusal - 2], tsioStatus::kIOError);
    EXPECT_FALSE(batch->UpdateInfo("TP"));
    tsioFaults::Clear();
  }
  part->refuse_put = false;
  EXPECT_EQ(Stored("B1"), "1 0.00") << "refused updates change nothing";
  EXPECT_EQ(LockAsAnotherProgram(), tsioStatus::kSuccess) << "and keep no lock";

  // The batch is in use here: an update keeps the program's lock.
  tsRawRecord mine(*file_, 6);
  tsioCursor keeper(mine, *file_, 6, 0);
  ASSERT_EQ(keeper.FetchFirst(true), tsioStatus::kSuccess);
  ASSERT_TRUE(batch->UpdateInfo("TP"));
  EXPECT_EQ(Stored("B1"), "2 19.99");
  EXPECT_EQ(LockAsAnotherProgram(), tsioStatus::kLocked) << "still held by the program";
  (void)keeper.Unlock(1);
  EXPECT_EQ(LockAsAnotherProgram(), tsioStatus::kSuccess);

  auto [again, again_part] = NewBatch("B1");
  ASSERT_EQ(again->OpenInfo("TP"), tsioStatus::kSuccess);
  EXPECT_EQ(again_part->RecordCreated(), 0) << "found, not created";
  EXPECT_EQ(again_part->count.Format() + " " + again_part->cents.Format(), "2 1999");

  {
    tclRollbackStack unit;
    tsRawRecord member(*file_, 1);
    ccCursor cur(member, *file_, 1, 0);
    cur.AttachRollbackStack(&unit);
    batch->InitUnitOfWork();
    ASSERT_TRUE(member.Set("ID", tsAlpha("M1")));
    ASSERT_EQ(cur.Insert(), tsioStatus::kSuccess);  // begins the unit
    part->count = 5;
    ASSERT_TRUE(batch->UpdateInfo("TP"));
    EXPECT_EQ(LockAsAnotherProgram(), tsioStatus::kLocked) << "the unit may still roll back";
    ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
    batch->Rollback();
  }
  EXPECT_EQ(part->count, tsDouble(2)) << "the part follows the unit";
  EXPECT_EQ(Stored("B1"), "2 19.99");
  batch->InitUnitOfWork();
  part->count = 6;
  EXPECT_TRUE(batch->Commit());
  batch->Rollback();  // nothing kept after a commit
  EXPECT_EQ(part->count, tsDouble(6));
}

TEST_F(BatchFile, TranExistsAnswersTrueWhenItCannotTell) {
  auto [batch, part] = NewBatch("B1");
  const char* cols = "MAPPL;MBATCH;MSRC;MLOC";
  tsioStatus::Status st = tsioStatus::kIOError;
  EXPECT_FALSE(part->_TranExists(1, 1, cols, &st));
  EXPECT_EQ(st, tsioStatus::kSuccess);
  AddMember("M1", "OTHER");
  EXPECT_FALSE(part->_TranExists(1, 1, cols));
  AddMember("M2", "B1");
  EXPECT_TRUE(part->_TranExists(1, 1, cols, &st));
  EXPECT_EQ(st, tsioStatus::kSuccess);
  EXPECT_TRUE(part->_TranExists(1, 0, cols)) << "any index";
  auto [b2, empty] = NewBatch("B2");
  tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kDamaged);
  EXPECT_TRUE(empty->_TranExists(1, 1, cols, &st)) << "a failed read is never an empty batch";
  EXPECT_EQ(st, tsioStatus::kDamaged);
  EXPECT_TRUE(empty->_TranExists(1, 1, "MAPPL;MBATCH", &st));
  EXPECT_EQ(st, tsioStatus::kInvalidOperation);
  empty->SetFileNumber(0);
  EXPECT_TRUE(empty->_TranExists(1, 1, cols, &st));
  EXPECT_EQ(st, tsioStatus::kFileNotOpen);
}

TEST(BatchList, NodesInOrderAndTheOldFormCutsTexts) {
  zzBatchList list;
  list.AppendNode(nullptr);
  auto* n = new zzBatchListNode("GL", tsAlpha("B2"), 2);
  n->SetChoice(tsChoice(1));
  list.AppendNode(n);
  list.AppendNode(new zzBatchListNode("BKBK", tsAlpha("A-VERY-LONG-ID"), 1));
  const zb_batch_list_def* old = list.BuildOldBatchList();
  std::string entries;
  for (size_t i = 0; i < old->count; ++i) {
    const auto& e = old->entries[i];
    entries += std::string(e.host_appl) + " " + e.batch_id + " " + std::to_string(e.source) + " " +
               std::to_string(e.choice) + "\n";
  }
  EXPECT_EQ(entries, "GL B2 2 1\nBKBK A-VERY-LON 1 0\n");
  list.Clear();
  EXPECT_EQ(list.BuildOldBatchList()->count, 0u);
}

TEST_F(BatchFile, DialogListsAcceptedBatchesAndTakesTheChoiceOnOK) {
  // Dialog 77, "Batch": OK and Cancel (no font, the size the dialog takes).
  tsRegisterDialogTemplate("fwtest", {77, "Batch", "", 0, 0, 0,
                                      {{1, tsControlKind::kPushButton, "&OK", {}, 0},
                                       {2, tsControlKind::kPushButton, "Cancel", {}, 0}}});
  tsResourceModuleScope scope("fwtest");
  for (const char* id : {"B2", "HIDDEN", "B1"}) ASSERT_EQ(NewBatch(id).batch->OpenInfo("TP"), tsioStatus::kSuccess);
  auto [batch, part] = NewBatch("");
  tsScriptedResponder responder;
  tsResponderScope rs(&responder);
  zzBatchDlg dlg(nullptr, 77, batch.get(), false, part, 5);
  ASSERT_TRUE(dlg.Create());
  auto* combo = dynamic_cast<tsdmDBComboBox*>(dlg.GetDlgItem(zzBatchDlg::kBatchCombo));
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->ItemCount(), 2u);
  EXPECT_EQ(combo->Item(0) + " " + combo->Item(1), "B1 B2") << "in key order, HIDDEN refused by the part";
  EXPECT_EQ(dlg.GetFocus(), 1) << "tab order: the template's controls come first";

  EXPECT_TRUE(dlg.Click(kTsIdOk));
  EXPECT_TRUE(dlg.IsOpen()) << "no batch chosen";
  ASSERT_TRUE(dlg.SetFocus(zzBatchDlg::kBatchCombo));
  ASSERT_TRUE(combo->SetCurSel(1));
  ASSERT_TRUE(dlg.SetFocus(zzBatchDlg::kDateEdit));
  dlg.TypeText("2026-02-30");
  EXPECT_TRUE(dlg.Click(kTsIdOk));
  EXPECT_TRUE(dlg.IsOpen()) << "not a date";
  dlg.SetFocus(zzBatchDlg::kDateEdit);
  dlg.TypeText("2026-02-28");
  dlg.SetFocus(zzBatchDlg::kDescriptionEdit);
  dlg.TypeText("February");
  EXPECT_TRUE(dlg.Click(kTsIdOk));
  EXPECT_FALSE(dlg.IsOpen());
  EXPECT_EQ(dlg.Result(), kTsIdOk);
  EXPECT_EQ(batch->BatchID().str() + " " + batch->Date().Format() + " " + batch->Desc(), "B2 2026-02-28 February");
  EXPECT_EQ(responder.Messages().size(), 2u) << "each refusal said why";

  // Static information only shows.
  zzBatchDlg shown(nullptr, 77, batch.get(), true, part, 5);
  ASSERT_TRUE(shown.Create());
  EXPECT_EQ(shown.GetDlgItemText(zzBatchDlg::kBatchCombo), "B2");
  EXPECT_FALSE(shown.SetFocus(zzBatchDlg::kBatchCombo));
  EXPECT_FALSE(shown.GetDlgItem(zzBatchDlg::kDescriptionEdit)->TakesText());
  EXPECT_TRUE(shown.Click(kTsIdCancel));
  EXPECT_EQ(batch->BatchID(), "B2");
}

}  // namespace
