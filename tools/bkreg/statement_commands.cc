// The statement and reconciliation commands of bkreg.
#include "tools/bkreg/statement_commands.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ostream>

#include "accounts/bank_account.h"
#include "framework/io/file_manager.h"
#include "programs/bk_program.h"
#include "records/files.h"
#include "statements/reconciliation.h"
#include "statements/statement_cursors.h"
#include "statements/statement_import.h"
#include "statements/statement_reader.h"
#include "tools/bkreg/input.h"
#include "tools/bkreg/output.h"

namespace bkreg {

namespace {

void PrintErrors(const ccErrors& errors, std::ostream& err) {
  for (const auto& e : errors) err << "bkreg: " << e.DisplayText() << "\n";
}

// The files a statement needs besides the program's: the history (posted
// transactions) and the statement file, created on first use (a company
// made before statements were kept gets them here).
bool OpenStatementFiles(bkProgram& program, tsioDataFile** history, tsioDataFile** statements, std::ostream& err) {
  tsioFileManager& fm = program.FileManager();
  for (const tsioFileSpec* spec : {&BKTHistoryFileSpec, &BKSFileSpec}) {
    tsioStatus::Status st = fm.Create(*spec);
    if (st == tsioStatus::kSuccess) st = fm.Open(*spec, spec == &BKSFileSpec ? statements : history);
    if (st != tsioStatus::kSuccess) {
      err << "bkreg: the company's " << (spec == &BKSFileSpec ? "statement" : "history") << " file cannot be opened ("
          << ccIOStatusStr(st) << ")\n";
      return false;
    }
  }
  return program.File(BKMFileSpec) != nullptr && program.File(BKTFileSpec) != nullptr;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Exit 3 when another program holds the edit-register lock of `bank` (it
// edits the register: clears, removes, posts, reconciles), as every command
// that changes a register; 2 when that cannot be told; 0 otherwise (an
// unknown account is left to the command's own refusal).
int CheckEditLock(bkProgram& program, const std::string& bank, std::ostream& err) {
  BankAccount account(*program.File(BKMFileSpec), "", 0);
  account.m_Record.SetBankAccount(tsAlpha(bank));
  const tsioStatus::Status st = account.FetchEQ(false);
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) return 0;
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: cannot read bank account '" << bank << "' (" << ccIOStatusStr(st) << ")\n";
    return st == tsioStatus::kLocked || st == tsioStatus::kBusy ? 3 : 2;
  }
  const auto locked = account.isEditRegisterLocked();
  if (locked.MaxLevel() >= ccError::kError) {
    PrintErrors(locked.Errors(), err);
    err << "bkreg: could not tell whether another program edits the register of " << bank << "\n";
    return 2;
  }
  if (locked.Value() != ccError::kNone) {
    err << "bkreg: the register of " << bank << " is being edited by another program; try again later\n";
    return 3;
  }
  return 0;
}

const char* OutcomeText(bkLineOutcome o) {
  switch (o) {
    case bkLineOutcome::kCleared: return "cleared";
    case bkLineOutcome::kAlreadyApplied: return "refused";
    case bkLineOutcome::kAlreadyCleared: return "already";
    case bkLineOutcome::kProposed: return "choose";
    case bkLineOutcome::kUnknown: return "unknown";
    case bkLineOutcome::kEntered: return "entered";
    case bkLineOutcome::kAwaitingPost: return "waiting";
    case bkLineOutcome::kFailed: return "failed";
  }
  return "";
}

std::string CandidateText(const bkMatchCandidate& c) {
  static const char* kTypes[] = {"?", "check", "deposit", "withdrawal", "adjustment"};
  std::string s = std::to_string(c.run) + "/" + std::to_string(c.sequence) + " " +
                  kTypes[c.type >= 1 && c.type <= 4 ? c.type : 0] + " " + c.date.Format() + " " +
                  c.amount.Format();
  if (c.check) s += " check " + std::to_string(c.check);
  if (!c.deposit_id.empty()) s += " id " + TextCell(c.deposit_id);
  if (c.instance == 1) s += " (not posted)";
  return s;
}

}  // namespace

int StatementImport(bkProgram& program, const StatementImportOptions& o, std::ostream& out, std::ostream& err) {
  if (o.bank.empty() || o.file.empty()) {
    err << "bkreg: statement import BANK FILE\n";
    return 1;
  }
  std::string format = Lower(o.format);
  if (format.empty()) {
    const std::string name = Lower(o.file);
    const size_t dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    format = ext == "csv" ? "csv" : (ext == "ofx" || ext == "qfx") ? "ofx" : "";
  }
  if (format == "qfx") format = "ofx";
  bkStatement statement;
  std::string error;
  if (format == "ofx") {
    if (!bkReadOfxStatement(o.file, &statement, &error)) {
      err << "bkreg: statement not imported, nothing was changed: " << TextCell(error) << "\n";
      return 1;
    }
  } else if (format == "csv") {
    bkCsvMapping mapping;
    if ((!o.mapping_file.empty() && !mapping.ReadFile(o.mapping_file, &error)) ||
        !mapping.ParseText(o.mapping, &error) || !bkReadCsvStatement(o.file, mapping, &statement, &error)) {
      err << "bkreg: statement not imported, nothing was changed: " << TextCell(error) << "\n";
      return 1;
    }
  } else {
    err << "bkreg: which format is " << o.file << "? (--format ofx|csv)\n";
    return 1;
  }

  bkStatementImportOptions options;
  options.window_days = o.window_days;
  options.enter_unknown = o.enter_unknown;
  options.unit_lines = o.unit_lines;
  options.ledger_cash = o.ledger_cash;
  options.ledger_offset = o.offset_account;
  options.on_entered = o.on_entered;
  for (const auto& c : o.choices) {
    long long run = 0, seq = 0;
    const size_t eq = c.rfind('=');
    if (eq == std::string::npos || std::sscanf(c.c_str() + eq + 1, "%lld/%lld", &run, &seq) != 2) {
      err << "bkreg: --choose LINEID=RUN/SEQ, not '" << c << "'\n";
      return 1;
    }
    options.choices[c.substr(0, eq)] = {run, seq};
  }

  tsioDataFile* history = nullptr;
  tsioDataFile* statements = nullptr;
  if (!OpenStatementFiles(program, &history, &statements, err)) return 2;
  if (const int rc = CheckEditLock(program, o.bank, err); rc != 0) return rc;
  bkStatementImporter importer(program, *program.File(BKMFileSpec), *program.File(BKTFileSpec), *history, *statements);
  bkStatementImportResult result;
  // Each line as it stands, streamed: the statement's text (ids, memos) is
  // the bank's and is shown through the table cells' guard.
  options.on_line = [&](const bkLineResult& r) {
    out << OutcomeText(r.outcome) << "  " << TextCell(r.line.id) << "  " << r.line.date.Format() << "  "
        << r.line.amount.Format();
    if (r.line.check) out << "  check " << r.line.check;
    if (!r.line.memo.empty()) out << "  " << TextCell(r.line.memo);
    if (r.outcome == bkLineOutcome::kCleared && !r.candidates.empty()) out << "  -> " << CandidateText(r.candidates[0]);
    if (!r.note.empty() && r.outcome != bkLineOutcome::kCleared) out << "  (" << TextCell(r.note) << ")";
    out << "\n";
    if (r.outcome == bkLineOutcome::kProposed) {
      for (const auto& c : r.candidates) out << "    candidate " << CandidateText(c) << "\n";
    }
  };
  const ccStatus<ccError::Level> done = importer.Import(tsAlpha(o.bank), statement, options, &result);
  out << result.Count(bkLineOutcome::kCleared) << " cleared, " << result.Count(bkLineOutcome::kAlreadyApplied)
      << " already applied, " << result.Count(bkLineOutcome::kAlreadyCleared) << " already cleared, "
      << result.Count(bkLineOutcome::kProposed) << " to choose, " << result.Count(bkLineOutcome::kUnknown)
      << " unknown, " << result.Count(bkLineOutcome::kEntered) << " entered, "
      << result.Count(bkLineOutcome::kAwaitingPost) << " waiting for posting, " << result.Count(bkLineOutcome::kFailed)
      << " failed; statement of " << statement.end.Format() << " ending at " << statement.ending_balance.Format()
      << "\n";
  if (done.HasError()) {
    // Refused whole (no line reported): nothing was written.
    int reported = 0;
    for (int k = 0; k < kLineOutcomes; ++k) reported += result.counts[k];
    const char* whole = reported == 0 ? "statement not imported, nothing was changed: " : "";
    for (const auto& e : done.Errors()) err << "bkreg: " << whole << TextCell(e.DisplayText()) << "\n";
    if (result.no_account_number) {
      err << "bkreg: once you have checked that the statement is of " << o.bank
          << ", record the bank's account number with: bkreg bank edit " << o.bank << " --account-number "
          << TextCell(statement.account) << "\n";
    }
    return result.locked ? 3 : result.refused ? 1 : 2;
  }
  return 0;
}

namespace {

int Reconcile(bkProgram& program, const ReconcileFinishOptions& o, bool finish, std::ostream& out, std::ostream& err) {
  if (o.bank.empty()) {
    err << "bkreg: which bank account?\n";
    return 1;
  }
  bool given = false;
  tsDate date;
  tsCurrency ending;
  if (finish && (!o.date.empty() || !o.ending.empty())) {
    // Both, by the input rules: an ending balance is exact to the cent,
    // never rounded, and never taken as 0.00 for being left out.
    if (o.date.empty() || o.ending.empty()) {
      err << "bkreg: --date DATE and --ending AMOUNT go together\n";
      return 1;
    }
    std::string problem = ParseDate("--date", o.date, &date);
    if (problem.empty()) problem = ParseAmount("--ending", o.ending, &ending);
    if (!problem.empty()) {
      err << "bkreg: " << problem << "\n";
      return 1;
    }
    given = true;
  }
  tsioDataFile* history = nullptr;
  tsioDataFile* statements = nullptr;
  if (!OpenStatementFiles(program, &history, &statements, err)) return 2;
  if (const int rc = CheckEditLock(program, o.bank, err); rc != 0) return rc;
  bkReconciler reconciler(*program.File(BKMFileSpec), {history, program.File(BKTFileSpec)}, *statements);
  bkReconcileSummary s;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long long>(o.wait_seconds * 1000));
  ccStatus<ccError::Level> done(ccError::kNone);
  for (int round = 0;; ++round) {
    done = finish ? reconciler.Finish(tsAlpha(o.bank), given, date, ending, &s) : reconciler.Undo(tsAlpha(o.bank), &s);
    if (!done.HasError() || !s.locked || std::chrono::steady_clock::now() >= deadline) break;
    // Nothing was changed: the account was held by another program.
    usleep(static_cast<useconds_t>(std::min(50, 5 * (round + 1)) * 1000));
  }
  if (done.HasError()) {
    PrintErrors(done.Errors(), err);
    return s.locked ? 3 : s.refused ? 1 : 2;
  }
  out << (finish ? "Reconciled " : "Undid the reconciliation of ") << o.bank << " to the statement of "
      << s.statement_date.Format() << ": " << s.count << " transactions, ending balance " << s.ending_balance.Format()
      << (finish ? "" : ", reconciled balance back to " + s.previous_balance.Format()) << "\n";
  return 0;
}

}  // namespace

int ReconcileFinish(bkProgram& program, const ReconcileFinishOptions& o, std::ostream& out, std::ostream& err) {
  return Reconcile(program, o, true, out, err);
}
int ReconcileUndo(bkProgram& program, const ReconcileFinishOptions& o, std::ostream& out, std::ostream& err) {
  return Reconcile(program, o, false, out, err);
}

}  // namespace bkreg
