// Headless controls: number formatters, edit controls, the edit validator,
// dialogs built from templates, data-manager controls over a real file.
#include <gtest/gtest.h>

#include <tuple>

#include "framework/io/cursor.h"
#include "framework/io/file_manager.h"
#include "framework/types/values.h"
#include "framework/ui/control.h"
#include "framework/ui/dialog.h"
#include "framework/ui/dm_control.h"
#include "framework/ui/formatter.h"
#include "framework/ui/raw_record.h"
#include "tests/support/test_support.h"

namespace {

using F = tsNumEditFormatter;

TEST(NumEditFormatter, ParsesExactlyWithinDigitsDecimalsSignAndLimit) {
  const struct {
    unsigned short digits, decimals, style;
    const char* text;
    const char* value;  // nullptr: refused
  } cases[] = {
      {9, 2, F::kAllowNegative, "1,234.5", "1234.50"}, {9, 2, F::kAllowNegative, "  -0.01 ", "-0.01"},
      {9, 2, F::kAllowNegative, "", "0.00"},
      {9, 2, F::kAllowNegative, "12.500", "12.50"},  // trailing zeros are fine
      {9, 2, F::kAllowNegative, "12.345", nullptr},   // a third place is refused, not rounded
      {9, 2, F::kAllowNegative, "1234567890", nullptr}, {9, 2, F::kAllowNegative, "999999999.99", "999999999.99"},
      {9, 2, F::kAllowNegative, "12a", nullptr}, {9, 2, 672, "-5", nullptr}, {4, 0, 0, "9999", "9999"},
      {4, 0, 0, "10000", nullptr}, {4, 0, 0, "2.5", nullptr},
      {18, 2, F::kAllowNegative, "92233720368547758.07", "92233720368547758.07"},
      {18, 2, F::kAllowNegative, "92233720368547758.08", nullptr},  // beyond a 64-bit mantissa
  };
  for (const auto& c : cases) {
    F f(c.digits, c.decimals, c.style);
    tsDouble v(7, 2);
    EXPECT_EQ(f.Parse(c.text, v), c.value != nullptr) << c.text;
    EXPECT_EQ(v, c.value ? tsDouble::FromText(c.value) : tsDouble(7)) << "a refused text leaves the value: " << c.text;
  }
  F limited(9, 2, F::kAllowNegative);
  limited.SetLowerLimit(0.0, F::kAtLeast);
  EXPECT_TRUE(limited.IsValid("0") && !limited.IsValid("-0.01"));
  limited.SetLowerLimit(10.0, F::kAbove);
  EXPECT_TRUE(!limited.IsValid("10.00") && limited.IsValid("10.01"));
  limited.SetLowerLimit(std::numeric_limits<double>::quiet_NaN(), F::kAtLeast);
  EXPECT_EQ(limited.GetLimitMode(), F::kNoLimit);
}

TEST(NumEditFormatter, FormatsWithStyles) {
  const struct { unsigned short decimals, style; const char* value; const char* text; } cases[] = {
      {2, F::kAllowNegative, "1234567.5", "1234567.50"}, {2, 672, "1234567.5", "1,234,567.50"}, {2, 672, "0", ""},
      {2, 672, "-1234.005", "-1,234.01"},  // shown rounded half away from zero
      {0, F::kAllowNegative, "-3", "-3"}, {0, F::kThousands, "999", "999"}, {0, F::kThousands, "1000", "1,000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(F(15, c.decimals, c.style).Format(tsDouble::FromText(c.value)), c.text) << c.value;
  }
  EXPECT_EQ(F(9, 2, 2).Format(tsDouble::Invalid()), "#OVERFLOW");
  EXPECT_EQ(F(9, 2, 2).Format(tsNum<short>(12)), "12.00") << "other numbers format as numbers";
  EXPECT_EQ(F(9, 2, 2).Normalize("1234.5"), "1234.50");
  EXPECT_EQ(F(9, 2, 2).Normalize("x"), "x");
  EXPECT_TRUE(F(9, 2, 672).RightAligned());
}

TEST(Edit, OwnsItsFormatterAndMovesValuesThroughIt) {
  tsEdit e;
  e.Create(tsDialogItem{7, tsControlKind::kEdit, "", {}, 0});
  e.SetValue(tsCurrency::FromText("12.5"));
  EXPECT_EQ(e.GetWindowText(), "12.50") << "a value's own text without a formatter";
  e.SetFormatter(new F(9, 2, 672));
  e.SetFormatter(new F(9, 2, 672));  // the first one is deleted (the sanitizer build would tell)
  e.SetValue(tsCurrency::FromText("1234.5"));
  EXPECT_EQ(e.GetWindowText(), "1,234.50");
  tsCurrency amount;
  EXPECT_TRUE(e.GetValue(amount));
  EXPECT_EQ(amount, tsCurrency::FromText("1234.50"));
  e.SetWindowText("-1");
  EXPECT_FALSE(e.IsTextValid());
  EXPECT_FALSE(e.GetValue(amount));
  EXPECT_EQ(amount, tsCurrency::FromText("1234.50"));
}

// A dialog of a test module (two edits, a label, buttons) is found only in
// its module; focus events reach the validator, which keeps the focus on
// refused text; OK validates the edit it leaves, Cancel always closes.
TEST(Dialog, FromTheModulesTemplateValidatingEditsAsTheFocusMoves) {
  tsDialogTemplate t;
  t.id = 500;
  t.caption = "Test";
  t.items = {{1, tsControlKind::kPushButton, "&OK", {}, 0},     {2, tsControlKind::kPushButton, "Cancel", {}, 0},
             {10, tsControlKind::kLabel, "Amount:", {}, 0},     {11, tsControlKind::kEdit, "", {1, 2, 3, 4}, 0},
             {12, tsControlKind::kEdit, "", {}, 0},             {13, tsControlKind::kEdit, "", {}, kTsDisabled}};
  tsRegisterDialogTemplate("testmod", t);
  tsDialog d(nullptr, 500);
  {
    tsResourceModuleScope other("othermod");
    EXPECT_FALSE(d.Create()) << "not a resource of the current module";
  }
  tsResourceModuleScope scope("testmod");
  EXPECT_EQ(tsGetResourceModule(), "testmod");
  tsEdit amount;
  ASSERT_TRUE(d.Create() && d.SubclassDlgItem(11, amount));
  EXPECT_EQ(d.ControlIDs(), (std::vector<unsigned short>{1, 2, 10, 11, 12, 13}));
  EXPECT_EQ(d.GetFocus(), 1) << "the first control that can take the focus";
  EXPECT_EQ(d.GetDlgItemText(10), "Amount:");
  EXPECT_EQ(d.GetDlgItem(11), &amount);
  EXPECT_EQ(amount.Rect(), (tsRect{1, 2, 3, 4})) << "the code's control takes the template item";
  amount.SetFormatter(new F(9, 2, 672));

  EXPECT_FALSE(d.SetFocus(10)) << "a label takes no focus";
  EXPECT_FALSE(d.SetFocus(13)) << "nor a disabled edit";
  ASSERT_TRUE(d.SetFocus(11));
  EXPECT_TRUE(d.TypeText("-5"));
  EXPECT_FALSE(d.SetFocus(12)) << "refused text keeps the focus";
  EXPECT_EQ(d.GetFocus(), 11);
  EXPECT_EQ(d.Validator().InvalidControl(), 11);
  d.TypeText("1234.5");
  EXPECT_TRUE(d.SetFocus(12));
  EXPECT_EQ(amount.GetWindowText(), "1,234.50") << "accepted text is shown the formatter's way";
  const auto& ev = d.Validator().Events();
  ASSERT_GE(ev.size(), 3u);
  const tsFocusEvent &kill = ev[ev.size() - 2], &set = ev.back();
  EXPECT_EQ(std::tuple(kill.kind, kill.control, kill.other, set.kind, set.control),
            std::tuple(tsFocusEvent::kKillFocus, 11, 12, tsFocusEvent::kSetFocus, 12));

  // OK moves the focus first (validating the edit left); Cancel always works.
  d.SetFocus(11);
  d.TypeText("bad");
  EXPECT_FALSE(d.Click(kTsIdOk));
  EXPECT_TRUE(d.IsOpen());
  EXPECT_TRUE(d.Click(kTsIdCancel));
  EXPECT_FALSE(d.IsOpen());
  EXPECT_EQ(d.Result(), kTsIdCancel);
  EXPECT_FALSE(d.TypeText("x")) << "a closed dialog takes nothing";
}

// A small file with one record type of any layout, for the data-manager list.
tsioFileSpec ListSpec() {
  static const bool registered = [] {
    const tsioRecordDef r{1, "list entry",
                          {{"APPL", tsDataType::kAlpha, 4, 0, 0}, {"ID", tsDataType::kAlpha, 10, 0, 0},
                           {"AMT", tsDataType::kCurrency, 15, 2, 0}},
                          {{0, {"APPL", "ID"}, true}}, false, false};
    const tsioFileDef d{"ZLS", 9301, "", false, {r}, {}, {}};
    tsioDictionary::Register(d);
    return true;
  }();
  (void)registered;
  return tsioFileSpec("ZLS", 1, 9301);
}

TEST(DataManagerControls, ComboListsFilteredRecordsAndEditLineEditsThroughItsInnerEdit) {
  bktest::TempDir dir;
  tsioFileManager fm(dir.Sub("co"));
  tsioDataFile* file = nullptr;
  ASSERT_TRUE(fm.CreateCompany() == tsioStatus::kSuccess && fm.Create(ListSpec()) == tsioStatus::kSuccess &&
              fm.Open(ListSpec(), &file) == tsioStatus::kSuccess);
  tsRawRecord rec(*file, 1);
  tsioCursor cur(rec, *file, 1, 0);
  for (const auto& [appl, id, amt] : {std::tuple{"BK", "B2", "1.25"}, std::tuple{"BK", "B1", "0"},
                                      std::tuple{"GL", "G1", "3"}, std::tuple{"BK", "B3", "9"}}) {
    ASSERT_TRUE(rec.Set("APPL", tsAlpha(appl)) && rec.Set("ID", tsAlpha(id)) &&
                rec.Set("AMT", tsCurrency::FromText(amt)));
    ASSERT_EQ(cur.Insert(), tsioStatus::kSuccess);
  }
  EXPECT_EQ(rec.Cell("AMT")->Format(), "900") << "a raw field holds the stored form";
  tsCurrency amount;
  ASSERT_TRUE(rec.Get("AMT", amount));
  EXPECT_EQ(amount, tsCurrency(9));

  tsdmDBComboBox combo("ID");
  combo.Create(tsDialogItem{20, tsControlKind::kComboBox, "", {}, 0});
  combo.Filter().Query().AddCondition("APPL", tsdmQueryNode::Op::kEqual, "BK");
  int asked = 0;
  ASSERT_EQ(combo.Load(*file, 1, 0, [&] { return ++asked != 2; }), tsioStatus::kSuccess);
  EXPECT_EQ(asked, 3);
  ASSERT_EQ(combo.ItemCount(), 2u);
  EXPECT_EQ(combo.Item(0) + " " + combo.Item(1), "B1 B3") << "B2 refused by the caller, G1 by the filter";
  EXPECT_TRUE(combo.SetCurSel(1));
  EXPECT_EQ(combo.GetWindowText(), "B3");
  EXPECT_FALSE(combo.SetCurSel(2));
  combo.SetWindowText("NEW");
  EXPECT_EQ(combo.GetCurSel(), -1);
  tsdmDBComboBox bad("NOSUCH");
  EXPECT_NE(bad.Load(*file, 1, 0), tsioStatus::kSuccess);

  tsdmEditLine line("AMT");
  line.Create(tsDialogItem{21, tsControlKind::kEdit, "", {}, 0});
  line.ImplControl().SetFormatter(new F(9, 2, 2));
  line.SetWindowText("3");
  EXPECT_EQ(line.ImplControl().GetWindowText(), "3");
  EXPECT_TRUE(line.ImplControl().GetValue(amount));
  EXPECT_EQ(amount, tsCurrency(3));
}

}  // namespace
