// Interfaces between applications and last-run counters (see interfaces.h).
#include "framework/control/interfaces.h"

#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/control/control_cache.h"
#include "framework/control/control_file.h"
#include "framework/io/data_file.h"

short zc_interface_active(std::string_view from, std::string_view to) {
  return ts_control_detail::CachedInterfaceActive(TSGetApp()->CompanyFolder(), from, to) ? 1 : 0;
}

void zc_prefetch_control_reads(std::string_view from, std::string_view to) {
  ts_control_detail::PrefetchCached(TSGetApp()->CompanyFolder(), from, to);
}

short zc_set_interface_active(std::string_view from, std::string_view to, bool active) {
  const std::string folder = TSGetApp()->CompanyFolder();
  if (folder.empty()) return 0;
  auto cf = tsControlFile::Open(folder);
  if (!cf) return 0;
  return cf->SetInterfaceActive(from, to, active) == tsioStatus::kSuccess ? 1 : 0;
}

long zc_increment_lastrun(unsigned short task_command_id, short file_number, short n) {
  const tsioDataFile* file = tsioDataFile::ByNumber(file_number);
  if (!file || !file->IsOpen()) return 0;
  tsioStatus::Status st = tsioStatus::kSuccess;
  auto cf = tsControlFile::Open(file->Company().Folder(), &st);
  long run = 0;
  if (cf) st = cf->IncrementLastRun(file->Spec().Code(), file->Spec().Instance(), n, task_command_id, &run);
  if (st != tsioStatus::kSuccess) {
    x_log(2, task_command_id,
          "could not take a run number for " + file->Spec().Name() + ": status " + std::to_string(st));
    return 0;
  }
  return run;
}
