// Fuzz target: the macro options file, the library's own line-oriented text
// format read back from the company folder (framework/program/
// macro_options.h). The file may have been damaged or written by anything.
//
// Input: the bytes of the file. Checks: reading never fails on content
// (lines that cannot be read are ignored); storing a block keeps every entry
// that could be read and the block reads back as stored.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "framework/base/application.h"
#include "framework/base/private_file.h"
#include "framework/program/macro_options.h"

namespace {

constexpr unsigned short kTask = 4242;

const std::string& Path() {
  static const std::string path = [] {
    const std::string dir = bkfuzz::TempFolder("macro");
    TSGetApp()->SetCompanyFolder(dir);
    if (!tsMakePrivateFolder(dir + "/macros")) bkfuzz::Fail("no macros folder");
    return xm_options_path(kTask);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = Path();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  // Option keys the input may name: the first few bytes pick them.
  const short id = size > 0 ? static_cast<short>(data[0] % 8) : 0;
  const short sub = size > 1 ? static_cast<short>(data[1] % 4) : 0;

  std::vector<unsigned char> before;
  const short got = xm_get_options(kTask, id, sub, before);
  if (got != 0 && got != 13) bkfuzz::Fail("a damaged file must read as entries or none");
  const std::vector<xm_file_entry> files = xm_files(kTask);

  const std::vector<unsigned char> block(data, data + (size < 64 ? size : 64));
  if (xm_put_options(kTask, static_cast<short>(id + 100), sub, block.data(), block.size()) != 0) bkfuzz::Fail("put");
  std::vector<unsigned char> back;
  if (xm_get_options(kTask, static_cast<short>(id + 100), sub, back) != 0 || back != block) bkfuzz::Fail("block changed");
  std::vector<unsigned char> kept;
  if (xm_get_options(kTask, id, sub, kept) != got || kept != before) bkfuzz::Fail("a readable entry was lost");
  const std::vector<xm_file_entry> files_after = xm_files(kTask);
  if (files_after.size() != files.size()) bkfuzz::Fail("a readable file entry was lost");
  for (size_t i = 0; i < files.size(); ++i) {
    if (files[i].file_id != files_after[i].file_id || files[i].file_number != files_after[i].file_number) {
      bkfuzz::Fail("a file entry changed");
    }
  }
  return 0;
}
