// bkreg: the bank register's command-line program. It does the module's work
// on a company folder holding one embedded database.
//
//   bkreg [--company DIR] [--format text|json|csv] [--wait SECONDS] COMMAND [ARGS]
//
// The company folder is --company, else $BKREG_COMPANY, else ./demo-company.
// Every command has --help. Exit status: see context.h (0 done, 1 refused,
// 2 failed, 3 locked or busy).
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "framework/base/application.h"
#include "framework/base/log.h"
#include "tools/bkreg/commands.h"
#include "web/serve.h"

namespace {

// The wait for locked records from $BKREG_WAIT (seconds), when it is set.
bool WaitFromEnvironment(bkreg::Context& ctx) {
  const char* env = std::getenv("BKREG_WAIT");
  if (env == nullptr || *env == '\0') return true;
  char* end = nullptr;
  const double v = std::strtod(env, &end);
  if (end == env || *end != '\0' || !(v >= 0 && v <= 3600)) {
    std::cerr << "bkreg: BKREG_WAIT takes seconds from 0 to 3600, not '" << env << "'\n";
    return false;
  }
  ctx.wait_seconds = v;
  return true;
}

// The first word of the command line that names no command where a command
// is expected ("bkreg frobnicate", "bkreg bank lst"), or "".
std::string UnknownCommand(CLI::App& app, int argc, char** argv) {
  CLI::App* level = &app;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--company" || a == "--format" || a == "--wait") {
      ++i;
      continue;
    }
    if (a.rfind("-", 0) == 0) continue;
    if (level->get_subcommands({}).empty()) return "";
    CLI::App* sub = nullptr;
    try {
      sub = level->get_subcommand(a);
    } catch (const CLI::Error&) {
      return a;
    }
    level = sub;
  }
  return "";
}

// Every date option of every command refuses an empty value: an empty
// date is not "today" nor "no bound" (leave the option out for that).
void RefuseEmptyDates(CLI::App& app) {
  for (CLI::Option* opt : app.get_options()) {
    for (const std::string& name : opt->get_lnames()) {
      if (name == "date" || name == "from" || name == "to" || name == "as-of" || name == "start" || name == "end") {
        opt->check(CLI::Validator(
            [](std::string& value) {
              return value.find_first_not_of(" \t") == std::string::npos
                         ? std::string("an empty date is not a date (leave the option out instead)")
                         : std::string();
            },
            "DATE"));
        break;
      }
    }
  }
  for (CLI::App* sub : app.get_subcommands({})) RefuseEmptyDates(*sub);
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe is a failed write (reported, status 2), not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  // Failures reach the user in bkreg's own words; log lines stay in the log.
  x_log_set_stderr_fallback(false);
  TSGetApp()->SetApplicationID("BK");

  bkreg::Context ctx;
  if (!WaitFromEnvironment(ctx)) return bkreg::kRefused;

  CLI::App app{"bkreg: the bank register on a company folder", "bkreg"};
  app.set_version_flag("--version", "bkreg 1.0");
  app.require_subcommand(1);
  app.fallthrough();  // the global options may also follow the command
  app.add_option("--company", ctx.company, "company folder (default: $BKREG_COMPANY, else ./demo-company)");
  app.add_option("--format", ctx.format_name, "output format")
      ->check(CLI::IsMember({"text", "json", "csv"}))
      ->each([&ctx](const std::string& v) { (void)bkreg::ParseFormat(v, &ctx.format); })
      ->capture_default_str();
  app.add_option("--wait", ctx.wait_seconds,
                 "seconds an entry waits for a bank account or run header another program holds "
                 "(default 5, or $BKREG_WAIT)")
      ->check(CLI::Range(0.0, 3600.0));
  app.footer(
      "Exit status: 0 done, 1 refused (usage, input rules, business rules), 2 failed "
      "(damaged or missing database, output not written), 3 locked or busy.");

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
  bkweb::AddServeCommand(app, ctx);
  RefuseEmptyDates(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    const std::string unknown = UnknownCommand(app, argc, argv);
    if (!unknown.empty()) {
      std::cerr << "bkreg: unknown command '" << unknown << "'\n(bkreg --help lists the commands)\n";
      return bkreg::kRefused;
    }
    std::cerr << "bkreg: " << e.what() << "\n(bkreg --help lists the commands; bkreg COMMAND --help its options)\n";
    return bkreg::kRefused;
  }
  return ctx.Finish(ctx.status);
}
