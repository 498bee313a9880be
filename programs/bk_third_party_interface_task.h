// bkThirdPartyInterfaceTask: the task by which outside applications drive the
// module. It hosts one bkThirdPartyInterfaceProgram, which it owns.
//
// Life: idle -> started (Start: the framework task starts, a program is made
// and run; it stays alive because its Go answers false) -> ended (End: the
// program is deleted and the framework task ended, with status 0 whatever
// status End was given). A Start while the task is active (status 1) with a
// program only re-activates that program. A Start after the program failed
// or was terminated (status not 1) replaces it by a new one. End without a
// program, or while an End is under way, does nothing, so the framework task
// is ended once however often End is called.
//
// In an unattended run, or when the program's Go answers true (done), the
// program is terminated as soon as it ran; it stays owned by the task until
// End.
#pragma once

#include "programs/bk_third_party_interface_program.h"
#include "framework/program/com_task.h"
#include "framework/types/ts_string.h"
#include "records/bk_export.h"

class BK_EXPORT bkThirdPartyInterfaceTask : public tsComTask {
 public:
  bkThirdPartyInterfaceTask(const CString& name, tsTask::FlagsType flags, unsigned short command_id,
                            unsigned short help_id, const CString& class_id, const CString& description);
  ~bkThirdPartyInterfaceTask() override;

  void Start() override;
  void End(short status) override;
  bool ActivateProgram();
  virtual bkThirdPartyInterfaceProgram* NewProgram();
  void InvokeProgram();
  bkThirdPartyInterfaceProgram* Prog() const { return m_program; }

 private:
  void DeleteProgram();

  bkThirdPartyInterfaceProgram* m_program = nullptr;
  bool m_ending = false;
};
