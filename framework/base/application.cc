// The process-wide application object.
#include "framework/base/application.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "framework/base/private_file.h"

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

std::string tsApplication::LocalFolder() const {
  std::string folder = CompanyFolder();
  const bool server = folder.rfind("postgresql://", 0) == 0 || folder.rfind("postgres://", 0) == 0;
  if (!server) return folder;
  // The address without its scheme and password, as a folder name.
  std::string name = folder.substr(folder.find("://") + 3);
  size_t at = name.find('@');
  size_t colon = name.find(':');
  if (at != std::string::npos && colon < at) name.erase(colon, at - colon);
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
  }
  std::string base;
  if (const char* d = std::getenv("BKREG_LOCAL_DIR"); d && *d) {
    base = d;
  } else if (const char* x = std::getenv("XDG_STATE_HOME"); x && *x) {
    base = std::string(x) + "/bkreg";
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.local/state/bkreg";
  }
  // Each level made owner-only when missing.
  for (size_t slash = base.find('/', 1); slash != std::string::npos; slash = base.find('/', slash + 1)) {
    (void)tsMakePrivateFolder(base.substr(0, slash));
  }
  (void)tsMakePrivateFolder(base);
  (void)tsMakePrivateFolder(base + "/" + name);
  return base + "/" + name;
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
