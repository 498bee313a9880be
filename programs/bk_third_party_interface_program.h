// bkThirdPartyInterfaceProgram: the program an outside application holds
// through the module's interface task. Its Go does nothing and keeps it
// running, so that the module's files and services (opened on first need,
// see bkProgram) stay available for as long as the task holds it.
#pragma once

#include "programs/bk_program.h"
#include "records/bk_export.h"

class BK_EXPORT bkThirdPartyInterfaceProgram : public bkProgram {
 public:
  explicit bkThirdPartyInterfaceProgram(unsigned short command_id) : bkProgram(command_id) {}
  // false: the program keeps running.
  bool Go() override;
};
