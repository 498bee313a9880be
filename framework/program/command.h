// tsCommand: the command (menu entry) that starts a task. Its 16-bit ID is
// what names the task everywhere else: in log lines, in the hub definition,
// in macro options and in the blocks exchanged with other modules.
#pragma once

#include <string>

#include "framework/base/export.h"

class TS_EXPORT tsCommand {
 public:
  tsCommand() = default;
  explicit tsCommand(unsigned short id, std::string name = "") : id_(id), name_(std::move(name)) {}

  unsigned short ID() const { return id_; }
  const std::string& Name() const { return name_; }

 private:
  unsigned short id_ = 0;
  std::string name_;
};
