// Helpers of the fuzz targets: a temporary company folder for the run,
// removed when the fuzzer exits, and the failure report.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace bkfuzz {

// Reports a broken property (with the input text, when given) and aborts, so
// libFuzzer keeps the input as a crash.
[[noreturn]] inline void Fail(const char* what, std::string_view text = {}) {
  std::fprintf(stderr, "%s: \"%.*s\"\n", what, static_cast<int>(text.size()), text.data());
  std::abort();
}

// A new folder /tmp/bk-fuzz-<name>-XXXXXX, removed at exit.
inline std::string TempFolder(const char* name) {
  static std::string folder;
  std::string pattern = std::string("/tmp/bk-fuzz-") + name + "-XXXXXX";
  if (!mkdtemp(pattern.data())) Fail("no temporary folder", pattern);
  folder = pattern;
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  });
  return folder;
}

}  // namespace bkfuzz
