// How the web register does the module's work: through bkreg's own command
// bodies and its module-work layer (tools/bkreg), so a page and a command
// follow the same rules, locks and units of work.
//
// Rules:
//   - One request at a time works in the library (Library::Hold): the
//     framework's company connection and units of work belong to one
//     thread. Other requests wait for it, up to a bound, and are then
//     answered 503; reading the request and writing the answer happen
//     outside it.
//   - A change runs a bkreg command (RunCommand) on a context of its own:
//     the company opened for that request only, nothing held afterwards, the
//     command's output (JSON for tables) and messages captured. Arguments
//     are passed as "--option=value", so no text a person typed is ever
//     taken for an option.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "framework/base/errors.h"
#include "tools/bkreg/output.h"

namespace bkweb {

// What every request works on.
struct Config {
  std::string company;        // the company folder (or server address)
  double wait_seconds = 5.0;  // how long a change waits for what another program holds
};

class Library {
 public:
  // Waits for the library, at most `limit`; nullopt when it stayed busy.
  static std::optional<std::unique_lock<std::timed_mutex>> Hold(std::chrono::milliseconds limit);

 private:
  static std::timed_mutex mutex_;
};

// What one bkreg command said.
struct CommandResult {
  int status = 0;          // bkreg's exit status (0 done, 1 refused, 2 failed, 3 busy)
  std::string out;         // its output
  std::string err;         // its messages ("bkreg: " lines and the catalogue's texts)
  ccErrors messages;       // the catalogue's messages it showed, with their numbers
  // The message lines, without the "bkreg: " in front.
  std::vector<std::string> Lines() const;
};

// Runs `args` (a bkreg command line after the program name, e.g. {"batch",
// "list"}) on the configured company in `format`. Call with the library held.
CommandResult RunCommand(const Config& config, const std::vector<std::string>& args,
                         bkreg::Format format = bkreg::Format::kJson);

// "--name=value".
inline std::string Opt(const char* name, const std::string& value) { return std::string(name) + "=" + value; }

}  // namespace bkweb
