// A copy of a company's database while others work on it.
#include "framework/io/backup.h"

#include "framework/io/company.h"

tsioStatus::Status tsioBackupCompany(const std::string& folder, const std::string& destination) {
  tsioStatus::Status st = tsioStatus::kSuccess;
  std::shared_ptr<tsioCompany> company = tsioCompany::Open(folder, false, &st);
  if (!company) return st == tsioStatus::kSuccess ? tsioStatus::kIOError : st;
  st = company->Db().BackupTo(destination);
  if (st != tsioStatus::kSuccess) company->LogFailure("backup to " + destination, st);
  return st;
}
