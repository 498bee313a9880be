// tsComTask: a task started by an outside application through the
// component interface rather than from a menu. Besides the task's name,
// flags and command ID it carries a help ID, the outside application's
// class identifier (its programmatic name) and a description.
#pragma once

#include <string>

#include "framework/base/export.h"
#include "framework/program/task.h"

class TS_EXPORT tsComTask : public tsTask {
 public:
  tsComTask(std::string name, FlagsType flags, unsigned short command_id, unsigned short help_id,
            std::string class_id, std::string description);
  ~tsComTask() override;

  unsigned short HelpID() const { return help_id_; }
  const std::string& ClassID() const { return class_id_; }
  const std::string& Description() const { return description_; }

 private:
  unsigned short help_id_;
  std::string class_id_;
  std::string description_;
};
