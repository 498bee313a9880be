// tsioFileManager: opens the data files of one company folder by file spec,
// creates the company's files on request and hands out file numbers (1 to
// 400 for data files, 401 to 600 for work files). It owns the handles it
// opens and closes them with itself.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/base/export.h"
#include "framework/io/data_file.h"
#include "framework/io/file_identity.h"

class TS_EXPORT tsioFileManager {
 public:
  explicit tsioFileManager(std::string company_folder);
  ~tsioFileManager();
  tsioFileManager(const tsioFileManager&) = delete;
  tsioFileManager& operator=(const tsioFileManager&) = delete;

  const std::string& Folder() const { return folder_; }

  // Creates the company (folder and database) when missing, and each given
  // data file that does not exist yet.
  [[nodiscard]] tsioStatus::Status CreateCompany();
  [[nodiscard]] tsioStatus::Status Create(const tsioFileSpec& spec);

  // Opens a data file (or returns the handle already open for that spec).
  // kFileDoesNotExist for a missing company folder, database or data file;
  // every failure writes one log line.
  [[nodiscard]] tsioStatus::Status Open(const tsioFileSpec& spec, tsioDataFile** out = nullptr);
  // The open handle of a spec, nullptr when it is not open.
  tsioDataFile* Find(const tsioFileSpec& spec) const;
  bool IsOpen(const tsioFileSpec& spec) const { return Find(spec) != nullptr; }
  void Close(const tsioFileSpec& spec);
  void CloseAll();
  std::vector<tsioDataFile*> Files() const;

 private:
  std::string folder_;
  std::shared_ptr<tsioCompany> company_;
  std::vector<std::unique_ptr<tsioDataFile>> files_;
};
