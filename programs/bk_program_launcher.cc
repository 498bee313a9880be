// Launchers of the module's programs (see bk_program_launcher.h).
#include "programs/bk_program_launcher.h"

#include "framework/base/application.h"

bkProgramLauncher::~bkProgramLauncher() = default;

bool bkProgramLauncher::Foreground() { return true; }
bool bkProgramLauncher::Background() { return true; }

ccBoolStatus bkProgramLauncher::OpenFiles() {
  if (m_fileManager) return kBoolSuccess;
  const std::string folder = TSGetApp()->CompanyFolder();
  if (folder.empty()) return kBoolFailure;
  m_fileManager = std::make_shared<tsioFileManager>(folder);
  return kBoolSuccess;
}

ccStatus<ccBoolStatus> bkProgramLauncher::InitializeJournal(ccJournal*) {
  return ccStatus<ccBoolStatus>(kBoolSuccess);
}
