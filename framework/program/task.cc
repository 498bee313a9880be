// Tasks and their process-wide registry by command ID.
#include "framework/program/task.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "framework/program/com_task.h"

namespace {
std::mutex& RegistryMutex() {
  static std::mutex mu;
  return mu;
}
// Newest last; never destroyed, so tasks may unregister while the process ends.
std::vector<tsTask*>& Registry() {
  static auto* tasks = new std::vector<tsTask*>();
  return *tasks;
}
}  // namespace

tsTask::tsTask(std::string name, FlagsType flags, unsigned short command_id, Registration registration)
    : name_(std::move(name)),
      flags_(flags),
      command_(command_id, name_),
      registered_(registration == Registration::kRegistered) {
  if (!registered_) return;
  std::lock_guard<std::mutex> g(RegistryMutex());
  Registry().push_back(this);
}

tsTask::~tsTask() {
  if (!registered_) return;
  std::lock_guard<std::mutex> g(RegistryMutex());
  auto& r = Registry();
  r.erase(std::remove(r.begin(), r.end(), this), r.end());
}

void tsTask::Start() {
  ++starts_;
  cancel_requested_ = false;
  status_ = kActive;
}

void tsTask::End(short status) {
  ++ends_;
  status_ = status;
}

tsTask* tsTask::Find(unsigned short command_id) {
  std::lock_guard<std::mutex> g(RegistryMutex());
  const auto& r = Registry();
  for (auto it = r.rbegin(); it != r.rend(); ++it) {
    if ((*it)->CommandID() == command_id) return *it;
  }
  return nullptr;
}

tsComTask::tsComTask(std::string name, FlagsType flags, unsigned short command_id, unsigned short help_id,
                     std::string class_id, std::string description)
    : tsTask(std::move(name), flags, command_id),
      help_id_(help_id),
      class_id_(std::move(class_id)),
      description_(std::move(description)) {}

tsComTask::~tsComTask() = default;
