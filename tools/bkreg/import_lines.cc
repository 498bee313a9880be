// The lines `bkreg import` entered, remembered per bank account
// (import_lines.h).
#include "tools/bkreg/import_lines.h"

#include <cstdio>

#include "framework/io/file_manager.h"
#include "framework/io/rollback_stack.h"
#include "programs/bk_program.h"
#include "records/files.h"
#include "statements/statement_cursors.h"
#include "transactions/transaction.h"

namespace bkreg {

namespace {

constexpr char kImportPrefix[] = "import#";

// FNV-1a, 64 bits: stable across builds and machines, as stored names must be.
uint64_t ImportHash(const std::string& text) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// The values that make a line what it is, in one text (unit separators
// between them, which no value holds: the input rules refuse control
// characters).
std::string ImportContent(const Entry& e) {
  std::string c = std::to_string(e.date.Ymd());
  c += '\x1f';
  c += std::to_string(e.type);
  c += '\x1f';
  c += e.type == 1 ? std::to_string(e.check) : e.deposit_id;
  c += '\x1f';
  c += e.amount.Format();
  c += '\x1f';
  c += e.description;
  return c;
}

// "import#" + the content's hash in hex + "." + the occurrence.
std::string ImportName(uint64_t content_hash, uint32_t occurrence) {
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(content_hash));
  return kImportPrefix + std::string(hex) + "." + std::to_string(occurrence);
}

}  // namespace

ImportedLines::ImportedLines() = default;
ImportedLines::~ImportedLines() = default;

int ImportedLines::Open(Context& ctx, bkProgram& program, const std::string& bank) {
  bank_ = bank;
  tsioFileManager& fm = program.FileManager();
  tsioDataFile* file = nullptr;
  tsioStatus::Status st = fm.Create(BKSFileSpec);  // a company made before the file was kept
  if (st == tsioStatus::kSuccess) st = fm.Open(BKSFileSpec, &file);
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("the company's statement file cannot be opened", st);
  file_ = file;
  lookup_ = std::make_unique<StatementLine>(*file_);
  writer_ = std::make_unique<StatementLine>(*file_);
  // Whether anything was imported into the account before: when nothing
  // was, no line needs looking up (the names of one file never repeat).
  lookup_->Initialize();
  lookup_->m_Record.SetBankAccount(tsAlpha(bank_));
  lookup_->m_Record.SetLineID(tsAlpha(kImportPrefix));
  st = lookup_->FetchGE(false);
  if (st == tsioStatus::kSuccess) {
    any_before_ = lookup_->m_Record.GetBankAccount().str() == bank_ &&
                  lookup_->m_Record.GetLineID().str().rfind(kImportPrefix, 0) == 0;
  } else if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
    return ctx.IoFailure("the lines imported before cannot be read", st);
  }
  return kDone;
}

tsioStatus::Status ImportedLines::Next(const Entry& e) {
  const uint64_t h = ImportHash(ImportContent(e));
  id_ = ImportName(h, seen_[h]++);
  if (!any_before_) return tsioStatus::kNotFound;
  lookup_->Initialize();
  lookup_->m_Record.SetBankAccount(tsAlpha(bank_));
  lookup_->m_Record.SetLineID(tsAlpha(id_));
  const tsioStatus::Status st = lookup_->FetchEQ(false);
  return st == tsioStatus::kEndOfFile ? tsioStatus::kNotFound : st;
}

tsioStatus::Status ImportedLines::Remember(const Entry& e, const TransactionData& t, tclRollbackStack& unit) {
  StatementLine& c = *writer_;
  c.AttachRollbackStack(&unit);
  c.Initialize();
  StatementLineData& r = c.m_Record;
  r.SetBankAccount(tsAlpha(bank_));
  r.SetLineID(tsAlpha(id_));
  r.SetLineDate(e.date);  // no statement date: a line of an import file
  r.SetAmount(t.GetAmount());
  r.SetCheck(tsDouble(e.type == 1 ? e.check : 0, 0));
  r.SetReference(tsAlpha(e.type == 2 ? e.deposit_id : ""));
  r.SetState(StatementLineData::LineStateEnum::kLineEntered);
  r.SetTransactionInstance(1);
  r.SetRun(t.GetRun());
  r.SetSequence(t.GetSequence());
  return c.Insert();
}

}  // namespace bkreg
