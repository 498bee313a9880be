// Open data-file handles and their file numbers.
#include "framework/io/data_file.h"

#include <pthread.h>

#include <map>
#include <mutex>
#include <set>

#include "framework/base/log.h"
#include "framework/io/faults.h"
#include "framework/io/lock_failure.h"
#include "framework/io/sql_names.h"

namespace {

std::mutex& Mu() {
  static std::mutex mu;
  return mu;
}
std::map<short, tsioDataFile*>& Numbers() {
  static std::map<short, tsioDataFile*> m;
  return m;
}

short AllocateNumber(bool work, tsioDataFile* f) {
  std::lock_guard<std::mutex> g(Mu());
  auto& m = Numbers();
  short lo = work ? 401 : 1, hi = work ? 600 : 400;
  for (short n = lo; n <= hi; ++n) {
    if (!m.count(n)) {
      m[n] = f;
      return n;
    }
  }
  // More than 400 data files open at once: go on past the work-file range.
  for (short n = 601; n < 32000; ++n) {
    if (!m.count(n)) {
      m[n] = f;
      return n;
    }
  }
  return 0;
}

void ReleaseNumber(short n) {
  std::lock_guard<std::mutex> g(Mu());
  Numbers().erase(n);
}

bool ParseName(const std::string& name, std::string* folder, std::string* code, short* instance) {
  auto slash = name.rfind('/');
  if (slash == std::string::npos) return false;
  *folder = name.substr(0, slash);
  std::string base = name.substr(slash + 1);
  auto dot = base.rfind('.');
  if (dot == std::string::npos || dot == 0) return false;
  *code = base.substr(0, dot);
  try {
    *instance = static_cast<short>(std::stoi(base.substr(dot + 1)));
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace

tsioDataFile::tsioDataFile(const std::string& name, int, int) { (void)OpenByName(name); }

tsioDataFile::~tsioDataFile() { Close(); }

tsioStatus::Status tsioDataFile::Open(std::shared_ptr<tsioCompany> company, const tsioFileSpec& spec) {
  Close();
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (tsioFaults::Hit(tsioOp::kOpen, &st)) return open_status_ = st;
  short dict_id = 0;
  if (!company->FileExists(spec.Code(), spec.Instance(), &dict_id)) {
    x_log(0, "data file " + spec.Name() + " does not exist in " + company->Folder());
    return open_status_ = tsioStatus::kFileDoesNotExist;
  }
  const tsioFileDef* def = tsioDictionary::Find(spec.DictionaryID() ? spec.DictionaryID() : dict_id);
  if (!def) def = tsioDictionary::Find(dict_id);
  if (!def) {
    x_log(0, "no dictionary definition for data file " + spec.Name());
    return open_status_ = tsioStatus::kFileDoesNotExist;
  }
  if (!tsioNamesArePlain(*def) || !tsioIsPlainIdentifier(spec.Code())) {
    x_log(0, "the dictionary definition of data file " + spec.Name() + " does not name it with plain identifiers");
    return open_status_ = tsioStatus::kInvalidOperation;
  }
  // A read-only folder leaves the handle without locks; reading still works.
  (void)locks_.Open(company->Db(), company->LockPath());
  company_ = std::move(company);
  spec_ = spec;
  def_ = def;
  file_number_ = AllocateNumber(def->work_file, this);
  company_->AddUnitListener(this);
  return open_status_ = tsioStatus::kSuccess;
}

tsioStatus::Status tsioDataFile::OpenByName(const std::string& name) {
  std::string folder, code;
  short instance = 0;
  if (!ParseName(name, &folder, &code, &instance)) {
    x_log(0, "invalid data file name " + name);
    return open_status_ = tsioStatus::kFileDoesNotExist;
  }
  tsioStatus::Status st;
  auto company = tsioCompany::Open(folder, false, &st);
  if (!company) return open_status_ = st;
  short dict_id = 0;
  if (!company->FileExists(code, instance, &dict_id)) {
    x_log(0, "data file " + name + " does not exist");
    return open_status_ = tsioStatus::kFileDoesNotExist;
  }
  return Open(std::move(company), tsioFileSpec(code.c_str(), instance, dict_id));
}

void tsioDataFile::Close() {
  if (!company_) return;
  locks_.Close();
  unit_locks_.clear();
  company_->RemoveUnitListener(this);
  ReleaseNumber(file_number_);
  file_number_ = 0;
  states_.clear();
  company_.reset();
  def_ = nullptr;
  open_status_ = tsioStatus::kFileNotOpen;
}

std::string tsioDataFile::FileName() const { return company_ ? company_->Folder() + "/" + spec_.Name() : ""; }

tsioFileInfo tsioDataFile::Info() const {
  return tsioFileInfo(company_ ? company_->Folder() : "", spec_, file_number_);
}

tsioRecordState* tsioDataFile::State(short record_type) const {
  if (!def_) return nullptr;
  for (auto& s : states_) {
    if (s->def->record_type == record_type) return s.get();
  }
  const tsioRecordDef* r = def_->Record(record_type);
  if (!r) return nullptr;
  auto s = std::make_unique<tsioRecordState>();
  s->def = r;
  s->table = "\"" + tsioCompany::TableName(spec_.Code(), spec_.Instance(), record_type) + "\"";
  s->buffer.resize(r->fields.size());
  s->valid.assign(r->fields.size(), 0);
  for (size_t i = 0; i < r->fields.size(); ++i) {
    const auto& f = r->fields[i];
    bool text = f.type == tsDataType::kAlpha || f.type == tsDataType::kText || f.type == tsDataType::kPhone;
    s->buffer[i] = text ? tsCell::Text("") : tsCell::Int(f.default_value);
  }
  states_.push_back(std::move(s));
  return states_.back().get();
}

void tsioDataFile::ClearFileBuffers() const {
  for (auto& s : states_) {
    s->DropReadAhead();
    s->streak = 0;
  }
}

void tsioDataFile::OnUnitEnd(bool) {
  for (uint64_t id : unit_locks_) locks_.Unlock(id);
  unit_locks_.clear();
  ClearFileBuffers();
}

tsioDataFile* tsioDataFile::ByNumber(short file_number) {
  std::lock_guard<std::mutex> g(Mu());
  auto it = Numbers().find(file_number);
  return it == Numbers().end() ? nullptr : it->second;
}

tsioStatus::Status tsioLocksUnavailable(const tsioDataFile& file, std::string_view what) {
  x_log(0, std::string(what) + " on " + file.Spec().Name() + " refused: the lock file " +
               (file.IsOpen() ? file.Company().LockPath() : std::string("of the company")) +
               " cannot be opened, so record locks can be neither taken nor tested");
  return tsioStatus::kLockUnavailable;
}
