// Tests of dates and times: month offsets, day arithmetic, text forms, the
// empty date and storage order.
#include <gtest/gtest.h>

#include <string>

#include "framework/types/ts_date.h"
#include "framework/types/ts_time.h"

namespace {

tsDate Ymd(int v) { return tsDate::FromYmd(v); }

TEST(TsDate, OffsetOverMonthEndsAndLeapYears) {
  struct Case {
    int from;
    int months;
    int flag;
    int expected;
  };
  // Flag 1 answers the first day after the (month-end sticky) offset date.
  const Case cases[] = {
      {20270228, 12, 1, 20280301}, {20270228, 12, 0, 20280228}, {20260430, -1, 1, 20260401},
      {20260430, -1, 0, 20260330}, {20260131, 1, 0, 20260228},  {20260131, 1, 1, 20260301},
      {20280131, 1, 0, 20280229},  {20280229, 12, 0, 20290228}, {20280229, 12, 1, 20290301},
      {20280229, -12, 1, 20270301}, {20260228, 1, 1, 20260401}, {20260228, 1, 0, 20260328},
      {20260315, -24, 1, 20240316}, {20261231, 1, 0, 20270131}, {20260115, -1, 0, 20251215},
      {20260531, 0, 1, 20260601},  {20240229, -24, 0, 20220228}, {20260330, -1, 1, 20260301},
      {20261231, -12, 1, 20260101}, {20261231, 0, 1, 20270101}, {20261231, 12, 0, 20271231},
      {99991201, 1, 0, 0},         {10101, -1, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Ymd(c.from).Offset(c.months, c.flag).Ymd(), c.expected)
        << c.from << " " << c.months << " flag " << c.flag;
  }
}

TEST(TsDate, DayArithmeticAcrossYears) {
  EXPECT_EQ(Ymd(20251231) + 1, Ymd(20260101));
  EXPECT_EQ(Ymd(20240301) - 1, Ymd(20240229));
  EXPECT_EQ(Ymd(20230301) - 1, Ymd(20230228));
  EXPECT_EQ(Ymd(20000228) + 1, Ymd(20000229));
  EXPECT_EQ(Ymd(19000228) + 1, Ymd(19000301));
  EXPECT_EQ(Ymd(20260101) - Ymd(20250101), 365);
  EXPECT_EQ(Ymd(20250101) - Ymd(20240101), 366);
  EXPECT_EQ(Ymd(20260101).DaysUntil(Ymd(19991231)), -9498);
  EXPECT_EQ(Ymd(20000101) + 146097, Ymd(24000101));  // 400 Gregorian years
  tsDate d = Ymd(20261215);
  d += 30;
  EXPECT_EQ(d, Ymd(20270114));
  EXPECT_EQ(Ymd(99991231) + 1, tsDate()) << "beyond year 9999";
  // Day of week, 0 Sunday.
  EXPECT_EQ(Ymd(20260101).DayOfWeek(), 4);
  EXPECT_EQ(Ymd(19691231).DayOfWeek(), 3);
  EXPECT_EQ(Ymd(20000101).DayOfWeek(), 6);
  EXPECT_EQ(Ymd(10101).DayOfWeek(), 1);
  EXPECT_TRUE(tsDate::IsLeapYear(2000));
  EXPECT_FALSE(tsDate::IsLeapYear(1900));
  EXPECT_EQ(tsDate::DaysInMonth(2028, 2), 29);
}

TEST(TsDate, ParseForms) {
  const char* same_day[] = {"2026-03-05", "20260305", "03/05/2026", "3/5/2026", "2026-3-5", " 2026-03-05 "};
  for (const char* text : same_day) {
    tsDate d;
    ASSERT_TRUE(d.Parse(text)) << text;
    EXPECT_EQ(d.Ymd(), 20260305) << text;
    EXPECT_EQ(d.Format(), "2026-03-05");
  }
  const char* bad[] = {"2026-02-30", "02/30/2026", "2026/03/05", "202603", "2026-13-01", "20260230",
                       "abc",        "2026-03-05x", "00000000",  "3/5/26",  "2026-003-05"};
  for (const char* text : bad) {
    tsDate d = Ymd(20200101);
    EXPECT_FALSE(d.Parse(text)) << text;
    EXPECT_EQ(d.Ymd(), 20200101) << text;
  }
  tsDate d = Ymd(20200101);
  ASSERT_TRUE(d.Parse(""));
  EXPECT_TRUE(d.IsEmpty());
}

TEST(TsDate, EmptyAndInvalidDates) {
  const tsDate empty;
  EXPECT_TRUE(!empty);
  EXPECT_TRUE(empty.IsNull());
  EXPECT_FALSE(empty.IsValid());
  EXPECT_EQ(empty.Format(), "");
  EXPECT_EQ(empty + 5, tsDate());
  EXPECT_EQ(empty.Offset(3, 1), tsDate());
  EXPECT_EQ(Ymd(20260101) - empty, 0);
  EXPECT_EQ(empty.DayOfWeek(), -1);
  EXPECT_LT(empty, Ymd(10101));

  const tsDate feb30 = tsDate(2026, 2, 30);
  EXPECT_FALSE(feb30.IsEmpty());
  EXPECT_FALSE(feb30.IsValid());
  EXPECT_EQ(feb30.Format(), "2026-02-30");
  EXPECT_EQ(feb30 + 1, tsDate());
  tsCell cell;
  EXPECT_FALSE(feb30.ToCell(cell, 0));
  EXPECT_EQ(tsDate(2026, 100, 1), tsDate());

  tsDate back = Ymd(20200101);
  ASSERT_TRUE(empty.ToCell(cell, 0));
  EXPECT_EQ(cell, tsCell::Int(0));
  ASSERT_TRUE(back.FromCell(cell, 0));
  EXPECT_TRUE(back.IsEmpty());
  EXPECT_FALSE(back.FromCell(tsCell::Int(20260230), 0));
  EXPECT_FALSE(back.FromCell(tsCell::Text("2026-01-01"), 0));
}

TEST(TsDate, CellOrderEqualsDateOrder) {
  const tsDate dates[] = {tsDate(), Ymd(10101), Ymd(19991231), Ymd(20000101), Ymd(20260228), Ymd(20260301)};
  for (size_t i = 0; i + 1 < std::size(dates); ++i) {
    tsCell a, b;
    ASSERT_TRUE(dates[i].ToCell(a, 0));
    ASSERT_TRUE(dates[i + 1].ToCell(b, 0));
    EXPECT_LT(dates[i], dates[i + 1]);
    EXPECT_LT(a.i, b.i);
    tsDate back;
    ASSERT_TRUE(back.FromCell(b, 0));
    EXPECT_EQ(back, dates[i + 1]);
  }
}

TEST(TsTime, ParseAndFormat) {
  struct Case {
    const char* text;
    const char* shown;
  };
  const Case good[] = {{"08:30", "08:30:00"}, {"8:30:15", "08:30:15"}, {"23:59:59", "23:59:59"}, {"", "00:00:00"}};
  for (const Case& c : good) {
    tsTime t;
    ASSERT_TRUE(t.Parse(c.text)) << c.text;
    EXPECT_EQ(t.Format(), c.shown);
  }
  const char* bad[] = {"24:00", "12:60", "12:00:60", "12", "12:5", "ab:cd", "12:00:00:00", "123:00"};
  for (const char* text : bad) {
    tsTime t(1, 2, 3);
    EXPECT_FALSE(t.Parse(text)) << text;
    EXPECT_EQ(t, tsTime(1, 2, 3));
  }
  EXPECT_EQ(tsTime(25, 0, 0), tsTime());
  const tsTime t(13, 5, 9);
  EXPECT_EQ(t.Seconds(), 13 * 3600 + 5 * 60 + 9);
  EXPECT_EQ(t.Hour() * 10000 + t.Minute() * 100 + t.Second(), 130509);
  tsCell cell;
  ASSERT_TRUE(t.ToCell(cell, 0));
  tsTime back;
  ASSERT_TRUE(back.FromCell(cell, 0));
  EXPECT_EQ(back, t);
  EXPECT_FALSE(back.FromCell(tsCell::Int(86400), 0));
}

}  // namespace
