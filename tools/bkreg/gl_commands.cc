// bkreg gl account add|list, gl period add|list, gl trial, gl interface: the
// general ledger's master data (GLM) that the register's postings and
// checks use, and the trial balance of what was posted to it.
//
// Accounts are given formatted or not (account format 9 of the company's
// control file) and stored unformatted with their prefix and base
// sections. Fiscal periods belong to a fiscal entity (a prefix; empty for a
// company without prefixes); their status is open (1) or closed with an
// error (4). `gl period add ENTITY --year Y` adds the twelve calendar
// months of Y. The files are created on first use.
#include <iostream>
#include <map>
#include <CLI/CLI.hpp>


#include "framework/control/account_format.h"
#include "framework/control/control_file.h"
#include "framework/control/interfaces.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/cursor.h"
#include "framework/io/read_snapshot.h"
#include "ledger/gl_accounts.h"
#include "records/files.h"
#include "tools/bkreg/input.h"
#include "tools/bkreg/module_commands.h"
#include "tools/bkreg/module_work.h"

namespace bkreg {

namespace {

// The company opened with the general ledger's files and its control file
// (the account format); false with a message.
int OpenLedger(ModuleWork& w, const Common& c, std::ostream& err) {
  if (int rc = w.Open(); rc != kDone) return rc;
  if (!w.OpenLedgerFiles(err)) return kFailed;
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (!tsControlFile::Open(c.ctx->company, &st)) {
    err << "bkreg: cannot open the company's control file (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  return kDone;
}

int InsertRecord(ccRecData& rec, const tsioDataFile& glm, const std::string& what, std::ostream& err) {
  tsioCursor cur(rec, glm, rec.TableID(), 0);
  const tsioStatus::Status st = cur.Insert();
  if (st == tsioStatus::kSuccess) return kDone;
  if (st == tsioStatus::kDuplicateKey) {
    err << "bkreg: " << what << " exists already\n";
    return kRefused;
  }
  if (st == tsioStatus::kValueDoesNotFit) {
    err << "bkreg: " << what << " does not fit the general ledger's fields\n";
    return kRefused;
  }
  err << "bkreg: cannot add " << what << " (" << ccIOStatusStr(st) << ")\n";
  return kFailed;
}

}  // namespace

int GlAccountAdd(const Common& c, const GlAccountOptions& o, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = OpenLedger(w, c, err); rc != kDone) return rc;
  const tsAlpha account = glw_unformat_account(tsAlpha(o.account));
  if (account.str().empty()) {
    err << "bkreg: an account number is needed\n";
    return kRefused;
  }
  tsGLAccountRec r;
  r.account = account;
  r.prefix = xk_get_section(account, 9, 0, 6);
  r.base = xk_get_section(account, 9, 0, 7);
  r.active = tsBool(!o.inactive);
  if (int rc = InsertRecord(r, *w.File(GLMFileSpec), "account " + o.account, err); rc != kDone) return rc;
  const std::string shown = glw_format_account(account).str();
  PrintDone(out, c.format, "Added account " + shown,
            Table{{"Account", "Active"}, {false, false}, {{shown, o.inactive ? "no" : "yes"}}});
  return kDone;
}

int GlAccountList(const Common& c, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = OpenLedger(w, c, err); rc != kDone) return rc;
  tsGLAccountRec r;
  tsioCursor cur(r, *w.File(GLMFileSpec), r.TableID(), 0);
  Table t{{"Account", "Prefix", "Base", "Active"}, {false, false, false, false}, {}};
  tsioStatus::Status st = cur.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = cur.FetchNext(false)) {
    t.rows.push_back({glw_format_account(r.account).str(), r.prefix.str(), r.base.str(),
                      static_cast<bool>(r.active) ? "yes" : "no"});
  }
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
    err << "bkreg: cannot read the accounts (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  t.Print(out, c.format);
  return kDone;
}

int GlPeriodAdd(const Common& c, const GlPeriodOptions& o, std::ostream& out, std::ostream& err) {
  if (o.year < 1900 || o.year > 9999) {
    err << "bkreg: --year: a year from 1900 to 9999\n";
    return kRefused;
  }
  struct Span {
    short period;
    tsDate start, end;
  };
  std::vector<Span> spans;
  if (o.period == 0) {
    if (!o.start.empty() || !o.end.empty()) {
      err << "bkreg: --start and --end go with --period\n";
      return kRefused;
    }
    for (short m = 1; m <= 12; ++m) {
      const short y = static_cast<short>(o.year);
      spans.push_back({m, tsDate(y, m, 1), tsDate(y, m, tsDate::DaysInMonth(y, m))});
    }
  } else {
    Span s{static_cast<short>(o.period), {}, {}};
    if (o.period < 1 || o.period > 13 || !ReadDate(o.start, &s.start) || !ReadDate(o.end, &s.end) ||
        s.end < s.start) {
      err << "bkreg: a period needs --period 1 to 13 and --start and --end dates (YYYY-MM-DD), the end not "
             "before the start\n";
      return kRefused;
    }
    spans.push_back(s);
  }
  ModuleWork w(*c.ctx);
  if (int rc = OpenLedger(w, c, err); rc != kDone) return rc;
  for (const Span& s : spans) {
    tsGLFiscalPeriodRec r;
    r.entity = tsAlpha(o.entity);
    r.year = static_cast<short>(o.year);
    r.period = s.period;
    r.start = s.start;
    r.end = s.end;
    r.status = o.closed ? kGLPeriodClosedError : kGLPeriodOpen;
    const std::string what = "period " + std::to_string(o.year) + "-" + std::to_string(s.period);
    if (int rc = InsertRecord(r, *w.File(GLMFileSpec), what, err); rc != kDone) return rc;
  }
  Table added{{"Entity", "Year", "Period", "Start", "End", "Status"}, {false, true, true, false, false, false}, {}};
  for (const Span& s : spans) {
    added.rows.push_back({o.entity, std::to_string(o.year), std::to_string(s.period), s.start.Format(),
                          s.end.Format(), o.closed ? "closed" : "open"});
  }
  PrintDone(out, c.format,
            "Added " + std::to_string(spans.size()) + (spans.size() == 1 ? " period" : " periods") + " of " +
                std::to_string(o.year),
            added);
  return kDone;
}

int GlPeriodList(const Common& c, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = OpenLedger(w, c, err); rc != kDone) return rc;
  tsGLFiscalPeriodRec r;
  tsioCursor cur(r, *w.File(GLMFileSpec), r.TableID(), 0);
  Table t{{"Entity", "Year", "Period", "Start", "End", "Status"}, {false, true, true, false, false, false}, {}};
  tsioStatus::Status st = cur.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = cur.FetchNext(false)) {
    const short status = r.status.Value();
    t.rows.push_back({r.entity.str(), r.year.Format(), r.period.Format(), r.start.Format(), r.end.Format(),
                      status == kGLPeriodOpen ? "open" : status == kGLPeriodClosedWarning ? "closed (warning)"
                                                     : status == kGLPeriodClosedError   ? "closed"
                                                                                        : "no status"});
  }
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
    err << "bkreg: cannot read the periods (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  t.Print(out, c.format);
  return kDone;
}

int GlInterface(const Common& c, std::optional<bool> on, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = OpenLedger(w, c, err); rc != kDone) return rc;
  if (on && zc_set_interface_active("BK", "GL", *on) != 1) {
    err << "bkreg: the interface to the general ledger could not be changed\n";
    return kFailed;
  }
  const bool active = zc_interface_active("BK", "GL") != 0;
  PrintDone(out, c.format,
            std::string("Entries ") + (active ? "go to the general ledger (checked against its accounts and periods)"
                                              : "do not go to the general ledger"),
            Table{{"Interface", "Active"}, {false, false}, {{"GL", active ? "on" : "off"}}});
  return kDone;
}

int GlTrialBalance(const Common& c, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = OpenLedger(w, c, err); rc != kDone) return rc;
  // Per account: the posted lines' debits and credits, and what waits to be
  // posted (lines a stopped posting left), in one committed state.
  struct Sums {
    tsCurrency debits, credits, waiting;
  };
  std::map<std::string, Sums> accounts;
  tsioReadSnapshot snapshot(w.Register().Company());
  for (const tsioFileSpec* spec : {&GLTFileSpec2, &GLTFileSpec}) {
    const tsioDataFile* file = w.File(*spec);
    if (file == nullptr) continue;
    tsGLTransactionRec line;
    tsioCursor cur(line, *file, line.TableID(), 0);
    tsioStatus::Status st = cur.FetchFirst(false);
    for (; st == tsioStatus::kSuccess; st = cur.FetchNext(false)) {
      Sums& s = accounts[line.account.str()];
      const tsCurrency signed_amount = line.debit_credit.Value() == 1 ? line.amount : tsCurrency(-line.amount);
      if (spec == &GLTFileSpec) {
        s.waiting += signed_amount;
      } else if (line.debit_credit.Value() == 1) {
        s.debits += line.amount;
      } else {
        s.credits += line.amount;
      }
    }
    if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
      err << "bkreg: cannot read the general ledger's lines (" << ccIOStatusStr(st) << ")\n";
      return kFailed;
    }
  }
  Table t{{"Account", "Debits", "Credits", "Balance", "Waiting"}, {false, true, true, true, true}, {}};
  Sums total;
  for (const auto& [account, s] : accounts) {
    t.rows.push_back({glw_format_account(tsAlpha(account)).str(), s.debits.Format(), s.credits.Format(),
                      tsCurrency(s.debits - s.credits).Format(), s.waiting.Format()});
    total.debits += s.debits;
    total.credits += s.credits;
    total.waiting += s.waiting;
  }
  t.rows.push_back({"Total", total.debits.Format(), total.credits.Format(),
                    tsCurrency(total.debits - total.credits).Format(), total.waiting.Format()});
  t.Print(out, c.format);
  return kDone;
}

void AddGlCommands(CLI::App& app, Context& ctx) {
  CLI::App* gl = app.add_subcommand("gl", "the general ledger's accounts, fiscal periods and interface");
  gl->require_subcommand(1);
  CLI::App* account = gl->add_subcommand("account", "general-ledger accounts: add, list");
  account->require_subcommand(1);
  auto a = std::make_shared<GlAccountOptions>();
  CLI::App* add = account->add_subcommand("add", "adds an account (formatted or not)");
  add->add_option("ACCOUNT", a->account, "account number")->required();
  add->add_flag("--inactive", a->inactive, "the account takes no new entries");
  add->callback([&ctx, a] {
    std::string text;
    const std::string problem = CheckText("the account", a->account, 45, &text);
    ctx.status = problem.empty() ? GlAccountAdd(Common{&ctx, ctx.format}, *a, ctx.out, ctx.err) : ctx.Refuse(problem);
  });
  account->add_subcommand("list", "the accounts")->callback([&ctx] {
    ctx.status = GlAccountList(Common{&ctx, ctx.format}, ctx.out, ctx.err);
  });
  CLI::App* period = gl->add_subcommand("period", "fiscal periods: add, list");
  period->require_subcommand(1);
  auto p = std::make_shared<GlPeriodOptions>();
  CLI::App* padd = period->add_subcommand(
      "add", "adds the twelve months of --year, or one --period with --start and --end");
  padd->add_option("ENTITY", p->entity, "fiscal entity (a prefix; '' for a company without prefixes)")->required();
  padd->add_option("--year", p->year, "fiscal year")->required()->check(CLI::Range(1900L, 9999L));
  padd->add_option("--period", p->period, "period 1 to 13")->check(CLI::Range(1L, 13L));
  padd->add_option("--start", p->start, "first day of the period");
  padd->add_option("--end", p->end, "last day of the period");
  padd->add_flag("--closed", p->closed, "the period is closed (entries dated in it are refused)");
  padd->callback([&ctx, p] { ctx.status = GlPeriodAdd(Common{&ctx, ctx.format}, *p, ctx.out, ctx.err); });
  period->add_subcommand("list", "the fiscal periods")->callback([&ctx] {
    ctx.status = GlPeriodList(Common{&ctx, ctx.format}, ctx.out, ctx.err);
  });
  gl->add_subcommand("trial", "the trial balance: each account's posted debits and credits (and lines waiting)")
      ->callback([&ctx] { ctx.status = GlTrialBalance(Common{&ctx, ctx.format}, ctx.out, ctx.err); });
  CLI::App* iface = gl->add_subcommand("interface", "whether entries go to the general ledger: on, off, status");
  auto state = std::make_shared<std::string>("status");
  iface->add_option("STATE", *state, "on, off or status (default)")->check(CLI::IsMember({"on", "off", "status"}));
  iface->callback([&ctx, state] {
    std::optional<bool> on;
    if (*state != "status") on = *state == "on";
    ctx.status = GlInterface(Common{&ctx, ctx.format}, on, ctx.out, ctx.err);
  });
}

}  // namespace bkreg
