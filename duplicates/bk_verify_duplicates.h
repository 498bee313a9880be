// bkVerifyDuplicates: tells an entry program, before it saves a check or a
// deposit, whether its number is already used for the same bank account.
//
//   - A check number: in the register (BKT, index 6: bank, check number)
//     and, when the module settings ask for it (GetVerifyDupCheckInHistory),
//     in the history (the second instance of BKT).
//   - A deposit (date and id): in the register (index 3: bank, deposit date,
//     deposit id), among the pending deposits of the master file (BKM record
//     type 7, by key) and, when the settings ask for it
//     (GetVerifyDupDepositInHistory), in the history.
//
// Life: construct, Init(task), one initialize, any number of checkExists /
// depositExists, destroy.
//
// initialize from file information opens what it needs through a file
// manager of its own (handles of its own, so the caller's positions never
// move): the master file (BKM, "Master" on failure), the settings in it
// ("BK Master"), the register (the file the register information names,
// "Register"), each failure message 2200 and the end of the initialisation;
// and the history, only when the macro option "search history" is on and
// the settings ask for history at all: status 15 gives warning 2207, any
// other failure warning 2206. initialize from objects borrows the cursors
// given; without a settings object it opens the master file and reads the
// settings; without a pending-deposit cursor it opens the master file; the
// register is the file of the register check cursor, else of the register
// deposit cursor (2200 "Register" when neither is given); the history is the
// file of a history cursor, else it is opened beside the register as above.
// Whenever no history file is open afterwards (option off, settings off, a
// warning) the history is not searched.
//
// Lookups answer a ccStatus<ccError::Level>:
//   0                  no duplicate;
//   3 with 2202/2203   a duplicate (LastFoundIn() tells where);
//   4 with 2201        the lookup could not read (a locked or damaged record,
//                      a file that is not open, a verifier whose
//                      initialisation failed): never "no duplicate".
// A null check number is never a duplicate. The transaction being edited,
// named by its bank account, run and sequence (all three given), is not a
// duplicate of itself: the lookup steps over it and goes on, so another
// transaction with the same number after it in the register, a pending
// deposit with the same identity, or the number in history are still found.
// Every lookup reads the files afresh (the cursors' buffers read ahead are
// dropped each time), so what another program entered meanwhile is seen.
// Each lookup costs at most two indexed fetches per file it searches.
//
// Ownership: the cursors it creates and the file manager (with the files it
// opened) are its own and go with it, cursors first; cursors, settings and
// files supplied by the caller are borrowed and left as they are.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "duplicates/bk_verify_duplicates_macro_data.h"
#include "duplicates/pending_deposit.h"
#include "framework/base/errors.h"
#include "framework/io/data_file.h"
#include "framework/io/file_identity.h"
#include "framework/io/file_manager.h"
#include "framework/program/task.h"
#include "framework/types/values.h"
#include "records/bk_export.h"
#include "records/column_lists.h"
#include "transactions/transaction.h"

class bkSettings;

class BK_EXPORT bkVerifyDuplicates {
 public:
  // The columns the lookup cursors bind.
  static constexpr const char* CheckCursorFields = kTranDuplicateCheckColumns;
  static constexpr const char* DepositCursorFields = kTranDuplicateDepositColumns;
  static constexpr const char* PendingDepositCursorFields = kPendingDepositKeyColumns;
  // Indexes the lookups read by: register checks by bank and check number,
  // deposits by bank, deposit date and deposit id, pending deposits by key.
  static constexpr short kCheckIndex = 6;
  static constexpr short kDepositIndex = 3;
  static constexpr short kPendingDepositIndex = 0;
  // Where the macro options are kept (option group, entry).
  static constexpr short kMacroOptionsId = 50;
  static constexpr short kMacroOptionsSubId = 1;

  // Where the last lookup found its duplicate.
  enum class FoundIn { kNowhere, kRegister, kPendingDeposits, kHistory };

  bkVerifyDuplicates();
  virtual ~bkVerifyDuplicates();
  bkVerifyDuplicates(const bkVerifyDuplicates&) = delete;
  bkVerifyDuplicates& operator=(const bkVerifyDuplicates&) = delete;

  // The task whose macro keeps the options (and whose company folder is
  // used when a file information names no folder).
  void Init(tsTask& task);

  ccStatus<ccError::Level> initialize(const tsioFileInfo& register_info, const tsioFileInfo* master_info = nullptr,
                                      const tsioFileInfo* history_info = nullptr);
  ccStatus<ccError::Level> initialize(const bkSettings* settings = nullptr, Transaction* register_checks = nullptr,
                                      Transaction* register_deposits = nullptr,
                                      Transaction* history_checks = nullptr,
                                      Transaction* history_deposits = nullptr,
                                      PendingDeposit* pending_deposits = nullptr);

  // Queues, for a command that keeps the register's and the history's reads
  // (framework/io/command_reads.h), the reads checkExists(bank_account,
  // check_number) begins with, to be asked with the command's other reads.
  void PrefetchCheckExists(const tsAlpha& bank_account, const tsDouble& check_number);

  ccStatus<ccError::Level> checkExists(const tsAlpha& bank_account, const tsDouble& check_number,
                                       const tsAlpha* current_bank_account = nullptr,
                                       const tsDouble* current_run = nullptr,
                                       const tsDouble* current_sequence = nullptr);
  ccStatus<ccError::Level> depositExists(const tsAlpha& bank_account, const tsDate& deposit_date,
                                         const tsAlpha& deposit_id, const tsAlpha* current_bank_account = nullptr,
                                         const tsDouble* current_run = nullptr,
                                         const tsDouble* current_sequence = nullptr);

  // Reads the macro data the task's macro holds (nothing without a task, or
  // when none is stored). Call before initialize to replay a macro.
  void readMacroOptions();
  // Sets "search history" to whether a history file is open (registering
  // that file with the task's macro) and stores the macro data.
  void writeMacroOptions();

  bkVerifyDuplicatesMacroData& MacroData() { return m_macroData; }
  const bkVerifyDuplicatesMacroData& MacroData() const { return m_macroData; }
  bool CheckHistory() const { return m_checkHistory; }
  bool DepositHistory() const { return m_depositHistory; }
  const tsioDataFile* MasterFile() const { return m_masterFile; }
  const tsioDataFile* RegisterFile() const { return m_registerFile; }
  const tsioDataFile* HistoryFile() const { return m_historyFile; }
  FoundIn LastFoundIn() const { return m_lastFoundIn; }

 protected:
  // The lookup cursors, created on first use over their file (nullptr when
  // the file is not open); each hands its cursor out with its file buffers
  // cleared.
  Transaction* RegisterCheckCursor();
  Transaction* HistoryCheckCursor();
  Transaction* RegisterDepositCursor();
  Transaction* HistoryDepositCursor();
  PendingDeposit* PendingDepositCursor();

 private:
  // A cursor of the verifier: borrowed (`used` only) or its own (`own`).
  template <typename C>
  struct Slot {
    C* used = nullptr;
    std::unique_ptr<C> own;
    bool Owned() const { return own != nullptr; }
  };
  template <typename C>
  C* Hand(Slot<C>& slot, const tsioDataFile* file, const char* columns, short index);

  // Back to the state of a new object, before an initialize.
  void Reset();
  // The company folder of a file information ("" = the task's).
  std::string FolderOf(const tsioFileInfo* info) const;
  // Opens `spec` in `folder` through the file manager (created on first use
  // for that folder); a file of another folder gets a handle of its own.
  tsioStatus::Status OpenFile(const std::string& folder, const tsioFileSpec& spec, tsioDataFile** out);
  // Opens the master file (unless open) and reads the history flags from
  // its settings; 2200 on failure.
  ccStatus<ccError::Level> OpenMasterAndReadSettings(const std::string& folder, bool read_settings);
  // Opens the history in `folder` when it is to be searched; warnings 2206
  // and 2207; the history flags are cleared when no history file is open.
  ccStatus<ccError::Level> OpenHistory(const std::string& folder);
  // True when `found` is the transaction being edited.
  static bool IsCurrent(const TransactionData& found, const tsAlpha* bank, const tsDouble* run,
                        const tsDouble* sequence);
  ccStatus<ccError::Level> Found(FoundIn where, ccStatus<ccError::Level> message);

  tsTask* m_task = nullptr;
  std::unique_ptr<tsioFileManager> m_fileManager;
  std::vector<std::unique_ptr<tsioDataFile>> m_otherFiles;  // files of another folder
  const tsioDataFile* m_masterFile = nullptr;
  const tsioDataFile* m_registerFile = nullptr;
  const tsioDataFile* m_historyFile = nullptr;
  bool m_checkHistory = false;
  bool m_depositHistory = false;
  Slot<Transaction> m_registerChecks;
  Slot<Transaction> m_historyChecks;
  Slot<Transaction> m_registerDeposits;
  Slot<Transaction> m_historyDeposits;
  Slot<PendingDeposit> m_pendingDeposits;
  bkVerifyDuplicatesMacroData m_macroData;
  bool m_initialized = false;
  FoundIn m_lastFoundIn = FoundIn::kNowhere;
};
