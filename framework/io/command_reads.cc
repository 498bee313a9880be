// Reads kept for one command (see command_reads.h).
#include "framework/io/command_reads.h"

#include "framework/io/backend.h"
#include "framework/io/company.h"
#include "framework/io/cursor.h"
#include "framework/io/header.h"

tsioCommandReads::tsioCommandReads(const tsioDataFile& file) {
  if (!file.IsOpen()) return;
  company_ = file.Company().shared_from_this();
  company_->Db().BeginCommand();
}

tsioCommandReads::~tsioCommandReads() {
  if (company_) company_->Db().EndCommand();
}

void tsioCommandReads::Keep(const tsioDataFile& file, short record_type) {
  if (!company_ || !file.IsOpen() || &file.Company() != company_.get()) return;
  company_->Db().KeepForCommand(tsioCompany::TableName(file.Spec().Code(), file.Spec().Instance(), record_type));
}

void tsioCommandReads::KeepHeader(const tsioDataFile& file, short header) {
  if (!company_ || !file.IsOpen() || &file.Company() != company_.get()) return;
  company_->Db().KeepForCommand(tsioCompany::HeaderTableName(file.Spec().Code(), file.Spec().Instance(), header));
}

void tsioCommandReads::PrefetchEQ(tsioCursor& cursor) {
  if (company_ && cursor.File().IsOpen() && &cursor.File().Company() == company_.get()) cursor.PrefetchEQ();
}

void tsioCommandReads::PrefetchGE(tsioCursor& cursor) {
  if (company_ && cursor.File().IsOpen() && &cursor.File().Company() == company_.get()) cursor.PrefetchGE();
}

void tsioCommandReads::Prefetch(const tsioHeader& header) {
  if (company_ && header.File().IsOpen() && &header.File().Company() == company_.get()) header.Prefetch();
}

void tsioCommandReads::Send() {
  if (company_) company_->Db().PrefetchNow();
}

void tsioCommandReads::Send(const tsioDataFile& file) {
  if (file.IsOpen()) file.Company().Db().PrefetchNow();
}
