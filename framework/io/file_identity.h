// tsioFileSpec names a data file: file code, instance, dictionary file id and
// row-level-security policy. tsioFileInfo describes an open data file so that
// another handle can be opened on it by name.
#pragma once

#include <string>

#include "framework/base/export.h"

enum RLS_AUTH_POLICY : short { RLS_AUTH_NONE = 0 };

class TS_EXPORT tsioFileSpec {
 public:
  tsioFileSpec() = default;
  tsioFileSpec(const char* code, short instance, short dictionary_id, RLS_AUTH_POLICY policy = RLS_AUTH_NONE)
      : code_(code), instance_(instance), dictionary_id_(dictionary_id), policy_(policy) {}
  tsioFileSpec(const char* code, short instance, short dictionary_id, short policy)
      : tsioFileSpec(code, instance, dictionary_id, static_cast<RLS_AUTH_POLICY>(policy)) {}

  const std::string& Code() const { return code_; }
  short Instance() const { return instance_; }
  short DictionaryID() const { return dictionary_id_; }
  RLS_AUTH_POLICY Policy() const { return policy_; }
  // "BKT.1": the data file's name within its company folder.
  std::string Name() const { return code_ + "." + std::to_string(instance_); }

  bool operator==(const tsioFileSpec& o) const {
    return code_ == o.code_ && instance_ == o.instance_ && dictionary_id_ == o.dictionary_id_;
  }

 private:
  std::string code_;
  short instance_ = 0;
  short dictionary_id_ = 0;
  RLS_AUTH_POLICY policy_ = RLS_AUTH_NONE;
};

// What identifies an open data file: its company folder and spec. The file
// name "<company folder>/<code>.<instance>" opens another handle on it.
class TS_EXPORT tsioFileInfo {
 public:
  tsioFileInfo() = default;
  tsioFileInfo(std::string folder, tsioFileSpec spec, short file_number = 0)
      : folder_(std::move(folder)), spec_(std::move(spec)), file_number_(file_number) {}
  const std::string& Folder() const { return folder_; }
  const tsioFileSpec& Spec() const { return spec_; }
  short FileNum() const { return file_number_; }
  std::string FileName() const { return folder_.empty() ? std::string() : folder_ + "/" + spec_.Name(); }

 private:
  std::string folder_;
  tsioFileSpec spec_;
  short file_number_ = 0;
};
