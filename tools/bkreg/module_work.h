// What the module commands of bkreg (batches, the general ledger's data,
// removing, transferring, posting, clearing, reconciling, locks) share: the
// company opened through the module's program object, the general ledger's
// files and module, the edit-register lock question, and the reading of
// amounts and dates.
//
// Exit statuses are the program's (context.h).
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/types/values.h"
#include "programs/bk_program.h"
#include "tools/bkreg/context.h"

namespace bkreg {

// Takes the program's run from the transaction file's header, waiting
// while another program holds the header (it does until its entry's unit of
// work ends); the exit status (3 when the wait runs out). Taken before the
// program's unit of work begins: inside it the program would hold the
// database that the header's holder needs to end its unit.
// With `with_cash_run`, the cash-detail run too (an entry that goes to the
// general ledger writes a cash detail), both in one write of the header.
int TakeRun(Context& ctx, bkProgram& program, bool with_cash_run = false);

// The messages of a status, each in the catalogue's words, one a line.
void PrintMessages(const ccErrors& errors, std::ostream& err);

// An amount and a date by the program's input rules (input.h); false for
// anything they refuse.
bool ReadAmount(const std::string& text, tsCurrency* out);
bool ReadDate(const std::string& text, tsDate* out);

// The company's program (the context's session), its register (BKT),
// history and master (BKM) files open; on request the general ledger's files
// (GLM, GLT 331 and 332, created when missing) too.
class ModuleWork {
 public:
  explicit ModuleWork(Context& ctx) : ctx_(ctx) {}
  ModuleWork(const ModuleWork&) = delete;
  ModuleWork& operator=(const ModuleWork&) = delete;

  // kDone, or the exit status after a message when the company cannot be
  // opened (a damaged database is named as such).
  int Open();
  // Opens (creating when missing) the general ledger's files. False with a
  // message on failure.
  bool OpenLedgerFiles(std::ostream& err);
  // Loads the general-ledger module; false with a message when it cannot be
  // found.
  static bool LoadLedger(std::ostream& err);

  bkProgram& Program() { return session_->Program(); }
  const tsioDataFile& Master() const { return *bkm_; }
  const tsioDataFile& Register() const { return *bkt_; }
  const tsioDataFile& History() const { return *history_; }
  tsioDataFile* File(const tsioFileSpec& spec) { return Program().File(spec); }

  // kDone when the bank account exists and no other program holds its
  // edit-register lock (waited for up to --wait seconds); kBusy when one
  // still does; kRefused (message) when there
  // is no such account; kFailed when the lock cannot be asked about.
  int CheckBankFree(const std::string& bank, std::ostream& err);

 private:
  Context& ctx_;
  Session* session_ = nullptr;
  const tsioDataFile* bkm_ = nullptr;
  const tsioDataFile* bkt_ = nullptr;
  const tsioDataFile* history_ = nullptr;
};

}  // namespace bkreg
