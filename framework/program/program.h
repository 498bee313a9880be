// ccProgram: the framework's program object. A task creates its program with
// its command ID; the program finds its task by that ID (tsTask::Find) and,
// when no task is registered under it, runs with a private task of its own.
//
// What a program has:
//   - its files: a file manager over the company folder the application
//     names (TSGetApp()->CompanyFolder()) when the manager is first used;
//     File(...) is the open handle of a data file, nullptr when not open. The
//     files close when the program is destroyed.
//   - its current batch (GetBatch) and its journal (Journal);
//   - its 384-byte process area for the hub (hub.h) and the hub hooks below,
//     reached through the callbacks SetHubCallBacks installs;
//   - its life: Go runs it (true: it is done and may be terminated; false:
//     it keeps running), Activate brings a running program forward again,
//     TerminateProgram ends it. A terminated program does not activate
//     again; its object stays until its owner deletes it (a program never
//     deletes itself), and its files stay open until then, so objects bound
//     to them never outlive them.
//
// Defaults of the hooks: Go answers true; Activate answers true (and counts)
// unless the program was terminated; macro options are read while the task
// plays its macro back and written while it records; background processing
// is done in unattended runs and for tasks that allow background work; the
// hub window hooks and completion hooks do nothing; the process function
// answers 1 (done).
#pragma once

#include <memory>

#include "framework/base/export.h"
#include "framework/batch/batch.h"
#include "framework/io/file_manager.h"
#include "framework/io/file_identity.h"
#include "framework/program/hub.h"
#include "framework/program/journal.h"
#include "framework/program/task.h"

class TS_EXPORT ccProgram {
 public:
  explicit ccProgram(unsigned short command_id);
  virtual ~ccProgram();
  ccProgram(const ccProgram&) = delete;
  ccProgram& operator=(const ccProgram&) = delete;

  unsigned short CommandID() const { return command_id_; }
  // The task registered under the command ID, else the program's private one.
  tsTask& Task() const;
  short TaskStatus() const { return Task().Status(); }
  void SetTaskStatus(short status) { Task().SetStatus(status); }

  tsioFileManager& FileManager() const;
  tsioDataFile* File(const tsioFileSpec& which) const;

  zzBatch& GetBatch() { return batch_; }
  const zzBatch& GetBatch() const { return batch_; }
  void SetBatch(const zzBatch& batch) { batch_ = batch; }

  ccJournal& Journal() const;

  // Life.
  virtual bool Go();
  virtual bool Activate();
  virtual void Close();
  virtual void ChildHasClosed(ccProgram* child);
  void TerminateProgram();
  bool Terminated() const { return terminated_; }
  int ActivationCount() const { return activations_; }

  // Macro options and background work.
  virtual bool ShouldReadMacroOptions();
  virtual bool ShouldWriteMacroOptions();
  virtual bool ShouldDoBackgroundProcessing();

  // Hub. HubInitialize fills a definition for this program: cleared, the
  // command ID, every callback (mask 7), completion flag 1 and the process
  // area (cleared, command ID in its first word, in use).
  virtual bool HubInitialize(xh_hub_def& def);
  virtual short HubWindowFunction(xh_hub_def& def, short event, short argument);
  virtual void HubDisplay();
  virtual void HubStart();
  virtual void HubCancel();
  virtual void HubButtonClicked(short button);
  virtual void HubProcessCancelled();
  virtual void HubProcessCompleted();
  virtual short HubProcessFunction(xh_process_def* process);
  // Installs the callbacks of `mask` (kHub*CallBack bits), which call this
  // program's hooks: window events go to HubWindowFunction, processing to
  // HubProcessFunction, completion to HubProcessCompleted or
  // HubProcessCancelled.
  void SetHubCallBacks(xh_hub_def& def, unsigned short mask);
  xh_process_def& ProcessArea() { return process_; }

 private:
  unsigned short command_id_;
  mutable std::unique_ptr<tsTask> own_task_;
  mutable std::unique_ptr<tsioFileManager> files_;
  mutable std::unique_ptr<ccJournal> journal_;
  zzBatch batch_;
  xh_process_def process_{};
  bool terminated_ = false;
  int activations_ = 0;
};
