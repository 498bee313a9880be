// Tests of dates: month offsets, day arithmetic, the empty date and storage
// order. Text forms are in ts_values_test.cc.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "framework/types/ts_date.h"
#include "framework/types/ts_time.h"

namespace {

tsDate Ymd(int v) { return tsDate::FromYmd(v); }

TEST(TsDate, OffsetOverMonthEndsAndLeapYears) {
  struct Case { int from; int months; int flag; int expected; };
  // Flag 1 answers the first day after the (month-end sticky) offset date.
  const Case cases[] = {
      {20270228, 12, 1, 20280301}, {20270228, 12, 0, 20280228}, {20260430, -1, 1, 20260401},
      {20260430, -1, 0, 20260330}, {20260131, 1, 0, 20260228},  {20260131, 1, 1, 20260301},
      {20280131, 1, 0, 20280229},  {20280229, 12, 0, 20290228}, {20280229, 12, 1, 20290301},
      {20280229, -12, 1, 20270301}, {20260228, 1, 1, 20260401}, {20260228, 1, 0, 20260328},
      {20260315, -24, 1, 20240316}, {20261231, 1, 0, 20270131}, {20260115, -1, 0, 20251215},
      {20260531, 0, 1, 20260601},  {20240229, -24, 0, 20220228}, {20261231, 0, 1, 20270101},
      {99991201, 1, 0, 0},         {10101, -1, 0, 0},            {0, 3, 1, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Ymd(c.from).Offset(c.months, c.flag).Ymd(), c.expected)
        << c.from << " " << c.months << " flag " << c.flag;
  }
}

TEST(TsDate, DayArithmeticAcrossYears) {
  struct Case { int from; int days; int expected; };
  const Case cases[] = {{20251231, 1, 20260101}, {20240301, -1, 20240229}, {20230301, -1, 20230228},
                        {20000228, 1, 20000229}, {19000228, 1, 19000301},  {20261215, 30, 20270114},
                        {20000101, 146097, 24000101}, {99991231, 1, 0},     {0, 5, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ((Ymd(c.from) + c.days).Ymd(), c.expected) << c.from << " + " << c.days;
    EXPECT_EQ(c.expected != 0 ? Ymd(c.expected) - Ymd(c.from) : c.days, c.days);
  }
  EXPECT_EQ(Ymd(20250101) - Ymd(20240101), 366);
  EXPECT_EQ(Ymd(20260101) - tsDate(), 0);
  EXPECT_EQ(Ymd(20260101).DayOfWeek(), 4);  // 0 Sunday
  EXPECT_EQ(Ymd(10101).DayOfWeek(), 1);
}

TEST(TsDate, CellsKeepDateOrderAndRefuseImpossibleDates) {
  const tsDate dates[] = {tsDate(), Ymd(10101), Ymd(19991231), Ymd(20000101), Ymd(20260228), Ymd(20260301)};
  std::vector<int64_t> cells;
  for (const tsDate& d : dates) {
    tsCell cell;
    ASSERT_TRUE(d.ToCell(cell, 0)) << d.Format();
    cells.push_back(cell.i);
  }
  EXPECT_EQ(std::adjacent_find(std::begin(dates), std::end(dates), std::greater_equal<>()), std::end(dates));
  EXPECT_EQ(std::adjacent_find(cells.begin(), cells.end(), std::greater_equal<>()), cells.end()) << "cells in order";
  const tsDate feb30 = tsDate(2026, 2, 30);
  EXPECT_FALSE(feb30.IsValid());
  EXPECT_EQ(feb30 + 1, tsDate());
  tsCell cell;
  EXPECT_FALSE(feb30.ToCell(cell, 0));
  tsDate back;
  EXPECT_FALSE(back.FromCell(tsCell::Int(20260230), 0));
  EXPECT_FALSE(back.FromCell(tsCell::Text("2026-01-01"), 0));
  tsTime time;
  EXPECT_FALSE(time.FromCell(tsCell::Int(86400), 0)) << "a day has 86400 seconds, numbered from 0";
}

// Every year from 1 to 9999 on its first and last day, and every day of one
// leap year, print as "yyyy-mm-dd" with leading zeros.
TEST(TsDate, FormatsWithLeadingZerosOverEveryYear) {
  auto expected = [](int y, int m, int d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return std::string(buf);
  };
  for (int y = 1; y <= 9999; ++y) {
    ASSERT_EQ(tsDate(y, 1, 1).Format(), expected(y, 1, 1));
    ASSERT_EQ(tsDate(y, 12, 31).Format(), expected(y, 12, 31));
  }
  for (tsDate d(2024, 1, 1); d < tsDate(2025, 1, 1); d = d + 1) {
    ASSERT_EQ(d.Format(), expected(d.Year(), d.Month(), d.Day()));
  }
  EXPECT_EQ(tsDate().Format(), "");
}

}  // namespace
