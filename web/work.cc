// Module work for the pages: the library's lock and bkreg commands run on a
// context of their own (work.h).
#include "web/work.h"

#include <algorithm>
#include <sstream>

#include <CLI/CLI.hpp>

#include "tools/bkreg/commands.h"
#include "tools/bkreg/context.h"

namespace bkweb {

std::timed_mutex Library::mutex_;

std::optional<std::unique_lock<std::timed_mutex>> Library::Hold(std::chrono::milliseconds limit) {
  std::unique_lock<std::timed_mutex> lock(mutex_, std::defer_lock);
  if (!lock.try_lock_for(limit)) return std::nullopt;
  return lock;
}

std::vector<std::string> CommandResult::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(err);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("bkreg: ", 0) == 0) line.erase(0, 7);
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

CommandResult RunCommand(const Config& config, const std::vector<std::string>& args, bkreg::Format format) {
  CommandResult result;
  std::ostringstream out, err;
  {
    bkreg::Context ctx(out, err);
    ctx.company = config.company;
    ctx.wait_seconds = config.wait_seconds;
    ctx.format = format;
    ctx.format_name = format == bkreg::Format::kJson ? "json" : format == bkreg::Format::kCsv ? "csv" : "text";
    ctx.messages = &result.messages;
    CLI::App app{"bkreg", "bkreg"};
    app.require_subcommand(1);
    bkreg::AddCompanyCommands(app, ctx);
    bkreg::AddBankCommands(app, ctx);
    bkreg::AddEntryCommands(app, ctx);
    bkreg::AddRegisterCommands(app, ctx);
    bkreg::AddLockCommands(app, ctx);
    bkreg::AddBatchCommands(app, ctx);
    bkreg::AddGlCommands(app, ctx);
    bkreg::AddPostCommands(app, ctx);
    bkreg::AddTransactionCommands(app, ctx);
    bkreg::AddStatementCommands(app, ctx);
    // CLI11 takes a vector in reverse order.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
      app.parse(reversed);
      result.status = ctx.status;
    } catch (const CLI::ParseError& e) {
      err << "bkreg: " << e.what() << "\n";
      result.status = bkreg::kRefused;
    } catch (const std::exception& e) {
      err << "bkreg: " << e.what() << "\n";
      result.status = bkreg::kFailed;
    }
    out.flush();
  }
  result.out = out.str();
  result.err = err.str();
  return result;
}

}  // namespace bkweb
