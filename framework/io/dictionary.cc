// Dictionary registry and the xio_* questions about open files.
#include "framework/io/dictionary.h"

#include <map>
#include <memory>
#include <mutex>

#include "framework/io/data_file.h"

namespace {
std::mutex& Mu() {
  static std::mutex mu;
  return mu;
}
std::map<short, std::unique_ptr<tsioFileDef>>& Defs() {
  static std::map<short, std::unique_ptr<tsioFileDef>> defs;
  return defs;
}
const tsioRecordDef* RecordOf(short file_number, short record_type, short* status) {
  tsioDataFile* f = tsioDataFile::ByNumber(file_number);
  if (!f || !f->Def()) {
    *status = tsioStatus::kFileNotOpen;
    return nullptr;
  }
  const tsioRecordDef* r = f->Def()->Record(record_type);
  *status = r ? tsioStatus::kSuccess : tsioStatus::kNotFound;
  return r;
}
}  // namespace

int tsioRecordDef::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

const tsioKeyDef* tsioRecordDef::Key(short number) const {
  for (const auto& k : keys) {
    if (k.number == number) return &k;
  }
  return nullptr;
}

int tsioHeaderDef::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

const tsioRecordDef* tsioFileDef::Record(short record_type) const {
  for (const auto& r : records) {
    if (r.record_type == record_type) return &r;
  }
  return nullptr;
}

const tsioHeaderDef* tsioFileDef::Header(short number) const {
  for (const auto& h : headers) {
    if (h.number == number) return &h;
  }
  return nullptr;
}

void tsioDictionary::Register(const tsioFileDef& def) {
  std::lock_guard<std::mutex> g(Mu());
  // Definitions are never freed: open files keep pointers into them. A
  // re-registration replaces the entry but keeps the old one alive.
  static std::vector<std::unique_ptr<tsioFileDef>> retired;
  auto& slot = Defs()[def.dictionary_id];
  if (slot) retired.push_back(std::move(slot));
  slot = std::make_unique<tsioFileDef>(def);
}

const tsioFileDef* tsioDictionary::Find(short dictionary_id) {
  std::lock_guard<std::mutex> g(Mu());
  auto it = Defs().find(dictionary_id);
  return it == Defs().end() ? nullptr : it->second.get();
}

short xio_get_def(short file_number, xio_file_def* out) {
  tsioDataFile* f = tsioDataFile::ByNumber(file_number);
  if (!f || !f->Def()) return tsioStatus::kFileNotOpen;
  const tsioFileDef* d = f->Def();
  out->code = d->code;
  out->dictionary_id = d->dictionary_id;
  out->instance = f->Spec().Instance();
  out->record_count = static_cast<short>(d->records.size());
  out->key_count = 0;
  if (!d->records.empty()) {
    for (const auto& k : d->records.front().keys) {
      if (k.number != 0) ++out->key_count;
    }
  }
  return tsioStatus::kSuccess;
}

short xio_get_rec_def(short file_number, short record_type, xio_rec_def* out) {
  short st;
  const tsioRecordDef* r = RecordOf(file_number, record_type, &st);
  if (!r) return st;
  out->record_type = r->record_type;
  out->text = r->description;
  out->field_count = static_cast<short>(r->fields.size());
  out->key_count = static_cast<short>(r->keys.size());
  return tsioStatus::kSuccess;
}

short xio_get_fld_def(short file_number, short record_type, short field_number, xio_fld_def* out) {
  short st;
  const tsioRecordDef* r = RecordOf(file_number, record_type, &st);
  if (!r) return st;
  if (field_number < 1 || field_number > static_cast<short>(r->fields.size())) return tsioStatus::kNotFound;
  const tsioFieldDef& f = r->fields[static_cast<size_t>(field_number - 1)];
  out->name = f.name;
  out->type = f.type;
  out->length = static_cast<short>(f.width);
  out->decimals = static_cast<short>(f.decimals);
  return tsioStatus::kSuccess;
}

short xio_get_key_def(short file_number, short record_type, short key_number, xio_key_def* out) {
  short st;
  const tsioRecordDef* r = RecordOf(file_number, record_type, &st);
  if (!r) return st;
  const tsioKeyDef* k = r->Key(key_number);
  if (!k) return tsioStatus::kNotFound;
  out->number = k->number;
  out->unique = k->unique;
  out->segments.clear();
  for (const auto& c : k->columns) out->segments.push_back(static_cast<short>(r->FieldIndex(c) + 1));
  out->segment_count = static_cast<short>(out->segments.size());
  return tsioStatus::kSuccess;
}

short xio_num(short file_number, short record_type, std::string_view column) {
  short st;
  const tsioRecordDef* r = RecordOf(file_number, record_type, &st);
  if (!r) return 0;
  return static_cast<short>(r->FieldIndex(column) + 1);
}

bool xio_find_notes(short file_number, short record_type) {
  short st;
  const tsioRecordDef* r = RecordOf(file_number, record_type, &st);
  return r && r->notes;
}

bool xio_find_file_links(short file_number, short record_type) {
  short st;
  const tsioRecordDef* r = RecordOf(file_number, record_type, &st);
  return r && r->file_links;
}
