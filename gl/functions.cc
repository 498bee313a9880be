// The general-ledger module's C functions for validation and file
// notifications (types: framework/module/gl_functions.h).
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "framework/base/log.h"
#include "framework/control/account_format.h"
#include "framework/module/gl_functions.h"
#include "framework/module/gl_objects.h"
#include "gl/glm_reader.h"

namespace {

struct Request {
  unsigned short glm_file = 0;
  short ic_use = 0;          // offset 696: kGLList* intercompany use required
  bool accept_inactive = false;
};

Request ReadRequest(const void* block) {
  const auto* b = static_cast<const unsigned char*>(block);
  Request r;
  short flag = 0;
  std::memcpy(&r.glm_file, b + kGLValidRequestFirst, sizeof r.glm_file);
  std::memcpy(&r.ic_use, b + kGLValidRequestSecond, sizeof r.ic_use);
  std::memcpy(&flag, b + kGLValidRequestFlag, sizeof flag);
  r.accept_inactive = flag != 0;
  return r;
}

// Result words: 0 valid, 1 unknown, 2 not set up for the intercompany use,
// 3 inactive, 4 master file unavailable, 5 no such section.
short Answer(int32_t* result, int32_t code) {
  if (result) *result = code;
  return code == 0 ? kGLValid : 0;
}

short CheckAccount(const Request& r, const std::string& account, int32_t* result) {
  gl::GlmReader glm;
  if (!glm.Open(static_cast<short>(r.glm_file))) return Answer(result, 4);
  tsGLAccountRec a;
  if (!glm.FindAccount(account, &a)) return Answer(result, 1);
  if (!a.active.Value() && !r.accept_inactive) return Answer(result, 3);
  if (r.ic_use == kGLListPayable && !a.ic_payable.Value()) return Answer(result, 2);
  if (r.ic_use == kGLListReceivable && !a.ic_receivable.Value()) return Answer(result, 2);
  return Answer(result, 0);
}

std::mutex pst_mu;
short pst_args[3] = {0, 0, 0};
int pst_calls = 0;

}  // namespace

#define GL_EXPORT extern "C" __attribute__((visibility("default")))

// Valid when the account (unformatted) is in the master file, active unless
// the request's flag accepts inactive ones, and set up for the intercompany
// use the request asks for.
GL_EXPORT short GL_VALID_ACCOUNT(void* request, short, short, const char* account, short, short,
                                 int32_t* result) {
  if (!request || !account) return Answer(result, 1);
  return CheckAccount(ReadRequest(request), account, result);
}

// Valid when the value (unformatted) is known for the section: 0 as
// GL_VALID_ACCOUNT, 6 a prefix, 7 a base account (active unless the flag
// accepts inactive ones), 1 to 5 the section of some account.
GL_EXPORT short GL_VALID_SECTION(void* request, short section, short, short, const char* value, short,
                                 int32_t* result) {
  if (!request || !value) return Answer(result, 1);
  const Request r = ReadRequest(request);
  if (section == 0) return CheckAccount(r, value, result);
  gl::GlmReader glm;
  if (!glm.Open(static_cast<short>(r.glm_file))) return Answer(result, 4);
  switch (section) {
    case 6: return Answer(result, glm.FindPrefix(value) ? 0 : 1);
    case 7: {
      tsGLBaseAccountRec b;
      if (!glm.FindBase(value, &b)) return Answer(result, 1);
      return Answer(result, b.active.Value() || r.accept_inactive ? 0 : 3);
    }
    case 1: case 2: case 3: case 4: case 5:
      return Answer(result, glm.AnyAccountWithSection(section, value) ? 0 : 1);
    default: return Answer(result, 5);
  }
}

// A program tells the general ledger that it has read (posted from) data
// files: the three numbers are noted and logged.
GL_EXPORT void GL_PST_RD_FILE(short a, short b, short c) {
  {
    std::lock_guard<std::mutex> lock(pst_mu);
    pst_args[0] = a;
    pst_args[1] = b;
    pst_args[2] = c;
    ++pst_calls;
  }
  x_log(1, "GL: post read file " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c));
}

// For tests: how many times GL_PST_RD_FILE ran, and its last arguments.
GL_EXPORT int gl_pst_rd_file_calls(short* last_args) {
  std::lock_guard<std::mutex> lock(pst_mu);
  if (last_args) std::memcpy(last_args, pst_args, sizeof pst_args);
  return pst_calls;
}
