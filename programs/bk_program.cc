// The module's program object (see bk_program.h).
#include "programs/bk_program.h"

#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/program/macro_options.h"
#include "framework/program/windows.h"
#include "records/files.h"

namespace {
// The handle bound when a file cannot be opened: never open, so reads and
// writes through it answer "file not open".
const tsioDataFile& NoFile() {
  static const tsioDataFile* none = new tsioDataFile();
  return *none;
}
}  // namespace

bkProgram::bkProgram(unsigned short command_id) : ccProgram(command_id) {}

// The settings and the header go before the files they are bound to.
bkProgram::~bkProgram() = default;

tsioDataFile* bkProgram::EnsureOpen(const tsioFileSpec& which) {
  if (tsioDataFile* f = File(which)) return f;
  tsioDataFile* f = nullptr;
  return FileManager().Open(which, &f) == tsioStatus::kSuccess ? f : nullptr;
}

bkSettings* bkProgram::Settings() {
  if (!m_settings) {
    (void)EnsureOpen(BKMFileSpec);
    m_settings = std::make_unique<bkSettings>(*this);
  }
  return m_settings.get();
}

TransactionFileHeader* bkProgram::BKTHeader() {
  if (!m_header) {
    const tsioDataFile* file = EnsureOpen(FileSpecForUnpostedTransactions());
    m_header = std::make_unique<TransactionFileHeader>(file ? *file : NoFile());
  }
  return m_header.get();
}

tsioFileSpec bkProgram::FileSpecForUnpostedTransactions() const { return BKTFileSpec; }

ccBoolStatus bkProgram::OpenFiles() {
  const bool unattended = TSGetApp()->IsUnattended();
  if (FileManager().Open(BKTFileSpec) != tsioStatus::kSuccess) {
    if (unattended) x_log(3, CommandID(), "Could not open BKT file");
    return kBoolFailure;
  }
  if (FileManager().Open(BKMFileSpec) != tsioStatus::kSuccess) {
    if (unattended) x_log(3, CommandID(), "Could not open BKM file");
    return kBoolFailure;
  }
  return kBoolSuccess;
}

bool bkProgram::Go() {
  if (OpenFiles() != kBoolSuccess || !ReadHeader()) {
    SetTaskStatus(tsTask::kFailed);
    return true;
  }
  ccStatus<ccBoolStatus> journal = InitializeJournalSections();
  if (journal.Value() != kBoolSuccess || journal.HasError()) {
    journal.Errors().Display(&Task());
    SetTaskStatus(tsTask::kFailed);
    return true;
  }
  if (ShouldReadMacroOptions()) ReadMacroOptions();
  if (TSGetApp()->IsUnattended()) {
    InvokeHub();
    return false;
  }
  return !ForegroundUI();
}

void bkProgram::InvokeHub() {
  SetTaskStatus(tsTask::kActive);
  xh_hub_def def;
  if (!HubInitialize(def)) return;
  if (!TSGetApp()->IsUnattended()) {
    Task().InitBackgroundProcessing();
    if (Task().AllowsBackground()) AddFilesToMacro();
  }
  (void)xh_process_hub(def);
  xw_refresh();
}

bool bkProgram::HubInitialize(xh_hub_def& def) {
  def = xh_hub_def{};
  def.command_id = CommandID();
  SetHubCallBacks(def, kHubAllCallBacks);
  def.completion_flag = 1;
  const CString group = HubGroupName();
  if (!group.empty()) {
    def.screen_file_number = ScreenFileNumber();
    xh_set_name(def.group_name, group.c_str());
    xh_set_name(def.panel_name, HubPanelName().c_str());
  }
  xh_process_def& area = ProcessArea();
  area = xh_process_def{};
  area.command_id = CommandID();
  area.in_use = 1;
  def.process = &area;
  return true;
}

short bkProgram::HubProcessFunction(xh_process_def*) {
  if (ShouldWriteMacroOptions()) WriteMacroOptions();
  if (ShouldDoBackgroundProcessing()) BackgroundProcess();
  return 1;
}

void bkProgram::HandleWindowClose() {
  SetTaskStatus(tsTask::kClosedByUser);
  TerminateProgram();
}

bool bkProgram::AddFileCB(tsioDataFile* file) {
  if (file) (void)xm_add_file(file->Spec().Name(), file->FileNum(), CommandID());
  return true;
}

void bkProgram::AddFilesToMacro() {
  for (tsioDataFile* f : FileManager().Files()) AddFileCB(f);
}

void bkProgram::BackgroundProcess() {}
bool bkProgram::ForegroundUI() { return true; }
short bkProgram::ScreenFileNumber() { return 0; }
CString bkProgram::HubGroupName() { return ""; }
CString bkProgram::HubPanelName() { return ""; }
ccStatus<ccBoolStatus> bkProgram::InitializeJournalSections() { return ccStatus<ccBoolStatus>(kBoolSuccess); }
bool bkProgram::ReadHeader() { return true; }

void bkProgram::ReadMacroOptions() { TSGetApp()->Message("Default bkProgram::ReadMacroOptions called."); }
void bkProgram::WriteMacroOptions() { TSGetApp()->Message("Default bkProgram::WriteMacroOptions called."); }
