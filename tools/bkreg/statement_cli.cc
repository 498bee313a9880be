// bkreg statement import, reconcile finish and reconcile undo: the command
// line of the statement and reconciliation work in statement_commands.h.
// The `reconcile` command itself (with start and status) is registered by
// the transaction commands; this file adds its finish and undo.
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "accounts/bank_account.h"
#include "records/files.h"
#include "tools/bkreg/commands.h"
#include "tools/bkreg/entry_details.h"
#include "tools/bkreg/input.h"
#include "tools/bkreg/ledger_entry.h"
#include "tools/bkreg/statement_commands.h"

namespace bkreg {
namespace {

// Runs `body(program)` on the opened company with the bank id made
// canonical (the id rules of input.h); the exit status.
template <typename Body>
int OnCompany(Context& ctx, std::string* bank, Body body) {
  if (std::string problem = ParseBankId("BANK", *bank, bank); !problem.empty()) return ctx.Refuse(problem);
  int status = kDone;
  Session* session = ctx.Open(&status);
  if (session == nullptr) return status;
  return body(session->Program());
}

}  // namespace

// While the register's entries go to the general ledger, the adjustments
// an import enters go there too, as `enter adjustment` sends them: the
// bank account's cash account against --offset-account, each checked by
// the ledger's rules for its line's date and given its cash detail in the
// line's unit. No offset account: refused before the statement is read.
int PrepareLedgerAdjustments(Context& ctx, bkProgram& p, StatementImportOptions* s) {
  if (s->offset_account.empty()) {
    return ctx.Refuse("the register's entries go to the general ledger: --enter-unknown needs --offset-account, "
                      "the account the bank's own adjustments go to (bank charges, interest, ...)");
  }
  BankAccount bank(*p.File(BKMFileSpec), "", 0);
  bank.m_Record.SetBankAccount(tsAlpha(s->bank));
  if (const tsioStatus::Status st = bank.FetchEQ(false); st != tsioStatus::kSuccess) {
    return st == tsioStatus::kNotFound ? ctx.Refuse("no bank account '" + s->bank + "'")
                                       : ctx.IoFailure("cannot read bank account '" + s->bank + "'", st);
  }
  if (!EnterPrepareLedger(p, ctx.err)) return kFailed;
  s->ledger_cash = bank.m_Record.GetMiscCashAccount().str();
  LedgerSides sides;
  sides.type = 4;
  sides.cash = s->ledger_cash;
  sides.offset = s->offset_account;
  s->on_entered = [&ctx, &p, sides](const TransactionData& t, tclRollbackStack& unit) mutable -> std::string {
    sides.date = t.GetAccountingDate();
    if (CheckLedgerEntry(ctx, p, sides) != kDone) return "the general ledger refuses it (above)";
    const tsioStatus::Status st = RecordCashSide(p, *p.File(BKTFileSpec), *p.File(BKMFileSpec), t, sides.cash, unit);
    return st == tsioStatus::kSuccess ? "" : "its cash side could not be saved (" + std::string(ccIOStatusStr(st)) + ")";
  };
  return kDone;
}

void AddStatementCommands(CLI::App& app, Context& ctx) {
  CLI::App* statement = app.add_subcommand("statement", "bank statements: import");
  statement->require_subcommand(1);
  auto s = std::make_shared<StatementImportOptions>();
  CLI::App* import = statement->add_subcommand(
      "import",
      "matches a statement (OFX/QFX or CSV) to the register and clears the exact matches into the reconciliation "
      "in progress; a line already imported, or one the register holds cleared, is never applied again; a "
      "statement naming its account must be of the account's number (bank edit --account-number)");
  import->add_option("BANK", s->bank, "bank account id")->required();
  import->add_option("FILE", s->file, "the statement file")->required();
  import->add_option("--format", s->format, "ofx or csv (default: by the file's extension)")
      ->check(CLI::IsMember({"ofx", "qfx", "csv"}));
  import->add_option("--mapping", s->mapping,
                     "CSV columns and forms, e.g. \"date=1;amount=2;id=3;decimal=,;thousands=.\" (statements/README.md)");
  import->add_option("--mapping-file", s->mapping_file, "a file of CSV column mapping lines");
  import->add_option("--window", s->window_days, "days a matching transaction's date may differ (0 to 60)")
      ->check(CLI::Range(0, 60));
  import->add_flag("--enter-unknown", s->enter_unknown, "enter lines matching nothing as adjustments");
  import->add_option("--offset-account", s->offset_account,
                     "the general-ledger account entered adjustments offset (bank charges, interest, ...); needed "
                     "with --enter-unknown while the register's entries go to the general ledger");
  import->add_option("--choose", s->choices, "LINEID=RUN/SEQ: the transaction chosen for an ambiguous line");
  import->callback([&ctx, s] {
    s->wait_seconds = ctx.wait_seconds;
    s->output = ctx.format;
    ctx.status = OnCompany(ctx, &s->bank, [&](bkProgram& p) {
      if (s->enter_unknown && LedgerInterfaceOn()) {
        if (const int rc = PrepareLedgerAdjustments(ctx, p, s.get()); rc != kDone) return rc;
      }
      return StatementImport(p, *s, ctx.out, ctx.err);
    });
  });

  CLI::App* reconcile = app.get_subcommand("reconcile");
  auto r = std::make_shared<ReconcileFinishOptions>();
  CLI::App* finish = reconcile->add_subcommand(
      "finish", "records the reconciliation when the cleared balance equals the statement's ending balance");
  finish->add_option("BANK", r->bank, "bank account id")->required();
  finish->add_option("--date", r->date, "statement date (when no reconciliation is in progress)");
  // --ending-balance is the name (as reconcile start has it); --ending is kept.
  finish->add_option("--ending-balance,--ending", r->ending,
                     "statement ending balance (when no reconciliation is in progress)");
  finish->callback([&ctx, r] {
    r->wait_seconds = ctx.wait_seconds;
    r->output = ctx.format;
    ctx.status = OnCompany(ctx, &r->bank, [&](bkProgram& p) { return ReconcileFinish(p, *r, ctx.out, ctx.err); });
  });
  CLI::App* undo = reconcile->add_subcommand("undo", "reverses the last reconciliation of a bank account exactly");
  undo->add_option("BANK", r->bank, "bank account id")->required();
  undo->callback([&ctx, r] {
    r->wait_seconds = ctx.wait_seconds;
    r->output = ctx.format;
    ctx.status = OnCompany(ctx, &r->bank, [&](bkProgram& p) { return ReconcileUndo(p, *r, ctx.out, ctx.err); });
  });
}

}  // namespace bkreg
