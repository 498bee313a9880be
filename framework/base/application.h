// tsApplication: the process-wide application object of a module program.
//
// It answers what the running application is (its identifier, whether it
// runs unattended, whether attachments are in use, its company folder) and is
// the road by which messages and message boxes reach a person: everything
// goes through its responder (framework/base/responder.h).
//
// All members may be called from any thread.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "framework/base/export.h"
#include "framework/base/responder.h"

// A window handle. There are no windows; the handle only identifies the
// application's (absent) main window to code that passes one on.
using tsWindowHandle = const void*;

class tsApplication;

// The application object of this process (created on first use, never
// destroyed, so it can be used while the process ends).
TS_EXPORT tsApplication* TSGetApp();

class TS_EXPORT tsApplication {
 public:
  tsApplication(const tsApplication&) = delete;
  tsApplication& operator=(const tsApplication&) = delete;

  // True when the application runs without a person to answer: set by
  // SetUnattended(true) or by the environment variable BK_UNATTENDED=1.
  bool IsUnattended() const;
  void SetUnattended(bool unattended) { unattended_ = unattended; }

  // Whether records keep attachments (true) or only notes (false). Default
  // true.
  bool AttachmentsInUse() const { return attachments_in_use_; }
  void SetAttachmentsInUse(bool in_use) { attachments_in_use_ = in_use; }

  // The identifier of the running application ("BK" by default; the general
  // ledger runs as "GL").
  std::string ApplicationID() const;
  void SetApplicationID(std::string id);

  // The company folder: where the company's data and the log (bkreg.log)
  // live. Empty until set.
  std::string CompanyFolder() const;
  void SetCompanyFolder(std::string folder);
  // Where this machine keeps the company's own files (the log, journals,
  // spool files, macro options): the company folder itself, or, for a
  // company on a database server ("postgresql://..."), a private folder
  // named after the address (password left out) under $BKREG_LOCAL_DIR,
  // else $XDG_STATE_HOME/bkreg, else ~/.local/state/bkreg; created on
  // first use. Empty while no company folder is set.
  std::string LocalFolder() const;

  // A stable, non-null dummy handle.
  tsWindowHandle ParentWindow() const { return this; }

  // The responder in use: the one installed, else the default console
  // responder. Never null.
  tsResponder& Responder() const;
  // Installs `responder` (borrowed: it must outlive its installation);
  // nullptr restores the default. Returns the responder installed before,
  // nullptr when that was the default, so that passing the result back
  // restores the previous state.
  tsResponder* SetResponder(tsResponder* responder);

  // Shows one text at a level (default: information) through the responder.
  void Message(std::string_view text, int level = 1) const;
  // Asks through the responder; see tsResponder::MessageBox.
  int MessageBox(std::string_view title, std::string_view text, unsigned style) const;

 private:
  friend tsApplication* TSGetApp();
  tsApplication() = default;

  std::atomic<bool> unattended_{false};
  std::atomic<bool> attachments_in_use_{true};
  std::atomic<tsResponder*> responder_{nullptr};
  mutable std::mutex mu_;  // guards the strings below
  std::string application_id_ = "BK";
  std::string company_folder_;
};

// Installs a responder for the life of the scope and then puts back the one
// that was installed before.
class TS_EXPORT tsResponderScope {
 public:
  explicit tsResponderScope(tsResponder* responder) : previous_(TSGetApp()->SetResponder(responder)) {}
  ~tsResponderScope() { TSGetApp()->SetResponder(previous_); }
  tsResponderScope(const tsResponderScope&) = delete;
  tsResponderScope& operator=(const tsResponderScope&) = delete;

 private:
  tsResponder* previous_;
};
