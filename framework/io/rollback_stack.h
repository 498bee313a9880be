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

// Declares, while it lives, that the caller treats any failure in the unit
// of work under way on `company` (or begun while it lives) as the whole
// unit's failure and rolls the unit back: no write's status inside it is
// acted upon but by failing. A server backend then sends the unit's writes
// without waiting for each answer; a failed one fails the next read that
// asks the server, or the commit, with its own status, and the unit is
// rolled back whole (backend.h). A write made outside a unit while it lives
// is not waited for either: when it failed, the next unit fails with its
// status. Nothing changes on an embedded database.
class TS_EXPORT tsioAllOrNothing {
 public:
  explicit tsioAllOrNothing(tsioCompany& company);
  ~tsioAllOrNothing();
  tsioAllOrNothing(const tsioAllOrNothing&) = delete;
  tsioAllOrNothing& operator=(const tsioAllOrNothing&) = delete;

 private:
  std::shared_ptr<tsioCompany> company_;
};

// Inside an all-or-nothing unit, the writes made while it lives wait for
// their answers again: for code that acts on a write's status (an insert
// refused as a duplicate taken to mean another program made the record
// first, then read and updated).
class TS_EXPORT tsioWaitingWrites {
 public:
  explicit tsioWaitingWrites(tsioCompany& company);
  ~tsioWaitingWrites();
  tsioWaitingWrites(const tsioWaitingWrites&) = delete;
  tsioWaitingWrites& operator=(const tsioWaitingWrites&) = delete;

 private:
  std::shared_ptr<tsioCompany> company_;
};
