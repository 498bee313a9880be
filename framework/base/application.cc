// The process-wide application object.
#include "framework/base/application.h"

#include <cstdlib>
#include <cstring>

namespace {

tsResponder& DefaultResponder() {
  // Never destroyed, like the application object.
  static tsConsoleResponder* responder = new tsConsoleResponder();
  return *responder;
}

}  // namespace

tsApplication* TSGetApp() {
  static tsApplication* app = new tsApplication();
  return app;
}

bool tsApplication::IsUnattended() const {
  if (unattended_) return true;
  const char* env = std::getenv("BK_UNATTENDED");
  return env != nullptr && std::strcmp(env, "1") == 0;
}

std::string tsApplication::ApplicationID() const {
  std::lock_guard lock(mu_);
  return application_id_;
}

void tsApplication::SetApplicationID(std::string id) {
  std::lock_guard lock(mu_);
  application_id_ = std::move(id);
}

std::string tsApplication::CompanyFolder() const {
  std::lock_guard lock(mu_);
  return company_folder_;
}

void tsApplication::SetCompanyFolder(std::string folder) {
  std::lock_guard lock(mu_);
  company_folder_ = std::move(folder);
}

tsResponder& tsApplication::Responder() const {
  tsResponder* r = responder_.load();
  return r ? *r : DefaultResponder();
}

tsResponder* tsApplication::SetResponder(tsResponder* responder) { return responder_.exchange(responder); }

void tsApplication::Message(std::string_view text, int level) const { Responder().ShowMessage(text, level); }

int tsApplication::MessageBox(std::string_view title, std::string_view text, unsigned style) const {
  return Responder().MessageBox(title, text, style);
}
