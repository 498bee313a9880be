// bkProgramLauncher: the light object a task uses to start one of the
// module's programs. It knows its task and, once OpenFiles has run, a file
// manager for the task's company folder. Copies of a launcher share that
// file manager: it closes its files and goes away with the last launcher
// that refers to it.
//
// Each program's launcher supplies NewProgram (the program it starts) and
// Launch (start it); the defaults of the rest: it may run in the foreground
// and in the background, and it adds nothing to the journal.
#pragma once

#include <memory>

#include "framework/base/errors.h"
#include "framework/io/file_manager.h"
#include "framework/program/journal.h"
#include "framework/program/task.h"
#include "records/bk_export.h"

class bkProgram;

class BK_EXPORT bkProgramLauncher {
 public:
  explicit bkProgramLauncher(const tsTask* task = nullptr) : m_task(task) {}
  virtual ~bkProgramLauncher();
  bkProgramLauncher(const bkProgramLauncher&) = default;
  bkProgramLauncher& operator=(const bkProgramLauncher&) = default;

  virtual bool Foreground();
  virtual bool Background();
  // Creates the file manager for the task's company folder (the
  // application's); 1 when it cannot (no company folder is set), else 0. A
  // launcher that has one keeps it.
  virtual ccBoolStatus OpenFiles();
  // The program this launcher starts (the caller owns it), and starting it.
  virtual bkProgram* NewProgram() = 0;
  virtual bool Launch() = 0;
  virtual ccStatus<ccBoolStatus> InitializeJournal(ccJournal* journal);

  const tsTask* Task() const { return m_task; }
  // nullptr until OpenFiles succeeded.
  tsioFileManager* FileManager() const { return m_fileManager.get(); }

 private:
  const tsTask* m_task;
  std::shared_ptr<tsioFileManager> m_fileManager;
};
