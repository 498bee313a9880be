// bkProgram: a program of the bank-register module. It adapts the
// framework's program object to the module:
//   - it opens the module's two data files, the current transaction file
//     (BKT, first instance) and then the master file (BKM), through its file
//     manager (OpenFiles; 0 when both are open, else 1, with one log line
//     "Could not open BKT file" / "Could not open BKM file" under the task's
//     command ID in an unattended run);
//   - it offers the module settings (Settings) and the transaction-file
//     header (BKTHeader), each made on first use and kept for the program's
//     life. When the file they need is not open yet, they first open it
//     through the program's file manager; when it cannot be opened they still
//     give an object, whose reads fail with "file not open";
//   - it runs (Go): open the files and read what it needs (status 3 and done
//     when that fails), set up its journal sections (errors shown for the
//     task, status 3 and done when that fails), read its macro options when
//     the task asks for them, then hand over to the hub in an unattended run
//     (and keep running), or tell the caller whether its user interface runs;
//   - its hub processing writes its macro options and does its background
//     work, as the task asks (HubProcessFunction, always 1: done);
//   - it registers its open files with the task's macro (AddFilesToMacro).
// Defaults for the hooks each program may override: no background work, a
// user interface, no header to read, no hub screen (file number 0, empty
// group and panel names), no journal sections; the macro-option hooks only
// say, through the application's messages, that the default was called.
#pragma once

#include <memory>

#include "framework/base/errors.h"
#include "framework/io/file_identity.h"
#include "framework/program/program.h"
#include "records/bk_export.h"
#include "transactions/transaction_file_header.h"
#include "settings/bk_settings.h"

class BK_EXPORT bkProgram : public ccProgram {
 public:
  explicit bkProgram(unsigned short command_id);
  ~bkProgram() override;

  bool Go() override;
  bool HubInitialize(xh_hub_def& def) override;
  short HubProcessFunction(xh_process_def* process) override;

  bkSettings* Settings();
  TransactionFileHeader* BKTHeader();
  tsioFileSpec FileSpecForUnpostedTransactions() const;

  virtual void HandleWindowClose();
  virtual bool AddFileCB(tsioDataFile* file);
  virtual void AddFilesToMacro();
  virtual void BackgroundProcess();
  virtual bool ForegroundUI();
  virtual short ScreenFileNumber();
  virtual CString HubGroupName();
  virtual CString HubPanelName();
  virtual ccStatus<ccBoolStatus> InitializeJournalSections();
  virtual void InvokeHub();
  virtual ccBoolStatus OpenFiles();
  virtual bool ReadHeader();
  virtual void ReadMacroOptions();
  virtual void WriteMacroOptions();

 private:
  // Opens the data file `which` names through the file manager unless it
  // is open; the open handle, nullptr when it cannot be opened.
  tsioDataFile* EnsureOpen(const tsioFileSpec& which);

  std::unique_ptr<bkSettings> m_settings;
  std::unique_ptr<TransactionFileHeader> m_header;
};
