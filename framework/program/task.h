// tsTask: a running task of the application, started from a command.
//
// A task is known process-wide by its command ID while it exists: programs
// created with that ID find their task through tsTask::Find. A task records
// its status, whether it may work in the background, and how its macro is
// used (recorded or played back).
//
// Task status values:
//   0  idle, or ended normally
//   1  active: its program runs (set by Start and by a program's hub)
//   2  closed by the user
//   3  failed: the program could not start (files missing, journal failed)
//
// Start and End are counted (StartCount, EndCount): each call is one start or
// one end of the task, whatever its state, so a caller that must end a task
// only once can be checked.
//
// Tasks are used on the thread that runs the program; the registry that maps
// command IDs to tasks may be used from any thread.
#pragma once

#include <string>

#include "framework/base/export.h"
#include "framework/program/command.h"

class TS_EXPORT tsTask {
 public:
  // Flags of a task (may be or-ed).
  enum FlagsType : unsigned {
    kNoFlags = 0,
    kBackground = 1,   // the task may go on working in the background
    kModal = 2,        // the task's program holds the application until it ends
    kHidden = 4,       // the task shows no window of its own
  };
  enum StatusValue : short { kIdle = 0, kActive = 1, kClosedByUser = 2, kFailed = 3 };
  // How the task's macro is used: options are written while recording and
  // read while playing back.
  enum class MacroMode { kNone, kRecording, kPlaying };

  // Whether tsTask::Find knows the task. A private task belongs to one
  // program that runs without a task of its own (see ccProgram).
  enum class Registration { kRegistered, kPrivate };

  tsTask(std::string name, FlagsType flags, unsigned short command_id,
         Registration registration = Registration::kRegistered);
  virtual ~tsTask();
  tsTask(const tsTask&) = delete;
  tsTask& operator=(const tsTask&) = delete;

  const std::string& Name() const { return name_; }
  FlagsType Flags() const { return flags_; }
  const tsCommand& Command() const { return command_; }
  unsigned short CommandID() const { return command_.ID(); }

  short Status() const { return status_; }
  void SetStatus(short status) { status_ = status; }

  // Starts the task: status 1. Ends it: status as given. Both are counted.
  virtual void Start();
  virtual void End(short status);
  int StartCount() const { return starts_; }
  int EndCount() const { return ends_; }

  bool AllowsBackground() const { return (flags_ & kBackground) != 0; }
  // Prepares the task for background work (asked for by a program's hub when
  // a person runs it); BackgroundReady tells whether that was done.
  void InitBackgroundProcessing() { background_ready_ = true; }
  bool BackgroundReady() const { return background_ready_; }

  MacroMode GetMacroMode() const { return macro_mode_; }
  void SetMacroMode(MacroMode mode) { macro_mode_ = mode; }

  // A request to stop the task's current hub process (see hub.h).
  void RequestCancel() { cancel_requested_ = true; }
  bool CancelRequested() const { return cancel_requested_; }
  void ClearCancel() { cancel_requested_ = false; }

  // The task registered under a command ID, nullptr when none. A task
  // registers itself when made and unregisters when destroyed; when two
  // tasks share an ID the newer one is found.
  static tsTask* Find(unsigned short command_id);

 private:
  std::string name_;
  FlagsType flags_;
  tsCommand command_;
  short status_ = kIdle;
  int starts_ = 0;
  int ends_ = 0;
  bool background_ready_ = false;
  bool cancel_requested_ = false;
  MacroMode macro_mode_ = MacroMode::kNone;
  bool registered_;
};

constexpr tsTask::FlagsType operator|(tsTask::FlagsType a, tsTask::FlagsType b) {
  return static_cast<tsTask::FlagsType>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
