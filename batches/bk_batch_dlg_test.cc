// The bank register's batch dialog (the library's template 1111) driven as
// a person would, headless: the fields' formats show in what typing leaves.
#include <gtest/gtest.h>

#include "batches/bk_batch_dlg.h"
#include "batches/bk_batch_part.h"
#include "framework/types/ts_string.h"
#include "ui/bk_currency_formatter.h"

namespace {

class Deposits : public bkBatchPartRules {
 public:
  CString Description() const override { return "Deposits"; }
};

class BatchDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    tsString::SetCustomDescription("<1I>", "Bundle");
    part_.SetBatchPartRules(new Deposits());
    part_.SetNumberOfTransPosted(tsDouble(2));
    part_.SetAmountOfTransPosted(tsDouble::FromText("150.25"));
  }
  void TearDown() override { tsString::ResetCustomDescriptions(); }

  std::unique_ptr<bkBatchDlg> Open(bool info_static) {
    std::unique_ptr<bkBatchDlg> d(static_cast<bkBatchDlg*>(bk_full_batch_dlg(&batch_, info_static, &part_, 42)));
    EXPECT_NE(d, nullptr);
    EXPECT_EQ(d->Parent(), TSGetApp()->ParentWindow());
    EXPECT_TRUE(d->Create());
    return d;
  }

  zzBatch batch_{"BK", tsAlpha("B1"), 2};
  bkBatchPart part_;
};

TEST_F(BatchDialog, ShowsTheTermsAndTheFormattersAndMakesTheLibraryTheResourceModule) {
  tsSetResourceModule("someone");
  {
    auto d = Open(false);
    EXPECT_EQ(tsGetResourceModule(), kBkResourceModule);
    EXPECT_TRUE(d->IsInitialized());
    EXPECT_EQ(d->GetDlgItemText(7009), "Bundle") << "the user's term for a batch";
    EXPECT_EQ(d->GetDlgItemText(7005), "&Number of Deposits:") << "the part's rules name what is counted";
    EXPECT_EQ(d->BatchAccessKey(), "NA");
    EXPECT_EQ(d->GetDlgItemText(7001), "");
    EXPECT_EQ(d->GetDlgItemText(7002), "0.00");
    EXPECT_EQ(d->GetDlgItemText(7004), "") << "not shown until the batch information is";
    EXPECT_FALSE(d->SetFocus(7003)) << "remaining figures only show";
    d->Click(kTsIdHelp);
    EXPECT_EQ(d->HelpRequests(), 1);
  }
  EXPECT_EQ(tsGetResourceModule(), "someone") << "put back when the dialog goes";
  tsSetResourceModule("");
}

TEST_F(BatchDialog, TypingTotalsMovesThemToThePartAndShowsWhatRemains) {
  auto d = Open(false);
  ASSERT_TRUE(d->SetFocus(7001));
  d->TypeText("5");
  ASSERT_TRUE(d->SetFocus(7002));
  EXPECT_EQ(part_.GetNumberOfTrans(), tsDouble(5));
  EXPECT_EQ(d->GetDlgItemText(7004), "3");
  EXPECT_EQ(d->GetDlgItemText(7003), "-150.25");
  d->TypeText("1000.5");
  ASSERT_TRUE(d->SetFocus(7001));
  EXPECT_EQ(part_.GetAmountOfTrans(), tsDouble::FromText("1000.50"));
  EXPECT_EQ(part_.GetAmountOfTrans().Decimals(), 3) << "the part's total keeps its declared decimals";
  EXPECT_EQ(d->GetDlgItemText(7002), "1000.50");
  EXPECT_EQ(d->GetDlgItemText(7003), "850.25");
  // Text the formatter refuses never reaches the part: the field shows the
  // part's figure again.
  d->TypeText("12.5");
  ASSERT_TRUE(d->SetFocus(7002));
  EXPECT_EQ(part_.GetNumberOfTrans(), tsDouble(5));
  EXPECT_EQ(d->GetDlgItemText(7001), "5");
  // A count left empty is no count: nothing remains to show for it.
  ASSERT_TRUE(d->SetFocus(7001));
  d->TypeText("");
  ASSERT_TRUE(d->SetFocus(7002));
  EXPECT_TRUE(!part_.GetNumberOfTrans());
  EXPECT_EQ(d->GetDlgItemText(7001), "0");
  EXPECT_EQ(d->GetDlgItemText(7004), "");
  part_.SetNumberOfTransPosted(tsDouble(0));
  part_.SetAmountOfTransPosted(tsDouble::FromText("1000.50"));
  EXPECT_TRUE(part_.InBalance());
  // OK takes the dialog into the batch and ends it.
  d->SetFocus(zzBatchDlg::kDescriptionEdit);
  d->TypeText("Lockbox");
  EXPECT_TRUE(d->Click(kTsIdOk));
  EXPECT_EQ(d->Result(), kTsIdOk);
  EXPECT_EQ(batch_.Desc(), "Lockbox");
  EXPECT_EQ(part_.GetAmountOfTrans(), tsDouble::FromText("1000.50"));
}

TEST_F(BatchDialog, CancelPutsThePartBack) {
  for (bool info_static : {true, false}) {
    part_.SetNumberOfTrans(tsDouble(4));
    part_.SetAmountOfTrans(tsDouble::FromText("300"));
    auto d = Open(info_static);
    if (info_static) {
      EXPECT_EQ(d->GetDlgItemText(7001), "4") << "static information is shown";
      EXPECT_EQ(d->GetDlgItemText(7002), "300.00");
      EXPECT_EQ(d->GetDlgItemText(7004), "2");
      EXPECT_EQ(d->GetDlgItemText(7003), "149.75");
      EXPECT_EQ(d->GetDlgItemText(zzBatchDlg::kBatchCombo), "B1");
    }
    ASSERT_TRUE(d->SetFocus(7001));
    d->TypeText("9");
    ASSERT_TRUE(d->SetFocus(7002));
    d->TypeText("1.00");
    ASSERT_TRUE(d->SetFocus(7001));
    EXPECT_EQ(part_.GetNumberOfTrans(), tsDouble(9));
    EXPECT_TRUE(d->Click(kTsIdCancel));
    EXPECT_EQ(d->Result(), kTsIdCancel);
    EXPECT_EQ(part_.GetNumberOfTrans(), tsDouble(4)) << info_static;
    EXPECT_EQ(part_.GetAmountOfTrans(), tsDouble(300)) << info_static;
    EXPECT_EQ(part_.Description(), "Deposits") << "the part keeps its own rules";
  }
}

}  // namespace
