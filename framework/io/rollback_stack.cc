// Units of work (see rollback_stack.h).
#include "framework/io/rollback_stack.h"

#include <atomic>

#include "framework/io/backend.h"
#include "framework/io/company.h"

namespace {
std::atomic<unsigned> g_next_id{1};
}

tclRollbackStack::tclRollbackStack() : id_(g_next_id++) {}

tclRollbackStack::~tclRollbackStack() {
  if (company_) (void)Rollback();
}

tsioStatus::Status tclRollbackStack::EnsureBegun(tsioCompany& company) {
  if (company_) {
    return company_.get() == &company ? tsioStatus::kSuccess : tsioStatus::kInvalidOperation;
  }
  tsioStatus::Status st = company.BeginUnit(this);
  if (st == tsioStatus::kSuccess) company_ = company.shared_from_this();
  return st;
}

tsioStatus::Status tclRollbackStack::Commit() {
  if (!company_) return tsioStatus::kSuccess;
  tsioStatus::Status st = company_->EndUnit(this, true);
  if (st == tsioStatus::kSuccess) company_.reset();
  return st;
}

tsioStatus::Status tclRollbackStack::Rollback() {
  if (!company_) return tsioStatus::kSuccess;
  tsioStatus::Status st = company_->EndUnit(this, false);
  company_.reset();
  return st;
}

tsioAllOrNothing::tsioAllOrNothing(tsioCompany& company) : company_(company.shared_from_this()) {
  company_->Db().BeginAllOrNothing();
}

tsioAllOrNothing::~tsioAllOrNothing() { company_->Db().EndAllOrNothing(); }

tsioWaitingWrites::tsioWaitingWrites(tsioCompany& company) : company_(company.shared_from_this()) {
  company_->Db().BeginWaitingWrites();
}

tsioWaitingWrites::~tsioWaitingWrites() { company_->Db().EndWaitingWrites(); }
