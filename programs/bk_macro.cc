// Macro records of the module's programs (see bk_macro.h).
#include "programs/bk_macro.h"

#include "framework/io/io_status.h"
#include "framework/program/macro_options.h"

bkMacro::~bkMacro() = default;

short bkMacro::Read(unsigned short task_command_id, short id, short sub_id) {
  std::vector<unsigned char> bytes;
  short st = xm_get_options(task_command_id, id, sub_id, bytes);
  if (st != tsioStatus::kSuccess) return st;
  return Load(bytes) ? tsioStatus::kSuccess : tsioStatus::kInvalidOperation;
}

short bkMacro::Write(unsigned short task_command_id, short id, short sub_id) const {
  const std::vector<unsigned char> bytes = Save();
  return xm_put_options(task_command_id, id, sub_id, bytes.data(), bytes.size());
}
