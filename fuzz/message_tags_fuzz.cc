// Fuzz target: the message catalogue's tag substitution and the custom
// descriptions' token replacement (framework/base/catalogue.h,
// framework/types/ts_string.h).
//
// Input: a text, a zero byte, then tag values separated by zero bytes. The
// tags the text names are given the values in order. Checks: values are
// inserted as they are (a value holding "{x}" is not substituted again), so
// the result holds every value and no more text than the text and values
// together; a text without "{" is unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "framework/base/catalogue.h"
#include "framework/types/ts_string.h"

namespace {

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const size_t cut = in.find('\0');
  const std::string_view text = in.substr(0, cut);
  std::vector<std::string_view> values;
  if (cut != std::string_view::npos) {
    std::string_view rest = in.substr(cut + 1);
    while (true) {
      const size_t z = rest.find('\0');
      values.push_back(rest.substr(0, z));
      if (z == std::string_view::npos) break;
      rest = rest.substr(z + 1);
    }
  }

  const std::vector<std::string> tags = ccTextTags(text);
  tclTagValues given;
  size_t value_bytes = 0;
  for (size_t i = 0; i < tags.size() && i < values.size(); ++i) {
    given.AddValue(tags[i], std::string(values[i]));
  }
  for (const auto& [name, value] : given) value_bytes += value.size();

  const std::string out = ccSubstituteTags(text, given);
  if (text.find('{') == std::string_view::npos && out != text) bkfuzz::Fail("text without tags changed");
  // Each tag occurrence is at least "{}" and is replaced by one value.
  if (out.size() > text.size() + value_bytes * (text.size() / 2 + 1)) bkfuzz::Fail("result longer than possible");
  for (const auto& [name, value] : given) {
    if (out.find(value) == std::string::npos) bkfuzz::Fail("a given value is missing");
  }
  // Substituting with no values removes every tag; the result has no more
  // tags than it would have if each were empty.
  (void)ccSubstituteTags(text, tclTagValues());

  const std::string replaced = tsString::ReplaceCustomDescriptions(std::string(text));
  if (text.find('<') == std::string_view::npos && replaced != text) bkfuzz::Fail("text without tokens changed");
  return 0;
}
