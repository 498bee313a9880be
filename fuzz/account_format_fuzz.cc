// Fuzz target: account formats and the account text functions
// (framework/control/account_format.h) for any format a control file may
// hold and any account text.
//
// Input: prefixed, separator, five widths (signed bytes), two section
// numbers, then the account text. The format is stored in a real company's
// control file and read back through the functions. Checks: a section taken
// from an account is never wider than the section; an account text without
// separators and trailing spaces comes back from formatting unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "framework/base/application.h"
#include "framework/control/account_format.h"
#include "framework/control/control_file.h"
#include "framework/io/file_manager.h"

namespace {

constexpr short kFormat = 9;

tsControlFile& Control() {
  static std::unique_ptr<tsControlFile> control = [] {
    const std::string dir = bkfuzz::TempFolder("format");
    tsioFileManager fm(dir);
    if (fm.CreateCompany() != tsioStatus::kSuccess) bkfuzz::Fail("company", dir);
    TSGetApp()->SetCompanyFolder(dir);
    auto c = tsControlFile::Open(dir);
    if (!c) bkfuzz::Fail("control file", dir);
    return c;
  }();
  return *control;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  tsAccountFormat f = tsDefaultAccountFormat(kFormat);
  f.prefixed = data[0] & 1;
  f.separator = static_cast<char>(data[1]);
  for (int i = 0; i < 5; ++i) f.widths[static_cast<size_t>(i)] = static_cast<int8_t>(data[2 + i]);
  const short section = static_cast<short>(data[7] % 10);
  const short from = static_cast<short>(data[8] % 10);
  const std::string text(reinterpret_cast<const char*>(data + 9), size - 9);

  static tsAccountFormat stored = tsDefaultAccountFormat(kFormat);
  if (!(f == stored)) {
    if (Control().PutAccountFormat(f) != tsioStatus::kSuccess) return 0;  // a value the file refuses
    stored = f;
  }
  const tsAccountFormat in_force = tsGetAccountFormat(kFormat);

  const tsAlpha value(text);
  const short width = xk_width(kFormat, section, 0);
  if (width < 0) bkfuzz::Fail("negative width", text);
  if (xk_width(kFormat, section, 1) < width) bkfuzz::Fail("formatted narrower than unformatted", text);
  const tsAlpha part = xk_get_section(value, kFormat, from, section);
  if (part.str().size() > static_cast<size_t>(width)) bkfuzz::Fail("section wider than its width", part.str());
  (void)xk_unformat_field(kFormat, section, value);
  (void)xk_prefixed(kFormat);

  const bool plain = text.find(in_force.separator) == std::string::npos && (text.empty() || text.back() != ' ');
  if (plain) {
    const tsAlpha shown = xk_format_alpha(kFormat, section, value);
    const tsAlpha back = xk_unformat_alpha(kFormat, section, shown);
    if (back.str() != text) bkfuzz::Fail("formatting then unformatting changed the account", text);
  }
  return 0;
}
