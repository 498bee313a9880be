// bkMacro: the base of a program's macro record, the options a program keeps
// in its task's macro so that the next run starts with the same choices.
// Each program's macro class says how its options become bytes and back
// (Save, Load); Read and Write move them through the framework's macro
// options of a task (xm_get_options / xm_put_options) under an option group
// and entry.
#pragma once

#include <vector>

#include "records/bk_export.h"

class BK_EXPORT bkMacro {
 public:
  bkMacro() = default;
  bkMacro(const bkMacro&) = default;
  bkMacro& operator=(const bkMacro&) = default;
  virtual ~bkMacro();

  // The options as bytes; and back (false, options unchanged, when the
  // bytes are not a valid record of this macro).
  virtual std::vector<unsigned char> Save() const = 0;
  virtual bool Load(const std::vector<unsigned char>& bytes) = 0;

  // Reads the options the task's macro holds under (id, sub id): the
  // framework's status (0 read, 13 none stored, 1 not a valid record, ...).
  [[nodiscard]] short Read(unsigned short task_command_id, short id, short sub_id);
  // Stores the options under (id, sub id): the framework's status.
  [[nodiscard]] short Write(unsigned short task_command_id, short id, short sub_id) const;
};
