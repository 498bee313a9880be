// The company and helpers the module commands of bkreg share (module_work.h).
#include "tools/bkreg/module_work.h"

#include <iostream>
#include <regex>

#include "accounts/bank_account.h"
#include "framework/base/application.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/file_manager.h"
#include "framework/module/module_registry.h"
#include "records/files.h"

namespace bkreg {

void PrintMessages(const ccErrors& errors, std::ostream& err) {
  for (const auto& e : errors) {
    if (!e.Text().empty()) err << e.Text() << "\n";
    if (!e.Text2().empty()) err << e.Text2() << "\n";
  }
}

bool ReadAmount(const std::string& text, tsCurrency* out) {
  static const std::regex kAmount("-?[0-9]{1,13}(\\.[0-9]{1,2})?");
  if (!std::regex_match(text, kAmount)) return false;
  tsCurrency c = tsCurrency::FromText(text);
  if (!c.IsValid()) return false;
  *out = c;
  return true;
}

bool ReadDate(const std::string& text, tsDate* out) {
  tsDate d;
  if (text.empty() || !d.Parse(text) || d.IsEmpty()) return false;
  *out = d;
  return true;
}

ModuleWork::ModuleWork(const std::string& folder, unsigned short command_id) {
  TSGetApp()->SetCompanyFolder(folder);
  program_ = std::make_unique<bkProgram>(command_id);
}

ModuleWork::~ModuleWork() = default;

bool ModuleWork::Open(std::ostream& err) {
  tsioDataFile* history = nullptr;
  if (program_->OpenFiles() != kBoolSuccess ||
      program_->FileManager().Open(BKTHistoryFileSpec, &history) != tsioStatus::kSuccess) {
    err << "bkreg: cannot open the company's files in " << TSGetApp()->CompanyFolder()
        << " (run 'bkreg init' first; details in the company's bkreg.log)\n";
    return false;
  }
  bkm_ = program_->File(BKMFileSpec);
  bkt_ = program_->File(BKTFileSpec);
  history_ = history;
  return bkm_ && bkt_ && history_;
}

bool ModuleWork::OpenLedgerFiles(std::ostream& err) {
  tsRegisterLedgerFiles();
  tsioFileManager& fm = program_->FileManager();
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
  if (locked.Value() != ccError::kNone) {
    err << "bkreg: the register of " << id << " is being edited by another program; try again later\n";
    return kBusy;
  }
  return kDone;
}

}  // namespace bkreg
