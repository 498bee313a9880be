// bkreg init, demo: the company folder and its files.
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "framework/io/backend.h"
#include "framework/io/backup.h"
#include "framework/io/company.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/file_manager.h"
#include "framework/io/read_snapshot.h"
#include "programs/bk_program.h"
#include "records/files.h"
#include "statements/statement_cursors.h"
#include "tools/bkreg/commands.h"
#include "tools/bkreg/module_commands.h"
#include "verify/bk_verify.h"

namespace bkreg {

namespace {

// Whether the company is there: a folder's database file, or a server
// database that holds the module's master file (an administrator may have
// made the database beforehand, empty).
bool HasCompany(const std::string& company) {
  if (!tsioIsServerAddress(company)) return access((company + "/" + tsioCompany::kDatabaseName).c_str(), F_OK) == 0;
  tsioStatus::Status st = tsioStatus::kSuccess;
  std::shared_ptr<tsioCompany> c = tsioCompany::Open(company, false, &st);
  return c != nullptr && c->FileExists(BKMFileSpec.Code(), BKMFileSpec.Instance(), nullptr);
}

// Creates the company folder (0700), its database and the module's files
// (0600); a company that exists keeps what it holds.
int Init(Context& ctx, bool quiet) {
  ctx.ApplyWait();
  const bool existed = HasCompany(ctx.company);
  tsioFileManager fm(ctx.company);
  tsioStatus::Status st = fm.CreateCompany();
  for (const tsioFileSpec& spec : {BKMFileSpec, BKTFileSpec, BKTHistoryFileSpec, BKZFileSpec}) {
    if (st == tsioStatus::kSuccess) st = fm.Create(spec);
  }
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot create the company in " + ctx.CompanyShown(), st);
  if (existed) {
    // A company that is there already is checked before it is called ready.
    std::vector<std::string> problems;
    tsioDataFile* bkm = fm.Find(BKMFileSpec);
    if (bkm == nullptr) st = fm.Open(BKMFileSpec, &bkm);
    if (st == tsioStatus::kSuccess) st = bkCheckIntegrity(*bkm, &problems, 10, true);
    if (st == tsioStatus::kSuccess && !problems.empty()) st = tsioStatus::kDamaged;
    if (st != tsioStatus::kSuccess) return ctx.IoFailure("the company in " + ctx.CompanyShown() + " cannot be used", st);
  }
  if (!quiet) {
    PrintDone(ctx.out, ctx.format, "Company ready in " + ctx.CompanyShown(),
              Table{{"Company", "Company state"}, {false, false}, {{ctx.CompanyShown(), existed ? "checked" : "created"}}});
  }
  return kDone;
}

int Demo(Context& ctx) {
  int status = kDone;
  const bool fresh = !HasCompany(ctx.company);
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

// The engine's integrity check, then every bank account's balances and
// totals and every batch's counts recomputed from the transactions; any
// finding is listed and makes the status 2.
int Verify(Context& ctx) {
  int status = kDone;
  Session* s = ctx.Open(&status);
  if (!s) return status;
  // The files of the company that exist: the history, the statements and
  // the general ledger's transactions are checked when they are there.
  tsRegisterLedgerFiles();
  bkVerifyFiles files;
  files.master = &s->Master();
  files.register_file = &s->Register();
  struct Optional {
    const tsioFileSpec* spec;
    const tsioDataFile** into;
    const char* what;
  } optional[] = {{&BKTHistoryFileSpec, &files.history, "the transaction history"},
                  {&BKSFileSpec, &files.statements, "the statements"},
                  {&GLTFileSpec, &files.gl_waiting, "the general ledger's waiting lines"},
                  {&GLTFileSpec2, &files.gl_posted, "the general ledger's posted lines"}};
  for (const Optional& o : optional) {
    tsioDataFile* file = nullptr;
    const tsioStatus::Status opened = s->Program().FileManager().Open(*o.spec, &file);
    if (opened == tsioStatus::kFileDoesNotExist) continue;
    if (opened != tsioStatus::kSuccess) return ctx.IoFailure(std::string("cannot open ") + o.what, opened);
    *o.into = file;
  }
  // Every figure from one committed state, whatever others do meanwhile.
  tsioReadSnapshot snapshot(s->Register().Company());
  if (snapshot.Status() != tsioStatus::kSuccess) return ctx.IoFailure("cannot read the company", snapshot.Status());
  const bool progress = ctx.Interactive();
  const bkVerifyResult r = bkVerifyCompany(files, [&](long n) {
    if (progress) ctx.err << "\rverifying: " << n << " transactions" << std::flush;
  });
  if (progress && r.transactions >= 10000) ctx.err << "\n";
  Table findings{{"Check", "Subject", "Field", "Stored", "Computed"}, {false, false, false, true, true}, {}};
  for (const auto& p : r.integrity) findings.rows.push_back({"integrity", "database", p, "", ""});
  for (const auto& d : r.drift) findings.rows.push_back({"totals", d.subject, d.field, d.stored, d.computed});
  if (r.status != tsioStatus::kSuccess) {
    if (!findings.rows.empty()) findings.Print(ctx.out, ctx.format);
    return ctx.IoFailure("verify stopped after " + std::to_string(r.transactions) + " transactions", r.status);
  }
  if (ctx.format != Format::kText || !findings.rows.empty()) findings.Print(ctx.out, ctx.format);
  if (ctx.format == Format::kText) {
    ctx.out << "Verified the database, " << r.bank_accounts << " bank accounts, " << r.batches << " batch records, "
            << r.transactions << " transactions, " << r.reconciliations << " reconciliations and " << r.gl_lines
            << " general-ledger lines: "
            << (r.Clean() ? "no problems found" : std::to_string(findings.rows.size()) + " problems found") << "\n";
  }
  if (!r.integrity.empty()) return ctx.Fail("the company database is damaged (see the integrity problems above)");
  if (!r.drift.empty()) return ctx.Fail("stored totals differ from the transactions (see above)");
  return kDone;
}

// A consistent copy of the company database in a new file.
int Backup(Context& ctx, const std::string& file) {
  if (file.empty()) return ctx.Refuse("backup: the FILE to copy the company database into is empty");
  const tsioStatus::Status st = tsioBackupCompany(ctx.company, file);
  if (st == tsioStatus::kDuplicateKey) return ctx.Refuse("backup: " + file + " exists already; it is not overwritten");
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("backup to " + file + " failed", st);
  if (ctx.format == Format::kText) {
    ctx.out << "Copied the company database to " << file << "\n";
  } else {
    Table{{"Company", "Backup"}, {false, false}, {{ctx.CompanyShown(), file}}}.Print(ctx.out, ctx.format);
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
  CLI::App* verify = app.add_subcommand(
      "verify",
      "checks the database's integrity, then recomputes every bank account's balances and totals, every "
      "batch's counts, the reconciliations and the general ledger's lines from the transactions (status 2 when "
      "anything differs)");
  verify->callback([&ctx] { ctx.status = Verify(ctx); });
  auto file = std::make_shared<std::string>();
  CLI::App* backup = app.add_subcommand(
      "backup", "copies the company database, consistent while others work, into a new file (never overwritten)");
  backup->add_option("FILE", *file, "the new file")->required();
  backup->callback([&ctx, file] { ctx.status = Backup(ctx, *file); });
}

}  // namespace bkreg
