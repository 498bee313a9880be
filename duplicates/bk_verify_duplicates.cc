// Duplicate check and deposit verification (see bk_verify_duplicates.h).
#include "duplicates/bk_verify_duplicates.h"

#include <utility>

#include "duplicates/duplicate_messages.h"
#include "framework/base/application.h"
#include "framework/program/macro_options.h"
#include "records/files.h"
#include "settings/bk_settings.h"

namespace {

using LevelStatus = ccStatus<ccError::Level>;

LevelStatus NoDuplicate() { return LevelStatus(ccError::kNone); }

// Names of the files and of what is looked for, as the messages show them.
constexpr const char kMaster[] = "Master";
constexpr const char kSettings[] = "BK Master";
constexpr const char kRegister[] = "Register";
constexpr const char kHistory[] = "History";
constexpr const char kCheck[] = "<8F>";
constexpr const char kDeposit[] = "Deposit";
constexpr const char kPendingDeposit[] = "Pending Deposit";

}  // namespace

bkVerifyDuplicates::bkVerifyDuplicates() = default;

// The cursors it made go first, then the files its manager opened.
bkVerifyDuplicates::~bkVerifyDuplicates() { Reset(); }

void bkVerifyDuplicates::Init(tsTask& task) { m_task = &task; }

void bkVerifyDuplicates::Reset() {
  for (Slot<Transaction>* slot : {&m_registerChecks, &m_historyChecks, &m_registerDeposits, &m_historyDeposits}) {
    *slot = Slot<Transaction>{};
  }
  m_pendingDeposits = Slot<PendingDeposit>{};
  m_masterFile = m_registerFile = m_historyFile = nullptr;
  if (m_fileManager) m_fileManager->CloseAll();
  m_fileManager.reset();
  m_otherFiles.clear();
  m_checkHistory = m_depositHistory = false;
  m_initialized = false;
  m_lastFoundIn = FoundIn::kNowhere;
}

std::string bkVerifyDuplicates::FolderOf(const tsioFileInfo* info) const {
  if (info != nullptr && !info->Folder().empty()) return info->Folder();
  return TSGetApp()->CompanyFolder();
}

tsioStatus::Status bkVerifyDuplicates::OpenFile(const std::string& folder, const tsioFileSpec& spec,
                                                tsioDataFile** out) {
  *out = nullptr;
  if (!m_fileManager) m_fileManager = std::make_unique<tsioFileManager>(folder);
  if (folder == m_fileManager->Folder()) return m_fileManager->Open(spec, out);
  auto file = std::make_unique<tsioDataFile>();
  const tsioStatus::Status status = file->OpenByName(folder + "/" + spec.Name());
  if (status != tsioStatus::kSuccess) return status;
  *out = file.get();
  m_otherFiles.push_back(std::move(file));
  return tsioStatus::kSuccess;
}

ccStatus<ccError::Level> bkVerifyDuplicates::OpenMasterAndReadSettings(const std::string& folder,
                                                                       bool read_settings) {
  if (m_masterFile == nullptr) {
    tsioDataFile* master = nullptr;
    const tsioStatus::Status status = OpenFile(folder, BKMFileSpec, &master);
    if (status != tsioStatus::kSuccess) return bkDupOpenError(kMaster, status);
    m_masterFile = master;
  }
  if (!read_settings) return NoDuplicate();
  bkSettings settings(*m_masterFile);
  const tsioStatus::Status status = settings.Get(false);
  if (status != tsioStatus::kSuccess) return bkDupOpenError(kSettings, status);
  m_checkHistory = settings.GetVerifyDupCheckInHistory().Value();
  m_depositHistory = settings.GetVerifyDupDepositInHistory().Value();
  return NoDuplicate();
}

ccStatus<ccError::Level> bkVerifyDuplicates::OpenHistory(const std::string& folder) {
  LevelStatus result = NoDuplicate();
  if (m_historyFile == nullptr && m_macroData.GetSearchHistory() != 0 && (m_checkHistory || m_depositHistory)) {
    tsioDataFile* history = nullptr;
    const tsioStatus::Status status = OpenFile(folder, BKTHistoryFileSpec, &history);
    if (status == tsioStatus::kSuccess) {
      m_historyFile = history;
    } else {
      result.Merge(bkDupHistoryWarning(status));
    }
  }
  if (m_historyFile == nullptr) m_checkHistory = m_depositHistory = false;
  return result;
}

ccStatus<ccError::Level> bkVerifyDuplicates::initialize(const tsioFileInfo& register_info,
                                                        const tsioFileInfo* master_info,
                                                        const tsioFileInfo* history_info) {
  Reset();
  LevelStatus result = OpenMasterAndReadSettings(FolderOf(master_info ? master_info : &register_info), true);
  if (result.HasError()) return result;

  tsioDataFile* reg = nullptr;
  const tsioStatus::Status status = OpenFile(FolderOf(&register_info), register_info.Spec(), &reg);
  if (status != tsioStatus::kSuccess) return result.Merge(bkDupOpenError(kRegister, status));
  m_registerFile = reg;

  result.Merge(OpenHistory(FolderOf(history_info ? history_info : &register_info)));
  m_initialized = true;
  return result;
}

ccStatus<ccError::Level> bkVerifyDuplicates::initialize(const bkSettings* settings, Transaction* register_checks,
                                                        Transaction* register_deposits,
                                                        Transaction* history_checks,
                                                        Transaction* history_deposits,
                                                        PendingDeposit* pending_deposits) {
  Reset();
  m_registerChecks.used = register_checks;
  m_registerDeposits.used = register_deposits;
  m_historyChecks.used = history_checks;
  m_historyDeposits.used = history_deposits;
  m_pendingDeposits.used = pending_deposits;
  if (register_checks != nullptr) {
    m_registerFile = &register_checks->File();
  } else if (register_deposits != nullptr) {
    m_registerFile = &register_deposits->File();
  }
  if (pending_deposits != nullptr) m_masterFile = &pending_deposits->File();
  // Files this object opens itself sit beside the register.
  const std::string folder = m_registerFile != nullptr && m_registerFile->IsOpen()
                                 ? m_registerFile->Company().Folder()
                                 : FolderOf(nullptr);

  if (settings != nullptr) {
    m_checkHistory = settings->GetVerifyDupCheckInHistory().Value();
    m_depositHistory = settings->GetVerifyDupDepositInHistory().Value();
  }
  LevelStatus result = OpenMasterAndReadSettings(folder, settings == nullptr);
  if (result.HasError()) return result;
  if (m_registerFile == nullptr || !m_registerFile->IsOpen()) {
    return result.Merge(bkDupOpenError(kRegister, tsioStatus::kFileNotOpen));
  }

  if (m_macroData.GetSearchHistory() != 0 && (m_checkHistory || m_depositHistory)) {
    if (history_checks != nullptr) {
      m_historyFile = &history_checks->File();
    } else if (history_deposits != nullptr) {
      m_historyFile = &history_deposits->File();
    }
  }
  result.Merge(OpenHistory(folder));
  m_initialized = true;
  return result;
}

template <typename C>
C* bkVerifyDuplicates::Hand(Slot<C>& slot, const tsioDataFile* file, const char* columns, short index) {
  if (slot.used == nullptr) {
    if (file == nullptr || !file->IsOpen()) return nullptr;
    slot.own = std::make_unique<C>(*file, columns, index);
    slot.used = slot.own.get();
  }
  slot.used->ClearFileBuffers();
  return slot.used;
}

Transaction* bkVerifyDuplicates::RegisterCheckCursor() {
  return Hand(m_registerChecks, m_registerFile, CheckCursorFields, kCheckIndex);
}
Transaction* bkVerifyDuplicates::HistoryCheckCursor() {
  return Hand(m_historyChecks, m_historyFile, CheckCursorFields, kCheckIndex);
}
Transaction* bkVerifyDuplicates::RegisterDepositCursor() {
  return Hand(m_registerDeposits, m_registerFile, DepositCursorFields, kDepositIndex);
}
Transaction* bkVerifyDuplicates::HistoryDepositCursor() {
  return Hand(m_historyDeposits, m_historyFile, DepositCursorFields, kDepositIndex);
}
PendingDeposit* bkVerifyDuplicates::PendingDepositCursor() {
  return Hand(m_pendingDeposits, m_masterFile, PendingDepositCursorFields, kPendingDepositIndex);
}

bool bkVerifyDuplicates::IsCurrent(const TransactionData& found, const tsAlpha* bank, const tsDouble* run,
                                   const tsDouble* sequence) {
  return bank != nullptr && run != nullptr && sequence != nullptr && found.GetBankAccount() == *bank &&
         found.GetRun() == *run && found.GetSequence() == *sequence;
}

ccStatus<ccError::Level> bkVerifyDuplicates::Found(FoundIn where, ccStatus<ccError::Level> message) {
  m_lastFoundIn = where;
  return message;
}

namespace {

// One lookup in one file: found (0), not found (13) or the failing status.
// `matches` tells whether the cursor's record has the number looked for;
// when the record found is the transaction being edited (`is_current`),
// the lookup steps over it to the next record in the index, which has the
// same number only when it is another transaction using it.
template <typename Matches, typename IsCurrent>
tsioStatus::Status LookUp(Transaction& cursor, Matches matches, IsCurrent is_current) {
  tsioStatus::Status status = cursor.FetchEQ(false);
  if (status != tsioStatus::kSuccess || !is_current(cursor.m_Record)) return status;
  status = cursor.FetchNext(false);
  if (status == tsioStatus::kEndOfFile) return tsioStatus::kNotFound;
  if (status != tsioStatus::kSuccess) return status;
  return matches(cursor.m_Record) ? tsioStatus::kSuccess : tsioStatus::kNotFound;
}

}  // namespace

void bkVerifyDuplicates::PrefetchCheckExists(const tsAlpha& bank_account, const tsDouble& check_number) {
  if (!m_initialized || !check_number) return;
  for (Transaction* c : {RegisterCheckCursor(), m_checkHistory ? HistoryCheckCursor() : nullptr}) {
    if (c == nullptr) continue;
    c->m_Record.SetBankAccount(bank_account);
    c->m_Record.SetCheck(check_number);
    c->CursorPtr()->PrefetchEQ();
  }
}

ccStatus<ccError::Level> bkVerifyDuplicates::checkExists(const tsAlpha& bank_account, const tsDouble& check_number,
                                                         const tsAlpha* current_bank_account,
                                                         const tsDouble* current_run,
                                                         const tsDouble* current_sequence) {
  m_lastFoundIn = FoundIn::kNowhere;
  if (!check_number) return NoDuplicate();
  auto matches = [&](const TransactionData& r) {
    return r.GetBankAccount() == bank_account && r.GetCheck() == check_number;
  };
  auto is_current = [&](const TransactionData& r) {
    return IsCurrent(r, current_bank_account, current_run, current_sequence);
  };

  Transaction* reg = m_initialized ? RegisterCheckCursor() : nullptr;
  if (reg == nullptr) return bkDupLookupError(kRegister, kCheck, tsioStatus::kFileNotOpen);
  reg->m_Record.SetBankAccount(bank_account);
  reg->m_Record.SetCheck(check_number);
  tsioStatus::Status status = LookUp(*reg, matches, is_current);
  if (status == tsioStatus::kSuccess) return Found(FoundIn::kRegister, bkDupCheckError(bank_account, check_number));
  if (status != tsioStatus::kNotFound) return bkDupLookupError(kRegister, kCheck, status);

  if (!m_checkHistory) return NoDuplicate();
  Transaction* history = HistoryCheckCursor();
  if (history == nullptr) return bkDupLookupError(kHistory, kCheck, tsioStatus::kFileNotOpen);
  history->m_Record.SetBankAccount(bank_account);
  history->m_Record.SetCheck(check_number);
  status = history->FetchEQ(false);
  if (status == tsioStatus::kSuccess) return Found(FoundIn::kHistory, bkDupCheckError(bank_account, check_number));
  if (status != tsioStatus::kNotFound) return bkDupLookupError(kHistory, kCheck, status);
  return NoDuplicate();
}

ccStatus<ccError::Level> bkVerifyDuplicates::depositExists(const tsAlpha& bank_account, const tsDate& deposit_date,
                                                           const tsAlpha& deposit_id,
                                                           const tsAlpha* current_bank_account,
                                                           const tsDouble* current_run,
                                                           const tsDouble* current_sequence) {
  m_lastFoundIn = FoundIn::kNowhere;
  auto duplicate = [&] { return bkDupDepositError(bank_account, deposit_date, deposit_id); };
  auto matches = [&](const TransactionData& r) {
    return r.GetBankAccount() == bank_account && r.GetDepositDate() == deposit_date &&
           r.GetDepositID() == deposit_id;
  };
  auto is_current = [&](const TransactionData& r) {
    return IsCurrent(r, current_bank_account, current_run, current_sequence);
  };

  Transaction* reg = m_initialized ? RegisterDepositCursor() : nullptr;
  if (reg == nullptr) return bkDupLookupError(kRegister, kDeposit, tsioStatus::kFileNotOpen);
  reg->m_Record.SetBankAccount(bank_account);
  reg->m_Record.SetDepositDate(deposit_date);
  reg->m_Record.SetDepositID(deposit_id);
  tsioStatus::Status status = LookUp(*reg, matches, is_current);
  if (status == tsioStatus::kSuccess) return Found(FoundIn::kRegister, duplicate());
  if (status != tsioStatus::kNotFound) return bkDupLookupError(kRegister, kDeposit, status);

  // A pending deposit reserves its identity whoever asks.
  PendingDeposit* pending = PendingDepositCursor();
  if (pending == nullptr) return bkDupLookupError(kMaster, kPendingDeposit, tsioStatus::kFileNotOpen);
  pending->m_Record.SetBankAccount(bank_account);
  pending->m_Record.SetDepositDate(deposit_date);
  pending->m_Record.SetDepositID(deposit_id);
  status = pending->FetchEQ(false);
  if (status == tsioStatus::kSuccess) return Found(FoundIn::kPendingDeposits, duplicate());
  if (status != tsioStatus::kNotFound) return bkDupLookupError(kMaster, kPendingDeposit, status);

  if (!m_depositHistory) return NoDuplicate();
  Transaction* history = HistoryDepositCursor();
  if (history == nullptr) return bkDupLookupError(kHistory, kDeposit, tsioStatus::kFileNotOpen);
  history->m_Record.SetBankAccount(bank_account);
  history->m_Record.SetDepositDate(deposit_date);
  history->m_Record.SetDepositID(deposit_id);
  status = history->FetchEQ(false);
  if (status == tsioStatus::kSuccess) return Found(FoundIn::kHistory, duplicate());
  if (status != tsioStatus::kNotFound) return bkDupLookupError(kHistory, kDeposit, status);
  return NoDuplicate();
}

void bkVerifyDuplicates::readMacroOptions() {
  if (m_task == nullptr) return;
  (void)m_macroData.Read(m_task->CommandID(), kMacroOptionsId, kMacroOptionsSubId);
}

void bkVerifyDuplicates::writeMacroOptions() {
  const bool history = m_historyFile != nullptr && m_historyFile->IsOpen();
  m_macroData.SetSearchHistory(history ? 1 : 0);
  if (m_task == nullptr) return;
  if (history) (void)xm_add_file(m_historyFile->Spec().Name(), m_historyFile->FileNum(), m_task->CommandID());
  (void)m_macroData.Write(m_task->CommandID(), kMacroOptionsId, kMacroOptionsSubId);
}
