// The framework's program object (see program.h).
#include "framework/program/program.h"

#include <cstring>

#include "framework/base/application.h"

namespace {

short WindowCallBack(void* owner, xh_hub_def& def, short event, short argument) {
  return static_cast<ccProgram*>(owner)->HubWindowFunction(def, event, argument);
}
short ProcessCallBack(void* owner, xh_process_def* process) {
  return static_cast<ccProgram*>(owner)->HubProcessFunction(process);
}
void CompletionCallBack(void* owner, bool cancelled) {
  auto* program = static_cast<ccProgram*>(owner);
  if (cancelled) {
    program->HubProcessCancelled();
  } else {
    program->HubProcessCompleted();
  }
}

}  // namespace

ccProgram::ccProgram(unsigned short command_id) : command_id_(command_id) {}

ccProgram::~ccProgram() = default;

tsTask& ccProgram::Task() const {
  if (tsTask* t = tsTask::Find(command_id_)) return *t;
  if (!own_task_) {
    own_task_ = std::make_unique<tsTask>("program " + std::to_string(command_id_), tsTask::kNoFlags, command_id_,
                                         tsTask::Registration::kPrivate);
  }
  return *own_task_;
}

tsioFileManager& ccProgram::FileManager() const {
  if (!files_) files_ = std::make_unique<tsioFileManager>(TSGetApp()->CompanyFolder());
  return *files_;
}

tsioDataFile* ccProgram::File(const tsioFileSpec& which) const { return files_ ? files_->Find(which) : nullptr; }

ccJournal& ccProgram::Journal() const {
  if (!journal_) journal_ = std::make_unique<ccJournal>(command_id_);
  return *journal_;
}

bool ccProgram::Go() { return true; }

bool ccProgram::Activate() {
  if (terminated_) return false;
  ++activations_;
  return true;
}

void ccProgram::Close() {}
void ccProgram::ChildHasClosed(ccProgram*) {}

void ccProgram::TerminateProgram() {
  if (terminated_) return;
  terminated_ = true;
  Close();
}

bool ccProgram::ShouldReadMacroOptions() { return Task().GetMacroMode() == tsTask::MacroMode::kPlaying; }
bool ccProgram::ShouldWriteMacroOptions() { return Task().GetMacroMode() == tsTask::MacroMode::kRecording; }
bool ccProgram::ShouldDoBackgroundProcessing() { return TSGetApp()->IsUnattended() || Task().AllowsBackground(); }

bool ccProgram::HubInitialize(xh_hub_def& def) {
  def = xh_hub_def{};
  def.command_id = command_id_;
  SetHubCallBacks(def, kHubAllCallBacks);
  def.completion_flag = 1;
  std::memset(&process_, 0, sizeof process_);
  process_.command_id = command_id_;
  process_.in_use = 1;
  def.process = &process_;
  return true;
}

short ccProgram::HubWindowFunction(xh_hub_def&, short event, short argument) {
  switch (event) {
    case kHubDisplay: HubDisplay(); break;
    case kHubStart: HubStart(); break;
    case kHubCancel: HubCancel(); break;
    case kHubButton: HubButtonClicked(argument); break;
    default: break;
  }
  return 0;
}

void ccProgram::HubDisplay() {}
void ccProgram::HubStart() {}
void ccProgram::HubCancel() {}
void ccProgram::HubButtonClicked(short) {}
void ccProgram::HubProcessCancelled() {}
void ccProgram::HubProcessCompleted() {}
short ccProgram::HubProcessFunction(xh_process_def*) { return 1; }

void ccProgram::SetHubCallBacks(xh_hub_def& def, unsigned short mask) {
  def.owner = this;
  def.callback_mask = mask & kHubAllCallBacks;
  def.window_fn = (mask & kHubWindowCallBack) ? &WindowCallBack : nullptr;
  def.process_fn = (mask & kHubProcessCallBack) ? &ProcessCallBack : nullptr;
  def.completion_fn = (mask & kHubCompletionCallBack) ? &CompletionCallBack : nullptr;
}
