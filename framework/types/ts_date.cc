// tsDate: calendar arithmetic, month offsets, text and storage.
#include "framework/types/ts_date.h"

#include <cstdio>
#include <ctime>

#include "framework/types/ts_value_support.h"

namespace {

constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;

// Days since 1970-01-01 of a civil date (any year, proleptic Gregorian).
long long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = static_cast<int>(y - era * 400);
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const int doe = static_cast<int>(z - era * 146097);
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(yoe + era * 400) + (m <= 2);
}

bool ValidParts(int y, int m, int d) {
  return y >= kMinYear && y <= kMaxYear && m >= 1 && m <= 12 && d >= 1 && d <= tsDate::DaysInMonth(y, m);
}

tsDate FromDays(long long days) {
  int y, m, d;
  CivilFromDays(days, y, m, d);
  if (y < kMinYear || y > kMaxYear) return tsDate();
  return tsDate(y, m, d);
}

// Reads 1..max_digits digits at t[i]; false when there are none or too many.
bool ReadNumber(std::string_view t, size_t& i, size_t min_digits, size_t max_digits, int& out) {
  size_t start = i;
  int v = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
    v = v * 10 + (t[i] - '0');
    ++i;
    if (i - start > max_digits) return false;
  }
  if (i - start < min_digits) return false;
  out = v;
  return true;
}

}  // namespace

tsDate::tsDate(int year, int month, int day) {
  if (year < 0 || year > kMaxYear || month < 0 || month > 99 || day < 0 || day > 99) {
    ymd_ = 0;  // cannot be written as yyyymmdd
    return;
  }
  ymd_ = year * 10000 + month * 100 + day;
}

tsDate tsDate::FromYmd(int yyyymmdd) {
  tsDate d;
  if (yyyymmdd > 0 && yyyymmdd <= 99999999) d.ymd_ = yyyymmdd;
  return d;
}

tsDate tsDate::Today() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tsDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

bool tsDate::IsValid() const { return ymd_ != 0 && ValidParts(Year(), Month(), Day()); }

bool tsDate::IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int tsDate::DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

tsDate& tsDate::AddDays(int days) {
  if (!IsValid()) {
    ymd_ = 0;
    return *this;
  }
  *this = FromDays(DaysFromCivil(Year(), Month(), Day()) + days);
  return *this;
}

int tsDate::DaysUntil(const tsDate& other) const {
  if (!IsValid() || !other.IsValid()) return 0;
  return static_cast<int>(DaysFromCivil(other.Year(), other.Month(), other.Day()) -
                          DaysFromCivil(Year(), Month(), Day()));
}

int tsDate::DayOfWeek() const {
  if (!IsValid()) return -1;
  const long long z = DaysFromCivil(Year(), Month(), Day());  // 1970-01-01 was a Thursday
  long long w = (z + 4) % 7;
  if (w < 0) w += 7;
  return static_cast<int>(w);
}

tsDate tsDate::Offset(int months, int flag) const {
  if (!IsValid()) return tsDate();
  const long long index = static_cast<long long>(Year()) * 12 + (Month() - 1) + months;
  if (index < static_cast<long long>(kMinYear) * 12 || index >= static_cast<long long>(kMaxYear + 1) * 12) {
    return tsDate();
  }
  const int y = static_cast<int>(index / 12);
  const int m = static_cast<int>(index % 12) + 1;
  const int last = DaysInMonth(y, m);
  int d = Day() < last ? Day() : last;
  if (flag == 0) return tsDate(y, m, d);
  if (Day() == DaysInMonth()) d = last;
  return tsDate(y, m, d) + 1;
}

std::unique_ptr<tsData> tsDate::Clone() const { return std::make_unique<tsDate>(*this); }

void tsDate::SetVal(const tsData& other) {
  if (other.Type() == tsDataType::kDate) {
    *this = static_cast<const tsDate&>(other);
    return;
  }
  ts_detail::SetViaText(*this, other);
}

std::string tsDate::Format() const {
  if (IsEmpty()) return std::string();
  const int y = Year(), m = Month(), d = Day();
  if (y >= 0 && y <= 9999 && m >= 0 && d >= 0) {  // the common case, without printf
    char t[10] = {static_cast<char>('0' + y / 1000),     static_cast<char>('0' + y / 100 % 10),
                  static_cast<char>('0' + y / 10 % 10),  static_cast<char>('0' + y % 10),
                  '-',
                  static_cast<char>('0' + m / 10),       static_cast<char>('0' + m % 10),
                  '-',
                  static_cast<char>('0' + d / 10),       static_cast<char>('0' + d % 10)};
    return std::string(t, sizeof t);
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", Year(), Month(), Day());
  return buf;
}

bool tsDate::Parse(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) {
    ymd_ = 0;
    return true;
  }
  int y = 0, m = 0, d = 0;
  size_t i = 0;
  bool ok = false;
  if (text.find('/') != std::string_view::npos) {
    // mm/dd/yyyy
    ok = ReadNumber(text, i, 1, 2, m) && i < text.size() && text[i++] == '/' && ReadNumber(text, i, 1, 2, d) &&
         i < text.size() && text[i++] == '/' && ReadNumber(text, i, 4, 4, y);
  } else if (text.find('-') != std::string_view::npos) {
    // yyyy-mm-dd
    ok = ReadNumber(text, i, 4, 4, y) && i < text.size() && text[i++] == '-' && ReadNumber(text, i, 1, 2, m) &&
         i < text.size() && text[i++] == '-' && ReadNumber(text, i, 1, 2, d);
  } else {
    // yyyymmdd
    int v = 0;
    ok = ReadNumber(text, i, 8, 8, v);
    y = v / 10000;
    m = v / 100 % 100;
    d = v % 100;
  }
  if (!ok || i != text.size() || !ValidParts(y, m, d)) return false;
  ymd_ = y * 10000 + m * 100 + d;
  return true;
}

bool tsDate::ToCell(tsCell& out, int /*decimals*/) const {
  if (!IsEmpty() && !IsValid()) return false;
  out = tsCell::Int(ymd_);
  return true;
}

bool tsDate::FromCell(const tsCell& in, int /*decimals*/) {
  if (in.is_text) return false;
  if (in.i == 0) {
    ymd_ = 0;
    return true;
  }
  if (in.i < 0 || in.i > 99991231) return false;
  const int v = static_cast<int>(in.i);
  if (!ValidParts(v / 10000, v / 100 % 100, v % 100)) return false;
  ymd_ = v;
  return true;
}

int tsDate::Compare(const tsData& other) const { return ts_detail::CompareValues(*this, other); }
