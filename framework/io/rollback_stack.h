// tclRollbackStack: a unit of work. Attach one stack to every cursor of the
// unit; the first change made through any of them begins a transaction
// (a savepoint) on the company's connection, and the program ends it with
// Commit or Rollback. A process that dies inside a unit leaves every file as
// it was before the unit. Without a stack each change commits at once; while
// a unit is open, every change made on the same company belongs to it.
//
// A stack destroyed while its unit is open rolls the unit back.
#pragma once

#include <memory>

#include "framework/base/export.h"
#include "framework/io/io_status.h"

class tsioCompany;

class TS_EXPORT tclRollbackStack {
 public:
  tclRollbackStack();
  ~tclRollbackStack();
  tclRollbackStack(const tclRollbackStack&) = delete;
  tclRollbackStack& operator=(const tclRollbackStack&) = delete;

  // True between the first change and Commit/Rollback.
  bool Active() const { return company_ != nullptr; }
  // Ends the unit keeping its changes (kSuccess when nothing was begun).
  [[nodiscard]] tsioStatus::Status Commit();
  // Ends the unit undoing its changes (kSuccess when nothing was begun).
  [[nodiscard]] tsioStatus::Status Rollback();

  // Begins the unit on `company` unless begun (called by cursors before a change).
  [[nodiscard]] tsioStatus::Status EnsureBegun(tsioCompany& company);
  unsigned Id() const { return id_; }

 private:
  friend class tsioCompany;
  std::shared_ptr<tsioCompany> company_;
  unsigned id_;
};
