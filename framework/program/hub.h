// The hub: the framework's runner of a program's processing step.
//
// A program fills a hub definition (xh_hub_def), installs its callbacks and
// hands the definition to xh_process_hub, which runs the processing on the
// caller's thread:
//   1. the window callback (when installed) is told kHubDisplay, then kHubStart;
//   2. the process callback is called with the program's process area, again
//      and again while it answers 0 ("more to do"); any other answer ends the
//      processing. Before each call the hub looks at the task named by the
//      definition's command ID: a cancel request (tsTask::RequestCancel) stops
//      it, and the window callback is told kHubCancel;
//   3. the completion callback (when installed and the completion flag is 1)
//      is told whether the processing was cancelled;
//   4. the process area is marked no longer in use.
// There are no windows: "window" callbacks are the program's hooks for what a
// hub screen would show.
#pragma once

#include <cstddef>

#include "framework/base/export.h"

struct xh_hub_def;

// The program's process area: 384 bytes handed to the process callback. Its
// first word is the task's command ID, the second says whether it is hung on
// a hub definition; the rest is the program's own.
struct TS_EXPORT xh_process_def {
  static constexpr std::size_t kSize = 384;
  unsigned short command_id;
  unsigned short in_use;
  unsigned char data[kSize - 2 * sizeof(unsigned short)];
};
static_assert(sizeof(xh_process_def) == xh_process_def::kSize, "the process area is 384 bytes");

// Events told to the window callback.
enum xh_event : short { kHubDisplay = 1, kHubStart = 2, kHubCancel = 3, kHubButton = 4 };

// Callback bits of xh_hub_def::callback_mask.
inline constexpr unsigned short kHubWindowCallBack = 1;
inline constexpr unsigned short kHubProcessCallBack = 2;
inline constexpr unsigned short kHubCompletionCallBack = 4;
inline constexpr unsigned short kHubAllCallBacks = 7;

using xh_window_fn = short (*)(void* owner, xh_hub_def& def, short event, short argument);
using xh_process_fn = short (*)(void* owner, xh_process_def* process);
using xh_completion_fn = void (*)(void* owner, bool cancelled);

// A hub definition. A cleared definition (xh_hub_def{}) runs nothing.
struct TS_EXPORT xh_hub_def {
  static constexpr std::size_t kNameSize = 8;  // names hold at most 7 characters

  unsigned short command_id = 0;          // the task's command ID (first word)
  unsigned short callback_mask = 0;       // kHub*CallBack bits installed
  unsigned short completion_flag = 0;     // 1: call the completion callback
  short screen_file_number = 0;           // the file the hub screen shows, 0 for none
  char group_name[kNameSize] = {};        // hub screen group, NUL-terminated
  char panel_name[kNameSize] = {};        // hub screen panel, NUL-terminated
  xh_process_def* process = nullptr;      // the program's process area
  void* owner = nullptr;                  // passed back to every callback
  xh_window_fn window_fn = nullptr;
  xh_process_fn process_fn = nullptr;
  xh_completion_fn completion_fn = nullptr;
};

// Results of xh_process_hub.
enum xh_result : short {
  kHubCompleted = 0,   // the process callback said it was done
  kHubCancelled = 1,   // the task asked to cancel
  kHubNothingToRun = 2 // no process callback, or no process area in use
};

// Runs the hub as described above; returns an xh_result value.
TS_EXPORT short xh_process_hub(xh_hub_def& def);

// Copies `name` into a hub name field: at most 7 characters, NUL-terminated.
TS_EXPORT void xh_set_name(char (&field)[xh_hub_def::kNameSize], const char* name);
