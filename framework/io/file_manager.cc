// The file manager of one company folder.
#include "framework/io/file_manager.h"

#include "framework/base/log.h"

tsioFileManager::tsioFileManager(std::string company_folder) : folder_(std::move(company_folder)) {
  while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
}

tsioFileManager::~tsioFileManager() { CloseAll(); }

tsioStatus::Status tsioFileManager::CreateCompany() {
  tsioStatus::Status st;
  company_ = tsioCompany::Open(folder_, true, &st);
  return company_ ? tsioStatus::kSuccess : st;
}

tsioStatus::Status tsioFileManager::Create(const tsioFileSpec& spec) {
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (!company_) company_ = tsioCompany::Open(folder_, true, &st);
  if (!company_) return st;
  const tsioFileDef* def = tsioDictionary::Find(spec.DictionaryID());
  if (!def) {
    x_log(0, "no dictionary definition " + std::to_string(spec.DictionaryID()) + " for " + spec.Name());
    return tsioStatus::kInvalidOperation;
  }
  return company_->CreateDataFile(*def, spec.Instance());
}

tsioStatus::Status tsioFileManager::Open(const tsioFileSpec& spec, tsioDataFile** out) {
  if (out) *out = nullptr;
  if (tsioDataFile* f = Find(spec)) {
    if (out) *out = f;
    return tsioStatus::kSuccess;
  }
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (!company_) company_ = tsioCompany::Open(folder_, false, &st);
  if (!company_) return st;
  auto f = std::make_unique<tsioDataFile>();
  st = f->Open(company_, spec);
  if (st != tsioStatus::kSuccess) return st;
  if (out) *out = f.get();
  files_.push_back(std::move(f));
  return tsioStatus::kSuccess;
}

tsioDataFile* tsioFileManager::Find(const tsioFileSpec& spec) const {
  for (const auto& f : files_) {
    if (f->Spec().Code() == spec.Code() && f->Spec().Instance() == spec.Instance()) return f.get();
  }
  return nullptr;
}

void tsioFileManager::Close(const tsioFileSpec& spec) {
  for (auto it = files_.begin(); it != files_.end(); ++it) {
    if ((*it)->Spec().Code() == spec.Code() && (*it)->Spec().Instance() == spec.Instance()) {
      files_.erase(it);
      return;
    }
  }
}

void tsioFileManager::CloseAll() { files_.clear(); }

std::vector<tsioDataFile*> tsioFileManager::Files() const {
  std::vector<tsioDataFile*> v;
  for (const auto& f : files_) v.push_back(f.get());
  return v;
}
