// The bank register's batch dialog (the library's template 1111) driven as
// a person would, headless: the fields' formats show in what typing leaves.
#include <gtest/gtest.h>

#include "batches/batch_test_support.h"
#include "batches/bk_batch_dlg.h"
#include "batches/bk_batch_part.h"
#include "framework/types/ts_string.h"
#include "ui/bk_currency_formatter.h"

namespace {

class Deposits : public bkBatchPartRules {
 public:
  CString Description() const override { return "Deposits"; }
};

// The dialog over batch B1 and a part of deposits of which 2 (150.25) are
// posted, the user calling a batch a "Bundle".
class BatchDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    tsString::SetCustomDescription("<1I>", "Bundle");
    part_.SetBatchPartRules(new Deposits());
    bktest::SetTotals(part_, "0 0 2 150.25");
  }
  void TearDown() override { tsString::ResetCustomDescriptions(); }

  std::unique_ptr<bkBatchDlg> Open(bool info_static) {
    std::unique_ptr<bkBatchDlg> d(static_cast<bkBatchDlg*>(bk_full_batch_dlg(&batch_, info_static, &part_, 42)));
    EXPECT_NE(d, nullptr);
    EXPECT_EQ(d->Parent(), TSGetApp()->ParentWindow());
    EXPECT_TRUE(d->Create());
    return d;
  }
  // Types `text` into `field` and moves on: what Shown() says then.
  std::string Type(bkBatchDlg& d, int field, const char* text) {
    EXPECT_TRUE(d.SetFocus(field));
    d.TypeText(text);
    EXPECT_TRUE(d.SetFocus(field == 7001 ? 7002 : 7001));
    return Shown(d);
  }
  // The part's totals, then what the count, amount, remaining count and
  // remaining amount fields show.
  std::string Shown(bkBatchDlg& d) {
    std::string s = bktest::Totals(part_) + " =";
    for (int shown : {7001, 7002, 7004, 7003}) s += " " + d.GetDlgItemText(shown) + ";";
    return s;
  }

  zzBatch batch_{"BK", tsAlpha("B1"), 2};
  bkBatchPart part_;
};

// The dialog shows the user's terms and the part's, makes the library the
// resource module while it lives, moves typed totals to the part through
// their formatters and shows what remains; OK takes it into the batch.
// Static batch information is shown at once; Cancel puts the part's totals
// back and the part keeps its own rules.
TEST_F(BatchDialog, TypedTotalsReachThePartOkKeepsThemAndCancelPutsThemBack) {
  tsSetResourceModule("someone");
  auto d = Open(false);
  EXPECT_EQ(tsGetResourceModule(), kBkResourceModule);
  EXPECT_TRUE(d->IsInitialized());
  EXPECT_EQ(d->GetDlgItemText(7009) + "|" + d->GetDlgItemText(7005) + "|" + d->BatchAccessKey(),
            "Bundle|&Number of Deposits:|NA");
  EXPECT_EQ(d->GetDlgItemText(7001) + "|" + d->GetDlgItemText(7002) + "|" + d->GetDlgItemText(7004), "|0.00|")
      << "remaining figures are not shown until the batch information is";
  EXPECT_FALSE(d->SetFocus(7003)) << "remaining figures only show";
  d->Click(kTsIdHelp);
  EXPECT_EQ(d->HelpRequests(), 1);

  // Without static information the dialog starts from empty figures.
  EXPECT_EQ(Type(*d, 7001, "5"), "5 0.000 2 150.25 = 5; 0.00; 3; -150.25;");
  // The part's total keeps its declared decimals.
  EXPECT_EQ(Type(*d, 7002, "1000.5"), "5 1000.500 2 150.25 = 5; 1000.50; 3; 850.25;");
  // Text the formatter refuses never reaches the part: the field shows the part's figure again.
  EXPECT_EQ(Type(*d, 7001, "12.5"), "5 1000.500 2 150.25 = 5; 1000.50; 3; 850.25;");
  // A count left empty is no count: nothing remains to show for it.
  EXPECT_EQ(Type(*d, 7001, ""), "0 1000.500 2 150.25 = 0; 1000.50; ; 850.25;");
  bktest::SetTotals(part_, "0 1000.50 0 1000.50");
  d->SetFocus(zzBatchDlg::kDescriptionEdit);
  d->TypeText("Lockbox");
  EXPECT_TRUE(d->Click(kTsIdOk));
  EXPECT_EQ(d->Result(), kTsIdOk);
  EXPECT_EQ(batch_.Desc() + " " + bktest::Totals(part_), "Lockbox 0 1000.500 0 1000.50");
  d.reset();
  EXPECT_EQ(tsGetResourceModule(), "someone") << "put back when the dialog goes";
  tsSetResourceModule("");

  bktest::SetTotals(part_, "4 300 2 150.25");
  d = Open(true);
  EXPECT_EQ(Shown(*d) + " " + d->GetDlgItemText(zzBatchDlg::kBatchCombo),
            "4 300.000 2 150.25 = 4; 300.00; 2; 149.75; B1");
  EXPECT_EQ(Type(*d, 7001, "9"), "9 300.000 2 150.25 = 9; 300.00; 7; 149.75;");
  EXPECT_TRUE(d->Click(kTsIdCancel));
  EXPECT_EQ(d->Result(), kTsIdCancel);
  EXPECT_EQ(bktest::Totals(part_) + " " + part_.Description(), "4 300.000 2 150.25 Deposits");
}

}  // namespace
