// The company and helpers the module commands of bkreg share (module_work.h).
#include "tools/bkreg/module_work.h"

#include <iostream>

#include "accounts/bank_account.h"
#include "framework/base/application.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/file_manager.h"
#include "framework/module/module_registry.h"
#include "records/files.h"
#include "tools/bkreg/input.h"

namespace bkreg {

void PrintMessages(const ccErrors& errors, std::ostream& err) {
  for (const auto& e : errors) {
    if (!e.Text().empty()) err << e.Text() << "\n";
    if (!e.Text2().empty()) err << e.Text2() << "\n";
  }
}

bool ReadAmount(const std::string& text, tsCurrency* out) { return ParseAmount("amount", text, out).empty(); }

bool ReadDate(const std::string& text, tsDate* out) { return ParseDate("date", text, out).empty(); }

int ModuleWork::Open() {
  int status = kDone;
  session_ = ctx_.Open(&status);
  if (session_ == nullptr) return status;
  tsioDataFile* history = nullptr;
  const tsioStatus::Status st = Program().FileManager().Open(BKTHistoryFileSpec, &history);
  if (st != tsioStatus::kSuccess) return ctx_.IoFailure("cannot open the history of the company", st);
  bkm_ = &session_->Master();
  bkt_ = &session_->Register();
  history_ = history;
  return kDone;
}

bool ModuleWork::OpenLedgerFiles(std::ostream& err) {
  tsRegisterLedgerFiles();
  tsioFileManager& fm = Program().FileManager();
  for (const tsioFileSpec* spec : {&GLMFileSpec, &GLTFileSpec, &GLTFileSpec2}) {
    tsioStatus::Status st = fm.Create(*spec);
    if (st == tsioStatus::kSuccess) st = fm.Open(*spec);
    if (st != tsioStatus::kSuccess) {
      err << "bkreg: cannot open the general ledger's files (" << ccIOStatusStr(st) << ")\n";
      return false;
    }
  }
  return true;
}

bool ModuleWork::LoadLedger(std::ostream& err) {
  if (xdll_load("LEDGERCORE") != 0) return true;
  err << "bkreg: the general-ledger module (libLEDGERCORE.so) cannot be found (set BK_MODULE_PATH to the "
         "folder that holds it)\n";
  return false;
}

int ModuleWork::CheckBankFree(const std::string& id, std::ostream& err) {
  const auto deadline = ctx_.WaitDeadline();
  for (int round = 0;; ++round) {
    BankAccount bank(Master(), "", 0);
    bank.m_Record.SetBankAccount(tsAlpha(id));
    const tsioStatus::Status st = bank.FetchEQ(false);
    if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) {
      err << "bkreg: no bank account '" << id << "'\n";
      return kRefused;
    }
    if (st != tsioStatus::kSuccess) {
      err << "bkreg: cannot read bank account '" << id << "' (" << ccIOStatusStr(st) << ")\n";
      return kFailed;
    }
    auto locked = bank.isEditRegisterLocked();
    if (locked.MaxLevel() >= ccError::kError) {
      PrintMessages(locked.Errors(), err);
      err << "bkreg: could not tell whether another program edits the register of " << id << "\n";
      return kFailed;
    }
    if (locked.Value() == ccError::kNone) return kDone;
    // Held: waited for up to --wait seconds, as every lock is.
    if (std::chrono::steady_clock::now() >= deadline) {
      err << "bkreg: the register of " << id << " is being edited by another program; try again later\n";
      return kBusy;
    }
    Context::Pause(round);
  }
}

}  // namespace bkreg
