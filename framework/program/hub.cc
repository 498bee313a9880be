// The hub runner (see hub.h).
#include "framework/program/hub.h"

#include <cstring>

#include "framework/program/task.h"

namespace {
bool Cancelled(const xh_hub_def& def) {
  const tsTask* task = tsTask::Find(def.command_id);
  return task && task->CancelRequested();
}
}  // namespace

short xh_process_hub(xh_hub_def& def) {
  const bool window = (def.callback_mask & kHubWindowCallBack) && def.window_fn;
  const bool process = (def.callback_mask & kHubProcessCallBack) && def.process_fn;
  const bool completion = (def.callback_mask & kHubCompletionCallBack) && def.completion_fn;
  if (!process || !def.process || !def.process->in_use) return kHubNothingToRun;

  if (window) {
    def.window_fn(def.owner, def, kHubDisplay, 0);
    def.window_fn(def.owner, def, kHubStart, 0);
  }
  bool cancelled = false;
  for (;;) {
    if (Cancelled(def)) {
      cancelled = true;
      if (window) def.window_fn(def.owner, def, kHubCancel, 0);
      break;
    }
    if (def.process_fn(def.owner, def.process) != 0) break;
  }
  if (completion && def.completion_flag == 1) def.completion_fn(def.owner, cancelled);
  def.process->in_use = 0;
  return cancelled ? kHubCancelled : kHubCompleted;
}

void xh_set_name(char (&field)[xh_hub_def::kNameSize], const char* name) {
  std::memset(field, 0, sizeof field);
  if (!name) return;
  std::strncpy(field, name, sizeof field - 1);
}
