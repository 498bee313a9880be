// Account formats and the xk_ functions (see account_format.h).
#include "framework/control/account_format.h"

#include <string>
#include <vector>

#include "framework/base/application.h"
#include "framework/control/control_cache.h"

namespace {

// The numbered sections (1..5) that a section number covers, in order.
std::vector<short> Covered(short section) {
  switch (section) {
    case 0: return {1, 2, 3, 4, 5};
    case 1: case 2: case 3: case 4: case 5: return {section};
    case 6: return {1, 2, 3};
    case 7: return {4, 5};
    default: return {};
  }
}

std::string StripSeparators(const tsAccountFormat& f, std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c != f.separator) out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

short Width(const tsAccountFormat& f, short section) {
  short w = 0;
  for (short s : Covered(section)) w = static_cast<short>(w + f.EffectiveWidth(s));
  return w;
}

}  // namespace

short tsAccountFormat::EffectiveWidth(short section) const {
  if (section < 1 || section > 5) return 0;
  if (section <= 3 && !prefixed) return 0;
  const short w = widths[static_cast<size_t>(section - 1)];
  return w > 0 ? w : 0;
}

tsAccountFormat tsDefaultAccountFormat(short number) {
  tsAccountFormat f;
  f.number = number;
  return f;
}

tsAccountFormat tsGetAccountFormat(short number) {
  return ts_control_detail::CachedAccountFormat(TSGetApp()->CompanyFolder(), number);
}

short xk_prefixed(short format) { return Width(tsGetAccountFormat(format), 6) > 0 ? 1 : 0; }

short xk_width(short format, short section, short formatted) {
  const tsAccountFormat f = tsGetAccountFormat(format);
  short w = Width(f, section);
  if (formatted) {
    short parts = 0;
    for (short s : Covered(section)) parts = static_cast<short>(parts + (f.EffectiveWidth(s) > 0 ? 1 : 0));
    if (parts > 1) w = static_cast<short>(w + parts - 1);
  }
  return w;
}

tsAlpha xk_get_section(const tsAlpha& value, short format, short from_section, short section) {
  const tsAccountFormat f = tsGetAccountFormat(format);
  const std::string v = StripSeparators(f, value.view());
  const std::vector<short> wanted = Covered(section);
  std::string out;
  size_t offset = 0;
  for (short s : Covered(from_section)) {
    const size_t w = static_cast<size_t>(f.EffectiveWidth(s));
    bool take = false;
    for (short x : wanted) take = take || x == s;
    if (take && offset < v.size()) out += v.substr(offset, w);
    offset += w;
  }
  return tsAlpha(out);
}

tsAlpha xk_format_alpha(short format, short section, const tsAlpha& value) {
  const tsAccountFormat f = tsGetAccountFormat(format);
  const std::string v = StripSeparators(f, value.view());
  std::string out;
  size_t offset = 0;
  for (short s : Covered(section)) {
    const size_t w = static_cast<size_t>(f.EffectiveWidth(s));
    if (w == 0 || offset >= v.size()) continue;
    if (!out.empty()) out += f.separator;
    out += v.substr(offset, w);
    offset += w;
  }
  if (offset < v.size()) out += v.substr(offset);
  return tsAlpha(out);
}

tsAlpha xk_unformat_alpha(short format, short /*section*/, const tsAlpha& value) {
  return tsAlpha(StripSeparators(tsGetAccountFormat(format), value.view()));
}

tsAlpha xk_unformat_field(short format, short section, const tsAlpha& value) {
  const tsAccountFormat f = tsGetAccountFormat(format);
  const std::string v = StripSeparators(f, value.view());
  if (section != 0 && v.size() > static_cast<size_t>(Width(f, section))) {
    return xk_get_section(tsAlpha(v), format, 0, section);
  }
  return tsAlpha(v);
}
