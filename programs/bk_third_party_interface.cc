// The module's task and program for outside applications (see
// bk_third_party_interface_task.h and bk_third_party_interface_program.h).
#include "programs/bk_third_party_interface_task.h"

#include "framework/base/application.h"

bool bkThirdPartyInterfaceProgram::Go() { return false; }

bkThirdPartyInterfaceTask::bkThirdPartyInterfaceTask(const CString& name, tsTask::FlagsType flags,
                                                     unsigned short command_id, unsigned short help_id,
                                                     const CString& class_id, const CString& description)
    : tsComTask(name, flags, command_id, help_id, class_id, description) {}

bkThirdPartyInterfaceTask::~bkThirdPartyInterfaceTask() {
  m_ending = true;
  DeleteProgram();
}

void bkThirdPartyInterfaceTask::DeleteProgram() {
  delete m_program;
  m_program = nullptr;
}

bool bkThirdPartyInterfaceTask::ActivateProgram() {
  if (Status() != tsTask::kActive || !m_program) return false;
  return m_program->Activate();
}

bkThirdPartyInterfaceProgram* bkThirdPartyInterfaceTask::NewProgram() {
  return new bkThirdPartyInterfaceProgram(CommandID());
}

void bkThirdPartyInterfaceTask::Start() {
  if (ActivateProgram()) return;
  // A program that can no longer be activated (failed, terminated) is
  // replaced, never leaked.
  DeleteProgram();
  tsComTask::Start();
  m_program = NewProgram();
  if (!m_program) {
    tsComTask::End(tsTask::kClosedByUser);
    return;
  }
  InvokeProgram();
}

void bkThirdPartyInterfaceTask::InvokeProgram() {
  if (!m_program) return;
  if (m_program->Go() || TSGetApp()->IsUnattended()) m_program->TerminateProgram();
}

void bkThirdPartyInterfaceTask::End(short) {
  if (!m_program || m_ending) return;
  m_ending = true;
  DeleteProgram();
  tsComTask::End(tsTask::kIdle);
  m_ending = false;
}
