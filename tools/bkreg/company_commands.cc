// bkreg init, demo: the company folder and its files.
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "framework/io/company.h"
#include "framework/io/file_manager.h"
#include "records/files.h"
#include "tools/bkreg/commands.h"
#include "tools/bkreg/module_commands.h"

namespace bkreg {

namespace {

// Creates the company folder (0700), its database and the module's files
// (0600); a company that exists keeps what it holds.
int Init(Context& ctx, bool quiet) {
  tsioFileManager fm(ctx.company);
  tsioStatus::Status st = fm.CreateCompany();
  for (const tsioFileSpec& spec : {BKMFileSpec, BKTFileSpec, BKTHistoryFileSpec, BKZFileSpec}) {
    if (st == tsioStatus::kSuccess) st = fm.Create(spec);
  }
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot create the company in " + ctx.company, st);
  if (!quiet) ctx.out << "Company ready in " << ctx.company << "\n";
  return kDone;
}

int Demo(Context& ctx) {
  int status = kDone;
  const bool fresh = access((ctx.company + "/" + tsioCompany::kDatabaseName).c_str(), F_OK) != 0;
  if (fresh) {
    if ((status = Init(ctx, false)) != kDone) return status;
    if ((status = EnterDemoData(ctx)) != kDone) return status;
    if ((status = RunDemoMonth(ctx)) != kDone) return status;
  }
  ctx.out << "Bank accounts\n";
  if ((status = ListBanks(ctx)) != kDone) return status;
  for (const char* id : {"OPERATING", "PAYROLL"}) {
    ctx.out << "\nRegister of " << id << "\n";
    if ((status = PrintRegister(ctx, id)) != kDone) return status;
  }
  return kDone;
}

}  // namespace

void AddCompanyCommands(CLI::App& app, Context& ctx) {
  CLI::App* init = app.add_subcommand("init", "creates the company folder and the module's files");
  init->callback([&ctx] { ctx.status = Init(ctx, false); });
  CLI::App* demo =
      app.add_subcommand("demo", "creates a demo company on first use, then lists its bank accounts and registers");
  demo->callback([&ctx] { ctx.status = Demo(ctx); });
}

}  // namespace bkreg
