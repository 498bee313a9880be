// The general-ledger module as a whole: what happens when it is loaded, its
// live-object count and the switches tests use.
//
// The module is the shared library libLEDGERCORE.so. Programs find its
// factories through the module registry and its functions under the
// application code "GL" (framework/module). Its C functions live in
// functions.cc (validation), posting.cc and glt_lines.cc (processing and
// posting GL transactions) and recap.cc (the account recap).
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "framework/base/catalogue.h"
#include "framework/dictionary/gl_files.h"
#include "gl/messages.h"
#include "gl/posting.h"
#include "gl/object_base.h"

namespace gl {

namespace {
std::atomic<int> live{0};
std::atomic<bool> refuse{false};
std::atomic<bool> no_objects{false};

// Runs when the module is loaded.
[[maybe_unused]] const bool loaded = [] {
  tsRegisterLedgerFiles();
  RegisterMessages();
  return true;
}();
}  // namespace

int LiveObjects() { return live.load(); }
bool RefusingInterfaces() { return refuse.load(); }
void SetRefusingInterfaces(bool on) { refuse.store(on); }
bool FactoriesFail() { return no_objects.load(); }
void SetFactoriesFail(bool fail) { no_objects.store(fail); }
void detail::CountObject(int delta) { live.fetch_add(delta); }

namespace {
// The call-failure switch: which function (empty: any posting function),
// after how many more calls, with what answer.
std::mutex calls_mu;
std::map<std::string, int> calls;
std::string fail_function;
int fail_countdown = 0;
int fail_times = 0;
int fail_status = 0;
}  // namespace

bool FailCall(const char* function, short* status) {
  std::lock_guard<std::mutex> lock(calls_mu);
  ++calls[function];
  ++calls[""];
  if (fail_countdown <= 0 && fail_times <= 0) return false;
  if (!fail_function.empty() && fail_function != function) return false;
  if (fail_countdown > 0 && --fail_countdown > 0) return false;
  if (fail_times <= 0) return false;
  --fail_times;
  *status = static_cast<short>(fail_status);
  return true;
}

void ArmCallFailure(const char* function, int nth, int status, int times) {
  std::lock_guard<std::mutex> lock(calls_mu);
  fail_function = function ? function : "";
  fail_countdown = nth > 0 ? nth : 0;
  fail_times = nth > 0 ? times : 0;
  fail_status = status;
}

int CallCount(const char* function) {
  std::lock_guard<std::mutex> lock(calls_mu);
  auto it = calls.find(function ? function : "");
  return it == calls.end() ? 0 : it->second;
}

std::string MessageText(int number) {
  if (number <= 0 || number > 65535) return {};
  auto entry = ccFindMessage("GL", static_cast<unsigned short>(number));
  return entry ? entry->text : std::string();
}

void RegisterMessages() {
  ccRegisterMessages("GL", {
      {kBuilderMessages + 1, ccError::kError, "The intercompany prefixes of the accounts do not match."},
      {kBuilderMessages + 2, ccError::kError, "The prefix of the first account is not set up in General Ledger."},
      {kBuilderMessages + 3, ccError::kError, "The prefix of the second account is not set up in General Ledger."},
      {kBuilderMessages + 4, ccError::kError, "The General Ledger master file cannot be read."},
      {kBuilderMessages + 5, ccError::kError, "The base account is not set up in General Ledger."},
      {kBuilderMessages + 6, ccError::kError, "The base account is not set up for this kind of intercompany entry."},
      {kBuilderMessages + 7, ccError::kError, "The intercompany account does not exist in General Ledger."},
      {kValidatorMessages + 1, ccError::kError, "The base account is not set up in General Ledger."},
      {kValidatorMessages + 2, ccError::kError, "The base account is not set up for this kind of intercompany entry."},
      {kValidatorMessages + 3, ccError::kError, "The base account is inactive."},
      {kValidatorMessages + 4, ccError::kError, "The General Ledger master file cannot be read."},
  });
}

}  // namespace gl

#define GL_EXPORT extern "C" __attribute__((visibility("default")))

// For tests: the number of the module's objects alive now.
GL_EXPORT int gl_live_objects() { return gl::LiveObjects(); }
// For tests: while `on` is not 0 every object refuses every interface but
// the base one.
GL_EXPORT void gl_refuse_interfaces(int on) { gl::SetRefusingInterfaces(on != 0); }
// For tests: while `on` is not 0 every factory returns no object.
GL_EXPORT void gl_fail_factories(int on) { gl::SetFactoriesFail(on != 0); }
// For tests: the `nth` next call (1: the very next) of `function` (null or
// "": of any of GL_PROCESS_TRANSACTION, GL_REMOVE_TRANSACTION,
// GL_INIT_UPDATE, GL_UPDATE) and the `times` - 1 calls after it answer
// `status` without running; then the switch is off. nth 0 disarms.
GL_EXPORT void gl_fail_call(const char* function, int nth, int status, int times) {
  gl::ArmCallFailure(function, nth, status, times);
}
// For tests: how many times `function` was called since the module was
// loaded (null or "": the four posting functions together).
GL_EXPORT int gl_call_count(const char* function) { return gl::CallCount(function); }
