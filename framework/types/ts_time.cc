// tsTime: time of day, text and storage.
#include "framework/types/ts_time.h"

#include <cstdio>
#include <ctime>

#include "framework/types/ts_value_support.h"

namespace {

bool ReadTwoDigits(std::string_view t, size_t& i, size_t min_digits, int& out) {
  const size_t start = i;
  int v = 0;
  while (i < t.size() && i - start < 2 && t[i] >= '0' && t[i] <= '9') v = v * 10 + (t[i++] - '0');
  if (i - start < min_digits) return false;
  out = v;
  return true;
}

}  // namespace

tsTime::tsTime(int hour, int minute, int second) {
  if (hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60) {
    secs_ = hour * 3600 + minute * 60 + second;
  }
}

tsTime tsTime::FromSeconds(int seconds) {
  tsTime t;
  if (seconds >= 0 && seconds < kSecondsPerDay) t.secs_ = seconds;
  return t;
}

tsTime tsTime::Now() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  // A leap second (tm_sec 60) counts as the last second of its minute.
  return tsTime(tm.tm_hour, tm.tm_min, tm.tm_sec > 59 ? 59 : tm.tm_sec);
}

std::unique_ptr<tsData> tsTime::Clone() const { return std::make_unique<tsTime>(*this); }

void tsTime::SetVal(const tsData& other) {
  if (other.Type() == tsDataType::kTime) {
    *this = static_cast<const tsTime&>(other);
    return;
  }
  ts_detail::SetViaText(*this, other);
}

std::string tsTime::Format() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", Hour(), Minute(), Second());
  return buf;
}

bool tsTime::Parse(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) {
    secs_ = 0;
    return true;
  }
  size_t i = 0;
  int h = 0, m = 0, s = 0;
  if (!ReadTwoDigits(text, i, 1, h) || i >= text.size() || text[i++] != ':' || !ReadTwoDigits(text, i, 2, m)) {
    return false;
  }
  if (i < text.size() && (text[i++] != ':' || !ReadTwoDigits(text, i, 2, s))) return false;
  if (i != text.size() || h > 23 || m > 59 || s > 59) return false;
  secs_ = h * 3600 + m * 60 + s;
  return true;
}

bool tsTime::ToCell(tsCell& out, int /*decimals*/) const {
  out = tsCell::Int(secs_);
  return true;
}

bool tsTime::FromCell(const tsCell& in, int /*decimals*/) {
  if (in.is_text || in.i < 0 || in.i >= kSecondsPerDay) return false;
  secs_ = static_cast<int>(in.i);
  return true;
}

int tsTime::Compare(const tsData& other) const { return ts_detail::CompareValues(*this, other); }
