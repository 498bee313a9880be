// What the module commands of bkreg (batches, the general ledger's data,
// removing, transferring, posting, clearing, reconciling, locks) share: the
// company opened through the module's program object, the general ledger's
// files and module, the edit-register lock question, and the reading of
// amounts and dates.
//
// Exit statuses: kDone 0, kRefused 1 (input or a business rule refused),
// kFailed 2 (the work could not be done), kBusy 3 (another program holds the
// bank, the batch or the run).
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/values.h"
#include "programs/bk_program.h"

namespace bkreg {

enum Exit : int { kDone = 0, kRefused = 1, kFailed = 2, kBusy = 3 };

// The messages of a status, each in the catalogue's words, one a line.
void PrintMessages(const ccErrors& errors, std::ostream& err);

// An amount of at most two decimals ("12.50", "-3", "1,234.56" is refused);
// false for anything else, empty and blank text included.
bool ReadAmount(const std::string& text, tsCurrency* out);
// A date as YYYY-MM-DD (or the forms tsDate reads); false when not a date.
bool ReadDate(const std::string& text, tsDate* out);

// The company's program, its register (BKT), history and master (BKM)
// files open; on request the general ledger's files (GLM, GLT 331 and 332,
// created when missing) too.
class ModuleWork {
 public:
  explicit ModuleWork(const std::string& folder, unsigned short command_id = 7100);
  ~ModuleWork();
  ModuleWork(const ModuleWork&) = delete;
  ModuleWork& operator=(const ModuleWork&) = delete;

  // False, with a message on `err`, when the company cannot be opened.
  bool Open(std::ostream& err);
  // Opens (creating when missing) the general ledger's files. False with a
  // message on failure.
  bool OpenLedgerFiles(std::ostream& err);
  // Loads the general-ledger module; false with a message when it cannot be
  // found.
  static bool LoadLedger(std::ostream& err);

  bkProgram& Program() { return *program_; }
  const tsioDataFile& Master() const { return *bkm_; }
  const tsioDataFile& Register() const { return *bkt_; }
  const tsioDataFile& History() const { return *history_; }
  tsioDataFile* File(const tsioFileSpec& spec) { return program_->File(spec); }

  // kDone when the bank account exists and no other program holds its
  // edit-register lock; kBusy when one does; kRefused (message) when there
  // is no such account; kFailed when the lock cannot be asked about.
  int CheckBankFree(const std::string& bank, std::ostream& err);

 private:
  std::unique_ptr<bkProgram> program_;
  const tsioDataFile* bkm_ = nullptr;
  const tsioDataFile* bkt_ = nullptr;
  const tsioDataFile* history_ = nullptr;
};

}  // namespace bkreg
